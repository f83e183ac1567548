// [count, info] = mode_file('write', S, reversible, n_threads, settings, file, reactions, metabolites)
// [count, info] = mode_file('write', ..., metabolites, options, source)
// [E, reactions, total] = mode_file('read', file, first, count)
//
// The modes file of bits_modes in HDF5 (core/hdf5_mode_file.h), from the
// host. 'write' runs the flux-mode pipeline as flux_modes_pipeline does
// (same first arguments, mex/flux_modes_host.h) and writes the modes to
// `file` as they come, never holding them all: to file.partial, renamed to
// `file` once every mode is in it. reactions and metabolites are cells of
// the ids (one per column and per row of S), options and source text for
// the file's attributes. 'read' reads modes first .. first + count - 1
// (1-based; count Inf: to the last) with an HDF5 hyperslab, only those rows
// (core/hdf5_mode_reader.h), straight into the output: E is int64,
// reactions x count, reactions the ids (a column cell), total the number of
// modes in the file. A file named *.partial, or whose attribute complete is
// not 1, is refused.
#include "mex/cxx_runtime.h"  // first: see there

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mex/flux_modes_host.h"
#include "core/hdf5_mode_file.h"
#include "core/hdf5_mode_reader.h"

namespace {

constexpr const char* partial = ".partial";

bool is_partial_name(const char* name) {
  const std::size_t n = std::strlen(name), p = std::strlen(partial);
  return n >= p && std::strcmp(name + n - p, partial) == 0;
}

// The `count` ids of the cell `cell` (count elements of non-empty text).
char** ids(const mxArray* cell, std::uint64_t count, const char* message) {
  if (mxGetClassID(cell) != mxCELL_CLASS || host::elements(cell) != count) host::fail(message);
  char** out = static_cast<char**>(mxCalloc(count > 0 ? count : 1, sizeof(char*)));
  for (std::uint64_t k = 0; k < count; ++k) {
    const mxArray* e = mxGetCell(cell, static_cast<mwIndex>(k));
    if (e == nullptr) host::fail(message);
    out[k] = host::text(e, false, message);
  }
  return out;
}

void write(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 8 && nrhs != 10) host::fail("'write' takes seven or nine arguments after it . . .");
  if (nlhs > 2) host::fail("At most two output arguments allowed . . .");
  flux_host::request r;
  flux_host::read_request(prhs + 1, &r);
  const char* file = host::text(prhs[5], false, "file must be a file name (a char row) . . .");
  if (is_partial_name(file)) host::fail("file must not end in .partial, the name of a file being written . . .");
  char** reactions = ids(prhs[6], r.n, "reactions must be a cell of one id (text) per column of S . . .");
  char** metabolites = ids(prhs[7], r.m, "metabolites must be a cell of one id (text) per row of S . . .");
  const char* options = nrhs == 10 ? host::text(prhs[8], true, "options must be text . . .") : "";
  const char* source = nrhs == 10 ? host::text(prhs[9], true, "source must be text . . .") : "";

  char message[flux_host::message_size];
  bits::flux_modes_info info;
  bool ok;
  {
    bits::mode_file_network net;
    net.m = r.m;
    net.n = r.n;
    net.S = r.S;
    net.reversible = r.reversible;
    net.reactions.assign(reactions, reactions + r.n);
    net.metabolites.assign(metabolites, metabolites + r.m);
    net.options = options;
    net.source = source;
    bits::hdf5_mode_file sink(file, std::move(net));
    std::string error;
    ok = sink.open(&error);  // an unwritable name fails before the run
    if (ok) {
      host::interruptible_run run;
      ok = flux_host::run(&run, &r, &sink, nullptr, &info, message);
    } else {
      error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
      std::snprintf(message, sizeof message, "%.*s . . .", static_cast<int>(sizeof message - 8), error.c_str());
    }
  }
  if (!ok) host::fail(message);
  plhs[0] = mxCreateNumericMatrix(1, 1, mxDOUBLE_CLASS, mxREAL);
  *mxGetPr(plhs[0]) = static_cast<double>(info.modes);
  if (nlhs > 1) plhs[1] = flux_host::info_row(info);
}

