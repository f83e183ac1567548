// [Sc, reversible_c, E, kept, removed] = network_compression(S, reversible)
//
// The exact compression of a metabolic network for its elementary flux
// modes (core/network_compression.h), the one flux_modes_pipeline runs
// first, for compress_network: Sc (int64, kept metabolites x compressed
// reactions), reversible_c (logical row, one per compressed reaction), E
// (int64, reactions x compressed reactions: the expansion, at most one
// non-zero per row), kept (the rows of S kept, 1-based, a double row) and
// removed = [blocked merged] (reactions removed as blocked, merged into
// another). S is a real full double matrix of integers or rationals p/q
// (q <= 2^24), reversible one logical or double per column. Runs on the
// calling thread.
//
// The compression's vectors are gone before any host call that can end the
// call: the results are copied into one block of malloc'd memory first, and
// the outputs made from it (a block that the host's ending of the call left
// behind is freed at the next call, or when the plug-in is unloaded).
#include "mex/cxx_runtime.h"  // first: see there

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mex/host_args.h"
#include "core/network_compression.h"

namespace {

void* leftover = nullptr;
void free_leftover() {
  std::free(leftover);
  leftover = nullptr;
}

// memcpy for blocks that may be empty: an empty vector's or array's data
// may be a null pointer, which memcpy must not get even for no bytes.
void copy_bytes(void* to, const void* from, std::size_t bytes) {
  if (bytes > 0) std::memcpy(to, from, bytes);
}

}  // namespace

BITS_MEX_ENTRY(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  free_leftover();
  mexAtExit(&free_leftover);
  if (nrhs != 2) host::fail("Two input arguments required . . .");
  if (nlhs > 5) host::fail("At most five output arguments allowed . . .");
  const mxArray *S = prhs[0], *reversible = prhs[1];
  if (!host::is_real_full_of(S, mxDOUBLE_CLASS)) host::fail("S must be a real full double matrix . . .");
  const std::uint64_t m = host::rows(S), n = host::columns(S);
  const mxClassID rc = mxGetClassID(reversible);
  if ((rc != mxLOGICAL_CLASS && rc != mxDOUBLE_CLASS) || !host::is_real_full(reversible) ||
      host::elements(reversible) != n)
    host::fail("reversible must be a logical or double array with one element per column of S . . .");
  std::uint8_t* rev = static_cast<std::uint8_t*>(mxCalloc(n > 0 ? n : 1, 1));
  for (std::uint64_t j = 0; j < n; ++j)
    rev[j] = rc == mxLOGICAL_CLASS ? host::data<std::uint8_t>(reversible)[j] != 0
                                   : host::data<double>(reversible)[j] != 0.0;

  // The block: Sc (rows x nc), E (n x nc) as int64, kept (rows), then the
  // flags (nc bytes).
  std::uint64_t rows = 0, nc = 0, blocked = 0, merged = 0;
  char message[400] = {0};
  {
    bits::integer_network in;
    bits::compressed_network out;
    std::string error;
    if (bits::integer_columns(host::data<double>(S), m, n, &in, &error) &&
        bits::compress_network(in, rev, &out, &error)) {
      rows = out.rows;
      nc = out.columns;
      blocked = out.blocked;
      merged = out.merged;
      const std::uint64_t words = rows * nc + n * nc + rows;
      std::int64_t* block = static_cast<std::int64_t*>(std::malloc(words * 8 + nc + 1));
      if (block == nullptr) {
        std::snprintf(message, sizeof message, "The compressed network needs %llu bytes, more than the memory at hand . . .",
                      static_cast<unsigned long long>(words * 8 + nc));
      } else {
        copy_bytes(block, out.S.data(), rows * nc * 8);
        const std::vector<std::int64_t> E = bits::dense_expansion(out);
        copy_bytes(block + rows * nc, E.data(), n * nc * 8);
        for (std::uint64_t i = 0; i < rows; ++i) block[rows * nc + n * nc + i] = static_cast<std::int64_t>(out.kept[i]);
        copy_bytes(block + words, out.reversible.data(), nc);
        leftover = block;
      }
    } else {
      error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
      std::snprintf(message, sizeof message, "%.*s . . .", static_cast<int>(sizeof message - 8), error.c_str());
    }
  }
  if (leftover == nullptr) host::fail(message);
  const std::int64_t* block = static_cast<const std::int64_t*>(leftover);
  mxArray* Sc = mxCreateNumericMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(nc), mxINT64_CLASS, mxREAL);
  copy_bytes(mxGetData(Sc), block, rows * nc * 8);
  plhs[0] = Sc;
  if (nlhs > 1) {
    mxArray* r = mxCreateLogicalMatrix(1, static_cast<mwSize>(nc));
    copy_bytes(mxGetData(r), block + rows * nc + n * nc + rows, nc);
    plhs[1] = r;
  }
  if (nlhs > 2) {
    mxArray* E = mxCreateNumericMatrix(static_cast<mwSize>(n), static_cast<mwSize>(nc), mxINT64_CLASS, mxREAL);
    copy_bytes(mxGetData(E), block + rows * nc, n * nc * 8);
    plhs[2] = E;
  }
  if (nlhs > 3) {
    mxArray* kept = mxCreateNumericMatrix(1, static_cast<mwSize>(rows), mxDOUBLE_CLASS, mxREAL);
    for (std::uint64_t i = 0; i < rows; ++i) mxGetPr(kept)[i] = static_cast<double>(block[rows * nc + n * nc + i] + 1);
    plhs[3] = kept;
  }
  if (nlhs > 4) {
    mxArray* removed = mxCreateNumericMatrix(1, 2, mxDOUBLE_CLASS, mxREAL);
    mxGetPr(removed)[0] = static_cast<double>(blocked);
    mxGetPr(removed)[1] = static_cast<double>(merged);
    plhs[4] = removed;
  }
  free_leftover();
}
