// Packed bit patterns: one pattern per column of a uint32 matrix.
//
// A call scans every pattern in words of one width, chosen from the common
// row count M: 64-bit words for even M (element pairs), 32-bit words for odd
// M. The width changes no result, since every test is bitwise and
// position-wise; it halves the word steps wherever the row count allows.
//
// Nothing in this header allocates, fails or calls the host.
#ifndef BITS_CORE_PACKED_PATTERNS_H
#define BITS_CORE_PACKED_PATTERNS_H

#include <cstdint>
#include <cstddef>

// The host hands us a block of uint32 elements; with an even row count we
// read it as 64-bit words. Every pointer into a pattern block goes through
// `aliased<word_t>::type`, a word type that may alias any object, so the
// compiler cannot assume that reinterpretation away. The block is known to
// be aligned for uint32 only: a host may pass a slice of a larger array
// without copying it (Octave does), so a matrix with an even row count can
// start 4 bytes past an 8-byte boundary. The word type therefore asks for the
// alignment of uint32, and the compiler reads it with loads that allow any
// address (on x86-64 the same single moves).
#if defined(__GNUC__) || defined(__clang__)
#define BITS_PATTERN_WORD __attribute__((__may_alias__, __aligned__(alignof(std::uint32_t))))
#else
#define BITS_PATTERN_WORD
#endif

namespace bits {

template <typename word_t>
struct aliased {
  typedef word_t BITS_PATTERN_WORD type;
};
template <typename word_t>
using word_view_t = typename aliased<word_t>::type;

// True when a pattern matrix with `rows` uint32 rows is scanned in 64-bit words.
constexpr bool uses_wide_words(std::uint64_t rows) { return rows % 2 == 0; }

// Words per column for the word type `word_t`: M/2 for 64-bit words, M for
// 32-bit words. Computed in 64 bits, so no row count wraps.
template <typename word_t>
constexpr std::uint64_t words_per_column(std::uint64_t rows) {
  return sizeof(word_t) == 8 ? rows / 2 : rows;
}

// Read-only view of one pattern matrix as columns of `words_per_column` words.
// The view neither owns, frees nor writes the block.
template <typename word_t>
struct packed_pattern_matrix {
  const word_view_t<word_t>* words;
  std::uint64_t words_per_column;
  std::uint64_t columns;

  const word_view_t<word_t>* column(std::uint64_t c) const {
    return words + c * words_per_column;
  }
};

// View of a block of `rows` x `columns` uint32 elements as patterns of word_t.
template <typename word_t>
packed_pattern_matrix<word_t> make_view(const void* data, std::uint64_t rows,
                                        std::uint64_t columns) {
  return packed_pattern_matrix<word_t>{static_cast<const word_view_t<word_t>*>(data),
                                       words_per_column<word_t>(rows), columns};
}

// P ⊆ Q: every bit set in P is set in Q. Stops at the first failing word; the
// bound is tested before each read, so nothing outside the columns is read.
template <typename word_t>
inline bool pattern_inside(const word_view_t<word_t>* P, const word_view_t<word_t>* Q,
                           std::uint64_t n_words) {
  for (std::uint64_t k = 0; k < n_words; ++k)
    if (P[k] & ~Q[k]) return false;
  return true;
}

// mask = ~(A | B): the positions that neither A nor B holds.
template <typename word_t>
inline void union_mask(const word_view_t<word_t>* A, const word_view_t<word_t>* B,
                       std::uint64_t n_words, word_t* mask) {
  for (std::uint64_t k = 0; k < n_words; ++k) mask[k] = ~(A[k] | B[k]);
}

// P ⊆ A ∪ B, given mask = union_mask(A, B).
template <typename word_t>
inline bool pattern_inside_union(const word_view_t<word_t>* P, const word_t* mask,
                                 std::uint64_t n_words) {
  for (std::uint64_t k = 0; k < n_words; ++k)
    if (P[k] & mask[k]) return false;
  return true;
}

// Column numbers from an index array: uint32 elements are zero-extended,
// double elements truncated toward zero. Values must already be known to be
// in range (the entries check them before any kernel runs).
inline std::uint64_t column_index(std::uint32_t v) { return v; }
inline std::uint64_t column_index(double v) { return static_cast<std::uint64_t>(v); }

// True when an index element names one of `columns` columns.
inline bool index_in_range(std::uint32_t v, std::uint64_t columns) { return v < columns; }
inline bool index_in_range(double v, std::uint64_t columns) {
  // NaN fails every comparison; 2^64 and beyond fail the bound before any cast.
  if (!(v >= 0.0) || !(v < 18446744073709551616.0)) return false;
  return static_cast<std::uint64_t>(v) < columns;
}

}  // namespace bits

#endif
