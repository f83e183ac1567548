// The subset table kernels against the plain bit-by-bit test: the
// straightforward kernel, and the vector kernel on every instruction-set path
// this processor runs, for both index classes, either word width, patterns
// that start 4 bytes past an 8-byte boundary, and teams of 1 to 3 threads.
// The patterns come from the input as they stand, or from a generator seeded
// by it (random or deep data, subsets of the reference columns).
#include <cstdint>
#include <random>
#include <vector>

#include "core/simd.h"
#include "core/subset_table.h"
#include "core/subset_table_fast.h"
#include "fuzz/fuzz_input.h"
#include "tests/pattern_data.h"

namespace {

using testdata::pattern_matrix;
constexpr std::size_t guard = 64;  // bytes after the output that nothing may touch

// The matrix copied into `block` from element `shift` on.
const std::uint32_t* placed(const pattern_matrix& m, std::vector<std::uint32_t>& block, int shift) {
  block.assign(m.data.size() + 2, 0);
  std::copy(m.data.begin(), m.data.end(), block.begin() + shift);
  return block.data() + shift;
}

template <typename word_t, typename index_t>
std::vector<std::uint8_t> table(const std::uint32_t* S, const std::uint32_t* R, std::uint64_t rows,
                                std::uint64_t n_subset, std::uint64_t n_ref,
                                const std::vector<index_t>& idx, int threads, bool fast,
                                bits::simd_isa isa) {
  std::vector<std::uint8_t> out(n_subset * idx.size() + guard, 0xAA);
  const auto sv = bits::make_view<word_t>(S, rows, n_subset);
  const auto rv = bits::make_view<word_t>(R, rows, n_ref);
  const std::uint64_t wpc = sv.words_per_column;
  std::vector<std::uint32_t> scratch(
      bits::transposed_scratch_size(bits::elements_per_column<word_t>(wpc), n_subset));
  const std::int64_t n_perm = static_cast<std::int64_t>(idx.size());
#pragma omp parallel num_threads(threads)
  {
    if (fast)
      bits::subset_table_fast_kernel<word_t, index_t>(idx.data(), sv, rv, wpc, out.data(), n_perm,
                                                      n_subset, scratch.data(), isa);
    else
      bits::subset_table_kernel<word_t, index_t>(idx.data(), sv, rv, wpc, out.data(), n_perm, n_subset);
  }
  for (std::size_t k = out.size() - guard; k < out.size(); ++k) FUZZ_CHECK(out[k] == 0xAA);
  out.resize(out.size() - guard);
  return out;
}

template <typename index_t>
void check(fuzzin::reader& in, const pattern_matrix& S, const pattern_matrix& R, int threads, int shift) {
  const std::uint64_t n_perm = in.below(41);
  std::vector<index_t> idx;
  for (std::uint64_t i = 0; i < n_perm; ++i) {
    const std::uint8_t b = in.byte();
    idx.push_back(static_cast<index_t>(b % R.cols) + ((b & 0x80) ? index_t(0.75) : index_t(0)));
  }
  // The flags from their definition.
  std::vector<std::uint8_t> expected;
  for (index_t i : idx)
    for (std::uint64_t j = 0; j < S.cols; ++j)
      expected.push_back(testdata::reference_inside(S.column(j), R.column(std::uint64_t(i)), R.rows));

  std::vector<std::uint32_t> s_block, r_block;
  const std::uint32_t* s = placed(S, s_block, shift);
  const std::uint32_t* r = placed(R, r_block, shift);
  auto run = [&](auto word) {
    using W = decltype(word);
    FUZZ_CHECK(table<W>(s, r, R.rows, S.cols, R.cols, idx, 1, false, bits::simd_isa::scalar) == expected);
    for (bits::simd_isa isa : {bits::simd_isa::scalar, bits::simd_isa::avx2, bits::simd_isa::avx512})
      if (isa <= bits::cpu_simd_isa())
        FUZZ_CHECK(table<W>(s, r, R.rows, S.cols, R.cols, idx, threads, true, isa) == expected);
  };
  if (bits::uses_wide_words(R.rows)) run(std::uint64_t{}); else run(std::uint32_t{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const std::uint64_t rows = in.below(41), n_subset = in.below(50), n_ref = 1 + in.below(40);
  const std::uint8_t mode = in.byte();
  const int threads = 1 + (mode >> 6) % 3;
  const int shift = (mode >> 5) & 1;  // start 4 bytes past an 8-byte boundary
  pattern_matrix R(rows, n_ref), S(rows, n_subset);
  if (mode & 1) {  // generated from a seed: random or deep data
    std::mt19937_64 rng(in.word<std::uint64_t>());
    if (mode & 2) {
      testdata::fill_random(R, rng, 0.3);
      S = testdata::subsets_of(R, n_subset, rng, 0.3);
    } else {
      testdata::fill_random(R, rng, 0.95);
      testdata::fill_random(S, rng, rows > 16 ? 0.002 : 0.05);
    }
  } else {  // as the input gives them; S column j may be R column j thinned
    in.fill(R.data.data(), R.data.size() * 4);
    for (std::uint64_t j = 0; j < n_subset; ++j) {
      const bool thinned = (mode & 4) && j < n_ref;
      for (std::uint64_t k = 0; k < rows; ++k)
        S.column(j)[k] = thinned ? R.column(j)[k] & in.word<std::uint32_t>() : in.word<std::uint32_t>();
    }
  }
  if (mode & 8) check<double>(in, S, R, threads, shift);
  else check<std::uint32_t>(in, S, R, threads, shift);
  return 0;
}
