#include <omp.h>

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/tree_adjacency.h"
#include "tests/test_params.h"
#include "tests/tree_data.h"

namespace {

using testdata::node_patterns;
using testdata::pattern_matrix;
using testdata::pattern_tree;

// Runs the kernel as the entry does: layout checked and measured first, word
// width by row parity, one parallel region of `threads` threads. Bytes that
// the kernel does not write keep the value 0xAA.
template <typename index_t>
std::vector<std::uint8_t> screen(const pattern_matrix& R, const pattern_tree& t,
                                 const std::vector<index_t>& j_comb, int threads,
                                 std::uint64_t depth_override = 0, int* failed_out = nullptr) {
  std::vector<std::uint32_t> scratch(t.nodes());
  const bits::tree_layout layout = bits::check_tree_layout(t.i_node.data(), t.nodes(), scratch.data());
  EXPECT_EQ(layout.fault, bits::tree_fault::none);
  EXPECT_TRUE(bits::leaf_ranges_inside(t.i_leaf.data(), t.nodes(), R.cols));
  const std::uint64_t depth = depth_override ? depth_override : layout.depth;
  const std::int64_t n_comb = static_cast<std::int64_t>(j_comb.size() / 2);
  std::vector<std::uint8_t> out(j_comb.size() / 2, 0xAA);
  int failed = 0;
  auto run = [&](auto word) {
    using W = decltype(word);
    const auto rv = bits::make_view<W>(R.data.data(), R.rows, R.cols);
    const auto tv = bits::make_view<W>(t.R_tree.data.data(), R.rows, t.nodes());
#pragma omp parallel num_threads(threads)
    bits::tree_adjacency_kernel<W, index_t>(j_comb.data(), tv, rv, rv.words_per_column, out.data(),
                                            t.nodes(), t.i_leaf.data(), t.i_node.data(), n_comb,
                                            depth, &failed);
  };
  if (bits::uses_wide_words(R.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
  if (failed_out) *failed_out = failed;
  else EXPECT_EQ(failed, 0);
  return out;
}

template <typename index_t>
std::vector<std::uint8_t> reference(const pattern_matrix& R, const pattern_tree& t,
                                    const std::vector<index_t>& j_comb) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k + 1 < j_comb.size(); k += 2)
    out.push_back(testdata::reference_adjacent(R, t, std::uint64_t(j_comb[k]), std::uint64_t(j_comb[k + 1])));
  return out;
}

pattern_tree tree_of(pattern_matrix R_tree, std::vector<std::uint32_t> i_node,
                     std::vector<std::uint64_t> i_leaf) {
  return pattern_tree{std::move(R_tree), std::move(i_node), std::move(i_leaf)};
}

template <typename index_t>
class TreeAdjacency : public ::testing::Test {};
TYPED_TEST_SUITE(TreeAdjacency, testpaths::index_types);

// Every kind of node pattern, every row class, random shapes from chains to
// flat forests; the flags equal the definition for every thread count, and do
// not change when an all-zero row is appended to R and R_tree.
TYPED_TEST(TreeAdjacency, MatchesDefinitionOnRandomTrees) {
  std::mt19937_64 rng(20261208);
  const int procs = omp_get_num_procs();
  for (std::uint64_t rows : {0, 1, 2, 3, 4, 5}) {
    for (node_patterns kind : {node_patterns::subtree_and, node_patterns::weaker, node_patterns::arbitrary}) {
      for (double close : {0.1, 0.5, 0.9}) {
        const pattern_matrix R = testdata::atom_patterns(rows, 14, rng);
        const pattern_tree t = testdata::random_tree(R, 60, rng, close, kind, false);
        const auto j = testdata::random_pairs<TypeParam>(R.cols, 130, rng);
        const auto expected = reference(R, t, j);
        std::size_t ones = 0;
        for (auto f : expected) ones += f;
        if (rows > 0) {
          EXPECT_LT(ones, expected.size()) << "rows " << rows;
          if (kind != node_patterns::subtree_and) {
            EXPECT_GT(ones, 0u) << "rows " << rows;
          }
        }
        for (int threads : {1, 2, procs + 3})
          EXPECT_EQ(screen(R, t, j, threads), expected)
              << "rows " << rows << ", kind " << int(kind) << ", close " << close << ", threads " << threads;
        pattern_tree tz = t;
        tz.R_tree = testdata::with_zero_row(t.R_tree);
        EXPECT_EQ(screen(testdata::with_zero_row(R), tz, j, 2), expected) << "zero row, rows " << rows;
      }
    }
  }
}

// With node patterns that are the AND of their subtree's columns, and every
// column listed once somewhere, the tree answers exactly the exhaustive test.
TYPED_TEST(TreeAdjacency, SubtreeAndTreesGiveTheExhaustiveTest) {
  std::mt19937_64 rng(77);
  std::size_t ones = 0, total = 0;
  for (std::uint64_t rows : {1, 2, 3, 6}) {
    for (double close : {0.0, 0.4, 0.8}) {
      const pattern_matrix R = testdata::atom_patterns(rows, 16, rng);
      const pattern_tree t = testdata::random_tree(R, 25, rng, close, node_patterns::subtree_and, true);
      const auto j = testdata::random_pairs<TypeParam>(R.cols, 120, rng);
      std::vector<std::uint8_t> expected;
      for (std::size_t k = 0; k < j.size(); k += 2)
        expected.push_back(testdata::exhaustive_adjacent(R, std::uint64_t(j[k]), std::uint64_t(j[k + 1])));
      for (auto f : expected) ones += f;
      total += expected.size();
      EXPECT_EQ(screen(R, t, j, 2), expected) << "rows " << rows << ", close " << close;
    }
  }
  EXPECT_GT(ones, total / 20);
  EXPECT_LT(ones, total - total / 20);
}

TYPED_TEST(TreeAdjacency, NoPairsWritesNothingAndNoNodesGivesOnes) {
  pattern_matrix R(2, 3);
  R.data = {1, 0, 2, 0, 3, 0};
  const pattern_tree one_root = tree_of(pattern_matrix(2, 1), {1}, {0, 2});
  EXPECT_TRUE(screen(R, one_root, std::vector<TypeParam>{}, 3).empty());
  const pattern_tree none = tree_of(pattern_matrix(2, 0), {}, {});
  EXPECT_EQ(screen(R, none, std::vector<TypeParam>{0, 1, 2, 2, 1, 0}, 2),
            (std::vector<std::uint8_t>{1, 1, 1}));
}

// No rows: every node is open, every listed column other than a and b is inner.
TYPED_TEST(TreeAdjacency, NoRowsAnswersByListedColumns) {
  pattern_matrix R(0, 4);
  // Root lists nothing; its children list {2} and {0}.
  const pattern_tree t = tree_of(pattern_matrix(0, 3), {3, 2, 3}, {1, 0, 2, 2, 0, 0});
  const std::vector<TypeParam> j = {0, 1, 2, 2, 0, 2, 3, 3, 1, 2};
  EXPECT_EQ(screen(R, t, j, 2), (std::vector<std::uint8_t>{0, 0, 1, 0, 0}));
}

TEST(TreeAdjacency, HandMadeTree) {
  // Columns of R, one row: 0 = {0}, 1 = {1}, 2 = {0,1}, 3 = {2}, 4 = {0} (copy of 0), 5 = {0,2}.
  pattern_matrix R(1, 6);
  R.data = {0x1, 0x2, 0x3, 0x4, 0x1, 0x5};
  // Node 0: root, pattern {}, lists nothing, subtree 0..4.
  //   Node 1: pattern {0}, lists 2, subtree 1..2.
  //     Node 2: pattern {0,2}, lists 5.
  //   Node 3: pattern {2}, lists 3 (first > last lists nothing otherwise), subtree 3..3.
  //   Node 4: pattern {}, lists 0..1.
  pattern_matrix T(1, 5);
  T.data = {0x0, 0x1, 0x5, 0x4, 0x0};
  pattern_tree t = tree_of(T, {5, 3, 3, 4, 5}, {1, 0, 2, 2, 5, 5, 3, 3, 0, 1});
  // Pair (0, 1): U = {0,1}. Node 1 open, lists 2 inside U: not adjacent.
  // Pair (0, 3): U = {0,2}. Node 1 open, node 2 open lists 5 inside U: 0.
  // Pair (1, 3): U = {1,2}. Node 1 closed (prunes 2 and 5); node 3 lists 3 = b;
  //              node 4 lists 0 and 1: 0 not inside, 1 = a: adjacent.
  // Pair (0, 0): U = {0}. Node 1 open, lists 2 (not inside); node 2 closed;
  //              node 4 lists 0 = a and 1 (not inside): adjacent, although
  //              column 4 duplicates column 0 (it is not listed).
  // Pair (2, 5): U = {0,1,2}: column 3 at node 3 is inner.
  const std::vector<std::uint32_t> j = {0, 1, 0, 3, 1, 3, 0, 0, 2, 5};
  EXPECT_EQ(screen(R, t, j, 1), (std::vector<std::uint8_t>{0, 0, 1, 1, 0}));
  EXPECT_EQ(screen(R, t, j, 1), reference(R, t, j));

  // Listing the duplicate of column 0 at node 4 makes (0, 0) not adjacent:
  // a column counts by its number, not by its bits.
  t.i_leaf[8] = 0;
  t.i_leaf[9] = 4;
  EXPECT_EQ(screen(R, t, std::vector<std::uint32_t>{0, 0}, 1), (std::vector<std::uint8_t>{0}));
  // Columns a and b never count, however often they are listed.
  pattern_tree ab = tree_of(pattern_matrix(1, 3), {3, 2, 3}, {0, 1, 1, 1, 0, 0});
  EXPECT_EQ(screen(R, ab, std::vector<std::uint32_t>{0, 1}, 1), (std::vector<std::uint8_t>{1}));
  // A node listing nothing still has its subtree walked.
  pattern_tree empty_parent = tree_of(pattern_matrix(1, 2), {2, 2}, {3, 2, 2, 2});
  EXPECT_EQ(screen(R, empty_parent, std::vector<std::uint32_t>{0, 1}, 1), (std::vector<std::uint8_t>{0}));
  // An inner column under a closed ancestor does not count.
  pattern_matrix closed(1, 2);
  closed.data = {0x8, 0x0};
  pattern_tree pruned = tree_of(closed, {2, 2}, {3, 2, 2, 2});
  EXPECT_EQ(screen(R, pruned, std::vector<std::uint32_t>{0, 1}, 1), (std::vector<std::uint8_t>{1}));
}

TEST(TreeAdjacency, DoublePairsNameTheColumnBelow) {
  std::mt19937_64 rng(3);
  const pattern_matrix R = testdata::atom_patterns(3, 10, rng);
  const pattern_tree t = testdata::random_tree(R, 20, rng, 0.5, node_patterns::weaker, false);
  EXPECT_EQ(screen(R, t, std::vector<double>{0.0, 2.9, 7.5, 1.2}, 2),
            screen(R, t, std::vector<std::uint32_t>{0, 2, 7, 1}, 2));
}

// 5,000 nested nodes, all open for every pair: only the deepest lists columns.
TEST(TreeAdjacency, DeepChain) {
  const std::uint64_t n = 5000;
  pattern_matrix R(2, 4);
  R.data = {0x1, 0, 0x2, 0, 0x3, 0, 0x4, 0};
  pattern_tree t = tree_of(pattern_matrix(2, n), testdata::chain_skip_targets(n),
                           std::vector<std::uint64_t>(2 * n, 0));
  for (std::uint64_t l = 0; l < n; ++l) t.i_leaf[2 * l] = 1;  // lists nothing
  t.i_leaf[2 * (n - 1)] = 2;                                  // deepest lists column 2
  t.i_leaf[2 * (n - 1) + 1] = 2;
  std::vector<std::uint32_t> scratch(n);
  EXPECT_EQ(bits::check_tree_layout(t.i_node.data(), n, scratch.data()).depth, n);
  const std::vector<std::uint32_t> j = {0, 1, 0, 3, 2, 3, 1, 1};
  const std::vector<std::uint8_t> expected = {0, 1, 1, 1};
  for (int threads : {1, 2, 5}) EXPECT_EQ(screen(R, t, j, threads), expected);
}

#if defined(__SANITIZE_ADDRESS__)
#define BITS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BITS_UNDER_ASAN 1
#endif
#endif

TEST(TreeAdjacency, FailedScratchIsReportedAndWritesNothing) {
#ifdef BITS_UNDER_ASAN
  GTEST_SKIP() << "the address sanitizer stops at impossible allocations";
#endif
  pattern_matrix R(1, 3);
  R.data = {1, 2, 3};
  const pattern_tree t = tree_of(pattern_matrix(1, 1), {1}, {0, 2});
  int failed = 0;
  // A stack far beyond any heap: every thread's allocation fails.
  const auto out = screen(R, t, std::vector<std::uint32_t>{0, 1, 1, 2}, 2, std::uint64_t(1) << 61, &failed);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xAA, 0xAA}));
}

