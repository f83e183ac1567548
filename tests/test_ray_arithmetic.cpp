// Exact integers, ray arithmetic and the integer null space against plainly
// written references: 128-bit arithmetic where values fit it, 256-bit
// arithmetic without the shortcuts of the kernels, and rank modulo a prime.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/integer_null_space.h"
#include "core/ray_arithmetic.h"

namespace {

using bits::wide_int;

// Random 64-bit integers of every magnitude, both signs, and the extremes.
std::int64_t random_int64(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0: return INT64_MIN;
    case 1: return INT64_MAX;
    default: {
      const std::int64_t v = static_cast<std::int64_t>(rng() >> (rng() % 64));
      return rng() % 2 ? v : -v;
    }
  }
}

#if defined(__SIZEOF_INT128__)
typedef __int128 int128;

wide_int wide_of(int128 v) {
  const std::uint64_t fill = v < 0 ? ~std::uint64_t(0) : 0;
  return wide_int{{static_cast<std::uint64_t>(v), static_cast<std::uint64_t>(v >> 64), fill, fill}};
}

int128 int128_of(const wide_int& w) {
  return static_cast<int128>((static_cast<unsigned __int128>(w.limb[1]) << 64) | w.limb[0]);
}

TEST(WideInt, AgreesWith128BitArithmeticWhereThatFits) {
  std::mt19937_64 rng(1);
  for (int trial = 0; trial < 200000; ++trial) {
    const std::int64_t a = random_int64(rng), b = random_int64(rng);
    bool overflow = false;
    const wide_int x = bits::multiply(a, b);
    ASSERT_EQ(int128_of(x), static_cast<int128>(a) * b);
    const int128 s = static_cast<int128>(a) * 3 + b, t = static_cast<int128>(a) - static_cast<int128>(b) * 5;
    ASSERT_EQ(int128_of(bits::add(wide_of(static_cast<int128>(a) * 3), wide_of(b), &overflow)), s);
    ASSERT_EQ(int128_of(bits::subtract(wide_of(a), wide_of(static_cast<int128>(b) * 5), &overflow)), t);
    ASSERT_EQ(bits::compare(wide_of(s), wide_of(t)), s < t ? -1 : (s > t ? 1 : 0));
    ASSERT_FALSE(overflow);
    const std::uint64_t g = bits::gcd_u64(bits::magnitude(a), bits::magnitude(b));
    ASSERT_EQ(int128_of(bits::gcd(wide_of(a), wide_of(b))), static_cast<int128>(g));
    if (b != 0) {
      const wide_int q = bits::divide(x, bits::wide_magnitude(wide_of(b)));
      ASSERT_EQ(int128_of(q), b < 0 ? -static_cast<int128>(a) : static_cast<int128>(a));
    }
    ASSERT_EQ(bits::fits_int64(wide_of(s)), s >= INT64_MIN && s <= INT64_MAX);
  }
}
#endif

TEST(WideInt, OverflowIsReportedAtTheEdgesOf256Bits) {
  bool overflow = false;
  wide_int p = bits::wide_from(1);
  for (int k = 0; k < 254; ++k) p = bits::add(p, p, &overflow);  // 2^254
  EXPECT_FALSE(overflow);
  bits::add(p, p, &overflow);  // 2^255
  EXPECT_TRUE(overflow);

  overflow = false;
  const wide_int min = bits::negate(bits::add(p, p, &overflow), &overflow);  // wraps to -2^255
  overflow = false;
  const wide_int minus_p = bits::negate(p, &overflow);
  EXPECT_EQ(bits::compare(bits::add(minus_p, minus_p, &overflow), min), 0);
  EXPECT_FALSE(overflow);  // -2^255 itself fits
  bits::negate(min, &overflow);
  EXPECT_TRUE(overflow);
  overflow = false;
  bits::subtract(bits::wide_from(0), min, &overflow);
  EXPECT_TRUE(overflow);
  overflow = false;
  bits::multiply(p, bits::wide_from(-2), &overflow);  // exactly -2^255
  EXPECT_FALSE(overflow);
  bits::multiply(p, bits::wide_from(2), &overflow);
  EXPECT_TRUE(overflow);
  overflow = false;
  const wide_int square = bits::multiply(INT64_MIN, INT64_MIN);  // 2^126
  bits::multiply(square, square, &overflow);                      // 2^252
  EXPECT_FALSE(overflow);
  bits::multiply(bits::multiply(square, square, &overflow), bits::wide_from(16), &overflow);
  EXPECT_TRUE(overflow);  // 2^256
}

