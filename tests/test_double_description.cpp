// The double description run against a plain reference: the elementary
// flux modes of small random networks, with reversible reactions, found by
// brute force over supports (a support is a circuit when the null space of
// its columns has dimension one and its vector uses every column), on every
// instruction-set path and on one and two threads, with int64 entries and,
// where GMP is, with entries of any size; and the two ways a run stops: the
// memory budget and an entry beyond int64, which entries of any size carry
// on past, widening as they go.
#include <omp.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/double_description.h"
#include "core/integer_null_space.h"
#include "tests/efm_reference.h"
#include "tests/test_params.h"
#ifdef BITS_GMP
#include "core/big_rays.h"
#endif

namespace {

using efm_reference::null_space;
using efm_reference::ray;
using efm_reference::reference_modes;

struct run {
  bits::dd_status status;
  std::vector<ray> rays;
  bits::dd_statistics stats;
  std::uint64_t limbs = 0;  // per entry at the end, with entries of any size
};

// The method on `problem` (A and X0 in it), with int64 entries, or with
// entries of any size starting at `limbs` limbs (0: int64); the rays sorted.
run solve(const bits::dd_problem& problem, std::uint64_t limbs = 0) {
  run r{};
  bits::dd_result result;
  const std::uint64_t n = problem.n;
  if (limbs == 0) {
    r.status = bits::run_double_description(problem, &result, &r.stats);
    for (std::uint64_t c = 0; c < result.count; ++c) r.rays.emplace_back(result.X + c * n, result.X + (c + 1) * n);
  } else {
#ifdef BITS_GMP
    // A is m x n column-major here, row-major for the store.
    std::vector<bits::big_int> A(problem.m * n), X0(n * problem.d);
    for (std::uint64_t i = 0; i < problem.m; ++i)
      for (std::uint64_t j = 0; j < n; ++j) mpz_set_si(A[i * n + j].v, problem.A[i + j * problem.m]);
    for (std::uint64_t k = 0; k < n * problem.d; ++k) mpz_set_si(X0[k].v, problem.X0[k]);
    bits::big_entries store{&problem, A.data(), X0.data(), limbs, 64, 0, {}};
    r.status = bits::run_double_description_with(problem, store, &result, &r.stats);
    r.limbs = store.limbs;
    const bits::big_ray_set rays{result.X, result.count, n, store.limbs};
    for (std::uint64_t c = 0; c < result.count; ++c) {
      r.rays.emplace_back(n);
      for (std::uint64_t i = 0; i < n; ++i) r.rays.back()[i] = rays.int64_entry(c, i);  // checked by fits below
    }
    if (result.count > 0 && !rays.fits_int64()) r.rays.clear();
#endif
  }
  result.free_rays();
  std::sort(r.rays.begin(), r.rays.end());
  return r;
}

// The modes by the method: A the identity, the initial rays a null space
// basis whose free columns are the initial rows.
run flux_modes(const std::vector<std::int64_t>& S, std::uint64_t m, std::uint64_t n,
               const std::vector<std::uint8_t>& rev, bits::simd_isa isa, std::uint64_t leaf,
               std::uint64_t max_bytes = 0, std::uint64_t limbs = 0, int dynamic = 0) {
  std::vector<std::uint64_t> pivots;
  const auto X0 = null_space(S, m, n, &pivots);
  std::vector<std::uint64_t> sequence;
  for (std::uint64_t j = 0; j < n; ++j)
    if (std::find(pivots.begin(), pivots.end(), j) == pivots.end()) sequence.push_back(j);
  const std::uint64_t d = sequence.size();
  sequence.insert(sequence.end(), pivots.begin(), pivots.end());
  std::vector<std::int64_t> A(n * n, 0);
  for (std::uint64_t j = 0; j < n; ++j) A[j * n + j] = 1;
  run r{};
  if (d == 0) return r;
  // Every pass threaded, however small (parallel_work 0).
  const bits::dd_problem problem{A.data(), n, n, X0.data(), d, sequence.data(), rev.data(), dynamic,
                                 leaf, max_bytes, isa, 0, nullptr, nullptr};
  return solve(problem, limbs);
}

class DoubleDescription : public testpaths::path_test {};

TEST_P(DoubleDescription, ElementaryModesOfRandomNetworksAsByBruteForce) {
  std::mt19937_64 rng(7);
  std::uint64_t modes = 0;
  for (int trial = 0; trial < 120; ++trial) {
    const std::uint64_t m = 2 + rng() % 5, n = m + 1 + rng() % (11 - m);
    std::vector<std::int64_t> S(m * n);
    for (auto& v : S) v = rng() % 100 < 45 ? static_cast<std::int64_t>(rng() % 5) - 2 : 0;
    std::vector<std::uint8_t> rev(n);
    for (auto& v : rev) v = rng() % 100 < 35;
    const auto expected = reference_modes(S, m, n, rev);
    for (int threads : {1, 2}) {
      omp_set_num_threads(threads);
      const std::uint64_t leaf = 1 + rng() % 4;
      // The rows in sequence, by fewest pairs, or by fewest pairs with the
      // irreversible ones first: the same modes.
      const run got = flux_modes(S, m, n, rev, GetParam(), leaf, 0, 0, trial % 3);
      ASSERT_EQ(got.status, bits::dd_status::ok);
      ASSERT_EQ(got.rays, expected) << "trial " << trial << ", " << threads << " threads";
#ifdef BITS_GMP
      const run big = flux_modes(S, m, n, rev, GetParam(), leaf, 0, 1);
      ASSERT_EQ(big.status, bits::dd_status::ok);
      ASSERT_EQ(big.rays, expected) << "trial " << trial << ", " << threads << " threads, any size";
#endif
    }
    modes += expected.size();
  }
  EXPECT_GT(modes, 500u);
}

// Each step's adjacent pairs, and the rays in the order the run gives them.
struct stepwise {
  std::vector<std::vector<std::uint64_t>> pairs;  // per step: p, q, p, q, ...
  std::vector<std::int64_t> rays;
};

stepwise run_stepwise(bits::dd_problem problem) {
  stepwise out;
  problem.progress = [](void* context, const bits::dd_step_report& r) {
    std::vector<std::uint64_t> step;
    for (std::uint64_t i = 0; i < r.adjacent; ++i) step.insert(step.end(), {r.pairs[i].p, r.pairs[i].q});
    static_cast<stepwise*>(context)->pairs.push_back(step);
  };
  problem.progress_context = &out;
  bits::dd_result result;
  bits::dd_statistics stats;
  EXPECT_EQ(bits::run_double_description(problem, &result, &stats), bits::dd_status::ok);
  out.rays.assign(result.X, result.X + result.count * problem.n);
  result.free_rays();
  return out;
}

// A random cone {x >= 0 : a_r . x >= 0}, some rows without sign constraint.
struct random_cone {
  std::uint64_t n, m;
  std::vector<std::int64_t> A, X0;
  std::vector<std::uint64_t> sequence;
  std::vector<std::uint8_t> rev;
  explicit random_cone(std::mt19937_64& rng)
      : n(5 + rng() % 4), m(n + 12 + rng() % 16), A(m * n, 0), X0(n * n, 0), sequence(m), rev(m, 0) {
    for (std::uint64_t i = 0; i < n; ++i) A[i + i * m] = X0[i * n + i] = 1;
    for (std::uint64_t r = n; r < m; ++r) {
      for (std::uint64_t i = 0; i < n; ++i) A[r + i * m] = static_cast<std::int64_t>(rng() % 7) - 3;
      rev[r] = rng() % 100 < 15;
    }
    for (std::uint64_t r = 0; r < m; ++r) sequence[r] = r;
  }
  bits::dd_problem problem(int dynamic, std::uint64_t leaf, bits::simd_isa isa) const {
    return bits::dd_problem{A.data(), m, n, X0.data(), n, sequence.data(), rev.data(), dynamic,
                            leaf, 0, isa, 0, nullptr, nullptr};
  }
};

// Pattern trees kept across steps find the same adjacent pairs as trees
// built afresh, at every step, and so the same rays in the same order: on
// random cones, with leaves small enough to split while rays come and go,
// and runs long enough to rebuild the kept tree and compact the rays.
TEST_P(DoubleDescription, KeptTreesPairTheRaysAsTreesBuiltAfresh) {
  std::mt19937_64 rng(11);
  std::uint64_t pairs = 0;
  for (int trial = 0; trial < 40; ++trial) {
    const random_cone cone(rng);
    for (int threads : {1, 2}) {
      omp_set_num_threads(threads);
      bits::dd_problem problem = cone.problem(trial % 3, 1 + rng() % 4, GetParam());
      problem.kept_trees = 0;
      const stepwise fresh = run_stepwise(problem);
      problem.kept_trees = 1;
      const stepwise kept = run_stepwise(problem);
      ASSERT_EQ(kept.pairs.size(), fresh.pairs.size());
      for (std::size_t k = 0; k < fresh.pairs.size(); ++k)
        ASSERT_EQ(kept.pairs[k], fresh.pairs[k]) << "trial " << trial << ", step " << k + 1 << ", " << threads
                                                 << " threads";
      ASSERT_EQ(kept.rays, fresh.rays) << "trial " << trial;
      for (const auto& step : fresh.pairs) pairs += step.size() / 2;
    }
  }
  EXPECT_GT(pairs, 5000u);
}

// The rays handed out in blocks (rays_out) are the rays a run holds, in an
// order that does not depend on the number of threads; a receiver that
// fails ends the run.
TEST_P(DoubleDescription, RaysHandedOutInBlocksAreTheRaysHeld) {
  struct received {
    std::vector<std::int64_t> entries;
    std::uint64_t blocks = 0, largest = 0, n = 0;
  };
  auto take = [](void* context, const std::int64_t* X, std::uint64_t count) {
    received& r = *static_cast<received*>(context);
    r.entries.insert(r.entries.end(), X, X + count * r.n);
    r.largest = std::max(r.largest, count);
    return ++r.blocks < 1000000;
  };
  std::mt19937_64 rng(13);
  for (int trial = 0; trial < 30; ++trial) {
    const random_cone cone(rng);
    bits::dd_problem problem = cone.problem(trial % 3, 1 + rng() % 4, GetParam());
    const run held = solve(problem);
    ASSERT_EQ(held.status, bits::dd_status::ok);
    problem.rays_out = take;
    problem.block_rays = 1 + rng() % 5;
    std::vector<std::int64_t> first;
    for (int threads : {1, 2}) {
      omp_set_num_threads(threads);
      received got;
      got.n = cone.n;
      problem.rays_out_context = &got;
      bits::dd_result result;
      bits::dd_statistics stats;
      ASSERT_EQ(bits::run_double_description(problem, &result, &stats), bits::dd_status::ok);
      EXPECT_EQ(result.X, nullptr);
      ASSERT_EQ(result.count, held.rays.size());
      EXPECT_LE(got.largest, problem.block_rays);
      if (threads == 1) first = got.entries;
      EXPECT_EQ(got.entries, first) << "trial " << trial << ": another order on two threads";
      std::vector<ray> rays;
      for (std::uint64_t c = 0; c < result.count; ++c)
        rays.emplace_back(got.entries.begin() + c * cone.n, got.entries.begin() + (c + 1) * cone.n);
      std::sort(rays.begin(), rays.end());
      ASSERT_EQ(rays, held.rays) << "trial " << trial;
      if (result.count > 0) {  // a receiver that fails at its first block
        got.blocks = 999999;
        EXPECT_EQ(bits::run_double_description(problem, &result, &stats), bits::dd_status::output_failed);
      }
    }
  }
}

// Ranks of a run shared out (dd_partition) as threads of this process: a
// collective call posts its buffers, waits for every rank, takes what it
// needs from the others' and waits again before it returns.
struct thread_ranks {
  std::uint64_t R;
  std::mutex m;
  std::condition_variable cv;
  std::uint64_t arrived = 0, round = 0;
  std::vector<const void*> data;
  std::vector<const std::uint64_t*> counts;
  explicit thread_ranks(std::uint64_t ranks) : R(ranks), data(ranks), counts(ranks) {}
  void wait() {
    std::unique_lock<std::mutex> lock(m);
    const std::uint64_t r = round;
    if (++arrived == R) {
      arrived = 0;
      ++round;
      cv.notify_all();
    } else {
      cv.wait(lock, [&] { return round != r; });
    }
  }
};

struct thread_rank {
  thread_ranks* g;
  std::uint64_t rank;
  std::uint64_t values[3];

