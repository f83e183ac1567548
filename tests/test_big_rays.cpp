// The pieces of the runs with integers of any size (core/big_rays.h) that
// the whole runs do not pin down: the reading of numbers as text, the start
// against the int64 start on random cones, and the rays' int64 range,
// order, decimals and scaling at their edges. Built where GMP is.
#ifdef BITS_GMP
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/big_rays.h"
#include "core/cone_setup.h"

namespace {

TEST(BigIntegers, ReadsIntegersAndFractionsAndNothingElse) {
  const struct {
    const char* text;
    const char* value;  // in lowest terms; null: refused
  } cases[] = {{"12", "12"},        {" -7 ", "-7"},     {"+5", "5"},         {"6/-4", "-3/2"},
               {"-0/5", "0"},       {"0012/0018", "2/3"}, {"123456789012345678901234567890/10", "12345678901234567890123456789"},
               {"", nullptr},       {"-", nullptr},     {"1/", nullptr},     {"/2", nullptr},
               {"1/0", nullptr},    {"1/-0", nullptr},  {"1.5", nullptr},    {"1e5", nullptr},
               {"0x10", nullptr},   {"1 2", nullptr},   {"1//2", nullptr},   {"--1", nullptr}};
  mpq_t q;
  mpq_init(q);
  for (const auto& c : cases) {
    const bool ok = bits::parse_rational(c.text, std::strlen(c.text), q);
    EXPECT_EQ(ok, c.value != nullptr) << "'" << c.text << "'";
    if (ok && c.value) {
      std::vector<char> out(mpz_sizeinbase(mpq_numref(q), 10) + mpz_sizeinbase(mpq_denref(q), 10) + 3);
      EXPECT_STREQ(mpq_get_str(out.data(), 10, q), c.value) << "'" << c.text << "'";
    }
  }
  mpq_clear(q);
}

TEST(BigIntegers, StartsAsTheInt64StartOnRandomCones) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const std::uint64_t n = 2 + rng() % 5, m = 1 + rng() % 9, p = rng() % 3;
    std::vector<std::int64_t> A(m * n), B(p * n);
    for (auto& v : A) v = static_cast<std::int64_t>(rng() % 7) - 3;
    for (auto& v : B) v = rng() % 3 == 0 ? static_cast<std::int64_t>(rng() % 5) - 2 : 0;
    std::vector<bits::big_int> bA(m * n), bB(p * n);
    for (std::uint64_t k = 0; k < m * n; ++k) mpz_set_si(bA[k].v, A[k]);
    for (std::uint64_t k = 0; k < p * n; ++k) mpz_set_si(bB[k].v, B[k]);
    for (bits::row_order order : {bits::row_order::lexmin, bits::row_order::lexmax, bits::row_order::input}) {
      bits::cone_start small;
      bits::big_start big;
      const auto s = bits::setup_cone(A.data(), m, B.data(), p, n, order, &small);
      ASSERT_NE(s, bits::cone_setup_status::overflow);
      ASSERT_EQ(bits::big_setup(bA, m, bB, p, n, order, &big), s) << "trial " << trial;
      EXPECT_EQ(big.rank, small.rank);
      if (s != bits::cone_setup_status::ok) continue;
      ASSERT_EQ(big.d, small.d);
      EXPECT_EQ(big.sequence, small.sequence);
      for (std::uint64_t k = 0; k < m * n; ++k) EXPECT_EQ(mpz_get_si(big.A[k].v), small.A[k % n * m + k / n]);
      // Both initial rays are primitive and on the positive side: the same.
      for (std::uint64_t k = 0; k < n * big.d; ++k)
        EXPECT_EQ(mpz_get_si(big.X0[k].v), small.X0[k]) << "trial " << trial << ", entry " << k;
    }
  }
}

TEST(BigIntegers, RaySetsAtTheEdgesOfInt64) {
  // Three rays of two entries, one limb each, as a run leaves them.
  const bits::dd_problem problem{nullptr, 0, 2, nullptr, 0, nullptr, nullptr, false, 1, 0,
                                 bits::simd_isa::scalar, 0, nullptr, nullptr};
  const bits::big_entries store{&problem, nullptr, nullptr, 1, 1, 0, {}};
  std::vector<std::int64_t> X(3 * store.words());
  const char* values[] = {"-9223372036854775808", "3", "9223372036854775807", "-1", "0", "5"};
  bits::big_int v;
  for (int k = 0; k < 6; ++k) {
    mpz_set_str(v.v, values[k], 10);
    ASSERT_TRUE(store.put(v.v, X.data() + k * store.entry()));
  }
  bits::big_ray_set rays{X.data(), 3, 2, 1};
  EXPECT_TRUE(rays.fits_int64());
  EXPECT_EQ(rays.int64_entry(0, 0), INT64_MIN);
  EXPECT_EQ(rays.sorted(), (std::vector<std::uint64_t>{0, 2, 1}));
  std::vector<char> text(rays.decimal_size(1, 1));
  rays.decimal(1, 1, text.data());
  EXPECT_STREQ(text.data(), "-1");
  double scaled[2];
  rays.scaled(0, scaled);
  EXPECT_EQ(scaled[0], -1.0);
  EXPECT_EQ(scaled[1], 3.0 / 9223372036854775808.0);
  rays.scaled(2, scaled);
  EXPECT_EQ(scaled[0], 0.0);
  EXPECT_EQ(scaled[1], 1.0);
  // 2^63 is one past int64; a two-limb entry does not fit one limb.
  mpz_set_str(v.v, "9223372036854775808", 10);
  ASSERT_TRUE(store.put(v.v, X.data()));
  EXPECT_FALSE(rays.fits_int64());
  mpz_mul(v.v, v.v, v.v);
  EXPECT_FALSE(store.put(v.v, X.data()));
}

TEST(BigIntegers, EntriesStartWideEnoughForTheInitialRays) {
  // x1, x2 >= 0 and x1 + x2 >= 0, from the initial rays (2^70, 0) and (0, 1)
  // with a store that asks for one limb: the run takes two and keeps them.
  const std::vector<std::uint64_t> sequence = {0, 1, 2};
  const bits::dd_problem problem{nullptr, 3, 2, nullptr, 2, sequence.data(), nullptr, false, 4, 0,
                                 bits::simd_isa::scalar, 0, nullptr, nullptr};
  std::vector<bits::big_int> A(6), X0(4);
  for (int k : {0, 3, 4, 5}) mpz_set_ui(A[k].v, 1);  // rows (1, 0), (0, 1), (1, 1)
  mpz_ui_pow_ui(X0[0].v, 2, 70);
  mpz_set_ui(X0[3].v, 1);
  bits::big_entries store{&problem, A.data(), X0.data(), 1, 64, 0, {}};
  bits::dd_result result;
  bits::dd_statistics stats;
  ASSERT_EQ(bits::run_double_description_with(problem, store, &result, &stats), bits::dd_status::ok);
  EXPECT_EQ(store.limbs, 2u);
  const bits::big_ray_set rays{result.X, result.count, 2, store.limbs};
  ASSERT_EQ(rays.count, 2u);
  std::vector<char> text(rays.decimal_size(0, 0));
  rays.decimal(0, 0, text.data());
  EXPECT_STREQ(text.data(), "1180591620717411303424");
  result.free_rays();
}

}  // namespace
#endif
