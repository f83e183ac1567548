// contained = bits_within(R_subset, R, i_perm, n_threads)
//
// For every column j of R_subset and every element i of i_perm, contained(j, i)
// is 1 when pattern j of R_subset lies inside column i_perm(i) of R (0-based),
// and 0 otherwise. The columns of i_perm are shared out among OpenMP threads.
//
// All arguments are checked before anything is created; the output is then
// made through the host and filled by one parallel region that calls no host
// function.
#include <cstddef>
#include <cstdint>

#include "mex/host_args.h"
#include "core/subset_table.h"
#include "core/subset_table_fast.h"

namespace {

template <typename word_t, typename index_t>
void run_subset_table(const mxArray* R_subset, const mxArray* R, const mxArray* i_perm,
                      std::uint8_t* contained, std::int64_t n_perm) {
  const std::uint64_t M = host::rows(R_subset);
  const auto subset_view = bits::make_view<word_t>(mxGetData(R_subset), M, host::columns(R_subset));
  const auto ref_view = bits::make_view<word_t>(mxGetData(R), M, host::columns(R));
  const index_t* index = host::data<index_t>(i_perm);
  const std::uint64_t n_subset = subset_view.columns;
  const std::uint64_t wpc = subset_view.words_per_column;
  // The vector kernel works on a transposed copy of R_subset; its block comes
  // from the host (reclaimed when the call returns) before the region starts.
  const bits::simd_isa isa = bits::best_simd_isa();
  const std::uint64_t scratch_elements = bits::subset_scratch_elements(
      bits::elements_per_column<word_t>(wpc), n_subset, n_perm, isa);
  void* scratch = scratch_elements > 0
                      ? mxCalloc(static_cast<std::size_t>(scratch_elements), sizeof(std::uint32_t))
                      : nullptr;
#ifdef _OPENMP
#pragma omp parallel
#endif
  bits::subset_table_fast_kernel<word_t, index_t>(index, subset_view, ref_view, wpc, contained,
                                                  n_perm, n_subset, scratch, isa);
}

template <typename index_t>
void run_for_width(const mxArray* R_subset, const mxArray* R, const mxArray* i_perm,
                   std::uint8_t* contained, std::int64_t n_perm) {
  if (bits::uses_wide_words(host::rows(R_subset)))
    run_subset_table<std::uint64_t, index_t>(R_subset, R, i_perm, contained, n_perm);
  else
    run_subset_table<std::uint32_t, index_t>(R_subset, R, i_perm, contained, n_perm);
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  // First of all, so that even a call that ends in an argument error leaves
  // the OpenMP runtime safe to unload with the plug-in.
  host::pin_openmp_runtime();
  if (nrhs != 4) host::fail("Four input arguments required . . .");
  if (nlhs != 1) host::fail("One output argument required . . .");
  const mxArray* R_subset = prhs[0];
  const mxArray* R = prhs[1];
  const mxArray* i_perm = prhs[2];
  const mxArray* n_threads = prhs[3];

  if (host::rows(R_subset) != host::rows(R))
    host::fail("Input arguments R_subset and R must have the same number of rows . . .");
  // The pattern blocks are read as uint32 elements; any other class would be
  // read past its end or misread.
  if (!host::is_real_full_of(R_subset, mxUINT32_CLASS) || !host::is_real_full_of(R, mxUINT32_CLASS))
    host::fail("Input arguments R_subset and R must be real uint32 matrices . . .");

  host::set_thread_budget(host::thread_request(n_threads));

  const std::uint64_t n_perm = host::elements(i_perm);
  const bool index_is_uint32 = host::check_column_indices(
      i_perm, n_perm, host::columns(R), "i_perm should be of type 'uint32' or 'double' . . .",
      "i_perm must hold 0-based column numbers of R . . .");

  mxArray* out = mxCreateNumericMatrix(mxGetN(R_subset), static_cast<mwSize>(n_perm),
                                       mxUINT8_CLASS, mxREAL);
  plhs[0] = out;
  std::uint8_t* contained = static_cast<std::uint8_t*>(mxGetData(out));
  if (index_is_uint32)
    run_for_width<std::uint32_t>(R_subset, R, i_perm, contained, static_cast<std::int64_t>(n_perm));
  else
    run_for_width<double>(R_subset, R, i_perm, contained, static_cast<std::int64_t>(n_perm));
}
