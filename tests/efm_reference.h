// The elementary flux modes of small networks by brute force, the reference
// that the double description run (test_double_description.cpp) and the
// whole flux-modes pipeline (test_flux_modes_pipeline.cpp) are held to.
#ifndef BITS_TESTS_EFM_REFERENCE_H
#define BITS_TESTS_EFM_REFERENCE_H

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/integer_null_space.h"

namespace efm_reference {

typedef std::vector<std::int64_t> ray;

// Null space basis of the m x n column-major matrix M (n x (n - rank)),
// with its pivot columns.
inline std::vector<std::int64_t> null_space(const std::vector<std::int64_t>& M, std::uint64_t m, std::uint64_t n,
                                            std::vector<std::uint64_t>* pivots) {
  std::vector<bits::wide_int> work(m * n + 1);
  std::vector<std::uint64_t> piv(n + 1);
  std::vector<std::int64_t> basis(n * n + 1);
  const auto r = bits::integer_null_space(M.data(), m, n, work.data(), piv.data(), basis.data());
  EXPECT_EQ(r.status, bits::null_space_status::ok);
  if (pivots) pivots->assign(piv.begin(), piv.begin() + r.rank);
  basis.resize(n * (n - r.rank));
  return basis;
}

// The modes by brute force: every support T whose columns of S have a
// one-dimensional null space spanned by a vector that uses all of T and
// has one sign on the irreversible reactions; a reversible one in the
// direction whose first non-zero entry is positive.
inline std::vector<ray> reference_modes(const std::vector<std::int64_t>& S, std::uint64_t m, std::uint64_t n,
                                        const std::vector<std::uint8_t>& rev) {
  std::vector<ray> modes;
  for (std::uint64_t T = 1; T < (std::uint64_t(1) << n); ++T) {
    std::vector<std::uint64_t> cols;
    for (std::uint64_t j = 0; j < n; ++j)
      if (T >> j & 1) cols.push_back(j);
    std::vector<std::int64_t> ST;
    for (std::uint64_t j : cols) ST.insert(ST.end(), S.begin() + j * m, S.begin() + (j + 1) * m);
    const auto K = null_space(ST, m, cols.size(), nullptr);
    if (K.size() != cols.size()) continue;  // dimension other than one
    ray x(n, 0);
    int sign = 0;
    bool ok = true;
    for (std::uint64_t k = 0; k < cols.size(); ++k) {
      x[cols[k]] = K[k];
      ok = ok && K[k] != 0;
      if (!rev[cols[k]]) {
        const int s = K[k] > 0 ? 1 : -1;
        ok = ok && (sign == 0 || s == sign);
        sign = s;
      }
    }
    if (!ok) continue;
    if (sign == 0) sign = *std::find_if(x.begin(), x.end(), [](std::int64_t v) { return v != 0; }) > 0 ? 1 : -1;
    for (auto& v : x) v *= sign;
    modes.push_back(x);
  }
  std::sort(modes.begin(), modes.end());
  return modes;
}

// A random network of 2 to 6 metabolites and up to 12 reactions: small
// integer coefficients, a third of the reactions reversible.
inline void random_network(std::mt19937_64& rng, std::vector<std::int64_t>* S, std::uint64_t* m, std::uint64_t* n,
                           std::vector<std::uint8_t>* rev) {
  *m = 2 + rng() % 5;
  *n = *m + 2 + rng() % (12 - *m);
  S->assign(*m * *n, 0);
  for (auto& v : *S) v = rng() % 100 < 40 ? static_cast<std::int64_t>(rng() % 5) - 2 : 0;
  rev->resize(*n);
  for (auto& v : *rev) v = rng() % 100 < 35;
}

}  // namespace efm_reference

#endif
