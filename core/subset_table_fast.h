// Fast subset table: the same flags as subset_table_kernel, computed 16
// R_subset columns at a time in vector registers.
//
// R_subset is first copied, transposed, into a scratch block
// (transposed_columns.h), so that one vector load takes word k of 16
// patterns. A group is tested against one column Q of R by OR-ing (P & ~Q)
// into one accumulator per lane, stopping as soon as every lane holds a stray
// bit; a lane whose accumulator stays zero is inside Q.
//
// The kernel takes the instruction set that the caller chose (simd.h) and
// picks its code for it once per call; the scalar path, and builds without
// vector code, get the straightforward kernel.
//
// The caller (the entry) allocates the scratch block before the parallel
// region; nothing here allocates, fails or calls the host.
#ifndef BITS_CORE_SUBSET_TABLE_FAST_H
#define BITS_CORE_SUBSET_TABLE_FAST_H

#include <cstdint>
#include <cstring>

#include "core/packed_patterns.h"
#include "core/simd.h"
#include "core/subset_table.h"
#include "core/transposed_columns.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace bits {

// The scratch block bits_within should allocate for one call: 0 when no copy
// pays (too few reference columns to amortise it, nothing to scan, no vector
// unit) or when it would exceed the limit of transposed_columns.h.
inline std::uint64_t subset_scratch_elements(std::uint64_t elements, std::uint64_t n_subset,
                                             std::int64_t n_perm, simd_isa isa) {
  if (isa == simd_isa::scalar || n_subset < vector_group_width || n_perm < 4 ||
      !transposed_copy_fits(elements, n_subset))
    return 0;
  return transposed_scratch_size(elements, n_subset);
}

namespace detail {

// Columns per cache block: the transposed groups of one block should stay in
// the per-core cache (half a MiB) while every reference column of the
// thread streams over them.
inline std::uint64_t groups_per_block(std::uint64_t elements) {
  const std::uint64_t bytes_per_group = elements * vector_group_width * sizeof(std::uint32_t);
  const std::uint64_t g = (std::uint64_t(512) << 10) / bytes_per_group;
  return g > 0 ? g : 1;
}

#if BITS_SIMD_DISPATCH

// Writes the 16 flag bytes of group g to out, at most up to byte n_cols: a
// partial group must not touch the bytes after the output column.
inline void store_group_flags(std::uint8_t* out, std::uint64_t g, std::uint64_t n_cols,
                              __m128i flags) {
  const std::uint64_t first = g * vector_group_width;
  if (n_cols - first >= vector_group_width) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + first), flags);
  } else {
    alignas(16) std::uint8_t tail[vector_group_width];
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), flags);
    std::memcpy(out + first, tail, static_cast<std::size_t>(n_cols - first));
  }
}

// One group of the transposed block against the column Q, carrying on from
// word k with the lanes' stray bits so far; returns the lanes inside Q.
BITS_TARGET_AVX512 inline __mmask16 group_inside_avx512(const std::uint32_t* block,
                                                        std::uint64_t elements,
                                                        const word_view_t<std::uint32_t>* Q,
                                                        __m512i stray, std::uint64_t k) {
  for (; k < elements; ++k) {
    // The exit test costs as much as a word: after word 1, every 4th word.
    if ((k < 2 || k % 4 == 0) && _mm512_test_epi32_mask(stray, stray) == 0xFFFF) break;
    const __m512i p = _mm512_load_si512(block + k * vector_group_width);
    // stray | (p & ~q) in one instruction: truth table 0xF2 over (stray, q, p).
    stray = _mm512_ternarylogic_epi32(stray, _mm512_set1_epi32(static_cast<int>(Q[k])), p, 0xF2);
  }
  return _mm512_testn_epi32_mask(stray, stray);
}

// Writes the flags of group g (lanes set in `inside`), as store_group_flags.
BITS_TARGET_AVX512 inline void store_group_avx512(std::uint8_t* out, std::uint64_t g,
                                                  std::uint64_t n_cols, __mmask16 inside) {
  store_group_flags(out, g, n_cols, _mm512_maskz_cvtepi32_epi8(inside, _mm512_set1_epi32(1)));
}

