// bits_within as a host calls it: the built plug-in, through the stand-in host.
#include <cmath>
#include <limits>
#include <random>

#include "tests/pattern_data.h"
#include "tests/plugin_harness.h"
#include "tests/test_params.h"

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;
using harness::u16_scalar;
using harness::u32;

const char* const kInputs = "Four input arguments required . . .";
const char* const kOutputs = "One output argument required . . .";
const char* const kRows = "Input arguments R_subset and R must have the same number of rows . . .";
const char* const kPatternClass = "Input arguments R_subset and R must be real uint32 matrices . . .";
const char* const kThreads = "n_threads must be a non-empty real numeric array . . .";
const char* const kIndexClass = "i_perm should be of type 'uint32' or 'double' . . .";
const char* const kIndexRange = "i_perm must hold 0-based column numbers of R . . .";

class BitsWithin : public harness::PluginTest {
 protected:
  BitsWithin() : PluginTest("bits_within") {}
  // S = {bit 0}, {bits 0,1}, {bit 2}; R = {bits 0,1}, {bits 0,2}, {}.
  array_ptr S = u32(1, 3, {1, 3, 4});
  array_ptr R = u32(1, 3, {3, 5, 0});
  array_ptr two = u16_scalar(2);
};

TEST_F(BitsWithin, SmallTable) {
  array_ptr idx = u32(1, 3, {0, 1, 2});
  const auto o = call(1, S.get(), R.get(), idx.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetClassID(o.out()), mxUINT8_CLASS);
  EXPECT_EQ(mxGetM(o.out()), 3u);
  EXPECT_EQ(mxGetN(o.out()), 3u);
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()),
            (std::vector<std::uint8_t>{1, 1, 0, 1, 0, 1, 0, 0, 0}));
}

TEST_F(BitsWithin, ArgumentCountsComeFirst) {
  array_ptr idx = u32(1, 1, {0});
  array_ptr R4 = u32(4, 1);
  // Three or five inputs: the input message, whatever else is wrong.
  expect_error(kInputs, 1, S.get(), R4.get(), idx.get());
  expect_error(kInputs, 0, S.get(), R.get(), idx.get(), two.get(), two.get());
  expect_error(kInputs, 2);
  // No output or two outputs: the output message, before the shapes.
  expect_error(kOutputs, 0, S.get(), R4.get(), idx.get(), two.get());
  expect_error(kOutputs, 2, S.get(), R.get(), idx.get(), two.get());
}

TEST_F(BitsWithin, ShapeAndClassChecksInOrder) {
  array_ptr idx = u32(1, 1, {0});
  array_ptr R4 = u32(4, 2);
  array_ptr bad_idx = make<std::int32_t>(mxINT32_CLASS, {1, 1}, {0});
  array_ptr empty_threads = make<std::uint16_t>(mxUINT16_CLASS, {0, 0});
  // Row counts before pattern classes, threads and index class.
  expect_error(kRows, 1, S.get(), R4.get(), bad_idx.get(), empty_threads.get());
  array_ptr S8 = make<std::uint8_t>(mxUINT8_CLASS, {1, 3}, {1, 3, 4});
  expect_error(kPatternClass, 1, S8.get(), R.get(), bad_idx.get(), empty_threads.get());
  array_ptr Rd = f64(1, 3, {3, 5, 0});
  expect_error(kPatternClass, 1, S.get(), Rd.get(), idx.get(), two.get());
  array_ptr Rc(standin::create(mxUINT32_CLASS, {1, 3}, true));
  expect_error(kPatternClass, 1, S.get(), Rc.get(), idx.get(), two.get());
  // Thread request before the index class.
  expect_error(kThreads, 1, S.get(), R.get(), bad_idx.get(), empty_threads.get());
  array_ptr cell(standin::create(mxCELL_CLASS, {1, 1}));
  expect_error(kThreads, 1, S.get(), R.get(), idx.get(), cell.get());
  // Index class: int32, single, uint64, complex double.
  expect_error(kIndexClass, 1, S.get(), R.get(), bad_idx.get(), two.get());
  array_ptr single = make<float>(mxSINGLE_CLASS, {1, 1}, {0.f});
  expect_error(kIndexClass, 1, S.get(), R.get(), single.get(), two.get());
  array_ptr u64 = make<std::uint64_t>(mxUINT64_CLASS, {1, 1}, {0});
  expect_error(kIndexClass, 1, S.get(), R.get(), u64.get(), two.get());
}

