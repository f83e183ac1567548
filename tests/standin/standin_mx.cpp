// libmx of the stand-in host: arrays and host-managed memory.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "tests/standin/standin.h"
#include "tests/standin/standin_internal.h"

struct mxArray_tag {
  mxClassID class_id;
  std::vector<std::size_t> dims;
  bool complex;
  bool sparse;
  std::size_t bytes;
  unsigned char* data;   // nullptr when there are no elements, as in the real hosts
  unsigned char* block;  // the allocation that holds data (data - offset)
};

namespace standin {
namespace {

std::mutex registry_lock;
std::set<mxArray*> live;
std::set<mxArray*> made_in_call;  // arrays the current call created
std::set<void*> blocks;           // mxCalloc blocks of the current call
bool in_call = false;

constexpr std::size_t kAlign = 64;

unsigned char* allocate(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  void* p = ::operator new(bytes, std::align_val_t(kAlign));
  std::memset(p, 0, bytes);
  return static_cast<unsigned char*>(p);
}

std::size_t count_of(const std::vector<std::size_t>& dims) {
  std::size_t n = 1;
  for (std::size_t d : dims) n *= d;
  return n;
}

// The elements start `offset` bytes past a kAlign boundary.
mxArray* make(mxClassID class_id, const std::vector<std::size_t>& dims, bool complex,
              bool sparse, std::size_t offset = 0) {
  std::vector<std::size_t> d = dims;
  while (d.size() < 2) d.push_back(d.empty() ? 0 : 1);
  while (d.size() > 2 && d.back() == 1) d.pop_back();
  const std::size_t bytes = sparse ? 0 : count_of(d) * element_size(class_id);
  unsigned char* block = bytes ? allocate(offset + bytes) : nullptr;
  mxArray* a = new mxArray_tag{class_id, d, complex, sparse, bytes,
                               block ? block + offset : nullptr, block};
  std::lock_guard<std::mutex> g(registry_lock);
  live.insert(a);
  return a;
}

mxArray* track(mxArray* a) {
  std::lock_guard<std::mutex> g(registry_lock);
  if (in_call) made_in_call.insert(a);
  return a;
}

// A cell's elements are handles of arrays that the cell owns.
mxArray** cells_of(const mxArray* a) { return reinterpret_cast<mxArray**>(a->data); }

void free_array(mxArray* a) {
  if (a == nullptr) return;
  {
    std::lock_guard<std::mutex> g(registry_lock);
    if (live.erase(a) == 0) std::abort();  // not ours, or given back twice
    made_in_call.erase(a);
  }
  if (a->class_id == mxCELL_CLASS && a->data) {
    const std::size_t n = a->bytes / sizeof(mxArray*);
    for (std::size_t k = 0; k < n; ++k) free_array(cells_of(a)[k]);
  }
  if (a->block) ::operator delete(a->block, std::align_val_t(kAlign));
  delete a;
}

// Arrays that a real host cannot make end the call with its message.
[[noreturn]] void out_of_memory();

// A new real, full m x n array of the call, zeroed (cells: no elements set).
mxArray* create_matrix(mwSize m, mwSize n, mxClassID class_id) {
  if (n != 0 && m > SIZE_MAX / n / element_size(class_id)) out_of_memory();
  try {
    return track(make(class_id, {m, n}, false, false));
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
}

// UTF-8 text to UTF-16, as the host reads an 8-bit string; a byte that
// starts no valid sequence becomes U+FFFD.
std::u16string utf16_of(const char* text) {
  std::u16string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s) {
    std::uint32_t cp = *s;
    std::size_t len = cp < 0x80 ? 1 : (cp >> 5) == 0x6 ? 2 : (cp >> 4) == 0xE ? 3 : (cp >> 3) == 0x1E ? 4 : 0;
    bool ok = len != 0;
    if (ok && len > 1) {
      cp &= 0x7F >> len;
      for (std::size_t k = 1; k < len && ok; ++k) {
        ok = (s[k] & 0xC0) == 0x80;
        cp = (cp << 6) | (s[k] & 0x3F);
      }
    }
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++s;
      continue;
    }
    if (cp >= 0x10000) {
      out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    s += len;
  }
  return out;
}

}  // namespace

std::size_t element_size(mxClassID c) {
  switch (c) {
    case mxLOGICAL_CLASS: case mxINT8_CLASS: case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS: case mxINT16_CLASS: case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    default: return 8;  // double, 64-bit integers, and handles of cells and structs
  }
}

mxArray* create(mxClassID class_id, const std::vector<std::size_t>& dims, bool complex,
                bool sparse) {
  return make(class_id, dims, complex, sparse);
}

mxArray* create_at_offset(mxClassID class_id, const std::vector<std::size_t>& dims,
                         std::size_t offset) {
  return make(class_id, dims, false, false, offset);
}

mxArray* create_char(const std::u16string& text, bool as_column) {
  const std::size_t n = text.size();
  mxArray* a = make(mxCHAR_CLASS, as_column ? std::vector<std::size_t>{n, n ? 1u : 0u}
                                            : std::vector<std::size_t>{n ? 1u : 0u, n},
                    false, false);
  if (n) std::memcpy(a->data, text.data(), 2 * n);
  return a;
}

void destroy(mxArray* a) { free_array(a); }

std::vector<std::size_t> dims(const mxArray* a) { return a->dims; }

std::size_t live_arrays() {
  std::lock_guard<std::mutex> g(registry_lock);
  return live.size();
}

std::size_t live_blocks() {
  std::lock_guard<std::mutex> g(registry_lock);
  return blocks.size();
}

namespace internal {

void begin_call() {
  std::lock_guard<std::mutex> g(registry_lock);
  in_call = true;
  made_in_call.clear();
}

void end_call(const std::vector<mxArray*>& kept) {
  std::vector<mxArray*> doomed;
  std::vector<void*> freed;
  {
    std::lock_guard<std::mutex> g(registry_lock);
    in_call = false;
    for (mxArray* a : made_in_call)
      if (std::find(kept.begin(), kept.end(), a) == kept.end()) doomed.push_back(a);
    made_in_call.clear();
    freed.assign(blocks.begin(), blocks.end());
    blocks.clear();
  }
  for (mxArray* a : doomed) free_array(a);
  for (void* b : freed) std::free(b);
}

bool is_live(const mxArray* a) {
  std::lock_guard<std::mutex> g(registry_lock);
  return live.count(const_cast<mxArray*>(a)) != 0;
}

}  // namespace internal
}  // namespace standin

