// integer_null_space checked from the outside: for a p x n int64 matrix M
// (p, n up to 7; zeros, +-1, the int64 extremes, small and raw values,
// repeated and dependent columns) a result of status ok must give
// M * basis = 0 exactly (big-integer reference), basis columns in the
// promised form (entry f positive, the other free entries zero, coprime),
// and the pivot columns that Gaussian elimination modulo a prime finds: the
// first columns independent of those before them. Two primes are tried; an
// elimination over the rationals can find more pivots than modulo a prime,
// never fewer, and only when the prime divides a minor of M.
#include <cstdint>
#include <vector>

#include "core/integer_null_space.h"
#include "fuzz/big_integer.h"
#include "fuzz/fuzz_input.h"

namespace {

using fuzzref::big;

const std::int64_t specials[] = {0, 1, -1, 2, -2, 3, 5, -7, INT64_MIN, INT64_MAX,
                                 std::int64_t(1) << 40, -(std::int64_t(1) << 31), 1000003};

// Pivot columns of M modulo the prime q, left to right.
std::vector<std::uint64_t> pivots_modulo(const std::vector<std::int64_t>& M, std::uint64_t p,
                                         std::uint64_t n, std::uint64_t q) {
  std::vector<unsigned __int128> a(p * n);
  for (std::uint64_t c = 0; c < n; ++c)
    for (std::uint64_t r = 0; r < p; ++r) {
      const __int128 v = M[c * p + r] % static_cast<__int128>(q);
      a[r * n + c] = static_cast<unsigned __int128>(v < 0 ? v + q : v);
    }
  auto power = [q](unsigned __int128 b, std::uint64_t e) {
    unsigned __int128 r = 1;
    for (; e; e >>= 1, b = b * b % q)
      if (e & 1) r = r * b % q;
    return r;
  };
  std::vector<std::uint64_t> pivots;
  std::uint64_t rank = 0;
  for (std::uint64_t c = 0; c < n && rank < p; ++c) {
    std::uint64_t r = rank;
    while (r < p && a[r * n + c] == 0) ++r;
    if (r == p) continue;
    for (std::uint64_t k = 0; k < n; ++k) std::swap(a[r * n + k], a[rank * n + k]);
    const unsigned __int128 inv = power(a[rank * n + c], q - 2);
    for (std::uint64_t k = 0; k < n; ++k) a[rank * n + k] = a[rank * n + k] * inv % q;
    for (std::uint64_t s = 0; s < p; ++s) {
      if (s == rank || a[s * n + c] == 0) continue;
      const unsigned __int128 f = a[s * n + c];
      for (std::uint64_t k = 0; k < n; ++k) a[s * n + k] = (a[s * n + k] + (q - f) * a[rank * n + k]) % q;
    }
    pivots.push_back(c);
    ++rank;
  }
  return pivots;
}

std::uint64_t gcd64(std::uint64_t a, std::uint64_t b) {
  while (b) {
    const std::uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const std::uint64_t p = in.below(8), n = in.below(8);
  std::vector<std::int64_t> M(p * n);
  for (std::uint64_t c = 0; c < n; ++c) {
    const std::uint8_t how = in.byte();
    if (c > 0 && how >= 224) {  // a multiple of an earlier column, or a sum of two
      const std::uint64_t e = in.below(c), f = in.below(c);
      const std::uint64_t m = static_cast<std::uint64_t>(static_cast<std::int8_t>(in.byte()) % 5);
      for (std::uint64_t r = 0; r < p; ++r) {  // wrapping: a column of int64 values all the same
        const std::uint64_t u = static_cast<std::uint64_t>(M[e * p + r]), v = static_cast<std::uint64_t>(M[f * p + r]);
        M[c * p + r] = static_cast<std::int64_t>(how & 1 ? u + v : m * u);
      }
      continue;
    }
    for (std::uint64_t r = 0; r < p; ++r) {
      const std::uint8_t b = in.byte();
      M[c * p + r] = how < 64 ? specials[b % (sizeof(specials) / sizeof(specials[0]))]
                     : how < 192 ? static_cast<std::int8_t>(b) % 4
                                 : static_cast<std::int64_t>(in.word<std::int64_t>());
    }
  }

  std::vector<bits::wide_int> work(p * n + 1);
  std::vector<std::uint64_t> pivots(n + 1);
  std::vector<std::int64_t> basis(n * n + 1);
  const bits::null_space_result result =
      bits::integer_null_space(M.data(), p, n, work.data(), pivots.data(), basis.data());
  if (result.status != bits::null_space_status::ok) return 0;
  const std::uint64_t rank = result.rank;
  FUZZ_CHECK(rank <= p && rank <= n);
  pivots.resize(rank);
  FUZZ_CHECK(pivots == pivots_modulo(M, p, n, (std::uint64_t(1) << 61) - 1) ||
             pivots == pivots_modulo(M, p, n, 4294967291u));

  std::vector<bool> is_pivot(n, false);
  for (std::uint64_t c : pivots) is_pivot[c] = true;
  std::uint64_t column = 0;
  for (std::uint64_t f = 0; f < n; ++f) {
    if (is_pivot[f]) continue;
    const std::int64_t* x = basis.data() + column++ * n;
    std::uint64_t g = 0;
    for (std::uint64_t k = 0; k < n; ++k) {
      FUZZ_CHECK(k == f ? x[k] > 0 : (is_pivot[k] || x[k] == 0));
      g = gcd64(g, x[k] < 0 ? 0 - static_cast<std::uint64_t>(x[k]) : static_cast<std::uint64_t>(x[k]));
    }
    FUZZ_CHECK(g == 1);
    for (std::uint64_t r = 0; r < p; ++r) {
      big s;
      for (std::uint64_t k = 0; k < n; ++k) s = s + big::of(M[k * p + r]) * big::of(x[k]);
      FUZZ_CHECK(s.zero());
    }
  }
  FUZZ_CHECK(column == n - rank);
  return 0;
}
