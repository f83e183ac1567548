// The double description method as one run: the extreme rays of a cone
// given by constraint rows, or, with rows that carry no sign constraint, its
// elementary vectors (the elementary flux modes of a metabolic network).
//
// The cone is {x : a_r . x >= 0 for every irreversible row r} inside the
// span of the d initial rays X0, which the caller computes: rays of the
// simplicial cone of the first d rows of the sequence, so a_i . x0_j is zero
// for i != j and positive for i == j. Rows are then added one at a time.
// Every ray carries its support over the rows added so far as a bit pattern:
// one bit per irreversible row; two per reversible row, one for each sign,
// so that two rays of opposite signs on a reversible row never count as
// conformal. For a new row a, the rays split by the sign of a . x; every
// pair of a ray with a . x > 0 and one with a . x < 0 that
//   - is sign compatible (no reversible row where the two have opposite signs),
//   - passes the count test (their supports together leave at least d - 2 of
//     the rows so far at zero), and
//   - is adjacent (no third ray's pattern lies inside the union of theirs),
// gives a new ray (a . x_p) x_q - (a . x_q) x_p on a . x = 0, reduced to
// coprime entries. Rays with a . x < 0 are dropped for an irreversible row
// and kept for a reversible one. With every row reversible or not, the rays
// at the end are the support-minimal vectors of the cone, each reversible
// one (zero on every irreversible row) in both directions until the last
// step keeps one: the one whose first non-zero entry is positive.
//
// The pairs are never stored whole. Pattern trees are set up over the rays
// with a . x > 0 and < 0 (pattern_tree.h, one forest), and, when the
// adjacency walks of the last step were many, one more over all rays; the
// threads take the leaves of the positive tree one at a time and walk the
// negative tree, pruning every subtree whose common bits already fail the
// count test or the sign test, and test the pairs that remain at once:
// first against the inner rays the thread found last, then with the
// adjacency walk of tree_adjacency.h over the tree of all rays (or the
// screening forest and a tree of the zero rays). The trees come from one
// pattern tree kept across steps (kept_tree), or are built afresh for a
// small sign group. Only adjacent pairs are kept, and they are as many as
// the new rays. The rays stay in their slots from step to step: dropped
// rays are flagged, new ones appended, and the rays compacted only when
// the dropped ones pass a share. So a step needs memory for its rays and
// the new ones, plus a few hundred bytes per ray for its trees, however
// many candidate pairs it has. A budget (bytes) stops a run before a step
// allocates past it, naming the step and what it needs (the new rays are
// counted to the end of the step for that; the buffers kept across steps
// are counted at the largest size they have had). A caller that writes
// the rays out (dd_problem::rays_out) gets the last step's new rays a block
// at a time instead of in the store, then the rays kept from before it:
// that step holds its pairs and one block of rays, not all its new rays.
//
// Nothing here calls the host. The OpenMP regions start and end inside
// run_double_description; the progress callback runs on the calling thread
// between steps.
#ifndef BITS_CORE_DOUBLE_DESCRIPTION_H
#define BITS_CORE_DOUBLE_DESCRIPTION_H

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/candidate_pairs.h"
#include "core/large_blocks.h"
#include "core/pattern_tree.h"
#include "core/ray_arithmetic.h"
#include "core/simd.h"
#include "core/transposed_columns.h"
#include "core/tree_adjacency.h"
#include "core/tree_adjacency_fast.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace bits {

// A growable array that reports a failed allocation instead of ending the
// process: from malloc, or once it takes large_block_min bytes a large
// block (core/large_blocks.h) of `mapped` bytes.
template <typename T>
struct dd_buffer {
  T* data = nullptr;
  std::uint64_t size = 0;
  std::uint64_t capacity = 0;
  std::size_t mapped = 0;

  dd_buffer() = default;
  dd_buffer(const dd_buffer&) = delete;
  dd_buffer& operator=(const dd_buffer&) = delete;
  ~dd_buffer() { release(); }

  bool reserve(std::uint64_t n) {
    if (n <= capacity) return true;
    if (n > SIZE_MAX / sizeof(T)) return false;
    const std::size_t bytes = static_cast<std::size_t>(n * sizeof(T));
    if (large_blocks && (mapped != 0 || bytes >= large_block_min)) {  // (a large block stays one)
      const std::size_t whole = large_block_size(bytes);
      if (whole == 0) return false;
      void* p = mapped ? large_block_resize(data, mapped, whole) : large_block_new(whole);
      if (p == nullptr) return false;
      if (!mapped && data != nullptr) {
        std::memcpy(p, data, static_cast<std::size_t>(capacity * sizeof(T)));
        std::free(static_cast<void*>(data));
      }
      data = static_cast<T*>(p);
      mapped = whole;
      capacity = whole / sizeof(T);
      return true;
    }
    T* p = static_cast<T*>(std::realloc(static_cast<void*>(data), bytes));
    if (p == nullptr) return false;
    data = p;
    capacity = n;
    return true;
  }
  bool resize(std::uint64_t n) {
    if (!reserve(n)) return false;
    size = n;
    return true;
  }
  // Gives back the capacity beyond the size (never fails: the block stays
  // as it is when the system will not shrink it).
  void shrink() {
    if (size == capacity || size == 0) return;
    if (mapped) {
      const std::size_t whole = large_block_size(static_cast<std::size_t>(size * sizeof(T)));
      void* p = whole < mapped ? large_block_resize(data, mapped, whole) : nullptr;
      if (p != nullptr) {
        data = static_cast<T*>(p);
        mapped = whole;
        capacity = whole / sizeof(T);
      }
      return;
    }
    T* p = static_cast<T*>(std::realloc(static_cast<void*>(data), static_cast<std::size_t>(size * sizeof(T))));
    if (p != nullptr) {
      data = p;
      capacity = size;
    }
  }
  T& operator[](std::uint64_t i) { return data[i]; }
  const T& operator[](std::uint64_t i) const { return data[i]; }
  bool push(const T& v) {
    if (size == capacity && !reserve(capacity < 256 ? 256 : 2 * capacity)) return false;
    data[size++] = v;
    return true;
  }
  void release() {
    large_block_free(static_cast<void*>(data), mapped);
    data = nullptr;
    size = capacity = 0;
    mapped = 0;
  }
  void swap(dd_buffer& o) {
    std::swap(data, o.data);
    std::swap(size, o.size);
    std::swap(capacity, o.capacity);
    std::swap(mapped, o.mapped);
  }
};

// An adjacent pair of one step, as the rays' numbers before the step (p on
// the positive side).
struct dd_pair {
  std::uint32_t p, q;
};

// What a step reports to the progress callback.
struct dd_step_report {
  std::uint64_t step;        // 1-based
  std::uint64_t steps;       // rows added after the initial ones
  std::uint64_t row;         // 0-based row of A
  std::uint64_t rays;        // before the step
  std::uint64_t positive, negative;
  std::uint64_t candidates;  // pairs that passed the count and sign tests
  std::uint64_t adjacent;    // pairs found adjacent: the new rays
  std::uint64_t rays_after;
  double seconds;            // since the run started
  const dd_pair* pairs;      // the adjacent pairs (ray numbers before the step, p positive), in
                             // the order of their new rays; valid during the callback only
};

typedef void (*dd_progress_fn)(void* context, const dd_step_report& report);

// A run shared by `ranks` processes that each hold every ray: each screens
// the leaves of the positive tree whose number modulo `ranks` is its `rank`,
// and `gather` (called on every rank after every screening, failed or not)
// puts every rank's adjacent pairs into *pairs, in any order, and turns
// *candidates and *adjacent into the sums over the ranks and *failure into
// the largest (0 none, 1 out of memory, 2 over the budget). It returns false
// when the processes cannot exchange them. Everything else of a step is
// done by every rank alike, so all of them hold the same rays after it.
//
// With `sum`, `sum_signs` and `exchange` set as well (int64 entries, no
// rays_out, at most 65535 ranks), the ranks share out the rays' entries
// instead: each keeps the entries of its own rays only, while every rank
// keeps every ray's pattern, so that the trees and the screening are as
// above. A ray's signs on a row are computed by its owner and summed. A
// step's new rays are made in equal runs of its pairs, one run per rank,
// which fetches from their owners the entries of the other rays its pairs
// use, and keeps the rays it makes. So the work of a step and the memory of
// the entries divide, and only patterns, signs, pairs and the fetched rays
// travel. At the end each rank gets its own rays (dd_result), in the order
// of a run alone, and the count over all ranks. The budget counts the
// entries of the rank that holds the most.
struct dd_partition {
  std::uint64_t rank = 0, ranks = 1;
  bool (*gather)(void* context, dd_buffer<dd_pair>* pairs, std::uint64_t* candidates,
                 std::uint64_t* adjacent, int* failure) = nullptr;
  void* context = nullptr;
  // values[0 .. count) summed over the ranks, in place on every rank.
  bool (*sum)(void* context, std::uint64_t* values, std::uint64_t count) = nullptr;
  bool (*sum_signs)(void* context, std::int8_t* values, std::uint64_t count) = nullptr;
  // Every rank sends send_counts[k] items of item_bytes bytes each to rank
  // k and receives recv_counts[k] from rank k, both buffers laid out in the
  // order of the ranks. The counts of the two ends agree.
  bool (*exchange)(void* context, const void* send, const std::uint64_t* send_counts, void* recv,
                   const std::uint64_t* recv_counts, std::uint64_t item_bytes) = nullptr;
};

struct dd_problem {
  const std::int64_t* A;              // m x n, column-major: one constraint row each
  std::uint64_t m, n;
  const std::int64_t* X0;             // n x d initial rays, column j for row sequence[j]
  std::uint64_t d;
  const std::uint64_t* sequence;      // the m rows (0-based) in the order they are added
  const std::uint8_t* reversible;     // m flags (null: none); row without sign constraint
  int dynamic_order;                  // next row: 0 the sequence's; 1 the one with the fewest
                                      // pairs; 2 the same among irreversible rows while any is left
  std::uint64_t leaf_size;            // leaves of the pattern trees
  std::uint64_t max_bytes;            // memory budget; 0 for none
  simd_isa isa;                       // instruction set of the adjacency scan
  // Work too small to pay for starting threads runs on the calling thread
  // alone: a step with fewer pairs of opposite signs than this, a pass over
  // fewer rays than a sixteenth of it, fewer new rays than a 256th (0: every
  // pass threaded; dd_parallel_work is what the plug-ins use).
  std::uint64_t parallel_work;
  dd_progress_fn progress;            // null for none
  void* progress_context;
  const dd_partition* partition = nullptr;  // null: this process alone
  // Pattern trees: 1 kept across steps and updated (kept_tree), 0 built
  // afresh over all rays at every step. The rays found are the same.
  int kept_trees = 1;
  // Raised (non-zero) by another thread to end the run early: the run
  // polls it between steps and between the leaves it screens, so it ends
  // within milliseconds, frees what it holds and reports `interrupted`.
  const std::atomic<int>* stop = nullptr;
  // The rays of the result streamed out instead of held: when set, the last
  // step does not add its new rays to the store but makes them a block of
  // at most `block_rays` at a time and hands each block to `rays_out` (the
  // store's words per ray, column-major, valid during the call), in the
  // order of their pairs; then the rays kept from before the last step, in
  // their slot order, in blocks too. Each reversible ray comes in one
  // direction, as in the result, which then holds no rays, only their
  // count. The call runs on the calling thread, outside parallel regions;
  // returning false ends the run (dd_status::output_failed). The budget
  // counts one block (with what the receiver holds per ray of it,
  // block_bytes_per_ray) and the last step's pairs instead of its new rays.
  bool (*rays_out)(void* context, const std::int64_t* X, std::uint64_t count) = nullptr;
  void* rays_out_context = nullptr;
  std::uint64_t block_rays = std::uint64_t(1) << 16;
  std::uint64_t block_bytes_per_ray = 0;
};

constexpr std::uint64_t dd_parallel_work = std::uint64_t(1) << 18;

// Dropped rays stay in their slots until they are this fraction (1 / share)
// of the slots; then the rays are moved down over them.
constexpr std::uint64_t dd_compact_share = 4;

enum class dd_status {
  ok,
  int64_overflow,
  over_budget,
  out_of_memory,
  too_many_rays,
  exchange_failed,
  interrupted,
  output_failed  // dd_problem::rays_out returned false
};

struct dd_statistics {
  std::uint64_t steps = 0;           // rows added after the initial ones
  std::uint64_t candidates = 0;      // pairs screened for adjacency
  std::uint64_t adjacent = 0;
  std::uint64_t rejected = 0;        // pairs that failed the count or sign test
  std::uint64_t largest = 0;         // most candidates in one step
  std::uint64_t max_rays = 0;
  std::uint64_t peak_bytes = 0;      // largest memory the run held (rays, patterns, trees)
  std::uint64_t failed_step = 0;     // 1-based step that stopped the run, else 0
  std::uint64_t needed_bytes = 0;    // what that step needed in all
  double seconds = 0;
};

