// The transposed copy of a pattern matrix that both vector kernels scan
// (R_subset for the subset table, R for pair screening).
//
// The columns are copied in groups of 16, and within a group word k of all
// 16 columns side by side, so that one vector load takes word k of 16
// patterns. Every test is bitwise and position-wise, so the copy is made in
// 32-bit elements whatever the word width of the call; the answers are the
// same. Lanes past the last column are zero.
//
// The caller (the entry) allocates the scratch block before the parallel
// region; nothing here allocates, fails or calls the host.
#ifndef BITS_CORE_TRANSPOSED_COLUMNS_H
#define BITS_CORE_TRANSPOSED_COLUMNS_H

#include <cstdint>

#include "core/packed_patterns.h"

namespace bits {

// Columns per group of the transposed copy, for every instruction set.
constexpr std::uint64_t vector_group_width = 16;

// Largest transposed copy worth making; beyond it the straightforward kernel
// runs rather than doubling the memory of a huge pattern matrix.
constexpr std::uint64_t transposed_scratch_limit_bytes = std::uint64_t(1) << 30;

// Groups of vector_group_width columns that hold `columns` columns.
constexpr std::uint64_t group_count(std::uint64_t columns) {
  return (columns + vector_group_width - 1) / vector_group_width;
}

// uint32 elements of one column, whatever the word width of the call.
template <typename word_t>
constexpr std::uint64_t elements_per_column(std::uint64_t words_per_column) {
  return words_per_column * (sizeof(word_t) / sizeof(std::uint32_t));
}

// uint32 elements of a scratch block for the transposed copy of `columns`
// columns of `elements` uint32 elements each, with room to align it to 64
// bytes.
inline std::uint64_t transposed_scratch_size(std::uint64_t elements, std::uint64_t columns) {
  const std::uint64_t groups = group_count(columns);
  return groups * vector_group_width * elements + 16;
}

// True when that copy has something to hold and stays within the limit.
inline bool transposed_copy_fits(std::uint64_t elements, std::uint64_t columns) {
  if (elements == 0 || columns == 0) return false;
  const std::uint64_t groups = group_count(columns);
  const std::uint64_t limit = transposed_scratch_limit_bytes / sizeof(std::uint32_t);
  return elements <= limit / (groups * vector_group_width);
}

// First word of a transposed copy inside a scratch block of
// transposed_scratch_size() elements: the next 64-byte boundary.
inline std::uint32_t* transposed_scratch_start(void* scratch) {
  const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(scratch);
  return reinterpret_cast<std::uint32_t*>((p + 63) & ~std::uintptr_t(63));
}

namespace detail {

// Copies group g (columns 16g .. 16g+15) of the uint32 columns S into the
// transposed block T; lanes past the last column are zero.
inline void transpose_group(const word_view_t<std::uint32_t>* S, std::uint64_t elements,
                            std::uint64_t columns, std::uint64_t g, std::uint32_t* T) {
  std::uint32_t* block = T + g * elements * vector_group_width;
  for (std::uint64_t lane = 0; lane < vector_group_width; ++lane) {
    const std::uint64_t j = g * vector_group_width + lane;
    if (j < columns) {
      const word_view_t<std::uint32_t>* P = S + j * elements;
      for (std::uint64_t k = 0; k < elements; ++k) block[k * vector_group_width + lane] = P[k];
    } else {
      for (std::uint64_t k = 0; k < elements; ++k) block[k * vector_group_width + lane] = 0;
    }
  }
}

// Fills the transposed copy T of the `columns` uint32 columns S, group by
// group, as a worksharing loop: called by every thread of a team, it splits
// the groups among them and ends in the loop's barrier, so that the whole
// copy is there when any thread goes on.
inline void transpose_columns(const word_view_t<std::uint32_t>* S, std::uint64_t elements,
                              std::uint64_t columns, std::uint32_t* T) {
  const std::int64_t groups = static_cast<std::int64_t>(group_count(columns));
#ifdef _OPENMP
#pragma omp for schedule(static)
#endif
  for (std::int64_t g = 0; g < groups; ++g)
    transpose_group(S, elements, columns, static_cast<std::uint64_t>(g), T);
}

}  // namespace detail

}  // namespace bits

#endif
