// Pattern matrices past the old 32-bit limits: a row count of 2^27 + 1 and a
// last-column offset past 2^31 words. The blocks are reserved, never-written
// anonymous memory, so they read as zeros and cost almost no real memory;
// only the pages the test writes become real.
#if defined(__linux__)

#include <sys/mman.h>

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "core/subset_table.h"

namespace {

struct zero_block {
  // `huge`: back the block with huge zero pages where the kernel allows it,
  // which makes reading it cheap; only for blocks that are barely written.
  zero_block(std::uint64_t words, bool huge)
      : bytes(words * 4),
        p(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
               -1, 0)) {
    if (huge && p != MAP_FAILED) madvise(p, bytes, MADV_HUGEPAGE);
  }
  ~zero_block() {
    if (p != MAP_FAILED) munmap(p, bytes);
  }
  std::uint32_t* words() const { return static_cast<std::uint32_t*>(p); }
  std::uint64_t bytes;
  void* p;
};

TEST(LargeOffsets, RowCountOfTwoToThe27PlusOne) {
  const std::uint64_t rows = (std::uint64_t(1) << 27) + 1;  // odd: 32-bit words
  zero_block S(2 * rows, true), R(rows, true);
  ASSERT_NE(S.p, MAP_FAILED);
  ASSERT_NE(R.p, MAP_FAILED);
  S.words()[2 * rows - 1] = 1;  // column 1 has a bit in its very last element
  const auto sv = bits::make_view<std::uint32_t>(S.p, rows, 2);
  const auto rv = bits::make_view<std::uint32_t>(R.p, rows, 1);
  ASSERT_EQ(sv.words_per_column, rows);
  const std::uint32_t idx[1] = {0};
  std::uint8_t out[2] = {7, 7};
  bits::subset_table_kernel<std::uint32_t, std::uint32_t>(idx, sv, rv, sv.words_per_column, out, 1, 2);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 0);
}

TEST(LargeOffsets, LastColumnOffsetPastTwoToThe31Words) {
  const std::uint64_t rows = (std::uint64_t(1) << 20) + 1;  // odd: 32-bit words
  const std::uint64_t cols = 2049;                          // (cols - 1) * rows > 2^31
  ASSERT_GT((cols - 1) * rows, std::uint64_t(1) << 31);
  zero_block S(rows * cols, false), R(rows, false);
  ASSERT_NE(S.p, MAP_FAILED);
  // Every column but the last holds bit 1 in element 0, which R lacks: a
  // wrapped offset would read one of those and answer 0 for the last column.
  for (std::uint64_t c = 0; c + 1 < cols; ++c) S.words()[c * rows] = 2;
  R.words()[0] = 1;
  const auto sv = bits::make_view<std::uint32_t>(S.p, rows, cols);
  const auto rv = bits::make_view<std::uint32_t>(R.p, rows, 1);
  const double idx[1] = {0.0};
  std::vector<std::uint8_t> out(cols, 7);
  bits::subset_table_kernel<std::uint32_t, double>(idx, sv, rv, sv.words_per_column, out.data(), 1, cols);
  std::vector<std::uint8_t> expected(cols, 0);
  expected.back() = 1;
  EXPECT_EQ(out, expected);
}

}  // namespace

#endif
