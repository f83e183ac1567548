// Exact integer arithmetic for the ray kernels: a 256-bit two's-complement
// integer with overflow-checked operations, and the few operations on it that
// the double description method needs (products and sums of 64-bit numbers,
// greatest common divisors, exact division).
//
// Rays and constraint rows are held as 64-bit integers. A scalar product of
// two such vectors of d < 2^20 entries is below 2^146 in magnitude, and a
// combination (a.x_p) x_q - (a.x_q) x_p below 2^210, so 256 bits hold every
// intermediate value of those kernels; the checked operations are for the
// linear algebra, whose values have no such bound. Where the compiler has a
// 128-bit integer type, the kernels try it first and come here only when a
// value outgrows it.
//
// Nothing here allocates, fails or calls the host.
#ifndef BITS_CORE_EXACT_INTEGERS_H
#define BITS_CORE_EXACT_INTEGERS_H

#include <cstdint>

#if defined(_MSC_VER) && defined(_M_X64) && !defined(__clang__)
#include <intrin.h>
#endif

namespace bits {

// Low and high halves of the full product of two unsigned 64-bit numbers.
inline std::uint64_t multiply_full(std::uint64_t a, std::uint64_t b, std::uint64_t* high) {
#if defined(__SIZEOF_INT128__)
  const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  *high = static_cast<std::uint64_t>(p >> 64);
  return static_cast<std::uint64_t>(p);
#elif defined(_MSC_VER) && defined(_M_X64) && !defined(__clang__)
  return _umul128(a, b, high);
#else
  const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  *high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  return (middle << 32) | (p00 & 0xFFFFFFFFu);
#endif
}

// Number of trailing zero bits of a non-zero 64-bit number.
inline int trailing_zeros(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctzll(v);
#else
  int n = 0;
  while (!(v & 1)) {
    v >>= 1;
    ++n;
  }
  return n;
#endif
}

// Greatest common divisor of two unsigned 64-bit numbers (binary method);
// gcd(0, b) = b.
inline std::uint64_t gcd_u64(std::uint64_t a, std::uint64_t b) {
  if (a == 0) return b;
  if (b == 0) return a;
  const int shift = trailing_zeros(a | b);
  a >>= trailing_zeros(a);
  do {
    b >>= trailing_zeros(b);
    if (a > b) {
      const std::uint64_t t = a;
      a = b;
      b = t;
    }
    b -= a;
  } while (b != 0);
  return a << shift;
}

// Division by a fixed non-zero divisor g = 2^shift * odd without a divide
// instruction, for numbers known or tested to be its multiples: the odd part
// has an inverse modulo 2^64, and v is a multiple of it exactly when
// v * inverse (mod 2^64) is at most (2^64 - 1) / odd, which is then v / odd.
struct exact_divisor {
  std::uint64_t g = 0;
  int shift = 0;
  std::uint64_t inverse = 1, limit = UINT64_MAX;

