// The plug-ins of the double description steps as a host calls them:
// ray_signs, ray_combine, integer_null_space, candidate_pairs,
// pattern_tree and enumerate_rays (all steps in one call), built, through
// the stand-in host. Messages and the order of
// the checks, small results, and what does not fit.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "tests/plugin_harness.h"

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;
using harness::u16_scalar;
using harness::u32;

array_ptr i64(std::size_t m, std::size_t n, const std::vector<std::int64_t>& v = {}) {
  return make(mxINT64_CLASS, {m, n}, v);
}

class RaySigns : public harness::PluginTest {
 protected:
  RaySigns() : PluginTest("ray_signs") {}
};

TEST_F(RaySigns, ExactSignsAndChecks) {
  // (2^31, 1, -2^31) . (2^31, 1, 2^31) = 1, which doubles round to 0.
  const std::int64_t big = INT64_C(1) << 31;
  array_ptr A = i64(2, 3, {big, -1, 1, 0, -big, 0});
  array_ptr X = i64(3, 2, {big, 1, big, 0, 0, 5});
  const auto o = call(1, A.get(), X.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetClassID(o.out()), mxINT8_CLASS);
  EXPECT_EQ(standin::dims(o.out()), (std::vector<std::size_t>{2, 2}));
  EXPECT_EQ(harness::values<std::int8_t>(o.out()), (std::vector<std::int8_t>{1, -1, -1, 0}));
  array_ptr none = i64(3, 0);
  EXPECT_EQ(standin::dims(call(1, A.get(), none.get()).out()), (std::vector<std::size_t>{2, 0}));
  // Rays of no entries: every sign is 0 (A has no data block to read).
  array_ptr A0 = i64(2, 0), X0 = i64(0, 3);
  const auto zero = call(1, A0.get(), X0.get());
  ASSERT_FALSE(zero.failed) << zero.message;
  EXPECT_EQ(harness::values<std::int8_t>(zero.out()), std::vector<std::int8_t>(6, 0));

  array_ptr d = f64(3, 2);
  expect_error("Two input arguments required . . .", 1, A.get());
  expect_error("One output argument required . . .", 2, A.get(), X.get());
  expect_error("A and X must be real int64 matrices . . .", 1, A.get(), d.get());
  expect_error("A must have as many columns as X has rows . . .", 1, X.get(), X.get());
}

class RayCombine : public harness::PluginTest {
 protected:
  RayCombine() : PluginTest("ray_combine") {}
};

TEST_F(RayCombine, NewRaysAndChecksInOrder) {
  array_ptr a = i64(1, 2, {1, -2});
  array_ptr X = i64(2, 3, {1, 0, 0, 1, 4, 2});
  array_ptr pairs = f64(2, 2, {0.0, 1.9, 2.0, 1.0});  // (0, 1) and (2, 1)
  const auto o = call(1, a.get(), X.get(), pairs.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetClassID(o.out()), mxINT64_CLASS);
  // (a.x0) x1 - (a.x1) x0 = (2, 1); (a.x2) x1 - (a.x1) x2 = 2 (4, 2), reduced.
  EXPECT_EQ(harness::values<std::int64_t>(o.out()), (std::vector<std::int64_t>{2, 1, 2, 1}));

  array_ptr u = u32(2, 1, {0, 3});
  array_ptr three_rows = u32(3, 1, {0, 1, 0});
  array_ptr short_a = i64(1, 1, {1});
  array_ptr int_pairs = make(mxINT32_CLASS, {2, 1}, std::vector<std::int32_t>{0, 1});
  expect_error("Three input arguments required . . .", 1, a.get(), X.get());
  expect_error("One output argument required . . .", 0, a.get(), X.get(), u.get());
  expect_error("a and X must be real int64 arrays . . .", 1, pairs.get(), X.get(), u.get());
  expect_error("a must have one entry per row of X . . .", 1, short_a.get(), X.get(), u.get());
  expect_error("Candidate combinations must be a 2 by n matrix . . .", 1, a.get(), X.get(), three_rows.get());
  expect_error("j_comb should be of type 'uint32' or 'double' . . .", 1, a.get(), X.get(), int_pairs.get());
  expect_error("j_comb must hold 0-based column numbers of X . . .", 1, a.get(), X.get(), u.get());

  // (1, -2^40, 2^80): a ray beyond int64 is an error, never a rounded ray.
  const std::int64_t big = INT64_C(1) << 40;
  array_ptr wide_a = i64(1, 3, {big, 1, 0});
  array_ptr wide_X = i64(3, 2, {1, 0, 0, 0, -1, big});
  array_ptr pair = u32(2, 1, {0, 1});
  expect_error("A new ray has entries beyond the int64 range . . .", 1, wide_a.get(), wide_X.get(), pair.get());
}

