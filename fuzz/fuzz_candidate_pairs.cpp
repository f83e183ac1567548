// The count test of candidate_pairs against the plain reference
// (tests/pattern_data.h) on every instruction-set path this processor runs,
// with both runs of the kernel (counting, then writing from the offsets),
// mixed index classes, either word width and teams of 1 to 3 threads.
#include <cstdint>
#include <random>
#include <vector>

#include "core/simd.h"
#include "fuzz/fuzz_input.h"
#include "tests/candidate_pairs_run.h"

namespace {

using testdata::pattern_matrix;

template <typename index_t>
void check(fuzzin::reader& in, const pattern_matrix& R, int threads) {
  std::vector<index_t> pos(in.below(40)), neg(in.below(70));
  for (auto* list : {&pos, &neg})
    for (index_t& v : *list) {
      const std::uint8_t b = in.byte();
      v = static_cast<index_t>(b % R.cols) + ((b & 0x80) ? index_t(0.25) : index_t(0));
    }
  // Around the typical union sizes, now and then beyond every one.
  const std::uint8_t m = in.byte();
  const std::uint64_t max_union = (m & 0x80) ? 32 * R.rows + (m & 0x7F) : (m * R.rows) / 4;
  const auto expected = testdata::reference_pairs(R, pos, neg, max_union);
  auto run = [&](auto word) {
    using W = decltype(word);
    for (bits::simd_isa isa : {bits::simd_isa::scalar, bits::simd_isa::avx2, bits::simd_isa::avx512})
      if (isa <= bits::cpu_simd_isa()) {
        const auto got = testdata::run_candidate_pairs<W>(R, pos, neg, max_union, isa, threads);
        FUZZ_CHECK(!got.wrote_past_end && got.j_comb == expected);
      }
  };
  if (bits::uses_wide_words(R.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const std::uint64_t rows = in.below(40), cols = 1 + in.below(80);
  const std::uint8_t mode = in.byte();
  const int threads = 1 + (mode >> 6) % 3;
  pattern_matrix R(rows, cols);
  if (mode & 1) {
    std::mt19937_64 rng(in.word<std::uint64_t>());
    testdata::fill_random(R, rng, (1 + in.below(99)) / 100.0);
  } else {
    in.fill(R.data.data(), R.data.size() * 4);
  }
  if (mode & 2) check<double>(in, R, threads);
  else check<std::uint32_t>(in, R, threads);
  return 0;
}
