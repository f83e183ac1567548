// Pattern-tree adjacency: for every candidate pair (a, b) of columns of R, a
// 0/1 flag telling whether no third column of R, listed at a tree node that
// is open for the pair, lies inside the union of columns a and b.
//
// The tree comes as three arrays over n_nodes nodes numbered in depth-first
// preorder:
//   R_tree  one pattern per node (same row count as R);
//   i_node  skip targets: the subtree of node l is l .. i_node[l] - 1;
//   i_leaf  2 x n_nodes, column-major: node l lists the columns
//           i_leaf[2l] .. i_leaf[2l + 1] of R (none when first > last).
// A node is open for a pair when its pattern and those of all its ancestors
// lie inside the union; a closed node is skipped with its whole subtree.
// A column c is inner for the pair when c != a, c != b (by number, never by
// pattern) and column c lies inside the union. The flag is 0 when some open
// node lists an inner column, 1 otherwise.
//
// tree_adjacency_kernel is the body of a parallel region and validates
// nothing; check_tree_layout and leaf_ranges_inside are the checks an entry
// runs first, on the calling thread, so that the walk stays inside the arrays
// and ends.
#ifndef BITS_CORE_TREE_ADJACENCY_H
#define BITS_CORE_TREE_ADJACENCY_H

#include <cstdint>
#include <cstdlib>

#include "core/packed_patterns.h"

