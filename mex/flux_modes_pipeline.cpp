// [E, info] = flux_modes_pipeline(S, reversible, n_threads, settings)
// [E, info] = flux_modes_pipeline(S, reversible, n_threads, settings, 'dense')
// [Ec, info, expansion] = flux_modes_pipeline(..., 'compressed')
// [count, info] = flux_modes_pipeline(..., 'count')
//
// The elementary flux modes of a network in one call: compression, null
// space basis, double description, expansion, orientation and lexicographic
// order, all in core/flux_modes_pipeline.h. 'dense': E (int64, reactions x
// modes), written by the run straight into the output array. 'compressed':
// the modes on the compressed reactions (core/compressed_modes.h) and the
// expansion as int64 triplets [reaction, compressed reaction, coefficient]
// (1-based; one row per reaction that is not blocked). 'count': the number
// of modes only, without expanding them. Settings and info:
// mex/flux_modes_host.h. Every argument is checked before anything is
// allocated; the run goes to a thread of its own, which Ctrl-C stops.
#include "mex/cxx_runtime.h"  // first: see there

#include <cstdint>
#include <cstring>

#include "mex/flux_modes_host.h"
#include "core/compressed_modes.h"

namespace {

enum class form { dense, compressed, count };

form read_form(const mxArray* a) {
  const char* message = "the output form must be 'dense', 'compressed' or 'count' . . .";
  char text[16] = {0};
  if (!mxIsChar(a) || host::rows(a) != 1 || host::elements(a) >= sizeof text ||
      mxGetString(a, text, sizeof text) != 0)
    host::fail(message);
  if (std::strcmp(text, "dense") == 0) return form::dense;
  if (std::strcmp(text, "compressed") == 0) return form::compressed;
  if (std::strcmp(text, "count") == 0) return form::count;
  host::fail(message);
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::pin_openmp_runtime();
  if (nrhs != 4 && nrhs != 5) host::fail("Four or five input arguments required . . .");
  const form f = nrhs == 5 ? read_form(prhs[4]) : form::dense;
  if (nlhs > (f == form::compressed ? 3 : 2))
    host::fail(f == form::compressed ? "At most three output arguments allowed . . ."
                                     : "At most two output arguments allowed . . .");
  flux_host::request r;
  flux_host::read_request(prhs, &r);
  // The expansion's triplets, at most one per reaction, made here before the
  // run so that nothing is allocated by the host while the run's objects live.
  std::int64_t* triplets =
      f == form::compressed ? static_cast<std::int64_t*>(mxCalloc(r.n * 3, sizeof(std::int64_t))) : nullptr;
  std::uint64_t entries = 0;

  char message[flux_host::message_size];
  bits::flux_modes_info info;
  mxArray* modes = nullptr;
  bool ok;
  {
    host::interruptible_run run;
    flux_host::host_modes array(&run);
    bits::compressed_mode_sink compressed(&array);
    bits::count_sink counter;
    bits::mode_sink* sink = f == form::count ? static_cast<bits::mode_sink*>(&counter)
                            : f == form::compressed ? static_cast<bits::mode_sink*>(&compressed)
                                                    : &array;
    ok = flux_host::run(&run, &r, sink, f == form::count ? nullptr : &array, &info, message);
    modes = array.array;
    if (ok && f == form::compressed) {
      for (std::uint64_t j = 0; j < r.n; ++j) {
        const std::uint64_t g = compressed.group()[j];
        if (g == bits::compressed_network::no_group) continue;
        triplets[entries * 3] = static_cast<std::int64_t>(j + 1);
        triplets[entries * 3 + 1] = static_cast<std::int64_t>(g + 1);
        triplets[entries * 3 + 2] = compressed.coefficient()[j];
        ++entries;
      }
    }
  }
  if (!ok) host::fail(message);  // the host frees the modes' array, if made, with the call's others
  if (f == form::count) {
    modes = mxCreateNumericMatrix(1, 1, mxDOUBLE_CLASS, mxREAL);
    *mxGetPr(modes) = static_cast<double>(info.modes);
  }
  plhs[0] = modes;
  if (nlhs > 1) plhs[1] = flux_host::info_row(info);
  if (nlhs > 2) {
    mxArray* x = mxCreateNumericMatrix(static_cast<mwSize>(entries), 3, mxINT64_CLASS, mxREAL);
    std::int64_t* t = static_cast<std::int64_t*>(mxGetData(x));
    for (std::uint64_t e = 0; e < entries; ++e)
      for (int c = 0; c < 3; ++c) t[e + c * entries] = triplets[e * 3 + c];
    plhs[2] = x;
  }
}
