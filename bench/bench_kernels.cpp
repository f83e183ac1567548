// Kernel benchmarks: every way of computing one subset table, side by side,
// timed in the same run on the same data, printed as a Markdown table of
// times and ratios.
//
//   bench_kernels [--native PATH] [--repeat N] [--fast-only]
//
// --native PATH runs PATH (this driver built with -march=native) with
// --fast-only and sets its fast-kernel times beside ours; --fast-only prints
// only "shape data ms" lines of the fast kernel on one thread.
//
// Data (fixed seeds): R has 2,000 columns, i_perm is a shuffled 0..1999,
// R_subset has 20,000 columns; M = 4 and 33 uint32 rows.
//   random: R and R_subset random, bit density 0.3 (most tests end in word 0);
//   deep:   R_subset density 0.05 against R density 0.95 (tests run long).
// Every time is the median of N runs (default 5).
#include <omp.h>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/pattern_data.h"
#include "bench/bench_timing.h"
#include "core/subset_table.h"
#include "core/subset_table_fast.h"

namespace {

using testdata::pattern_matrix;

constexpr std::uint64_t kSubsets = 20000;
constexpr std::uint64_t kPerm = 2000;

struct instance {
  std::string data;
  pattern_matrix S, R;
  std::vector<std::uint32_t> idx;
};

instance make_instance(std::uint64_t rows, bool deep) {
  instance in;
  in.data = deep ? "deep" : "random";
  std::mt19937_64 rng(1000 * rows + (deep ? 1 : 0));
  in.R = pattern_matrix(rows, kPerm);
  in.S = pattern_matrix(rows, kSubsets);
  testdata::fill_random(in.R, rng, deep ? 0.95 : 0.3);
  testdata::fill_random(in.S, rng, deep ? 0.05 : 0.3);
  for (std::uint32_t c = 0; c < kPerm; ++c) in.idx.push_back(c);
  std::shuffle(in.idx.begin(), in.idx.end(), rng);
  return in;
}

// CPU time of the slowest thread of the last run_table, in ms: on a shared
// machine the wall clock of a team also counts the time its threads waited
// for a processor; this shows how evenly the work itself was split.
double g_slowest_thread_ms = 0;

double thread_cpu_ms() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

// One kernel run over the whole table in a team of `threads`, as the entry
// runs it; fast = vector kernel with the transposed copy (its filling timed).
template <typename word_t>
void run_table(const instance& in, std::uint8_t* out, int threads, bool fast, bits::simd_isa isa,
               std::vector<std::uint32_t>& scratch) {
  const auto sv = bits::make_view<word_t>(in.S.data.data(), in.S.rows, in.S.cols);
  const auto rv = bits::make_view<word_t>(in.R.data.data(), in.R.rows, in.R.cols);
  const std::uint64_t wpc = sv.words_per_column;
  const std::int64_t n_perm = static_cast<std::int64_t>(in.idx.size());
  void* block = fast ? scratch.data() : nullptr;
  double slowest = 0;
#pragma omp parallel num_threads(threads) reduction(max : slowest)
  {
    const double start = thread_cpu_ms();
    if (fast)
      bits::subset_table_fast_kernel<word_t, std::uint32_t>(in.idx.data(), sv, rv, wpc, out, n_perm,
                                                            in.S.cols, block, isa);
    else
      bits::subset_table_kernel<word_t, std::uint32_t>(in.idx.data(), sv, rv, wpc, out, n_perm,
                                                       in.S.cols);
    slowest = thread_cpu_ms() - start;
  }
  g_slowest_thread_ms = slowest;
}

void run_any(const instance& in, std::uint8_t* out, int threads, bool fast, bits::simd_isa isa,
             std::vector<std::uint32_t>& scratch) {
  if (bits::uses_wide_words(in.S.rows))
    run_table<std::uint64_t>(in, out, threads, fast, isa, scratch);
  else
    run_table<std::uint32_t>(in, out, threads, fast, isa, scratch);
}

// The branch-free std::bitset table: (s & ~r).none() for every pair, with
// the patterns converted to bitsets beforehand (not timed).
template <std::size_t Rows>
struct bitset_table {
  std::vector<std::bitset<32 * Rows>> S, R;
  explicit bitset_table(const instance& in) {
    auto convert = [](const pattern_matrix& m) {
      std::vector<std::bitset<32 * Rows>> v(m.cols);
      for (std::uint64_t c = 0; c < m.cols; ++c)
        for (std::size_t r = 0; r < Rows; ++r)
          for (int b = 0; b < 32; ++b)
            if ((m.column(c)[r] >> b) & 1u) v[c].set(32 * r + b);
      return v;
    };
    S = convert(in.S);
    R = convert(in.R);
  }
  void run(const std::vector<std::uint32_t>& idx, std::uint8_t* out) const {
    const std::size_t n = S.size();
    for (std::size_t i = 0; i < idx.size(); ++i) {
      const std::bitset<32 * Rows>& r = R[idx[i]];
      std::uint8_t* col = out + i * n;
      for (std::size_t j = 0; j < n; ++j) col[j] = (S[j] & ~r).none() ? 1 : 0;
    }
  }
};

template <std::size_t Rows>
double time_bitset(const instance& in, std::vector<std::uint8_t>& out,
                   const std::vector<std::uint8_t>& expected) {
  const bitset_table<Rows> table(in);
  const double ms = bench::median_ms([&] { table.run(in.idx, out.data()); });
  if (out != expected) {
    std::fprintf(stderr, "std::bitset table differs from the straightforward one\n");
    std::exit(1);
  }
  return ms;
}

struct row {
  std::uint64_t rows;
  std::string data;
  double straight, bitset, fast, fast2, straight2, floor, native;
  double fast1w, straight1w;  // one thread, wall clock, for the thread ratios
  double fast2cpu;            // two threads, CPU time of the slower one
  double avx2;                // the vector kernel held to AVX2
  double ones;
};

double fast_ms(const instance& in, std::vector<std::uint8_t>& out, int threads,
               bits::simd_isa isa, std::vector<std::uint32_t>& scratch) {
  return bench::median_ms([&] { run_any(in, out.data(), threads, true, isa, scratch); }, threads);
}

std::map<std::string, double> read_native(const std::string& path) {
  std::map<std::string, double> times;
  const std::string cmd = "'" + path + "' --fast-only --repeat " + std::to_string(bench::repeat);
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return times;
  char shape[64], data[64];
  double ms;
  while (std::fscanf(p, "%63s %63s %lf", shape, data, &ms) == 3)
    times[std::string(shape) + " " + data] = ms;
  pclose(p);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  std::string native;
  bool fast_only = false;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--native") && a + 1 < argc) native = argv[++a];
    else if (!std::strcmp(argv[a], "--repeat") && a + 1 < argc) bench::repeat = std::atoi(argv[++a]);
    else if (!std::strcmp(argv[a], "--fast-only")) fast_only = true;
  }
  if (bench::repeat < 1) bench::repeat = 1;
  const bits::simd_isa isa = bits::best_simd_isa();