namespace bits {

// What check_tree_layout found wrong with i_node, if anything.
enum class tree_fault { none, skip_target, nesting };

struct tree_layout {
  tree_fault fault;
  std::uint64_t node;   // the first node at fault
  std::uint64_t depth;  // most nodes on one root-to-node path (0 without nodes)
};

// Checks that i_node describes a forest in depth-first preorder: every skip
// target satisfies l < i_node[l] <= n_nodes, and the subtrees nest (no node's
// subtree reaches past its parent's). Also measures the depth of the forest,
// which bounds the stack of the walk. `scratch` holds n_nodes slots.
inline tree_layout check_tree_layout(const std::uint32_t* i_node, std::uint64_t n_nodes,
                                     std::uint32_t* scratch) {
  for (std::uint64_t l = 0; l < n_nodes; ++l)
    if (!(l < i_node[l] && i_node[l] <= n_nodes)) return {tree_fault::skip_target, l, 0};
  // scratch[0 .. open) holds the skip targets of the ancestors of node l,
  // innermost last; nesting keeps them non-increasing from bottom to top, so
  // the subtrees that end at l are all on top.
  std::uint64_t open = 0, depth = 0;
  for (std::uint64_t l = 0; l < n_nodes; ++l) {
    while (open > 0 && scratch[open - 1] <= l) --open;
    if (open > 0 && i_node[l] > scratch[open - 1]) return {tree_fault::nesting, l, 0};
    scratch[open++] = i_node[l];
    if (open > depth) depth = open;
  }
  return {tree_fault::none, 0, depth};
}

// True when every node range with first <= last lies inside `columns` columns.
inline bool leaf_ranges_inside(const std::uint64_t* i_leaf, std::uint64_t n_nodes,
                               std::uint64_t columns) {
  for (std::uint64_t l = 0; l < n_nodes; ++l) {
    const std::uint64_t first = i_leaf[2 * l], last = i_leaf[2 * l + 1];
    if (first <= last && last >= columns) return false;
  }
  return true;
}

// Scratch of one thread: the union mask and the node stack, in one block from
// the process heap. The stack has depth + 1 slots (slot 0 stays unused).
template <typename word_t>
struct walk_scratch {
  word_t* mask;
  std::uint32_t* node_stack;
};

// The two tests of the walk. inside(P, mask): pattern P (a node's) lies
// inside the union whose complement is `mask`. The call operator scans the
// columns first .. last of R for an inner column of the pair (a, b): a column
// inside the union that is neither a nor b, stopping at the first one. These
// are the straightforward tests; tree_adjacency_fast.h has vector ones with
// the same answers.
template <typename word_t>
struct scalar_column_scan {
  packed_pattern_matrix<word_t> R;
  std::uint64_t words_per_column;
  bool inside(const word_view_t<word_t>* P, const word_t* mask) const {
    return pattern_inside_union<word_t>(P, mask, words_per_column);
  }
  bool operator()(std::uint64_t first, std::uint64_t last, std::uint64_t a, std::uint64_t b,
                  const word_t* mask) const {
    for (std::uint64_t c = first; c <= last; ++c)
      if (pattern_inside_union<word_t>(R.column(c), mask, words_per_column) && c != a && c != b)
        return true;
    return false;
  }
};

// The walk for one pair: true when an inner column is found at an open node.
// Open nodes are pushed on the way down; a node's listed columns are scanned
// when the walk leaves its subtree (post-order), and the walk ends at the
// first inner column. Needs a tree that passed check_tree_layout, ranges that
// passed leaf_ranges_inside, and a stack of at least depth + 1 slots.
// `scan` looks for an inner column among the columns that a node lists.
template <typename word_t, typename scan_t = scalar_column_scan<word_t>>
bool tree_walk(std::uint64_t a, std::uint64_t b, packed_pattern_matrix<word_t> R_tree,
               packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
               std::uint64_t n_nodes, const std::uint64_t* i_leaf, const std::uint32_t* i_node,
               walk_scratch<word_t> scratch, const scan_t& scan) {
  word_t* mask = scratch.mask;
  std::uint32_t* node_stack = scratch.node_stack;
  union_mask<word_t>(R.column(a), R.column(b), words_per_column, mask);

  std::uint32_t l = 0;
  std::uint64_t depth = 0;
  node_stack[0] = 0;
  for (;;) {
    if (l >= n_nodes) return false;
    if (scan.inside(R_tree.column(l), mask)) {
      node_stack[++depth] = l;
      ++l;
    } else {
      l = i_node[l];  // skip the whole subtree of l
    }
    // Pop every node whose subtree the walk has left, scanning its columns.
    while (depth > 0 && i_node[node_stack[depth]] <= l) {
      const std::uint64_t t = node_stack[depth];
      const std::uint64_t first = i_leaf[2 * t], last = i_leaf[2 * t + 1];
      const bool found = first <= last && scan(first, last, a, b, mask);
      --depth;
      if (found) return true;
    }
  }
}

// Body of the parallel region: every thread of the team calls it with the same
// arguments. Pairs go out under the dynamic schedule in runs of 50; each
// thread takes its scratch from the heap on entry and frees it on exit. A
// thread that cannot get its scratch sets *scratch_failed and leaves its pairs
// unwritten; the caller must then discard `adjacent`. Called outside a
// parallel region it does all the work on the calling thread.
//
// Preconditions (checked by the entry, not here): every pair element names a
// column of R, the tree passed check_tree_layout with depth `tree_depth`, and
// the ranges passed leaf_ranges_inside. `scan` looks for inner columns among
// the columns a node lists (tree_walk).
template <typename word_t, typename index_t, typename scan_t>
void tree_adjacency_scan_kernel(const index_t* j_comb, packed_pattern_matrix<word_t> R_tree,
                                packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                                std::uint8_t* adjacent, std::uint64_t n_nodes,
                                const std::uint64_t* i_leaf, const std::uint32_t* i_node,
                                std::int64_t n_comb, std::uint64_t tree_depth,
                                int* scratch_failed, const scan_t& scan) {
  const std::size_t mask_bytes = words_per_column * sizeof(word_t);
  const std::size_t stack_bytes = (tree_depth + 1) * sizeof(std::uint32_t);
  char* block = static_cast<char*>(std::malloc(mask_bytes + stack_bytes));
  walk_scratch<word_t> scratch{nullptr, nullptr};
  if (block) {
    scratch.mask = reinterpret_cast<word_t*>(block);
    scratch.node_stack = reinterpret_cast<std::uint32_t*>(block + mask_bytes);
  } else {
#ifdef _OPENMP
#pragma omp atomic write
#endif
    *scratch_failed = 1;
  }

  // Every thread takes part in the loop, whether or not it has scratch.
#ifdef _OPENMP
#pragma omp for schedule(dynamic, 50)
#endif
  for (std::int64_t i = 0; i < n_comb; ++i) {
    if (!block) continue;
    const std::uint64_t a = column_index(j_comb[2 * i]);
    const std::uint64_t b = column_index(j_comb[2 * i + 1]);
    const bool found = tree_walk<word_t>(a, b, R_tree, R, words_per_column, n_nodes, i_leaf,
                                         i_node, scratch, scan);
    adjacent[i] = found ? 0 : 1;
  }
  std::free(block);
}

// The kernel with the straightforward column scan.
template <typename word_t, typename index_t>
void tree_adjacency_kernel(const index_t* j_comb, packed_pattern_matrix<word_t> R_tree,
                           packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                           std::uint8_t* adjacent, std::uint64_t n_nodes,
                           const std::uint64_t* i_leaf, const std::uint32_t* i_node,
                           std::int64_t n_comb, std::uint64_t tree_depth, int* scratch_failed) {
  tree_adjacency_scan_kernel<word_t, index_t>(j_comb, R_tree, R, words_per_column, adjacent,
                                              n_nodes, i_leaf, i_node, n_comb, tree_depth,
                                              scratch_failed,
                                              scalar_column_scan<word_t>{R, words_per_column});
}

}  // namespace bits

#endif