// Flags of groups 0 .. groups-1 of the transposed block T against the column
// Q of `elements` uint32 elements; out receives n_cols bytes (16 per group,
// fewer in the last one). Four groups at a time are first tested on word 0:
// on sparse or random data that settles all 64 columns at once, and the 64
// zero flags go out in one store.
BITS_TARGET_AVX512 inline void subset_row_avx512(const std::uint32_t* T, std::uint64_t groups,
                                                 std::uint64_t elements,
                                                 const word_view_t<std::uint32_t>* Q,
                                                 std::uint8_t* out, std::uint64_t n_cols) {
  const std::uint64_t stride = elements * vector_group_width;
  const __m512i zero = _mm512_setzero_si512();
  const __m512i q0 = _mm512_set1_epi32(static_cast<int>(Q[0]));
  std::uint64_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const std::uint32_t* block = T + g * stride;
    const __m512i s0 = _mm512_ternarylogic_epi32(zero, q0, _mm512_load_si512(block), 0xF2);
    const __m512i s1 = _mm512_ternarylogic_epi32(zero, q0, _mm512_load_si512(block + stride), 0xF2);
    const __m512i s2 = _mm512_ternarylogic_epi32(zero, q0, _mm512_load_si512(block + 2 * stride), 0xF2);
    const __m512i s3 = _mm512_ternarylogic_epi32(zero, q0, _mm512_load_si512(block + 3 * stride), 0xF2);
    const __mmask16 all = _mm512_test_epi32_mask(s0, s0) & _mm512_test_epi32_mask(s1, s1) &
                          _mm512_test_epi32_mask(s2, s2) & _mm512_test_epi32_mask(s3, s3);
    if (all == 0xFFFF && n_cols - g * vector_group_width >= 4 * vector_group_width) {
      _mm512_storeu_si512(out + g * vector_group_width, zero);
      continue;
    }
    store_group_avx512(out, g, n_cols, group_inside_avx512(block, elements, Q, s0, 1));
    store_group_avx512(out, g + 1, n_cols, group_inside_avx512(block + stride, elements, Q, s1, 1));
    store_group_avx512(out, g + 2, n_cols, group_inside_avx512(block + 2 * stride, elements, Q, s2, 1));
    store_group_avx512(out, g + 3, n_cols, group_inside_avx512(block + 3 * stride, elements, Q, s3, 1));
  }
  for (; g < groups; ++g)
    store_group_avx512(out, g, n_cols, group_inside_avx512(T + g * stride, elements, Q, zero, 0));
}

// Lane-wise unsigned minimum (the zero-masked form: GCC 12 warns about the
// undefined source of the plain one).
BITS_TARGET_AVX512 inline __m512i min_u32_avx512(__m512i a, __m512i b) {
  return _mm512_maskz_min_epu32(0xFFFF, a, b);
}

// One group against four columns of R at once, carrying on from word k with
// the stray bits s[0..3] so far: every word of the group loaded serves four
// tests. inside[j] receives the lanes inside Q[j].
BITS_TARGET_AVX512 inline void group_inside4_avx512(const std::uint32_t* block,
                                                    std::uint64_t elements,
                                                    const word_view_t<std::uint32_t>* const* Q,
                                                    const __m512i* s, std::uint64_t k,
                                                    __mmask16* inside) {
  __m512i s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
  for (; k < elements; ++k) {
    // The exit test costs as much as a word: after word 1, every 4th word.
    if (k < 2 || k % 4 == 0) {
      const __m512i least = min_u32_avx512(min_u32_avx512(s0, s1), min_u32_avx512(s2, s3));
      if (_mm512_test_epi32_mask(least, least) == 0xFFFF) break;
    }
    const __m512i p = _mm512_load_si512(block + k * vector_group_width);
    s0 = _mm512_ternarylogic_epi32(s0, _mm512_set1_epi32(static_cast<int>(Q[0][k])), p, 0xF2);
    s1 = _mm512_ternarylogic_epi32(s1, _mm512_set1_epi32(static_cast<int>(Q[1][k])), p, 0xF2);
    s2 = _mm512_ternarylogic_epi32(s2, _mm512_set1_epi32(static_cast<int>(Q[2][k])), p, 0xF2);
    s3 = _mm512_ternarylogic_epi32(s3, _mm512_set1_epi32(static_cast<int>(Q[3][k])), p, 0xF2);
  }
  inside[0] = _mm512_testn_epi32_mask(s0, s0);
  inside[1] = _mm512_testn_epi32_mask(s1, s1);
  inside[2] = _mm512_testn_epi32_mask(s2, s2);
  inside[3] = _mm512_testn_epi32_mask(s3, s3);
}

