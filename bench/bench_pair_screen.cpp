// Pair-screening benchmarks: the plain scan (one root of no bits listing
// every column) against the tree walk, the straightforward column scan
// against the vector one, and one thread against two, on random patterns and
// on pair-screen instances saved by extreme_rays (PSCREEN1 files, .psi).
//
//   bench_pair_screen [--repeat N] [instance files or folders of .psi files...]
//
// Random data (fixed seeds): R has 4,000 columns of M = 4 and 33 uint32 rows,
// bit density 0.3, so nearly every pair is adjacent and every scan runs to
// its end; 4,000 random pairs; the tree splits the columns on one bit per
// node down to leaves of at most 64 columns, each node's pattern the AND of
// its columns. Single-threaded times are the calling thread's CPU time, the
// thread ratios wall-clock; medians of N runs (default 5).
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/pattern_data.h"
#include "bench/bench_timing.h"
#include "core/tree_adjacency.h"
#include "core/tree_adjacency_fast.h"

namespace {

using testdata::pattern_matrix;

struct instance {
  std::string name;
  pattern_matrix R, R_tree;
  std::vector<std::uint32_t> i_node, j_comb;
  std::vector<std::uint64_t> i_leaf;
  std::uint64_t nodes() const { return i_node.size(); }
};

// Bit-splitting tree: R's columns are reordered so that each leaf lists one
// contiguous range; inner nodes list nothing.
constexpr std::uint64_t kLeaf = 64;  // most columns a leaf lists

struct tree_builder {
  const pattern_matrix& in;
  pattern_matrix& out;
  instance& t;
  std::uint64_t placed = 0;
  std::vector<std::uint32_t> node_pattern;

  void build(const std::vector<std::uint64_t>& cols) {
    const std::uint64_t M = in.rows;
    const std::uint64_t l = t.i_node.size();
    t.i_node.push_back(0);
    std::vector<std::uint32_t> all(M, ~0u);
    for (std::uint64_t c : cols)
      for (std::uint64_t r = 0; r < M; ++r) all[r] &= in.column(c)[r];
    node_pattern.insert(node_pattern.end(), all.begin(), all.end());
    // The bit that splits the columns most evenly.
    std::uint64_t best_bit = 0, best_gap = cols.size();
    for (std::uint64_t bit = 0; bit < 32 * M && cols.size() > kLeaf; ++bit) {
      std::uint64_t n = 0;
      for (std::uint64_t c : cols) n += (in.column(c)[bit / 32] >> (bit % 32)) & 1u;
      const std::uint64_t gap = n > cols.size() - n ? 2 * n - cols.size() : cols.size() - 2 * n;
      if (n > 0 && n < cols.size() && gap < best_gap) best_gap = gap, best_bit = bit;
    }
    if (cols.size() <= kLeaf || best_gap == cols.size()) {
      t.i_leaf.push_back(placed);
      t.i_leaf.push_back(placed + cols.size() - 1);
      for (std::uint64_t c : cols) {
        std::memcpy(out.column(placed), in.column(c), M * sizeof(std::uint32_t));
        ++placed;
      }
    } else {
      t.i_leaf.push_back(1);
      t.i_leaf.push_back(0);  // lists nothing
      std::vector<std::uint64_t> with, without;
      for (std::uint64_t c : cols)
        ((in.column(c)[best_bit / 32] >> (best_bit % 32)) & 1u ? with : without).push_back(c);
      build(with);
      build(without);
    }
    t.i_node[l] = static_cast<std::uint32_t>(t.i_node.size());
  }
};

instance random_instance(std::uint64_t M) {
  instance t;
  t.name = "random M=" + std::to_string(M);
  std::mt19937_64 rng(5000 + M);
  pattern_matrix R(M, 4000);
  testdata::fill_random(R, rng, 0.3);
  t.R = pattern_matrix(M, R.cols);
  std::vector<std::uint64_t> cols(R.cols);
  for (std::uint64_t c = 0; c < R.cols; ++c) cols[c] = c;
  tree_builder b{R, t.R, t, 0, {}};
  b.build(cols);
  t.R_tree = pattern_matrix(M, t.nodes());
  t.R_tree.data = b.node_pattern;
  std::uniform_int_distribution<std::uint32_t> col(0, static_cast<std::uint32_t>(R.cols - 1));
  for (int k = 0; k < 2 * 4000; ++k) t.j_comb.push_back(col(rng));
  return t;
}

bool read_instance(const char* path, instance& t) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char magic[8];
  std::uint64_t n[4];
  bool ok = std::fread(magic, 1, 8, f) == 8 && !std::memcmp(magic, "PSCREEN1", 8) &&
            std::fread(n, sizeof n[0], 4, f) == 4;
  if (ok) {
    t.name = path;
    const std::size_t slash = t.name.find_last_of('/');
    if (slash != std::string::npos) t.name = t.name.substr(slash + 1);
    t.R = pattern_matrix(n[0], n[1]);
    t.j_comb.resize(2 * n[2]);
    t.R_tree = pattern_matrix(n[0], n[3]);
    t.i_node.resize(n[3]);
    t.i_leaf.resize(2 * n[3]);
    ok = std::fread(t.R.data.data(), 4, t.R.data.size(), f) == t.R.data.size() &&
         std::fread(t.j_comb.data(), 4, t.j_comb.size(), f) == t.j_comb.size() &&
         std::fread(t.R_tree.data.data(), 4, t.R_tree.data.size(), f) == t.R_tree.data.size() &&
         std::fread(t.i_node.data(), 4, t.i_node.size(), f) == t.i_node.size() &&
         std::fread(t.i_leaf.data(), 8, t.i_leaf.size(), f) == t.i_leaf.size();
  }
  std::fclose(f);
  return ok;
}

