// Fast pair screening: the tree walk of tree_adjacency.h with a vector scan
// of the columns that a node lists.
//
// R is copied, transposed, into groups of 16 columns (transposed_columns.h,
// the layout of the fast subset table), so that one vector load takes word k
// of 16 neighbouring columns. A node's range first .. last is then tested 16
// columns at a time against the pair's union mask: a lane is inner when its
// column lies inside the union and is neither a nor b, and the scan ends at
// the first group with an inner lane. The flag of a pair depends only on
// whether an inner column exists, so it is the same as the straightforward
// scan's.
//
// The kernel takes the instruction set that the caller chose (simd.h) and
// picks its code for it once per call: the walk runs with a column scan
// compiled for that set. The team fills the copy (one worksharing loop,
// ending in a barrier) before the pairs go out; the caller allocates it
// before the region. Nothing here allocates per pair or calls the host.
#ifndef BITS_CORE_TREE_ADJACENCY_FAST_H
#define BITS_CORE_TREE_ADJACENCY_FAST_H

#include <cstdint>

#include "core/packed_patterns.h"
#include "core/simd.h"
#include "core/transposed_columns.h"
#include "core/tree_adjacency.h"

namespace bits {

namespace detail {

// Lanes of group g that the scan of first .. last covers, without a and b.
inline std::uint32_t scan_lanes(std::uint64_t g, std::uint64_t first, std::uint64_t last,
                                std::uint64_t a, std::uint64_t b) {
  std::uint32_t lanes = 0xFFFF;
  if (g == first / vector_group_width) lanes &= 0xFFFFu << (first % vector_group_width);
  if (g == last / vector_group_width) lanes &= 0xFFFFu >> (15 - last % vector_group_width);
  if (g == a / vector_group_width) lanes &= ~(1u << (a % vector_group_width));
  if (g == b / vector_group_width) lanes &= ~(1u << (b % vector_group_width));
  return lanes;
}

#if BITS_SIMD_DISPATCH

// True when a column of first .. last other than a and b lies inside the
// union whose complement is `mask` (uint32 elements); T is the transposed R.
BITS_TARGET_AVX512 inline bool inner_column_avx512(const std::uint32_t* T, std::uint64_t elements,
                                                   const word_view_t<std::uint32_t>* mask,
                                                   std::uint64_t first, std::uint64_t last,
                                                   std::uint64_t a, std::uint64_t b) {
  const std::uint64_t stride = elements * vector_group_width;
  for (std::uint64_t g = first / vector_group_width; g <= last / vector_group_width; ++g) {
    const std::uint32_t lanes = scan_lanes(g, first, last, a, b);
    if (lanes == 0) continue;
    const std::uint32_t* block = T + g * stride;
    __m512i stray = _mm512_setzero_si512();
    for (std::uint64_t k = 0; k < elements; ++k) {
      const __m512i p = _mm512_load_si512(block + k * vector_group_width);
      // stray | (p & mask) in one instruction: truth table 0xF8 over (stray, p, mask).
      stray = _mm512_ternarylogic_epi32(stray, p, _mm512_set1_epi32(static_cast<int>(mask[k])), 0xF8);
      if ((_mm512_test_epi32_mask(stray, stray) & lanes) == lanes) break;
    }
    if (lanes & ~static_cast<std::uint32_t>(_mm512_test_epi32_mask(stray, stray))) return true;
  }
  return false;
}

BITS_TARGET_AVX2 inline bool inner_column_avx2(const std::uint32_t* T, std::uint64_t elements,
                                               const word_view_t<std::uint32_t>* mask,
                                               std::uint64_t first, std::uint64_t last,
                                               std::uint64_t a, std::uint64_t b) {
  const std::uint64_t stride = elements * vector_group_width;
  const __m256i zero = _mm256_setzero_si256();
  for (std::uint64_t g = first / vector_group_width; g <= last / vector_group_width; ++g) {
    const std::uint32_t lanes = scan_lanes(g, first, last, a, b);
    if (lanes == 0) continue;
    const std::uint32_t* block = T + g * stride;
    __m256i stray_lo = zero, stray_hi = zero;
    std::uint32_t clean = lanes;  // lanes with no stray bit so far
    for (std::uint64_t k = 0; k < elements; ++k) {
      const __m256i m = _mm256_set1_epi32(static_cast<int>(mask[k]));
      const std::uint32_t* row = block + k * vector_group_width;
      stray_lo = _mm256_or_si256(
          stray_lo, _mm256_and_si256(m, _mm256_load_si256(reinterpret_cast<const __m256i*>(row))));
      stray_hi = _mm256_or_si256(
          stray_hi, _mm256_and_si256(m, _mm256_load_si256(reinterpret_cast<const __m256i*>(row + 8))));
      const std::uint32_t lo = static_cast<std::uint32_t>(
          _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(stray_lo, zero))));
      const std::uint32_t hi = static_cast<std::uint32_t>(
          _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(stray_hi, zero))));
      clean = (lo | hi << 8) & lanes;
      if (clean == 0) break;
    }
    if (clean) return true;
  }
  return false;
}

// P (of `elements` uint32 elements) lies inside the union whose complement
// is `mask`: 16 elements per step, the last step masked to the rest.
BITS_TARGET_AVX512 inline bool inside_union_avx512(const word_view_t<std::uint32_t>* P,
                                                   const word_view_t<std::uint32_t>* mask,
                                                   std::uint64_t elements) {
  for (std::uint64_t e = 0; e < elements; e += vector_group_width) {
    const std::uint64_t rest = elements - e;
    const __mmask16 live = rest >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << rest) - 1);
    const __m512i p = _mm512_maskz_loadu_epi32(live, P + e);
    const __m512i m = _mm512_maskz_loadu_epi32(live, mask + e);
    if (_mm512_test_epi32_mask(p, m)) return false;
  }
  return true;
}

