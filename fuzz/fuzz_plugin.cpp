// One plug-in entry through the stand-in host, with arguments made from the
// fuzz input: their number and the number of outputs, each argument's class
// (every numeric class, logical, char, cell, struct), complexity and
// sparsity, shape (empty, vector, matrix, N-d), the alignment of its data
// block, and its values (raw bytes, special values such as NaN, +-Inf, 2^53
// and the extremes of each class, small numbers, or ramps that make valid
// column numbers). The thread count is one of those arguments like any
// other. An error the plug-in raises through the host ends the call as it
// ends a call in MATLAB; a crash, a sanitizer report, or an array or host
// block left alive after the call is a finding.
//
// Built once per plug-in: BITS_FUZZ_PLUGIN is the path of its .mexa64.
// For disk_sync (BITS_FUZZ_FILE_NAMES) every character array names a file in
// a private temporary folder: its characters come from a small alphabet
// without '/' and '.', behind the folder's absolute path.
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tests/standin/standin.h"

#ifndef BITS_FUZZ_PLUGIN
#error "BITS_FUZZ_PLUGIN must name the plug-in file"
#endif

namespace {

standin::plugin* plugin = nullptr;

// No call gets more elements than this over all its arguments, so that
// every call stays quick. A plug-in that enumerates the rays of any cone it
// is given (big_rays) gets fewer: a random 30 x 30 cone can take minutes.
#ifdef BITS_FUZZ_MAX_ELEMENTS
constexpr std::uint64_t max_elements = BITS_FUZZ_MAX_ELEMENTS;
#else
constexpr std::uint64_t max_elements = 1024;
#endif

const mxClassID classes[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT8_CLASS,   mxUINT8_CLASS,
                             mxINT16_CLASS,  mxUINT16_CLASS, mxINT32_CLASS,  mxUINT32_CLASS,
                             mxINT64_CLASS,  mxUINT64_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS,
                             mxCELL_CLASS,   mxSTRUCT_CLASS};
constexpr int class_count = sizeof(classes) / sizeof(classes[0]);

const double special_doubles[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, 2.9, -0.5, 3.0, 15.0, 16.0, 17.0, 31.0, 32.0, 33.0, 1e-16,
    std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(), 9007199254740992.0 /* 2^53 */,
    9007199254740994.0, -9007199254740992.0, 4294967295.0, 4294967296.0, 65535.0, 65536.0,
    9223372036854775808.0 /* 2^63 */, 18446744073709551616.0 /* 2^64 */, 1e308, -1e308,
    4.9406564584124654e-324, 2.220446049250313e-16, 0.99999999999999989, 3.141592653589793,
    -2147483648.0, 1e-300, 255.0};

const std::int64_t special_integers[] = {0,  1,  2,  3,  4,  7,   8,   15,  16,  17,
                                         31, 32, 33, 63, 64, 255, 256, 65535, -1, -2,
                                         INT64_MIN, INT64_MAX, INT64_MIN + 1, INT64_MAX - 1,
                                         std::int64_t(1) << 32, (std::int64_t(1) << 31) - 1,
                                         std::int64_t(1) << 53, 0x5555555555555555, 1000000007};


// Element k of a class-T array in fill mode `mode`.
template <typename T>
void fill_values(fuzzin::reader& in, T* out, std::uint64_t n, int mode) {
  if (mode == 0) {
    in.fill(out, n * sizeof(T));
    return;
  }
  if (mode == 3) {  // ramp: start + k * step, modulo m (when m > 0)
    const std::int64_t start = static_cast<std::int8_t>(in.byte());
    const std::int64_t step = static_cast<std::int8_t>(in.byte());
    const std::int64_t m = in.byte();
    for (std::uint64_t k = 0; k < n; ++k) {
      std::int64_t v = start + static_cast<std::int64_t>(k) * step;
      if (m > 0) v = ((v % m) + m) % m;
      out[k] = static_cast<T>(v);
    }
    return;
  }
  for (std::uint64_t k = 0; k < n; ++k) {
    const std::uint8_t b = in.byte();
    if (mode == 2) {
      out[k] = static_cast<T>(static_cast<std::int8_t>(b));
    } else if (std::is_floating_point<T>::value) {
      out[k] = static_cast<T>(special_doubles[b % (sizeof(special_doubles) / sizeof(double))]);
    } else if (b % 32 < 3) {  // the extremes of the class itself
      const T v[] = {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(),
                     static_cast<T>(std::numeric_limits<T>::max() - 1)};
      out[k] = v[b % 32];
    } else {
      out[k] = static_cast<T>(special_integers[b % (sizeof(special_integers) / sizeof(std::int64_t))]);
    }
  }
}

void fill(fuzzin::reader& in, mxClassID c, void* data, std::uint64_t n, int mode) {
  switch (c) {
    case mxDOUBLE_CLASS: return fill_values(in, static_cast<double*>(data), n, mode);
    case mxSINGLE_CLASS: return fill_values(in, static_cast<float*>(data), n, mode);
    case mxINT8_CLASS: return fill_values(in, static_cast<std::int8_t*>(data), n, mode);
    case mxUINT8_CLASS: case mxLOGICAL_CLASS:
      return fill_values(in, static_cast<std::uint8_t*>(data), n, mode);
    case mxINT16_CLASS: return fill_values(in, static_cast<std::int16_t*>(data), n, mode);
    case mxUINT16_CLASS: case mxCHAR_CLASS:
      return fill_values(in, static_cast<std::uint16_t*>(data), n, mode);
    case mxINT32_CLASS: return fill_values(in, static_cast<std::int32_t*>(data), n, mode);
    case mxUINT32_CLASS: return fill_values(in, static_cast<std::uint32_t*>(data), n, mode);
    case mxINT64_CLASS: return fill_values(in, static_cast<std::int64_t*>(data), n, mode);
    case mxUINT64_CLASS: return fill_values(in, static_cast<std::uint64_t*>(data), n, mode);
    default: return;  // cells and structs keep their empty handles
  }
}

#ifdef BITS_FUZZ_FILE_NAMES
// The characters of disk_sync's file names: no '/', no '.', a NUL now and
// then, and characters beyond ASCII (an unpaired surrogate among them).
const char16_t name_characters[] = {u'a', u'b', u'c', u'd', u'p', 0, 0x00E9, 0xD800,
                                    0xDC00, 0xFFFF, u'-', u' '};
std::u16string file_folder;  // absolute, ending in '/'

// disk_sync's argument: the folder's path, then a name of `n` characters
// from the small alphabet, as a row or a column.
mxArray* file_name(fuzzin::reader& in, std::uint64_t n) {
  std::u16string name;
  for (std::uint64_t k = 0; k < n; ++k)
    name += name_characters[in.byte() % (sizeof(name_characters) / sizeof(char16_t))];
  const std::u16string path = file_folder + name;
  std::vector<std::size_t> d = {1, path.size()};
  if (in.flag()) std::swap(d[0], d[1]);  // a column of characters reads the same
  mxArray* a = standin::create(mxCHAR_CLASS, d);
  std::copy(path.begin(), path.end(), static_cast<char16_t*>(mxGetData(a)));
  return a;
}

// A private folder with a regular file, a read-only one, a folder and a FIFO
// for disk_sync to find; removed at exit.
std::string folder;
void remove_folder() {
  for (const char* f : {"a", "ab", "b", "c", "p"}) (void)std::remove((folder + "/" + f).c_str());
  (void)rmdir(folder.c_str());
}
void make_folder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bits_fuzz_disk_sync_XXXXXX";
  if (!mkdtemp(&pattern[0])) std::abort();
  folder = pattern;
  for (const char* f : {"a", "ab", "b"}) {
    FILE* file = std::fopen((folder + "/" + f).c_str(), "w");
    if (!file) std::abort();
    std::fputs("data\n", file);
    std::fclose(file);
  }
  (void)chmod((folder + "/b").c_str(), 0444);
  (void)mkdir((folder + "/c").c_str(), 0700);
  (void)mkfifo((folder + "/p").c_str(), 0600);
  std::atexit(remove_folder);
  file_folder = std::u16string(folder.begin(), folder.end()) + u'/';
}
#endif