// The plain scan over the same R: one root of no bits listing every column.
instance plain_of(const instance& t) {
  instance p = t;
  p.R_tree = pattern_matrix(t.R.rows, 1);
  p.i_node = {1};
  p.i_leaf = {0, t.R.cols - 1};
  return p;
}

template <typename word_t>
void screen_as(const instance& t, std::uint8_t* out, int threads, bool fast, bits::simd_isa isa,
               std::vector<std::uint32_t>& copy, std::uint64_t depth) {
  const auto rv = bits::make_view<word_t>(t.R.data.data(), t.R.rows, t.R.cols);
  const auto tv = bits::make_view<word_t>(t.R_tree.data.data(), t.R.rows, t.nodes());
  const std::uint64_t wpc = rv.words_per_column;
  const std::int64_t n_comb = static_cast<std::int64_t>(t.j_comb.size() / 2);
  int failed = 0;
  void* scratch = fast ? copy.data() : nullptr;
#pragma omp parallel num_threads(threads)
  bits::tree_adjacency_fast_kernel<word_t, std::uint32_t>(t.j_comb.data(), tv, rv, wpc, out,
                                                          t.nodes(), t.i_leaf.data(),
                                                          t.i_node.data(), n_comb, depth, &failed,
                                                          scratch, isa);
  if (failed) {
    std::fprintf(stderr, "out of memory\n");
    std::exit(1);
  }
}

