// Unloading the OpenMP plug-ins after threaded calls, as `clear mex` does, and loading
// it again. No OpenMP worker thread may outlive the plug-in's code: on Linux
// the shared runtime stays mapped and its threads are reused by the next
// load; on Windows each plug-in carries its own runtime and ends the threads
// from its exit handler before it is unloaded.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#endif

#include "tests/plugin_harness.h"

namespace {

using harness::array_ptr;
using harness::u16_scalar;
using harness::u32;

// Threads of this process now.
std::size_t thread_count() {
  std::size_t n = 0;
#if defined(_WIN32)
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
    if (entry.th32OwnerProcessID == self) ++n;
  CloseHandle(snap);
#else
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(dir))
      if (e->d_name[0] != '.') ++n;
    closedir(dir);
  }
#endif
  return n;
}

// Whether LLVM's OpenMP runtime (libomp, of the clang builds) is loaded: it
// keeps the workers of every calling thread in one pool for the process.
bool llvm_openmp_loaded() {
#if defined(_WIN32)
  return false;
#else
  void* h = dlopen("libomp.so.5", RTLD_LAZY | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
#endif
}

// Threads end a little after they are told to: wait (boundedly) until the
// count has come down to `expected`, and return the count then.
std::size_t settled_thread_count(std::size_t expected) {
  std::size_t n = thread_count();
  for (int k = 0; k < 200 && n > expected; ++k) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    n = thread_count();
  }
  return n;
}

// Loads bits_within, makes a call on every processor, unloads it.
void bits_within_round() {
  harness::loaded_plugin p("bits_within");
  std::vector<std::uint32_t> patterns(64);
  for (std::size_t k = 0; k < patterns.size(); ++k) patterns[k] = std::uint32_t(k);
  std::vector<std::uint32_t> index(256);
  for (std::size_t k = 0; k < index.size(); ++k) index[k] = std::uint32_t(k % 64);
  array_ptr S = u32(1, 64, patterns), R = u32(1, 64, patterns);
  array_ptr idx = u32(1, index.size(), index), all = u16_scalar(65535);
  const auto o = p.call(1, {S.get(), R.get(), idx.get(), all.get()});
  ASSERT_FALSE(o.failed) << o.message;
  // Column j of S lies inside column i of R exactly when j's bits are i's.
  const auto flags = harness::values<std::uint8_t>(o.out());
  ASSERT_EQ(flags.size(), 64u * 256u);
  for (std::size_t i = 0; i < index.size(); ++i)
    for (std::uint32_t j = 0; j < 64; ++j)
      ASSERT_EQ(flags[i * 64 + j], (j & index[i]) == j ? 1 : 0) << "i=" << i << " j=" << j;
}

// The same for pair_screen: two pairs of columns, screened against one node.
void pair_screen_round() {
  harness::loaded_plugin p("pair_screen");
  array_ptr R = u32(2, 3, {1, 0, 2, 0, 3, 0}), T = u32(2, 1), nodes = u32(1, 1, {1});
  array_ptr leaves = harness::make<std::uint64_t>(mxUINT64_CLASS, {2, 1}, {0, 2});
  array_ptr pairs = u32(2, 2, {0, 1, 0, 0}), all = u16_scalar(65535);
  const auto o = p.call(1, {R.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), all.get()});
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{0, 1}));
}

void expect_no_thread_outlives(void (*round)()) {
#if defined(_WIN32)
  // The plug-in's own runtime has ended its workers before it went away.
  const std::size_t before = thread_count();
  round();
  EXPECT_EQ(settled_thread_count(before), before);
  const std::size_t after_first = before;
#else
  // The shared runtime keeps its parked workers for the next load.
  round();
  const std::size_t after_first = thread_count();
#endif
  for (int k = 0; k < 3; ++k) {
    round();
    EXPECT_EQ(settled_thread_count(after_first), after_first) << "after round " << k + 2;
  }
}

// A host may call a plug-in on one thread and unload it on another while the
// first is still alive. That thread's parked workers must end with it, and
// must not crash anything before: on Windows the plug-in stays mapped then.
TEST(Unloading, WorkersOfAnotherCallingThreadEndWithIt) {
  const std::size_t before = thread_count();
  auto* p = new harness::loaded_plugin("bits_within");
  std::mutex m;
  std::condition_variable cv;
  bool called = false, unloaded = false;
  std::thread caller([&] {
    std::vector<std::uint32_t> patterns{1, 3, 7, 15};
    array_ptr S = u32(1, 4, patterns), R = u32(1, 4, patterns);
    array_ptr idx = u32(1, 8, {0, 1, 2, 3, 3, 2, 1, 0}), all = u16_scalar(65535);
    const auto o = p->call(1, {S.get(), R.get(), idx.get(), all.get()});
    EXPECT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()).size(), 32u);
    std::unique_lock<std::mutex> lock(m);
    called = true;
    cv.notify_all();
    cv.wait(lock, [&] { return unloaded; });
  });
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return called; });
  }
  delete p;  // unloads, with the calling thread and its workers alive
  {
    std::lock_guard<std::mutex> lock(m);
    unloaded = true;
  }
  cv.notify_all();
  caller.join();
  if (llvm_openmp_loaded()) {
    // The ended thread's workers wait in libomp's pool, and the next call takes them.
    const std::size_t pooled = thread_count();
    bits_within_round();
    EXPECT_EQ(settled_thread_count(pooled), pooled);
    return;
  }
  EXPECT_EQ(settled_thread_count(before), before);
  // The plug-in loads and works again.
  bits_within_round();
}

TEST(Unloading, NoWorkerThreadOutlivesBitsWithin) { expect_no_thread_outlives(bits_within_round); }
TEST(Unloading, NoWorkerThreadOutlivesPairScreen) { expect_no_thread_outlives(pair_screen_round); }

}  // namespace