// One argument, within the element budget `left` (which it reduces).
mxArray* argument(fuzzin::reader& in, std::uint64_t* left) {
  const std::uint8_t kind = in.byte();
  const mxClassID c = classes[kind % class_count];
  const std::uint8_t flags = in.byte();
  // Hosts have complex numeric arrays, and sparse double and logical ones.
  const bool numeric = c != mxLOGICAL_CLASS && c != mxCHAR_CLASS && c != mxCELL_CLASS &&
                       c != mxSTRUCT_CLASS;
  const bool complex = (flags & 1) && (kind & 0x80) && numeric;
  const bool sparse = (flags & 2) && (kind & 0x40) && (c == mxDOUBLE_CLASS || c == mxLOGICAL_CLASS);
  const bool shifted = flags & 4;
  const int mode = (flags >> 4) & 3;
  const int ndims = in.byte() % 5;  // 0 dims: 0 x 0
  std::vector<std::size_t> dims;
  for (int k = 0; k < ndims; ++k) dims.push_back(in.byte() & 63);
  auto count = [&] {
    std::uint64_t n = 1;
    for (std::size_t d : dims) n *= d;
    return dims.empty() ? 0 : n;
  };
  // Halve the largest dimension until the array fits the budget, counting
  // zero dimensions as one: an empty array's other dimensions size what a
  // plug-in makes of it (a 0 x n matrix has an n x n null space basis).
  auto shape = [&] {
    std::uint64_t n = 1;
    for (std::size_t d : dims) n *= d ? d : 1;
    return n;
  };
  while (count() > *left || shape() > max_elements) {
    std::size_t* big = &dims[0];
    for (std::size_t& d : dims)
      if (d > *big) big = &d;
    *big /= 2;
  }
  const std::uint64_t n = count();
  *left -= n;
#ifdef BITS_FUZZ_FILE_NAMES
  if (c == mxCHAR_CLASS && n > 0 && !complex && !sparse) return file_name(in, n);
#endif
  mxArray* a;
  if (shifted && !complex && !sparse) {
    // Past a 64-byte boundary by whole elements: a host aligns an array's
    // data for its class, and no more than that.
    const std::size_t size = standin::element_size(c);
    a = standin::create_at_offset(c, dims, in.byte() % (64 / size) * size);
  } else {
    a = standin::create(c, dims, complex, sparse);
  }
  if (void* data = mxGetData(a)) fill(in, c, data, mxGetNumberOfElements(a), mode);
  return a;
}


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Loaded once, before the fuzzer counts the modules it watches, and never
  // unloaded: its coverage counters must stay mapped.
  std::string error;
  plugin = standin::load(BITS_FUZZ_PLUGIN, &error);
  if (!plugin) {
    std::fprintf(stderr, "cannot load %s: %s\n", BITS_FUZZ_PLUGIN, error.c_str());
    std::abort();
  }
