// Timing helpers shared by the benchmark drivers.
#ifndef BITS_BENCH_TIMING_H
#define BITS_BENCH_TIMING_H

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline int repeat = 5;

// Median time of one run in ms. Single-threaded runs are timed by the CPU
// time of the calling thread, which other load on a shared machine does not
// inflate; runs in a team (threads > 1) by the wall clock.
inline double median_ms(const std::function<void()>& run, int threads = 1) {
  auto now = [threads] {
    if (threads > 1)
      return std::chrono::duration<double, std::milli>(
                 std::chrono::steady_clock::now().time_since_epoch()).count();
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
  };
  std::vector<double> t;
  run();  // warm-up: page in the output and the caches
  for (int k = 0; k < repeat; ++k) {
    const double a = now();
    run();
    t.push_back(now() - a);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

inline std::string cpu_model() {
  FILE* f = std::fopen("/proc/cpuinfo", "r");
  if (!f) return "unknown";
  char line[512];
  std::string model = "unknown";
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "model name", 10) == 0) {
      const char* colon = std::strchr(line, ':');
      if (colon) model = colon + 2;
      model.erase(model.find_last_not_of("\n ") + 1);
      break;
    }
  std::fclose(f);
  return model;
}

}  // namespace bench

#endif