// Opens `file` and reads what `first` and `count` ask for into E and ids
// when they are given, else only its sizes; false with a message.
bool look(const char* file, std::uint64_t* reactions, std::uint64_t* total, std::uint64_t* width,
          std::uint64_t first, std::uint64_t count, std::int64_t* E, char* id_block, char* message) {
  bits::hdf5_mode_reader reader;
  std::string error;
  bool ok = reader.open(file, &error);
  if (ok) {
    *reactions = reader.reactions();
    *total = reader.modes();
    *width = reader.id_width();
    if (E != nullptr) ok = reader.read(first, count, E, &error) && reader.read_ids(id_block, &error);
  }
  if (!ok) std::snprintf(message, flux_host::message_size, "%.*s . . .", int(flux_host::message_size - 8), error.c_str());
  return ok;
}

void read(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 4) host::fail("'read' takes three arguments after it . . .");
  if (nlhs > 3) host::fail("At most three output arguments allowed . . .");
  const char* file = host::text(prhs[1], false, "file must be a file name (a char row) . . .");
  const char* numbers = "first and count must be real scalars: first from 1, count from 0 (Inf: to the last) . . .";
  if (!host::is_real_full_of(prhs[2], mxDOUBLE_CLASS) || host::elements(prhs[2]) != 1 ||
      !host::is_real_full_of(prhs[3], mxDOUBLE_CLASS) || host::elements(prhs[3]) != 1)
    host::fail(numbers);
  const double f = *mxGetPr(prhs[2]), c = *mxGetPr(prhs[3]);
  if (!(f >= 1 && f < 1e18 && f == std::floor(f)) || !(c >= 0 && (c == std::floor(c) || std::isinf(c))))
    host::fail(numbers);

  char message[flux_host::message_size];
  std::uint64_t n = 0, total = 0, width = 0;
  if (!look(file, &n, &total, &width, 0, 0, nullptr, nullptr, message)) host::fail(message);
  const std::uint64_t first = static_cast<std::uint64_t>(f) - 1;
  const std::uint64_t count = std::isinf(c) && first <= total ? total - first : static_cast<std::uint64_t>(c < 1e19 ? c : 1e19);
  if (first > total || count > total - first) {
    std::snprintf(message, sizeof message, "first and count must pick modes within the %llu in the file . . .",
                  static_cast<unsigned long long>(total));
    host::fail(message);
  }
  mxArray* E = host::result_int64(n, count);  // the read fills every element
  if (E == nullptr) host::fail("The modes asked for need more memory than is at hand . . .");
  char* id_block = static_cast<char*>(mxCalloc(n * width + 1, 1));
  if (!look(file, &n, &total, &width, first, count, static_cast<std::int64_t*>(mxGetData(E)), id_block, message))
    host::fail(message);
  plhs[0] = E;
  if (nlhs > 1) {
    mxArray* cells = mxCreateCellMatrix(static_cast<mwSize>(n), 1);
    char* id = static_cast<char*>(mxCalloc(width + 1, 1));
    for (std::uint64_t k = 0; k < n; ++k) {
      std::memcpy(id, id_block + k * width, width);
      mxSetCell(cells, static_cast<mwIndex>(k), mxCreateString(id));
    }
    plhs[1] = cells;
  }
  if (nlhs > 2) {
    plhs[2] = mxCreateNumericMatrix(1, 1, mxDOUBLE_CLASS, mxREAL);
    *mxGetPr(plhs[2]) = static_cast<double>(total);
  }
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  host::pin_openmp_runtime();
  const char* what = "The first argument must be 'write' or 'read' . . .";
  if (nrhs < 1) host::fail(what);
  char verb[8] = {0};
  if (!mxIsChar(prhs[0]) || host::elements(prhs[0]) >= sizeof verb || mxGetString(prhs[0], verb, sizeof verb) != 0)
    host::fail(what);
  if (std::strcmp(verb, "write") == 0) {
    write(nlhs, plhs, nrhs, prhs);
  } else if (std::strcmp(verb, "read") == 0) {
    read(nlhs, plhs, nrhs, prhs);
  } else {
    host::fail(what);
  }
}
