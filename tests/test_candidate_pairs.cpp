// Candidate pairs and the pattern tree builder against plain references:
// the count test bit by bit, and the tree's layout and node patterns from
// their definitions.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/candidate_pairs.h"
#include "core/pattern_tree.h"
#include "core/tree_adjacency.h"
#include "tests/candidate_pairs_run.h"
#include "tests/test_params.h"

namespace {

using testdata::pattern_matrix;
using testdata::reference_pairs;

// The pairs as the two runs of the kernel give them, on `threads` threads.
template <typename index_t>
std::vector<std::uint32_t> candidate_pairs(const pattern_matrix& R, const std::vector<index_t>& pos,
                                           const std::vector<index_t>& neg, std::uint64_t max_union,
                                           bits::simd_isa isa, int threads) {
  const auto got = bits::uses_wide_words(R.rows)
                       ? testdata::run_candidate_pairs<std::uint64_t>(R, pos, neg, max_union, isa, threads)
                       : testdata::run_candidate_pairs<std::uint32_t>(R, pos, neg, max_union, isa, threads);
  EXPECT_FALSE(got.wrote_past_end);
  return got.j_comb;
}

class CandidatePairs : public testpaths::path_test {};
INSTANTIATE_TEST_SUITE_P(Simd, CandidatePairs, testpaths::every_path());

TEST_P(CandidatePairs, SamePairsAsTheDefinitionInTheSameOrder) {
  const bits::simd_isa isa = GetParam();
  if (bits::candidate_pairs_path(isa) != isa)
    std::printf("[   PATH   ] %s asked, %s run: no AVX512_VPOPCNTDQ\n", bits::simd_isa_name(isa),
                bits::simd_isa_name(bits::candidate_pairs_path(isa)));
  std::mt19937_64 rng(4);
  testpaths::for_each_index_type([&](auto index) {
    using index_t = decltype(index);
    for (std::uint64_t M : {0, 1, 2, 3, 4, 9}) {
      pattern_matrix R(M, 150);
      testdata::fill_random(R, rng, 0.3);
      for (int trial = 0; trial < 6; ++trial) {
        std::vector<index_t> pos, neg;
        std::uniform_int_distribution<std::uint64_t> col(0, R.cols - 1);
        for (std::uint64_t k = 0, n = rng() % 40; k < n; ++k) pos.push_back(index_t(col(rng)));
        for (std::uint64_t k = 0, n = rng() % 70; k < n; ++k) neg.push_back(index_t(col(rng)));
        // Bounds around the typical union size, so both answers are common.
        const std::uint64_t max_union = M * 32 * 5 / 10 + rng() % (M * 4 + 2) - M * 2;
        const auto expected = reference_pairs(R, pos, neg, max_union);
        for (int threads : {1, 3})
          ASSERT_EQ(candidate_pairs(R, pos, neg, max_union, isa, threads), expected)
              << "M=" << M << " threads=" << threads << " bound=" << max_union;
      }
    }
  });
}

// The tree builder, in both layouts: every column listed exactly once,
// nodes in preorder with nested subtrees, node patterns the AND of their
// subtree's columns, leaves within the leaf size unless their columns are
// all equal, and only consecutive columns listed together; the tree in
// order is that of the columns in `order`, with one range per leaf.
TEST(PatternTree, LayoutAndPatternsFollowTheirDefinitions) {
  std::mt19937_64 rng(5);
  for (int trial = 0; trial < 120; ++trial) {
    const bool in_order = trial % 2 == 1;
    const std::uint64_t M = rng() % 4, N = rng() % 300, leaf_size = 1 + rng() % 10;
    pattern_matrix R(M, N);
    testdata::fill_random(R, rng, 0.5);
    for (std::uint64_t c = 1; c < N; c += 1 + rng() % 5) std::copy(R.column(c - 1), R.column(c), R.column(c));
    const std::uint64_t cap = bits::pattern_tree_max_nodes(N) + 1;
    std::vector<std::uint64_t> order(N + 1), first(cap), last(cap), spare(N + 1);
    std::vector<std::uint32_t> skip(cap), counts(32 * M + 1);
    std::vector<std::uint8_t> lists(cap);
    bits::pattern_tree_shape shape{order.data(), first.data(), last.data(), skip.data(), lists.data(),
                                   0, in_order};
    const auto* words = reinterpret_cast<const bits::word_view_t<std::uint32_t>*>(R.data.data());
    bits::build_pattern_tree(words, M, N, leaf_size, counts.data(), spare.data(), &shape);
    const std::uint64_t n = shape.nodes;
    pattern_matrix R_tree(M, n);
    std::vector<std::uint32_t> i_node(n);
    std::vector<std::uint64_t> i_leaf(2 * n);
    bits::write_pattern_tree(words, M, shape, R_tree.data.data(), i_node.data(), i_leaf.data());
    // The columns the tree names: those of R, or of R in `order`.
    pattern_matrix C = R;
    for (std::uint64_t p = 0; in_order && p < N; ++p) std::copy(R.column(order[p]), R.column(order[p] + 1), C.column(p));

    std::vector<std::uint32_t> scratch(n + 1);
    ASSERT_EQ(bits::check_tree_layout(i_node.data(), n, scratch.data()).fault, bits::tree_fault::none);
    std::vector<int> listed(N, 0);
    for (std::uint64_t l = 0; l < n; ++l) {
      std::vector<std::uint32_t> expected(M, 0xFFFFFFFFu);
      for (std::uint64_t m = l; m < i_node[l]; ++m)
        for (std::uint64_t c = i_leaf[2 * m]; c <= i_leaf[2 * m + 1]; ++c)
          for (std::uint64_t r = 0; r < M; ++r) expected[r] &= C.column(c)[r];
      ASSERT_EQ(std::vector<std::uint32_t>(R_tree.column(l), R_tree.column(l) + M), expected) << "node " << l;
      if (i_leaf[2 * l] > i_leaf[2 * l + 1]) {
        ASSERT_FALSE(in_order && l + 1 == i_node[l]) << "a leaf in order lists its range";
        continue;
      }
      const std::uint64_t size = i_leaf[2 * l + 1] - i_leaf[2 * l] + 1;
      bool equal = true;
      for (std::uint64_t c = i_leaf[2 * l]; c <= i_leaf[2 * l + 1]; ++c) {
        ++listed[c];
        equal = equal && std::equal(C.column(c), C.column(c) + M, C.column(i_leaf[2 * l]));
      }
      // A listing node is a leaf, or a run of a leaf: within the leaf size
      // unless all its columns are equal.
      ASSERT_TRUE(size <= leaf_size || equal || l + 1 == i_node[l]) << "node " << l;
    }
    ASSERT_EQ(listed, std::vector<int>(N, 1));
    std::vector<std::uint64_t> sorted(order.begin(), order.begin() + N);
    std::sort(sorted.begin(), sorted.end());
    for (std::uint64_t p = 0; p < N; ++p) ASSERT_EQ(sorted[p], p);
  }
}

}  // namespace
