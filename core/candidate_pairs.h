// Candidate pairs of the double description method: for every column p of R
// named in i_pos and every column q named in i_neg, the pair (p, q) whose
// union of patterns holds at most max_union bits (the count test: two rays
// can span a 2-face only when the constraints that vanish on both are
// numerous enough).
//
// The pairs come out in a fixed order, by position in i_pos and then in
// i_neg, whatever the thread count. Their number is not known in advance, so
// a call runs the scan twice: scan_candidate_pairs first counts the pairs of
// each p, the caller then sizes the output from the counts, and the same
// function, given the offsets, writes them. Both runs are bodies of parallel
// regions (dynamic schedule over i_pos) and call nothing of the host.
//
// Where the processor has AVX-512 with its population count
// (AVX512_VPOPCNTDQ), the columns of i_neg are first copied, transposed, in
// groups of 16 (transposed_columns.h), and 16 pairs are tested per step. The
// other paths test one pair at a time, with the processor's population count
// instruction on the AVX2 path.
#ifndef BITS_CORE_CANDIDATE_PAIRS_H
#define BITS_CORE_CANDIDATE_PAIRS_H

#include <atomic>
#include <cstdint>

#include "core/packed_patterns.h"
#include "core/simd.h"
#include "core/transposed_columns.h"

namespace bits {

// Bits set in a word, in portable code (the vector paths have their own).
inline std::uint64_t bit_count(std::uint64_t w) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<std::uint64_t>(__builtin_popcountll(w));
#else
  w = w - ((w >> 1) & 0x5555555555555555u);
  w = (w & 0x3333333333333333u) + ((w >> 2) & 0x3333333333333333u);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return (w * 0x0101010101010101u) >> 56;
#endif
}

// Bits set in the union of patterns P and Q.
template <typename word_t>
inline std::uint64_t union_size(const word_view_t<word_t>* P, const word_view_t<word_t>* Q,
                                std::uint64_t n_words) {
  std::uint64_t n = 0;
  for (std::uint64_t k = 0; k < n_words; ++k) n += bit_count(P[k] | Q[k]);
  return n;
}

// The path the scan takes for instruction set `isa`: the 16-lane scan needs
// AVX512_VPOPCNTDQ besides AVX-512, and falls back to the AVX2 path without it.
inline simd_isa candidate_pairs_path(simd_isa isa) {
#if BITS_SIMD_DISPATCH
  if (isa == simd_isa::avx512) {
    static std::atomic<int> has_popcount{-1};
    const int popcount = kept_answer(has_popcount, [] {
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512vpopcntdq") != 0 ? 1 : 0;
    });
    return popcount ? simd_isa::avx512 : simd_isa::avx2;
  }
  return isa;
#else
  (void)isa;
  return simd_isa::scalar;
#endif
}

// The transposed copy that the 16-lane scan needs (uint32 elements), or 0
// when it does not pay or does not fit.
inline std::uint64_t candidate_scratch_elements(std::uint64_t elements, std::uint64_t n_pos,
                                                std::uint64_t n_neg, simd_isa isa) {
  if (candidate_pairs_path(isa) != simd_isa::avx512 || n_pos < 4 || n_neg < vector_group_width ||
      !transposed_copy_fits(elements, n_neg))
    return 0;
  return transposed_scratch_size(elements, n_neg);
}

// Where the pairs of one p go: counted into *count in the first run, written
// as column pairs (p, q) from j_comb[2 * at] on in the second.
struct pair_sink {
  std::uint32_t* j_comb;  // null in the counting run
  std::uint64_t at;
  std::uint64_t count;
  void add(std::uint64_t p, std::uint64_t q) {
    if (j_comb) {
      j_comb[2 * at] = static_cast<std::uint32_t>(p);
      j_comb[2 * at + 1] = static_cast<std::uint32_t>(q);
      ++at;
    }
    ++count;
  }
};

