// rational_approx as a host calls it: the built plug-in, through the stand-in host.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/approximate_ratio.h"
#include "tests/plugin_harness.h"

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;

const char* const kInputs = "Two input arguments required . . .";
const char* const kOutputs = "Two output arguments required . . .";
const char* const kValues = "values must be a real, full double array . . .";
const char* const kTol = "tol must be a non-empty real numeric array . . .";

class RationalApprox : public harness::PluginTest {
 protected:
  RationalApprox() : PluginTest("rational_approx") {}
  array_ptr tol6 = f64(1, 1, {1e-6});

  // Calls with two outputs and checks that both have the dimensions and
  // class of `values`.
  harness::outcome approximate(const mxArray* values, const mxArray* tol) const {
    harness::outcome o = call(2, values, tol);
    EXPECT_FALSE(o.failed) << o.message;
    if (o.failed) return o;
    EXPECT_EQ(o.outputs.size(), 2u);
    for (const auto& out : o.outputs) {
      EXPECT_EQ(mxGetClassID(out.get()), mxDOUBLE_CLASS);
      EXPECT_EQ(standin::dims(out.get()), standin::dims(values));
      EXPECT_NE(out.get(), values);
    }
    return o;
  }
};

TEST_F(RationalApprox, MatrixOfSimpleFractions) {
  array_ptr v = f64(2, 2, {0.5, 1.5, 0.25, -0.25});
  const auto o = approximate(v.get(), tol6.get());
  ASSERT_FALSE(o.failed);
  EXPECT_EQ(harness::values<double>(o.out(0)), (std::vector<double>{1, 3, 1, -1}));
  EXPECT_EQ(harness::values<double>(o.out(1)), (std::vector<double>{2, 2, 4, 4}));
  // The input is left as it was.
  EXPECT_EQ(harness::values<double>(v.get()), (std::vector<double>{0.5, 1.5, 0.25, -0.25}));
}

TEST_F(RationalApprox, ShapesFollowValues) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> value(-50.0, 50.0);
  const std::vector<std::vector<std::size_t>> shapes = {
      {1, 1}, {1, 7}, {7, 1}, {3, 4}, {2, 3, 4}, {2, 1, 3}, {1, 1, 1, 5}};
  for (const auto& shape : shapes) {
    array_ptr v(standin::create(mxDOUBLE_CLASS, shape));
    double* x = mxGetPr(v.get());
    const std::size_t n = mxGetNumberOfElements(v.get());
    for (std::size_t k = 0; k < n; ++k) x[k] = k % 3 == 0 ? std::floor(value(rng)) : value(rng);
    array_ptr tol = f64(1, 1, {1e-3});
    const auto o = approximate(v.get(), tol.get());
    ASSERT_FALSE(o.failed);
    const double* p = mxGetPr(o.out(0));
    const double* q = mxGetPr(o.out(1));
    for (std::size_t k = 0; k < n; ++k) {
      const bits::ratio r = bits::approximate_ratio(x[k], 1e-3);
      EXPECT_EQ(p[k], r.p);
      EXPECT_EQ(q[k], r.q);
      if (k % 3 == 0) {
        EXPECT_EQ(p[k], x[k]);  // integers come back over 1
        EXPECT_EQ(q[k], 1.0);
      }
    }
  }
}

TEST_F(RationalApprox, EmptyValuesGiveTwoEmptyCopies) {
  for (const auto& shape : std::vector<std::vector<std::size_t>>{{0, 0}, {1, 0}, {0, 3}, {2, 0, 4}}) {
    array_ptr v(standin::create(mxDOUBLE_CLASS, shape));
    const auto o = approximate(v.get(), tol6.get());
    ASSERT_FALSE(o.failed);
    EXPECT_TRUE(mxIsEmpty(o.out(0)));
    EXPECT_TRUE(mxIsEmpty(o.out(1)));
  }
}

