// signs = ray_signs(A, X)
//
// The signs of the product A X of two int64 matrices, computed exactly: an
// int8 matrix of -1, 0 and 1 with one row per row of A and one column per
// column of X. The double description method uses it for the side of a
// constraint row on which each ray lies. Runs on the calling thread.
#include <cstdint>

#include "mex/host_args.h"
#include "core/ray_arithmetic.h"

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 2) host::fail("Two input arguments required . . .");
  if (nlhs != 1) host::fail("One output argument required . . .");
  const mxArray* A = prhs[0];
  const mxArray* X = prhs[1];
  if (!host::is_real_full_of(A, mxINT64_CLASS) || !host::is_real_full_of(X, mxINT64_CLASS))
    host::fail("A and X must be real int64 matrices . . .");
  const std::uint64_t k = host::rows(A), d = host::columns(A), n = host::columns(X);
  if (host::rows(X) != d) host::fail("A must have as many columns as X has rows . . .");
  if (d >= bits::max_ray_length) host::fail("Rays must have fewer than 2^20 entries . . .");

  mxArray* out = mxCreateNumericMatrix(static_cast<mwSize>(k), static_cast<mwSize>(n),
                                       mxINT8_CLASS, mxREAL);
  plhs[0] = out;
  // Rays without entries (d = 0): every product is the empty sum, 0, and A
  // may have no data block at all.
  if (k == 0 || n == 0 || d == 0) return;
  bits::ray_signs_kernel(host::data<std::int64_t>(A), k, host::data<std::int64_t>(X), d,
                         static_cast<std::int64_t>(n), static_cast<std::int8_t*>(mxGetData(out)));
}
