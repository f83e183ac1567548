// What the command-line programs (bits_rays, bits_modes) share: their
// options' numbers, the machine's memory, reading a whole file, and the
// progress line of a step on standard error.
#ifndef BITS_CLI_CLI_COMMON_H
#define BITS_CLI_CLI_COMMON_H

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "core/double_description.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace cli_common {

inline std::uint64_t physical_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

inline bool parse_count(const char* text, std::uint64_t* v, bool suffix) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long x = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || text[0] == '-') return false;
  std::uint64_t scale = 1;
  if (suffix && *end != 0 && end[1] == 0) {
    switch (*end) {
      case 'k': case 'K': scale = 1ull << 10; break;
      case 'm': case 'M': scale = 1ull << 20; break;
      case 'g': case 'G': scale = 1ull << 30; break;
      default: return false;
    }
    ++end;
  }
  if (*end != 0 || x > UINT64_MAX / scale) return false;
  *v = x * scale;
  return true;
}

// The values of the options -t (threads) and --memory (bytes, suffix k, M
// or G): false with the message to end the program with.
inline bool thread_option(const char* text, std::uint64_t* threads, std::string* error) {
  if (parse_count(text, threads, false) && *threads > 0 && *threads <= 65535) return true;
  *error = std::string("threads must be a whole number from 1 to 65535, not '") + text + "'";
  return false;
}

inline bool memory_option(const char* text, std::uint64_t* bytes, std::string* error) {
  if (parse_count(text, bytes, true) && *bytes > 0) return true;
  *error = std::string("memory must be a number of bytes (suffix k, M or G), not '") + text + "'";
  return false;
}

// Starts the OpenMP threads of a run: `threads`, or with 0 the processor
// count shared by `processes` (processes of one job on this machine), at
// least one; the number back.
inline std::uint64_t use_threads(std::uint64_t threads, int processes = 1) {
#ifdef _OPENMP
  const int share = omp_get_num_procs() / processes;
  if (threads == 0) threads = static_cast<std::uint64_t>(share > 1 ? share : 1);
  omp_set_num_threads(static_cast<int>(threads));
#else
  (void)processes;
  if (threads == 0) threads = 1;
#endif
  return threads;
}

inline bool read_all(FILE* in, std::string* text) {
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text->append(buffer, got);
  return !std::ferror(in);
}

inline void print_step(void*, const bits::dd_step_report& r) {
  char line[400];
  bits::describe_step(r, line, sizeof line);
  std::fputs(line, stderr);
  std::fflush(stderr);
}

}  // namespace cli_common

#endif
