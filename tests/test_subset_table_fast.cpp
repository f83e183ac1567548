// The vector subset table must give the straightforward kernel's bytes, on
// every instruction-set path (each skipped, by name, where it cannot run),
// for both index classes, every row count class, group and cache-block
// remainders, and any team size.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/subset_table.h"
#include "core/subset_table_fast.h"
#include "tests/pattern_data.h"
#include "tests/test_params.h"

namespace {

using testdata::pattern_matrix;

constexpr std::size_t guard = 64;  // bytes after the output that nothing may touch

// Runs one kernel in a team of `threads`, word width by row parity. `fast`
// runs the vector kernel with a scratch block of the full size, whatever the
// entry's policy would choose.
template <typename index_t>
std::vector<std::uint8_t> run(const pattern_matrix& S, const pattern_matrix& R,
                              const std::vector<index_t>& idx, int threads, bool fast,
                              bits::simd_isa isa) {
  std::vector<std::uint8_t> out(S.cols * idx.size() + guard, 0xAA);
  const std::int64_t n_perm = static_cast<std::int64_t>(idx.size());
  auto go = [&](auto word) {
    using W = decltype(word);
    const auto sv = bits::make_view<W>(S.data.data(), S.rows, S.cols);
    const auto rv = bits::make_view<W>(R.data.data(), R.rows, R.cols);
    const std::uint64_t wpc = sv.words_per_column;
    std::vector<std::uint32_t> scratch(
        bits::transposed_scratch_size(bits::elements_per_column<W>(wpc), S.cols), 0xDEADBEEF);
    void* block = fast ? scratch.data() : nullptr;
#pragma omp parallel num_threads(threads)
    {
      if (fast)
        bits::subset_table_fast_kernel<W, index_t>(idx.data(), sv, rv, wpc, out.data(), n_perm,
                                                   S.cols, block, isa);
      else
        bits::subset_table_kernel<W, index_t>(idx.data(), sv, rv, wpc, out.data(), n_perm,
                                              S.cols);
    }
  };
  if (bits::uses_wide_words(S.rows)) go(std::uint64_t{}); else go(std::uint32_t{});
  for (std::size_t k = out.size() - guard; k < out.size(); ++k) EXPECT_EQ(out[k], 0xAA);
  return out;
}

enum class data_kind { random, deep };

// Random data decides in the first words; deep data (sparse subsets against
// dense references) makes the scans run long and leaves many flags at 1.
void fill(pattern_matrix& R, pattern_matrix& S, std::uint64_t n_subset, data_kind kind,
          std::mt19937_64& rng) {
  if (kind == data_kind::random) {
    testdata::fill_random(R, rng, 0.3);
    S = testdata::subsets_of(R, n_subset, rng, 0.3);
  } else {
    testdata::fill_random(R, rng, 0.95);
    S = pattern_matrix(R.rows, n_subset);
    testdata::fill_random(S, rng, R.rows > 16 ? 0.002 : 0.05);
  }
}

class SubsetTableFast : public testpaths::path_test {};
INSTANTIATE_TEST_SUITE_P(Simd, SubsetTableFast, testpaths::every_path());

TEST_P(SubsetTableFast, SameBytesAsStraightforwardKernel) {
  const bits::simd_isa isa = GetParam();
  testpaths::for_each_index_type([&](auto index) {
    using index_t = decltype(index);
    std::mt19937_64 rng(4711);
    for (std::uint64_t rows : {0, 1, 2, 3, 4, 5, 8, 9, 33, 34}) {
      for (std::uint64_t n_subset : {0, 1, 15, 16, 17, 47}) {
        for (data_kind kind : {data_kind::random, data_kind::deep}) {
          pattern_matrix R(rows, 6), S;
          fill(R, S, n_subset, kind, rng);
          const auto idx = testdata::random_indices<index_t>(7, R.cols, rng);
          const auto expected = run(S, R, idx, 1, false, bits::simd_isa::scalar);
          for (int threads : {1, 2, 5})
            EXPECT_EQ(run(S, R, idx, threads, true, isa), expected)
                << "rows " << rows << ", n_subset " << n_subset << ", threads " << threads
                << (kind == data_kind::deep ? ", deep" : ", random");
        }
      }
    }
  });
}

TEST_P(SubsetTableFast, SeveralCacheBlocksAndNoReferenceColumns) {
  const bits::simd_isa isa = GetParam();
  testpaths::for_each_index_type([&](auto index) {
    using index_t = decltype(index);
    std::mt19937_64 rng(99);
    // One cache block and 37 columns more: two blocks, the second one partly
    // filled and ending in a partial group.
    for (std::uint64_t rows : {201, 130}) {
      const auto shape = std::make_pair(
          rows, bits::detail::groups_per_block(rows) * bits::vector_group_width + 37);
      for (data_kind kind : {data_kind::random, data_kind::deep}) {
        pattern_matrix R(shape.first, 4), S;
        fill(R, S, shape.second, kind, rng);
        for (std::size_t n_perm : {0, 1, 5}) {
          const auto idx = testdata::random_indices<index_t>(n_perm, R.cols, rng);
          const auto expected = run(S, R, idx, 1, false, bits::simd_isa::scalar);
          for (int threads : {1, 2, 3})
            EXPECT_EQ(run(S, R, idx, threads, true, isa), expected)
                << "rows " << shape.first << ", threads " << threads << ", n_perm " << n_perm;
        }
      }
    }
  });
}

TEST_P(SubsetTableFast, OneStrayBitAnywhereGivesZero) {
  // Copies of the reference column with one bit added: only the copies whose
  // added bit was already set stay inside, for every lane and element.
  for (std::uint64_t rows : {1, 2, 3, 6}) {
    pattern_matrix R(rows, 1);
    for (std::uint64_t r = 0; r < rows; ++r) R.data[r] = 0x80402011u * std::uint32_t(r + 3);
    pattern_matrix S(rows, 1 + rows * 32);
    for (std::uint64_t c = 0; c < S.cols; ++c)
      for (std::uint64_t r = 0; r < rows; ++r) S.column(c)[r] = R.data[r];
    std::uint64_t c = 1;
    for (std::uint64_t r = 0; r < rows; ++r)
      for (int b = 0; b < 32; ++b, ++c) S.column(c)[r] |= 1u << b;
    const std::vector<std::uint32_t> idx = {0, 0, 0, 0};
    const auto expected = run(S, R, idx, 1, false, bits::simd_isa::scalar);
    EXPECT_EQ(run(S, R, idx, 2, true, GetParam()), expected) << rows;
  }
}

TEST(SubsetScratch, OnlyWhereTheCopyPays) {
  using bits::simd_isa;
  EXPECT_EQ(bits::subset_scratch_elements(4, 20000, 2000, simd_isa::scalar), 0u);
  EXPECT_EQ(bits::subset_scratch_elements(0, 20000, 2000, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::subset_scratch_elements(4, 15, 2000, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::subset_scratch_elements(4, 20000, 3, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::subset_scratch_elements(4, 17, 4, simd_isa::avx512), 32u * 4 + 16);
  // A copy beyond the limit is not made: the straightforward kernel runs.
  EXPECT_EQ(bits::subset_scratch_elements(1u << 20, 1u << 20, 100, simd_isa::avx512), 0u);
  EXPECT_EQ(bits::subset_scratch_elements(std::uint64_t(1) << 40, 1u << 30, 100, simd_isa::avx2), 0u);
}

}  // namespace
