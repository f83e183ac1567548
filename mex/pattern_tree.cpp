// [R_tree, i_node, i_leaf, order] = pattern_tree(R, leaf_size)
// [R_tree, i_node, i_leaf, order] = pattern_tree(R, leaf_size, in_order)
//
// The pattern tree over the columns of the packed pattern matrix R (uint32,
// one pattern per column) in the layout that pair_screen walks: R_tree holds
// the pattern of each node (the AND of every column listed at and below it),
// i_node the skip targets, i_leaf the 0-based first and last column that each
// node lists; order gives the columns of R (1-based) in the order the leaves
// list them. leaf_size (default 8) bounds the columns of a leaf. The tree is
// built as core/pattern_tree.h describes. Runs on the calling thread.
//
// The arguments are checked first; the shape of the tree is then built in
// host scratch, and the outputs are made to measure and filled.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mex/host_args.h"
#include "core/pattern_tree.h"

namespace {

// The leaf size: a positive whole number (Inf allowed), else the call ends.
std::uint64_t leaf_size_of(const mxArray* a) {
  const char* message = "leaf_size must be a positive whole number . . .";
  if (!host::is_real_numeric_nonempty(a) || host::elements(a) != 1) host::fail(message);
  const double v = host::first_value(a);
  if (!(v >= 1.0) || v != std::floor(v)) host::fail(message);
  return v >= 18446744073709551615.0 ? UINT64_MAX : static_cast<std::uint64_t>(v);
}

template <typename T>
T* scratch(std::uint64_t count) {
  return static_cast<T*>(mxCalloc(static_cast<std::size_t>(count > 0 ? count : 1), sizeof(T)));
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 1 || nrhs > 3) host::fail("One to three input arguments required . . .");
  if (nlhs > 4) host::fail("At most four output arguments allowed . . .");
  const mxArray* R = prhs[0];
  if (!host::is_real_full_of(R, mxUINT32_CLASS)) host::fail("R must be a real uint32 matrix . . .");
  const std::uint64_t leaf_size = nrhs >= 2 ? leaf_size_of(prhs[1]) : 8;
  const bool in_order =
      nrhs == 3 && host::flag(prhs[2], "in_order must be a non-empty real numeric or logical array . . .");
  const std::uint64_t M = host::rows(R), N = host::columns(R);
  // Skip targets are uint32 node numbers.
  if (bits::pattern_tree_max_nodes(N) > UINT32_MAX)
    host::fail("R has too many columns for a pattern tree . . .");

  const std::uint64_t capacity = bits::pattern_tree_max_nodes(N);
  bits::pattern_tree_shape shape{scratch<std::uint64_t>(N), scratch<std::uint64_t>(capacity),
                                 scratch<std::uint64_t>(capacity), scratch<std::uint32_t>(capacity),
                                 scratch<std::uint8_t>(capacity), 0, in_order};
  const auto* columns = host::data<bits::word_view_t<std::uint32_t>>(R);
  bits::build_pattern_tree(columns, M, N, leaf_size, scratch<std::uint32_t>(32 * M),
                           scratch<std::uint64_t>(N), &shape);

  const mwSize nodes = static_cast<mwSize>(shape.nodes);
  mxArray* R_tree = mxCreateNumericMatrix(static_cast<mwSize>(M), nodes, mxUINT32_CLASS, mxREAL);
  plhs[0] = R_tree;
  mxArray* i_node = mxCreateNumericMatrix(1, nodes, mxUINT32_CLASS, mxREAL);
  mxArray* i_leaf = mxCreateNumericMatrix(2, nodes, mxUINT64_CLASS, mxREAL);
  bits::write_pattern_tree(columns, M, shape, static_cast<std::uint32_t*>(mxGetData(R_tree)),
                           static_cast<std::uint32_t*>(mxGetData(i_node)),
                           static_cast<std::uint64_t*>(mxGetData(i_leaf)));
  // Outputs not asked for are not stored; the host reclaims them.
  if (nlhs > 1) plhs[1] = i_node;
  if (nlhs > 2) plhs[2] = i_leaf;
  if (nlhs > 3) {
    mxArray* order = mxCreateNumericMatrix(1, static_cast<mwSize>(N), mxDOUBLE_CLASS, mxREAL);
    plhs[3] = order;
    double* v = mxGetPr(order);
    for (std::uint64_t c = 0; c < N; ++c) v[c] = static_cast<double>(shape.order[c] + 1);
  }
}
