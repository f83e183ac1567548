// A plain arbitrary-size signed integer, the reference for the checked
// 256-bit arithmetic and the exact ray kernels: sign and magnitude in 32-bit
// limbs, schoolbook operations, binary greatest common divisor. Slow and
// obviously right is the point.
#ifndef BITS_FUZZ_BIG_INTEGER_H
#define BITS_FUZZ_BIG_INTEGER_H

#include <cstdint>
#include <vector>

namespace fuzzref {

struct big {
  bool negative = false;
  std::vector<std::uint32_t> mag;  // lowest limb first, no leading zero limbs

  static big of(std::int64_t v) {
    big b;
    b.negative = v < 0;
    std::uint64_t m = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    for (; m != 0; m >>= 32) b.mag.push_back(static_cast<std::uint32_t>(m));
    return b;
  }
  // The two's-complement value of `limbs` 64-bit limbs, lowest first.
  static big of_twos_complement(const std::uint64_t* limbs, int count) {
    big b;
    const bool neg = (limbs[count - 1] >> 63) != 0;
    std::uint64_t carry = 1;
    for (int k = 0; k < count; ++k) {
      std::uint64_t v = limbs[k];
      if (neg) {  // magnitude = ~v + 1
        v = ~v + carry;
        carry = (carry && v == 0) ? 1 : 0;
      }
      b.mag.push_back(static_cast<std::uint32_t>(v));
      b.mag.push_back(static_cast<std::uint32_t>(v >> 32));
    }
    b.negative = neg;
    b.trim();
    return b;
  }
  bool zero() const { return mag.empty(); }
  int sign() const { return zero() ? 0 : (negative ? -1 : 1); }
  void trim() {
    while (!mag.empty() && mag.back() == 0) mag.pop_back();
    if (mag.empty()) negative = false;
  }
};

inline int compare_magnitude(const big& a, const big& b) {
  if (a.mag.size() != b.mag.size()) return a.mag.size() < b.mag.size() ? -1 : 1;
  for (std::size_t k = a.mag.size(); k-- > 0;)
    if (a.mag[k] != b.mag[k]) return a.mag[k] < b.mag[k] ? -1 : 1;
  return 0;
}

inline int compare(const big& a, const big& b) {
  if (a.sign() != b.sign()) return a.sign() < b.sign() ? -1 : 1;
  const int m = compare_magnitude(a, b);
  return a.negative ? -m : m;
}

inline bool operator==(const big& a, const big& b) { return compare(a, b) == 0; }

// |a| + |b| and |a| - |b| (the latter for |a| >= |b|).
inline std::vector<std::uint32_t> add_magnitudes(const big& a, const big& b) {
  std::vector<std::uint32_t> r;
  std::uint64_t carry = 0;
  for (std::size_t k = 0; k < a.mag.size() || k < b.mag.size() || carry; ++k) {
    const std::uint64_t s = carry + (k < a.mag.size() ? a.mag[k] : 0) + (k < b.mag.size() ? b.mag[k] : 0);
    r.push_back(static_cast<std::uint32_t>(s));
    carry = s >> 32;
  }
  return r;
}
inline std::vector<std::uint32_t> subtract_magnitudes(const big& a, const big& b) {
  std::vector<std::uint32_t> r;
  std::int64_t borrow = 0;
  for (std::size_t k = 0; k < a.mag.size(); ++k) {
    std::int64_t d = std::int64_t(a.mag[k]) - (k < b.mag.size() ? b.mag[k] : 0) - borrow;
    borrow = d < 0;
    if (d < 0) d += std::int64_t(1) << 32;
    r.push_back(static_cast<std::uint32_t>(d));
  }
  return r;
}

inline big operator-(big a) {
  a.negative = !a.negative;
  a.trim();
  return a;
}

inline big operator+(const big& a, const big& b) {
  big r;
  if (a.negative == b.negative) {
    r.mag = add_magnitudes(a, b);
    r.negative = a.negative;
  } else if (compare_magnitude(a, b) >= 0) {
    r.mag = subtract_magnitudes(a, b);
    r.negative = a.negative;
  } else {
    r.mag = subtract_magnitudes(b, a);
    r.negative = b.negative;
  }
  r.trim();
  return r;
}

inline big operator-(const big& a, const big& b) { return a + (-b); }

inline big operator*(const big& a, const big& b) {
  big r;
  r.mag.assign(a.mag.size() + b.mag.size() + 1, 0);
  for (std::size_t i = 0; i < a.mag.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.mag.size() || carry; ++j) {
      const std::uint64_t t =
          r.mag[i + j] + carry + (j < b.mag.size() ? std::uint64_t(a.mag[i]) * b.mag[j] : 0);
      r.mag[i + j] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
  }
  r.negative = a.negative != b.negative;
  r.trim();
  return r;
}

// |a| / 2.
inline big half(big a) {
  for (std::size_t k = 0; k < a.mag.size(); ++k)
    a.mag[k] = (a.mag[k] >> 1) | (k + 1 < a.mag.size() ? a.mag[k + 1] << 31 : 0);
  a.negative = false;
  a.trim();
  return a;
}
inline bool even(const big& a) { return a.zero() || (a.mag[0] & 1) == 0; }

// gcd(|a|, |b|), gcd(0, b) = |b|.
inline big gcd(big a, big b) {
  a.negative = b.negative = false;
  if (a.zero()) return b;
  if (b.zero()) return a;
  int shift = 0;
  while (even(a) && even(b)) {
    a = half(a);
    b = half(b);
    ++shift;
  }
  while (!a.zero()) {
    while (even(a)) a = half(a);
    while (even(b)) b = half(b);
    if (compare_magnitude(a, b) >= 0) a = a - b;
    else b = b - a;
  }
  for (; shift > 0; --shift) b = b + b;
  return b;
}

// 2^bits.
inline big power_of_two(int bits) {
  big r;
  r.mag.assign(bits / 32 + 1, 0);
  r.mag[bits / 32] = std::uint32_t(1) << (bits % 32);
  return r;
}

// -2^(bits-1) <= a < 2^(bits-1): a fits a two's-complement integer of `bits` bits.
inline bool fits_bits(const big& a, int bits) {
  const big limit = power_of_two(bits - 1);
  return compare(a, -limit) >= 0 && compare(a, limit) < 0;
}

}  // namespace fuzzref

#endif
