// The modes from their coordinates in the null space basis to the network's
// reactions, oriented and in lexicographic order, without holding them all
// expanded: each mode's entry on reaction r is (V_r . x) / f, with V the
// expansion times the basis (reactions x d), x the mode's d coordinates, and
// f its divisor: the gcd of its entries, negative for a reversible mode whose
// first non-zero entry would be negative. The order is found reaction by
// reaction (sorting by the entries on reaction 0, then each run of equal
// entries by reaction 1, and so on), so each entry is computed at most once
// for it; the modes are then expanded a piece at a time for the sink.
//
// Entries are computed in 128-bit integers; where a sum of products leaves
// that range, prepare() says so and the caller takes the exact route of
// row_values (double_description.h) instead. Nothing here calls the host;
// the OpenMP loops start and end here.
#ifndef BITS_CORE_MODE_EXPANSION_H
#define BITS_CORE_MODE_EXPANSION_H

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/exact_integers.h"
#include "core/ray_arithmetic.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace bits {

#if defined(__SIZEOF_INT128__)
#define BITS_MODE_EXPANSION 1

class mode_expansion {
 public:
  enum class status { ok, beyond_128_bits, beyond_int64 };

  // V: n x d, column-major; X: d x count, column-major (kept by pointer);
  // reversible: n flags.
  status prepare(const std::int64_t* V, std::uint64_t n, std::uint64_t d, const std::int64_t* X,
                 std::uint64_t count, const std::uint8_t* reversible) {
    n_ = n;
    d_ = d;
    X_ = X;
    count_ = count;
    Vt_.assign(n * d, 0);
    zero_row_.assign(n, 1);
    for (std::uint64_t r = 0; r < n; ++r)
      for (std::uint64_t c = 0; c < d; ++c) {
        Vt_[r * d + c] = V[r + c * n];
        if (V[r + c * n] != 0) zero_row_[r] = 0;
      }
    f_.assign(count, 1);
    int failure = 0;  // 1: beyond 128 bits, 2: beyond int64
#ifdef _OPENMP
#pragma omp parallel reduction(max : failure)
#endif
    {
      std::vector<int128_t> v(n > 0 ? n : 1);
#ifdef _OPENMP
#pragma omp for schedule(dynamic, 1024)
#endif
      for (std::int64_t k = 0; k < static_cast<std::int64_t>(count); ++k) {
        const std::int64_t* x = X + static_cast<std::uint64_t>(k) * d;
        uint128_t g = 0;
        bool irreversible_zero = true, fits = true;
        int first_sign = 0;
        for (std::uint64_t r = 0; r < n && fits; ++r) {
          fits = dot_128(&Vt_[r * d], 1, x, d, &v[r]);
          if (!fits || v[r] == 0) continue;
          g = gcd_u128(g, magnitude_128(v[r]));
          if (first_sign == 0) first_sign = v[r] > 0 ? 1 : -1;
          if (!reversible[r]) irreversible_zero = false;
        }
        if (!fits) {
          failure = std::max(failure, 1);
          continue;
        }
        if (g == 0) g = 1;
        const int128_t f = irreversible_zero && first_sign < 0 ? -static_cast<int128_t>(g) : static_cast<int128_t>(g);
        f_[k] = f;
        // Every entry within int64, and not -2^63 (which has no negation).
        for (std::uint64_t r = 0; r < n; ++r) {
          const int128_t y = quotient(v[r], f);
          if (y > INT64_MAX || y <= INT64_MIN) failure = std::max(failure, 2);
        }
      }
    }
    return failure == 0 ? status::ok : failure == 1 ? status::beyond_128_bits : status::beyond_int64;
  }

  // Mode k's entry on reaction r (after prepare: the same sums, in the same
  // order, that it found within 128 bits).
  std::int64_t entry(std::uint64_t k, std::uint64_t r) const {
    const std::int64_t *a = &Vt_[r * d_], *x = X_ + k * d_;
    int128_t v = 0;
    for (std::uint64_t c = 0; c < d_; ++c) v += static_cast<int128_t>(a[c]) * x[c];
    return static_cast<std::int64_t>(quotient(v, f_[k]));
  }

