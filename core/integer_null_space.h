// Exact null space of an integer matrix: an integer basis of {x : M x = 0}
// and the pivot columns of M, by fraction-free Gauss-Jordan elimination.
//
// The elimination keeps every row primitive (its entries divided by their
// greatest common divisor) and picks the pivot of least magnitude, which keeps
// the numbers small; all arithmetic is 256-bit and checked, and a value that
// outgrows it is reported, never rounded. The pivot columns are the first
// columns, from left to right, that are linearly independent of the ones
// before them, so their number is the rank of M.
//
// The caller provides all memory; nothing here allocates, fails silently or
// calls the host.
#ifndef BITS_CORE_INTEGER_NULL_SPACE_H
#define BITS_CORE_INTEGER_NULL_SPACE_H

#include <cstdint>

#include "core/exact_integers.h"

namespace bits {

enum class null_space_status { ok, overflow, too_large };

struct null_space_result {
  null_space_status status;
  std::uint64_t rank;
};

namespace detail {

// Divides row[0 .. n) by the greatest common divisor of its entries.
inline void make_primitive(wide_int* row, std::uint64_t n) {
  wide_int g = wide_zero();
  for (std::uint64_t c = 0; c < n; ++c)
    if (!is_zero(row[c])) g = gcd(g, row[c]);
  if (is_zero(g) || (g.limb[0] == 1 && (g.limb[1] | g.limb[2] | g.limb[3]) == 0)) return;
  for (std::uint64_t c = 0; c < n; ++c)
    if (!is_zero(row[c])) row[c] = divide(row[c], g);
}

// a / b for a non-zero signed b, truncated toward zero.
inline wide_int divide_signed(const wide_int& a, const wide_int& b) {
  const wide_int q = divide(a, wide_magnitude(b));
  bool ignored = false;
  return is_negative(b) ? negate(q, &ignored) : q;
}

}  // namespace detail

// Row-reduces the p x n matrix M (column-major 64-bit integers) in `work`
// (p * n wide integers, row-major) and writes the pivot columns of M to
// pivots[0 .. rank) and, when `basis` is not null, an integer basis of the
// null space to basis (n x (n - rank), column-major): one column per
// non-pivot column f of M, with entry f positive, the entries of the other
// non-pivot columns zero, and the entries coprime. A basis entry outside the
// 64-bit range gives status too_large; an intermediate value outside 256
// bits gives overflow.
inline null_space_result integer_null_space(const std::int64_t* M, std::uint64_t p,
                                            std::uint64_t n, wide_int* work,
                                            std::uint64_t* pivots, std::int64_t* basis) {
  for (std::uint64_t r = 0; r < p; ++r)
    for (std::uint64_t c = 0; c < n; ++c) work[r * n + c] = wide_from(M[c * p + r]);
  bool overflow = false;
  std::uint64_t rank = 0;
  for (std::uint64_t c = 0; c < n && rank < p; ++c) {
    // Pivot: the entry of least magnitude in column c among the rows left.
    std::uint64_t best = p;
    wide_int best_size = wide_zero();
    for (std::uint64_t r = rank; r < p; ++r) {
      const wide_int& v = work[r * n + c];
      if (is_zero(v)) continue;
      const wide_int size = wide_magnitude(v);
      if (best == p || compare_unsigned(size, best_size) < 0) {
        best = r;
        best_size = size;
      }
    }
    if (best == p) continue;
    wide_int* pivot_row = work + rank * n;
    if (best != rank)
      for (std::uint64_t k = 0; k < n; ++k) {
        const wide_int t = pivot_row[k];
        pivot_row[k] = work[best * n + k];
        work[best * n + k] = t;
      }
    detail::make_primitive(pivot_row, n);
    const wide_int pivot = pivot_row[c];
    for (std::uint64_t r = 0; r < p; ++r) {
      wide_int* row = work + r * n;
      if (r == rank || is_zero(row[c])) continue;
      const wide_int g = gcd(pivot, row[c]);
      const wide_int f_row = divide(pivot, g), f_pivot = divide(row[c], g);
      for (std::uint64_t k = 0; k < n; ++k)
        row[k] = subtract(multiply(f_row, row[k], &overflow), multiply(f_pivot, pivot_row[k], &overflow),
                          &overflow);
      detail::make_primitive(row, n);
    }
    if (overflow) return {null_space_status::overflow, rank};
    pivots[rank++] = c;
  }
  if (basis == nullptr) return {null_space_status::ok, rank};

  // Basis column for each free column f: x_f = L and, for pivot row r with
  // pivot P_r in column pivots[r], x = -work[r][f] * L / P_r, with L the least
  // common multiple that makes every such quotient whole.
  bool fits = true;
  std::uint64_t out = 0, next_pivot = 0;
  for (std::uint64_t f = 0; f < n; ++f) {
    if (next_pivot < rank && pivots[next_pivot] == f) {
      ++next_pivot;
      continue;
    }
    std::int64_t* x = basis + out * n;
    wide_int L = wide_from(1);
    for (std::uint64_t r = 0; r < rank; ++r) {
      const wide_int& entry = work[r * n + f];
      if (is_zero(entry)) continue;
      const wide_int P = wide_magnitude(work[r * n + pivots[r]]);
      const wide_int need = divide(P, gcd(P, entry));
      L = multiply(divide(L, gcd(L, need)), need, &overflow);
    }
    wide_int common = L;
    for (std::uint64_t r = 0; r < rank; ++r) {
      const wide_int& entry = work[r * n + f];
      if (is_zero(entry)) continue;
      const wide_int v = detail::divide_signed(multiply(entry, L, &overflow), work[r * n + pivots[r]]);
      common = gcd(common, v);
    }
    for (std::uint64_t k = 0; k < n; ++k) x[k] = 0;
    const wide_int xf = divide(L, common);
    fits = fits && fits_int64(xf);
    x[f] = to_int64(xf);
    for (std::uint64_t r = 0; r < rank; ++r) {
      const wide_int& entry = work[r * n + f];
      if (is_zero(entry)) continue;
      bool ignored = false;
      const wide_int v = negate(
          divide(detail::divide_signed(multiply(entry, L, &overflow), work[r * n + pivots[r]]), common),
          &ignored);
      fits = fits && fits_int64(v);
      x[pivots[r]] = to_int64(v);
    }
    ++out;
  }
  if (overflow) return {null_space_status::overflow, rank};
  if (!fits) return {null_space_status::too_large, rank};
  return {null_space_status::ok, rank};
}

}  // namespace bits

#endif
