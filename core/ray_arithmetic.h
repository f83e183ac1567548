// Exact arithmetic on integer rays: the sign of a constraint row times a ray,
// and the new ray that two rays on opposite sides of a constraint span on its
// hyperplane, reduced to coprime entries.
//
// Rays and rows are vectors of d signed 64-bit integers (d < 2^20, see
// exact_integers.h). Products and sums are exact: 128-bit arithmetic where
// the compiler has it, 256-bit where a value outgrows that. Only a reduced
// ray whose entries do not fit 64 bits is reported, by the return value.
//
// Nothing here allocates or calls the host.
#ifndef BITS_CORE_RAY_ARITHMETIC_H
#define BITS_CORE_RAY_ARITHMETIC_H

#include <cstdint>

#include "core/exact_integers.h"
#include "core/packed_patterns.h"

namespace bits {

// Largest ray length (entries per ray) for which the kernels' 256-bit values
// cannot overflow.
constexpr std::uint64_t max_ray_length = std::uint64_t(1) << 20;

// a . x exactly; a is read with stride `a_stride` (a row of a column-major
// matrix), x contiguously.
inline wide_int dot_wide(const std::int64_t* a, std::uint64_t a_stride, const std::int64_t* x,
                         std::uint64_t d) {
  wide_int sum = wide_zero();
  bool ignored = false;  // d < 2^20 products below 2^126 each: no overflow
  for (std::uint64_t i = 0; i < d; ++i) sum = add(sum, multiply(a[i * a_stride], x[i]), &ignored);
  return sum;
}

#if defined(__SIZEOF_INT128__)
typedef __int128 int128_t;
typedef unsigned __int128 uint128_t;

// a . x in 128 bits; false when the sum leaves that range.
inline bool dot_128(const std::int64_t* a, std::uint64_t a_stride, const std::int64_t* x,
                    std::uint64_t d, int128_t* result) {
  int128_t sum = 0;
  for (std::uint64_t i = 0; i < d; ++i)
    if (__builtin_add_overflow(sum, static_cast<int128_t>(a[i * a_stride]) * x[i], &sum))
      return false;
  *result = sum;
  return true;
}

inline uint128_t magnitude_128(int128_t v) {
  return v < 0 ? 0 - static_cast<uint128_t>(v) : static_cast<uint128_t>(v);
}

inline uint128_t gcd_u128(uint128_t a, uint128_t b) {
  if ((a >> 64) == 0 && (b >> 64) == 0)
    return gcd_u64(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b));
  if (a == 0) return b;
  if (b == 0) return a;
  auto ctz = [](uint128_t v) {
    const std::uint64_t low = static_cast<std::uint64_t>(v);
    return low != 0 ? trailing_zeros(low) : 64 + trailing_zeros(static_cast<std::uint64_t>(v >> 64));
  };
  const int shift = ctz(a | b);
  a >>= ctz(a);
  do {
    b >>= ctz(b);
    if (a > b) {
      const uint128_t t = a;
      a = b;
      b = t;
    }
    b -= a;
  } while (b != 0);
  return a << shift;
}
#endif

// Sign of a . x: -1, 0 or 1.
inline int dot_sign(const std::int64_t* a, std::uint64_t a_stride, const std::int64_t* x,
                    std::uint64_t d) {
#if defined(__SIZEOF_INT128__)
  int128_t v;
  if (dot_128(a, a_stride, x, d, &v)) return v > 0 ? 1 : (v < 0 ? -1 : 0);
#endif
  return sign_of(dot_wide(a, a_stride, x, d));
}

namespace detail {

// The combination in 256 bits; see combine_rays.
inline bool combine_rays_wide(const std::int64_t* a, const std::int64_t* x_p,
                              const std::int64_t* x_q, std::uint64_t d, std::int64_t* y) {
  wide_int v_p = dot_wide(a, 1, x_p, d), v_q = dot_wide(a, 1, x_q, d);
  const wide_int g = gcd(v_p, v_q);
  if (!is_zero(g)) {
    v_p = divide(v_p, g);
    v_q = divide(v_q, g);
  }
  // Entries below 2^210 in magnitude (exact_integers.h): no overflow.
  bool ignored = false;
  wide_int common = wide_zero();
  for (std::uint64_t i = 0; i < d; ++i) {
    common = gcd(common, subtract(multiply(v_p, wide_from(x_q[i]), &ignored),
                                  multiply(v_q, wide_from(x_p[i]), &ignored), &ignored));
  }
  bool fits = true;
  for (std::uint64_t i = 0; i < d; ++i) {
    wide_int e = subtract(multiply(v_p, wide_from(x_q[i]), &ignored),
                          multiply(v_q, wide_from(x_p[i]), &ignored), &ignored);
    if (!is_zero(common)) e = divide(e, common);
    if (!fits_int64(e)) fits = false;
    y[i] = fits ? to_int64(e) : 0;
  }
  return fits;
}

}  // namespace detail

