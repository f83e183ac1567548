// Pattern tree over the columns of a packed pattern matrix, in the layout that
// the tree walk of pair screening takes (tree_adjacency.h): nodes in
// depth-first preorder with skip targets, the column range each node lists,
// and as node pattern the bitwise AND of every column listed at and below it.
//
// The columns are split on one bit at a time, the bit that halves a set most
// evenly, judged on at most 32 evenly spaced columns of it (all of them when
// the sample shows no bit that varies); columns holding the bit go to the
// first child. Splitting stops at `leaf_size` columns, at depth 900, or when
// the columns are all equal. The columns are never reordered in the matrix:
// a leaf whose columns are not consecutive lists none itself and gets one
// child per run of consecutive columns.
//
// build_pattern_tree fills caller-provided scratch in two steps, so that the
// caller can size its outputs in between; it makes no host calls and does
// not allocate.
#ifndef BITS_CORE_PATTERN_TREE_H
#define BITS_CORE_PATTERN_TREE_H

#include <cstdint>

#include "core/packed_patterns.h"

namespace bits {

// Splitting stops at this depth, whatever the leaf size.
constexpr std::uint64_t pattern_tree_max_depth = 900;
// Columns of a set that the choice of its split bit looks at.
constexpr std::uint64_t pattern_tree_sample = 32;

// Most nodes a tree over `columns` columns can have: splits make at most
// 2 N - 1 nodes, and runs of consecutive columns add at most N more.
constexpr std::uint64_t pattern_tree_max_nodes(std::uint64_t columns) {
  return columns == 0 ? 0 : 3 * columns;
}

// The shape of a tree, built over positions 0 .. N-1 of `order`: node l
// covers positions first_pos[l] .. last_pos[l] of order (which holds the
// column numbers in the order the leaves list them), has skip target
// skip[l], and lists its whole range when lists[l] is 1, nothing otherwise.
// With in_order set, the tree is that of the matrix with its columns in
// `order`: its ranges are positions, and no leaf needs runs. When `split`
// is given (same capacity as skip), every node that splits gets there the
// bit it split on: columns holding it went to its first child.
struct pattern_tree_shape {
  std::uint64_t* order;      // N column numbers
  std::uint64_t* first_pos;  // capacity pattern_tree_max_nodes(N) each
  std::uint64_t* last_pos;
  std::uint32_t* skip;
  std::uint8_t* lists;
  std::uint64_t nodes;
  bool in_order;
  std::uint32_t* split = nullptr;
};

namespace detail {

struct tree_builder {
  const word_view_t<std::uint32_t>* R;  // M x N uint32 elements
  std::uint64_t M;
  std::uint64_t leaf_size;
  std::uint32_t* bit_counts;  // 32 * M
  std::uint64_t* spare;       // N positions for the stable split
  pattern_tree_shape* shape;

  bool has_bit(std::uint64_t column, std::uint64_t bit) const {
    return (R[column * M + bit / 32] >> (bit % 32)) & 1u;
  }

  // The split bit of positions s .. e judged on `sample` evenly spaced ones,
  // or false when none of them varies there.
  bool split_bit(std::uint64_t s, std::uint64_t e, std::uint64_t sample, std::uint64_t* bit) {
    const std::uint64_t n = e - s + 1;
    const std::uint64_t k = n < sample ? n : sample;
    const double step = static_cast<double>(n) / static_cast<double>(k);
    // The sampled columns, then their bit by bit counts, word by word: a
    // binary counter per bit position kept in bit planes (plane t holds bit
    // t of every position's count), 32 positions added at once. (j * step
    // is never negative, so truncation is the floor.)
    int planes = 1;
    while (planes < 32 && (k >> planes) != 0) ++planes;
    std::uint64_t sampled[pattern_tree_sample];  // their offsets, for a sample
    for (std::uint64_t j = 0; j < k && k <= pattern_tree_sample; ++j)
      sampled[j] = shape->order[s + static_cast<std::uint64_t>(static_cast<double>(j) * step)] * M;
    for (std::uint64_t r = 0; r < M; ++r) {
      std::uint32_t plane[32] = {};
      for (std::uint64_t j = 0; j < k; ++j) {
        const std::uint64_t offset =
            k <= pattern_tree_sample ? sampled[j]
                                     : shape->order[s + static_cast<std::uint64_t>(static_cast<double>(j) * step)] * M;
        std::uint32_t carry = R[offset + r];
        for (int t = 0; carry != 0 && t < planes; ++t) {
          const std::uint32_t next = plane[t] & carry;
          plane[t] ^= carry;
          carry = next;
        }
      }
      std::uint32_t* counts = bit_counts + 32 * r;
      for (std::uint64_t b = 0; b < 32; ++b) counts[b] = 0;
      for (int t = 0; t < planes; ++t)
        for (std::uint32_t x = plane[t]; x != 0; x &= x - 1) counts[lowest_bit(x)] |= 1u << t;
    }
    // The count closest to half the sample; ties go to the lowest bit.
    std::uint64_t best_score = UINT64_MAX;
    for (std::uint64_t b = 0; b < 32 * M; ++b) {
      const std::uint64_t c = bit_counts[b];
      if (c == 0 || c == k) continue;
      const std::uint64_t score = 2 * c > k ? 2 * c - k : k - 2 * c;
      if (score < best_score) {
        best_score = score;
        *bit = b;
      }
    }
    return best_score != UINT64_MAX;
  }

