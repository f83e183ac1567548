// adjacent = pair_screen(R, j_comb, R_tree, i_node, i_leaf, n_threads)
//
// For every candidate pair (column i of j_comb: 0-based column numbers a and b
// of R), adjacent(i) is 1 when no third column of R, listed at a node of the
// pattern tree (R_tree, i_node, i_leaf) that is open for the pair, lies inside
// the union of columns a and b; 0 otherwise. The pairs are shared out among
// OpenMP threads.
//
// The shape checks run first, in a fixed order, then the thread request and
// the class of j_comb, then the classes of the pattern matrices and the
// values that keep the tree walk inside the arrays and make it end. Only then
// is the output created and filled by one parallel region that calls no host
// function; a thread that could not get its scratch is reported after it.
#include <cstddef>
#include <cstdint>

#include "mex/host_args.h"
#include "core/tree_adjacency.h"
#include "core/tree_adjacency_fast.h"

namespace {

struct tree_args {
  const mxArray* R;
  const mxArray* j_comb;
  const mxArray* R_tree;
  const std::uint32_t* i_node;
  const std::uint64_t* i_leaf;
  std::uint64_t n_nodes;
  std::uint64_t depth;
};

template <typename word_t, typename index_t>
int run_tree_adjacency(const tree_args& in, std::uint8_t* adjacent, std::int64_t n_comb) {
  const std::uint64_t M = host::rows(in.R);
  const auto ref_view = bits::make_view<word_t>(mxGetData(in.R), M, host::columns(in.R));
  const auto tree_view = bits::make_view<word_t>(mxGetData(in.R_tree), M, in.n_nodes);
  const index_t* pairs = host::data<index_t>(in.j_comb);
  const std::uint64_t wpc = ref_view.words_per_column;
  int scratch_failed = 0;
  // The vector column scan works on a transposed copy of R; its block comes
  // from the host (reclaimed when the call returns) before the region starts.
  const bits::simd_isa isa = bits::best_simd_isa();
  const std::uint64_t copy_elements = bits::pair_scratch_elements(
      bits::elements_per_column<word_t>(wpc), ref_view.columns, n_comb, isa);
  void* copy = copy_elements > 0
                   ? mxCalloc(static_cast<std::size_t>(copy_elements), sizeof(std::uint32_t))
                   : nullptr;
#ifdef _OPENMP
#pragma omp parallel
#endif
  bits::tree_adjacency_fast_kernel<word_t, index_t>(pairs, tree_view, ref_view, wpc, adjacent,
                                                    in.n_nodes, in.i_leaf, in.i_node, n_comb,
                                                    in.depth, &scratch_failed, copy, isa);
  return scratch_failed;
}

template <typename index_t>
int run_for_width(const tree_args& in, std::uint8_t* adjacent, std::int64_t n_comb) {
  if (bits::uses_wide_words(host::rows(in.R)))
    return run_tree_adjacency<std::uint64_t, index_t>(in, adjacent, n_comb);
  return run_tree_adjacency<std::uint32_t, index_t>(in, adjacent, n_comb);
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  // First of all, so that even a call that ends in an argument error leaves
  // the OpenMP runtime safe to unload with the plug-in.
  host::pin_openmp_runtime();
  if (nrhs != 6) host::fail("Six input arguments required . . .");
  if (nlhs != 1) host::fail("One output argument required . . .");
  const mxArray* R = prhs[0];
  const mxArray* j_comb = prhs[1];
  const mxArray* R_tree = prhs[2];
  const mxArray* i_node = prhs[3];
  const mxArray* i_leaf = prhs[4];
  const mxArray* n_threads = prhs[5];

  if (host::rows(j_comb) != 2) host::fail("Candidate combinations must be a 2 by n matrix . . .");
  if (host::columns(i_node) != host::columns(R_tree) || host::columns(i_leaf) != host::columns(R_tree))
    host::fail("R_tree, i_node and i_leaf must have the same number of columns . . .");
  if (host::rows(R_tree) != host::rows(R))
    host::fail("R and R_tree must have the same number of rows . . .");
  if (host::rows(i_node) != 1) host::fail("i_node must have one row . . .");
  if (host::rows(i_leaf) != 2) host::fail("i_leaf must have two rows . . .");

  const std::uint64_t n_comb = host::columns(j_comb);
  host::set_thread_budget(host::thread_request(n_threads));
  const std::uint64_t n_nodes = host::columns(R_tree);
  const bool pairs_are_uint32 =
      host::column_index_class(j_comb, "j_comb should be of type 'uint32' or 'double' . . .");
  // From here on the pattern blocks are read as uint32 words; any other
  // class would be read past its end or misread.
  if (!host::is_real_full_of(R, mxUINT32_CLASS) || !host::is_real_full_of(R_tree, mxUINT32_CLASS))
    host::fail("R and R_tree must be real uint32 matrices . . .");

  const std::uint64_t ref_columns = host::columns(R);
  host::check_column_values(j_comb, pairs_are_uint32, 2 * n_comb, ref_columns,
                            "j_comb must hold 0-based column numbers of R . . .");

  // The tree: skip targets that move forward and nest make the walk end
  // inside the arrays; the depth found here sizes each thread's node stack.
  if (!host::is_real_full_of(i_node, mxUINT32_CLASS))
    host::fail("i_node must be a real uint32 row . . .");
  const std::uint32_t* skip = host::data<std::uint32_t>(i_node);
  std::uint32_t* open_ends =
      static_cast<std::uint32_t*>(mxCalloc(n_nodes > 0 ? n_nodes : 1, sizeof(std::uint32_t)));
  const bits::tree_layout layout = bits::check_tree_layout(skip, n_nodes, open_ends);
  if (layout.fault == bits::tree_fault::skip_target)
    host::fail("i_node must hold skip targets with l < i_node(l) <= n_nodes (0-based l) . . .");
  if (layout.fault == bits::tree_fault::nesting)
    host::fail("Subtrees must nest: no skip target in i_node may pass its parent's . . .");

  if (!host::is_real_full_of(i_leaf, mxUINT64_CLASS))
    host::fail("i_leaf must be a real uint64 matrix . . .");
  const std::uint64_t* ranges = host::data<std::uint64_t>(i_leaf);
  if (!bits::leaf_ranges_inside(ranges, n_nodes, ref_columns))
    host::fail("i_leaf ranges with first <= last must name 0-based columns of R . . .");

  mxArray* out = mxCreateNumericMatrix(static_cast<mwSize>(n_comb), 1, mxUINT8_CLASS, mxREAL);
  plhs[0] = out;
  std::uint8_t* adjacent = static_cast<std::uint8_t*>(mxGetData(out));
  const tree_args in{R, j_comb, R_tree, skip, ranges, n_nodes, layout.depth};
  const int scratch_failed =
      pairs_are_uint32 ? run_for_width<std::uint32_t>(in, adjacent, static_cast<std::int64_t>(n_comb))
                       : run_for_width<double>(in, adjacent, static_cast<std::int64_t>(n_comb));
  if (scratch_failed) host::fail("Out of memory for the tree walk . . .");
}