// The rays found: count rays of the store's words() words each (int64
// entries: n x count int64), column-major, in the run's own block (from
// malloc, or a large block of X_mapped bytes); the caller frees it with
// free_rays(). With dd_problem::rays_out, X is null and count the number of
// rays handed out. Shared out among ranks (dd_partition), X holds this
// rank's rays, and `total` counts those of all ranks.
struct dd_result {
  std::int64_t* X = nullptr;
  std::uint64_t count = 0;
  std::uint64_t total = 0;
  std::size_t X_mapped = 0;
  void free_rays() {
    large_block_free(X, X_mapped);
    X = nullptr;
    X_mapped = 0;
  }
};

namespace detail {

inline std::uint64_t popcount64(std::uint64_t w) { return bit_count(w); }

// The state of a run between steps.
struct dd_state {
  std::uint64_t n = 0, W = 0;   // entries per ray, pattern words per ray
  std::uint64_t N = 0;          // rays
  dd_buffer<std::int64_t> X;    // the rays' entries, words per ray x N
  dd_buffer<std::uint64_t> P;   // W x N
  dd_buffer<std::uint64_t> plus;    // W words: the bits of reversible rows' positive side
  dd_buffer<std::uint64_t> irrev;   // W words: the bits of irreversible rows
  std::uint64_t next_bit = 0;
};

inline bool compatible(const std::uint64_t* u, const std::uint64_t* v, const std::uint64_t* plus,
                       std::uint64_t W) {
  for (std::uint64_t k = 0; k < W; ++k)
    if ((((u[k] & plus[k]) << 1) & v[k]) | (((v[k] & plus[k]) << 1) & u[k])) return false;
  return true;
}

inline std::uint64_t union_bits(const std::uint64_t* u, const std::uint64_t* v, std::uint64_t W) {
  std::uint64_t c = 0;
  for (std::uint64_t k = 0; k < W; ++k) c += popcount64(u[k] | v[k]);
  return c;
}

// The forest of one step: trees over the rays of up to three groups (for
// the screening, the positive and the negative rays; for the adjacency
// walk, one tree over all rays), their patterns in position order, and
// which ray each position holds. Its buffers (and the scratch of the
// build) are kept from step to step and only grow, so that a step neither
// allocates nor maps fresh memory once the run has reached its size.
struct dd_forest {
  dd_buffer<std::uint64_t> G;       // W x N patterns, position order
  dd_buffer<std::uint32_t> ray;     // position -> ray
  dd_buffer<std::uint32_t> R_tree;  // 2W x nodes (uint32 elements)
  dd_buffer<std::uint32_t> i_node;
  dd_buffer<std::uint64_t> i_leaf;
  std::uint64_t nodes = 0;
  std::uint64_t pos_nodes = 0, neg_first = 0, neg_end = 0;  // node ranges of the first two trees
  std::uint64_t n_pos = 0, n_neg = 0;
  // Scratch of the build.
  dd_buffer<std::uint64_t> raw;  // patterns grouped, before the trees order them
  dd_buffer<std::uint32_t> raw_ray;
  dd_buffer<std::uint32_t> bit_counts;
  dd_buffer<std::uint64_t> spare, order, first_pos, last_pos;
  dd_buffer<std::uint32_t> skip;
  dd_buffer<std::uint8_t> lists;
};

// Bytes per ray that the forests kept across steps and a step's scratch
// take, for the budget: two forests (the positive and negative trees, and
// one tree over all rays), each with its patterns, build scratch and up to
// three nodes per ray, the kept tree, the two transposed copies the vector
// scans read, and the ray's sign, two groups, position in the second forest
// and flag of a dropped ray.
inline std::uint64_t forest_bytes_per_ray(std::uint64_t W) {
  const std::uint64_t forest = 2 * 8 * W + 4 + 4 + 16 + 3 * (8 * W + 4 + 16 + 8 + 8 + 4 + 1);
  const std::uint64_t kept = 4 + 4 + 4 + 4;  // the kept tree's slot lists (members, the next ones, new
                                             // rays' leaves) and the renumbering of a compaction
  return 2 * forest + kept + 2 * 8 * W + 1 + 2 + 4 + 1;
}

// One tree of a forest: over the c rays whose patterns and numbers are at
// positions start .. start + c - 1 of f->raw and f->raw_ray, from node
// f->nodes on; their patterns and numbers go to the same positions of f->G
// and f->ray in the order of the tree. The build scratch must hold c rays.
inline void forest_tree(std::uint64_t W, std::uint64_t start, std::uint64_t c, std::uint64_t leaf_size,
                        dd_forest* f) {
  if (c == 0) return;
  const std::uint64_t M = 2 * W;
  const auto* R = reinterpret_cast<const word_view_t<std::uint32_t>*>(f->raw.data + start * W);
  pattern_tree_shape shape{f->order.data, f->first_pos.data, f->last_pos.data, f->skip.data, f->lists.data, 0, true};
  build_pattern_tree(R, M, c, leaf_size, f->bit_counts.data, f->spare.data, &shape);
  const std::uint64_t base = f->nodes;
  write_pattern_tree(R, M, shape, f->R_tree.data + base * M, f->i_node.data + base, f->i_leaf.data + 2 * base);
  for (std::uint64_t l = base; l < base + shape.nodes; ++l) {
    f->i_node.data[l] += static_cast<std::uint32_t>(base);
    if (f->i_leaf.data[2 * l] <= f->i_leaf.data[2 * l + 1]) {
      f->i_leaf.data[2 * l] += start;
      f->i_leaf.data[2 * l + 1] += start;
    }
  }
  f->nodes += shape.nodes;
  for (std::uint64_t p = 0; p < c; ++p) {
    f->ray.data[start + p] = f->raw_ray.data[start + f->order.data[p]];
    std::memcpy(f->G.data + (start + p) * W, f->raw.data + (start + f->order.data[p]) * W, W * sizeof(std::uint64_t));
  }
}

// Builds a forest of up to three trees over the rays of groups 0, 1 and 2
// of `group_of` (one entry per ray; any other value leaves a ray out), in
// that order; null puts every ray in group 0. False when memory runs out.
inline bool build_forest(const dd_state& s, const std::int8_t* group_of, std::uint64_t leaf_size,
                         dd_forest* f) {
  const std::uint64_t W = s.W, M = 2 * W;
  std::uint64_t count[4] = {0, 0, 0, 0};
  for (std::uint64_t i = 0; i < s.N; ++i) ++count[group_of ? group_of[i] : 0];
  const std::uint64_t N = count[0] + count[1] + count[2];
  f->n_pos = count[0];
  f->n_neg = count[1];
  if (!f->raw.resize(W * N) || !f->raw_ray.resize(N) || !f->G.resize(W * N) || !f->ray.resize(N))
    return false;
  std::uint64_t at[4] = {0, count[0], count[0] + count[1], N};
  for (std::uint64_t i = 0; i < s.N; ++i) {
    const int g = group_of ? group_of[i] : 0;
    if (g > 2) continue;
    const std::uint64_t p = at[g]++;
    f->raw_ray.data[p] = static_cast<std::uint32_t>(i);
    std::memcpy(f->raw.data + p * W, s.P.data + i * W, W * sizeof(std::uint64_t));
  }
  std::uint64_t biggest = std::max(count[0], std::max(count[1], count[2]));
  const std::uint64_t cap = pattern_tree_max_nodes(N);
  const std::uint64_t group_cap = pattern_tree_max_nodes(biggest);
  if (!f->bit_counts.resize(32 * (M > 0 ? M : 1)) || !f->spare.resize(biggest + 1) ||
      !f->order.resize(biggest + 1) || !f->first_pos.resize(group_cap + 1) ||
      !f->last_pos.resize(group_cap + 1) || !f->skip.resize(group_cap + 1) || !f->lists.resize(group_cap + 1) ||
      !f->R_tree.resize(M * cap + 1) || !f->i_node.resize(cap + 1) || !f->i_leaf.resize(2 * cap + 2))
    return false;
  f->nodes = 0;
  std::uint64_t start = 0;
  for (int g = 0; g < 3; ++g) {
    if (g == 1) f->neg_first = f->nodes;
    forest_tree(s.W, start, count[g], leaf_size, f);
    if (g == 0) f->pos_nodes = f->nodes;
    if (g == 1) f->neg_end = f->nodes;
    start += count[g];
  }
  return true;
}

// A pattern tree over the rays' slots kept from step to step, so that a
// step does not split all its rays anew. A step flags the rays it drops
// and puts its new rays after the last slot; the tree takes them at the
// next step that screens pairs: each new ray goes down the split bits of
// the inner nodes to a leaf, the dropped rays leave their leaves, and a
// leaf that has grown to twice the leaf size is split again. A compaction
// of the slots renumbers the rays in the leaves. Bits added by later rows
// never move a ray: the tree splits on bits of earlier rows, which do not
// change. Each screening step lists the tree once per sign group
// (positive, negative, zero), leaving out the subtrees without a ray of
// that sign and the inner nodes left with one child, with node patterns
// computed afresh (the AND of what each node lists): the layout
// build_forest writes, over a tree split on the rays of earlier steps.
// Once the tree has taken more new rays than `kept_tree_rebuild` times
// what it was built over, it is built anew over the rays of the step. The
// leaves' slots are held in one array, leaf after leaf, written anew
// whenever rays come or go.
struct kept_tree {
  static constexpr std::uint32_t none = 0xFFFFFFFFu;
  struct node {
    std::uint32_t bit;       // inner: the split bit; rays holding it are under child[0]
    std::uint32_t child[2];
    std::uint32_t leaf;      // leaf: its index in `leaves`; inner: none
    std::uint32_t depth;
    std::uint32_t count[3];  // rays of each sign group under the node, this step
  };
  struct leaf_list {
    std::uint64_t start, size;  // its slots: members[start .. start + size)
    std::uint64_t split_at;     // size at which it is split again
    std::uint64_t fill;         // where the next slot goes while members are written
    std::uint32_t node;
  };
  dd_buffer<node> nodes;
  dd_buffer<leaf_list> leaves;
  dd_buffer<std::uint32_t> members, spare;  // spare: members being written, then swapped in
  dd_buffer<std::uint32_t> list;            // the leaf of each new ray; the slots of a leaf to split
  std::uint64_t slots = 0;                  // slots below this are in the tree
  std::uint64_t built_over = 0, taken = 0;
  bool built = false;
  // Bytes held by the nodes and leaves (the slot lists are counted per ray).
  std::uint64_t bytes() const { return nodes.capacity * sizeof(node) + leaves.capacity * sizeof(leaf_list); }
};

// The tree is built anew once it has taken this many times the rays it was
// built over.
constexpr std::uint64_t kept_tree_rebuild = 2;
// A sign group of at most this fraction (1 / share) of the rays gets a tree
// built afresh (kept_forest).
constexpr std::uint64_t kept_fresh_share = 2;

// Splits leaf node n, whose slots are slot_of[0 .. c) (a copy of its
// members), with the pattern tree builder from the node's depth: the leaf
// becomes the root of their subtree, its members are rewritten in the
// order of the new leaves, each of which lists a part of its range. Uses
// the forest's build scratch.
inline bool kept_split(kept_tree* t, const dd_state& s, std::uint32_t n, const std::uint32_t* slot_of,
                       std::uint64_t leaf_size, dd_forest* f) {
  const std::uint32_t old_leaf = t->nodes[n].leaf;
  const std::uint64_t c = t->leaves[old_leaf].size, base = t->leaves[old_leaf].start;
  const std::uint64_t W = s.W, M = 2 * W, cap = pattern_tree_max_nodes(c);
  if (c == 0) return true;
  if (!f->raw.resize(W * c + 1) || !f->bit_counts.resize(32 * M) || !f->spare.resize(c + 1) ||
      !f->order.resize(c + 1) || !f->first_pos.resize(cap + 1) || !f->last_pos.resize(cap + 1) ||
      !f->skip.resize(cap + 1) || !f->lists.resize(cap + 1) || !f->raw_ray.resize(2 * cap + 2))
    return false;
  for (std::uint64_t i = 0; i < c; ++i)
    std::memcpy(f->raw.data + i * W, s.P.data + std::uint64_t(slot_of[i]) * W, W * sizeof(std::uint64_t));
  std::uint32_t* split = f->raw_ray.data;  // the split bits, then the nodes' ids in the kept tree
  std::uint32_t* ids = f->raw_ray.data + cap + 1;
  pattern_tree_shape shape{f->order.data, f->first_pos.data, f->last_pos.data, f->skip.data, f->lists.data,
                           0, true, split};
  for (std::uint64_t i = 0; i < c; ++i) shape.order[i] = i;
  const auto* R = reinterpret_cast<const word_view_t<std::uint32_t>*>(f->raw.data);
  detail::tree_builder builder{R, M, leaf_size, f->bit_counts.data, f->spare.data, &shape};
  builder.node(0, c - 1, t->nodes[n].depth);
  // Room for the new nodes and leaves, growing by half at least (the
  // budget counts what is held).
  auto room = [](std::uint64_t size, std::uint64_t capacity, std::uint64_t more) {
    return size + more <= capacity ? capacity : std::max(size + more, capacity + capacity / 2);
  };
  if (!t->nodes.reserve(room(t->nodes.size, t->nodes.capacity, shape.nodes)) ||
      !t->leaves.reserve(room(t->leaves.size, t->leaves.capacity, shape.nodes)))
    return false;
  for (std::uint64_t p = 0; p < c; ++p) t->members[base + p] = slot_of[shape.order[p]];
  // Preorder: every node's id is known before its children are filled in;
  // the first leaf keeps the old leaf's entry.
  bool first_leaf = true;
  for (std::uint64_t l = 0; l < shape.nodes; ++l) {
    ids[l] = l == 0 ? n : static_cast<std::uint32_t>(t->nodes.size);
    if (l > 0) t->nodes.push(kept_tree::node{0, {0, 0}, kept_tree::none, 0, {0, 0, 0}});  // has room
  }
  for (std::uint64_t l = 0; l < shape.nodes; ++l) {
    kept_tree::node& k = t->nodes[ids[l]];
    if (shape.lists[l]) {
      std::uint32_t leaf = old_leaf;
      if (!first_leaf) {
        leaf = static_cast<std::uint32_t>(t->leaves.size);
        t->leaves.push(kept_tree::leaf_list{});  // has room
      }
      first_leaf = false;
      kept_tree::leaf_list& L = t->leaves[leaf];
      L.start = base + shape.first_pos[l];
      L.size = shape.last_pos[l] - shape.first_pos[l] + 1;
      // A leaf the builder could not split (equal patterns, or the depth
      // limit) is tried again only when it has doubled.
      L.split_at = std::max<std::uint64_t>(2 * leaf_size, 2 * L.size);
      L.node = ids[l];
      k.leaf = leaf;
    } else {
      k.leaf = kept_tree::none;
      k.bit = split[l];
      k.child[0] = ids[l + 1];
      k.child[1] = ids[shape.skip[l + 1]];
      t->nodes[k.child[0]].depth = k.depth + 1;
      t->nodes[k.child[1]].depth = k.depth + 1;
    }
  }
  return true;
}

// Builds the tree anew over the slots of `s` not dropped.
inline bool kept_build(kept_tree* t, const dd_state& s, const std::uint8_t* dropped, std::uint64_t leaf_size,
                       dd_forest* f) {
  t->built = false;
  if (!t->list.resize(s.N + 1) || !t->members.resize(s.N + 1)) return false;
  std::uint64_t c = 0;
  for (std::uint64_t j = 0; j < s.N; ++j)
    if (!dropped[j]) t->list.data[c++] = static_cast<std::uint32_t>(j);
  if (!t->nodes.reserve(1) || !t->leaves.reserve(1)) return false;
  t->nodes.size = t->leaves.size = 1;
  t->nodes[0] = kept_tree::node{0, {0, 0}, 0, 0, {0, 0, 0}};
  t->leaves[0] = kept_tree::leaf_list{0, c, 2 * leaf_size, 0, 0};
  t->members.size = c;
  if (!kept_split(t, s, 0, t->list.data, leaf_size, f)) return false;
  t->slots = s.N;
  t->built_over = c;
  t->taken = 0;
  t->built = true;
  return true;
}

// Takes the new rays (slots t->slots .. s.N - 1) into the tree and drops
// the dropped ones from it, then splits the leaves that have reached
// their size.
inline bool kept_take(kept_tree* t, const dd_state& s, const std::uint8_t* dropped, std::uint64_t leaf_size,
                      dd_forest* f) {
  const std::uint64_t W = s.W, K = s.N - t->slots;
  if (!t->list.resize(K + 1)) return false;
  for (std::uint64_t i = 0; i < K; ++i) {
    const std::uint64_t* P = s.P.data + (t->slots + i) * W;
    std::uint32_t n = 0;
    while (t->nodes[n].leaf == kept_tree::none) {
      const std::uint32_t b = t->nodes[n].bit;
      n = t->nodes[n].child[(P[b / 64] >> (b % 64)) & 1 ? 0 : 1];
    }
    t->list.data[i] = t->nodes[n].leaf;
  }
  // The members written anew: each leaf's rays that are left, then its new ones.
  const std::uint64_t L = t->leaves.size;
  for (std::uint64_t l = 0; l < L; ++l) {
    kept_tree::leaf_list& leaf = t->leaves[l];
    leaf.fill = 0;
    for (std::uint64_t p = leaf.start; p < leaf.start + leaf.size; ++p) leaf.fill += dropped[t->members[p]] ? 0 : 1;
  }
  for (std::uint64_t i = 0; i < K; ++i) ++t->leaves[t->list.data[i]].fill;
  std::uint64_t total = 0;
  for (std::uint64_t l = 0; l < L; ++l) total += t->leaves[l].fill;
  if (!t->spare.resize(total + 1)) return false;
  std::uint64_t at = 0;
  for (std::uint64_t l = 0; l < L; ++l) {
    kept_tree::leaf_list& leaf = t->leaves[l];
    const std::uint64_t size = leaf.fill;
    leaf.fill = at;
    for (std::uint64_t p = leaf.start; p < leaf.start + leaf.size; ++p)
      if (!dropped[t->members[p]]) t->spare[leaf.fill++] = t->members[p];
    leaf.start = at;
    leaf.size = size;
    at += size;
  }
  for (std::uint64_t i = 0; i < K; ++i) t->spare[t->leaves[t->list.data[i]].fill++] = static_cast<std::uint32_t>(t->slots + i);
  t->members.swap(t->spare);
  t->members.size = total;
  t->taken += K;
  t->slots = s.N;
  for (std::uint64_t l = 0; l < L; ++l) {
    const kept_tree::leaf_list leaf = t->leaves[l];
    if (leaf.size < leaf.split_at) continue;
    if (!t->list.resize(leaf.size + 1)) return false;
    std::memcpy(t->list.data, t->members.data + leaf.start, leaf.size * sizeof(std::uint32_t));
    if (!kept_split(t, s, leaf.node, t->list.data, leaf_size, f)) return false;
  }
  return true;
}

// After a compaction: slot j is now new_slot[j], or gone (none); `slots`
// of the new numbering are in the tree.
inline bool kept_renumber(kept_tree* t, const std::uint32_t* new_slot, std::uint64_t slots) {
  if (!t->spare.resize(t->members.size + 1)) return false;
  std::uint64_t at = 0;
  for (std::uint64_t l = 0; l < t->leaves.size; ++l) {
    kept_tree::leaf_list& leaf = t->leaves[l];
    const std::uint64_t start = at;
    for (std::uint64_t p = leaf.start; p < leaf.start + leaf.size; ++p)
      if (new_slot[t->members[p]] != kept_tree::none) t->spare[at++] = new_slot[t->members[p]];
    leaf.start = start;
    leaf.size = at - start;
  }
  t->members.swap(t->spare);
  t->members.size = at;
  t->slots = slots;
  return true;
}

// Rays of each group under every node of the subtree of n.
inline void kept_count(kept_tree* t, std::uint32_t n, const std::int8_t* group_of) {
  std::uint32_t c[4] = {0, 0, 0, 0};
  const kept_tree::node k = t->nodes[n];
  if (k.leaf != kept_tree::none) {
    const kept_tree::leaf_list& leaf = t->leaves[k.leaf];
    for (std::uint64_t p = leaf.start; p < leaf.start + leaf.size; ++p) ++c[group_of[t->members[p]] & 3];
  } else {
    kept_count(t, k.child[0], group_of);
    kept_count(t, k.child[1], group_of);
    for (int g = 0; g < 3; ++g) c[g] = t->nodes[k.child[0]].count[g] + t->nodes[k.child[1]].count[g];
  }
  for (int g = 0; g < 3; ++g) t->nodes[n].count[g] = c[g];
}

// Lists the subtree of n for group g into the forest (preorder, from node
// f->nodes and position *pos on).
inline void kept_list(const kept_tree& t, std::uint32_t n, int g, const dd_state& s, const std::int8_t* group_of,
                      dd_forest* f, std::uint64_t* pos) {
  const kept_tree::node& k = t.nodes[n];
  const std::uint64_t W = s.W;
  if (k.leaf == kept_tree::none) {
    const std::uint32_t c0 = t.nodes[k.child[0]].count[g], c1 = t.nodes[k.child[1]].count[g];
    if (c0 == 0 || c1 == 0) return kept_list(t, k.child[c0 == 0 ? 1 : 0], g, s, group_of, f, pos);
    const std::uint64_t id = f->nodes++;
    kept_list(t, k.child[0], g, s, group_of, f, pos);
    const std::uint64_t second = f->nodes;
    kept_list(t, k.child[1], g, s, group_of, f, pos);
    f->i_node.data[id] = static_cast<std::uint32_t>(f->nodes);
    f->i_leaf.data[2 * id] = 1;
    f->i_leaf.data[2 * id + 1] = 0;
    std::uint64_t* and_n = reinterpret_cast<std::uint64_t*>(f->R_tree.data) + id * W;
    const std::uint64_t* a = reinterpret_cast<const std::uint64_t*>(f->R_tree.data) + (id + 1) * W;
    const std::uint64_t* b = reinterpret_cast<const std::uint64_t*>(f->R_tree.data) + second * W;
    for (std::uint64_t i = 0; i < W; ++i) and_n[i] = a[i] & b[i];
    return;
  }
  const std::uint64_t id = f->nodes++;
  std::uint64_t* and_n = reinterpret_cast<std::uint64_t*>(f->R_tree.data) + id * W;
  for (std::uint64_t i = 0; i < W; ++i) and_n[i] = ~std::uint64_t(0);
  const std::uint64_t first = *pos;
  const kept_tree::leaf_list& leaf = t.leaves[k.leaf];
  for (std::uint64_t p = leaf.start; p < leaf.start + leaf.size; ++p) {
    const std::uint32_t j = t.members[p];
    if (group_of[j] != g) continue;
    const std::uint64_t* P = s.P.data + std::uint64_t(j) * W;
    std::uint64_t* G = f->G.data + *pos * W;
    for (std::uint64_t i = 0; i < W; ++i) {
      G[i] = P[i];
      and_n[i] &= P[i];
    }
    f->ray.data[(*pos)++] = j;
  }
  f->i_node.data[id] = static_cast<std::uint32_t>(id + 1);
  f->i_leaf.data[2 * id] = first;
  f->i_leaf.data[2 * id + 1] = *pos - 1;
}

// The forest of a step from the kept tree: groups as for build_forest
// (every ray of group 3 is a dropped one). A group of at most a
// `kept_fresh_share`-th of the rays gets a tree built afresh instead: a
// small group lists the kept tree's leaves with few rays each, and the
// screening walks the negative tree once per positive leaf.
inline bool kept_forest(kept_tree* t, const dd_state& s, const std::int8_t* group_of, std::uint64_t leaf_size,
                        dd_forest* f) {
  kept_count(t, 0, group_of);
  const std::uint32_t* c = t->nodes[0].count;
  const std::uint64_t N = std::uint64_t(c[0]) + c[1] + c[2], W = s.W, M = 2 * W;
  bool fresh[3];
  std::uint64_t biggest = 0, at[3] = {0, c[0], std::uint64_t(c[0]) + c[1]};
  for (int g = 0; g < 3; ++g) {
    fresh[g] = c[g] > 0 && c[g] * kept_fresh_share <= N;
    if (fresh[g]) biggest = std::max<std::uint64_t>(biggest, c[g]);
  }
  const std::uint64_t cap = pattern_tree_max_nodes(N) + 3, group_cap = pattern_tree_max_nodes(biggest);
  if (!f->G.resize(W * N) || !f->ray.resize(N) || !f->R_tree.resize(M * cap + 1) || !f->i_node.resize(cap + 1) ||
      !f->i_leaf.resize(2 * cap + 2) || !f->raw.resize(W * N + 1) || !f->raw_ray.resize(N + 1) ||
      !f->bit_counts.resize(32 * M) || !f->spare.resize(biggest + 1) || !f->order.resize(biggest + 1) ||
      !f->first_pos.resize(group_cap + 1) || !f->last_pos.resize(group_cap + 1) || !f->skip.resize(group_cap + 1) ||
      !f->lists.resize(group_cap + 1))
    return false;
  if (fresh[0] || fresh[1] || fresh[2])
    for (std::uint64_t j = 0; j < s.N; ++j) {
      const int g = group_of[j];
      if (g > 2 || !fresh[g]) continue;
      const std::uint64_t p = at[g]++;
      f->raw_ray.data[p] = static_cast<std::uint32_t>(j);
      std::memcpy(f->raw.data + p * W, s.P.data + j * W, W * sizeof(std::uint64_t));
    }
  f->n_pos = c[0];
  f->n_neg = c[1];
  f->nodes = 0;
  std::uint64_t start = 0;
  for (int g = 0; g < 3; ++g) {
    if (g == 1) f->neg_first = f->nodes;
    if (fresh[g]) {
      forest_tree(W, start, c[g], leaf_size, f);
    } else if (c[g] > 0) {
      std::uint64_t pos = start;
      kept_list(*t, 0, g, s, group_of, f, &pos);
    }
    if (g == 0) f->pos_nodes = f->nodes;
    if (g == 1) f->neg_end = f->nodes;
    start += c[g];
  }
  return true;
}

inline bool pair_less(const dd_pair& a, const dd_pair& b) {
  return a.p != b.p ? a.p < b.p : a.q < b.q;
}

// Sorts the pairs by pair_less: pairs made of a few sorted runs (up to 8)
// by merging the runs, through `scratch`, others (or where scratch cannot
// be had) by sorting.
inline void sort_pairs(dd_pair* a, std::uint64_t n, dd_buffer<dd_pair>* scratch) {
  std::uint64_t descents = 0;
  for (std::uint64_t i = 1; i < n && descents < 8; ++i) descents += pair_less(a[i], a[i - 1]);
  if (descents >= 8) {
    std::sort(a, a + n, pair_less);
    return;
  }
  auto run_end = [&](std::uint64_t i) {
    while (++i < n && !pair_less(a[i], a[i - 1])) {
    }
    return i;
  };
  for (std::uint64_t end = run_end(0); end < n;) {
    const std::uint64_t next = run_end(end);
    if (!scratch->resize(end)) {
      std::sort(a, a + n, pair_less);
      return;
    }
    std::memcpy(scratch->data, a, end * sizeof(dd_pair));
    const dd_pair* left = scratch->data;
    std::uint64_t i = 0, j = end, k = 0;
    while (i < end && j < next) a[k++] = pair_less(a[j], left[i]) ? a[j++] : left[i++];
    while (i < end) a[k++] = left[i++];
    end = next;
  }
}

// What every thread of a step's screening reads.
template <typename scan_t>
struct screen_context {
  const dd_forest* f;               // the trees of the positive and negative rays
  const dd_forest* adj;             // one tree over all rays, for the adjacency walk
  const std::uint32_t* adj_of_ray;  // position of each ray in adj
  std::uint64_t W;
  const std::uint64_t* plus;
  std::uint64_t limit;
  std::uint64_t fits;               // most new rays the budget allows
  const std::uint32_t* leaves;      // the positive leaves
  std::uint64_t n_leaves;
  const std::uint32_t* T;           // transposed patterns (groups of 16), or null
  const scan_t* scan;
  std::atomic<std::uint64_t>* found;
  std::atomic<int>* failed;         // 1 out of memory, 3 stopped
  bool threaded;                    // worth more than one thread
  const std::atomic<int>* stop;     // the run's stop flag, or null
};

// Inner rays that a thread keeps to try first (measured on a flux-mode
// cone: 1, 8, 64 and 128 of them took 24, 16, 11.5 and 11 s).
constexpr int witness_slots = 64;

// What one thread keeps.
struct screen_thread {
  dd_buffer<dd_pair> pairs;
  std::uint64_t screened = 0;
  std::uint64_t* mask = nullptr;
  std::uint32_t* stack = nullptr;
  bool ok = true;
  // The inner rays that the walk found last, most recent first (a hit
  // moves to the front): the pairs that follow share p and have a q much
  // like the last ones, so one of them often lies inside their union too
  // and spares the walk. Each slot holds the ray and a copy of its pattern
  // (W words from witness_bits[k * W]), so that trying them reads no
  // pattern from the rays' scattered places.
  std::uint64_t* witness_bits = nullptr;
  std::uint32_t witness_ray[witness_slots];
  int witnesses = 0;
};

// A column scan that also keeps the inner column it finds: the range where
// `scan` found one is scanned again, plainly, for it.
template <typename scan_t>
struct witness_scan {
  const scan_t& scan;
  packed_pattern_matrix<std::uint64_t> R;
  std::uint64_t* witness;
  bool inside(const word_view_t<std::uint64_t>* P, const std::uint64_t* mask) const {
    return scan.inside(P, mask);
  }
  bool operator()(std::uint64_t first, std::uint64_t last, std::uint64_t a, std::uint64_t b,
                  const std::uint64_t* mask) const {
    if (!scan(first, last, a, b, mask)) return false;
    for (std::uint64_t c = first; c <= last; ++c)
      if (c != a && c != b && pattern_inside_union<std::uint64_t>(R.column(c), mask, R.words_per_column)) {
        *witness = c;
        break;
      }
    return true;
  }
};

#if BITS_SIMD_DISPATCH
// The lanes of one group of 16 transposed patterns (`block`, `elements`
// uint32 elements each) whose union with pattern p holds at most `limit`
// bits and which are sign compatible with p.
__attribute__((target("avx512f,avx512vpopcntdq"))) inline std::uint32_t pair_lanes_avx512(
    const std::uint32_t* block, std::uint64_t elements, const std::uint32_t* p,
    const std::uint32_t* plus, std::uint32_t limit) {
  __m512i size = _mm512_setzero_si512(), clash = _mm512_setzero_si512();
  for (std::uint64_t k = 0; k < elements; ++k) {
    const __m512i v = _mm512_load_si512(block + k * vector_group_width);
    const __m512i u = _mm512_set1_epi32(static_cast<int>(p[k]));
    const __m512i pl = _mm512_set1_epi32(static_cast<int>(plus[k]));
    const __m512i up = _mm512_set1_epi32(static_cast<int>((p[k] & plus[k]) << 1));
    size = _mm512_add_epi32(size, _mm512_popcnt_epi32(_mm512_or_si512(u, v)));
    clash = _mm512_or_si512(clash, _mm512_and_si512(v, up));
    const __m512i vp = _mm512_and_si512(v, pl);  // doubled: shifted left by one
    clash = _mm512_or_si512(clash, _mm512_and_si512(_mm512_add_epi32(vp, vp), u));
  }
  const __mmask16 small = _mm512_cmple_epu32_mask(size, _mm512_set1_epi32(static_cast<int>(limit)));
  return small & ~static_cast<std::uint32_t>(_mm512_test_epi32_mask(clash, clash)) & 0xFFFFu;
}
#endif

// One candidate pair that passed the count and sign tests: the adjacency
// walk, and the pair kept when adjacent.
template <typename scan_t>
inline void screen_one(const screen_context<scan_t>& c, screen_thread* t, std::uint64_t p,
                       std::uint64_t q) {
  const dd_forest& f = *c.adj;
  const packed_pattern_matrix<std::uint64_t> R{reinterpret_cast<const word_view_t<std::uint64_t>*>(f.G.data),
                                               c.W, f.ray.size};
  const packed_pattern_matrix<std::uint64_t> Tr{
      reinterpret_cast<const word_view_t<std::uint64_t>*>(f.R_tree.data), c.W, f.nodes};
  ++t->screened;
  const std::uint32_t ray_p = c.f->ray[p], ray_q = c.f->ray[q];
  const std::uint64_t W = c.W;
  const std::uint64_t* P = c.f->G.data + p * W;
  const std::uint64_t* Q = c.f->G.data + q * W;
  for (int k = 0; k < t->witnesses; ++k) {
    const std::uint64_t* V = t->witness_bits + k * W;
    bool inside = true;
    for (std::uint64_t i = 0; i < W && inside; ++i) inside = (V[i] & ~(P[i] | Q[i])) == 0;
    if (!inside || t->witness_ray[k] == ray_p || t->witness_ray[k] == ray_q) continue;
    if (k > 0) {
      const std::uint32_t r = t->witness_ray[k];
      std::uint64_t bits[8];
      const std::uint64_t keep = W <= 8 ? W : 0;  // wider patterns keep their place
      if (keep) {
        std::memcpy(bits, V, keep * 8);
        std::memmove(t->witness_bits + W, t->witness_bits, k * W * 8);
        std::memcpy(t->witness_bits, bits, keep * 8);
        std::memmove(t->witness_ray + 1, t->witness_ray, k * sizeof(std::uint32_t));
        t->witness_ray[0] = r;
      }
    }
    return;
  }
  const std::uint64_t a = c.adj_of_ray[ray_p], b = c.adj_of_ray[ray_q];
  std::uint64_t found = UINT64_MAX;
  const witness_scan<scan_t> scan{*c.scan, R, &found};
  if (tree_walk<std::uint64_t, witness_scan<scan_t>>(a, b, Tr, R, W, f.nodes, f.i_leaf.data,
                                                     f.i_node.data,
                                                     walk_scratch<std::uint64_t>{t->mask, t->stack}, scan)) {
    const int n = t->witnesses < witness_slots ? t->witnesses : witness_slots - 1;
    std::memmove(t->witness_bits + W, t->witness_bits, n * W * 8);
    std::memmove(t->witness_ray + 1, t->witness_ray, n * sizeof(std::uint32_t));
    std::memcpy(t->witness_bits, f.G.data + found * W, W * 8);
    t->witness_ray[0] = f.ray[found];
    t->witnesses = n + 1;
    return;
  }
  // Past the budget the pairs are only counted, so that the error can say
  // what the step needs.
  if (c.found->fetch_add(1, std::memory_order_relaxed) + 1 > c.fits) return;
  if (!t->pairs.push(dd_pair{ray_p, ray_q})) {
    t->ok = false;
    c.failed->store(1, std::memory_order_relaxed);
  }
}

// The worksharing loop over the positive leaves (an orphaned `omp for`):
// each leaf walks the negative tree, skipping every subtree whose common
// bits together with the leaf's fail the count or the sign test; at each
// negative leaf that is left, each p of the positive leaf is tested against
// its columns, 16 at a time with AVX-512 (kind 2), else one at a time.
// Forced inline, so that the population counts compile for the instruction
// set of the wrapper below that the caller picked.
template <typename scan_t, int kind>
__attribute__((always_inline)) inline void screen_leaves(const screen_context<scan_t>& c,
                                                         screen_thread* t) {
  const dd_forest& f = *c.f;
  const std::uint64_t W = c.W;
  const std::uint64_t* tree = reinterpret_cast<const std::uint64_t*>(f.R_tree.data);
#ifdef _OPENMP
#pragma omp for schedule(dynamic, 1)
#endif
  for (std::int64_t li = 0; li < static_cast<std::int64_t>(c.n_leaves); ++li) {
    if (!t->ok || c.failed->load(std::memory_order_relaxed)) continue;
    if (c.stop && c.stop->load(std::memory_order_relaxed)) {
      c.failed->store(3);
      continue;
    }
    const std::uint64_t A = c.leaves[li];
    const std::uint64_t* and_a = tree + A * W;
    const std::uint64_t a0 = f.i_leaf[2 * A], a1 = f.i_leaf[2 * A + 1];
    for (std::uint64_t l = f.neg_first; l < f.neg_end && t->ok;) {
      const std::uint64_t* and_b = tree + l * W;
      if (union_bits(and_a, and_b, W) > c.limit || !compatible(and_a, and_b, c.plus, W)) {
        l = f.i_node[l];
        continue;
      }
      const std::uint64_t b0 = f.i_leaf[2 * l], b1 = f.i_leaf[2 * l + 1];
      ++l;
      if (b0 > b1) continue;
      for (std::uint64_t p = a0; p <= a1 && t->ok; ++p) {
        const std::uint64_t* u = f.G.data + p * W;
        if (union_bits(u, and_b, W) > c.limit || !compatible(u, and_b, c.plus, W)) continue;
#if BITS_SIMD_DISPATCH
        if constexpr (kind == 2) {
          const std::uint64_t elements = 2 * W;
          const auto* u32 = reinterpret_cast<const std::uint32_t*>(u);
          const auto* plus32 = reinterpret_cast<const std::uint32_t*>(c.plus);
          for (std::uint64_t g = b0 / vector_group_width; g <= b1 / vector_group_width && t->ok; ++g) {
            std::uint32_t lanes = 0xFFFF;
            if (g == b0 / vector_group_width) lanes &= 0xFFFFu << (b0 % vector_group_width);
            if (g == b1 / vector_group_width) lanes &= 0xFFFFu >> (15 - b1 % vector_group_width);
            lanes &= pair_lanes_avx512(c.T + g * elements * vector_group_width, elements, u32, plus32,
                                       static_cast<std::uint32_t>(c.limit));
            for (; lanes != 0 && t->ok; lanes &= lanes - 1)
              screen_one(c, t, p, g * vector_group_width + static_cast<std::uint64_t>(__builtin_ctz(lanes)));
          }
          continue;
        }
#endif
        for (std::uint64_t q = b0; q <= b1 && t->ok; ++q) {
          const std::uint64_t* v = f.G.data + q * W;
          if (union_bits(u, v, W) <= c.limit && compatible(u, v, c.plus, W)) screen_one(c, t, p, q);
        }
      }
    }
  }
}

template <typename scan_t>
void screen_leaves_plain(const screen_context<scan_t>& c, screen_thread* t) {
  screen_leaves<scan_t, 0>(c, t);
}
#if BITS_SIMD_DISPATCH
template <typename scan_t>
__attribute__((target("popcnt"))) void screen_leaves_popcnt(const screen_context<scan_t>& c,
                                                            screen_thread* t) {
  screen_leaves<scan_t, 1>(c, t);
}
template <typename scan_t>
__attribute__((target("popcnt,avx512f,avx512vpopcntdq"))) void screen_leaves_avx512(
    const screen_context<scan_t>& c, screen_thread* t) {
  screen_leaves<scan_t, 2>(c, t);
}
#endif

// The screening of one step: every thread runs screen_leaves with the
// kernel of `kind` (0 plain, 1 population count instruction, 2 AVX-512),
// then the adjacent pairs of all threads are gathered into *out.
template <typename scan_t>
void screen_pairs(const screen_context<scan_t>& c, int kind, dd_buffer<dd_pair>* out,
                  std::uint64_t* candidates) {
  std::uint64_t screened = 0;
  static_cast<void>(kind);  // only builds with the vector kernels choose among kernels
#ifdef _OPENMP
#pragma omp parallel reduction(+ : screened) if (c.threaded)
#endif
  {
    screen_thread t;
    dd_buffer<std::uint64_t> mask, witness_bits;
    dd_buffer<std::uint32_t> stack;
    t.ok = mask.resize(c.W + 1) && stack.resize(pattern_tree_max_depth + 8) &&
           witness_bits.resize(c.W * witness_slots + 1);
    if (!t.ok) c.failed->store(1);
    t.mask = mask.data;
    t.stack = stack.data;
    t.witness_bits = witness_bits.data;
#if BITS_SIMD_DISPATCH
    if (kind == 2)
      screen_leaves_avx512(c, &t);
    else if (kind == 1)
      screen_leaves_popcnt(c, &t);
    else
#endif
      screen_leaves_plain(c, &t);
    screened += t.screened;
#ifdef _OPENMP
#pragma omp critical(dd_pairs)
#endif
    {
      if (!c.failed->load() && c.found->load() <= c.fits && t.pairs.size > 0) {
        if (out->reserve(out->size + t.pairs.size)) {
          std::memcpy(out->data + out->size, t.pairs.data, t.pairs.size * sizeof(dd_pair));
          out->size += t.pairs.size;
        } else {
          c.failed->store(1);
        }
      }
    }
  }
  *candidates = screened;
}

// Scratch of the screening kept from step to step: the positive leaves and
// the transposed copies of the two forests' patterns.
struct dd_screen_scratch {
  dd_buffer<std::uint32_t> leaves;
  dd_buffer<std::uint32_t> transposed, lanes;
};

// The screening of one step with the adjacency scan and pair test of
// instruction set `isa`: the vector scans need a transposed copy of the
// patterns (one when adj is f itself, its third tree holding the zero
// rays); without it the straightforward ones run. Of the positive
// leaves, those whose number modulo `ranks` is `rank`. *failure: 0, 1 out
// of memory, 2 more new rays than `fits`, 3 stopped by `stop`; *adjacent
// counts the adjacent pairs, beyond `fits` too.
inline void screen_step(const dd_forest& f, const dd_forest& adj, const std::uint32_t* adj_of_ray,
                        std::uint64_t W, const std::uint64_t* plus, std::uint64_t limit, std::uint64_t fits,
                        simd_isa isa, std::uint64_t parallel_work, std::uint64_t rank, std::uint64_t ranks,
                        const std::atomic<int>* stop, dd_screen_scratch* scratch, dd_buffer<dd_pair>* out,
                        std::uint64_t* candidates, std::uint64_t* adjacent, int* failure) {
  const std::uint64_t all = adj.ray.size;
  const packed_pattern_matrix<std::uint64_t> R{reinterpret_cast<const word_view_t<std::uint64_t>*>(adj.G.data),
                                               W, all};
  dd_buffer<std::uint32_t>& leaves = scratch->leaves;
  std::uint64_t n_leaves = 0;
  if (!leaves.resize(f.pos_nodes + 1)) {
    *failure = 1;
    return;
  }
  for (std::uint64_t l = 0, k = 0; l < f.pos_nodes; ++l)
    if (f.i_leaf[2 * l] <= f.i_leaf[2 * l + 1] && k++ % ranks == rank)
      leaves.data[n_leaves++] = static_cast<std::uint32_t>(l);
  std::atomic<std::uint64_t> found{0};
  std::atomic<int> failed{0};
  *failure = 0;
  bool done = false;
  const bool threaded = static_cast<double>(f.n_pos) * static_cast<double>(f.n_neg) >= parallel_work;
#if BITS_SIMD_DISPATCH
  const std::uint64_t elements = 2 * W;
  const std::uint64_t pairs_of = f.ray.size;
  const int kind = candidate_pairs_path(isa) == simd_isa::avx512 ? 2 : 1;
  const bool one = &adj == &f;  // one forest for both: one transposed copy
  if (isa != simd_isa::scalar && all >= vector_group_width && transposed_copy_fits(elements, all) &&
      scratch->transposed.resize(transposed_scratch_size(elements, all)) &&
      (kind != 2 || one || scratch->lanes.resize(transposed_scratch_size(elements, pairs_of)))) {
    std::uint32_t* Tc = transposed_scratch_start(scratch->transposed.data);
    std::uint32_t* Tl = kind == 2 && !one ? transposed_scratch_start(scratch->lanes.data) : nullptr;
    const auto* S = reinterpret_cast<const word_view_t<std::uint32_t>*>(adj.G.data);
    const auto* L = reinterpret_cast<const word_view_t<std::uint32_t>*>(f.G.data);
#ifdef _OPENMP
#pragma omp parallel if (all >= parallel_work / 16)
#endif
    {
      detail::transpose_columns(S, elements, all, Tc);
      if (Tl) detail::transpose_columns(L, elements, pairs_of, Tl);
    }
    if (kind == 2 && one) Tl = Tc;
    done = run_vector_path(isa, [&](auto path) {
      const vector_column_scan<std::uint64_t, decltype(path)::value> scan{{R, W}, Tc, elements};
      const screen_context<decltype(scan)> c{&f, &adj, adj_of_ray, W, plus, limit, fits, leaves.data,
                                             n_leaves, Tl, &scan, &found, &failed, threaded, stop};
      screen_pairs(c, kind, out, candidates);
    });
  }
#endif
  if (!done) {
    const scalar_column_scan<std::uint64_t> scan{R, W};
    const screen_context<scalar_column_scan<std::uint64_t>> c{
        &f, &adj, adj_of_ray, W, plus, limit, fits, leaves.data, n_leaves, nullptr, &scan, &found, &failed, threaded,
        stop};
    screen_pairs(c, isa == simd_isa::scalar ? 0 : 1, out, candidates);
  }
  *adjacent = found.load();
  if (failed.load())
    *failure = failed.load() == 3 ? 3 : 1;
  else if (*adjacent > fits)
    *failure = 2;
}

}  // namespace detail