// The combination written plainly in 256 bits: no 128-bit path, no early
// division of the two scalar products.
std::vector<std::int64_t> reference_combination(const std::vector<std::int64_t>& a,
                                                const std::vector<std::int64_t>& x,
                                                const std::vector<std::int64_t>& y, bool* fits) {
  bool ignored = false;
  const std::uint64_t d = a.size();
  const wide_int vx = bits::dot_wide(a.data(), 1, x.data(), d), vy = bits::dot_wide(a.data(), 1, y.data(), d);
  std::vector<wide_int> e(d);
  wide_int g = bits::wide_zero();
  for (std::uint64_t i = 0; i < d; ++i) {
    // Without reducing vx and vy first the values can pass 256 bits only for
    // d far beyond the tests; the references keep d small.
    e[i] = bits::subtract(bits::multiply(vx, bits::wide_from(y[i]), &ignored),
                          bits::multiply(vy, bits::wide_from(x[i]), &ignored), &ignored);
    g = bits::gcd(g, e[i]);
  }
  std::vector<std::int64_t> out(d);
  *fits = true;
  for (std::uint64_t i = 0; i < d; ++i) {
    const wide_int v = bits::is_zero(g) ? e[i] : bits::divide(e[i], g);
    *fits = *fits && bits::fits_int64(v);
    out[i] = bits::to_int64(v);
  }
  return out;
}

// The multiply-and-compare divisibility test and quotient against % and /,
// on divisors with and without powers of two, multiples and near misses.
TEST(ExactDivisor, AgreesWithDivision) {
  std::mt19937_64 rng(29);
  for (int t = 0; t < 20000; ++t) {
    const std::uint64_t g = (rng() >> (rng() % 64)) | 1u;
    const std::uint64_t divisor = g << (rng() % 8) >> (rng() % 2);
    if (divisor == 0) continue;
    const bits::exact_divisor d(divisor);
    const std::uint64_t k = std::min(rng() >> (rng() % 64), UINT64_MAX / divisor), multiple = divisor * k;
    for (const std::uint64_t v : {multiple, multiple + 1, multiple - 1, static_cast<std::uint64_t>(rng()),
                                  std::uint64_t{0}, UINT64_MAX}) {
      ASSERT_EQ(d.divides(v), v % divisor == 0) << v << " by " << divisor;
      if (v % divisor == 0) {
        ASSERT_EQ(d.quotient(v), v / divisor);
      }
    }
  }
}

TEST(RayArithmetic, SignsAndCombinationsAreExact) {
  std::mt19937_64 rng(2);
  int wide = 0, too_large = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const std::uint64_t d = 1 + rng() % 6;
    // Small rows against rays of every size, and now and then huge rows.
    std::vector<std::int64_t> a(d), x(d), y(d), z(d);
    for (auto& v : a) v = trial % 2 == 0 ? random_int64(rng) : static_cast<std::int64_t>(rng() % 41) - 20;
    for (auto& v : x) v = trial % 4 == 0 ? random_int64(rng) : random_int64(rng) >> (rng() % 64);
    for (auto& v : y) v = random_int64(rng) >> (rng() % 64);
    const int sign = bits::dot_sign(a.data(), 1, x.data(), d);
    ASSERT_EQ(sign, bits::sign_of(bits::dot_wide(a.data(), 1, x.data(), d)));
    bool fits = false;
    const std::vector<std::int64_t> expected = reference_combination(a, x, y, &fits);
    ASSERT_EQ(bits::combine_rays(a.data(), x.data(), y.data(), d, z.data()), fits);
    if (fits) {
      ASSERT_EQ(z, expected);
      ASSERT_EQ(bits::dot_sign(a.data(), 1, z.data(), d), 0);
    }
    too_large += !fits;
    wide += sign != 0 && bits::compare_unsigned(bits::wide_magnitude(bits::dot_wide(a.data(), 1, x.data(), d)),
                                                bits::shift_left(bits::wide_from(1), 126)) > 0;
  }
  EXPECT_GT(too_large, 100);  // both outcomes are common
  EXPECT_GT(wide, 10);        // and products beyond 128 bits occur
}

TEST(RayArithmetic, SignOfASumThatDoublesRound) {
  // 2^62 + 1 - 2^62: every double rounding of the products loses the 1.
  const std::int64_t a[3] = {INT64_C(1) << 31, 1, -(INT64_C(1) << 31)};
  const std::int64_t x[3] = {INT64_C(1) << 31, 1, INT64_C(1) << 31};
  EXPECT_EQ(bits::dot_sign(a, 1, x, 3), 1);
  std::int64_t y[3];
  const std::int64_t p[2] = {3, 1}, q[2] = {-1, 0}, row[2] = {1, 1};
  ASSERT_TRUE(bits::combine_rays(row, p, q, 2, y));  // 4 q - (-1) p = (-1, 1)
  EXPECT_EQ(y[0], -1);
  EXPECT_EQ(y[1], 1);
}

