// row_values (the exact expansion of modes to a network's reactions) on an
// expansion whose reactions come in chains of 3 or 4 equal rows, against
// the same expansion with every row made different (the same non-zeros,
// one entry changed): equal rows are copied, not summed again, so the
// ratio is what the chains save. One thread, CPU time, median of runs.
//   bench_row_values [modes]      (default 1,000,000: 1.7 GB for the result;
//                                  EColiCore2-glucose has 3,161,820)
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "bench/bench_timing.h"
#include "core/double_description.h"

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
#ifdef _OPENMP
  omp_set_num_threads(1);
#endif
  const std::uint64_t nc = 59, d = 23;  // EColiCore2-glucose compressed: 59 reactions, 23 coordinates
  std::mt19937_64 gen(1);
  // The compressed rows: d pivot rows of one entry, the others of 1 to 8.
  std::vector<std::int64_t> B(nc * d, 0);
  for (std::uint64_t r = 0; r < nc; ++r) {
    if (r < d) {
      B[r + r * nc] = 1;
      continue;
    }
    for (int e = 0, k = 1 + static_cast<int>(gen() % 8); e < k; ++e)
      B[r + (gen() % d) * nc] = static_cast<std::int64_t>(gen() % 5) - 2;
  }
  std::vector<std::uint64_t> from;  // each reaction's compressed row
  for (std::uint64_t r = 0; r < nc; ++r)
    for (int c = 0; c < 3 + (r % 2 == 0 || r % 5 == 0); ++c) from.push_back(r);
  const std::uint64_t n = from.size();
  std::vector<std::int64_t> equal(n * d), distinct(n * d);
  for (std::uint64_t j = 0; j < n; ++j)
    for (std::uint64_t i = 0; i < d; ++i) equal[j + i * n] = distinct[j + i * n] = B[from[j] + i * nc];
  for (std::uint64_t j = 0; j < n; ++j)  // the first entry of each row made the row's own
    for (std::uint64_t i = 0; i < d; ++i)
      if (distinct[j + i * n] != 0) {
        distinct[j + i * n] += static_cast<std::int64_t>(3 * j);
        break;
      }
  std::vector<std::int64_t> X(d * count), Y(n * count);
  for (std::int64_t& v : X) v = static_cast<std::int64_t>(gen() % 2001) - 1000;
  bits::row_values(equal.data(), n, d, X.data(), count, Y.data());  // the first writes into Y
  const double t_equal = bench::median_ms([&] { bits::row_values(equal.data(), n, d, X.data(), count, Y.data()); });
  const double t_distinct =
      bench::median_ms([&] { bits::row_values(distinct.data(), n, d, X.data(), count, Y.data()); });
  std::printf("row_values, %llu modes to %llu reactions (chains of 3-4 over %llu rows), one thread, median of %d\n",
              static_cast<unsigned long long>(count), static_cast<unsigned long long>(n),
              static_cast<unsigned long long>(nc), bench::repeat);
  std::printf("  equal rows in chains: %.0f ms\n  every row different:  %.0f ms\n  ratio: %.2f\n", t_equal,
              t_distinct, t_equal / t_distinct);
  return 0;
}