// How the rays' entries are kept and computed: here as int64, one word per
// entry, read from the problem's A and X0 (the sign tests in 128 or 256
// bits, exactly; a combination beyond int64 is reported, not rounded). A
// store with other entries (core/big_rays.h) gives the engine the same
// members: words per ray, the initial rays, the signs of every ray on a
// row (but the dropped ones), the new rays of a step's pairs, the sign of a ray's first non-zero
// entry, and whether (and how) its entries can be widened.
struct int64_entries {
  const dd_problem* pb;
  dd_buffer<std::int64_t> a;    // the row of the current step
  dd_buffer<std::uint64_t> nzi;  // where it is not zero

  std::uint64_t words() const { return pb->n; }
  bool prepare() { return a.resize(pb->n + 1) && nzi.resize(pb->n + 1); }
  void initial(std::uint64_t j, bool negate, std::int64_t* x) const {
    for (std::uint64_t i = 0; i < pb->n; ++i) x[i] = negate ? -pb->X0[j * pb->n + i] : pb->X0[j * pb->n + i];
  }
  // Signs of the N rays of X on row r into out; counts of each side. A ray
  // flagged in `dropped` (null: none) is not computed and gets sign 0.
  void signs(std::uint64_t r, const std::int64_t* X, std::uint64_t N, const std::uint8_t* dropped,
             std::int8_t* out, std::uint64_t* n_pos, std::uint64_t* n_neg) {
    const std::uint64_t n = pb->n, m = pb->m;
    std::uint64_t nz = 0, only = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
      a.data[i] = pb->A[r + i * m];
      if (a.data[i] != 0) {
        nzi.data[nz++] = i;
        only = i;
      }
    }
    std::uint64_t cp = 0, cn = 0;
    const std::int64_t* av = a.data;
    const std::int64_t NN = static_cast<std::int64_t>(N);
    if (nz == 1) {
      const int flip = av[only] < 0 ? -1 : 1;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) reduction(+ : cp, cn) if (N >= pb->parallel_work / 16)
#endif
      for (std::int64_t j = 0; j < NN; ++j) {
        const std::int64_t v = X[static_cast<std::uint64_t>(j) * n + only];
        const int sg = dropped && dropped[j] ? 0 : (v > 0 ? 1 : (v < 0 ? -1 : 0)) * flip;
        out[j] = static_cast<std::int8_t>(sg);
        cp += sg > 0;
        cn += sg < 0;
      }
    } else {
      const std::uint64_t* at = nzi.data;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) reduction(+ : cp, cn) if (N >= pb->parallel_work / 16)
