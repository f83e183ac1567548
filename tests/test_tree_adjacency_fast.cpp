// The vector column scan and the fast pair-screening kernel must give the
// straightforward answers on every vector path (each skipped, by name, where
// it cannot run), for both index classes, range ends inside and across groups
// of 16 columns, pairs inside and outside the scanned range, and any team
// size.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/tree_adjacency.h"
#include "core/tree_adjacency_fast.h"
#include "tests/test_params.h"
#include "tests/tree_data.h"

namespace {

using testdata::pattern_matrix;
using testdata::pattern_tree;

// Every range first .. last of R's columns, scanned for pairs (a, b) drawn at
// random (often inside the range, sometimes equal): the vector scan answers
// as the straightforward one.
template <typename word_t>
void check_every_range(const pattern_matrix& R, bits::simd_isa isa, std::mt19937_64& rng) {
  const auto rv = bits::make_view<word_t>(R.data.data(), R.rows, R.cols);
  const std::uint64_t wpc = rv.words_per_column;
  const std::uint64_t elements = bits::elements_per_column<word_t>(wpc);
  std::vector<std::uint32_t> copy(bits::transposed_scratch_size(elements, R.cols));
  std::uint32_t* T = bits::transposed_scratch_start(copy.data());
  for (std::uint64_t g = 0; g * bits::vector_group_width < R.cols; ++g)
    bits::detail::transpose_group(reinterpret_cast<const bits::word_view_t<std::uint32_t>*>(rv.words),
                                  elements, R.cols, g, T);
  const bits::scalar_column_scan<word_t> scalar{rv, wpc};
  std::uniform_int_distribution<std::uint64_t> col(0, R.cols - 1);
  std::vector<word_t> mask(wpc + 1);
  std::size_t found = 0, total = 0;
  bits::run_vector_path(isa, [&](auto path) {
    const bits::vector_column_scan<word_t, decltype(path)::value> fast{scalar, T, elements};
    for (std::uint64_t first = 0; first < R.cols; ++first) {
      for (std::uint64_t last = first; last < R.cols; ++last) {
        const std::uint64_t a = col(rng), b = last % 5 == 0 ? a : col(rng);
        bits::union_mask<word_t>(rv.column(a), rv.column(b), wpc, mask.data());
        const bool expected = scalar(first, last, a, b, mask.data());
        found += expected;
        ++total;
        ASSERT_EQ(fast(first, last, a, b, mask.data()), expected)
            << "rows " << R.rows << " range " << first << ".." << last << " pair " << a << ","
            << b;
      }
    }
  });
  if (R.rows > 0 && total > 0) {
    EXPECT_GT(found, total / 20) << R.rows;
    EXPECT_LT(found, total - total / 20) << R.rows;
  }
}

class VectorColumnScan : public testpaths::path_test {};
INSTANTIATE_TEST_SUITE_P(Simd, VectorColumnScan, testpaths::vector_paths());

TEST_P(VectorColumnScan, EveryRangeAsTheStraightforwardScan) {
  std::mt19937_64 rng(31);
  for (std::uint64_t rows : {1, 2, 3, 4, 5, 33, 34}) {
    const pattern_matrix R = testdata::atom_patterns(rows, 53, rng);
    if (bits::uses_wide_words(rows)) check_every_range<std::uint64_t>(R, GetParam(), rng);
    else check_every_range<std::uint32_t>(R, GetParam(), rng);
  }
}

// Both kernels in a team of `threads`; the fast one gets its copy of R.
template <typename index_t>
std::vector<std::uint8_t> screen(const pattern_matrix& R, const pattern_tree& t,
                                 const std::vector<index_t>& j_comb, int threads, bool fast,
                                 bits::simd_isa isa) {
  std::vector<std::uint32_t> stack(t.nodes());
  const bits::tree_layout layout = bits::check_tree_layout(t.i_node.data(), t.nodes(), stack.data());
  EXPECT_EQ(layout.fault, bits::tree_fault::none);
  const std::int64_t n_comb = static_cast<std::int64_t>(j_comb.size() / 2);
  std::vector<std::uint8_t> out(j_comb.size() / 2, 0xAA);
  int failed = 0;
  auto run = [&](auto word) {
    using W = decltype(word);
    const auto rv = bits::make_view<W>(R.data.data(), R.rows, R.cols);
    const auto tv = bits::make_view<W>(t.R_tree.data.data(), R.rows, t.nodes());
    const std::uint64_t wpc = rv.words_per_column;
    std::vector<std::uint32_t> copy(
        bits::transposed_scratch_size(bits::elements_per_column<W>(wpc), R.cols));
    void* scratch = fast ? copy.data() : nullptr;
#pragma omp parallel num_threads(threads)
    bits::tree_adjacency_fast_kernel<W, index_t>(j_comb.data(), tv, rv, wpc, out.data(), t.nodes(),
                                                 t.i_leaf.data(), t.i_node.data(), n_comb,
                                                 layout.depth, &failed, scratch, isa);
  };
  if (bits::uses_wide_words(R.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
  EXPECT_EQ(failed, 0);
  return out;
}

class TreeAdjacencyFast : public testpaths::path_test {};
INSTANTIATE_TEST_SUITE_P(Simd, TreeAdjacencyFast, testpaths::vector_paths());

// The plain scan (one root of no bits listing every column) and random
// forests whose nodes list long ranges: the fast kernel's flags are the
// straightforward kernel's.
TEST_P(TreeAdjacencyFast, SameFlagsAsStraightforwardKernel) {
  const bits::simd_isa isa = GetParam();
  testpaths::for_each_index_type([&](auto index) {
    using index_t = decltype(index);
    std::mt19937_64 rng(8128);
    for (std::uint64_t rows : {0, 1, 2, 3, 4, 33}) {
      const pattern_matrix R = testdata::atom_patterns(rows, 70, rng);
      std::vector<pattern_tree> trees;
      trees.push_back(pattern_tree{pattern_matrix(rows, 1), {1}, {0, R.cols - 1}});
      trees.push_back(testdata::random_tree(R, 12, rng, 0.5, testdata::node_patterns::subtree_and, true));
      pattern_tree wide = testdata::random_tree(R, 30, rng, 0.3, testdata::node_patterns::arbitrary, false);
      std::uniform_int_distribution<std::uint64_t> col(0, R.cols - 1);
      for (std::uint64_t l = 0; l < wide.nodes(); ++l) {
        const std::uint64_t x = col(rng), y = col(rng);
        wide.i_leaf[2 * l] = std::min(x, y);
        wide.i_leaf[2 * l + 1] = l % 7 == 3 ? std::min(x, y) - 1 : std::max(x, y);
      }
      trees.push_back(wide);
      for (const pattern_tree& t : trees) {
        const auto j = testdata::random_pairs<index_t>(R.cols, 300, rng);
        const auto expected = screen(R, t, j, 1, false, bits::simd_isa::scalar);
        for (int threads : {1, 2, 3})
          EXPECT_EQ(screen(R, t, j, threads, true, isa), expected)
              << "rows " << rows << ", nodes " << t.nodes() << ", threads " << threads;
      }
    }
  });
}

TEST(PairScratch, OnlyWhereTheCopyPays) {
  using bits::simd_isa;
  EXPECT_EQ(bits::pair_scratch_elements(4, 1000, 5000, simd_isa::scalar), 0u);
  EXPECT_EQ(bits::pair_scratch_elements(0, 1000, 5000, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::pair_scratch_elements(4, 1000, 3, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::pair_scratch_elements(4, 8, 5000, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::pair_scratch_elements(4, 100000, 6249, simd_isa::avx2), 0u);  // < 1 pair per 16 columns
  EXPECT_GT(bits::pair_scratch_elements(4, 100000, 6250, simd_isa::avx2), 0u);
  EXPECT_EQ(bits::pair_scratch_elements(3, 17, 5000, simd_isa::avx512), 32u * 3 + 16);
  EXPECT_EQ(bits::pair_scratch_elements(1u << 20, 1u << 20, 5000, simd_isa::avx512), 0u);
}

}  // namespace