  template <typename T>
  static bool sum(void* context, T* v, std::uint64_t c) {
    thread_rank& t = *static_cast<thread_rank*>(context);
    t.g->data[t.rank] = v;
    t.g->wait();
    std::vector<T> total(c, 0);
    for (std::uint64_t k = 0; k < t.g->R; ++k)
      for (std::uint64_t i = 0; i < c; ++i) total[i] += static_cast<const T*>(t.g->data[k])[i];
    t.g->wait();
    std::copy(total.begin(), total.end(), v);
    return true;
  }
  static bool exchange(void* context, const void* send, const std::uint64_t* sc, void* recv, const std::uint64_t* rc,
                       std::uint64_t item) {
    thread_rank& t = *static_cast<thread_rank*>(context);
    t.g->data[t.rank] = send;
    t.g->counts[t.rank] = sc;
    t.g->wait();
    for (std::uint64_t k = 0, at = 0; k < t.g->R; at += rc[k++]) {
      std::uint64_t from = 0;
      for (std::uint64_t r = 0; r < t.rank; ++r) from += t.g->counts[k][r];
      EXPECT_EQ(t.g->counts[k][t.rank], rc[k]);
      if (rc[k] > 0)
        std::memcpy(static_cast<char*>(recv) + at * item, static_cast<const char*>(t.g->data[k]) + from * item,
                    rc[k] * item);
    }
    t.g->wait();
    return true;
  }
  static bool gather(void* context, bits::dd_buffer<bits::dd_pair>* pairs, std::uint64_t* candidates,
                     std::uint64_t* adjacent, int* failure) {
    thread_rank& t = *static_cast<thread_rank*>(context);
    t.values[0] = *candidates;
    t.values[1] = *adjacent;
    t.values[2] = static_cast<std::uint64_t>(*failure);
    t.g->data[t.rank] = pairs;
    t.g->counts[t.rank] = t.values;
    t.g->wait();
    std::vector<bits::dd_pair> all;
    *candidates = *adjacent = 0;
    for (std::uint64_t k = 0; k < t.g->R; ++k) {
      const auto* other = static_cast<const bits::dd_buffer<bits::dd_pair>*>(t.g->data[k]);
      all.insert(all.end(), other->data, other->data + other->size);
      *candidates += t.g->counts[k][0];
      *adjacent += t.g->counts[k][1];
      *failure = std::max(*failure, static_cast<int>(t.g->counts[k][2]));
    }
    t.g->wait();
    if (!pairs->resize(all.size() + 1)) return false;
    pairs->size = all.size();
    std::copy(all.begin(), all.end(), pairs->data);
    return true;
  }
};

// The run of `problem` over R ranks: each rank's status, statistics, total,
// and its rays (not sorted).
std::vector<run> run_ranks(bits::dd_problem problem, std::uint64_t R, std::vector<std::uint64_t>* totals) {
  thread_ranks g(R);
  std::vector<thread_rank> ranks;
  for (std::uint64_t k = 0; k < R; ++k) ranks.push_back(thread_rank{&g, k, {}});
  std::vector<run> out(R);
  totals->assign(R, 0);
  std::vector<std::thread> threads;
  for (std::uint64_t k = 0; k < R; ++k)
    threads.emplace_back([&, k] {
      omp_set_num_threads(1 + static_cast<int>(k % 2));
      bits::dd_partition part;
      part.rank = k;
      part.ranks = R;
      part.context = &ranks[k];
      part.gather = thread_rank::gather;
      part.sum = thread_rank::sum<std::uint64_t>;
      part.sum_signs = thread_rank::sum<std::int8_t>;
      part.exchange = thread_rank::exchange;
      bits::dd_problem mine = problem;
      mine.partition = &part;
      bits::dd_result result;
      out[k].status = bits::run_double_description(mine, &result, &out[k].stats);
      for (std::uint64_t c = 0; c < result.count; ++c)
        out[k].rays.emplace_back(result.X + c * problem.n, result.X + (c + 1) * problem.n);
      (*totals)[k] = result.total;
      result.free_rays();
    });
  for (std::thread& t : threads) t.join();
  return out;
}

// Ranks that share out the rays' entries find the rays of a run alone (each
// rank its own, in the run's order, the total on every rank) and the same
// pairs; a budget too small stops every rank at the same step.
TEST_P(DoubleDescription, RaysSharedOutAmongRanksAreTheRaysOfOneRun) {
  std::mt19937_64 rng(17);
  int stops = 0;
  for (int trial = 0; trial < 24; ++trial) {
    const random_cone cone(rng);
    bits::dd_problem problem = cone.problem(trial % 3, 1 + rng() % 4, GetParam());
    const run one = solve(problem);
    ASSERT_EQ(one.status, bits::dd_status::ok);
    bits::dd_result alone;
    bits::dd_statistics stats;
    ASSERT_EQ(bits::run_double_description(problem, &alone, &stats), bits::dd_status::ok);
    const std::vector<std::int64_t> order(alone.X, alone.X + alone.count * cone.n);
    std::free(alone.X);
    for (std::uint64_t R : {2, 3}) {
      std::vector<std::uint64_t> totals;
      const std::vector<run> got = run_ranks(problem, R, &totals);
      std::vector<ray> all;
      for (std::uint64_t k = 0; k < R; ++k) {
        ASSERT_EQ(got[k].status, bits::dd_status::ok) << "trial " << trial << ", rank " << k;
        EXPECT_EQ(totals[k], one.rays.size());
        EXPECT_EQ(got[k].stats.adjacent, one.stats.adjacent);
        EXPECT_EQ(got[k].stats.candidates, one.stats.candidates);
        // A rank's rays come in the order of the run alone.
        std::uint64_t at = 0;
        for (const ray& x : got[k].rays) {
          while (at < alone.count && !std::equal(x.begin(), x.end(), order.begin() + at * cone.n)) ++at;
          ASSERT_LT(at, alone.count) << "trial " << trial << ", rank " << k << ": out of order";
        }
        all.insert(all.end(), got[k].rays.begin(), got[k].rays.end());
      }
      std::sort(all.begin(), all.end());
      ASSERT_EQ(all, one.rays) << "trial " << trial << ", " << R << " ranks";
      if (trial % 4 == 0) {
        bits::dd_problem tight = problem;
        tight.max_bytes = one.stats.peak_bytes / 3;
        const std::vector<run> stopped = run_ranks(tight, R, &totals);
        for (const run& r : stopped) {
          EXPECT_EQ(r.status, stopped[0].status);
          EXPECT_EQ(r.stats.failed_step, stopped[0].stats.failed_step);
        }
        stops += stopped[0].status == bits::dd_status::over_budget;
      }
    }
  }
  EXPECT_GT(stops, 0);
}

INSTANTIATE_TEST_SUITE_P(Simd, DoubleDescription, testpaths::every_path());

TEST(DoubleDescriptionLimits, RowValuesAreExactAndCoprime) {
  // Columns of Y = A X divided by their gcd: (6, 14) -> (3, 7); 2^63, beyond
  // int64 before the division, -> 1; (2^63, 1) does not fit.
  const std::int64_t big = std::int64_t(1) << 62;
  const std::vector<std::int64_t> A = {2, 6, 4, 8}, B = {big, 1, big, 0}, C = {big, big}, x = {1, 1};
  std::vector<std::int64_t> y(2);
  ASSERT_TRUE(bits::row_values(A.data(), 2, 2, x.data(), 1, y.data()));
  EXPECT_EQ(y, (std::vector<std::int64_t>{3, 7}));
  ASSERT_TRUE(bits::row_values(C.data(), 1, 2, x.data(), 1, y.data()));
  EXPECT_EQ(y[0], 1);
  EXPECT_FALSE(bits::row_values(B.data(), 2, 2, x.data(), 1, y.data()));

  // Random expansions, rows zero, of one entry, dense or equal to an
  // earlier row, against the plain product divided by the gcd of each column.
  std::mt19937_64 gen(28);
  for (int trial = 0; trial < 50; ++trial) {
    const std::uint64_t m = 1 + gen() % 12, n = 1 + gen() % 6, count = 1 + gen() % 20;
    std::vector<std::int64_t> R(m * n, 0), X(n * count), Y(m * count), want(m * count);
    for (std::uint64_t r = 0; r < m; ++r)
      for (std::uint64_t i = 0; i < n; ++i)
        if (r % 3 == 2 || (r % 3 == 1 && i == r % n)) R[r + i * m] = static_cast<std::int64_t>(gen() % 7) - 3;
    for (std::uint64_t r = 1; r < m; ++r)  // rows equal to earlier ones
      if (gen() % 3 == 0)
        for (std::uint64_t i = 0, from = gen() % r; i < n; ++i) R[r + i * m] = R[from + i * m];
    for (std::int64_t& v : X) v = (1 + trial % 2) * (static_cast<std::int64_t>(gen() % 9) - 4);  // odd trials: gcds of 2 and more
    for (std::uint64_t j = 0; j < count; ++j) {
      std::int64_t g = 0;
      for (std::uint64_t r = 0; r < m; ++r) {
        std::int64_t sum = 0;
        for (std::uint64_t i = 0; i < n; ++i) sum += R[r + i * m] * X[i + j * n];
        want[r + j * m] = sum;
        g = std::gcd(g, sum);
      }
      for (std::uint64_t r = 0; r < m && g > 1; ++r) want[r + j * m] /= g;
    }
    ASSERT_TRUE(bits::row_values(R.data(), m, n, X.data(), count, Y.data()));
    EXPECT_EQ(Y, want) << "trial " << trial;
  }
}

TEST(DoubleDescriptionLimits, BudgetAndInt64StopTheRunAtTheirStep) {
  // The cycle network r1: -> A, r2: A -> B, r3: B ->, r4: A <-> B: a budget
  // for the initial rays only stops the first step that pairs rays.
  const std::vector<std::int64_t> S = {1, 0, -1, 1, 0, -1, -1, 1};
  const std::vector<std::uint8_t> rev = {0, 0, 0, 1};
  const run all = flux_modes(S, 2, 4, rev, bits::simd_isa::scalar, 64);
  ASSERT_EQ(all.status, bits::dd_status::ok);
  EXPECT_EQ(all.rays.size(), 3u);  // r1 r2 r3, r1 r4 r3, r2 + r4 reversed
  const run tight = flux_modes(S, 2, 4, rev, bits::simd_isa::scalar, 64, 200);
  EXPECT_EQ(tight.status, bits::dd_status::over_budget);
  EXPECT_GE(tight.stats.failed_step, 1u);
  EXPECT_GT(tight.stats.needed_bytes, 200u);

  // x1, x2, x3 >= 0, then K x1 - x2 >= 0 and (K + 1) x3 - x2 >= 0: the
  // second new ray is (K + 1, K (K + 1), K), beyond int64 for K = 2^40.
  const std::int64_t K = std::int64_t(1) << 40;
  const std::vector<std::int64_t> A = {1, 0, 0, K, 0, 0, 1, 0, -1, -1, 0, 0, 1, 0, K + 1};
  const std::vector<std::int64_t> X0 = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<std::uint64_t> sequence = {0, 1, 2, 3, 4};
  const bits::dd_problem problem{A.data(), 5, 3, X0.data(), 3, sequence.data(), nullptr, false, 64, 0,
                                 bits::simd_isa::scalar, 0, nullptr, nullptr};
  bits::dd_result result;
  bits::dd_statistics stats;
  EXPECT_EQ(bits::run_double_description(problem, &result, &stats), bits::dd_status::int64_overflow);
  EXPECT_EQ(stats.failed_step, 2u);
  EXPECT_EQ(result.X, nullptr);

#ifdef BITS_GMP
  // Entries of any size carry on: from one limb they widen to two at step 2
  // and give the ray (K + 1, K (K + 1), K) exactly; the run that starts
  // with four limbs gives the same rays in the same places.
  for (std::uint64_t limbs : {1, 4}) {
    std::vector<bits::big_int> bA(15), bX0(9);
    for (std::uint64_t i = 0; i < 5; ++i)
      for (std::uint64_t j = 0; j < 3; ++j) mpz_set_si(bA[i * 3 + j].v, A[i + j * 5]);
    for (std::uint64_t k = 0; k < 9; ++k) mpz_set_si(bX0[k].v, X0[k]);
    bits::big_entries store{&problem, bA.data(), bX0.data(), limbs, 64, 0, {}};
    ASSERT_EQ(bits::run_double_description_with(problem, store, &result, &stats), bits::dd_status::ok);
    EXPECT_EQ(store.limbs, limbs == 1 ? 2u : 4u);
    const bits::big_ray_set rays{result.X, result.count, 3, store.limbs};
    std::vector<std::string> got;
    for (std::uint64_t c = 0; c < rays.count; ++c) {
      std::string text;
      for (std::uint64_t i = 0; i < 3; ++i) {
        std::vector<char> digits(rays.decimal_size(c, i));
        rays.decimal(c, i, digits.data());
        text += std::string(i ? " " : "") + digits.data();
      }
      got.push_back(text);
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"0 0 1", "1 0 0",
                                             "1099511627777 1208925819615728686333952 1099511627776"}))
        << limbs << " limbs to start";
    result.free_rays();
  }
  // Widening counts against the budget like any step: every budget either
  // holds the whole run or stops it at a step, naming more than it allows;
  // some stop it at step 2, where the rays widen.
  bool widening_stopped = false;
  for (std::uint64_t budget = 100; budget <= 4000; budget += 20) {
    std::vector<bits::big_int> bA(15), bX0(9);
    for (std::uint64_t i = 0; i < 5; ++i)
      for (std::uint64_t j = 0; j < 3; ++j) mpz_set_si(bA[i * 3 + j].v, A[i + j * 5]);
    for (std::uint64_t k = 0; k < 9; ++k) mpz_set_si(bX0[k].v, X0[k]);
    bits::dd_problem tight = problem;
    tight.max_bytes = budget;
    bits::big_entries store{&tight, bA.data(), bX0.data(), 1, 64, 0, {}};
    const bits::dd_status st = bits::run_double_description_with(tight, store, &result, &stats);
    ASSERT_TRUE(st == bits::dd_status::ok || st == bits::dd_status::over_budget) << budget;
    if (st == bits::dd_status::ok) {
      EXPECT_LE(stats.peak_bytes, budget);
      result.free_rays();
    } else {
      EXPECT_GT(stats.needed_bytes, budget);
      widening_stopped = widening_stopped || (stats.failed_step == 2 && store.limbs == 2);
    }
  }
  EXPECT_TRUE(widening_stopped);
