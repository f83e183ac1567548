// The whole flux-modes pipeline (core/flux_modes_pipeline.h) against the
// modes by brute force (tests/efm_reference.h) on random networks, some with
// rational coefficients: the same modes, oriented and in lexicographic
// order, in every order of the rows, with and without compression, on one
// and two threads, into the dense sink (expanded whole), a sink that takes
// them in pieces (expanded a piece at a time), the count sink and the modes
// on the compressed reactions (expanded back here); and its failures.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/compressed_modes.h"
#include "core/flux_modes_pipeline.h"
#include "tests/efm_reference.h"

namespace {

using efm_reference::ray;

// The modes in the sink's order, one ray each.
std::vector<ray> columns(const bits::dense_sink& sink) {
  std::vector<ray> out;
  for (std::uint64_t k = 0; k < sink.count; ++k)
    out.emplace_back(sink.modes() + k * sink.reactions, sink.modes() + (k + 1) * sink.reactions);
  return out;
}

// A dense sink that takes the modes in pieces and in any order, as a file
// does.
class piecewise_sink : public bits::dense_sink {
 public:
  bool wants_block() const override { return false; }
  bool any_order() const override { return true; }
};

TEST(FluxModesPipeline, RandomNetworksAsByBruteForce) {
  std::mt19937_64 rng(25);
  std::uint64_t modes = 0, merged = 0;
  for (int trial = 0; trial < 80; ++trial) {
    const std::uint64_t m = 2 + rng() % 5, n = m + 2 + rng() % (12 - m);
    // Integers P, and for every third network some entries halved or thirded;
    // the reference runs on the rows scaled back to integers (same modes).
    std::vector<std::int64_t> P(m * n);
    std::vector<double> S(m * n);
    std::vector<std::int64_t> row_scale(m, 1);
    for (std::uint64_t i = 0; i < m; ++i)
      for (std::uint64_t j = 0; j < n; ++j) {
        P[i + j * m] = rng() % 100 < 40 ? static_cast<std::int64_t>(rng() % 5) - 2 : 0;
        const std::int64_t q = trial % 3 == 0 && rng() % 4 == 0 ? 2 + rng() % 2 : 1;
        S[i + j * m] = static_cast<double>(P[i + j * m]) / static_cast<double>(q);
        if (q > 1) row_scale[i] = row_scale[i] * q / static_cast<std::int64_t>(bits::gcd_u64(row_scale[i], q));
      }
    std::vector<std::int64_t> integral(m * n);
    for (std::uint64_t i = 0; i < m; ++i)
      for (std::uint64_t j = 0; j < n; ++j)
        integral[i + j * m] = static_cast<std::int64_t>(S[i + j * m] * static_cast<double>(row_scale[i]));
    std::vector<std::uint8_t> rev(n);
    for (auto& v : rev) v = rng() % 100 < 35;
    const std::vector<ray> expected = efm_reference::reference_modes(integral, m, n, rev);
    modes += expected.size();

    bits::flux_modes_options opt;
    opt.order = static_cast<bits::mode_order>(trial % bits::mode_orders);
    opt.leaf_size = 1 + rng() % 8;
    opt.compress = trial % 3 == 0 || trial % 5 != 1;  // rational networks need the compression
    omp_set_num_threads(1 + trial % 2);
    bits::dense_sink dense;
    bits::flux_modes_info info;
    std::string error;
    ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &dense, &info, &error))
        << "trial " << trial << ": " << error;
    ASSERT_EQ(columns(dense), expected) << "trial " << trial;  // the reference is sorted too
    ASSERT_EQ(dense.reactions, n);
    EXPECT_EQ(info.modes, expected.size());
    merged += info.reactions - info.compressed_reactions;

    // The same modes a few at a time (a sink that takes them in pieces).
    piecewise_sink pieces;
    opt.piece = 1 + trial % 4;
    ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &pieces, &info, &error)) << error;
    std::vector<ray> streamed = columns(pieces);  // in the order found, not sorted
    std::sort(streamed.begin(), streamed.end());
    ASSERT_EQ(streamed, expected) << "trial " << trial << ", in pieces";

    // On the compressed reactions: expanded and divided by their gcd, the
    // same modes in the same order.
    bits::dense_sink inner;
    bits::compressed_mode_sink compressed(&inner);
    ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &compressed, &info, &error)) << error;
    ASSERT_EQ(inner.reactions, info.compressed_reactions);
    std::vector<ray> expanded;
    for (const ray& c : columns(inner)) {
      ray e(n, 0);
      std::uint64_t g = 0;
      for (std::uint64_t j = 0; j < n; ++j)
        if (compressed.group()[j] != bits::compressed_network::no_group)
          g = bits::gcd_u64(g, bits::magnitude(e[j] = compressed.coefficient()[j] * c[compressed.group()[j]]));
      for (auto& v : e) v /= static_cast<std::int64_t>(g);
      expanded.push_back(e);
    }
    ASSERT_EQ(expanded, expected) << "trial " << trial << ", compressed";

    bits::count_sink count;
    ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &count, &info, &error)) << error;
    EXPECT_EQ(count.count, expected.size()) << "trial " << trial;
  }
  EXPECT_GT(modes, 400u);
  EXPECT_GT(merged, 50u);
}

// A sink that fails when the modes come; and one that records the progress.
class failing_sink : public bits::dense_sink {
 public:
  bool write(const std::int64_t*, std::uint64_t, std::string* error) override {
    *error = "disk full";
    return false;
  }
  bool take(std::int64_t* modes, std::uint64_t r, std::uint64_t n, std::string* error) override {
    return mode_sink::take(modes, r, n, error);
  }
};