BITS_TARGET_AVX2 inline bool inside_union_avx2(const word_view_t<std::uint32_t>* P,
                                               const word_view_t<std::uint32_t>* mask,
                                               std::uint64_t elements) {
  std::uint64_t e = 0;
  for (; e + 8 <= elements; e += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + e));
    const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + e));
    if (!_mm256_testz_si256(p, m)) return false;
  }
  for (; e < elements; ++e)
    if (P[e] & mask[e]) return false;
  return true;
}

#endif  // BITS_SIMD_DISPATCH

}  // namespace detail

// Ranges shorter than this go to the straightforward scan: a vector group
// costs more than a few scalar tests that mostly end in word 0.
constexpr std::uint64_t vector_scan_min_columns = 4;
// Node patterns shorter than this (uint32 elements) are tested word by word.
constexpr std::uint64_t vector_inside_min_elements = 16;

// The walk's tests on the transposed copy T of R with the code of one
// instruction set: node patterns a vector at a time when they are long,
// column ranges 16 columns at a time. The scalar set (and a build without
// vector code) runs the straightforward tests.
template <typename word_t, simd_isa isa>
struct vector_column_scan {
  scalar_column_scan<word_t> scalar;
  const std::uint32_t* T;
  std::uint64_t elements;
  bool inside(const word_view_t<word_t>* P, const word_t* mask) const {
#if BITS_SIMD_DISPATCH
    if (elements >= vector_inside_min_elements) {
      const auto* p = reinterpret_cast<const word_view_t<std::uint32_t>*>(P);
      const auto* m = reinterpret_cast<const word_view_t<std::uint32_t>*>(mask);
      if constexpr (isa == simd_isa::avx512) return detail::inside_union_avx512(p, m, elements);
      if constexpr (isa == simd_isa::avx2) return detail::inside_union_avx2(p, m, elements);
    }
#endif
    return scalar.inside(P, mask);
  }
  bool operator()(std::uint64_t first, std::uint64_t last, std::uint64_t a, std::uint64_t b,
                  const word_t* mask) const {
#if BITS_SIMD_DISPATCH
    if (last - first + 1 >= vector_scan_min_columns) {
      const auto* m = reinterpret_cast<const word_view_t<std::uint32_t>*>(mask);
      if constexpr (isa == simd_isa::avx512)
        return detail::inner_column_avx512(T, elements, m, first, last, a, b);
      if constexpr (isa == simd_isa::avx2)
        return detail::inner_column_avx2(T, elements, m, first, last, a, b);
    }
#endif
    return scalar(first, last, a, b, mask);
  }
};

// The scratch block pair_screen should allocate for one call (uint32
// elements): 0 when the copy does not pay (no vector unit, no rows, too few
// pairs to amortise a pass over R) or exceeds the limit. A tree walk may read
// only a few columns per pair, so the copy of all of R is made only with at
// least one pair per 16 columns.
inline std::uint64_t pair_scratch_elements(std::uint64_t elements, std::uint64_t columns,
                                           std::int64_t n_comb, simd_isa isa) {
  if (isa == simd_isa::scalar || n_comb < 16 || columns < vector_group_width ||
      static_cast<std::uint64_t>(n_comb) < columns / 16 || !transposed_copy_fits(elements, columns))
    return 0;
  return transposed_scratch_size(elements, columns);
}

// The body of the parallel region, like tree_adjacency_kernel and with the
// same arguments, plus the scratch block (transposed_scratch_size() uint32
// elements for the columns of R, or null) and the instruction set, which
// picks the column scan once for the call. Without scratch, or with the
// scalar set, it is tree_adjacency_kernel itself.
template <typename word_t, typename index_t>
void tree_adjacency_fast_kernel(const index_t* j_comb, packed_pattern_matrix<word_t> R_tree,
                                packed_pattern_matrix<word_t> R, std::uint64_t words_per_column,
                                std::uint8_t* adjacent, std::uint64_t n_nodes,
                                const std::uint64_t* i_leaf, const std::uint32_t* i_node,
                                std::int64_t n_comb, std::uint64_t tree_depth,
                                int* scratch_failed, void* scratch, simd_isa isa) {
#if BITS_SIMD_DISPATCH
  const std::uint64_t elements = elements_per_column<word_t>(words_per_column);
  if (scratch != nullptr && elements > 0 && run_vector_path(isa, [&](auto path) {
        const word_view_t<std::uint32_t>* S =
            reinterpret_cast<const word_view_t<std::uint32_t>*>(R.words);
        std::uint32_t* T = transposed_scratch_start(scratch);
        detail::transpose_columns(S, elements, R.columns, T);
        const vector_column_scan<word_t, decltype(path)::value> scan{
            {R, words_per_column}, T, elements};
        tree_adjacency_scan_kernel<word_t, index_t>(j_comb, R_tree, R, words_per_column,
                                                    adjacent, n_nodes, i_leaf, i_node, n_comb,
                                                    tree_depth, scratch_failed, scan);
      }))
    return;
#else
  (void)scratch;
  (void)isa;
#endif
  tree_adjacency_kernel<word_t, index_t>(j_comb, R_tree, R, words_per_column, adjacent, n_nodes,
                                         i_leaf, i_node, n_comb, tree_depth, scratch_failed);
}

}  // namespace bits

#endif