  static int lowest_bit(std::uint32_t w) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctz(w);
#else
    int n = 0;
    while (!(w & 1u)) {
      w >>= 1;
      ++n;
    }
    return n;
#endif
  }

  std::uint64_t new_node(std::uint64_t s, std::uint64_t e, bool lists) {
    const std::uint64_t id = shape->nodes++;
    shape->first_pos[id] = s;
    shape->last_pos[id] = e;
    shape->lists[id] = lists ? 1 : 0;
    return id;
  }

  // A leaf over positions s .. e: it lists them when their column numbers
  // are consecutive, otherwise it gets one child per run of such columns.
  void leaf(std::uint64_t s, std::uint64_t e) {
    const std::uint64_t* order = shape->order;
    bool one_run = true;
    if (shape->in_order) {
      const std::uint64_t id = new_node(s, e, true);
      shape->skip[id] = static_cast<std::uint32_t>(id + 1);
      return;
    }
    for (std::uint64_t p = s; p < e && one_run; ++p) one_run = order[p + 1] == order[p] + 1;
    const std::uint64_t id = new_node(s, e, one_run);
    if (!one_run) {
      std::uint64_t start = s;
      for (std::uint64_t p = s; p <= e; ++p)
        if (p == e || order[p + 1] != order[p] + 1) {
          const std::uint64_t run = new_node(start, p, true);
          shape->skip[run] = static_cast<std::uint32_t>(run + 1);
          start = p + 1;
        }
    }
    shape->skip[id] = static_cast<std::uint32_t>(shape->nodes);
  }

  void node(std::uint64_t s, std::uint64_t e, std::uint64_t depth) {
    const std::uint64_t n = e - s + 1;
    if (n <= leaf_size || depth >= pattern_tree_max_depth) return leaf(s, e);
    std::uint64_t bit = 0;
    if (!split_bit(s, e, pattern_tree_sample, &bit) &&
        !(n > pattern_tree_sample && split_bit(s, e, n, &bit)))
      return leaf(s, e);  // all columns equal
    // Stable split: columns with the bit first, then the others.
    std::uint64_t* order = shape->order;
    std::uint64_t with = s, without = 0;
    for (std::uint64_t p = s; p <= e; ++p) {
      if (has_bit(order[p], bit))
        order[with++] = order[p];
      else
        spare[without++] = order[p];
    }
    for (std::uint64_t p = 0; p < without; ++p) order[with + p] = spare[p];
    const std::uint64_t id = new_node(s, e, false);
    if (shape->split) shape->split[id] = static_cast<std::uint32_t>(bit);
    node(s, with - 1, depth + 1);
    node(with, e, depth + 1);
    shape->skip[id] = static_cast<std::uint32_t>(shape->nodes);
  }
};

}  // namespace detail

// First step: the shape of the tree over the N columns of the M x N uint32
// matrix R (in_order as set in the shape). Scratch: bit_counts of 32 * M
// elements, spare of N; the shape's arrays as described there. N = 0 gives
// no nodes.
inline void build_pattern_tree(const word_view_t<std::uint32_t>* R, std::uint64_t M,
                               std::uint64_t N, std::uint64_t leaf_size,
                               std::uint32_t* bit_counts, std::uint64_t* spare,
                               pattern_tree_shape* shape) {
  shape->nodes = 0;
  for (std::uint64_t c = 0; c < N; ++c) shape->order[c] = c;
  if (N == 0) return;
  detail::tree_builder builder{R, M, leaf_size, bit_counts, spare, shape};
  builder.node(0, N - 1, 0);
}

// Second step: the three arrays of the tree. R_tree (M x nodes uint32) gets
// the AND of the columns each node covers, i_node the skip targets, i_leaf
// (2 x nodes) the first and last column a node lists (1 and 0 when it lists
// none): columns of R, or with in_order positions in `order`.
inline void write_pattern_tree(const word_view_t<std::uint32_t>* R, std::uint64_t M,
                               const pattern_tree_shape& shape, std::uint32_t* R_tree,
                               std::uint32_t* i_node, std::uint64_t* i_leaf) {
  // Reverse preorder: a node's children are done before it. A listing node
  // is the AND of its columns; any other node the AND of its children.
  for (std::uint64_t l = shape.nodes; l-- > 0;) {
    std::uint32_t* pattern = R_tree + l * M;
    i_node[l] = shape.skip[l];
    if (shape.lists[l]) {
      const std::uint64_t first = shape.first_pos[l], last = shape.last_pos[l];
      i_leaf[2 * l] = shape.in_order ? first : shape.order[first];
      i_leaf[2 * l + 1] = shape.in_order ? last : shape.order[last];
      for (std::uint64_t r = 0; r < M; ++r) pattern[r] = ~std::uint32_t(0);
      for (std::uint64_t p = first; p <= last; ++p)
        for (std::uint64_t r = 0; r < M; ++r) pattern[r] &= R[shape.order[p] * M + r];
    } else {
      i_leaf[2 * l] = 1;
      i_leaf[2 * l + 1] = 0;
      for (std::uint64_t r = 0; r < M; ++r) pattern[r] = ~std::uint32_t(0);
      for (std::uint64_t child = l + 1; child < shape.skip[l]; child = shape.skip[child])
        for (std::uint64_t r = 0; r < M; ++r) pattern[r] &= R_tree[child * M + r];
    }
  }
}

}  // namespace bits

#endif
