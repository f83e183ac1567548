// What the kernel and plug-in tests run over: the index classes the entries
// accept, and the instruction-set paths, each test saying which path it ran
// and skipping, with the path's name and the reason, where it cannot run.
#ifndef BITS_TESTS_TEST_PARAMS_H
#define BITS_TESTS_TEST_PARAMS_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include <gtest/gtest.h>

#include "core/simd.h"

namespace bits {
// Parameterised tests show their path by name (ctest: .../avx512).
inline void PrintTo(simd_isa isa, std::ostream* os) { *os << simd_isa_name(isa); }
}  // namespace bits

namespace testpaths {

// The index classes of i_perm and j_comb: a typed-test list, and a loop over
// the same classes for tests that take a path as parameter.
using index_types = ::testing::Types<std::uint32_t, double>;
template <typename body_t>
void for_each_index_type(body_t&& body) {
  body(std::uint32_t{});
  body(double{});
}

// Why this process cannot run `isa` (null when it can).
inline const char* why_not_runnable(bits::simd_isa isa) {
  if (isa <= bits::cpu_simd_isa()) return nullptr;
  return BITS_SIMD_DISPATCH ? "this processor lacks it"
                            : "this build has no vector code (BITS_SIMD_KERNELS=OFF)";
}

// Kernel tests that take the path as parameter: every path, or the vector
// ones, each skipped with its name where it cannot run.
inline auto every_path() {
  return ::testing::Values(bits::simd_isa::scalar, bits::simd_isa::avx2, bits::simd_isa::avx512);
}
inline auto vector_paths() { return ::testing::Values(bits::simd_isa::avx2, bits::simd_isa::avx512); }

class path_test : public ::testing::TestWithParam<bits::simd_isa> {
 protected:
  void SetUp() override {
    if (const char* why = why_not_runnable(GetParam()))
      GTEST_SKIP() << bits::simd_isa_name(GetParam()) << " path not run: " << why;
  }
};

// Plug-in tests of the vector kernels: the plug-ins choose their path
// themselves, capped by BITS_SIMD (ctest runs them once per path). Skips,
// naming the path, when BITS_SIMD asks for one this process cannot run (the
// plug-ins would take a narrower one); else prints the path the plug-ins
// take. Called through BITS_PLUGIN_PATH_OR_SKIP, which ends a skipped test.
inline void plugin_path_or_skip() {
  const char* request = std::getenv("BITS_SIMD");
  bits::simd_isa asked;
  if (bits::parse_simd_isa(request, &asked))
    if (const char* why = why_not_runnable(asked))
      GTEST_SKIP() << bits::simd_isa_name(asked) << " path not run: " << why;
  std::printf("[   PATH   ] the plug-ins take the %s path%s%s\n",
              bits::simd_isa_name(bits::best_simd_isa()), request ? ", BITS_SIMD=" : "",
              request ? request : "");
}

}  // namespace testpaths

#define BITS_PLUGIN_PATH_OR_SKIP()                        \
  do {                                                    \
    testpaths::plugin_path_or_skip();                     \
    if (::testing::Test::IsSkipped()) return;             \
  } while (0)

#endif