class IntegerNullSpace : public harness::PluginTest {
 protected:
  IntegerNullSpace() : PluginTest("integer_null_space") {}
};

TEST_F(IntegerNullSpace, BasisPivotsAndWhatDoesNotFit) {
  array_ptr M = i64(2, 3, {1, 2, 2, 4, 3, 6});
  const auto o = call(2, M.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::int64_t>(o.out(0)), (std::vector<std::int64_t>{-2, 1, 0, -3, 0, 1}));
  EXPECT_EQ(standin::dims(o.out(0)), (std::vector<std::size_t>{3, 2}));
  EXPECT_EQ(harness::values<double>(o.out(1)), (std::vector<double>{1}));
  array_ptr empty = i64(0, 2);
  EXPECT_EQ(harness::values<std::int64_t>(call(1, empty.get()).out()), (std::vector<std::int64_t>{1, 0, 0, 1}));

  array_ptr no = make(mxLOGICAL_CLASS, {1, 1}, std::vector<std::uint8_t>{0});
  const auto pivots_only = call(2, M.get(), no.get());
  EXPECT_EQ(standin::dims(pivots_only.out(0)), (std::vector<std::size_t>{3, 0}));
  EXPECT_EQ(harness::values<double>(pivots_only.out(1)), (std::vector<double>{1}));
  expect_error("One or two input arguments required . . .", 1, M.get(), M.get(), M.get());
  expect_error("At most two output arguments allowed . . .", 3, M.get());
  array_ptr d = f64(1, 1, {1});
  expect_error("M must be a real int64 matrix . . .", 1, d.get());
  const std::int64_t big = INT64_C(1) << 40;
  array_ptr wide = i64(2, 3, {big, 0, -1, big, 0, -1});
  expect_error("A null space basis entry is beyond the int64 range . . .", 1, wide.get());
  EXPECT_FALSE(call(2, wide.get(), no.get()).failed);
  array_ptr none = f64(0, 0);
  expect_error("basis must be a non-empty real numeric or logical array . . .", 1, M.get(), none.get());
  // Dense rows of 60-bit entries: minors pass 256 bits within a few steps.
  std::vector<std::int64_t> dense(12 * 13);
  std::uint64_t s = 88172645463325252u;
  for (auto& v : dense) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    v = static_cast<std::int64_t>(s >> 4);
  }
  array_ptr huge = i64(12, 13, dense);
  expect_error("The exact elimination needs integers beyond 256 bits . . .", 1, huge.get());
}

class CandidatePairs : public harness::PluginTest {
 protected:
  CandidatePairs() : PluginTest("candidate_pairs") {}
  // {0,1} {0,2} {1,2} {2,3}
  array_ptr R = u32(1, 4, {3, 5, 6, 12});
  array_ptr pos = f64(1, 2, {0, 1});
  array_ptr neg = u32(1, 2, {2, 3});
  array_ptr bound = f64(1, 1, {3});
  array_ptr one = u16_scalar(1);
};

