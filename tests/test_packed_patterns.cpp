#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "core/packed_patterns.h"

namespace {

template <typename word_t>
class PackedPatterns : public ::testing::Test {};
using WordTypes = ::testing::Types<std::uint32_t, std::uint64_t>;
TYPED_TEST_SUITE(PackedPatterns, WordTypes);

// Columns of uint32 elements viewed through the word type under test.
template <typename word_t>
const bits::word_view_t<word_t>* as_words(const std::vector<std::uint32_t>& v) {
  return reinterpret_cast<const bits::word_view_t<word_t>*>(v.data());
}

TYPED_TEST(PackedPatterns, InsideRelationOnHandMadeColumns) {
  using W = TypeParam;
  const std::uint64_t rows = 4, n = bits::words_per_column<W>(rows);
  const std::vector<std::uint32_t> zero(rows, 0), ones(rows, ~0u);
  const std::vector<std::uint32_t> p = {0x1, 0x80000000u, 0, 0x10};
  std::vector<std::uint32_t> q = p;
  q[2] |= 0x4;
  EXPECT_TRUE(bits::pattern_inside<W>(as_words<W>(p), as_words<W>(p), n));
  EXPECT_TRUE(bits::pattern_inside<W>(as_words<W>(zero), as_words<W>(p), n));
  EXPECT_TRUE(bits::pattern_inside<W>(as_words<W>(p), as_words<W>(ones), n));
  EXPECT_TRUE(bits::pattern_inside<W>(as_words<W>(p), as_words<W>(q), n));
  EXPECT_FALSE(bits::pattern_inside<W>(as_words<W>(q), as_words<W>(p), n));
  // One extra bit in the last element (the high half of the last 64-bit word).
  std::vector<std::uint32_t> last = p;
  last[3] |= 0x100;
  EXPECT_FALSE(bits::pattern_inside<W>(as_words<W>(last), as_words<W>(p), n));
}

TYPED_TEST(PackedPatterns, NoWordsMeansInsideAndReadsNothing) {
  using W = TypeParam;
  EXPECT_EQ(bits::words_per_column<W>(0), 0u);
  EXPECT_TRUE(bits::pattern_inside<W>(nullptr, nullptr, 0));
  EXPECT_TRUE(bits::pattern_inside_union<W>(nullptr, static_cast<const W*>(nullptr), 0));
}

TYPED_TEST(PackedPatterns, InsideUnion) {
  using W = TypeParam;
  const std::uint64_t rows = 2, n = bits::words_per_column<W>(rows);
  const std::vector<std::uint32_t> A = {0x0F, 0x1}, B = {0xF0, 0x2};
  std::vector<std::uint32_t> AB = {0xFF, 0x3}, outside = {0x1, 0x4};
  std::vector<W> mask(n);
  bits::union_mask<W>(as_words<W>(A), as_words<W>(B), n, mask.data());
  EXPECT_TRUE(bits::pattern_inside_union<W>(as_words<W>(A), mask.data(), n));
  EXPECT_TRUE(bits::pattern_inside_union<W>(as_words<W>(B), mask.data(), n));
  EXPECT_TRUE(bits::pattern_inside_union<W>(as_words<W>(AB), mask.data(), n));
  EXPECT_FALSE(bits::pattern_inside_union<W>(as_words<W>(outside), mask.data(), n));
}

TEST(PackedPatterns, WordWidthFollowsRowParity) {
  EXPECT_FALSE(bits::uses_wide_words(1));
  EXPECT_TRUE(bits::uses_wide_words(2));
  EXPECT_FALSE(bits::uses_wide_words(3));
  EXPECT_TRUE(bits::uses_wide_words(0));
  EXPECT_EQ(bits::words_per_column<std::uint64_t>(4), 2u);
  EXPECT_EQ(bits::words_per_column<std::uint32_t>(3), 3u);
  // Row counts of 2^27 and more do not wrap.
  EXPECT_EQ(bits::words_per_column<std::uint64_t>(std::uint64_t(1) << 28), std::uint64_t(1) << 27);
  EXPECT_EQ(bits::words_per_column<std::uint32_t>((std::uint64_t(1) << 27) + 1),
            (std::uint64_t(1) << 27) + 1);
}

TEST(PackedPatterns, ElementOneDecidesForTwoRows) {
  // M = 2: one 64-bit word; a bit that P holds in element 1 and Q lacks.
  const std::vector<std::uint32_t> P = {0x1, 0x2}, Q = {0x1, 0x0};
  EXPECT_FALSE(bits::pattern_inside<std::uint64_t>(as_words<std::uint64_t>(P),
                                                   as_words<std::uint64_t>(Q), 1));
}

TEST(PackedPatterns, ColumnIndexConversion) {
  EXPECT_EQ(bits::column_index(0.0), 0u);
  EXPECT_EQ(bits::column_index(0.7), 0u);
  EXPECT_EQ(bits::column_index(2.9), 2u);
  EXPECT_EQ(bits::column_index(std::uint32_t(2)), 2u);
  EXPECT_EQ(bits::column_index(std::uint32_t(0xFFFFFFFFu)), 0xFFFFFFFFull);

  EXPECT_TRUE(bits::index_in_range(2.9, 3));
  EXPECT_FALSE(bits::index_in_range(3.0, 3));
  EXPECT_FALSE(bits::index_in_range(-0.5, 3));
  EXPECT_TRUE(bits::index_in_range(-0.0, 3));
  EXPECT_FALSE(bits::index_in_range(std::numeric_limits<double>::quiet_NaN(), 3));
  EXPECT_FALSE(bits::index_in_range(std::numeric_limits<double>::infinity(), 3));
  EXPECT_FALSE(bits::index_in_range(1e30, ~std::uint64_t(0)));
  EXPECT_FALSE(bits::index_in_range(std::uint32_t(3), 3));
  EXPECT_TRUE(bits::index_in_range(std::uint32_t(2), 3));
}

}  // namespace