TEST_F(RationalApprox, TolIsItsFirstElementOfAnyRealNumericClass) {
  array_ptr v = f64(1, 4, {3.141592653589793, 0.4, 2.7, 0.3});
  // 0.2 first, then elements that would change the results if read.
  array_ptr tol = f64(2, 2, {0.2, 0.0, -1.0, 1e-9});
  auto o = approximate(v.get(), tol.get());
  ASSERT_FALSE(o.failed);
  EXPECT_EQ(harness::values<double>(o.out(0)), (std::vector<double>{3, 1, 8, 1}));
  EXPECT_EQ(harness::values<double>(o.out(1)), (std::vector<double>{1, 3, 3, 3}));

  // Integer and single tolerances are read by value: 1 gives floor(x) over 1
  // for these values, -1 runs every expansion to its end.
  array_ptr w = f64(1, 3, {2.5, -0.25, 3.0});
  std::vector<array_ptr> ones;
  ones.push_back(make<std::uint8_t>(mxUINT8_CLASS, {1, 1}, {1}));
  ones.push_back(make<std::int64_t>(mxINT64_CLASS, {1, 2}, {1, -5}));
  ones.push_back(make<float>(mxSINGLE_CLASS, {1, 1}, {1.0f}));
  ones.push_back(make<std::uint16_t>(mxUINT16_CLASS, {1, 1}, {1}));
  for (const auto& t : ones) {
    o = approximate(w.get(), t.get());
    ASSERT_FALSE(o.failed);
    EXPECT_EQ(harness::values<double>(o.out(0)), (std::vector<double>{2, -1, 3}));
    EXPECT_EQ(harness::values<double>(o.out(1)), (std::vector<double>{1, 1, 1}));
  }
  array_ptr minus_one = make<std::int8_t>(mxINT8_CLASS, {1, 1}, {-1});
  o = approximate(w.get(), minus_one.get());
  ASSERT_FALSE(o.failed);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(harness::values<double>(o.out(0))[2], inf);
  EXPECT_EQ(harness::values<double>(o.out(1))[2], inf);
}

TEST_F(RationalApprox, NonFiniteValuesAndTolerances) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  array_ptr v = f64(1, 4, {nan, inf, -inf, 2.5});
  array_ptr tol = f64(1, 1, {-inf});
  const auto o = approximate(v.get(), tol.get());
  ASSERT_FALSE(o.failed);
  const auto p = harness::values<double>(o.out(0));
  EXPECT_TRUE(std::isnan(p[0]));
  EXPECT_EQ(p[1], inf);
  EXPECT_EQ(p[2], -inf);
  EXPECT_EQ(p[3], 3.0);
  EXPECT_EQ(harness::values<double>(o.out(1)), (std::vector<double>{1, 1, 1, 1}));
}

TEST_F(RationalApprox, CountsComeFirstThenValuesThenTol) {
  array_ptr v = f64(1, 2, {0.5, 0.25});
  array_ptr bad_values = make<float>(mxSINGLE_CLASS, {1, 1}, {0.5f});
  array_ptr empty_tol = f64(0, 0);
  // Inputs before outputs, whatever else is wrong.
  expect_error(kInputs, 2, v.get());
  expect_error(kInputs, 1, v.get());
  expect_error(kInputs, 0);
  expect_error(kInputs, 2, v.get(), tol6.get(), tol6.get());
  // Outputs before the arguments' classes: one, none, or three.
  expect_error(kOutputs, 1, v.get(), tol6.get());
  expect_error(kOutputs, 0, bad_values.get(), empty_tol.get());
  expect_error(kOutputs, 3, v.get(), tol6.get());
  // values before tol.
  expect_error(kValues, 2, bad_values.get(), empty_tol.get());
  array_ptr complex_values(standin::create(mxDOUBLE_CLASS, {1, 2}, true));
  expect_error(kValues, 2, complex_values.get(), tol6.get());
  array_ptr sparse_values(standin::create(mxDOUBLE_CLASS, {2, 2}, false, true));
  expect_error(kValues, 2, sparse_values.get(), tol6.get());
  array_ptr int_values = make<std::int32_t>(mxINT32_CLASS, {1, 1}, {3});
  expect_error(kValues, 2, int_values.get(), tol6.get());
  array_ptr text = harness::text(u"0.5");
  expect_error(kValues, 2, text.get(), tol6.get());
  array_ptr empty_single = make<float>(mxSINGLE_CLASS, {0, 0});
  expect_error(kValues, 2, empty_single.get(), tol6.get());
  // tol: empty, not numeric, complex, sparse.
  expect_error(kTol, 2, v.get(), empty_tol.get());
  array_ptr logical_tol = make<std::uint8_t>(mxLOGICAL_CLASS, {1, 1}, {1});
  expect_error(kTol, 2, v.get(), logical_tol.get());
  array_ptr cell_tol(standin::create(mxCELL_CLASS, {1, 1}));
  expect_error(kTol, 2, v.get(), cell_tol.get());
  array_ptr complex_tol(standin::create(mxDOUBLE_CLASS, {1, 1}, true));
  expect_error(kTol, 2, v.get(), complex_tol.get());
  array_ptr text_tol = harness::text(u"1");
  expect_error(kTol, 2, v.get(), text_tol.get());
  // An empty values array still needs a readable tol.
  array_ptr empty_values = f64(0, 0);
  expect_error(kTol, 2, empty_values.get(), empty_tol.get());
}

}  // namespace