TEST_F(BitsWithin, IndicesMustNameColumnsOfR) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {3.0, 3.5, -0.5, -1.0, nan, inf, -inf, 1e300}) {
    array_ptr idx = f64(1, 2, {0, bad});
    expect_error(kIndexRange, 1, S.get(), R.get(), idx.get(), two.get());
  }
  array_ptr idx = u32(1, 2, {2, 3});
  expect_error(kIndexRange, 1, S.get(), R.get(), idx.get(), two.get());
  array_ptr big = u32(1, 1, {0xFFFFFFFFu});
  expect_error(kIndexRange, 1, S.get(), R.get(), big.get(), two.get());
  // -0 and fractions below the count are fine.
  array_ptr ok = f64(1, 2, {-0.0, 2.999});
  EXPECT_FALSE(call(1, S.get(), R.get(), ok.get(), two.get()).failed);
}

TEST_F(BitsWithin, OutputShapeFollowsIndexCount) {
  array_ptr empty_idx = f64(0, 0);
  auto o = call(1, S.get(), R.get(), empty_idx.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetM(o.out()), 3u);
  EXPECT_EQ(mxGetN(o.out()), 0u);

  // A 2 x 3 index matrix gives 6 columns in its column-major order.
  array_ptr idx23 = u32(2, 3, {0, 1, 2, 0, 1, 1});
  o = call(1, S.get(), R.get(), idx23.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetN(o.out()), 6u);
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()),
            (std::vector<std::uint8_t>{1, 1, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1}));

  array_ptr S0 = u32(1, 0);
  o = call(1, S0.get(), R.get(), idx23.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetM(o.out()), 0u);
  EXPECT_EQ(mxGetN(o.out()), 6u);

  // No rows: every flag is 1 (different column counts are fine).
  array_ptr S00 = u32(0, 2), R00 = u32(0, 5);
  array_ptr idx2 = f64(1, 2, {4, 0.5});
  o = call(1, S00.get(), R00.get(), idx2.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), std::vector<std::uint8_t>(4, 1));
}

TEST_F(BitsWithin, ThreadRequestsOfEveryClassGiveTheSameTable) {
  std::mt19937_64 rng(99);
  testdata::pattern_matrix Rm(6, 40);
  testdata::fill_random(Rm, rng, 0.5);
  const auto Sm = testdata::subsets_of(Rm, 300, rng, 0.5);
  array_ptr Sa = u32(Sm.rows, Sm.cols, Sm.data), Ra = u32(Rm.rows, Rm.cols, Rm.data);
  std::vector<double> idx;
  for (int k = 0; k < 200; ++k) idx.push_back(k % 40 + (k % 7) * 0.1);
  array_ptr ia = f64(1, idx.size(), idx);
  std::vector<std::uint8_t> expected;
  for (double v : idx)
    for (std::uint64_t j = 0; j < Sm.cols; ++j)
      expected.push_back(testdata::reference_inside(Sm.column(j), Rm.column(std::uint64_t(v)), Sm.rows));

  std::vector<array_ptr> requests;
  requests.push_back(u16_scalar(0));
  requests.push_back(u16_scalar(1));
  requests.push_back(u16_scalar(65535));
  requests.push_back(f64(1, 1, {4}));
  requests.push_back(f64(1, 1, {std::numeric_limits<double>::quiet_NaN()}));
  requests.push_back(f64(1, 1, {-3}));
  requests.push_back(make<std::uint8_t>(mxUINT8_CLASS, {1, 1}, {2}));
  requests.push_back(make<std::int64_t>(mxINT64_CLASS, {1, 3}, {1 << 20, 0, 0}));
  for (const auto& t : requests) {
    const auto o = call(1, Sa.get(), Ra.get(), ia.get(), t.get());
    ASSERT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected);
  }
}

