// Included once by each plug-in whose kernels use the C++ library's
// containers or strings (one source per plug-in, so these definitions are
// made once in each). The release plug-in links the C++ library statically
// and is built without exceptions. Its own allocation functions and the
// library's error paths are defined here, on malloc, so that the library's
// exception machinery, and the newer glibc it needs, stay out of the
// plug-in (tests/check_dependencies.cmake checks it). Where one of them
// would throw (a failed allocation, a length beyond the library's limits),
// the process ends, as the exception would have ended it without a handler.
//
// The library's std::string members are compiled into it (extern
// templates), with exceptions; a plug-in whose kernels build messages in
// std::string includes this header first, before any other, so that those
// members are compiled here instead, without exceptions: the library's own
// setting for that (_GLIBCXX_EXTERN_TEMPLATE -1, which it uses for its
// assertion builds) turns off the extern templates of std::string alone.
#ifndef BITS_MEX_CXX_RUNTIME_H
#define BITS_MEX_CXX_RUNTIME_H

#if defined(BITS_MEX_GLIBC_BASELINE_H)
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
#include <cstdlib>
#include <new>

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
#endif

#endif
