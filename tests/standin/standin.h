// The stand-in host: our own small implementation of the host operations that
// the plug-ins call (in the roles of libmx and libmex), plus what a host does
// around a call: load a plug-in, call its mexFunction, unwind on an error,
// reclaim what the call created, unload it. Tests drive plug-ins through it
// exactly as MATLAB or Octave would.
#ifndef BITS_STANDIN_H
#define BITS_STANDIN_H

#include <cstddef>
#include <string>
#include <vector>

#include "mex.h"

namespace standin {

typedef void (*mex_function_t)(int, mxArray**, int, const mxArray**);

// --- arrays (libmx) -----------------------------------------------------
// Arrays made here belong to the caller, who gives them back with destroy().
BITS_HOST_API mxArray* create(mxClassID class_id, const std::vector<std::size_t>& dims,
                              bool complex = false, bool sparse = false);
// A real, full array whose elements start `offset` bytes past a 64-byte
// boundary, as a host hands over a slice of a larger array without copying
// it (in Octave a uint32 matrix can start 4 bytes past an 8-byte boundary).
BITS_HOST_API mxArray* create_at_offset(mxClassID class_id, const std::vector<std::size_t>& dims,
                                        std::size_t offset);
BITS_HOST_API mxArray* create_char(const std::u16string& text, bool as_column = false);
BITS_HOST_API void destroy(mxArray* a);
BITS_HOST_API std::vector<std::size_t> dims(const mxArray* a);
BITS_HOST_API std::size_t element_size(mxClassID class_id);
// Arrays and mxCalloc blocks alive now, for leak checks.
BITS_HOST_API std::size_t live_arrays();
BITS_HOST_API std::size_t live_blocks();

// --- calls (libmex) -----------------------------------------------------
struct call_result {
  bool failed = false;
  std::string message;           // the text given to mexErrMsgTxt, or the host's own
  std::vector<mxArray*> outputs;  // owned by the caller on success
};

struct plugin;
// Loads a plug-in file; on failure returns nullptr and sets *error.
BITS_HOST_API plugin* load(const std::string& path, std::string* error);
// Runs the exit handlers the plug-in registered, then unloads it.
BITS_HOST_API void unload(plugin* p);
BITS_HOST_API mex_function_t entry(plugin* p);
// Everything the plug-ins printed with mexPrintf so far; tests may clear it.
BITS_HOST_API std::string& printed_text();

// Calls the plug-in as a host does. On an error every array the call made and
// every mxCalloc block is reclaimed; on success the mxCalloc blocks and the
// arrays not handed back in plhs are. A requested output that was not
// assigned is an error of the host's, as in MATLAB.
BITS_HOST_API call_result call(plugin* p, int nlhs, const std::vector<const mxArray*>& inputs);

}  // namespace standin

// MATLAB's interrupt flag, as its libut has it: a test presses Ctrl-C with
// utSetInterruptPending(true); the host clears the flag when the call ends.
extern "C" {
BITS_HOST_API bool utIsInterruptPending(void);
BITS_HOST_API bool utSetInterruptPending(bool pending);
}

#endif
