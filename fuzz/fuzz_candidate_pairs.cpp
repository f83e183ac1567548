// The count test of candidate_pairs against the plain reference
// (tests/pattern_data.h) on every instruction-set path this processor runs,
// with both runs of the kernel (counting, then writing from the offsets),
// mixed index classes, either word width and teams of 1 to 3 threads.
#include <cstdint>
#include <random>
#include <vector>

#include "core/candidate_pairs.h"
#include "core/simd.h"
#include "fuzz/fuzz_input.h"
#include "tests/pattern_data.h"

namespace {

using testdata::pattern_matrix;

template <typename word_t, typename index_t>
std::vector<std::uint32_t> pairs(const pattern_matrix& R, const std::vector<index_t>& pos,
                                 const std::vector<index_t>& neg, std::uint64_t max_union,
                                 bits::simd_isa isa, int threads) {
  const std::int64_t n_pos = static_cast<std::int64_t>(pos.size());
  std::vector<std::uint64_t> counts(pos.size()), offsets(pos.size());
  std::vector<std::uint32_t> scratch(bits::candidate_scratch_elements(R.rows, pos.size(), neg.size(), isa));
  void* block = scratch.empty() ? nullptr : scratch.data();
  const auto view = bits::make_view<word_t>(R.data.data(), R.rows, R.cols);
#pragma omp parallel num_threads(threads)
  bits::scan_candidate_pairs<word_t, index_t, index_t>(pos.data(), n_pos, neg.data(), neg.size(), view,
                                                       view.words_per_column, max_union, counts.data(),
                                                       nullptr, nullptr, block, isa);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < pos.size(); ++i) {
    offsets[i] = total;
    total += counts[i];
  }
  std::vector<std::uint32_t> j_comb(2 * total + 2, 0xFFFFFFFFu);
#pragma omp parallel num_threads(threads)
  bits::scan_candidate_pairs<word_t, index_t, index_t>(pos.data(), n_pos, neg.data(), neg.size(), view,
                                                       view.words_per_column, max_union, counts.data(),
                                                       offsets.data(), j_comb.data(), block, isa);
  FUZZ_CHECK(j_comb[2 * total] == 0xFFFFFFFFu && j_comb[2 * total + 1] == 0xFFFFFFFFu);
  j_comb.resize(2 * total);
  return j_comb;
}

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
      if (isa <= bits::cpu_simd_isa()) FUZZ_CHECK((pairs<W>(R, pos, neg, max_union, isa, threads) == expected));
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