// Tables large enough for the vector kernel (a transposed copy of R_subset),
// with a partly filled last group of columns and both word widths, on the
// path that BITS_SIMD leaves the plug-in.
TEST_F(BitsWithin, VectorPathGivesTheReferenceTable) {
  BITS_PLUGIN_PATH_OR_SKIP();
  std::mt19937_64 rng(2026);
  for (std::uint64_t rows : {33, 34}) {
    testdata::pattern_matrix Rm(rows, 9);
    testdata::fill_random(Rm, rng, 0.9);
    testdata::pattern_matrix Sm(rows, 77);
    testdata::fill_random(Sm, rng, 0.003);
    std::vector<std::uint32_t> idx = {8, 0, 3, 3, 5, 1, 7};
    std::vector<std::uint8_t> expected;
    for (std::uint32_t v : idx)
      for (std::uint64_t j = 0; j < Sm.cols; ++j)
        expected.push_back(testdata::reference_inside(Sm.column(j), Rm.column(v), rows));
    array_ptr Sa = u32(Sm.rows, Sm.cols, Sm.data), Ra = u32(Rm.rows, Rm.cols, Rm.data);
    array_ptr ia = u32(1, idx.size(), idx);
    for (std::uint16_t threads : {1, 2, 7}) {
      array_ptr t = u16_scalar(threads);
      const auto o = call(1, Sa.get(), Ra.get(), ia.get(), t.get());
      ASSERT_FALSE(o.failed) << o.message;
      EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected) << rows << " " << threads;
    }
  }
}

// Pattern blocks that start 4 bytes past an 8-byte boundary, with an even
// row count (64-bit words): few columns take the word-by-word kernel, many
// the vector one.
TEST_F(BitsWithin, MisalignedPatternBlocksGiveTheReferenceTable) {
  std::mt19937_64 rng(8);
  for (std::uint64_t n_subset : {3, 40}) {
    testdata::pattern_matrix Rm(6, 9);
    testdata::fill_random(Rm, rng, 0.9);
    const auto Sm = testdata::subsets_of(Rm, n_subset, rng, 0.5);
    const std::vector<std::uint32_t> idx = {8, 0, 3, 3, 5, 1, 7};
    std::vector<std::uint8_t> expected;
    for (std::uint32_t v : idx)
      for (std::uint64_t j = 0; j < Sm.cols; ++j)
        expected.push_back(testdata::reference_inside(Sm.column(j), Rm.column(v), Rm.rows));
    array_ptr Sa = harness::u32_misaligned(Sm.rows, Sm.cols, Sm.data);
    array_ptr Ra = harness::u32_misaligned(Rm.rows, Rm.cols, Rm.data);
    array_ptr ia = u32(1, idx.size(), idx);
    const auto o = call(1, Sa.get(), Ra.get(), ia.get(), two.get());
    ASSERT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected) << n_subset;
  }
}

TEST_F(BitsWithin, ErrorsLeaveTheNextCallWorking) {
  array_ptr bad = f64(1, 1, {7});
  expect_error(kIndexRange, 1, S.get(), R.get(), bad.get(), two.get());
  array_ptr idx = f64(1, 1, {1});
  const auto o = call(1, S.get(), R.get(), idx.get(), two.get());
  ASSERT_FALSE(o.failed);
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{1, 0, 1}));
}

TEST(BitsWithinLoading, UnloadAndReloadAfterThreadedCalls) {
  for (int round = 0; round < 3; ++round) {
    harness::loaded_plugin p("bits_within");
    array_ptr S = u32(2, 2, {1, 2, 3, 4}), R = u32(2, 1, {3, 6});
    array_ptr idx = u32(1, 4, {0, 0, 0, 0}), two = u16_scalar(2);
    const auto o = p.call(1, {S.get(), R.get(), idx.get(), two.get()});
    ASSERT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 1, 1, 1}));
  }
}

}  // namespace