  std::vector<row> rows;
  std::map<std::string, double> native_times;
  if (!fast_only && !native.empty()) native_times = read_native(native);

  for (std::uint64_t M : {4, 33}) {
    for (bool deep : {false, true}) {
      const instance in = make_instance(M, deep);
      std::vector<std::uint32_t> scratch(bits::transposed_scratch_size(M, kSubsets));  // M elements per column
      std::vector<std::uint8_t> out(kSubsets * kPerm), expected(kSubsets * kPerm);
      const std::string key = "M=" + std::to_string(M) + " " + in.data;
      if (fast_only) {
        std::printf("%s %.4f\n", key.c_str(), fast_ms(in, out, 1, isa, scratch));
        continue;
      }
      row r{};
      r.rows = M;
      r.data = in.data;
      r.straight = bench::median_ms([&] { run_any(in, expected.data(), 1, false, isa, scratch); });
      r.straight2 = bench::median_ms([&] { run_any(in, out.data(), 2, false, isa, scratch); }, 2);
      r.straight1w = bench::median_ms([&] { run_any(in, out.data(), 1, false, isa, scratch); }, 2);
      r.fast = fast_ms(in, out, 1, isa, scratch);
      if (out != expected) {
        std::fprintf(stderr, "fast table differs from the straightforward one (%s)\n", key.c_str());
        return 1;
      }
      r.fast2 = fast_ms(in, out, 2, isa, scratch);
      {
        std::vector<double> slowest;
        for (int k = 0; k < bench::repeat; ++k) {
          run_any(in, out.data(), 2, true, isa, scratch);
          slowest.push_back(g_slowest_thread_ms);
        }
        std::sort(slowest.begin(), slowest.end());
        r.fast2cpu = slowest[slowest.size() / 2];
      }
      r.fast1w = bench::median_ms([&] { run_any(in, out.data(), 1, true, isa, scratch); }, 2);
      r.avx2 = isa >= bits::simd_isa::avx2 ? fast_ms(in, out, 1, bits::simd_isa::avx2, scratch) : 0.0;
      if (r.avx2 > 0 && out != expected) {
        std::fprintf(stderr, "AVX2 table differs from the straightforward one (%s)\n", key.c_str());
        return 1;
      }
      r.bitset = M == 4 ? time_bitset<4>(in, out, expected) : time_bitset<33>(in, out, expected);
      r.floor = bench::median_ms([&] { std::memset(out.data(), 1, out.size()); });
      const auto n = native_times.find(key);
      r.native = n == native_times.end() ? 0.0 : n->second;
      std::uint64_t ones = 0;
      for (auto f : expected) ones += f;
      r.ones = double(ones) / double(expected.size());
      rows.push_back(r);
    }
  }
  if (fast_only) return 0;

