// The run-time choice of the instruction set: BITS_SIMD narrows the
// processor's path and never widens it; anything but a path name is ignored.
#include <algorithm>

#include <gtest/gtest.h>

#include "core/simd.h"

namespace {

using bits::simd_isa;

TEST(SimdChoice, BitsSimdCapsThePathAndNeverRaisesIt) {
  for (simd_isa cpu : {simd_isa::scalar, simd_isa::avx2, simd_isa::avx512}) {
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "AVX2", "sse4", "avx2 "})
      EXPECT_EQ(bits::capped_simd_isa(cpu, ignored), cpu) << (ignored ? ignored : "unset");
    for (simd_isa cap : {simd_isa::scalar, simd_isa::avx2, simd_isa::avx512})
      EXPECT_EQ(bits::capped_simd_isa(cpu, bits::simd_isa_name(cap)), std::min(cpu, cap))
          << bits::simd_isa_name(cpu) << " capped by " << bits::simd_isa_name(cap);
  }
  EXPECT_LE(bits::best_simd_isa(), bits::cpu_simd_isa());
  if (!BITS_SIMD_DISPATCH) {
    EXPECT_EQ(bits::cpu_simd_isa(), simd_isa::scalar);
  }
}

}  // namespace
