// The thin layer between the plug-in entries and the host's array API:
// sizes as 64-bit numbers, class and shape predicates, the error call, the
// reading of a thread request and the machine's memory. Every function here
// runs on the calling host thread, before any parallel region starts.
#ifndef BITS_MEX_HOST_ARGS_H
#define BITS_MEX_HOST_ARGS_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The host's API: Octave's or MATLAB's own mex.h, or for the plug-ins of the
// release our declarations in mex/include.
#include <mex.h>

#include "core/packed_patterns.h"

#if defined(_WIN32)
#include "mex/windows_api.h"
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#ifdef _OPENMP
#include <omp.h>
#if defined(_WIN32)
#include <thread>
#else
#include <dlfcn.h>
#endif
#endif

// The one symbol a plug-in exports. Everything else is hidden (and, on Linux,
// made local by the version script); the entry needs explicit default
// visibility, or the host finds no mexFunction in the file.
#if defined(_WIN32)
#define BITS_MEX_ENTRY extern "C" __declspec(dllexport) void mexFunction
#else
#define BITS_MEX_ENTRY extern "C" __attribute__((visibility("default"))) void mexFunction
#endif

namespace host {

// Physical memory of the machine in bytes, or 0 when the system does not say.
inline std::uint64_t physical_memory() {
#if defined(_WIN32)
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  if (GlobalMemoryStatusEx(&status)) return status.ullTotalPhys;
  return 0;
#else
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
#endif
}

// Ends the call with `message`. The host unwinds or jumps out of the plug-in,
// so the caller must hold nothing that needs a destructor.
[[noreturn]] inline void fail(const char* message) {
  mexErrMsgTxt(message);
  std::abort();  // never reached: the host does not return from the call above
}

inline std::uint64_t rows(const mxArray* a) { return static_cast<std::uint64_t>(mxGetM(a)); }
// Columns as MATLAB counts them for mxGetN: the product of every dimension
// after the first, so rows(a) * columns(a) is the element count.
inline std::uint64_t columns(const mxArray* a) { return static_cast<std::uint64_t>(mxGetN(a)); }

// rows * columns, or UINT64_MAX if that product does not fit (no host array
// can be that large, so such a count never compares equal to a real one).
inline std::uint64_t elements(const mxArray* a) {
  const std::uint64_t m = rows(a), n = columns(a);
  if (m != 0 && n > UINT64_MAX / m) return UINT64_MAX;
  return m * n;
}

inline bool is_real_full(const mxArray* a) { return !mxIsComplex(a) && !mxIsSparse(a); }

inline bool is_real_full_of(const mxArray* a, mxClassID class_id) {
  return mxGetClassID(a) == class_id && is_real_full(a);
}

template <typename T>
inline const T* data(const mxArray* a) {
  return static_cast<const T*>(mxGetData(a));
}

inline bool is_numeric_class(mxClassID c) {
  return c == mxDOUBLE_CLASS || c == mxSINGLE_CLASS || c == mxINT8_CLASS ||
         c == mxUINT8_CLASS || c == mxINT16_CLASS || c == mxUINT16_CLASS ||
         c == mxINT32_CLASS || c == mxUINT32_CLASS || c == mxINT64_CLASS ||
         c == mxUINT64_CLASS;
}

// First element of a real numeric array, read by its own class as a double.
// The caller has checked that the array is real, numeric and not empty.
inline double first_value(const mxArray* a) {
  const void* p = mxGetData(a);
  switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: return *static_cast<const double*>(p);
    case mxSINGLE_CLASS: return *static_cast<const float*>(p);
    case mxINT8_CLASS: return *static_cast<const std::int8_t*>(p);
    case mxUINT8_CLASS: return *static_cast<const std::uint8_t*>(p);
    case mxINT16_CLASS: return *static_cast<const std::int16_t*>(p);
    case mxUINT16_CLASS: return *static_cast<const std::uint16_t*>(p);
    case mxINT32_CLASS: return *static_cast<const std::int32_t*>(p);
    case mxUINT32_CLASS: return *static_cast<const std::uint32_t*>(p);
    case mxINT64_CLASS: return static_cast<double>(*static_cast<const std::int64_t*>(p));
    case mxUINT64_CLASS: return static_cast<double>(*static_cast<const std::uint64_t*>(p));
    default: return 0.0;
  }
}

inline bool is_real_numeric_nonempty(const mxArray* a) {
  return is_numeric_class(mxGetClassID(a)) && is_real_full(a) && elements(a) > 0;
}