#ifdef BITS_FUZZ_FILE_NAMES
  make_folder();
#endif
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const std::uint8_t counts = in.byte();
  const int nlhs = (counts >> 4) % 6;
  const int nrhs = counts & 7;
  std::vector<const mxArray*> inputs;
  std::uint64_t left = max_elements;
  for (int k = 0; k < nrhs; ++k) inputs.push_back(argument(in, &left));

  standin::call_result r = standin::call(plugin, nlhs, inputs);
  // BITS_FUZZ_TRACE=1 shows how each call ended (to check the seeds).
  static const bool trace = std::getenv("BITS_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "nlhs %d nrhs %d: %s\n", nlhs, nrhs, r.failed ? r.message.c_str() : "ok");
  // A call that returns has assigned every output requested (the host
  // checks); one that fails leaves none.
  FUZZ_CHECK(r.failed ? r.outputs.empty() : r.outputs.size() >= static_cast<std::size_t>(nlhs));
  // The plug-ins' own messages end in " . . ."; the host has two of its own.
  if (r.failed) {
    const std::string& m = r.message;
    FUZZ_CHECK((m.size() > 6 && m.compare(m.size() - 6, 6, " . . .") == 0) ||
               m == "Out of memory. Type \"help memory\" for your options." ||
               m == "One or more output arguments not assigned during call.");
  }
  for (mxArray* a : r.outputs) standin::destroy(a);
  for (const mxArray* a : inputs) standin::destroy(const_cast<mxArray*>(a));
  // Everything the call made is gone, by the plug-in or by the host.
  FUZZ_CHECK(standin::live_arrays() == 0 && standin::live_blocks() == 0);
  return 0;
}