TEST_F(CandidatePairs, PairsInOrderAndChecksInOrder) {
  const auto o = call(1, R.get(), pos.get(), neg.get(), bound.get(), one.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetClassID(o.out()), mxUINT32_CLASS);
  EXPECT_EQ(harness::values<std::uint32_t>(o.out()), (std::vector<std::uint32_t>{0, 2, 1, 2, 1, 3}));
  array_ptr minus = f64(1, 1, {-1});
  EXPECT_EQ(standin::dims(call(1, R.get(), pos.get(), neg.get(), minus.get(), one.get()).out()),
            (std::vector<std::size_t>{2, 0}));

  array_ptr d = f64(1, 4);
  array_ptr none = f64(0, 0);
  array_ptr too_far = f64(1, 1, {4});
  array_ptr int_index = make(mxINT32_CLASS, {1, 1}, std::vector<std::int32_t>{0});
  expect_error("Five input arguments required . . .", 1, R.get(), pos.get(), neg.get(), bound.get());
  expect_error("One output argument required . . .", 2, R.get(), pos.get(), neg.get(), bound.get(), one.get());
  expect_error("R must be a real uint32 matrix . . .", 1, d.get(), pos.get(), neg.get(), bound.get(), one.get());
  expect_error("max_union must be a non-empty real numeric array . . .", 1, R.get(), pos.get(), neg.get(), none.get(), none.get());
  expect_error("n_threads must be a non-empty real numeric array . . .", 1, R.get(), int_index.get(), neg.get(), bound.get(), none.get());
  expect_error("i_pos should be of type 'uint32' or 'double' . . .", 1, R.get(), int_index.get(), too_far.get(), bound.get(), one.get());
  expect_error("i_pos must hold 0-based column numbers of R . . .", 1, R.get(), too_far.get(), int_index.get(), bound.get(), one.get());
  expect_error("i_neg should be of type 'uint32' or 'double' . . .", 1, R.get(), pos.get(), int_index.get(), bound.get(), one.get());
  expect_error("i_neg must hold 0-based column numbers of R . . .", 1, R.get(), pos.get(), too_far.get(), bound.get(), one.get());
}

class PatternTree : public harness::PluginTest {
 protected:
  PatternTree() : PluginTest("pattern_tree") {}
};

TEST_F(PatternTree, TreeOutputsAndChecks) {
  array_ptr R = u32(1, 6, {1, 3, 5, 7, 8, 12});
  array_ptr two = f64(1, 1, {2});
  const auto o = call(4, R.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint32_t>(o.out(0)), (std::vector<std::uint32_t>{0, 4, 5, 12, 0, 1, 8}));
  EXPECT_EQ(harness::values<std::uint32_t>(o.out(1)), (std::vector<std::uint32_t>{7, 4, 3, 4, 7, 6, 7}));
  EXPECT_EQ(harness::values<std::uint64_t>(o.out(2)),
            (std::vector<std::uint64_t>{1, 0, 1, 0, 2, 3, 5, 5, 1, 0, 0, 1, 4, 4}));
  EXPECT_EQ(harness::values<double>(o.out(3)), (std::vector<double>{3, 4, 6, 1, 2, 5}));
  // Fewer outputs: the others are not kept (the fixture checks for leaks).
  for (int nlhs : {0, 1, 2, 3}) EXPECT_FALSE(call(nlhs, R.get()).failed);

  array_ptr zero = f64(1, 1, {0});
  array_ptr half = f64(1, 1, {1.5});
  array_ptr d = f64(1, 6);
  array_ptr yes = make(mxLOGICAL_CLASS, {1, 1}, std::vector<std::uint8_t>{1});
  const auto ordered = call(4, R.get(), two.get(), yes.get());
  ASSERT_FALSE(ordered.failed) << ordered.message;
  // The tree of R(:, order) = {5, 7, 12, 1, 3, 8}: the same nodes, every
  // leaf one range of positions.
  EXPECT_EQ(harness::values<std::uint32_t>(ordered.out(0)), harness::values<std::uint32_t>(o.out(0)));
  EXPECT_EQ(harness::values<std::uint64_t>(ordered.out(2)),
            (std::vector<std::uint64_t>{1, 0, 1, 0, 0, 1, 2, 2, 1, 0, 3, 4, 5, 5}));
  EXPECT_EQ(harness::values<double>(ordered.out(3)), harness::values<double>(o.out(3)));

  expect_error("One to three input arguments required . . .", 1);
  expect_error("At most four output arguments allowed . . .", 5, R.get());
  expect_error("R must be a real uint32 matrix . . .", 1, d.get(), zero.get());
  expect_error("leaf_size must be a positive whole number . . .", 1, R.get(), zero.get());
  expect_error("leaf_size must be a positive whole number . . .", 1, R.get(), half.get());
  array_ptr none = f64(0, 0);
  expect_error("in_order must be a non-empty real numeric or logical array . . .", 1, R.get(), two.get(), none.get());
}

