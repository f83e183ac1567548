// The pair-screening walk against the flag written from its definition
// (tests/tree_data.h): the straightforward kernel, and the kernel with the
// vector column scan on every instruction-set path this processor runs, for
// forests of any shape (chains, flat forests), node patterns that are the
// AND of their subtree, weaker, or unrelated to it, node ranges that cover R
// or overlap and repeat, both index classes and teams of 1 to 3 threads.
#include <cstdint>
#include <random>
#include <vector>

#include "core/simd.h"
#include "core/tree_adjacency.h"
#include "core/tree_adjacency_fast.h"
#include "fuzz/fuzz_input.h"
#include "tests/tree_data.h"

namespace {

using testdata::pattern_matrix;
using testdata::pattern_tree;

template <typename word_t, typename index_t>
std::vector<std::uint8_t> screen(const pattern_matrix& R, const pattern_tree& t,
                                 const std::vector<index_t>& j_comb, std::uint64_t depth,
                                 int threads, bool fast, bits::simd_isa isa) {
  const std::int64_t n_comb = static_cast<std::int64_t>(j_comb.size() / 2);
  std::vector<std::uint8_t> out(j_comb.size() / 2, 0xAA);
  const auto rv = bits::make_view<word_t>(R.data.data(), R.rows, R.cols);
  const auto tv = bits::make_view<word_t>(t.R_tree.data.data(), R.rows, t.nodes());
  const std::uint64_t wpc = rv.words_per_column;
  std::vector<std::uint32_t> copy(bits::transposed_scratch_size(bits::elements_per_column<word_t>(wpc), R.cols));
  int failed = 0;
#pragma omp parallel num_threads(threads)
  {
    if (fast)
      bits::tree_adjacency_fast_kernel<word_t, index_t>(j_comb.data(), tv, rv, wpc, out.data(), t.nodes(),
                                                        t.i_leaf.data(), t.i_node.data(), n_comb, depth,
                                                        &failed, copy.data(), isa);
    else
      bits::tree_adjacency_kernel<word_t, index_t>(j_comb.data(), tv, rv, wpc, out.data(), t.nodes(),
                                                   t.i_leaf.data(), t.i_node.data(), n_comb, depth, &failed);
  }
  FUZZ_CHECK(failed == 0);
  return out;
}

template <typename index_t>
void check(fuzzin::reader& in, const pattern_matrix& R, const pattern_tree& t, int threads) {
  std::vector<std::uint32_t> stack(t.nodes());
  const bits::tree_layout layout = bits::check_tree_layout(t.i_node.data(), t.nodes(), stack.data());
  FUZZ_CHECK(layout.fault == bits::tree_fault::none);
  FUZZ_CHECK(bits::leaf_ranges_inside(t.i_leaf.data(), t.nodes(), R.cols));
  const std::uint64_t n_comb = in.below(64);
  std::vector<index_t> j_comb;
  std::vector<std::uint8_t> expected;
  for (std::uint64_t i = 0; i < n_comb; ++i) {
    const std::uint8_t a = in.byte(), b = in.byte();
    j_comb.push_back(static_cast<index_t>(a % R.cols) + ((a & 0x80) ? index_t(0.5) : index_t(0)));
    j_comb.push_back(static_cast<index_t>(b % R.cols));
    expected.push_back(testdata::reference_adjacent(R, t, a % R.cols, b % R.cols));
  }
  auto run = [&](auto word) {
    using W = decltype(word);
    FUZZ_CHECK(screen<W>(R, t, j_comb, layout.depth, 1, false, bits::simd_isa::scalar) == expected);
    for (bits::simd_isa isa : {bits::simd_isa::avx2, bits::simd_isa::avx512})
      if (isa <= bits::cpu_simd_isa())
        FUZZ_CHECK(screen<W>(R, t, j_comb, layout.depth, threads, true, isa) == expected);
  };
  if (bits::uses_wide_words(R.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const std::uint64_t rows = in.below(36), cols = 1 + in.below(80), nodes = in.below(40);
  const std::uint8_t mode = in.byte();
  const int threads = 1 + (mode >> 6) % 3;
  std::mt19937_64 rng(in.word<std::uint64_t>());

  // Columns: unions of a few atoms (one often inside the union of two
  // others), or straight from the input.
  pattern_matrix R(rows, cols);
  if (mode & 1) R = testdata::atom_patterns(rows, cols, rng, 2 + in.below(12), 1 + in.below(4));
  else in.fill(R.data.data(), R.data.size() * 4);

  // Shape: a forest from the input (before node l, the byte says how many
  // open subtrees close), or a random one; ranges covering R or not.
  pattern_tree t;
  const auto kind = static_cast<testdata::node_patterns>((mode >> 1) % 3);
  t = testdata::random_tree(R, nodes, rng, in.byte() / 255.0, kind, mode & 8);
  if (mode & 16) {
    std::vector<std::uint64_t> path;
    for (std::uint64_t l = 0; l < nodes; ++l) {
      for (int close = in.byte() % 4; close > 0 && !path.empty(); --close) {
        t.i_node[path.back()] = static_cast<std::uint32_t>(l);
        path.pop_back();
      }
      path.push_back(l);
    }
    for (std::uint64_t l : path) t.i_node[l] = static_cast<std::uint32_t>(nodes);
    for (std::uint64_t l = 0; l < nodes; ++l) {  // ranges from the input
      const std::uint64_t first = in.below(cols + 2), last = in.below(cols);
      t.i_leaf[2 * l] = first;
      t.i_leaf[2 * l + 1] = last;
    }
    if (kind != testdata::node_patterns::arbitrary) {
      t.R_tree = testdata::subtree_and_patterns(R, t.i_node, t.i_leaf);
      if (kind == testdata::node_patterns::weaker)
        for (auto& w : t.R_tree.data) w &= in.word<std::uint32_t>();
    }
  }
  if (mode & 32) check<double>(in, R, t, threads);
  else check<std::uint32_t>(in, R, t, threads);
  return 0;
}