// subset_row_avx512 for four columns Q[0..3] of R and their outputs
// out[0..3]: the groups are read once for all four, which quarters the
// traffic from the cache.
BITS_TARGET_AVX512 inline void subset_rows4_avx512(const std::uint32_t* T, std::uint64_t groups,
                                                   std::uint64_t elements,
                                                   const word_view_t<std::uint32_t>* const* Q,
                                                   std::uint8_t* const* out, std::uint64_t n_cols) {
  const std::uint64_t stride = elements * vector_group_width;
  const __m512i zero = _mm512_setzero_si512();
  __m512i q0[4];
  for (int j = 0; j < 4; ++j) q0[j] = _mm512_set1_epi32(static_cast<int>(Q[j][0]));
  __mmask16 inside[4];
  std::uint64_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const std::uint32_t* block = T + g * stride;
    __m512i s[4][4];  // [group][reference column], after word 0
    // A lane of the unsigned minimum is 0 when that lane of some s is.
    __m512i least = _mm512_set1_epi32(-1);
    for (int x = 0; x < 4; ++x) {
      const __m512i p = _mm512_load_si512(block + x * stride);
      for (int j = 0; j < 4; ++j) {
        s[x][j] = _mm512_ternarylogic_epi32(zero, q0[j], p, 0xF2);
        least = min_u32_avx512(least, s[x][j]);
      }
    }
    if (_mm512_test_epi32_mask(least, least) == 0xFFFF &&
        n_cols - g * vector_group_width >= 4 * vector_group_width) {
      for (int j = 0; j < 4; ++j) _mm512_storeu_si512(out[j] + g * vector_group_width, zero);
      continue;
    }
    for (int x = 0; x < 4; ++x) {
      group_inside4_avx512(block + x * stride, elements, Q, s[x], 1, inside);
      for (int j = 0; j < 4; ++j) store_group_avx512(out[j], g + x, n_cols, inside[j]);
    }
  }
  const __m512i none[4] = {zero, zero, zero, zero};
  for (; g < groups; ++g) {
    group_inside4_avx512(T + g * stride, elements, Q, none, 0, inside);
    for (int j = 0; j < 4; ++j) store_group_avx512(out[j], g, n_cols, inside[j]);
  }
}

// The same with two 8-lane accumulators per group.
// The 16 flag bytes of a group from its two 8-lane accumulators: 0/1 per
// 32-bit lane, then narrowed to bytes; the packs interleave the 128-bit
// halves, and the permute puts them back in lane order.
BITS_TARGET_AVX2 inline __m128i group_flags_avx2(__m256i stray_lo, __m256i stray_hi) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i in_lo = _mm256_srli_epi32(_mm256_cmpeq_epi32(stray_lo, zero), 31);
  const __m256i in_hi = _mm256_srli_epi32(_mm256_cmpeq_epi32(stray_hi, zero), 31);
  const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(in_lo, in_hi), 0xD8);
  return _mm_packs_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

// The flags of `count` (1 to 4) columns Q[0..count-1] of R at once, two
// 8-lane accumulators per column; each word of the group is loaded once for
// all of them. The count is a template argument so that the accumulators
// stay in registers.
template <int count>
BITS_TARGET_AVX2 inline void subset_rows_avx2(const std::uint32_t* T, std::uint64_t groups,
                                              std::uint64_t elements,
                                              const word_view_t<std::uint32_t>* const* Q,
                                              std::uint8_t* const* out, std::uint64_t n_cols) {
  const __m256i zero = _mm256_setzero_si256();
  for (std::uint64_t g = 0; g < groups; ++g) {
    const std::uint32_t* block = T + g * elements * vector_group_width;
    __m256i lo[4] = {zero, zero, zero, zero}, hi[4] = {zero, zero, zero, zero};
    for (std::uint64_t k = 0; k < elements; ++k) {
      const std::uint32_t* row = block + k * vector_group_width;
      const __m256i p_lo = _mm256_load_si256(reinterpret_cast<const __m256i*>(row));
      const __m256i p_hi = _mm256_load_si256(reinterpret_cast<const __m256i*>(row + 8));
      for (int j = 0; j < count; ++j) {
        const __m256i q = _mm256_set1_epi32(static_cast<int>(Q[j][k]));
        lo[j] = _mm256_or_si256(lo[j], _mm256_andnot_si256(q, p_lo));
        hi[j] = _mm256_or_si256(hi[j], _mm256_andnot_si256(q, p_hi));
      }
      if (k < 1 || k % 4 == 3) {  // the exit test after words 0, 3, 7, 11, ...
        // A lane of the unsigned minimum is 0 when that lane of some
        // accumulator is.
        __m256i least = _mm256_min_epu32(lo[0], hi[0]);
        for (int j = 1; j < count; ++j)
          least = _mm256_min_epu32(least, _mm256_min_epu32(lo[j], hi[j]));
        const __m256i clean = _mm256_cmpeq_epi32(least, zero);
        if (_mm256_testz_si256(clean, clean)) break;
      }
    }
    for (int j = 0; j < count; ++j) store_group_flags(out[j], g, n_cols, group_flags_avx2(lo[j], hi[j]));
  }
}