#endif
      for (std::int64_t j = 0; j < NN; ++j) {
        const std::int64_t* x = X + static_cast<std::uint64_t>(j) * n;
        int sg = 0;
        if (dropped && dropped[j]) {
          out[j] = 0;
          continue;
        }
#if defined(__SIZEOF_INT128__)
        // The row's non-zero entries only (rows of a null space basis are
        // sparse), in 128 bits; the full exact sum where that overflows.
        int128_t sum = 0;
        bool exact = true;
        for (std::uint64_t k = 0; k < nz && exact; ++k)
          exact = !__builtin_add_overflow(sum, static_cast<int128_t>(av[at[k]]) * x[at[k]], &sum);
        if (exact)
          sg = sum > 0 ? 1 : (sum < 0 ? -1 : 0);
        else
#endif
          sg = nz == 0 ? 0 : dot_sign(av, 1, x, n);
        out[j] = static_cast<std::int8_t>(sg);
        cp += sg > 0;
        cn += sg < 0;
      }
    }
    *n_pos = cp;
    *n_neg = cn;
  }
  // The new ray of each pair on the row of the last signs(), ray i of them
  // at X + (N + i) * words(); false when one does not fit.
  bool combine(std::int64_t* X, std::uint64_t N, const dd_pair* pr, std::uint64_t K) {
    const std::uint64_t n = pb->n;
    const std::int64_t* av = a.data;
    int overflow = 0;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (K >= pb->parallel_work / 256)
#endif
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(K); ++i) {
      const std::uint64_t p = pr[i].p, q = pr[i].q;
      // p on the positive side: (a.x_p) x_q - (a.x_q) x_p is the positive combination.
      if (!combine_rays(av, X + p * n, X + q * n, n, X + (N + i) * n)) {
#ifdef _OPENMP
#pragma omp atomic write
#endif
        overflow = 1;
      }
    }
    return overflow == 0;
  }
  // The sign of the first non-zero entry of a ray (0 for a zero ray).
  int leading_sign(const std::int64_t* x) const {
    for (std::uint64_t i = 0; i < pb->n; ++i)
      if (x[i] != 0) return x[i] > 0 ? 1 : -1;
    return 0;
  }
  // int64 entries are not widened: a combination beyond them ends the run.
  // Having one width, they can be shared out among ranks (dd_partition).
  static constexpr bool shareable = true;
  bool widen() { return false; }
  void relayout(std::int64_t*, std::uint64_t, std::uint64_t) const {}
};