void note(void* context, const char* line) { *static_cast<std::string*>(context) += line; }

TEST(FluxModesPipeline, ProgressAndFailures) {
  // r1: -> A, r2: A -> B, r3: B -> C, r4: C ->, r5: B <-> D, r6: D <-> (flux_modes' help).
  const std::vector<double> S = {1, 0, 0, 0, -1, 1, 0, 0, 0, -1, 1, 0, 0, 0, -1, 0, 0, -1, 0, 1, 0, 0, 0, -1};
  const std::vector<std::uint8_t> rev = {0, 0, 0, 0, 1, 1};
  bits::flux_modes_options opt;
  std::string lines, error;
  opt.note = note;
  opt.context = &lines;
  bits::dense_sink dense;
  bits::flux_modes_info info;
  ASSERT_TRUE(bits::run_flux_modes(S.data(), 4, 6, rev.data(), opt, &dense, &info, &error)) << error;
  EXPECT_EQ(columns(dense), (std::vector<ray>{{0, 0, 1, 1, -1, -1}, {1, 1, 0, 0, 1, 1}, {1, 1, 1, 1, 0, 0}}));
  EXPECT_EQ(lines.find("flux_modes: 6 reactions (2 reversible) and 4 metabolites, compressed to 3 reactions"), 0u)
      << lines;

  failing_sink failing;
  EXPECT_FALSE(bits::run_flux_modes(S.data(), 4, 6, rev.data(), bits::flux_modes_options(), &failing, &info, &error));
  EXPECT_EQ(error, "disk full");
  EXPECT_FALSE(bits::run_flux_modes(S.data(), 4, 0, rev.data(), bits::flux_modes_options(), &dense, &info, &error));
  EXPECT_EQ(error, "the network has no reactions");
  const std::vector<double> half = {0.5, -1};
  opt = bits::flux_modes_options();
  opt.compress = false;
  EXPECT_FALSE(bits::run_flux_modes(half.data(), 1, 2, rev.data(), opt, &dense, &info, &error));
  EXPECT_EQ(error, "without compression, S must hold integers below 2^53");
  // A budget too small for the first step's modes.
  opt.compress = true;
  opt.max_bytes = 100;
  EXPECT_FALSE(bits::run_flux_modes(S.data(), 4, 6, rev.data(), opt, &dense, &info, &error));
  EXPECT_NE(error.find("more than the memory budget"), std::string::npos) << error;
}

// The default order steps every irreversible row before the reversible
// ones: a step that drops the modes on its negative side never follows one
// that keeps them. Only the order decides this; the modes are the same.
TEST(FluxModesPipeline, DefaultOrderStepsIrreversibleRowsFirst) {
  std::mt19937_64 rng(7);
  int mixed = 0;  // networks with steps of both kinds
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<std::int64_t> P;
    std::vector<std::uint8_t> rev;
    std::uint64_t m, n;
    efm_reference::random_network(rng, &P, &m, &n, &rev);
    const std::vector<double> S(P.begin(), P.end());
    std::vector<int> kept;  // per step with modes on its negative side: 1 where they were kept
    bits::flux_modes_options opt;
    opt.context = &kept;
    opt.step = [](void* context, const bits::dd_step_report& r) {
      if (r.negative > 0) static_cast<std::vector<int>*>(context)->push_back(r.rays_after == r.rays + r.adjacent);
    };
    bits::count_sink count;
    bits::flux_modes_info info;
    std::string error;
    ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &count, &info, &error)) << error;
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end())) << "trial " << trial;
    mixed += !kept.empty() && kept.front() == 0 && kept.back() == 1;
  }
  EXPECT_GT(mixed, 5);
}

#ifdef BITS_MODE_EXPANSION
// The expansion a piece at a time stops where exactness would end: an entry
// beyond int64 (V x = (2^63, 1), coprime), and sums beyond 128 bits, which
// send the run to row_values' exact route.
TEST(FluxModesPipeline, ExpansionLimits) {
  const std::int64_t big = std::int64_t(1) << 62;
  const std::uint8_t rev[2] = {0, 0};
  bits::mode_expansion e;
  const std::vector<std::int64_t> V = {big, 1, big, 0}, x = {1, 1};  // 2 x 2
  EXPECT_EQ(e.prepare(V.data(), 2, 2, x.data(), 1, rev), bits::mode_expansion::status::beyond_int64);
  const std::vector<std::int64_t> W(8, big), y(8, big);  // 1 x 8: eight products of 2^124
  EXPECT_EQ(e.prepare(W.data(), 1, 8, y.data(), 1, rev), bits::mode_expansion::status::beyond_128_bits);
  // (-2^63, 1) on reversible reactions would be turned to (2^63, -1).
  const std::vector<std::int64_t> T = {INT64_MIN, 1}, one = {1};
  const std::uint8_t two[2] = {1, 1};
  EXPECT_EQ(e.prepare(T.data(), 2, 1, one.data(), 1, two), bits::mode_expansion::status::beyond_int64);
  // V x = (-6, 4, -2): divided by 2, and turned, every reaction being
  // reversible and the first entry negative: (3, -2, 1).
  const std::vector<std::int64_t> U = {3, -2, 1}, z = {-2};
  const std::uint8_t both[3] = {1, 1, 1};
  ASSERT_EQ(e.prepare(U.data(), 3, 1, z.data(), 1, both), bits::mode_expansion::status::ok);
  std::vector<std::int64_t> col(3);
  e.column(0, col.data());
  EXPECT_EQ(col, (std::vector<std::int64_t>{3, -2, 1}));
}
#endif

}  // namespace