// A yes/no argument: the first element of a non-empty real numeric or
// logical array, true when it is not zero. Ends the call with `message`
// when there is no such element.
inline bool flag(const mxArray* a, const char* message) {
  if (mxGetClassID(a) == mxLOGICAL_CLASS) {
    if (!is_real_full(a) || elements(a) == 0) fail(message);
    return *data<std::uint8_t>(a) != 0;
  }
  if (!is_real_numeric_nonempty(a)) fail(message);
  return first_value(a) != 0.0;
}

// The thread request in the first element of `n_threads`: a uint16 element as
// it stands, any other real numeric class by its value clamped to 0..65535
// (NaN counts as 0). Ends the call when there is no such element to read.
inline unsigned thread_request(const mxArray* n_threads) {
  if (!is_real_numeric_nonempty(n_threads))
    fail("n_threads must be a non-empty real numeric array . . .");
  if (mxGetClassID(n_threads) == mxUINT16_CLASS) return *data<std::uint16_t>(n_threads);
  const double v = first_value(n_threads);
  if (!(v > 0.0)) return 0;  // negative, zero or NaN
  if (v >= 65535.0) return 65535;
  return static_cast<unsigned>(v);
}

// Sets the OpenMP team size for the next parallel region: the request, at
// most the processor count, and at least one thread (a request of 0 runs on
// the calling thread alone). The setting stays in force after the call.
inline void set_thread_budget(unsigned request) {
#ifdef _OPENMP
  const unsigned procs = static_cast<unsigned>(omp_get_num_procs());
  unsigned n = request < procs ? request : procs;
  if (n < 1) n = 1;
  omp_set_num_threads(static_cast<int>(n));
#else
  (void)request;
#endif
}

#if defined(_OPENMP) && defined(_WIN32)
// The host thread that has made the plug-in's parallel calls, and whether
// there has been more than one. The runtime keeps a pool of parked workers
// for each thread that has started a parallel region.
struct openmp_callers {
  std::thread::id first;
  bool several = false;
};
inline openmp_callers& openmp_callers_so_far() {
  static openmp_callers callers;
  return callers;
}

// Exit handler of a Windows plug-in, run by the host on its own thread
// before it unloads the plug-in. When that thread made every parallel call,
// pausing the runtime ends its workers and waits for them; otherwise some
// other thread's workers may still be parked in the module, and the module is
// pinned instead: it stays mapped for the rest of the process, and the host's
// unload only drops its reference.
inline void stop_openmp_threads() {
  const openmp_callers& callers = openmp_callers_so_far();
  if (!callers.several && callers.first == std::this_thread::get_id() &&
      omp_pause_resource_all(omp_pause_hard) == 0)
    return;
  HMODULE self;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&stop_openmp_threads), &self);
}
#endif

// Makes unloading the plug-in (clear mex) safe for the OpenMP runtime. Its
// worker threads outlive a call, parked inside the runtime; if the runtime
// went away with the plug-in they would wake up in unmapped code and crash
// the host. On Linux the runtime is a shared library: marking it "no delete"
// keeps it mapped, and the plug-in itself can be unloaded and reloaded
// freely. On Windows each plug-in carries the runtime statically linked, so
// it registers an exit handler, which the host runs before it unloads the
// plug-in, that ends the worker threads (see stop_openmp_threads). Called on
// the host thread of every parallel call, before the region starts.
inline void pin_openmp_runtime() {
#if defined(_OPENMP) && defined(_WIN32)
  openmp_callers& callers = openmp_callers_so_far();
  const std::thread::id me = std::this_thread::get_id();
  if (callers.first == std::thread::id())
    callers.first = me;
  else if (callers.first != me)
    callers.several = true;
  mexAtExit(&stop_openmp_threads);
#elif defined(_OPENMP)
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&omp_get_num_procs), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

// Checks the class of an index array of 0-based column numbers (i_perm,
// j_comb): it must be a real, full uint32 or double array, else the call
// ends with `class_message`. Returns true for uint32, false for double.
inline bool column_index_class(const mxArray* a, const char* class_message) {
  const mxClassID c = mxGetClassID(a);
  const bool is_uint32 = c == mxUINT32_CLASS;
  if ((!is_uint32 && c != mxDOUBLE_CLASS) || !is_real_full(a)) fail(class_message);
  return is_uint32;
}