using standin::internal::host_fail;

extern "C" {

size_t mxGetM(const mxArray* a) { return a->dims[0]; }

size_t mxGetN(const mxArray* a) {
  std::size_t n = 1;
  for (std::size_t k = 1; k < a->dims.size(); ++k) n *= a->dims[k];
  return n;
}

size_t mxGetNumberOfElements(const mxArray* a) { return standin::count_of(a->dims); }
double* mxGetPr(const mxArray* a) { return reinterpret_cast<double*>(a->data); }
void* mxGetData(const mxArray* a) { return a->data; }
mxClassID mxGetClassID(const mxArray* a) { return a->class_id; }
int mxIsEmpty(const mxArray* a) { return mxGetNumberOfElements(a) == 0; }
int mxIsChar(const mxArray* a) { return a->class_id == mxCHAR_CLASS; }
int mxIsComplex(const mxArray* a) { return a->complex; }
int mxIsSparse(const mxArray* a) { return a->sparse; }

mxArray* mxCreateNumericMatrix_730(mwSize m, mwSize n, mxClassID class_id,
                                   mxComplexity complexity) {
  // A real host ends the call when it cannot make the array; so do we.
  if (n != 0 && m > SIZE_MAX / n / standin::element_size(class_id))
    host_fail("Out of memory. Type \"help memory\" for your options.");
  try {
    return standin::track(standin::make(class_id, {m, n}, complexity == mxCOMPLEX, false));
  } catch (const std::bad_alloc&) {
    host_fail("Out of memory. Type \"help memory\" for your options.");
  }
}

// The elements are set to a byte pattern, not zero, so that a test sees any
// element the plug-in leaves unwritten.
mxArray* mxCreateUninitNumericMatrix(size_t m, size_t n, mxClassID class_id, mxComplexity complexity) {
  mxArray* a = mxCreateNumericMatrix_730(m, n, class_id, complexity);
  if (a->data != nullptr) std::memset(a->data, 0xA5, a->bytes);
  return a;
}

mxArray* mxCreateLogicalMatrix_730(mwSize m, mwSize n) {
  return standin::create_matrix(m, n, mxLOGICAL_CLASS);
}

mxArray* mxCreateCellMatrix_730(mwSize m, mwSize n) { return standin::create_matrix(m, n, mxCELL_CLASS); }

// The cell takes `value` over: it is no longer the call's to reclaim, and it
// goes with the cell. An element replaced is left to its owner, as in
// MATLAB: during a call that is the call, which reclaims it at the end.
void mxSetCell_730(mxArray* cell, mwIndex index, mxArray* value) {
  if (cell == nullptr || cell->class_id != mxCELL_CLASS || index >= mxGetNumberOfElements(cell) ||
      !standin::internal::is_live(cell) || (value != nullptr && !standin::internal::is_live(value)))
    std::abort();  // a fault of the plug-in's
  mxArray*& slot = standin::cells_of(cell)[index];
  std::lock_guard<std::mutex> g(standin::registry_lock);
  if (slot != nullptr && standin::in_call) standin::made_in_call.insert(slot);
  if (value != nullptr) standin::made_in_call.erase(value);
  slot = value;
}

mxArray* mxGetCell_730(const mxArray* cell, mwIndex index) {
  if (cell == nullptr || cell->class_id != mxCELL_CLASS || index >= mxGetNumberOfElements(cell))
    std::abort();  // a fault of the plug-in's
  return standin::cells_of(cell)[index];
}

mxArray* mxCreateString(const char* text) {
  try {
    return standin::track(standin::create_char(standin::utf16_of(text ? text : "")));
  } catch (const std::bad_alloc&) {
    host_fail("Out of memory. Type \"help memory\" for your options.");
  }
}

mxArray* mxDuplicateArray(const mxArray* a) {
  mxArray* copy = standin::make(a->class_id, a->dims, a->complex, a->sparse);
  if (a->bytes) std::memcpy(copy->data, a->data, a->bytes);
  if (a->class_id == mxCELL_CLASS && a->data) {
    // A cell's copy holds copies of its elements.
    mxArray** elements = standin::cells_of(copy);
    for (std::size_t k = 0; k < a->bytes / sizeof(mxArray*); ++k)
      if (elements[k]) {
        elements[k] = mxDuplicateArray(elements[k]);
        std::lock_guard<std::mutex> g(standin::registry_lock);
        standin::made_in_call.erase(elements[k]);
      }
  }
  return standin::track(copy);
}

void* mxCalloc(size_t count, size_t size) {
  void* p = std::calloc(count ? count : 1, size ? size : 1);
  if (p == nullptr) host_fail("Out of memory. Type \"help memory\" for your options.");
  std::lock_guard<std::mutex> g(standin::registry_lock);
  standin::blocks.insert(p);
  return p;
}

// UTF-16 text to UTF-8, whole characters only, as the 8-bit form of a name.
int mxGetString_700(const mxArray* a, char* buffer, mwSize length) {
  if (length == 0) return 1;
  buffer[0] = '\0';
  if (a->class_id != mxCHAR_CLASS) return 1;
  const std::size_t n = mxGetNumberOfElements(a);
  const char16_t* s = reinterpret_cast<const char16_t*>(a->data);
  std::size_t used = 0;
  for (std::size_t k = 0; k < n; ++k) {
    std::uint32_t cp = s[k];
    if (cp >= 0xD800 && cp < 0xDC00 && k + 1 < n && s[k + 1] >= 0xDC00 && s[k + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[k + 1] - 0xDC00);
      ++k;
    }
    char enc[4];
    std::size_t len;
    if (cp < 0x80) { enc[0] = char(cp); len = 1; }
    else if (cp < 0x800) { enc[0] = char(0xC0 | (cp >> 6)); enc[1] = char(0x80 | (cp & 0x3F)); len = 2; }
    else if (cp < 0x10000) {
      enc[0] = char(0xE0 | (cp >> 12)); enc[1] = char(0x80 | ((cp >> 6) & 0x3F));
      enc[2] = char(0x80 | (cp & 0x3F)); len = 3;
    } else {
      enc[0] = char(0xF0 | (cp >> 18)); enc[1] = char(0x80 | ((cp >> 12) & 0x3F));
      enc[2] = char(0x80 | ((cp >> 6) & 0x3F)); enc[3] = char(0x80 | (cp & 0x3F)); len = 4;
    }
    if (used + len > length - 1) { buffer[used] = '\0'; return 1; }
    std::memcpy(buffer + used, enc, len);
    used += len;
  }
  buffer[used] = '\0';
  return 0;
}

}  // extern "C"

namespace standin {
namespace {
void out_of_memory() { internal::host_fail("Out of memory. Type \"help memory\" for your options."); }
}  // namespace
namespace internal {
host_error::host_error(const std::string& message) : std::runtime_error(message) {}
host_error::~host_error() = default;
void host_fail(const char* message) { throw host_error(message ? message : ""); }
}  // namespace internal
}  // namespace standin
