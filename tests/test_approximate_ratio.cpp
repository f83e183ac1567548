// approximate_ratio: the worked examples and edge cases by hand, and bit-for-bit
// agreement with a plainly written reference on random values. This file is
// compiled with floating-point contraction off, like the kernel itself.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/approximate_ratio.h"
#include "tests/ratio_reference.h"

namespace {

using bits::approximate_ratio;
using testdata::reference_ratio;
using testdata::reference_result;

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
const double pi = 3.141592653589793;
const double e = 2.718281828459045;

std::uint64_t bits_of(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Expects exactly p over q (NaNs match NaNs, zeros must match in sign).
void expect_ratio(double x, double tol, double p, double q) {
  const bits::ratio r = approximate_ratio(x, tol);
  SCOPED_TRACE(testing::Message() << "x=" << x << " tol=" << tol);
  if (std::isnan(p)) EXPECT_TRUE(std::isnan(r.p)) << r.p;
  else EXPECT_EQ(bits_of(r.p), bits_of(p)) << r.p << " vs " << p;
  if (std::isnan(q)) EXPECT_TRUE(std::isnan(r.q)) << r.q;
  else EXPECT_EQ(bits_of(r.q), bits_of(q)) << r.q << " vs " << q;
}

TEST(ApproximateRatio, WorkedExamples) {
  expect_ratio(pi, 0.001, 355, 113);  // 333/106 accepted, remainder ~0.9966 rounds up
  expect_ratio(pi, 1e-6, 355, 113);   // three steps, no rounding
  EXPECT_EQ(reference_ratio(pi, 1e-6).steps, 3);
  expect_ratio(e, 0.001, 106, 39);    // 87/32 after five steps, then rounded up
  EXPECT_EQ(reference_ratio(e, 0.001).steps, 5);
  expect_ratio(0.4, 0.2, 1, 3);
  expect_ratio(0.45, 0.1, 1, 2);
  expect_ratio(0.3, 0.2, 1, 3);
  expect_ratio(1.5, 1e-6, 3, 2);
  expect_ratio(-1.5, 1e-6, -3, 2);
  expect_ratio(-0.25, 1e-6, -1, 4);
  EXPECT_EQ(reference_ratio(-0.25, 1e-6).steps, 2);
  expect_ratio(2.7, 0.5, 3, 1);
  expect_ratio(2.7, 0.75, 2, 1);  // flat case, not rounded although r >= 0.5
}

TEST(ApproximateRatio, IntegersAndNonFiniteValues) {
  for (double x : {0.0, 1.0, -1.0, 7.0, -123456.0, 9007199254740992.0, 1e300, -1e300})
    for (double tol : {0.0, 1e-12, 0.5, 3.0})
      expect_ratio(x, tol, x, 1);
  expect_ratio(-0.0, 0.1, -0.0, 1);
  for (double tol : {0.0, 0.1, -1.0, inf, -inf, nan}) {
    expect_ratio(nan, tol, nan, 1);
    expect_ratio(inf, tol, inf, 1);
    expect_ratio(-inf, tol, -inf, 1);
  }
}

TEST(ApproximateRatio, NanOrInfiniteToleranceGivesTheFloor) {
  for (double tol : {nan, inf})
    for (double x : {pi, -pi, 0.5, -0.25, 2.7, 1e-300, -1e-300, 12345.678})
      expect_ratio(x, tol, std::floor(x), 1);
}

TEST(ApproximateRatio, HugeNegativeToleranceRoundsToTheNearestInteger) {
  // tol + 1 is not greater than tol: no step, only the final rounding.
  for (double tol : {-inf, -1e300, -1e17}) {
    expect_ratio(2.5, tol, 3, 1);
    expect_ratio(-2.5, tol, -2, 1);
    expect_ratio(0.3, tol, 0, 1);
    expect_ratio(0.7, tol, 1, 1);
    expect_ratio(0.5, tol, 1, 1);
    expect_ratio(-0.7, tol, -1, 1);
    expect_ratio(pi, tol, 3, 1);
    EXPECT_EQ(reference_ratio(pi, tol).steps, 0);
  }
}

TEST(ApproximateRatio, ZeroTolerance) {
  // Stops at the first convergent that reproduces pi in double arithmetic.
  const bits::ratio r = approximate_ratio(pi, 0.0);
  EXPECT_EQ(r.p / r.q, pi);
  EXPECT_EQ(reference_ratio(pi, 0.0).steps, 13);
  expect_ratio(pi, 0.0, 245850922, 78256779);  // convergent 13 of the double pi
  expect_ratio(0.5, 0.0, 1, 2);
  expect_ratio(0.75, 0.0, 3, 4);
  expect_ratio(-0.25, 0.0, -1, 4);
}

TEST(ApproximateRatio, NegativeToleranceIsNeverMet) {
  // A zero remainder makes the next step divide by zero: infinite quotient,
  // NaN remainder (no rounding) and a NaN error that ends the loop.
  expect_ratio(3, -1, inf, inf);
  expect_ratio(-3, -1, -inf, inf);
  expect_ratio(0, -1, nan, inf);
  // 1.5: a1 = 2 leaves remainder 0, so the next step runs into the same.
  expect_ratio(1.5, -1, inf, inf);
  EXPECT_EQ(reference_ratio(1.5, -1).steps, 2);
  // pi never ends on a zero remainder within the cap: all 49 steps.
  const bits::ratio r = approximate_ratio(pi, -1);
  EXPECT_EQ(reference_ratio(pi, -1).steps, 49);
  EXPECT_GT(r.q, 1e27);
  EXPECT_LT(r.q, 1e30);
  EXPECT_GT(r.p, 1e27);
  EXPECT_LT(r.p, 1e30);
}

TEST(ApproximateRatio, RemainderOfExactlyOneHalfRoundsUp) {
  expect_ratio(0.4, 0.2, 1, 3);  // 1/2 accepted with remainder exactly 0.5
  // 0.6: the remainder after the second step is just below 0.5, no rounding.
  expect_ratio(0.6, 0.1, 1, 2);
  EXPECT_EQ(reference_ratio(0.6, 0.1).steps, 2);
  const double t = 1.0 / (1.0 / 0.6 - 1.0);
  EXPECT_LT(t - std::floor(t), 0.5);
  // No step at all: the initial remainder decides.
  expect_ratio(1.5, -inf, 2, 1);
  expect_ratio(-1.5, -inf, -1, 1);
}

TEST(ApproximateRatio, StepCapIsFiftyPartialQuotients) {
  // Fibonacci-like values have long expansions of ones: capped at 49 steps.
  const double golden = (1.0 + std::sqrt(5.0)) / 2.0;
  EXPECT_EQ(reference_ratio(golden, -1).steps, 49);
  const bits::ratio r = approximate_ratio(golden, -1);
  const reference_result ref = reference_ratio(golden, -1);
  EXPECT_EQ(bits_of(r.p), bits_of(ref.p));
  EXPECT_EQ(bits_of(r.q), bits_of(ref.q));
  EXPECT_GT(r.q, 1e9);
  EXPECT_EQ(bits::max_partial_quotients, 50);
}

TEST(ApproximateRatio, AccurateForOrdinaryTolerances) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> value(-1000.0, 1000.0);
  for (int k = 0; k < 20000; ++k) {
    const double x = value(rng);
    for (double tol : {1e-1, 1e-4, 1e-9}) {
      const bits::ratio r = approximate_ratio(x, tol);
      // An accepted convergent is within tol; the rounded one lies between
      // it and x's neighbour convergent, so within twice tol.
      EXPECT_LE(std::fabs(r.p / r.q - x), 2 * tol) << x;
      EXPECT_GE(r.q, 1.0);
      EXPECT_EQ(r.p, std::floor(r.p));
      EXPECT_EQ(r.q, std::floor(r.q));
    }
  }
}

// Values across magnitudes: plain, integral, halves, short decimals, tiny,
// huge, and every non-finite; tolerances across magnitudes and signs.
double random_value(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-20, 20);
  const double sign = unit(rng) < 0.5 ? -1.0 : 1.0;
  switch (kind(rng)) {
    case 0: return sign * std::floor(unit(rng) * 1000.0);
    case 1: return sign * (std::floor(unit(rng) * 100.0) + 0.5);
    case 2: return sign * std::floor(unit(rng) * 1000.0) / 100.0;
    case 3: return sign * unit(rng) * 1e-300;
    case 4: return sign * unit(rng) * 1e300;
    case 5: {
      const double specials[] = {nan, inf, -inf, 0.0, -0.0, pi, e, 0.1, 1.0 / 3.0};
      return specials[std::uniform_int_distribution<int>(0, 8)(rng)];
    }
    default: return sign * unit(rng) * std::pow(10.0, exponent(rng));
  }
}