// Y = A X exactly, each column divided by the gcd of its entries: the
// values of the `count` rays X (n x count, int64 entries) on the m rows of A
// (m x n, column-major), m x count into Y, as coprime integers; false when
// one of them is beyond int64 (Y is then undefined).
inline bool row_values(const std::int64_t* A, std::uint64_t m, std::uint64_t n, const std::int64_t* X,
                       std::uint64_t count, std::int64_t* Y) {
  int overflow = 0;
#if defined(__SIZEOF_INT128__)
  // A's non-zero entries row by row (an expansion's rows are mostly one
  // entry each: a reaction a multiple of one compressed reaction). Where at
  // least half the entries are non-zero the list saves little and would
  // take twice A's memory, and where it cannot be had, every entry of the
  // row is looked at.
  std::uint64_t nonzero = 0;
  for (std::uint64_t e = 0; e < m * n; ++e) nonzero += A[e] != 0;
  dd_buffer<std::uint64_t> first, column;
  dd_buffer<std::int64_t> entry;
  const bool listed = 2 * nonzero < m * n && first.resize(m + 1) && column.resize(nonzero + 1) &&
                      entry.resize(nonzero + 1);
  std::uint64_t listed_entries = 0;
  for (std::uint64_t r = 0; r < m && listed; ++r) {
    first.data[r] = listed_entries;
    for (std::uint64_t i = 0; i < n; ++i)
      if (A[r + i * m] != 0) {
        column.data[listed_entries] = i;
        entry.data[listed_entries++] = A[r + i * m];
      }
    first.data[r + 1] = listed_entries;
  }
  // Rows equal to an earlier row (the reactions of a chain through
  // metabolites that only they make and use carry one flux, so their rows
  // of an expansion are equal) take that row's value instead of their own
  // sum: same[r] is the first row equal to r (r itself for the first).
  // Found by sorting the rows' lists, where there are more columns than rows.
  dd_buffer<std::uint64_t> same, sorted;
  const bool deduplicated = listed && m > 1 && m <= count && same.resize(m) && sorted.resize(m);
  if (deduplicated) {
    // Rows' lists in order: length, then columns and entries; 0 for equal.
    auto compare = [&](std::uint64_t a, std::uint64_t b) {
      const std::uint64_t la = first.data[a + 1] - first.data[a], lb = first.data[b + 1] - first.data[b];
      if (la != lb) return la < lb ? -1 : 1;
      for (std::uint64_t k = 0; k < la; ++k) {
        const std::uint64_t ka = first.data[a] + k, kb = first.data[b] + k;
        if (column.data[ka] != column.data[kb]) return column.data[ka] < column.data[kb] ? -1 : 1;
        if (entry.data[ka] != entry.data[kb]) return entry.data[ka] < entry.data[kb] ? -1 : 1;
      }
      return 0;
    };
    std::uint64_t* rows = sorted.data;
    for (std::uint64_t r = 0; r < m; ++r) rows[r] = r;
    std::sort(rows, rows + m, [&](std::uint64_t a, std::uint64_t b) {
      const int c = compare(a, b);
      return c != 0 ? c < 0 : a < b;
    });
    // Equal lists are adjacent in that order, the lowest row first.
    for (std::uint64_t r = 0; r < m; ++r) same.data[r] = r;
    for (std::uint64_t k = 1; k < m; ++k)
      if (compare(rows[k - 1], rows[k]) == 0) same.data[rows[k]] = same.data[rows[k - 1]];
  }
#endif
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (count * m >= dd_parallel_work)
#endif
  for (std::int64_t j = 0; j < static_cast<std::int64_t>(count); ++j) {
    const std::int64_t* x = X + static_cast<std::uint64_t>(j) * n;
    std::int64_t* y = Y + static_cast<std::uint64_t>(j) * m;
    bool fits = true;
    // The gcd of the column so far; a value it divides (the common case once
    // a few are in) is told by a multiplication, not by the gcd's loop.
    exact_divisor g;
    for (std::uint64_t r = 0; r < m && fits; ++r) {
#if defined(__SIZEOF_INT128__)
      if (deduplicated && same.data[r] != r) {
        y[r] = y[same.data[r]];  // fits, and the gcd has it already
        continue;
      }
      int128_t sum = 0;
      bool exact = true;
      if (listed) {
        for (std::uint64_t k = first.data[r]; k < first.data[r + 1] && exact; ++k)
          exact = !__builtin_add_overflow(sum, static_cast<int128_t>(entry.data[k]) * x[column.data[k]], &sum);
      } else {
        for (std::uint64_t i = 0; i < n && exact; ++i) {
          const std::int64_t a = A[r + i * m];
          if (a != 0) exact = !__builtin_add_overflow(sum, static_cast<int128_t>(a) * x[i], &sum);
        }
      }
      fits = exact && sum > INT64_MIN && sum <= INT64_MAX;
      y[r] = fits ? static_cast<std::int64_t>(sum) : 0;
#else
      const wide_int v = dot_wide(A + r, m, x, n);
      fits = fits_int64(v) && to_int64(v) != INT64_MIN;
      y[r] = fits ? to_int64(v) : 0;
#endif
      if (g.g != 1) {  // 1 stays 1
        const std::uint64_t v = static_cast<std::uint64_t>(y[r] < 0 ? -y[r] : y[r]);
        if (g.g == 0 ? v != 0 : !g.divides(v)) g = exact_divisor(gcd_u64(g.g, v));
      }
    }
    if (fits) {
      if (g.g > 1)
        for (std::uint64_t r = 0; r < m; ++r) {
          const std::uint64_t q = g.quotient(static_cast<std::uint64_t>(y[r] < 0 ? -y[r] : y[r]));
          y[r] = y[r] < 0 ? -static_cast<std::int64_t>(q) : static_cast<std::int64_t>(q);
        }
      continue;
    }
    // Some value is beyond int64: the column in 256 bits, divided by its gcd.
    wide_int common = wide_zero();
    for (std::uint64_t r = 0; r < m; ++r) common = gcd(common, dot_wide(A + r, m, x, n));
    for (std::uint64_t r = 0; r < m; ++r) {
      wide_int v = dot_wide(A + r, m, x, n);
      if (!is_zero(common)) v = divide(v, common);
      if (fits_int64(v)) {
        y[r] = to_int64(v);
      } else {
#ifdef _OPENMP
#pragma omp atomic write
#endif
        overflow = 1;
        break;
      }
    }
  }
  return overflow == 0;
}

