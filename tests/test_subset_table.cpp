#include <omp.h>

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/subset_table.h"
#include "tests/pattern_data.h"
#include "tests/test_params.h"

namespace {

using testdata::pattern_matrix;

// Runs the kernel as the entry does: word width by row parity, one parallel
// region of `threads` threads.
template <typename index_t>
std::vector<std::uint8_t> subset_table(const pattern_matrix& S, const pattern_matrix& R,
                                       const std::vector<index_t>& idx, int threads) {
  std::vector<std::uint8_t> out(S.cols * idx.size(), 0xAA);
  auto run = [&](auto word) {
    using W = decltype(word);
    const auto sv = bits::make_view<W>(S.data.data(), S.rows, S.cols);
    const auto rv = bits::make_view<W>(R.data.data(), R.rows, R.cols);
#pragma omp parallel num_threads(threads)
    bits::subset_table_kernel<W, index_t>(idx.data(), sv, rv, sv.words_per_column, out.data(),
                                          static_cast<std::int64_t>(idx.size()), S.cols);
  };
  if (bits::uses_wide_words(S.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
  return out;
}

template <typename index_t>
std::vector<std::uint8_t> reference_table(const pattern_matrix& S, const pattern_matrix& R,
                                          const std::vector<index_t>& idx) {
  std::vector<std::uint8_t> out;
  for (index_t v : idx)
    for (std::uint64_t j = 0; j < S.cols; ++j)
      out.push_back(testdata::reference_inside(S.column(j), R.column(std::uint64_t(v)), S.rows));
  return out;
}

template <typename index_t>
class SubsetTable : public ::testing::Test {};
TYPED_TEST_SUITE(SubsetTable, testpaths::index_types);

TYPED_TEST(SubsetTable, MatchesReferenceOnRandomPatterns) {
  std::mt19937_64 rng(20261208);
  const int procs = omp_get_num_procs();
  for (std::uint64_t rows : {0, 1, 2, 3, 4, 5, 31, 64}) {
    for (double density : {0.3, 0.8}) {
      pattern_matrix R(rows, 5);
      testdata::fill_random(R, rng, density);
      const pattern_matrix S = testdata::subsets_of(R, 57, rng, density);
      const auto idx = testdata::random_indices<TypeParam>(41, R.cols, rng);
      std::vector<TypeParam> whole(idx.size());
      for (std::size_t k = 0; k < idx.size(); ++k) whole[k] = TypeParam(std::uint64_t(idx[k]));
      const auto expected = reference_table(S, R, whole);
      std::size_t ones = 0;
      for (auto f : expected) ones += f;
      if (rows > 0) {
        EXPECT_GT(ones, expected.size() / 20) << "rows " << rows;
        EXPECT_LT(ones, expected.size() - expected.size() / 20) << "rows " << rows;
      }
      for (int threads : {1, 2, procs + 3})
        EXPECT_EQ(subset_table(S, R, idx, threads), expected)
            << "rows " << rows << ", density " << density << ", threads " << threads;
    }
  }
}

TYPED_TEST(SubsetTable, EmptyShapesWriteNothing) {
  pattern_matrix R(3, 4), S(3, 0);
  std::vector<TypeParam> idx = {0, 3};
  EXPECT_TRUE(subset_table(S, R, idx, 2).empty());
  pattern_matrix S2(3, 5);
  EXPECT_TRUE(subset_table(S2, R, std::vector<TypeParam>{}, 2).empty());
}

TYPED_TEST(SubsetTable, NoRowsMeansEveryFlagIsOne) {
  pattern_matrix R(0, 3), S(0, 4);
  const auto out = subset_table(S, R, std::vector<TypeParam>{2, 0, 1}, 2);
  EXPECT_EQ(out, std::vector<std::uint8_t>(12, 1));
}

TYPED_TEST(SubsetTable, RepeatedIndicesGiveEqualColumns) {
  std::mt19937_64 rng(7);
  pattern_matrix R(5, 3);
  testdata::fill_random(R, rng, 0.5);
  const pattern_matrix S = testdata::subsets_of(R, 9, rng, 0.5);
  const auto out = subset_table(S, R, std::vector<TypeParam>{1, 1, 2, 1}, 3);
  for (std::size_t j = 0; j < 9; ++j) {
    EXPECT_EQ(out[j], out[9 + j]);
    EXPECT_EQ(out[j], out[27 + j]);
  }
}

TEST(SubsetTable, EqualColumnInsideAndOneBitMoreOutsideAnywhere) {
  for (std::uint64_t rows : {1, 2, 3, 4, 7, 8}) {
    pattern_matrix R(rows, 1);
    for (std::uint64_t r = 0; r < rows; ++r) R.data[r] = 0x01010101u * std::uint32_t(r + 1);
    pattern_matrix S(rows, 1 + rows * 32);
    for (std::uint64_t c = 0; c < S.cols; ++c)
      for (std::uint64_t r = 0; r < rows; ++r) S.column(c)[r] = R.data[r];
    std::uint64_t c = 1;
    std::vector<std::uint8_t> expected(S.cols, 1);
    for (std::uint64_t r = 0; r < rows; ++r)
      for (int b = 0; b < 32; ++b, ++c) {
        S.column(c)[r] |= 1u << b;
        expected[c] = S.column(c)[r] == R.data[r];
      }
    EXPECT_EQ(subset_table(S, R, std::vector<std::uint32_t>{0}, 2), expected) << rows;
  }
}

}  // namespace
