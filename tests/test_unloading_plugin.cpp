// Unloading a plug-in after threaded calls, as `clear mex` does, and loading
// it again. No OpenMP worker thread may outlive the plug-in's code: on Linux
// the shared runtime stays mapped and its threads are reused by the next
// load; on Windows each plug-in carries its own runtime and ends the threads
// from its exit handler before it is unloaded.
#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include "plugin_harness.h"

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
void threaded_round() {
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

TEST(Unloading, NoWorkerThreadOutlivesThePlugin) {
#if defined(_WIN32)
  // The plug-in's own runtime has ended its workers before it went away.
  const std::size_t before = thread_count();
  threaded_round();
  EXPECT_EQ(settled_thread_count(before), before);
  const std::size_t after_first = before;
#else
  // The shared runtime keeps its parked workers for the next load.
  threaded_round();
  const std::size_t after_first = thread_count();
#endif
  for (int round = 0; round < 3; ++round) {
    threaded_round();
    EXPECT_EQ(settled_thread_count(after_first), after_first) << "after round " << round + 2;
  }
}

}  // namespace
