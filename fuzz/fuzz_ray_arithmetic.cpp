// The exact integer kernels against a plain big-integer reference
// (big_integer.h): the checked 256-bit operations of core/exact_integers.h
// (sums, differences, negation, products with their overflow flags,
// comparisons, greatest common divisors, division, shifts), and the ray
// arithmetic of core/ray_arithmetic.h: the sign of a row times a ray (also
// through the strided row of a matrix) and the reduced combination of two
// rays, for rays of 0 to 8 entries with zeros, +-1, the int64 extremes and
// raw values, where the 128-bit fast path overflows or not.
#include <cstdint>
#include <vector>

#include "core/exact_integers.h"
#include "core/ray_arithmetic.h"
#include "fuzz/big_integer.h"
#include "fuzz/fuzz_input.h"

namespace {

using fuzzref::big;

const std::int64_t specials[] = {0, 1, -1, 2, -2, 3, 6, INT64_MIN, INT64_MAX, INT64_MIN + 1,
                                 INT64_MAX - 1, std::int64_t(1) << 62, -(std::int64_t(1) << 62),
                                 std::int64_t(1) << 32, (std::int64_t(1) << 32) + 1,
                                 std::int64_t(3037000499), 1000000007, -999999937};

std::int64_t entry(fuzzin::reader& in) {
  const std::uint8_t how = in.byte();
  if (how < 96) return specials[how % (sizeof(specials) / sizeof(specials[0]))];
  if (how < 192) return static_cast<std::int8_t>(in.byte());
  return in.word<std::int64_t>();
}

big of(const bits::wide_int& a) { return big::of_twos_complement(a.limb, 4); }
big of_unsigned(const bits::wide_int& a) {
  const std::uint64_t limbs[5] = {a.limb[0], a.limb[1], a.limb[2], a.limb[3], 0};
  return big::of_twos_complement(limbs, 5);
}

// A 256-bit value: an int64 widened, a product of two, one at the edges of
// the range, or raw limbs.
bits::wide_int wide(fuzzin::reader& in) {
  switch (in.byte() % 4) {
    case 0: return bits::wide_from(entry(in));
    case 1: return bits::multiply(entry(in), entry(in));
    case 2: {
      bits::wide_int w = bits::wide_from(entry(in));
      w.limb[3] ^= std::uint64_t(1) << 63;  // near -2^255 or 2^255
      return w;
    }
    default: {
      bits::wide_int w;
      for (auto& l : w.limb) l = in.word<std::uint64_t>();
      return w;
    }
  }
}

void check_wide(fuzzin::reader& in) {
  const bits::wide_int a = wide(in), b = wide(in);
  const big A = of(a), B = of(b);
  bool overflow = false;
  const bits::wide_int s = bits::add(a, b, &overflow);
  FUZZ_CHECK(overflow == !fuzzref::fits_bits(A + B, 256) && (overflow || of(s) == A + B));
  overflow = false;
  const bits::wide_int d = bits::subtract(a, b, &overflow);
  FUZZ_CHECK(overflow == !fuzzref::fits_bits(A - B, 256) && (overflow || of(d) == A - B));
  overflow = false;
  const bits::wide_int n = bits::negate(a, &overflow);
  FUZZ_CHECK(overflow == !fuzzref::fits_bits(-A, 256) && (overflow || of(n) == -A));
  overflow = false;
  const bits::wide_int p = bits::multiply(a, b, &overflow);
  FUZZ_CHECK(overflow == !fuzzref::fits_bits(A * B, 256) && (overflow || of(p) == A * B));
  FUZZ_CHECK(bits::compare(a, b) == fuzzref::compare(A, B));
  FUZZ_CHECK(bits::compare_unsigned(a, b) == fuzzref::compare(of_unsigned(a), of_unsigned(b)));
  FUZZ_CHECK(bits::sign_of(a) == A.sign());
  FUZZ_CHECK(of_unsigned(bits::wide_magnitude(a)) == fuzzref::gcd(A, big()));
  FUZZ_CHECK(of_unsigned(bits::gcd(a, b)) == fuzzref::gcd(A, B));
  FUZZ_CHECK(bits::fits_int64(a) == fuzzref::fits_bits(A, 64) &&
             (!bits::fits_int64(a) || big::of(bits::to_int64(a)) == A));
  // a / |b|, truncated toward zero: |a| = |q| |b| + r with 0 <= r < |b|.
  const bits::wide_int g = bits::wide_magnitude(b);
  if (!bits::is_zero(g)) {
    const big G = of_unsigned(g);
    const bits::wide_int q = bits::divide(a, g);
    const big Q = of(q);
    const big rest = fuzzref::gcd(A, big()) - fuzzref::gcd(Q, big()) * G;
    FUZZ_CHECK(rest.sign() >= 0 && fuzzref::compare(rest, G) < 0);
    FUZZ_CHECK(Q.zero() || Q.negative == A.negative);
  }
  // Unsigned a >> s: a = (a >> s) 2^s + r with 0 <= r < 2^s.
  const int shift = in.byte();
  const big U = of_unsigned(a), P = fuzzref::power_of_two(shift);
  const big r = U - of_unsigned(bits::shift_right(a, shift)) * P;
  FUZZ_CHECK(r.sign() >= 0 && fuzzref::compare(r, P) < 0);
  const int top = bits::highest_bit(a);
  FUZZ_CHECK(top == -1 ? bits::is_zero(a) : (a.limb[top / 64] >> (top % 64)) == 1);
}

// a . x over the reference.
big dot(const std::int64_t* a, std::uint64_t stride, const std::int64_t* x, std::uint64_t d) {
  big s;
  for (std::uint64_t i = 0; i < d; ++i) s = s + big::of(a[i * stride]) * big::of(x[i]);
  return s;
}

void check_rays(fuzzin::reader& in) {
  const std::uint64_t d = in.below(9);
  const std::uint64_t k = 1 + in.below(3);  // rows of A; a is row 0
  std::vector<std::int64_t> A(k * d), xp(d), xq(d);
  for (auto* v : {&A, &xp, &xq})
    for (std::int64_t& e : *v) e = entry(in);
  std::vector<std::int64_t> a(d);
  for (std::uint64_t i = 0; i < d; ++i) a[i] = A[i * k];

  for (const auto* x : {&xp, &xq}) {
    FUZZ_CHECK(bits::dot_sign(A.data(), k, x->data(), d) == dot(A.data(), k, x->data(), d).sign());
    FUZZ_CHECK(bits::dot_sign(a.data(), 1, x->data(), d) == dot(a.data(), 1, x->data(), d).sign());
  }

  // y = (a . x_p) x_q - (a . x_q) x_p over its gcd: fits exactly when every
  // entry does, and is then the reference's entries over that gcd.
  const big vp = dot(a.data(), 1, xp.data(), d), vq = dot(a.data(), 1, xq.data(), d);
  std::vector<big> y_ref(d);
  big g;
  for (std::uint64_t i = 0; i < d; ++i) {
    y_ref[i] = vp * big::of(xq[i]) - vq * big::of(xp[i]);
    g = fuzzref::gcd(g, y_ref[i]);
  }
  bool fits = true;
  for (std::uint64_t i = 0; i < d && !g.zero(); ++i)
    fits = fits && fuzzref::compare(y_ref[i], -(fuzzref::power_of_two(63) * g)) >= 0 &&
           fuzzref::compare(y_ref[i], fuzzref::power_of_two(63) * g) < 0;
  std::vector<std::int64_t> y(d + 1, 0x5A5A);
  FUZZ_CHECK(bits::combine_rays(a.data(), xp.data(), xq.data(), d, y.data()) == fits);
  FUZZ_CHECK(y[d] == 0x5A5A);
  if (fits)
    for (std::uint64_t i = 0; i < d; ++i)
      FUZZ_CHECK(g.zero() ? y[i] == 0 : big::of(y[i]) * g == y_ref[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  if (in.flag()) check_wide(in);
  else check_rays(in);
  return 0;
}
