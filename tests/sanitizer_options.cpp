// Built into the test programs of sanitizer builds (BITS_SANITIZE) only: the
// sanitizers' settings for our tests, so that running a test program by hand
// behaves as under ctest.
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BITS_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define BITS_UNDER_TSAN 1
#endif

// LLVM's OpenMP runtime keeps some of its thread bookkeeping to the end of the
// process without freeing it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libomp.so\n"; }

#ifdef BITS_UNDER_TSAN
// The first report ends the process, so the test fails; reports inside modules
// without instrumentation (libomp, whose synchronization Archer reports
// instead) are dropped; a failed allocation returns null, as the tests of
// failed scratch allocations expect.
#define BITS_TSAN_OPTIONS "halt_on_error=1:ignore_noninstrumented_modules=1:allocator_may_return_null=1"
extern "C" const char* __tsan_default_options() { return BITS_TSAN_OPTIONS; }

// Archer reads TSan's options from the environment only, and warns when they
// do not drop the reports inside libomp.
__attribute__((constructor)) static void export_tsan_options() { setenv("TSAN_OPTIONS", BITS_TSAN_OPTIONS, 0); }
#endif