class EnumerateRays : public harness::PluginTest {
 protected:
  EnumerateRays() : PluginTest("enumerate_rays") {}
};

TEST_F(EnumerateRays, RaysProgressAndChecksInOrder) {
  // The cone over a square: its first three rows and their rays, then the fourth.
  array_ptr A = i64(4, 3, {1, 1, 1, 1, 1, -1, 0, 0, 0, 0, 1, -1});
  array_ptr X0 = i64(3, 3, {1, 1, -1, 1, -1, -1, 0, 0, 1});
  array_ptr sequence = f64(1, 4, {0, 1, 2, 3});
  array_ptr no = make(mxLOGICAL_CLASS, {1, 4}, std::vector<std::uint8_t>{0, 0, 0, 0});
  array_ptr one = u16_scalar(1);
  array_ptr settings = f64(1, 3, {2, 0, 1});  // leaf size 2, progress
  standin::printed_text().clear();
  const auto o = call(2, A.get(), X0.get(), sequence.get(), no.get(), one.get(), settings.get());
  ASSERT_FALSE(o.failed) << o.message;
  auto rays = harness::values<std::int64_t>(o.out());
  ASSERT_EQ(rays.size(), 12u);
  std::vector<std::vector<std::int64_t>> columns;
  for (std::size_t c = 0; c < 4; ++c) columns.emplace_back(rays.begin() + 3 * c, rays.begin() + 3 * c + 3);
  std::sort(columns.begin(), columns.end());
  EXPECT_EQ(columns, (std::vector<std::vector<std::int64_t>>{{1, -1, -1}, {1, -1, 1}, {1, 1, -1}, {1, 1, 1}}));
  EXPECT_EQ(harness::values<double>(o.out(1))[0], 1.0);  // one step
  EXPECT_EQ(harness::values<double>(o.out(1))[2], 2.0);  // two adjacent pairs
  EXPECT_EQ(standin::printed_text().find("step 1/1 (row 4): 3 rays (2 +, 1 -)"), 0u) << standin::printed_text();

  // With V = 2A, the rays' values on the rows of A, each column divided by its gcd.
  const auto a_rows = harness::values<std::int64_t>(A.get());
  std::vector<std::int64_t> twice_a(a_rows), products;
  for (auto& e : twice_a) e *= 2;
  array_ptr V = i64(4, 3, twice_a);
  const auto v = call(1, A.get(), X0.get(), sequence.get(), no.get(), one.get(), settings.get(), V.get());
  ASSERT_FALSE(v.failed) << v.message;
  for (std::size_t c = 0; c < 4; ++c) {
    std::int64_t y[4] = {0, 0, 0, 0}, g = 0;
    for (std::size_t r = 0; r < 4; ++r) {
      for (std::size_t i = 0; i < 3; ++i) y[r] += a_rows[r + 4 * i] * rays[3 * c + i];
      g = std::gcd(g, y[r]);
    }
    for (std::int64_t e : y) products.push_back(e / g);
  }
  EXPECT_EQ(harness::values<std::int64_t>(v.out()), products);
  // A value beyond int64 is an error: the ray (1, 1) on the row (2^63 - 1, 2^63 - 1).
  array_ptr wide = i64(4, 2, {1, 0, INT64_MAX, -1, 0, 1, INT64_MAX, 1});
  array_ptr unit = i64(2, 2, {1, 0, 0, 1});
  expect_error("A ray's value on a row of V is beyond the int64 range . . .", 1, wide.get(), unit.get(),
               sequence.get(), no.get(), one.get(), settings.get(), wide.get());
  expect_error("V must be a real int64 matrix with one column per column of A . . .", 1, A.get(), X0.get(),
               sequence.get(), no.get(), one.get(), settings.get(), unit.get());

  array_ptr d = f64(3, 3);
  array_ptr twice = f64(1, 4, {0, 1, 1, 3});
  array_ptr short_rev = make(mxLOGICAL_CLASS, {1, 3}, std::vector<std::uint8_t>{0, 0, 0});
  array_ptr big = f64(1, 5);
  const mxArray* a = A.get();
  expect_error("Six or seven input arguments required . . .", 1, a);
  expect_error("One or two output arguments required . . .", 0, a, X0.get(), sequence.get(), no.get(), one.get(), settings.get());
  expect_error("A and X0 must be real int64 matrices . . .", 1, a, d.get(), sequence.get(), no.get(), one.get(), settings.get());
  expect_error("sequence must be a uint32 or double array with one element per row of A . . .", 1, a, X0.get(), short_rev.get(), no.get(), one.get(), settings.get());
  expect_error("reversible must be a logical or double array with one element per row of A . . .", 1, a, X0.get(), sequence.get(), short_rev.get(), one.get(), settings.get());
  expect_error("settings must be a real double array of at most four elements . . .", 1, a, X0.get(), sequence.get(), no.get(), one.get(), big.get());
  expect_error("sequence must hold every row of A once, as 0-based row numbers . . .", 1, a, X0.get(), twice.get(), no.get(), one.get(), settings.get());
  // The same rays taken for other rows: not the rays of those rows.
  array_ptr other = f64(1, 4, {3, 1, 2, 0});
  expect_error("X0 must hold the initial rays of the first rows of the sequence: "
               "a_i x0_j = 0 for i ~= j and > 0 for i == j . . .",
               1, a, X0.get(), other.get(), no.get(), one.get(), settings.get());
  // A budget that holds the initial rays only stops the step that pairs rays.
  array_ptr tight = f64(1, 4, {64, 0, 0, 200});
  const auto stopped = call(1, a, X0.get(), sequence.get(), no.get(), one.get(), tight.get());
  EXPECT_TRUE(stopped.failed);
  EXPECT_EQ(stopped.message.rfind("Step 1 of 1 needs ", 0), 0u) << stopped.message;
  EXPECT_NE(stopped.message.find("more than the memory budget of 0.00 GB . . ."), std::string::npos) << stopped.message;
}

