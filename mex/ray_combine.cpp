// Y = ray_combine(a, X, j_comb)
//
// For every pair (p, q) of 0-based column numbers of the int64 ray matrix X
// (column i of j_comb), column i of Y is the ray (a x_p) x_q - (a x_q) x_p
// divided by the greatest common divisor of its entries: for a x_p > 0 >
// a x_q, the positive combination of the two rays that lies on the
// hyperplane a x = 0, as the double description method makes it. All
// arithmetic is exact; a new ray whose entries do not fit int64 ends the
// call with an error. Runs on the calling thread.
#include <cstdint>

#include "mex/host_args.h"
#include "core/ray_arithmetic.h"

namespace {

template <typename index_t>
int run_combine(const mxArray* a, const mxArray* X, const mxArray* j_comb, std::int64_t* Y) {
  int too_large = 0;
  bits::ray_combine_kernel<index_t>(host::data<std::int64_t>(a), host::data<std::int64_t>(X),
                                    host::rows(X), host::data<index_t>(j_comb),
                                    static_cast<std::int64_t>(host::columns(j_comb)), Y, &too_large);
  return too_large;
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 3) host::fail("Three input arguments required . . .");
  if (nlhs != 1) host::fail("One output argument required . . .");
  const mxArray* a = prhs[0];
  const mxArray* X = prhs[1];
  const mxArray* j_comb = prhs[2];
  if (!host::is_real_full_of(a, mxINT64_CLASS) || !host::is_real_full_of(X, mxINT64_CLASS))
    host::fail("a and X must be real int64 arrays . . .");
  const std::uint64_t d = host::rows(X);
  if (host::elements(a) != d) host::fail("a must have one entry per row of X . . .");
  if (d >= bits::max_ray_length) host::fail("Rays must have fewer than 2^20 entries . . .");
  if (host::rows(j_comb) != 2) host::fail("Candidate combinations must be a 2 by n matrix . . .");
  const std::uint64_t n_comb = host::columns(j_comb);
  const bool pairs_are_uint32 = host::check_column_indices(
      j_comb, 2 * n_comb, host::columns(X), "j_comb should be of type 'uint32' or 'double' . . .",
      "j_comb must hold 0-based column numbers of X . . .");

  mxArray* out = mxCreateNumericMatrix(static_cast<mwSize>(d), static_cast<mwSize>(n_comb),
                                       mxINT64_CLASS, mxREAL);
  plhs[0] = out;
  if (d == 0 || n_comb == 0) return;
  std::int64_t* Y = static_cast<std::int64_t*>(mxGetData(out));
  const int too_large = pairs_are_uint32 ? run_combine<std::uint32_t>(a, X, j_comb, Y)
                                         : run_combine<double>(a, X, j_comb, Y);
  if (too_large) host::fail("A new ray has entries beyond the int64 range . . .");
}