  // v / f, exact: in 64 bits where both fit (a 128-bit division is a slow
  // library call, and this runs for every entry the order and the output need).
  static int128_t quotient(int128_t v, int128_t f) {
    if (v == static_cast<std::int64_t>(v) && f == static_cast<std::int64_t>(f) && !(v == INT64_MIN && f == -1))
      return static_cast<std::int64_t>(v) / static_cast<std::int64_t>(f);
    return v / f;
  }

  // Mode k on every reaction, into y[0 .. n).
  void column(std::uint64_t k, std::int64_t* y) const {
    for (std::uint64_t r = 0; r < n_; ++r) y[r] = entry(k, r);
  }

  // Modes which[0 .. k) (null: modes 0 .. k) on every reaction, one after
  // another into y (k x n), threaded where the block is large.
  void columns(const std::uint32_t* which, std::uint64_t k, std::int64_t* y) const {
    const std::int64_t count = static_cast<std::int64_t>(k);
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (count * static_cast<std::int64_t>(n_) >= 65536)
#endif
    for (std::int64_t i = 0; i < count; ++i)
      column(which != nullptr ? which[i] : static_cast<std::uint64_t>(i), y + static_cast<std::uint64_t>(i) * n_);
  }

  // The modes' numbers in lexicographic order of their expanded columns.
  std::vector<std::uint32_t> order() const {
    std::vector<std::uint32_t> perm(count_);
    for (std::uint64_t k = 0; k < count_; ++k) perm[k] = static_cast<std::uint32_t>(k);
    std::vector<std::pair<std::int64_t, std::uint32_t>> keyed(count_);
    struct range {
      std::uint64_t begin, end, r;
    };
    std::vector<range> stack{{0, count_, 0}};
    while (!stack.empty()) {
      range g = stack.back();
      stack.pop_back();
      while (g.r < n_ && zero_row_[g.r]) ++g.r;  // a reaction no mode uses (blocked) orders nothing
      if (g.end - g.begin < 2 || g.r == n_) continue;
      const std::int64_t size = static_cast<std::int64_t>(g.end - g.begin);
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (size >= 65536)
#endif
      for (std::int64_t i = 0; i < size; ++i) {
        const std::uint32_t k = perm[g.begin + i];
        keyed[g.begin + i] = {entry(k, g.r), k};
      }
      bool same = true;  // often every mode of a run has the same entry (zero) here: nothing to sort
      for (std::uint64_t i = g.begin + 1; i < g.end && same; ++i) same = keyed[i].first == keyed[g.begin].first;
      if (same) {
        stack.push_back({g.begin, g.end, g.r + 1});
        continue;
      }
      std::sort(keyed.begin() + g.begin, keyed.begin() + g.end);
      for (std::uint64_t i = g.begin; i < g.end; ++i) perm[i] = keyed[i].second;
      for (std::uint64_t s = g.begin; s < g.end;) {
        std::uint64_t t = s + 1;
        while (t < g.end && keyed[t].first == keyed[s].first) ++t;
        if (t - s > 1) stack.push_back({s, t, g.r + 1});
        s = t;
      }
    }
    return perm;
  }

  // Bytes held besides X: the divisors and the transposed V; order() needs
  // 16 more bytes per mode while it runs.
  std::uint64_t bytes() const { return f_.size() * sizeof(int128_t) + Vt_.size() * sizeof(std::int64_t); }

 private:
  std::uint64_t n_ = 0, d_ = 0, count_ = 0;
  const std::int64_t* X_ = nullptr;
  std::vector<std::int64_t> Vt_;  // n x d, row-major: V_r contiguous
  std::vector<std::uint8_t> zero_row_;  // V_r = 0: the reaction is blocked
  std::vector<int128_t> f_;
};

#endif

}  // namespace bits

#endif