  std::printf("## Subset table, %llu x %llu flags (R_subset columns x i_perm), times in ms\n\n",
              static_cast<unsigned long long>(kSubsets), static_cast<unsigned long long>(kPerm));
  std::printf("CPU: %s; vector kernel: %s; %d processors; median of %d runs; one thread timed\n"
              "by its CPU time, the thread ratios by the wall clock\n\n",
              bench::cpu_model().c_str(), bits::simd_isa_name(isa), omp_get_num_procs(), bench::repeat);
  std::printf("| M | data | ones | straightforward | std::bitset | fast | fast, AVX2 only | "
              "memset floor | fast 2 threads | native fast |\n"
              "|---|---|---|---|---|---|---|---|---|---|\n");
  for (const row& r : rows)
    std::printf("| %llu | %s | %.0f%% | %.1f | %.1f | %.2f | %.2f | %.2f | %.2f | %s |\n",
                static_cast<unsigned long long>(r.rows), r.data.c_str(), 100 * r.ones, r.straight,
                r.bitset, r.fast, r.avx2, r.floor, r.fast2,
                r.native > 0 ? std::to_string(r.native).substr(0, 5).c_str() : "-");
  std::printf("\nRatios (higher is better for the fast kernel; goal in brackets):\n\n");
  std::printf("| M | data | fast / straightforward | fast / std::bitset [>= 2] | "
              "memset / fast [>= 0.33] | 2 threads / 1, fast [>= 1.8] | "
              "2 threads / 1, fast, by thread CPU time | "
              "2 threads / 1, straightforward | portable / native [>= 0.9] |\n"
              "|---|---|---|---|---|---|---|---|---|\n");
  for (const row& r : rows) {
    const char* goal = r.data == "deep" ? ">= 8" : ">= 6";
    char native_ratio[32] = "-";
    if (r.native > 0) std::snprintf(native_ratio, sizeof native_ratio, "%.2f", r.native / r.fast);
    std::printf("| %llu | %s | %.1f [%s] | %.1f | %.2f | %.2f | %.2f | %.2f | %s |\n",
                static_cast<unsigned long long>(r.rows), r.data.c_str(), r.straight / r.fast, goal,
                r.bitset / r.fast, r.floor / r.fast, r.fast1w / r.fast2, r.fast / r.fast2cpu, r.straight1w / r.straight2,
                native_ratio);
  }
  return 0;
}
