// [S, reversible, reactions, metabolites] = sbml_read(file)
//
// The metabolic network of an SBML file (any level, with or without the fbc
// package), read by libsbml: S is the stoichiometric matrix (double, rows =
// the species that are not boundary species, columns = the reactions, both
// in document order; reactants negative, products positive, summed where a
// species appears more than once), reversible a logical row (the reaction's
// reversible attribute, or a negative fbc lower flux bound), reactions and
// metabolites columns of cells holding the ids. Runs on the calling thread.
//
// Only libsbml's C API is called (declared in mex/sbml_c_api.h), so no C++
// object or exception of libsbml's crosses into this file. The document is freed before every host call that
// can end the call (the error call, the output arrays): the outputs are made
// from a copy, in one block of malloc'd memory, of what the document says.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mex/host_args.h"
#include "mex/sbml_c_api.h"
#include "mex/sbml_network.h"

namespace {

using sbml_network::message_size;
using sbml_network::network;
using sbml_network::read_network;

// Bytes reserved per character of the file name in the host's 8-bit form.
constexpr std::uint64_t bytes_per_character = 4;

// A block of a call that the host ended while making the outputs: freed at
// the next call, or when the plug-in is unloaded.
void* leftover = nullptr;
void free_leftover() {
  std::free(leftover);
  leftover = nullptr;
}


// A column of cells holding the ids `first` .. `first + count - 1`.
mxArray* id_column(const network& net, std::uint64_t first, std::uint64_t count) {
  mxArray* cells = mxCreateCellMatrix(static_cast<mwSize>(count), 1);
  for (std::uint64_t k = 0; k < count; ++k)
    mxSetCell(cells, static_cast<mwIndex>(k), mxCreateString(net.text + net.id_start[first + k]));
  return cells;
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  free_leftover();
  mexAtExit(&free_leftover);
  if (nrhs != 1) host::fail("One input argument required . . .");
  if (nlhs > 4) host::fail("At most four output arguments allowed . . .");
  const mxArray* file = prhs[0];
  const char* not_a_name = "file must be a file name (a char row) . . .";
  const std::uint64_t count = host::elements(file);
  if (!mxIsChar(file) || host::rows(file) != 1 || count == 0 || count > (SIZE_MAX - 1) / bytes_per_character)
    host::fail(not_a_name);
  // Host-managed and zeroed. A name that does not convert whole, or holds a
  // NUL character, names no file.
  const std::size_t length = static_cast<std::size_t>(count * bytes_per_character + 1);
  char* name = static_cast<char*>(mxCalloc(length, 1));
  if (mxGetString(file, name, length) != 0) host::fail(not_a_name);
  for (std::size_t k = std::strlen(name); k < length; ++k)
    if (name[k] != '\0') host::fail(not_a_name);

  network net;
  {
    char message[message_size];
    if (!read_network(name, &net, message)) host::fail(message);
  }

  // The document is gone; the outputs are made from the copy. Should the
  // host end the call here (out of memory), the next call frees the copy.
  leftover = net.block;
  mxArray* S = mxCreateNumericMatrix(static_cast<mwSize>(net.m), static_cast<mwSize>(net.n), mxDOUBLE_CLASS,
                                     mxREAL);
  double* s = mxGetPr(S);
  for (std::uint64_t e = 0; e < net.entries; ++e) s[net.row[e] + net.column[e] * net.m] += net.value[e];
  plhs[0] = S;
  if (nlhs > 1) {
    mxArray* reversible = mxCreateLogicalMatrix(1, static_cast<mwSize>(net.n));
    std::memcpy(mxGetData(reversible), net.reversible, static_cast<std::size_t>(net.n));
    plhs[1] = reversible;
  }
  if (nlhs > 2) plhs[2] = id_column(net, 0, net.n);
  if (nlhs > 3) plhs[3] = id_column(net, net.n, net.m);
  free_leftover();
}
