// Random pattern trees for tests and benchmarks: forest shapes in depth-first
// preorder (skip targets), column ranges per node, node patterns of three
// kinds, and the adjacency flag of one pair written plainly from its
// definition (open nodes, inner columns).
#ifndef BITS_TESTS_TREE_DATA_H
#define BITS_TESTS_TREE_DATA_H

#include <algorithm>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "tests/pattern_data.h"

namespace testdata {

// The three arrays of a pattern tree over the columns of some R.
struct pattern_tree {
  pattern_matrix R_tree;              // one pattern per node
  std::vector<std::uint32_t> i_node;  // skip targets
  std::vector<std::uint64_t> i_leaf;  // 2 x n_nodes: first, last column per node
  std::uint64_t nodes() const { return i_node.size(); }
  std::uint64_t first(std::uint64_t l) const { return i_leaf[2 * l]; }
  std::uint64_t last(std::uint64_t l) const { return i_leaf[2 * l + 1]; }
};

// Columns that are unions of a few of `atoms` random sparse patterns, so
// that one column often lies inside the union of two others.
inline pattern_matrix atom_patterns(std::uint64_t rows, std::uint64_t cols, std::mt19937_64& rng,
                                    int atoms = 10, int per_column = 3) {
  pattern_matrix A(rows, atoms), R(rows, cols);
  fill_random(A, rng, 0.25);
  std::uniform_int_distribution<int> pick(0, atoms - 1);
  for (std::uint64_t c = 0; c < cols; ++c)
    for (int k = 0; k < per_column; ++k) {
      const std::uint32_t* src = A.column(static_cast<std::uint64_t>(pick(rng)));
      for (std::uint64_t r = 0; r < rows; ++r) R.column(c)[r] |= src[r];
    }
  return R;
}

// Skip targets of a random forest of n nodes in preorder. Before each node,
// every open subtree on top of the path is closed with probability `close`:
// 0 gives a single chain, values near 1 a flat forest.
inline std::vector<std::uint32_t> random_skip_targets(std::uint64_t n, std::mt19937_64& rng,
                                                      double close) {
  std::vector<std::uint32_t> i_node(n, 0);
  std::vector<std::uint64_t> path;
  std::bernoulli_distribution closing(close);
  for (std::uint64_t l = 0; l < n; ++l) {
    while (!path.empty() && closing(rng)) {
      i_node[path.back()] = static_cast<std::uint32_t>(l);
      path.pop_back();
    }
    path.push_back(l);
  }
  for (std::uint64_t l : path) i_node[l] = static_cast<std::uint32_t>(n);
  return i_node;
}

// A chain of n nested nodes: node l is the only child of node l - 1.
inline std::vector<std::uint32_t> chain_skip_targets(std::uint64_t n) {
  return std::vector<std::uint32_t>(n, static_cast<std::uint32_t>(n));
}

// Ranges of up to `longest` columns of `columns`, at random places, some
// nodes (about `empty` of them) listing none; ranges overlap and repeat.
inline std::vector<std::uint64_t> random_ranges(std::uint64_t n, std::uint64_t columns,
                                                std::mt19937_64& rng, double empty,
                                                std::uint64_t longest) {
  std::vector<std::uint64_t> i_leaf(2 * n);
  std::bernoulli_distribution none(empty);
  std::uniform_int_distribution<std::uint64_t> start(0, columns ? columns - 1 : 0);
  std::uniform_int_distribution<std::uint64_t> length(1, longest);
  for (std::uint64_t l = 0; l < n; ++l) {
    const std::uint64_t f = start(rng);
    if (columns == 0 || none(rng)) {
      i_leaf[2 * l] = f + 1 + l % 3;  // first > last: lists nothing
      i_leaf[2 * l + 1] = f;
    } else {
      i_leaf[2 * l] = f;
      i_leaf[2 * l + 1] = std::min(columns - 1, f + length(rng) - 1);
    }
  }
  return i_leaf;
}

// Ranges that list every column exactly once: consecutive runs of random
// length handed to the nodes in random order (many nodes get none).
inline std::vector<std::uint64_t> covering_ranges(std::uint64_t n, std::uint64_t columns,
                                                  std::mt19937_64& rng) {
  std::vector<std::uint64_t> i_leaf(2 * n);
  for (std::uint64_t l = 0; l < n; ++l) {
    i_leaf[2 * l] = 1;
    i_leaf[2 * l + 1] = 0;
  }
  if (n == 0) return i_leaf;
  std::vector<std::uint64_t> order(n);
  for (std::uint64_t l = 0; l < n; ++l) order[l] = l;
  std::shuffle(order.begin(), order.end(), rng);
  std::uniform_int_distribution<std::uint64_t> length(1, 4);
  std::uint64_t c = 0;
  for (std::uint64_t k = 0; c < columns; ++k) {
    const std::uint64_t l = order[k % n];
    if (k >= n) {  // every node has a run: append the rest to the last one
      i_leaf[2 * l + 1] = columns - 1;
      break;
    }
    i_leaf[2 * l] = c;
    c = std::min(columns, c + length(rng));
    i_leaf[2 * l + 1] = c - 1;
  }
  return i_leaf;
}

// Node pattern = AND of every column listed at the node or below it (all ones
// when none is): pruning then loses nothing.
inline pattern_matrix subtree_and_patterns(const pattern_matrix& R,
                                           const std::vector<std::uint32_t>& i_node,
                                           const std::vector<std::uint64_t>& i_leaf) {
  const std::uint64_t n = i_node.size();
  pattern_matrix T(R.rows, n);
  std::fill(T.data.begin(), T.data.end(), 0xFFFFFFFFu);
  for (std::uint64_t l = 0; l < n; ++l)
    for (std::uint64_t m = l; m < i_node[l]; ++m)
      for (std::uint64_t c = i_leaf[2 * m]; c <= i_leaf[2 * m + 1]; ++c)
        for (std::uint64_t r = 0; r < R.rows; ++r) T.column(l)[r] &= R.column(c)[r];
  return T;
}

enum class node_patterns { subtree_and, weaker, arbitrary };

// A random tree over the columns of R with node patterns of the given kind:
// the AND of the subtree's columns, that AND with bits cleared at random
// (pruning still loses nothing), or patterns unrelated to the subtree
// (pruning decides).
inline pattern_tree random_tree(const pattern_matrix& R, std::uint64_t n, std::mt19937_64& rng,
                                double close, node_patterns kind, bool cover_all) {
  pattern_tree t;
  t.i_node = random_skip_targets(n, rng, close);
  t.i_leaf = cover_all ? covering_ranges(n, R.cols, rng) : random_ranges(n, R.cols, rng, 0.3, 4);
  if (kind == node_patterns::arbitrary) {
    // Unrelated to the subtree: empty now and then, else half the bits of
    // some column of R.
    t.R_tree = pattern_matrix(R.rows, n);
    std::uniform_int_distribution<std::uint64_t> pick(0, R.cols ? R.cols - 1 : 0);
    std::bernoulli_distribution empty(0.3);
    for (std::uint64_t l = 0; l < n && R.cols > 0; ++l) {
      if (empty(rng)) continue;
      const std::uint32_t* src = R.column(pick(rng));
      for (std::uint64_t r = 0; r < R.rows; ++r) t.R_tree.column(l)[r] = src[r] & random_word(rng, 0.5);
    }
  } else {
    t.R_tree = subtree_and_patterns(R, t.i_node, t.i_leaf);
    if (kind == node_patterns::weaker)
      for (auto& w : t.R_tree.data) w &= random_word(rng, 0.6);
  }
  return t;
}

// Pattern matrix with one all-zero row appended (the same sets, the other
// word width).
inline pattern_matrix with_zero_row(const pattern_matrix& m) {
  pattern_matrix z(m.rows + 1, m.cols);
  for (std::uint64_t c = 0; c < m.cols; ++c)
    std::copy(m.column(c), m.column(c) + m.rows, z.column(c));
  return z;
}

// n random pairs of columns (a, b) of a matrix of `columns` columns, now and
// then a = b, as j_comb holds them; as doubles with fractional parts, which
// name the column below.
template <typename index_t>
std::vector<index_t> random_pairs(std::uint64_t columns, std::size_t n, std::mt19937_64& rng) {
  std::vector<index_t> j;
  std::uniform_int_distribution<std::uint64_t> col(0, columns - 1);
  std::uniform_int_distribution<int> frac(0, 9);
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint64_t a = col(rng), b = k % 17 == 0 ? a : col(rng);
    for (std::uint64_t c : {a, b})
      j.push_back(std::is_same<index_t, double>::value ? index_t(double(c) + frac(rng) / 10.0)
                                                       : index_t(c));
  }
  return j;
}