// y = (a . x_p) x_q - (a . x_q) x_p, divided by the greatest common divisor
// of its entries (a zero vector stays zero). For a . x_p > 0 > a . x_q this is
// the positive combination of the two rays on the hyperplane a . x = 0.
// Returns false, with y undefined, when an entry of the reduced ray does not
// fit 64 bits.
inline bool combine_rays(const std::int64_t* a, const std::int64_t* x_p, const std::int64_t* x_q,
                         std::uint64_t d, std::int64_t* y) {
#if defined(__SIZEOF_INT128__)
  int128_t v_p, v_q;
  if (dot_128(a, 1, x_p, d, &v_p) && dot_128(a, 1, x_q, d, &v_q)) {
    const uint128_t g = gcd_u128(magnitude_128(v_p), magnitude_128(v_q));
    if (g > 1) {
      v_p /= static_cast<int128_t>(g);
      v_q /= static_cast<int128_t>(g);
    }
    if (v_p >= INT64_MIN && v_p <= INT64_MAX && v_q >= INT64_MIN && v_q <= INT64_MAX) {
      // Products below 2^126: each difference fits 128 bits but for the
      // corner -2^63 * -2^63 - ..., which the check catches.
      // The gcd of the entries. Where it and an entry fit 64 bits (nearly
      // always), whether it divides the entry is told by a multiplication
      // (exact_divisor), and the gcd's loop runs only where it shrinks; not
      // at all once it is 1.
      bool exact = true;
      uint128_t common = 0;
      exact_divisor small;  // common, while 1 < common < 2^64
      for (std::uint64_t i = 0; i < d && exact; ++i) {
        int128_t e;
        exact = !__builtin_sub_overflow(v_p * x_q[i], v_q * x_p[i], &e);
        if (common == 1) continue;
        const uint128_t u = magnitude_128(e);
        if (small.g != 0 && (u >> 64) == 0 && small.divides(static_cast<std::uint64_t>(u))) continue;
        common = gcd_u128(common, u);
        small = common > 1 && (common >> 64) == 0 ? exact_divisor(static_cast<std::uint64_t>(common)) : exact_divisor();
      }
      if (exact) {
        const int128_t c = common > 1 ? static_cast<int128_t>(common) : 1;
        for (std::uint64_t i = 0; i < d; ++i) {
          int128_t e = v_p * x_q[i] - v_q * x_p[i];
          if (c > 1) {
            const uint128_t u = magnitude_128(e);
            if (small.g != 0 && (u >> 64) == 0) {
              const int128_t q = static_cast<int128_t>(small.quotient(static_cast<std::uint64_t>(u)));
              e = e < 0 ? -q : q;
            } else {
              e /= c;
            }
          }
          if (e < INT64_MIN || e > INT64_MAX) return false;
          y[i] = static_cast<std::int64_t>(e);
        }
        return true;
      }
    }
  }
#endif
  return detail::combine_rays_wide(a, x_p, x_q, d, y);
}

// Body of a parallel region: signs (k x n int8, column-major) of A X for the
// k x d rows A (column-major) and the n rays X (d x n); -1, 0 or 1 each.
inline void ray_signs_kernel(const std::int64_t* A, std::uint64_t k, const std::int64_t* X,
                             std::uint64_t d, std::int64_t n, std::int8_t* signs) {
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
  for (std::int64_t j = 0; j < n; ++j) {
    const std::int64_t* x = X + static_cast<std::uint64_t>(j) * d;
    std::int8_t* out = signs + static_cast<std::uint64_t>(j) * k;
    for (std::uint64_t r = 0; r < k; ++r) out[r] = static_cast<std::int8_t>(dot_sign(A + r, k, x, d));
  }
}

// Body of a parallel region: column i of Y (d x n_comb) is combine_rays of
// the row a and the rays j_comb[2i], j_comb[2i + 1] (0-based columns of X,
// already known to be in range). A ray that does not fit 64 bits sets
// *too_large, and its column is left undefined.
template <typename index_t>
void ray_combine_kernel(const std::int64_t* a, const std::int64_t* X, std::uint64_t d,
                        const index_t* j_comb, std::int64_t n_comb, std::int64_t* Y,
                        int* too_large) {
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
  for (std::int64_t i = 0; i < n_comb; ++i) {
    const std::uint64_t p = column_index(j_comb[2 * i]), q = column_index(j_comb[2 * i + 1]);
    if (!combine_rays(a, X + p * d, X + q * d, d, Y + static_cast<std::uint64_t>(i) * d)) {
#ifdef _OPENMP
#pragma omp atomic write
#endif
      *too_large = 1;
    }
  }
}

}  // namespace bits

#endif
