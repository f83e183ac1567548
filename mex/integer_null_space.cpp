// [N, pivots] = integer_null_space(M)
// [N, pivots] = integer_null_space(M, basis)
//
// An integer basis N of the null space {x : M x = 0} of the int64 matrix M,
// computed exactly: one int64 column per non-pivot column f of M, with entry
// f positive, zeros at the other non-pivot columns, and coprime entries.
// pivots (1-based, as a double row) are the columns of M that are linearly
// independent of the columns before them, from left to right; their number
// is the rank of M. With basis false, only the pivots are computed and N is
// empty (n x 0): for callers who want the rank or independent columns of a
// matrix whose null space has entries too large for int64. Runs on the
// calling thread.
#include <cstddef>
#include <cstdint>

#include "mex/host_args.h"
#include "core/integer_null_space.h"

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 1 && nrhs != 2) host::fail("One or two input arguments required . . .");
  if (nlhs > 2) host::fail("At most two output arguments allowed . . .");
  const mxArray* M = prhs[0];
  if (!host::is_real_full_of(M, mxINT64_CLASS)) host::fail("M must be a real int64 matrix . . .");
  const bool want_basis =
      nrhs == 1 || host::flag(prhs[1], "basis must be a non-empty real numeric or logical array . . .");
  const std::uint64_t p = host::rows(M), n = host::columns(M);
  // The elimination works on a copy of M in 256-bit integers.
  const std::uint64_t max_cells = (std::uint64_t(1) << 40) / sizeof(bits::wide_int);
  if ((p != 0 && n > max_cells / p) || n > max_cells / (n ? n : 1))
    host::fail("M is too large for the exact elimination . . .");

  bits::wide_int* work = static_cast<bits::wide_int*>(
      mxCalloc(static_cast<std::size_t>(p * n > 0 ? p * n : 1), sizeof(bits::wide_int)));
  std::uint64_t* pivots = static_cast<std::uint64_t*>(
      mxCalloc(static_cast<std::size_t>(n > 0 ? n : 1), sizeof(std::uint64_t)));
  std::int64_t* basis = want_basis ? static_cast<std::int64_t*>(mxCalloc(
                                         static_cast<std::size_t>(n * n > 0 ? n * n : 1), sizeof(std::int64_t)))
                                   : nullptr;
  const bits::null_space_result r =
      bits::integer_null_space(host::data<std::int64_t>(M), p, n, work, pivots, basis);
  if (r.status == bits::null_space_status::overflow)
    host::fail("The exact elimination needs integers beyond 256 bits . . .");
  if (r.status == bits::null_space_status::too_large)
    host::fail("A null space basis entry is beyond the int64 range . . .");

  const std::uint64_t free_columns = want_basis ? n - r.rank : 0;
  mxArray* N = mxCreateNumericMatrix(static_cast<mwSize>(n), static_cast<mwSize>(free_columns),
                                     mxINT64_CLASS, mxREAL);
  plhs[0] = N;
  std::int64_t* out = static_cast<std::int64_t*>(mxGetData(N));
  for (std::uint64_t k = 0; k < n * free_columns; ++k) out[k] = basis[k];
  if (nlhs > 1) {
    mxArray* piv = mxCreateNumericMatrix(1, static_cast<mwSize>(r.rank), mxDOUBLE_CLASS, mxREAL);
    plhs[1] = piv;
    double* v = mxGetPr(piv);
    for (std::uint64_t k = 0; k < r.rank; ++k) v[k] = static_cast<double>(pivots[k] + 1);
  }
}
