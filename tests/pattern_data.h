// Random pattern matrices for tests and benchmarks, built together with the
// answers they are meant to produce, and a plainly written reference test.
#ifndef BITS_TESTS_PATTERN_DATA_H
#define BITS_TESTS_PATTERN_DATA_H

#include <cstdint>
#include <random>
#include <vector>

namespace testdata {

// Column-major uint32 matrix of M rows and N columns.
struct pattern_matrix {
  std::uint64_t rows = 0, cols = 0;
  std::vector<std::uint32_t> data;
  pattern_matrix() = default;
  pattern_matrix(std::uint64_t m, std::uint64_t n) : rows(m), cols(n), data(m * n, 0) {}
  std::uint32_t* column(std::uint64_t c) { return data.data() + c * rows; }
  const std::uint32_t* column(std::uint64_t c) const { return data.data() + c * rows; }
};

// A word whose bits are set with probability `density`.
inline std::uint32_t random_word(std::mt19937_64& rng, double density) {
  std::bernoulli_distribution bit(density);
  std::uint32_t w = 0;
  for (int b = 0; b < 32; ++b)
    if (bit(rng)) w |= 1u << b;
  return w;
}

inline void fill_random(pattern_matrix& m, std::mt19937_64& rng, double density) {
  for (std::uint64_t k = 0; k < m.rows * m.cols; ++k) m.data[k] = random_word(rng, density);
}

// Plain bit-by-bit test: every bit set in P is set in Q.
inline bool reference_inside(const std::uint32_t* P, const std::uint32_t* Q, std::uint64_t rows) {
  for (std::uint64_t r = 0; r < rows; ++r)
    for (int b = 0; b < 32; ++b)
      if (((P[r] >> b) & 1u) && !((Q[r] >> b) & 1u)) return false;
  return true;
}

// R_subset columns made so that both answers are common against R: some are
// subsets of a reference column (random bits cleared), some are a subset plus
// one stray bit somewhere, the rest plain random.
inline pattern_matrix subsets_of(const pattern_matrix& R, std::uint64_t n, std::mt19937_64& rng,
                                 double density) {
  pattern_matrix S(R.rows, n);
  if (R.cols == 0 || R.rows == 0) {
    fill_random(S, rng, density);
    return S;
  }
  std::uniform_int_distribution<std::uint64_t> pick(0, R.cols - 1);
  std::uniform_int_distribution<std::uint64_t> row(0, R.rows - 1);
  std::uniform_int_distribution<int> kind(0, 3), bit(0, 31);
  for (std::uint64_t j = 0; j < n; ++j) {
    const std::uint32_t* src = R.column(pick(rng));
    std::uint32_t* dst = S.column(j);
    const int k = kind(rng);
    for (std::uint64_t r = 0; r < R.rows; ++r)
      dst[r] = k == 3 ? random_word(rng, density) : src[r] & random_word(rng, 0.7);
    if (k == 2) dst[row(rng)] |= 1u << bit(rng);
  }
  return S;
}

// n random column numbers of a matrix of `columns` columns. As doubles,
// every third one has a fractional part, which names the column below it.
template <typename index_t>
std::vector<index_t> random_indices(std::size_t n, std::uint64_t columns, std::mt19937_64& rng) {
  std::uniform_int_distribution<std::uint64_t> col(0, columns - 1);
  std::vector<index_t> idx;
  for (std::size_t k = 0; k < n; ++k)
    idx.push_back(static_cast<index_t>(col(rng)) + (k % 3 == 1 ? index_t(0.5) : index_t(0)));
  return idx;
}

// The count test written plainly: every pair (p, q) of a column named in
// pos and one named in neg, in that order, whose union has at most max_union
// bits, as 0-based column pairs.
template <typename index_t>
std::vector<std::uint32_t> reference_pairs(const pattern_matrix& R, const std::vector<index_t>& pos,
                                           const std::vector<index_t>& neg, std::uint64_t max_union) {
  std::vector<std::uint32_t> j_comb;
  for (index_t p : pos)
    for (index_t q : neg) {
      const std::uint64_t a = std::uint64_t(p), b = std::uint64_t(q);
      std::uint64_t bits_set = 0;
      for (std::uint64_t r = 0; r < R.rows; ++r)
        for (int k = 0; k < 32; ++k) bits_set += ((R.column(a)[r] | R.column(b)[r]) >> k) & 1u;
      if (bits_set <= max_union) {
        j_comb.push_back(static_cast<std::uint32_t>(a));
        j_comb.push_back(static_cast<std::uint32_t>(b));
      }
    }
  return j_comb;
}

}  // namespace testdata

#endif