namespace detail {

// One p against every q of i_neg, a pair at a time. Inlined into each path,
// which gives the population count its instruction set.
template <typename word_t, typename index_t>
inline void candidate_row(std::uint64_t p, const index_t* i_neg, std::uint64_t n_neg,
                          packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                          std::uint64_t max_union, pair_sink* sink) {
  const word_view_t<word_t>* P = R.column(p);
  for (std::uint64_t j = 0; j < n_neg; ++j) {
    const std::uint64_t q = column_index(i_neg[j]);
    if (union_size<word_t>(P, R.column(q), words_per_column) <= max_union) sink->add(p, q);
  }
}

#if BITS_SIMD_DISPATCH
template <typename word_t, typename index_t>
__attribute__((target("popcnt"))) void candidate_row_popcnt(
    std::uint64_t p, const index_t* i_neg, std::uint64_t n_neg, packed_pattern_matrix<word_t> R,
    std::uint64_t words_per_column, std::uint64_t max_union, pair_sink* sink) {
  candidate_row<word_t, index_t>(p, i_neg, n_neg, R, words_per_column, max_union, sink);
}

// One p (`elements` uint32 elements) against the transposed copy T of the
// n_neg columns of i_neg, 16 at a time.
template <typename index_t>
__attribute__((target("avx512f,avx512vpopcntdq"))) void candidate_row_avx512(
    std::uint64_t p, const word_view_t<std::uint32_t>* P, const std::uint32_t* T,
    std::uint64_t elements, const index_t* i_neg, std::uint64_t n_neg, std::uint64_t max_union,
    pair_sink* sink) {
  const std::uint64_t groups = group_count(n_neg), stride = elements * vector_group_width;
  const __m512i limit = _mm512_set1_epi32(
      static_cast<int>(max_union < 0x7FFFFFFFu ? max_union : 0x7FFFFFFFu));
  for (std::uint64_t g = 0; g < groups; ++g) {
    const std::uint32_t* block = T + g * stride;
    __m512i size = _mm512_setzero_si512();
    for (std::uint64_t k = 0; k < elements; ++k) {
      const __m512i u = _mm512_or_si512(_mm512_load_si512(block + k * vector_group_width),
                                        _mm512_set1_epi32(static_cast<int>(P[k])));
      size = _mm512_add_epi32(size, _mm512_popcnt_epi32(u));
      // Long patterns: stop once every lane is over the limit.
      if ((k & 7) == 7 && _mm512_cmple_epu32_mask(size, limit) == 0) break;
    }
    std::uint32_t hits = _mm512_cmple_epu32_mask(size, limit);
    const std::uint64_t first = g * vector_group_width;
    if (n_neg - first < vector_group_width) hits &= (1u << (n_neg - first)) - 1;
    for (; hits != 0; hits &= hits - 1)
      sink->add(p, column_index(i_neg[first + static_cast<std::uint64_t>(__builtin_ctz(hits))]));
  }
}
#endif

// Copies the columns of R named in i_neg, transposed, into T (a worksharing
// loop over the groups, ending in its barrier).
template <typename index_t>
inline void transpose_selected(const word_view_t<std::uint32_t>* S, std::uint64_t elements,
                               const index_t* i_neg, std::uint64_t n_neg, std::uint32_t* T) {
  const std::int64_t groups = static_cast<std::int64_t>(group_count(n_neg));
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
  for (std::int64_t g = 0; g < groups; ++g) {
    std::uint32_t* block = T + static_cast<std::uint64_t>(g) * elements * vector_group_width;
    for (std::uint64_t lane = 0; lane < vector_group_width; ++lane) {
      const std::uint64_t j = static_cast<std::uint64_t>(g) * vector_group_width + lane;
      const word_view_t<std::uint32_t>* P = j < n_neg ? S + column_index(i_neg[j]) * elements : nullptr;
      for (std::uint64_t k = 0; k < elements; ++k) block[k * vector_group_width + lane] = P ? P[k] : 0;
    }
  }
}

}  // namespace detail

// Body of a parallel region: the pairs (i_pos[i], i_neg[j]) whose union has
// at most max_union bits. Counting run (offsets null): counts[i] receives
// the number of pairs of i_pos[i]. Writing run: the pairs of i_pos[i] go to
// j_comb (2 x total, column-major) from column offsets[i] on, for the i
// whose count is not zero. `scratch` is null or holds
// candidate_scratch_elements() uint32 elements; the counting run fills it
// and the writing run reads it again, so the same block must be passed to
// both. Column numbers must already be known to lie inside R and below 2^32.
template <typename word_t, typename pos_t, typename neg_t>
void scan_candidate_pairs(const pos_t* i_pos, std::int64_t n_pos, const neg_t* i_neg,
                          std::uint64_t n_neg, packed_pattern_matrix<word_t> R,
                          std::uint64_t words_per_column, std::uint64_t max_union,
                          std::uint64_t* counts, const std::uint64_t* offsets,
                          std::uint32_t* j_comb, void* scratch, simd_isa isa) {
  const simd_isa path = candidate_pairs_path(isa);
  const std::uint64_t elements = elements_per_column<word_t>(words_per_column);
  std::uint32_t* T = nullptr;
#if BITS_SIMD_DISPATCH
  if (scratch != nullptr && path == simd_isa::avx512 && elements > 0) {
    T = transposed_scratch_start(scratch);
    if (offsets == nullptr)
      detail::transpose_selected(reinterpret_cast<const word_view_t<std::uint32_t>*>(R.words),
                                 elements, i_neg, n_neg, T);
  }
#else
  (void)scratch;
#endif
  // The same loop over i_pos for each path, which is chosen once here.
  auto each_p = [&](auto row) {
#ifdef _OPENMP
#pragma omp for schedule(dynamic, 16)
#endif
    for (std::int64_t i = 0; i < n_pos; ++i) {
      if (offsets != nullptr && counts[i] == 0) continue;
      pair_sink sink{offsets ? j_comb : nullptr, offsets ? offsets[i] : 0, 0};
      row(column_index(i_pos[i]), &sink);
      if (offsets == nullptr) counts[i] = sink.count;
    }
  };
#if BITS_SIMD_DISPATCH
  if (T != nullptr)
    return each_p([&](std::uint64_t p, pair_sink* sink) {
      detail::candidate_row_avx512<neg_t>(p, reinterpret_cast<const word_view_t<std::uint32_t>*>(R.column(p)),
                                          T, elements, i_neg, n_neg, max_union, sink);
    });
  if (path != simd_isa::scalar)
    return each_p([&](std::uint64_t p, pair_sink* sink) {
      detail::candidate_row_popcnt<word_t, neg_t>(p, i_neg, n_neg, R, words_per_column, max_union, sink);
    });
#endif
  each_p([&](std::uint64_t p, pair_sink* sink) {
    detail::candidate_row<word_t, neg_t>(p, i_neg, n_neg, R, words_per_column, max_union, sink);
  });
}

}  // namespace bits

#endif