#endif
}

}  // namespace

// A buffer keeps its contents as it grows from malloc into a large block,
// grows in place or (with the addresses after it taken) moves, shrinks and
// grows again; large blocks sit on 2 MiB boundaries.
TEST(DoubleDescriptionLimits, BuffersKeepTheirContentsInLargeBlocks) {
  const std::uint64_t n = bits::large_block_min * 3 / 8;  // 1.5 large_block_min of uint32
  bits::dd_buffer<std::uint32_t> b;
  auto check = [&](const char* where, std::uint64_t k) {
    for (std::uint64_t i = 0; i < k; ++i)
      if (b.data[i] != static_cast<std::uint32_t>(i * 2654435761u)) FAIL() << where << ", entry " << i;
  };
  for (std::uint64_t i = 0; i < n; ++i) ASSERT_TRUE(b.push(static_cast<std::uint32_t>(i * 2654435761u)));
  EXPECT_EQ(b.mapped != 0, bits::large_blocks);
  check("pushed", n);
#if BITS_LARGE_BLOCKS && defined(MAP_FIXED_NOREPLACE)
  // A page mapped right after the block (or a mapping there already)
  // leaves growth no room in place.
  char* const after = reinterpret_cast<char*>(b.data) + b.mapped;
  void* guard = mmap(after, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  const std::uint32_t* before = b.data;
  ASSERT_TRUE(b.reserve(2 * n));
  if (guard == after || guard == MAP_FAILED) {
    EXPECT_NE(b.data, before);
  }
  if (guard != MAP_FAILED) munmap(guard, 4096);
#endif
  ASSERT_TRUE(b.reserve(3 * n));
  check("grown", n);
  if (bits::large_blocks) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data) % bits::huge_page_bytes, 0u);
  }
  b.size = n;
  b.shrink();
  EXPECT_GE(b.capacity, n);
  EXPECT_LT(b.capacity, 2 * n);
  check("shrunk", n);
  // Shrunk below large_block_min, it stays a large block as it grows again.
  b.size = 1000;
  b.shrink();
  ASSERT_TRUE(b.reserve((3 << 20) / 4));
  check("shrunk small and grown", 1000);
  bits::dd_buffer<std::uint32_t> other;
  other.swap(b);
  EXPECT_EQ(b.data, nullptr);
  other.release();
  EXPECT_EQ(other.mapped, 0u);
}
