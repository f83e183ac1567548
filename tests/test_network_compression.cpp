// The C++ compression (core/network_compression.h) against the M-code
// compression it replaced: the networks of tests/data/compression_cases.txt
// (written by tests/octave/compression_cases.m when compress_network was
// M-code; the file keeps what it made) must compress to the same network,
// expansion and kept metabolites; and the exact limits: entries that are
// not rationals with small denominators, and an expansion beyond int64.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/network_compression.h"

namespace {

struct compression_case {
  std::uint64_t m = 0, n = 0;
  std::vector<double> S;  // m x n, column-major
  std::vector<std::uint8_t> reversible;
  std::uint64_t rows = 0, columns = 0;
  std::vector<std::int64_t> Sc, E;  // column-major
  std::vector<std::uint8_t> reversible_c;
  std::vector<std::uint64_t> kept;  // 1-based, as the M-code gives them
  std::uint64_t blocked = 0, merged = 0;
};

double number(const std::string& token) {
  const std::size_t slash = token.find('/');
  if (slash == std::string::npos) return std::stod(token);
  return std::stod(token.substr(0, slash)) / std::stod(token.substr(slash + 1));
}

std::vector<compression_case> read_cases(const std::string& file) {
  std::ifstream in(file);
  EXPECT_TRUE(in.good()) << "cannot read " << file;
  std::vector<compression_case> cases;
  std::string word;
  while (in >> word) {
    EXPECT_EQ(word, "network");
    compression_case c;
    in >> c.m >> c.n;
    c.S.assign(c.m * c.n, 0);
    for (std::uint64_t i = 0; i < c.m; ++i)
      for (std::uint64_t j = 0; j < c.n; ++j) {
        in >> word;
        c.S[i + j * c.m] = number(word);
      }
    c.reversible.resize(c.n);
    for (auto& r : c.reversible) {
      int v;
      in >> v;
      r = static_cast<std::uint8_t>(v);
    }
    in >> word >> c.rows >> c.columns;
    EXPECT_EQ(word, "compressed");
    c.Sc.assign(c.rows * c.columns, 0);
    for (std::uint64_t i = 0; i < c.rows; ++i)
      for (std::uint64_t j = 0; j < c.columns; ++j) in >> c.Sc[i + j * c.rows];
    c.reversible_c.resize(c.columns);
    for (auto& r : c.reversible_c) {
      int v;
      in >> v;
      r = static_cast<std::uint8_t>(v);
    }
    c.E.assign(c.n * c.columns, 0);
    for (std::uint64_t i = 0; i < c.n; ++i)
      for (std::uint64_t j = 0; j < c.columns; ++j) in >> c.E[i + j * c.n];
    c.kept.resize(c.rows);
    for (auto& k : c.kept) in >> k;
    in >> c.blocked >> c.merged;
    cases.push_back(c);
  }
  return cases;
}

// Compresses S (m x n doubles, column-major); false with *error on failure.
bool compress(const std::vector<double>& S, std::uint64_t m, std::uint64_t n, const std::vector<std::uint8_t>& rev,
              bits::compressed_network* out, std::string* error) {
  bits::integer_network net;
  return bits::integer_columns(S.data(), m, n, &net, error) &&
         bits::compress_network(net, rev.data(), out, error);
}

TEST(NetworkCompression, SameAsTheMCodeOnItsCases) {
  const std::string file = std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')) +
                           "/data/compression_cases.txt";
  const std::vector<compression_case> cases = read_cases(file);
  ASSERT_GE(cases.size(), 130u);
  std::uint64_t merged = 0, blocked = 0, dropped_rows = 0;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const compression_case& c = cases[k];
    SCOPED_TRACE("network " + std::to_string(k + 1) + " of " + file);
    bits::compressed_network out;
    std::string error;
    ASSERT_TRUE(compress(c.S, c.m, c.n, c.reversible, &out, &error)) << error;
    ASSERT_EQ(out.rows, c.rows);
    ASSERT_EQ(out.columns, c.columns);
    EXPECT_EQ(out.S, c.Sc);
    EXPECT_EQ(out.reversible, c.reversible_c);
    EXPECT_EQ(bits::dense_expansion(out), c.E);
    std::vector<std::uint64_t> kept;
    for (std::uint64_t i : out.kept) kept.push_back(i + 1);
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(out.blocked, c.blocked);
    EXPECT_EQ(out.merged, c.merged);
    merged += c.merged;
    blocked += c.blocked;
    dropped_rows += c.m - c.rows;
  }
  // The cases exercise every rule, not only the trivial ones.
  EXPECT_GE(merged, 150u);
  EXPECT_GE(blocked, 200u);
  EXPECT_GE(dropped_rows, 200u);
}

// The example of compress_network's help: r1: -> A, r2: A -> 2 B, r3: B ->,
// r4: A <-> C with C a dead end; and units: a coefficient 1/2 makes the
// reaction's flux count in halves.
TEST(NetworkCompression, KnownNetworks) {
  bits::compressed_network out;
  std::string error;
  ASSERT_TRUE(compress({1, 0, 0, -1, 2, 0, 0, -1, 0, -1, 0, 1}, 3, 4, {0, 0, 0, 1}, &out, &error)) << error;
  EXPECT_EQ(bits::dense_expansion(out), (std::vector<std::int64_t>{1, 1, 2, 0}));
  EXPECT_EQ(out.rows, 0u);
  EXPECT_EQ(out.blocked, 1u);
  EXPECT_EQ(out.merged, 2u);

  // r1: -> A, r2: 1/2 A -> B, r3: B <-> : one mode (2, 4, 4) in the units of S.
  ASSERT_TRUE(compress({1, 0, -0.5, 1, 0, -1}, 2, 3, {0, 0, 1}, &out, &error)) << error;
  EXPECT_EQ(bits::dense_expansion(out), (std::vector<std::int64_t>{1, 2, 2}));
  EXPECT_EQ(out.reversible, (std::vector<std::uint8_t>{0}));
}

TEST(NetworkCompression, StopsWhereExactnessEnds) {
  bits::compressed_network out;
  std::string error;
  EXPECT_FALSE(compress({1, std::acos(-1.0)}, 1, 2, {0, 0}, &out, &error));
  EXPECT_NE(error.find("S(1,2) = 3.1415926535897931 is neither an integer nor a rational"), std::string::npos)
      << error;
  EXPECT_FALSE(compress({1, std::nan("")}, 1, 2, {0, 0}, &out, &error));
  EXPECT_NE(error.find("S(1,2)"), std::string::npos) << error;
  // r1 (coefficient 2^-24, so 2^24 units) coupled to r2 in ratio 2^40: its
  // expansion entry 2^64 has no int64.
  const double two40 = std::ldexp(1.0, 40), small = std::ldexp(1.0, -24);
  EXPECT_FALSE(compress({small, 0, -two40, 1, 0, -1}, 2, 3, {0, 0, 0}, &out, &error));
  EXPECT_EQ(error, "the expansion of a merged reaction needs integers beyond the int64 range");
  // 2^-25 needs a denominator beyond 2^24.
  EXPECT_FALSE(compress({std::ldexp(1.0, -25), -1}, 1, 2, {0, 0}, &out, &error));
}

}  // namespace