  exact_divisor() = default;  // g = 0: no divisor yet
  explicit exact_divisor(std::uint64_t divisor) : g(divisor), shift(trailing_zeros(divisor)) {
    const std::uint64_t odd = divisor >> shift;
    std::uint64_t x = odd;  // right in the low 3 bits; each step doubles them
    for (int i = 0; i < 5; ++i) x *= 2 - odd * x;
    inverse = x;
    limit = UINT64_MAX / odd;
  }
  bool divides(std::uint64_t v) const {
    return (v & ((std::uint64_t{1} << shift) - 1)) == 0 && (v >> shift) * inverse <= limit;
  }
  // v / g for a multiple v of g.
  std::uint64_t quotient(std::uint64_t v) const { return (v >> shift) * inverse; }
};

// |v| of a signed 64-bit number, as unsigned (2^63 for INT64_MIN).
inline std::uint64_t magnitude(std::int64_t v) {
  return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// A 256-bit two's-complement integer: limb[0] holds the lowest 64 bits.
struct wide_int {
  std::uint64_t limb[4];
};

constexpr int wide_limbs = 4;

inline wide_int wide_zero() { return wide_int{{0, 0, 0, 0}}; }

inline wide_int wide_from(std::int64_t v) {
  const std::uint64_t fill = v < 0 ? ~std::uint64_t(0) : 0;
  return wide_int{{static_cast<std::uint64_t>(v), fill, fill, fill}};
}

inline bool is_negative(const wide_int& a) { return (a.limb[3] >> 63) != 0; }

inline bool is_zero(const wide_int& a) {
  return (a.limb[0] | a.limb[1] | a.limb[2] | a.limb[3]) == 0;
}

// -1, 0 or 1.
inline int sign_of(const wide_int& a) { return is_negative(a) ? -1 : (is_zero(a) ? 0 : 1); }

// a + b modulo 2^256; *overflow is set (never cleared) when the signed sum
// does not fit.
inline wide_int add(const wide_int& a, const wide_int& b, bool* overflow) {
  wide_int s;
  std::uint64_t carry = 0;
  for (int k = 0; k < wide_limbs; ++k) {
    const std::uint64_t t = a.limb[k] + carry;
    const std::uint64_t c1 = t < carry;
    s.limb[k] = t + b.limb[k];
    carry = c1 + (s.limb[k] < t);
  }
  if (is_negative(a) == is_negative(b) && is_negative(s) != is_negative(a)) *overflow = true;
  return s;
}

// -a modulo 2^256; the one value without a negative (-2^255) sets *overflow.
inline wide_int negate(const wide_int& a, bool* overflow) {
  wide_int n;
  std::uint64_t carry = 1;
  for (int k = 0; k < wide_limbs; ++k) {
    n.limb[k] = ~a.limb[k] + carry;
    carry = carry && n.limb[k] == 0;
  }
  if (is_negative(a) && is_negative(n)) *overflow = true;
  return n;
}

// Unsigned a - b modulo 2^256.
inline wide_int subtract_unsigned(const wide_int& a, const wide_int& b) {
  wide_int d;
  std::uint64_t borrow = 0;
  for (int k = 0; k < wide_limbs; ++k) {
    const std::uint64_t t = a.limb[k] - borrow;
    const std::uint64_t b1 = a.limb[k] < borrow;
    d.limb[k] = t - b.limb[k];
    borrow = b1 + (t < b.limb[k]);
  }
  return d;
}

// a - b modulo 2^256; *overflow is set when the signed difference does not fit.
inline wide_int subtract(const wide_int& a, const wide_int& b, bool* overflow) {
  const wide_int d = subtract_unsigned(a, b);
  if (is_negative(a) != is_negative(b) && is_negative(d) != is_negative(a)) *overflow = true;
  return d;
}

// |a| as an unsigned 256-bit number (exact for every a, -2^255 included).
inline wide_int wide_magnitude(const wide_int& a) {
  bool ignored = false;
  return is_negative(a) ? negate(a, &ignored) : a;
}

// Compares two unsigned 256-bit numbers: -1, 0 or 1.
inline int compare_unsigned(const wide_int& a, const wide_int& b) {
  for (int k = wide_limbs - 1; k >= 0; --k)
    if (a.limb[k] != b.limb[k]) return a.limb[k] < b.limb[k] ? -1 : 1;
  return 0;
}

// Signed comparison: -1, 0 or 1.
inline int compare(const wide_int& a, const wide_int& b) {
  if (is_negative(a) != is_negative(b)) return is_negative(a) ? -1 : 1;
  return compare_unsigned(a, b);
}

// a * b; *overflow is set when the signed product does not fit.
inline wide_int multiply(const wide_int& a, const wide_int& b, bool* overflow) {
  const wide_int x = wide_magnitude(a), y = wide_magnitude(b);
  std::uint64_t r[2 * wide_limbs] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < wide_limbs; ++i) {
    if (x.limb[i] == 0) continue;
    std::uint64_t carry = 0;
    for (int j = 0; j < wide_limbs; ++j) {
      std::uint64_t high;
      const std::uint64_t low = multiply_full(x.limb[i], y.limb[j], &high);
      std::uint64_t t = r[i + j] + low;
      high += t < low;
      const std::uint64_t u = t + carry;
      high += u < t;
      r[i + j] = u;
      carry = high;
    }
    for (int k = i + wide_limbs; carry != 0 && k < 2 * wide_limbs; ++k) {
      r[k] += carry;
      carry = r[k] < carry;
    }
  }
  wide_int p{{r[0], r[1], r[2], r[3]}};
  const bool negative = is_negative(a) != is_negative(b);
  const bool high_used = (r[4] | r[5] | r[6] | r[7]) != 0;
  // The magnitude must stay below 2^255 (exactly 2^255 fits only as -2^255).
  const bool top_bit = is_negative(p);
  const bool is_min = top_bit && p.limb[3] == (std::uint64_t(1) << 63) &&
                      (p.limb[0] | p.limb[1] | p.limb[2]) == 0;
  if (high_used || (top_bit && !(negative && is_min))) *overflow = true;
  if (negative) {
    bool ignored = false;
    p = negate(p, &ignored);
  }
  return p;
}

// a * b for 64-bit a and b: always exact.
inline wide_int multiply(std::int64_t a, std::int64_t b) {
  bool ignored = false;
  return multiply(wide_from(a), wide_from(b), &ignored);
}

// Unsigned a >> n for 0 <= n < 256.
inline wide_int shift_right(const wide_int& a, int n) {
  wide_int r = wide_zero();
  const int limbs = n / 64, bits_n = n % 64;
  for (int k = 0; k + limbs < wide_limbs; ++k) {
    std::uint64_t v = a.limb[k + limbs] >> bits_n;
    if (bits_n != 0 && k + limbs + 1 < wide_limbs) v |= a.limb[k + limbs + 1] << (64 - bits_n);
    r.limb[k] = v;
  }
  return r;
}

// Unsigned a << n for 0 <= n < 256 (bits shifted out are lost).
inline wide_int shift_left(const wide_int& a, int n) {
  wide_int r = wide_zero();
  const int limbs = n / 64, bits_n = n % 64;
  for (int k = wide_limbs - 1; k >= limbs; --k) {
    std::uint64_t v = a.limb[k - limbs] << bits_n;
    if (bits_n != 0 && k - limbs - 1 >= 0) v |= a.limb[k - limbs - 1] >> (64 - bits_n);
    r.limb[k] = v;
  }
  return r;
}

// Trailing zero bits of a non-zero value.
inline int trailing_zeros(const wide_int& a) {
  for (int k = 0; k < wide_limbs; ++k)
    if (a.limb[k] != 0) return 64 * k + trailing_zeros(a.limb[k]);
  return 256;
}

// Greatest common divisor of |a| and |b|, as an unsigned number; gcd(0, b) = |b|.
inline wide_int gcd(const wide_int& a, const wide_int& b) {
  wide_int x = wide_magnitude(a), y = wide_magnitude(b);
  if (is_zero(x)) return y;
  if (is_zero(y)) return x;
  const int shift = trailing_zeros(wide_int{{x.limb[0] | y.limb[0], x.limb[1] | y.limb[1],
                                             x.limb[2] | y.limb[2], x.limb[3] | y.limb[3]}});
  x = shift_right(x, trailing_zeros(x));
  do {
    y = shift_right(y, trailing_zeros(y));
    if (compare_unsigned(x, y) > 0) {
      const wide_int t = x;
      x = y;
      y = t;
    }
    y = subtract_unsigned(y, x);
  } while (!is_zero(y));
  return shift_left(x, shift);
}

// Highest set bit of an unsigned value, or -1 for 0.
inline int highest_bit(const wide_int& a) {
  for (int k = wide_limbs - 1; k >= 0; --k)
    if (a.limb[k] != 0) {
      int b = 63;
      while (!((a.limb[k] >> b) & 1)) --b;
      return 64 * k + b;
    }
  return -1;
}

// a / g for a non-zero unsigned g (truncated toward zero; exact when g
// divides a, which is how the kernels use it). g is given as a magnitude.
inline wide_int divide(const wide_int& a, const wide_int& g) {
  const bool negative = is_negative(a);
  wide_int r = wide_magnitude(a);
  wide_int q = wide_zero();
  const int top = highest_bit(r), gtop = highest_bit(g);
  for (int s = top - gtop; s >= 0; --s) {
    const wide_int shifted = shift_left(g, s);
    if (compare_unsigned(r, shifted) >= 0) {
      r = subtract_unsigned(r, shifted);
      q.limb[s / 64] |= std::uint64_t(1) << (s % 64);
    }
  }
  if (negative) {
    bool ignored = false;
    q = negate(q, &ignored);
  }
  return q;
}

// True when a lies in the range of int64_t.
inline bool fits_int64(const wide_int& a) {
  const std::uint64_t fill = is_negative(a) ? ~std::uint64_t(0) : 0;
  return a.limb[1] == fill && a.limb[2] == fill && a.limb[3] == fill &&
         ((a.limb[0] >> 63) != 0) == is_negative(a);
}

inline std::int64_t to_int64(const wide_int& a) { return static_cast<std::int64_t>(a.limb[0]); }

}  // namespace bits

#endif
