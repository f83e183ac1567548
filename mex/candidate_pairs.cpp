// j_comb = candidate_pairs(R, i_pos, i_neg, max_union, n_threads)
//
// The pairs (p, q), p from i_pos and q from i_neg (0-based column numbers of
// the packed pattern matrix R), whose union of patterns holds at most
// max_union bits: the count test of the double description method. j_comb is
// a 2 x n uint32 matrix, one pair per column, ordered by position in i_pos
// and then in i_neg, ready for pair_screen. The elements of i_pos are shared
// out among OpenMP threads.
//
// Every argument is checked before anything is created. The pairs are then
// counted in one parallel region, the output is made to measure, and a
// second region writes them; neither calls the host.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mex/host_args.h"
#include "core/candidate_pairs.h"

namespace {

struct scan_args {
  const mxArray* R;
  const mxArray* i_pos;
  const mxArray* i_neg;
  std::uint64_t max_union;
};

template <typename word_t, typename pos_t, typename neg_t>
void run_scan(const scan_args& in, std::uint64_t* counts, const std::uint64_t* offsets,
              std::uint32_t* j_comb, void* scratch, bits::simd_isa isa) {
  const auto view = bits::make_view<word_t>(mxGetData(in.R), host::rows(in.R), host::columns(in.R));
  const pos_t* pos = host::data<pos_t>(in.i_pos);
  const neg_t* neg = host::data<neg_t>(in.i_neg);
  const std::int64_t n_pos = static_cast<std::int64_t>(host::elements(in.i_pos));
  const std::uint64_t n_neg = host::elements(in.i_neg);
#ifdef _OPENMP
#pragma omp parallel
#endif
  bits::scan_candidate_pairs<word_t, pos_t, neg_t>(pos, n_pos, neg, n_neg, view, view.words_per_column,
                                              in.max_union, counts, offsets, j_comb, scratch, isa);
}

template <typename pos_t, typename neg_t>
void run_for_width(const scan_args& in, std::uint64_t* counts, const std::uint64_t* offsets,
                   std::uint32_t* j_comb, void* scratch, bits::simd_isa isa) {
  if (bits::uses_wide_words(host::rows(in.R)))
    run_scan<std::uint64_t, pos_t, neg_t>(in, counts, offsets, j_comb, scratch, isa);
  else
    run_scan<std::uint32_t, pos_t, neg_t>(in, counts, offsets, j_comb, scratch, isa);
}

// The scan for the classes of i_pos and i_neg (uint32 or double each).
void run(const scan_args& in, bool pos_uint32, bool neg_uint32, std::uint64_t* counts,
         const std::uint64_t* offsets, std::uint32_t* j_comb, void* scratch, bits::simd_isa isa) {
  if (pos_uint32 && neg_uint32)
    run_for_width<std::uint32_t, std::uint32_t>(in, counts, offsets, j_comb, scratch, isa);
  else if (pos_uint32)
    run_for_width<std::uint32_t, double>(in, counts, offsets, j_comb, scratch, isa);
  else if (neg_uint32)
    run_for_width<double, std::uint32_t>(in, counts, offsets, j_comb, scratch, isa);
  else
    run_for_width<double, double>(in, counts, offsets, j_comb, scratch, isa);
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::pin_openmp_runtime();
  if (nrhs != 5) host::fail("Five input arguments required . . .");
  if (nlhs != 1) host::fail("One output argument required . . .");
  const mxArray* R = prhs[0];
  const mxArray* i_pos = prhs[1];
  const mxArray* i_neg = prhs[2];
  const mxArray* max_union = prhs[3];
  const mxArray* n_threads = prhs[4];

  if (!host::is_real_full_of(R, mxUINT32_CLASS)) host::fail("R must be a real uint32 matrix . . .");
  const std::uint64_t columns = host::columns(R);
  if (columns > UINT32_MAX + std::uint64_t(1))
    host::fail("R has more columns than uint32 column numbers reach . . .");
  if (!host::is_real_numeric_nonempty(max_union))
    host::fail("max_union must be a non-empty real numeric array . . .");
  host::set_thread_budget(host::thread_request(n_threads));
  const std::uint64_t n_pos = host::elements(i_pos), n_neg = host::elements(i_neg);
  const bool pos_uint32 = host::check_column_indices(
      i_pos, n_pos, columns, "i_pos should be of type 'uint32' or 'double' . . .",
      "i_pos must hold 0-based column numbers of R . . .");
  const bool neg_uint32 = host::check_column_indices(
      i_neg, n_neg, columns, "i_neg should be of type 'uint32' or 'double' . . .",
      "i_neg must hold 0-based column numbers of R . . .");

  // Pairs whose union has at most floor(max_union) bits; none for a negative
  // or NaN bound.
  const double bound = host::first_value(max_union);
  mxArray* out;
  if (!(bound >= 0.0) || n_pos == 0 || n_neg == 0) {
    out = mxCreateNumericMatrix(2, 0, mxUINT32_CLASS, mxREAL);
    plhs[0] = out;
    return;
  }
  const scan_args in{R, i_pos, i_neg,
                     bound >= 18446744073709551615.0 ? UINT64_MAX : static_cast<std::uint64_t>(bound)};

  const bits::simd_isa isa = bits::best_simd_isa();
  const std::uint64_t scratch_elements =
      bits::candidate_scratch_elements(host::rows(R), n_pos, n_neg, isa);
  void* scratch = scratch_elements > 0
                      ? mxCalloc(static_cast<std::size_t>(scratch_elements), sizeof(std::uint32_t))
                      : nullptr;
  std::uint64_t* counts =
      static_cast<std::uint64_t*>(mxCalloc(static_cast<std::size_t>(n_pos), sizeof(std::uint64_t)));
  run(in, pos_uint32, neg_uint32, counts, nullptr, nullptr, scratch, isa);

  // Column offsets of each element's pairs, in place of the counts' sums.
  std::uint64_t* offsets =
      static_cast<std::uint64_t*>(mxCalloc(static_cast<std::size_t>(n_pos), sizeof(std::uint64_t)));
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < n_pos; ++i) {
    offsets[i] = total;
    total += counts[i];
  }
  out = mxCreateNumericMatrix(2, static_cast<mwSize>(total), mxUINT32_CLASS, mxREAL);
  plhs[0] = out;
  if (total == 0) return;
  std::uint32_t* j_comb = static_cast<std::uint32_t*>(mxGetData(out));
  run(in, pos_uint32, neg_uint32, counts, offsets, j_comb, scratch, isa);
}
