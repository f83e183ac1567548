// The start of the double description method for a pointed cone
// {x : A x >= 0, B x = 0} with integer rows: the order in which the rows of A
// are added, the first rows of that order that are independent of each other
// and of B, and the initial rays, one per such row: the ray on which B and
// the other initial rows vanish, on the positive side of its own row. The
// same start as the extreme_rays function of the toolbox, for programs that
// run core/double_description.h without the host.
#ifndef BITS_CORE_CONE_SETUP_H
#define BITS_CORE_CONE_SETUP_H

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "core/integer_null_space.h"
#include "core/ray_arithmetic.h"

namespace bits {

enum class row_order { lexmin, lexmax, input, fewestpairs };

enum class cone_setup_status { ok, not_pointed, overflow };

struct cone_start {
  std::uint64_t m = 0, n = 0, d = 0;  // rows of A, entries per ray, initial rays
  std::uint64_t rank = 0;             // of [B; A]
  std::vector<std::int64_t> A;        // m x n, column-major, rows in the chosen order
  std::vector<std::int64_t> X0;       // n x d, column j for row sequence[j]
  std::vector<std::uint64_t> sequence;
};

// The rows 0 .. m-1 in the order that `order` asks for: by `compare(a, b)`
// (negative, zero or positive, as rows a and b compare lexicographically),
// ascending for lexmin and fewestpairs, descending for lexmax, ties and
// `input` as given.
template <typename compare_t>
std::vector<std::uint64_t> ordered_rows(std::uint64_t m, row_order order, compare_t compare) {
  std::vector<std::uint64_t> idx(m);
  std::iota(idx.begin(), idx.end(), std::uint64_t(0));
  if (order != row_order::input) {
    const bool up = order != row_order::lexmax;
    std::stable_sort(idx.begin(), idx.end(), [&](std::uint64_t a, std::uint64_t b) {
      const int k = compare(a, b);
      return up ? k < 0 : k > 0;
    });
  }
  return idx;
}

// The order in which a run adds the m rows: the initial rows `first`, then
// the others as they come.
inline std::vector<std::uint64_t> run_sequence(const std::vector<std::uint64_t>& first, std::uint64_t m) {
  std::vector<std::uint64_t> sequence = first;
  std::vector<std::uint8_t> is_first(m, 0);
  for (std::uint64_t f : first) is_first[f] = 1;
  for (std::uint64_t k = 0; k < m; ++k)
    if (!is_first[k]) sequence.push_back(k);
  return sequence;
}

// A (m x n) and B (p x n) row-major. On not_pointed, out->rank tells the
// rank of [B; A]; overflow means an intermediate integer outgrew 256 bits or
// an initial ray the int64 range.
inline cone_setup_status setup_cone(const std::int64_t* A, std::uint64_t m, const std::int64_t* B,
                                    std::uint64_t p, std::uint64_t n, row_order order, cone_start* out) {
  *out = cone_start{};
  out->m = m;
  out->n = n;
  auto row = [&](std::uint64_t r) { return A + r * n; };
  const std::vector<std::uint64_t> idx = ordered_rows(m, order, [&](std::uint64_t a, std::uint64_t b) {
    const std::int64_t *x = row(a), *y = row(b);
    for (std::uint64_t c = 0; c < n; ++c)
      if (x[c] != y[c]) return x[c] < y[c] ? -1 : 1;
    return 0;
  });
  // [B; A] row-major is [B; A]' column-major: its pivot columns are the
  // independent rows, from the first.
  const std::uint64_t q = p + m;
  std::vector<std::int64_t> BA(q * n);
  std::copy(B, B + p * n, BA.begin());
  for (std::uint64_t k = 0; k < m; ++k) std::copy(row(idx[k]), row(idx[k]) + n, BA.begin() + (p + k) * n);
  std::vector<wide_int> work(std::max<std::uint64_t>(q * n, 1));
  std::vector<std::uint64_t> pivots(std::max<std::uint64_t>(std::min(q, n), 1));
  const null_space_result ns = integer_null_space(BA.data(), n, q, work.data(), pivots.data(), nullptr);
  if (ns.status != null_space_status::ok) return cone_setup_status::overflow;
  out->rank = ns.rank;
  if (ns.rank < n) return cone_setup_status::not_pointed;
  std::vector<std::uint64_t> kept_B, first;
  for (std::uint64_t k = 0; k < ns.rank; ++k) (pivots[k] < p ? kept_B : first).push_back(pivots[k]);
  for (std::uint64_t& f : first) f -= p;
  const std::uint64_t d = first.size();
  out->d = d;
  out->A.resize(m * n);
  for (std::uint64_t k = 0; k < m; ++k)
    for (std::uint64_t c = 0; c < n; ++c) out->A[c * m + k] = row(idx[k])[c];
  out->X0.resize(n * d);
  // The ray of initial row j: the null space of B and the other initial rows.
  const std::uint64_t rows = kept_B.size() + (d > 0 ? d - 1 : 0);
  std::vector<std::int64_t> C(std::max<std::uint64_t>(rows * n, 1)), x(n);
  std::vector<wide_int> work_C(std::max<std::uint64_t>(rows * n, 1));
  std::vector<std::uint64_t> piv_C(std::max<std::uint64_t>(n, 1));
  for (std::uint64_t j = 0; j < d; ++j) {
    std::uint64_t r = 0;
    auto put = [&](const std::int64_t* v) {
      for (std::uint64_t c = 0; c < n; ++c) C[c * rows + r] = v[c];
      ++r;
    };
    for (std::uint64_t b : kept_B) put(B + b * n);
    for (std::uint64_t i = 0; i < d; ++i)
      if (i != j) put(BA.data() + (p + first[i]) * n);
    const null_space_result nj = integer_null_space(C.data(), rows, n, work_C.data(), piv_C.data(), x.data());
    if (nj.status != null_space_status::ok) return cone_setup_status::overflow;
    const std::int64_t* a = BA.data() + (p + first[j]) * n;
    const int s = dot_sign(a, 1, x.data(), n);
    for (std::uint64_t c = 0; c < n; ++c)
      if (x[c] == INT64_MIN) return cone_setup_status::overflow;
    for (std::uint64_t c = 0; c < n; ++c) out->X0[j * n + c] = s < 0 ? -x[c] : x[c];
  }
  out->sequence = run_sequence(first, m);
  return cone_setup_status::ok;
}

}  // namespace bits

#endif