// The flag of pair (a, b) from its definition: 0 when a node whose pattern
// and whose ancestors' patterns all lie inside the union lists a column other
// than a and b that lies inside the union; 1 otherwise.
inline std::uint8_t reference_adjacent(const pattern_matrix& R, const pattern_tree& t,
                                       std::uint64_t a, std::uint64_t b) {
  std::vector<std::uint32_t> U(R.rows);
  for (std::uint64_t r = 0; r < R.rows; ++r) U[r] = R.column(a)[r] | R.column(b)[r];
  for (std::uint64_t m = 0; m < t.nodes(); ++m) {
    bool open = true;
    for (std::uint64_t l = 0; l <= m && open; ++l) {
      const bool ancestor_or_self = l == m || t.i_node[l] > m;
      if (ancestor_or_self && !reference_inside(t.R_tree.column(l), U.data(), R.rows)) open = false;
    }
    if (!open) continue;
    for (std::uint64_t c = t.first(m); c <= t.last(m); ++c)
      if (c != a && c != b && reference_inside(R.column(c), U.data(), R.rows)) return 0;
  }
  return 1;
}

// The flag of pair (a, b) against every column of R (no tree).
inline std::uint8_t exhaustive_adjacent(const pattern_matrix& R, std::uint64_t a, std::uint64_t b) {
  std::vector<std::uint32_t> U(R.rows);
  for (std::uint64_t r = 0; r < R.rows; ++r) U[r] = R.column(a)[r] | R.column(b)[r];
  for (std::uint64_t c = 0; c < R.cols; ++c)
    if (c != a && c != b && reference_inside(R.column(c), U.data(), R.rows)) return 0;
  return 1;
}

}  // namespace testdata

#endif