// Checks that each of the first `count` elements of an index array whose
// class passed column_index_class names one of `columns` columns (see
// bits::index_in_range), else the call ends with `range_message`.
inline void check_column_values(const mxArray* a, bool is_uint32, std::uint64_t count,
                                std::uint64_t columns, const char* range_message) {
  bool in_range = true;
  if (is_uint32) {
    const std::uint32_t* v = data<std::uint32_t>(a);
    for (std::uint64_t k = 0; k < count && in_range; ++k) in_range = bits::index_in_range(v[k], columns);
  } else {
    const double* v = data<double>(a);
    for (std::uint64_t k = 0; k < count && in_range; ++k) in_range = bits::index_in_range(v[k], columns);
  }
  if (!in_range) fail(range_message);
}

// Both checks of an index array, class first. Returns true for uint32.
inline bool check_column_indices(const mxArray* a, std::uint64_t count, std::uint64_t columns,
                                 const char* class_message, const char* range_message) {
  const bool is_uint32 = column_index_class(a, class_message);
  check_column_values(a, is_uint32, count, columns, range_message);
  return is_uint32;
}

// The text of a char row (empty allowed when `empty_ok`), in host-managed
// memory (mxCalloc), NUL-terminated; ends the call with `message` when `a`
// is no such row or holds a NUL character. Up to 4 bytes per character, for
// the host's 8-bit form of any character.
inline char* text(const mxArray* a, bool empty_ok, const char* message) {
  const std::uint64_t count = elements(a);
  if (!mxIsChar(a) || (count > 0 && rows(a) != 1) || (count == 0 && !empty_ok) || count > (SIZE_MAX - 1) / 4)
    fail(message);
  const std::size_t length = static_cast<std::size_t>(count * 4 + 1);
  char* t = static_cast<char*>(mxCalloc(length, 1));
  if (count > 0 && mxGetString(a, t, length) != 0) fail(message);
  for (std::size_t k = std::strlen(t); k < length; ++k)
    if (t[k] != '\0') fail(message);
  return t;
}

// Asks for large pages under the whole 2 MiB pages of a block about to be
// written once from end to end: in 4 KiB pages a result of gigabytes costs
// millions of page faults. Only a hint; nothing changes where it is refused.
inline void advise_large_pages(void* p, std::uint64_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const std::uintptr_t page = std::uintptr_t{2} << 20;
  const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

// An int64 array (rows x cols) for a result that the plug-in writes in
// full, or null where the host could not make it. GNU Octave built without
// polymorphic allocators (Debian's 7.x) copies every numeric array that a
// plug-in makes into one of its own, zeroed first, when the call returns:
// for a result of gigabytes that is the result twice at the peak and two
// more passes over it. An array that Octave's own `zeros` made is handed
// back as it is, so there the array comes from the builtin `zeros` (called
// with errors trapped, and taken only when it is what was asked for).
// Elsewhere it is made without zeroing, under large pages.
inline mxArray* result_int64(std::uint64_t rows, std::uint64_t cols) {
#if defined(octave_mex_h) && !defined(OCTAVE_HAVE_STD_PMR_POLYMORPHIC_ALLOCATOR)
  mxArray* in[4] = {mxCreateString("zeros"), mxCreateDoubleScalar(static_cast<double>(rows)),
                    mxCreateDoubleScalar(static_cast<double>(cols)), mxCreateString("int64")};
  mxArray* out = nullptr;
  mxArray* failure = nullptr;
#if defined(__cpp_exceptions)
  // This runs while a run's thread waits for the array: nothing may unwind
  // through the caller here. (A Ctrl-C pending at this point does not make
  // Octave's `zeros` throw, as measured; this only keeps it so.)
  try {
    failure = mexCallMATLABWithTrap(1, &out, 4, in, "builtin");
  } catch (...) {
    out = nullptr;
  }
#else
  failure = mexCallMATLABWithTrap(1, &out, 4, in, "builtin");
#endif
  for (mxArray* a : in) mxDestroyArray(a);
  if (failure != nullptr) {
    mxDestroyArray(failure);
    out = nullptr;
  }
  if (out != nullptr && mxGetClassID(out) == mxINT64_CLASS && is_real_full(out) &&
      static_cast<std::uint64_t>(mxGetM(out)) == rows && static_cast<std::uint64_t>(mxGetN(out)) == cols &&
      (rows * cols == 0 || mxGetData(out) != nullptr))
    return out;
  if (out != nullptr) mxDestroyArray(out);
#endif
  mxArray* a = mxCreateUninitNumericMatrix(static_cast<std::size_t>(rows), static_cast<std::size_t>(cols),
                                           mxINT64_CLASS, mxREAL);
  if (a != nullptr) advise_large_pages(mxGetData(a), rows * cols * sizeof(std::int64_t));
  return a;
}

}  // namespace host

#endif