struct screen_runner {
  const instance& t;
  bits::simd_isa isa;
  std::vector<std::uint32_t> copy;
  std::uint64_t depth = 0;
  std::vector<std::uint8_t> out;
  explicit screen_runner(const instance& in, bits::simd_isa i) : t(in), isa(i) {
    std::vector<std::uint32_t> open(t.nodes() + 1);
    const bits::tree_layout layout = bits::check_tree_layout(t.i_node.data(), t.nodes(), open.data());
    if (layout.fault != bits::tree_fault::none ||
        !bits::leaf_ranges_inside(t.i_leaf.data(), t.nodes(), t.R.cols)) {
      std::fprintf(stderr, "%s: not a well-formed tree\n", t.name.c_str());
      std::exit(1);
    }
    depth = layout.depth;
    copy.resize(bits::transposed_scratch_size(t.R.rows, t.R.cols));
    out.resize(t.j_comb.size() / 2);
  }
  void run(int threads, bool fast) {
    if (bits::uses_wide_words(t.R.rows))
      screen_as<std::uint64_t>(t, out.data(), threads, fast, isa, copy, depth);
    else
      screen_as<std::uint32_t>(t, out.data(), threads, fast, isa, copy, depth);
  }
  // Small instances run several times per timing, so that one timing lasts
  // at least about 20 ms.
  double ms(int threads, bool fast) {
    const double once = bench::median_ms([&] { run(threads, fast); }, threads);
    const int reps = once >= 20.0 ? 1 : static_cast<int>(20.0 / (once > 0.001 ? once : 0.001)) + 1;
    return bench::median_ms([&] { for (int k = 0; k < reps; ++k) run(threads, fast); }, threads) / reps;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<instance> instances;
  for (std::uint64_t M : {4, 33}) instances.push_back(random_instance(M));
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--repeat") && a + 1 < argc) {
      bench::repeat = std::max(1, std::atoi(argv[++a]));
      continue;
    }
    // A folder stands for the .psi files in it.
    std::vector<std::string> files;
    std::error_code ec;
    if (std::filesystem::is_directory(argv[a], ec)) {
      for (const auto& e : std::filesystem::directory_iterator(argv[a], ec))
        if (e.path().extension() == ".psi") files.push_back(e.path().string());
      std::sort(files.begin(), files.end());
    } else if (std::filesystem::exists(argv[a], ec)) {
      files.push_back(argv[a]);
    }
    for (const std::string& f : files) {
      instance t;
      if (read_instance(f.c_str(), t)) instances.push_back(std::move(t));
      else std::fprintf(stderr, "bench_pair_screen: cannot read %s\n", f.c_str());
    }
  }
  const bits::simd_isa isa = bits::best_simd_isa();

  std::printf("\n## Pair screening, times in ms\n\n");
  std::printf("CPU: %s; vector scan: %s; median of %d runs; one thread timed by its CPU time,\n"
              "the thread ratios by the wall clock\n\n",
              bench::cpu_model().c_str(), bits::simd_isa_name(isa), bench::repeat);
  std::printf("| instance | M x N | pairs | nodes | adjacent | plain scan | plain, fast scan | "
              "tree walk | tree, fast scan | fast / scalar, plain [>= 3] | tree / plain, "
              "scalar scans | tree / plain, fast scans [>= 10 realistic, >= 0.91 random] | "
              "2 threads / 1, tree fast [>= 1.8] |\n"
              "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const instance& t : instances) {
    const instance plain = plain_of(t);
    screen_runner tree_run(t, isa), plain_run(plain, isa);
    const double plain_scalar = plain_run.ms(1, false);
    const std::vector<std::uint8_t> expected = plain_run.out;
    const double plain_fast = plain_run.ms(1, true);
    const bool plain_same = plain_run.out == expected;
    const double tree_scalar = tree_run.ms(1, false);
    const std::vector<std::uint8_t> tree_flags = tree_run.out;
    const double tree_fast = tree_run.ms(1, true);
    const bool tree_same = tree_run.out == tree_flags;
    const double tree_fast_2 = tree_run.ms(2, true);
    // One thread timed like two: by the wall clock (threads = 2 only picks the clock).
    const int reps = tree_fast < 20.0 ? static_cast<int>(20.0 / (tree_fast > 0.001 ? tree_fast : 0.001)) + 1 : 1;
    const double tree_fast_1 =
        bench::median_ms([&] { for (int k = 0; k < reps; ++k) tree_run.run(1, true); }, 2) / reps;
    if (!plain_same || !tree_same) {
      std::fprintf(stderr, "%s: fast and straightforward flags differ\n", t.name.c_str());
      return 1;
    }
    std::uint64_t ones = 0;
    for (auto f : expected) ones += f;
    std::printf("| %s | %llu x %llu | %zu | %llu | %.0f%% | %.3f | %.3f | %.3f | %.3f | %.1f | %.2f | %.2f | %.2f |\n",
                t.name.c_str(), static_cast<unsigned long long>(t.R.rows),
                static_cast<unsigned long long>(t.R.cols), expected.size(),
                static_cast<unsigned long long>(t.nodes()), 100.0 * ones / expected.size(),
                plain_scalar, plain_fast, tree_scalar, tree_fast, plain_scalar / plain_fast,
                plain_scalar / tree_scalar, plain_fast / tree_fast, tree_fast_1 / tree_fast_2);
    if (tree_flags != expected && t.name.rfind("random", 0) == 0)
      std::printf("|  | (the tree prunes differently from the plain scan on this instance) ||||||||||||\n");
  }
  return 0;
}
