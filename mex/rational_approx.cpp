// [numerators, denominators] = rational_approx(values, tol)
//
// For every element of the real double array `values`, the numerator and the
// denominator that approximate_ratio gives for it and the first element of
// `tol`, at the same position. Both outputs are copies of `values` (same class
// and dimensions) overwritten element by element; an empty `values` gives two
// empty copies. Runs on the calling thread.
#include <cstdint>

#include "mex/host_args.h"
#include "core/approximate_ratio.h"

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 2) host::fail("Two input arguments required . . .");
  if (nlhs != 2) host::fail("Two output arguments required . . .");
  const mxArray* values = prhs[0];
  const mxArray* tol_array = prhs[1];

  // The elements are read and written as doubles in place: any other class,
  // complex or sparse storage would be misread or read past its end.
  if (!host::is_real_full_of(values, mxDOUBLE_CLASS))
    host::fail("values must be a real, full double array . . .");
  if (!host::is_real_numeric_nonempty(tol_array))
    host::fail("tol must be a non-empty real numeric array . . .");

  // Duplicate first, and count the elements of a duplicate: Octave 7 keeps
  // the sizes of an input once it is asked for its column count, and a
  // duplicate made after that takes a copy of them that is never freed
  // (about 80 bytes a call).
  mxArray* denominators = mxDuplicateArray(values);
  plhs[1] = denominators;
  mxArray* numerators = mxDuplicateArray(values);
  plhs[0] = numerators;
  const std::uint64_t count = host::elements(numerators);
  const double tol = host::first_value(tol_array);

  double* p = mxGetPr(numerators);
  double* q = mxGetPr(denominators);
  for (std::uint64_t i = 0; i < count; ++i) {
    const bits::ratio r = bits::approximate_ratio(p[i], tol);
    p[i] = r.p;
    q[i] = r.q;
  }
}