// Ctrl-C during a run: the orthant of R^16 cut by 60 random rows, whose
// run takes half a minute on one thread, is stopped 200 ms in. The call
// ends with the error, leaving nothing behind (the fixture checks), the
// host's flag is cleared, and the next call runs to its end.
TEST_F(EnumerateRays, CtrlCStopsARunningCallAndTheNextOneWorks) {
  const std::size_t n = 16, k = 60, m = n + k;
  std::vector<std::int64_t> a(m * n, 0), x0(n * n, 0);
  std::mt19937_64 rng(16);
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t c = 0; c < n; ++c) a[r + m * c] = r < n ? (r == c) : static_cast<std::int64_t>(rng() % 6) - 1;
  for (std::size_t c = 0; c < n; ++c) x0[c + n * c] = 1;
  std::vector<double> order(m);
  std::iota(order.begin(), order.end(), 0.0);
  array_ptr A = i64(m, n, a), X0 = i64(n, n, x0), sequence = f64(1, m, order);
  array_ptr no = make(mxLOGICAL_CLASS, {1, m}, std::vector<std::uint8_t>(m, 0));
  array_ptr one = u16_scalar(1), settings = f64(1, 1, {64});
  const auto o = harness::with_ctrl_c_after(
      200, [&] { return call(1, A.get(), X0.get(), sequence.get(), no.get(), one.get(), settings.get()); });
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.message.rfind("Interrupted by Ctrl-C in step ", 0), 0u) << o.message;
  EXPECT_NE(o.message.find("; the run stopped and freed its memory . . ."), std::string::npos) << o.message;
  EXPECT_FALSE(utIsInterruptPending());
  // The cone over a square, as above.
  array_ptr square = i64(4, 3, {1, 1, 1, 1, 1, -1, 0, 0, 0, 0, 1, -1});
  array_ptr square_x0 = i64(3, 3, {1, 1, -1, 1, -1, -1, 0, 0, 1});
  array_ptr four = f64(1, 4, {0, 1, 2, 3});
  array_ptr no4 = make(mxLOGICAL_CLASS, {1, 4}, std::vector<std::uint8_t>{0, 0, 0, 0});
  const auto next = call(1, square.get(), square_x0.get(), four.get(), no4.get(), one.get(), settings.get());
  ASSERT_FALSE(next.failed) << next.message;
  EXPECT_EQ(mxGetN(next.out()), 4u);
}

}  // namespace