// Rank of the first k columns of M (p x n, column-major) modulo a prime, for
// every k: the pivot columns are where it grows.
std::vector<std::uint64_t> reference_pivots(const std::vector<std::int64_t>& M, std::uint64_t p,
                                            std::uint64_t n) {
  const std::uint64_t prime = 2305843009213693951u;  // 2^61 - 1
  auto mulmod = [&](std::uint64_t a, std::uint64_t b) {
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(a) * b % prime);
  };
  auto inverse = [&](std::uint64_t a) {
    std::uint64_t r = 1, e = prime - 2;
    for (; e; e >>= 1, a = mulmod(a, a))
      if (e & 1) r = mulmod(r, a);
    return r;
  };
  std::vector<std::vector<std::uint64_t>> basis;  // reduced rows with their lead
  std::vector<std::uint64_t> leads, pivots;
  for (std::uint64_t c = 0; c < n; ++c) {
    std::vector<std::uint64_t> v(p);
    for (std::uint64_t r = 0; r < p; ++r) {
      const std::int64_t e = M[c * p + r];
      v[r] = e >= 0 ? static_cast<std::uint64_t>(e) % prime
                    : (prime - bits::magnitude(e) % prime) % prime;
    }
    for (std::size_t k = 0; k < basis.size(); ++k) {
      const std::uint64_t f = v[leads[k]];
      for (std::uint64_t r = 0; r < p; ++r) v[r] = (v[r] + prime - mulmod(f, basis[k][r])) % prime;
    }
    std::uint64_t lead = p;
    for (std::uint64_t r = 0; r < p && lead == p; ++r)
      if (v[r]) lead = r;
    if (lead == p) continue;
    const std::uint64_t inv = inverse(v[lead]);
    for (auto& e : v) e = mulmod(e, inv);
    basis.push_back(v);
    leads.push_back(lead);
    pivots.push_back(c);
  }
  return pivots;
}

TEST(IntegerNullSpace, BasisOfRandomMatricesOfEveryRank) {
  std::mt19937_64 rng(3);
  for (int trial = 0; trial < 400; ++trial) {
    const std::uint64_t p = rng() % 7, n = 1 + rng() % 8, rank = rng() % (std::min(p, n) + 1);
    // M = U V with U p x rank and V rank x n: rank at most `rank`.
    std::vector<std::int64_t> M(p * n, 0);
    for (std::uint64_t k = 0; k < rank; ++k) {
      std::vector<std::int64_t> u(p), v(n);
      for (auto& e : u) e = static_cast<std::int64_t>(rng() % 13) - 6;
      for (auto& e : v) e = static_cast<std::int64_t>(rng() % 2001) - 1000;
      for (std::uint64_t c = 0; c < n; ++c)
        for (std::uint64_t r = 0; r < p; ++r) M[c * p + r] += u[r] * v[c];
    }
    std::vector<wide_int> work(p * n + 1);
    std::vector<std::uint64_t> pivots(n);
    std::vector<std::int64_t> N(n * n);
    const bits::null_space_result got = bits::integer_null_space(M.data(), p, n, work.data(), pivots.data(), N.data());
    ASSERT_EQ(got.status, bits::null_space_status::ok);
    const std::vector<std::uint64_t> expected = reference_pivots(M, p, n);
    ASSERT_EQ(std::vector<std::uint64_t>(pivots.begin(), pivots.begin() + got.rank), expected);
    for (std::uint64_t j = 0; j < n - got.rank; ++j) {
      const std::int64_t* x = N.data() + j * n;
      std::uint64_t g = 0;
      for (std::uint64_t i = 0; i < n; ++i) g = bits::gcd_u64(g, bits::magnitude(x[i]));
      ASSERT_EQ(g, 1u);
      for (std::uint64_t r = 0; r < p; ++r)
        ASSERT_EQ(bits::dot_sign(M.data() + r, p, x, n), 0) << "row " << r << " column " << j;
    }
  }
}

TEST(IntegerNullSpace, ReportsWhatDoesNotFit) {
  // The null space of (2^40, -1, 0; 0, 2^40, -1) is (1, 2^40, 2^80).
  const std::int64_t big = INT64_C(1) << 40;
  const std::int64_t M[6] = {big, 0, -1, big, 0, -1};
  wide_int work[6];
  std::uint64_t pivots[3];
  std::int64_t N[9];
  EXPECT_EQ(bits::integer_null_space(M, 2, 3, work, pivots, N).status, bits::null_space_status::too_large);
  const bits::null_space_result rank_only = bits::integer_null_space(M, 2, 3, work, pivots, nullptr);
  EXPECT_EQ(rank_only.status, bits::null_space_status::ok);
  EXPECT_EQ(rank_only.rank, 2u);
}

}  // namespace
