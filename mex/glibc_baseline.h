// Included ahead of every source of the release .mexa64 (cmake/plugins.cmake),
// so that they load with glibc 2.28 (RHEL 8) and later. The glibc this is
// built with binds some calls to versions added since: dlopen, dladdr and
// dlsym to GLIBC_2.34 (when libdl moved into libc), pthread_create and
// pthread_join likewise (from libpthread), stat and fstat to GLIBC_2.33
// (when they became functions). Here the references name the versions that
// every x86-64 glibc has: the dl calls GLIBC_2.2.5 (in libdl.so.2 before
// 2.34, which the host and libgomp already load), the pthread calls
// GLIBC_2.2.5 (in libpthread.so.0 before 2.34, which libgomp and the host
// load), and stat and fstat go through
// __xstat and __fxstat, which is what the headers of glibc before 2.33 compiled
// them to. tests/check_dependencies.cmake checks the result.
#ifndef BITS_MEX_GLIBC_BASELINE_H
#define BITS_MEX_GLIBC_BASELINE_H

#if defined(__linux__) && defined(__x86_64__)
#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>

__asm__(".symver dlopen,dlopen@GLIBC_2.2.5");
__asm__(".symver dladdr,dladdr@GLIBC_2.2.5");
__asm__(".symver dlsym,dlsym@GLIBC_2.2.5");
__asm__(".symver pthread_create,pthread_create@GLIBC_2.2.5");
__asm__(".symver pthread_join,pthread_join@GLIBC_2.2.5");

extern "C" int __xstat(int version, const char* path, struct stat* buf);
extern "C" int __fxstat(int version, int fd, struct stat* buf);
__asm__(".symver __xstat,__xstat@GLIBC_2.2.5");
__asm__(".symver __fxstat,__fxstat@GLIBC_2.2.5");

namespace bits_glibc_baseline {
// The layout of struct stat that __xstat and __fxstat fill on x86-64.
constexpr int stat_version = 1;
inline int stat(const char* path, struct stat* buf) { return __xstat(stat_version, path, buf); }
inline int fstat(int fd, struct stat* buf) { return __fxstat(stat_version, fd, buf); }
}  // namespace bits_glibc_baseline

// Calls only: `struct stat` is not followed by a parenthesis and stays as it is.
#define stat(path, buf) bits_glibc_baseline::stat(path, buf)
#define fstat(fd, buf) bits_glibc_baseline::fstat(fd, buf)
#endif

#endif