double random_tol(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> kind(0, 7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-17, 2);
  switch (kind(rng)) {
    case 0: return 0.0;
    case 1: return -unit(rng) * std::pow(10.0, exponent(rng));
    case 2: {
      const double specials[] = {nan, inf, -inf, -1e300, 0.5, 1.0, 1e-300};
      return specials[std::uniform_int_distribution<int>(0, 6)(rng)];
    }
    default: return unit(rng) * std::pow(10.0, exponent(rng));
  }
}

TEST(ApproximateRatio, MatchesReferenceBitForBitOnAMillionRandomValues) {
  std::mt19937_64 rng(20261208);
  std::uint64_t mismatches = 0, steps = 0;
  for (int k = 0; k < 1000000; ++k) {
    const double x = random_value(rng);
    const double tol = random_tol(rng);
    const bits::ratio r = approximate_ratio(x, tol);
    const reference_result ref = reference_ratio(x, tol);
    steps += static_cast<std::uint64_t>(ref.steps);
    if (bits_of(r.p) != bits_of(ref.p) || bits_of(r.q) != bits_of(ref.q)) {
      if (++mismatches <= 5)
        ADD_FAILURE() << std::hexfloat << "x=" << x << " tol=" << tol << ": " << r.p << "/" << r.q
                      << " vs " << ref.p << "/" << ref.q;
    }
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_GT(steps, 1000000u);  // the inputs exercise the loop, not only the flat case
}

// A value built exactly from raw generator bits (std::mt19937_64 is the same
// everywhere, and ldexp is exact): sign, 53-bit mantissa, binary exponent.
double exact_value(std::uint64_t bits, int min_exp, int max_exp) {
  const double mantissa = static_cast<double>(bits >> 11);  // below 2^53: exact
  const int span = max_exp - min_exp + 1;
  const int exp = min_exp + static_cast<int>((bits >> 1) % static_cast<std::uint64_t>(span)) - 53;
  const double v = std::ldexp(mantissa, exp);
  return (bits & 1) ? -v : v;
}

TEST(ApproximateRatio, ResultsAreTheSameOnEveryPlatform) {
  // FNV-1a over the bits of every result (NaNs in one canonical form, as their
  // sign and payload are the processor's) for inputs made without any
  // library rounding. The constant was recorded on x86-64 Linux and Windows.
  std::mt19937_64 rng(4);
  std::uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](double v) {
    const std::uint64_t b = std::isnan(v) ? 0x7FF8000000000000ull : bits_of(v);
    for (int k = 0; k < 8; ++k) {
      hash ^= (b >> (8 * k)) & 0xFF;
      hash *= 1099511628211ull;
    }
  };
  for (int k = 0; k < 200000; ++k) {
    const double x = exact_value(rng(), -30, 30);
    const std::uint64_t t = rng();
    const double tol = (t & 7) == 0 ? -exact_value(t, -50, 2) : std::fabs(exact_value(t, -50, 2));
    const bits::ratio r = approximate_ratio(x, tol);
    mix(r.p);
    mix(r.q);
  }
  EXPECT_EQ(hash, 3277348333513149415ull);
}

}  // namespace