// The vector body of subset_table_fast_kernel, compiled once per vector
// instruction set. The team first fills the transposed copy (one worksharing
// loop, ending in a barrier); then each thread takes the contiguous block of
// i_perm that the static schedule gives it and writes only those output
// columns, cache block by cache block of R_subset.
template <simd_isa isa, typename word_t, typename index_t>
void subset_table_vector(const index_t* i_perm, packed_pattern_matrix<word_t> R_subset,
                         packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                         std::uint8_t* contained, std::int64_t n_perm, std::uint64_t n_subset,
                         void* scratch) {
  const std::uint64_t elements = elements_per_column<word_t>(words_per_column);
  const std::uint64_t groups = group_count(n_subset);
  const word_view_t<std::uint32_t>* S =
      reinterpret_cast<const word_view_t<std::uint32_t>*>(R_subset.words);
  std::uint32_t* T = transposed_scratch_start(scratch);
  transpose_columns(S, elements, n_subset, T);

  // This thread's block of i_perm under the static schedule.
  std::int64_t t = 0, team = 1;
#ifdef _OPENMP
  t = omp_get_thread_num();
  team = omp_get_num_threads();
#endif
  const std::int64_t q = n_perm > 0 ? n_perm / team : 0;
  const std::int64_t r = n_perm > 0 ? n_perm % team : 0;
  const std::int64_t begin = t * q + (t < r ? t : r);
  const std::int64_t end = begin + q + (t < r ? 1 : 0);

  const std::uint64_t step = groups_per_block(elements);
  for (std::uint64_t g0 = 0; g0 < groups; g0 += step) {
    const std::uint64_t block_groups = groups - g0 < step ? groups - g0 : step;
    const std::uint64_t first = g0 * vector_group_width;
    const std::uint64_t last = first + block_groups * vector_group_width;
    const std::uint64_t n_cols = (last < n_subset ? last : n_subset) - first;
    const std::uint32_t* block = T + g0 * elements * vector_group_width;
    // Four reference columns at a time, then the rest.
    for (std::int64_t i = begin; i < end; i += 4) {
      const int count = end - i < 4 ? static_cast<int>(end - i) : 4;
      const word_view_t<std::uint32_t>* Q[4];
      std::uint8_t* out[4];
      for (int j = 0; j < count; ++j) {
        Q[j] = reinterpret_cast<const word_view_t<std::uint32_t>*>(
            R.column(column_index(i_perm[i + j])));
        out[j] = contained + static_cast<std::uint64_t>(i + j) * n_subset + first;
      }
      if constexpr (isa == simd_isa::avx512) {
        if (count == 4)
          subset_rows4_avx512(block, block_groups, elements, Q, out, n_cols);
        else
          for (int j = 0; j < count; ++j)
            subset_row_avx512(block, block_groups, elements, Q[j], out[j], n_cols);
      } else {
        switch (count) {
          case 4: subset_rows_avx2<4>(block, block_groups, elements, Q, out, n_cols); break;
          case 3: subset_rows_avx2<3>(block, block_groups, elements, Q, out, n_cols); break;
          case 2: subset_rows_avx2<2>(block, block_groups, elements, Q, out, n_cols); break;
          default: subset_rows_avx2<1>(block, block_groups, elements, Q, out, n_cols);
        }
      }
    }
  }
}

#endif  // BITS_SIMD_DISPATCH

}  // namespace detail

// The body of the parallel region, like subset_table_kernel and with the same
// arguments, plus the scratch block (transposed_scratch_size() uint32 elements,
// or null) and the instruction set to use, which picks the code once for the
// call. Without scratch, or with the scalar set, it is subset_table_kernel
// itself.
template <typename word_t, typename index_t>
void subset_table_fast_kernel(const index_t* i_perm, packed_pattern_matrix<word_t> R_subset,
                              packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                              std::uint8_t* contained, std::int64_t n_perm,
                              std::uint64_t n_subset, void* scratch, simd_isa isa) {
#if BITS_SIMD_DISPATCH
  if (scratch != nullptr && elements_per_column<word_t>(words_per_column) > 0 &&
      run_vector_path(isa, [&](auto path) {
        detail::subset_table_vector<decltype(path)::value, word_t, index_t>(
            i_perm, R_subset, R, words_per_column, contained, n_perm, n_subset, scratch);
      }))
    return;
#else
  (void)scratch;
  (void)isa;
#endif
  subset_table_kernel<word_t, index_t>(i_perm, R_subset, R, words_per_column, contained, n_perm,
                                       n_subset);
}

}  // namespace bits

#endif