TEST(TreeLayout, DepthOfForestsAndFaults) {
  std::vector<std::uint32_t> scratch(8);
  auto check = [&](std::vector<std::uint32_t> i_node) {
    return bits::check_tree_layout(i_node.data(), i_node.size(), scratch.data());
  };
  EXPECT_EQ(check({}).depth, 0u);
  EXPECT_EQ(check({1, 2, 3}).depth, 1u);        // three roots
  EXPECT_EQ(check({4, 3, 3, 4, 5}).depth, 3u);  // 0 > 1 > 2, 0 > 3, root 4
  EXPECT_EQ(check({4, 3, 3, 4, 5}).fault, bits::tree_fault::none);

  auto fault_at = [&](std::vector<std::uint32_t> i_node, bits::tree_fault f, std::uint64_t node) {
    const auto r = check(i_node);
    EXPECT_EQ(r.fault, f);
    EXPECT_EQ(r.node, node);
  };
  fault_at({1, 1, 3}, bits::tree_fault::skip_target, 1);  // i_node(l) = l: would never end
  fault_at({2, 0, 2}, bits::tree_fault::skip_target, 1);  // backwards
  fault_at({1, 4, 3}, bits::tree_fault::skip_target, 1);  // beyond n_nodes
  fault_at({3, 4, 4, 4}, bits::tree_fault::nesting, 1);   // child passes its parent
  fault_at({4, 3, 4, 4}, bits::tree_fault::nesting, 2);   // passes its parent 1
  fault_at({4, 3, 3, 4}, bits::tree_fault::none, 0);
}

TEST(TreeLayout, LeafRanges) {
  const std::vector<std::uint64_t> ok = {0, 2, 5, 4, UINT64_MAX, 0, 2, 2};
  EXPECT_TRUE(bits::leaf_ranges_inside(ok.data(), 4, 3));
  EXPECT_FALSE(bits::leaf_ranges_inside(ok.data(), 4, 2));
  const std::vector<std::uint64_t> open_end = {0, UINT64_MAX};
  EXPECT_FALSE(bits::leaf_ranges_inside(open_end.data(), 1, 3));
  EXPECT_TRUE(bits::leaf_ranges_inside(open_end.data(), 0, 3));
}

}  // namespace