// Runs the method. On dd_status::ok, *result holds the rays; on any other
// status nothing is held, and stats->failed_step and needed_bytes tell where
// and why the run stopped.
template <typename store_t>
dd_status run_double_description_with(const dd_problem& pb, store_t& store, dd_result* result,
                                      dd_statistics* stats) {
  const auto t0 = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  *result = dd_result{};
  *stats = dd_statistics{};
  const std::uint64_t m = pb.m, n = pb.n, d = pb.d;
  auto is_rev = [&](std::uint64_t r) { return pb.reversible != nullptr && pb.reversible[r] != 0; };

  // Bit positions: rows in the order added; a reversible row takes an even
  // position and the next one.
  std::uint64_t bits = 0;
  for (std::uint64_t r = 0; r < m; ++r) bits += is_rev(r) ? 3 : 1;
  detail::dd_state s;
  s.n = n;
  s.W = bits == 0 ? 1 : (bits + 63) / 64;
  const std::uint64_t W = s.W;
  dd_buffer<std::uint8_t> done;
  dd_buffer<std::int8_t> sign;
  if (!s.plus.resize(W) || !s.irrev.resize(W) || !done.resize(m + 1) || !store.prepare())
    return dd_status::out_of_memory;
  std::memset(s.plus.data, 0, W * 8);
  std::memset(s.irrev.data, 0, W * 8);
  std::memset(done.data, 0, m + 1);
  std::uint64_t w = store.words();  // int64 words per ray (entries may widen during the run)
  std::uint64_t ray_bytes = 8 * (w + W);
  auto over = [&](std::uint64_t bytes) { return pb.max_bytes != 0 && bytes > pb.max_bytes; };
  auto note = [&](std::uint64_t bytes) {
    if (bytes > stats->peak_bytes) stats->peak_bytes = bytes;
  };

  // Shared out among ranks (dd_partition): s.X holds this rank's rays only,
  // in the order of their slots, and every rank knows every slot's owner.
  const dd_partition* part = pb.partition;
  const bool shared = part != nullptr && part->ranks > 1;
  const bool shares = shared && store_t::shareable && part->sum != nullptr && part->sum_signs != nullptr &&
                      part->exchange != nullptr && pb.rays_out == nullptr && part->ranks <= 65535;
  const std::uint64_t R = shares ? part->ranks : 1, me = shares ? part->rank : 0;
  dd_buffer<std::uint16_t> owner;      // per slot: the rank that holds its entries
  dd_buffer<std::uint32_t> local_of;   // per slot of this rank: its ray in s.X
  dd_buffer<std::uint32_t> slot_of;    // per ray in s.X: its slot
  dd_buffer<std::uint8_t> local_dropped;
  dd_buffer<std::int8_t> local_sign;
  dd_buffer<std::uint64_t> held;       // per rank: the rays it holds, dropped ones included
  std::uint64_t NL = 0, locals_held = 0;  // rays in s.X; the most any rank's s.X has held
  if (shares && !held.resize(5 * R)) return dd_status::out_of_memory;  // and a step's counts (below)
  auto most_held = [&] {
    std::uint64_t most = 0;
    for (std::uint64_t k = 0; k < R && shares; ++k) most = std::max(most, held.data[k]);
    return most;
  };
  auto sum_all = [&](std::uint64_t* v, std::uint64_t c) { return !shares || part->sum(part->context, v, c); };

  // The bit of row r for sign sg (> 0 or < 0), set when it is added.
  dd_buffer<std::uint64_t> bit_of;
  if (!bit_of.resize(m + 1)) return dd_status::out_of_memory;
  auto assign_bit = [&](std::uint64_t r) {
    if (is_rev(r)) {
      if (s.next_bit % 2) ++s.next_bit;
      bit_of.data[r] = s.next_bit;
      s.plus.data[s.next_bit / 64] |= std::uint64_t(1) << (s.next_bit % 64);
      s.next_bit += 2;
    } else {
      bit_of.data[r] = s.next_bit;
      s.irrev.data[s.next_bit / 64] |= std::uint64_t(1) << (s.next_bit % 64);
      s.next_bit += 1;
    }
  };
  auto set_bit = [&](std::uint64_t* pattern, std::uint64_t r, int sg) {
    const std::uint64_t b = bit_of.data[r] + (is_rev(r) && sg < 0 ? 1 : 0);
    pattern[b / 64] |= std::uint64_t(1) << (b % 64);
  };

  // The initial rays, both directions for a reversible row.
  std::uint64_t N0 = d;
  for (std::uint64_t j = 0; j < d; ++j) N0 += is_rev(pb.sequence[j]) ? 1 : 0;
  if (N0 >= (std::uint64_t(1) << 32)) return dd_status::too_many_rays;
  if (over(N0 * ray_bytes)) {
    stats->needed_bytes = N0 * ray_bytes;
    return dd_status::over_budget;
  }
  if (!s.X.resize(w * N0) || !s.P.resize(W * N0)) return dd_status::out_of_memory;
  std::memset(s.P.data, 0, W * N0 * 8);
  for (std::uint64_t j = 0; j < d; ++j) assign_bit(pb.sequence[j]);
  {
    std::uint64_t c = 0;
    for (std::uint64_t j = 0; j < d; ++j) {
      const std::uint64_t r = pb.sequence[j];
      store.initial(j, false, s.X.data + c * w);
      set_bit(s.P.data + c * W, r, 1);
      ++c;
      if (is_rev(r)) {
        store.initial(j, true, s.X.data + c * w);
        set_bit(s.P.data + c * W, r, -1);
        ++c;
      }
      done.data[r] = 1;
    }
  }
  s.N = N0;
  NL = N0;
  if (shares) {  // the initial rays dealt out in turn
    if (!owner.resize(N0 + 1) || !local_of.resize(N0 + 1) || !slot_of.resize(N0 + 1))
      return dd_status::out_of_memory;
    std::memset(held.data, 0, R * 8);
    NL = 0;
    for (std::uint64_t j = 0; j < N0; ++j) {
      owner.data[j] = static_cast<std::uint16_t>(j % R);
      ++held.data[j % R];
      if (j % R != me) continue;
      if (NL != j) std::memmove(s.X.data + NL * w, s.X.data + j * w, w * 8);
      local_of.data[j] = static_cast<std::uint32_t>(NL);
      slot_of.data[NL++] = static_cast<std::uint32_t>(j);
    }
    locals_held = most_held();
  }
  stats->max_rays = s.N;
  note(s.N * ray_bytes);

  const std::uint64_t steps = m - d;
  stats->steps = steps;
  // Kept from step to step: the forest and the screening's scratch (sized
  // for `workspace_rays` rays, the most any step has had), the signs,
  // groups and pairs. The rays stay where they are: a dropped ray is only
  // flagged, and new rays go after the last one; the rays are moved down
  // over the dropped ones when those pass a share of the slots (and when
  // the slots would otherwise run past 2^32 - 1). Dropped rays keep their
  // place in the order, so the order of the rays that are left is the one
  // a compaction at every step would give.
  detail::dd_forest forest, adj;
  dd_buffer<std::uint32_t> adj_of_ray;
  dd_buffer<std::int8_t> live_group;  // 0 for a ray, 3 for a dropped one: the groups of adj
  detail::kept_tree tree;
  dd_buffer<std::uint32_t> slot_scratch;  // the renumbering of a compaction
  detail::dd_screen_scratch screen;
  dd_buffer<dd_pair> pairs;
  dd_buffer<std::int8_t> group;
  dd_buffer<std::uint8_t> dropped;  // per slot, 1 when the ray was dropped
  std::uint64_t n_dropped = 0, workspace_rays = 0, slots_held = s.N;
  std::uint64_t last_candidates = 0, last_rays = 0;  // of the last step that screened pairs
  if (!dropped.resize(s.N + 1)) return dd_status::out_of_memory;
  std::memset(dropped.data, 0, s.N);
  const std::uint64_t max_slots = (std::uint64_t(1) << 32) - 1;
  // Shared out, the fetch of a step: a stamp per slot (the step that asked
  // for it) and where its entries land; what is asked of each rank and sent
  // to it; the step's pairs in numbers of s.X.
  dd_buffer<std::uint32_t> stamp, want, asked, asked_of_me;
  dd_buffer<std::int64_t> reply;
  dd_buffer<dd_pair> local_pairs;
  std::uint64_t stamped = 0;  // slots whose stamp is set
  // What the run holds with `slots` slots and, shared out, the entries of
  // `locals` rays on the rank that holds the most.
  auto held_bytes = [&](std::uint64_t slots, std::uint64_t locals) {
    const std::uint64_t all = std::max(slots, slots_held);
    const std::uint64_t entries = shares ? std::max(locals, locals_held) : all;
    return all * 8 * W + entries * 8 * w + workspace_rays * detail::forest_bytes_per_ray(W) + tree.bytes();
  };
  auto compact = [&] {
    const bool renumber = tree.built && slot_scratch.resize(s.N + 1);
    if (!renumber) tree.built = false;  // no room to renumber: built anew when next needed
    std::uint64_t c = 0, below = 0, lc = 0, li = 0;
    if (shares) std::memset(held.data, 0, R * 8);
    for (std::uint64_t j = 0; j < s.N; ++j) {
      if (renumber) slot_scratch.data[j] = dropped.data[j] ? detail::kept_tree::none : static_cast<std::uint32_t>(c);
      if (j < tree.slots) below = c + (dropped.data[j] ? 0 : 1);
      const bool mine = shares && owner.data[j] == me;
      if (dropped.data[j]) {
        li += mine;
        continue;
      }
      if (shares) {  // this rank's rays move down in s.X alike
        if (mine) {
          if (lc != li) std::memcpy(s.X.data + lc * w, s.X.data + li * w, w * 8);
          local_of.data[c] = static_cast<std::uint32_t>(lc);
          slot_of.data[lc++] = static_cast<std::uint32_t>(c);
          ++li;
        }
        owner.data[c] = owner.data[j];
        ++held.data[owner.data[j]];
      } else if (c != j) {
        std::memcpy(s.X.data + c * w, s.X.data + j * w, w * 8);
      }
      if (c != j) std::memcpy(s.P.data + c * W, s.P.data + j * W, W * 8);
      ++c;
    }
    if (shares) NL = lc;
    stamped = 0;
    std::memset(dropped.data, 0, c);
    if (renumber && !detail::kept_renumber(&tree, slot_scratch.data, below)) tree.built = false;
    s.N = c;
    n_dropped = 0;
  };
  // With rays_out, the last step's new rays go out a block at a time from
  // the slots after the last one, and only its pairs are held whole.
  const std::uint64_t out_block = std::max<std::uint64_t>(1, pb.block_rays);
  std::uint64_t handed_out = 0;
  for (std::uint64_t k = 0; k < steps; ++k) {
    const std::uint64_t step = k + 1;
    const bool streamed = pb.rays_out != nullptr && step == steps;
    std::uint64_t N = s.N;  // slots, dropped rays included
    if (pb.stop && pb.stop->load()) {
      stats->failed_step = step;
      return dd_status::interrupted;
    }
    if (!sign.resize(N + 1) || !group.resize(N + 1) || !live_group.resize(N + 1)) return dd_status::out_of_memory;

    if (shares && (!local_dropped.resize(NL + 1) || !local_sign.resize(NL + 1))) return dd_status::out_of_memory;
    // Shared out, each rank computes its own rays' signs, and the counts
    // (and, when `whole`, the signs in `out`) are summed over the ranks.
    auto local_drops = [&] {
      for (std::uint64_t i = 0; i < NL && n_dropped; ++i) local_dropped.data[i] = dropped.data[slot_of.data[i]];
    };
    if (shares) local_drops();
    bool exchanged = true;
    auto row_signs = [&](std::uint64_t r, std::int8_t* out, std::uint64_t* n_pos, std::uint64_t* n_neg, bool whole) {
      if (!shares) {
        store.signs(r, s.X.data, N, n_dropped ? dropped.data : nullptr, out, n_pos, n_neg);
        return;
      }
      std::uint64_t c[2];
      store.signs(r, s.X.data, NL, n_dropped ? local_dropped.data : nullptr, local_sign.data, &c[0], &c[1]);
      if (whole) {
        std::memset(out, 0, N);
        for (std::uint64_t i = 0; i < NL; ++i) out[slot_of.data[i]] = local_sign.data[i];
        exchanged = exchanged && part->sum_signs(part->context, out, N);
      }
      exchanged = exchanged && part->sum(part->context, c, 2);
      *n_pos = c[0];
      *n_neg = c[1];
    };

    // The row: the next of the sequence, or the one with the fewest pairs.
    std::uint64_t r = 0, n_pos = 0, n_neg = 0;
    if (pb.dynamic_order) {
      double best = -1;
      bool irreversible_left = false;
      for (std::uint64_t t = d; t < m && pb.dynamic_order == 2 && !irreversible_left; ++t)
        irreversible_left = !done.data[pb.sequence[t]] && !is_rev(pb.sequence[t]);
      for (std::uint64_t t = d; t < m; ++t) {
        const std::uint64_t c = pb.sequence[t];
        if (done.data[c] || (irreversible_left && is_rev(c))) continue;
        std::uint64_t cp, cn;
        row_signs(c, sign.data, &cp, &cn, false);
        const double score = static_cast<double>(cp) * static_cast<double>(cn);
        if (best < 0 || score < best) {
          best = score;
          r = c;
        }
        if (score == 0) break;
      }
    } else {
      r = pb.sequence[d + k];
    }
    row_signs(r, sign.data, &n_pos, &n_neg, true);
    // So many new rays could run the slots past 2^32 - 1: the dropped rays
    // go first, so that only the rays themselves count against that limit.
    if (n_dropped > 0 && static_cast<double>(N) + static_cast<double>(n_pos) * static_cast<double>(n_neg) >
                             static_cast<double>(max_slots)) {
      compact();
      N = s.N;
      row_signs(r, sign.data, &n_pos, &n_neg, true);  // (no rays are dropped after a compaction)
    }
    if (!exchanged) {
      stats->failed_step = step;
      return dd_status::exchange_failed;
    }
    const std::uint64_t live = N - n_dropped;
    done.data[r] = 1;
    const bool rev = is_rev(r);
    const std::uint64_t processed = d + k;  // rows added before this one
    const std::uint64_t limit = processed + 2 >= d ? processed + 2 - d : 0;

    pairs.size = 0;
    std::uint64_t candidates = 0;
    if (n_pos > 0 && n_neg > 0) {
      workspace_rays = std::max(workspace_rays, N);
      const std::uint64_t step_bytes = held_bytes(N, most_held());
      if (over(step_bytes)) {
        stats->failed_step = step;
        stats->needed_bytes = step_bytes;
        return dd_status::over_budget;
      }
      note(step_bytes);
      // The adjacency walk gets a tree of its own over all rays when the
      // last step that screened pairs walked it for as many pairs as it had
      // rays; otherwise it walks the screening forest, the zero rays in a
      // third tree of it: a forest split by sign first prunes worse, but
      // costs no second listing and transposed copy of every ray.
      const bool own_adj = last_candidates >= last_rays;
      const int zero_group = own_adj ? 3 : 2;
      for (std::uint64_t j = 0; j < N; ++j) {
        group.data[j] = dropped.data[j] ? 3 : (sign.data[j] > 0 ? 0 : (sign.data[j] < 0 ? 1 : zero_group));
        live_group.data[j] = dropped.data[j] ? 3 : 0;
      }
      bool built = false;
      if (!pb.kept_trees) {
        built = detail::build_forest(s, group.data, pb.leaf_size, &forest) &&
                (!own_adj || detail::build_forest(s, live_group.data, pb.leaf_size, &adj));
      } else {
        built = tree.built && tree.taken <= detail::kept_tree_rebuild * std::max(tree.built_over, pb.leaf_size)
                    ? detail::kept_take(&tree, s, dropped.data, pb.leaf_size, &forest)
                    : detail::kept_build(&tree, s, dropped.data, pb.leaf_size, &forest);
        built = built && detail::kept_forest(&tree, s, group.data, pb.leaf_size, &forest) &&
                (!own_adj || detail::kept_forest(&tree, s, live_group.data, pb.leaf_size, &adj));
      }
      const detail::dd_forest& walk = own_adj ? adj : forest;
      built = built && adj_of_ray.resize(N + 1);
      if (!built) {
        stats->failed_step = step;
        stats->needed_bytes = step_bytes;
        return dd_status::out_of_memory;
      }
      // New rays that fit the budget beside the rays and the forest.
      // (Streamed: pairs that fit beside them and one block of new rays.)
      std::uint64_t fits = UINT64_MAX;
      const std::uint64_t block_bytes = streamed ? out_block * (ray_bytes + pb.block_bytes_per_ray) : 0;
      if (pb.max_bytes != 0)
        fits = streamed ? (pb.max_bytes - step_bytes > block_bytes
                               ? (pb.max_bytes - step_bytes - block_bytes) / sizeof(dd_pair)
                               : 0)
                        : (pb.max_bytes - step_bytes) / (shares ? 8 * W + (8 * w + R - 1) / R : ray_bytes);
      if (!streamed && N + fits > max_slots) fits = max_slots - N;
      int failure = 0;
      std::uint64_t adjacent = 0;
      for (std::uint64_t p = 0; p < walk.ray.size; ++p) adj_of_ray.data[walk.ray.data[p]] = static_cast<std::uint32_t>(p);
      detail::screen_step(forest, walk, adj_of_ray.data, W, s.plus.data, limit, fits, pb.isa, pb.parallel_work,
                          shared ? part->rank : 0, shared ? part->ranks : 1, pb.stop, &screen, &pairs, &candidates,
                          &adjacent, &failure);
      // Shared, each rank sorts its own pairs, which the gather puts one
      // rank's after another's: the few sorted runs are then merged.
      if (shared) std::sort(pairs.data, pairs.data + pairs.size, detail::pair_less);
      if (shared && !part->gather(part->context, &pairs, &candidates, &adjacent, &failure)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      if (failure == 0 && adjacent > fits) failure = 2;
      if (failure == 3) {
        stats->failed_step = step;
        return dd_status::interrupted;
      }
      if (failure) {
        stats->failed_step = step;
        stats->needed_bytes = step_bytes + (streamed ? block_bytes + adjacent * sizeof(dd_pair) : adjacent * ray_bytes);
        if (failure == 2 && !streamed && N + fits >= max_slots) return dd_status::too_many_rays;
        return failure == 2 ? dd_status::over_budget : dd_status::out_of_memory;
      }
      detail::sort_pairs(pairs.data, pairs.size, &local_pairs);
    }
    const std::uint64_t K = pairs.size;
    if (n_pos > 0 && n_neg > 0) {
      last_candidates = candidates;
      last_rays = live;
    }
    stats->candidates += candidates;
    stats->rejected += n_pos * n_neg - candidates;
    stats->adjacent += K;
    if (candidates > stats->largest) stats->largest = candidates;

    // New rays after the last slot (streamed: one block of them at a time).
    const std::uint64_t total = N + (streamed ? std::min(K, out_block) : K);
    const std::uint64_t out_bytes = streamed ? K * sizeof(dd_pair) + (total - N) * pb.block_bytes_per_ray : 0;
    // Shared out, this rank makes the new rays of pairs [lo, lo + chunk),
    // fetching the entries of the `fetch` other rays they use (asked[]
    // lists them, by owner) after its own rays and the new ones, and sends
    // the `sends` rays that the other ranks ask of it. counts: what this
    // rank asks of each rank, what each asks of it, per rank the most rays
    // it holds in the step, ones.
    std::uint64_t lo = 0, chunk = 0, fetch = 0, sends = 0, most_locals = 0;
    if (shares && K > 0) {
      std::uint64_t* const counts = held.data + R;
      lo = K * me / R;
      chunk = K * (me + 1) / R - lo;
      if (!stamp.resize(N + 1) || !want.resize(N + 1) || !local_pairs.resize(chunk + 1)) {
        stats->failed_step = step;
        return dd_status::out_of_memory;
      }
      if (stamped < N) std::memset(stamp.data + stamped, 0, (N - stamped) * 4);
      stamped = N;
      std::memset(counts, 0, 3 * R * 8);
      for (std::uint64_t k2 = 0; k2 < R; ++k2) counts[3 * R + k2] = 1;
      const std::uint32_t seen = static_cast<std::uint32_t>(2 * step), placed = seen + 1;
      const dd_pair* pr = pairs.data + lo;
      for (std::uint64_t i = 0; i < 2 * chunk; ++i) {
        const std::uint32_t j = i % 2 ? pr[i / 2].q : pr[i / 2].p;
        if (owner.data[j] == me || stamp.data[j] >= seen) continue;
        stamp.data[j] = seen;
        ++counts[owner.data[j]];
        ++fetch;
      }
      if (!asked.resize(fetch + 1)) {
        stats->failed_step = step;
        return dd_status::out_of_memory;
      }
      for (std::uint64_t k2 = 0, at = 0; k2 < R; at += counts[k2++]) counts[2 * R + k2] = at;
      const std::uint64_t after = NL + chunk;  // where the fetched rays go in s.X
      auto local = [&](std::uint32_t j) -> std::uint32_t {
        if (owner.data[j] == me) return local_of.data[j];
        if (stamp.data[j] == seen) {
          stamp.data[j] = placed;
          want.data[j] = static_cast<std::uint32_t>(counts[2 * R + owner.data[j]]++);
          asked.data[want.data[j]] = j;
        }
        return static_cast<std::uint32_t>(after + want.data[j]);
      };
      for (std::uint64_t i = 0; i < chunk; ++i) local_pairs.data[i] = dd_pair{local(pr[i].p), local(pr[i].q)};
      if (after + fetch > max_slots) {
        stats->failed_step = step;
        return dd_status::too_many_rays;
      }
      if (!part->exchange(part->context, counts, counts + 3 * R, counts + R, counts + 3 * R, 8)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      for (std::uint64_t k2 = 0; k2 < R; ++k2) sends += counts[R + k2];
      std::memset(counts + 2 * R, 0, R * 8);
      counts[2 * R + me] = after + fetch + sends;
      if (!sum_all(counts + 2 * R, R)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      for (std::uint64_t k2 = 0; k2 < R; ++k2) most_locals = std::max(most_locals, counts[2 * R + k2]);
    }
    const std::uint64_t need = held_bytes(total, most_locals) + out_bytes;
    if (over(need)) {
      stats->failed_step = step;
      stats->needed_bytes = need;
      return dd_status::over_budget;
    }
    note(need);
    if (shares) {
      locals_held = std::max(locals_held, most_locals);
      if (!s.X.resize(w * (NL + chunk + fetch + 1)) || !s.P.resize(W * total) || !dropped.resize(total + 1) ||
          !owner.resize(total + 1) || !local_of.resize(total + 1) || !slot_of.resize(NL + chunk + 1) ||
          !asked_of_me.resize(sends + 1) || !reply.resize(w * sends + 1)) {
        stats->failed_step = step;
        stats->needed_bytes = need;
        return dd_status::out_of_memory;
      }
    } else if (!s.X.resize(w * total) || !s.P.resize(W * total) || !dropped.resize(total + 1)) {
      stats->failed_step = step;
      stats->needed_bytes = need;
      return dd_status::out_of_memory;
    }
    slots_held = std::max(slots_held, total);
    // The new rays of pairs pr[0 .. c) into the slots from N on; a status
    // other than ok when they do not fit.
    auto make_rays = [&](const dd_pair* pr, std::uint64_t c) {
      bool overflow = !store.combine(s.X.data, N, pr, c);
      // Entries that can widen do so, and the rays are made again.
      while (overflow && store.widen()) {
        const std::uint64_t w0 = w;
        w = store.words();
        ray_bytes = 8 * (w + W);
        const std::uint64_t wider = held_bytes(total, 0) + out_bytes;
        const bool fits = !over(wider);
        if (!fits || !s.X.resize(w * total)) {
          stats->failed_step = step;
          stats->needed_bytes = wider;
          return fits ? dd_status::out_of_memory : dd_status::over_budget;
        }
        note(wider);
        store.relayout(s.X.data, N, w0);
        overflow = !store.combine(s.X.data, N, pr, c);
      }
      if (overflow) stats->failed_step = step;
      return overflow ? dd_status::int64_overflow : dd_status::ok;
    };
    if (K > 0 && shares) {
      std::uint64_t* const counts = held.data + R;
      // The slots asked of this rank, then their entries, into the fetched
      // rays' places; then this rank's new rays, whose overflow any rank
      // reports for all.
      if (!part->exchange(part->context, asked.data, counts, asked_of_me.data, counts + R, 4)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      for (std::uint64_t g = 0; g < sends; ++g)
        std::memcpy(reply.data + g * w, s.X.data + local_of.data[asked_of_me.data[g]] * w, w * 8);
      if (!part->exchange(part->context, reply.data, counts + R, s.X.data + (NL + chunk) * w, counts, 8 * w)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      std::uint64_t overflow = store.combine(s.X.data, NL, local_pairs.data, chunk) ? 0 : 1;
      if (!sum_all(&overflow, 1)) {
        stats->failed_step = step;
        return dd_status::exchange_failed;
      }
      if (overflow) {
        stats->failed_step = step;
        return dd_status::int64_overflow;
      }
      for (std::uint64_t k2 = 0; k2 < R; ++k2) {
        const std::uint64_t a = K * k2 / R, b = K * (k2 + 1) / R;
        for (std::uint64_t i = a; i < b; ++i) owner.data[N + i] = static_cast<std::uint16_t>(k2);
        held.data[k2] += b - a;
      }
      for (std::uint64_t i = 0; i < chunk; ++i) {
        local_of.data[N + lo + i] = static_cast<std::uint32_t>(NL + i);
        slot_of.data[NL + i] = static_cast<std::uint32_t>(N + lo + i);
      }
      NL += chunk;
    }
    if (K > 0 && !streamed) {
      std::uint64_t* P = s.P.data;
      const dd_pair* pr = pairs.data;
      const dd_status made = shares ? dd_status::ok : make_rays(pr, K);
      if (made != dd_status::ok) return made;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) if (K >= pb.parallel_work / 256)
#endif
      for (std::int64_t i = 0; i < static_cast<std::int64_t>(K); ++i)
        for (std::uint64_t k2 = 0; k2 < W; ++k2) P[(N + i) * W + k2] = P[pr[i].p * W + k2] | P[pr[i].q * W + k2];
      std::memset(dropped.data + N, 0, K);
    }
    // Streamed: each block of new rays, a reversible one (no irreversible
    // bit in the union of its pair's patterns; the new row's is not set)
    // in the direction whose first non-zero entry is positive.
    for (std::uint64_t first = 0; streamed && first < K; first += out_block) {
      if (pb.stop && pb.stop->load()) {
        stats->failed_step = step;
        return dd_status::interrupted;
      }
      const std::uint64_t c = std::min(out_block, K - first);
      const dd_pair* pr = pairs.data + first;
      const dd_status made = make_rays(pr, c);
      if (made != dd_status::ok) return made;
      std::uint64_t kept = 0;
      for (std::uint64_t i = 0; i < c; ++i) {
        bool reversible_ray = true;
        for (std::uint64_t k2 = 0; k2 < W && reversible_ray; ++k2)
          reversible_ray = ((s.P.data[pr[i].p * W + k2] | s.P.data[pr[i].q * W + k2]) & s.irrev.data[k2]) == 0;
        if (reversible_ray && store.leading_sign(s.X.data + (N + i) * w) < 0) continue;
        if (kept != i) std::memmove(s.X.data + (N + kept) * w, s.X.data + (N + i) * w, w * 8);
        ++kept;
      }
      if (kept > 0 && !pb.rays_out(pb.rays_out_context, s.X.data + N * w, kept)) {
        stats->failed_step = step;
        return dd_status::output_failed;
      }
      handed_out += kept;
    }
    assign_bit(r);
    for (std::uint64_t j = 0; j < N; ++j) {
      if (dropped.data[j] || sign.data[j] == 0) continue;
      if (sign.data[j] < 0 && !rev) {
        dropped.data[j] = 1;
        ++n_dropped;
      } else {
        set_bit(s.P.data + j * W, r, sign.data[j]);
      }
    }
    s.N = streamed ? N : total;
    if (n_dropped > 0 && n_dropped >= s.N / dd_compact_share) compact();
    const std::uint64_t rays_after = s.N - n_dropped + (streamed ? K : 0);
    if (rays_after > stats->max_rays) stats->max_rays = rays_after;
    if (pb.progress) {
      dd_step_report rep{step, steps, r, live, n_pos, n_neg, candidates, K, rays_after, elapsed(), pairs.data};
      pb.progress(pb.progress_context, rep);
    }
  }

  // Reversible rays (no irreversible bit) come in both directions: keep the
  // one whose first non-zero entry is positive. Shared out, each rank keeps
  // its own rays, in the order of their slots, and the count over all ranks
  // is summed.
  const std::uint64_t rays = shares ? NL : s.N;
  std::uint64_t c = 0;
  for (std::uint64_t i = 0; i < rays; ++i) {
    const std::uint64_t j = shares ? slot_of.data[i] : i;
    if (dropped.data[j]) continue;
    bool reversible_ray = true;
    for (std::uint64_t k = 0; k < W && reversible_ray; ++k) reversible_ray = (s.P.data[j * W + k] & s.irrev.data[k]) == 0;
    if (reversible_ray && store.leading_sign(s.X.data + i * w) < 0) continue;
    if (c != i) std::memmove(s.X.data + c * w, s.X.data + i * w, w * 8);
    ++c;
  }
  std::uint64_t total = c;
  if (!sum_all(&total, 1)) return dd_status::exchange_failed;
  if (pb.rays_out != nullptr) {  // the rays kept from before the last step follow its new ones
    for (std::uint64_t first = 0; first < c; first += out_block) {
      const std::uint64_t b = std::min(out_block, c - first);
      if (!pb.rays_out(pb.rays_out_context, s.X.data + first * w, b)) {
        stats->failed_step = steps;
        return dd_status::output_failed;
      }
    }
    result->count = result->total = handed_out + c;
    stats->seconds = elapsed();
    return dd_status::ok;
  }
  s.X.size = w * c;
  s.X.shrink();
  result->X = s.X.data;
  result->X_mapped = s.X.mapped;
  result->count = c;
  result->total = total;
  s.X.data = nullptr;
  s.X.size = s.X.capacity = 0;
  s.X.mapped = 0;
  stats->seconds = elapsed();
  return dd_status::ok;
}

// The run with int64 entries: pb.A and pb.X0.
inline dd_status run_double_description(const dd_problem& pb, dd_result* result, dd_statistics* stats) {
  int64_entries store{&pb, {}, {}};
  return run_double_description_with(pb, store, result, stats);
}

// The progress line of a step (with its newline), into out[0 .. size).
inline void describe_step(const dd_step_report& r, char* out, std::size_t size) {
  std::snprintf(out, size,
                "step %llu/%llu (row %llu): %llu rays (%llu +, %llu -), %llu candidate pairs, "
                "%llu adjacent, %llu rays after, %.2f s\n",
                static_cast<unsigned long long>(r.step), static_cast<unsigned long long>(r.steps),
                static_cast<unsigned long long>(r.row + 1), static_cast<unsigned long long>(r.rays),
                static_cast<unsigned long long>(r.positive), static_cast<unsigned long long>(r.negative),
                static_cast<unsigned long long>(r.candidates), static_cast<unsigned long long>(r.adjacent),
                static_cast<unsigned long long>(r.rays_after), r.seconds);
}

// What stopped a run, in a sentence without a full stop (`budget`: the
// budget of the run, in bytes), into out[0 .. size).
inline void describe_failure(dd_status status, const dd_statistics& stats, std::uint64_t budget, char* out,
                             std::size_t size) {
  const unsigned long long step = stats.failed_step, steps = stats.steps, needed = stats.needed_bytes;
  switch (status) {
    case dd_status::ok:
      std::snprintf(out, size, "No failure");
      break;
    case dd_status::int64_overflow:
      std::snprintf(out, size, "A new ray has entries beyond the int64 range");
      break;
    case dd_status::over_budget:
      std::snprintf(out, size,
                    "Step %llu of %llu needs %.2f GB (%llu bytes) for its rays and pattern trees, "
                    "more than the memory budget of %.2f GB",
                    step, steps, needed / 1e9, needed, budget / 1e9);
      break;
    case dd_status::too_many_rays:
      std::snprintf(out, size, "Step %llu of %llu makes more than 2^32 - 1 rays", step, steps);
      break;
    case dd_status::exchange_failed:
      std::snprintf(out, size, "Step %llu of %llu could not exchange its pairs with the other processes",
                    step, steps);
      break;
    case dd_status::out_of_memory:
      std::snprintf(out, size, "Step %llu of %llu ran out of memory (it needs %.2f GB, %llu bytes)", step,
                    steps, needed / 1e9, needed);
      break;
    case dd_status::interrupted:
      std::snprintf(out, size, "Interrupted by Ctrl-C in step %llu of %llu; the run stopped and freed its memory",
                    step, steps);
      break;
    case dd_status::output_failed:
      std::snprintf(out, size, "The rays of step %llu of %llu could not be handed out", step, steps);
      break;
  }
}

}  // namespace bits

#endif
