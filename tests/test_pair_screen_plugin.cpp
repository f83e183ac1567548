// pair_screen as a host calls it: the built plug-in, through the stand-in host.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

#include "tests/plugin_harness.h"
#include "tests/tree_data.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif
// Address and thread sanitizers reserve shadow memory far beyond any limit
// on the address space.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BITS_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define BITS_SHADOW_MEMORY 1
#endif
#endif

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;
using harness::u16_scalar;
using harness::u32;

const char* const kInputs = "Six input arguments required . . .";
const char* const kOutputs = "One output argument required . . .";
const char* const kCombRows = "Candidate combinations must be a 2 by n matrix . . .";
const char* const kColumns = "R_tree, i_node and i_leaf must have the same number of columns . . .";
const char* const kRows = "R and R_tree must have the same number of rows . . .";
const char* const kNodeRows = "i_node must have one row . . .";
const char* const kLeafRows = "i_leaf must have two rows . . .";
const char* const kPatternClass = "R and R_tree must be real uint32 matrices . . .";
const char* const kThreads = "n_threads must be a non-empty real numeric array . . .";
const char* const kCombClass = "j_comb should be of type 'uint32' or 'double' . . .";
const char* const kCombRange = "j_comb must hold 0-based column numbers of R . . .";
const char* const kNodeClass = "i_node must be a real uint32 row . . .";
const char* const kSkip = "i_node must hold skip targets with l < i_node(l) <= n_nodes (0-based l) . . .";
const char* const kNesting = "Subtrees must nest: no skip target in i_node may pass its parent's . . .";
const char* const kLeafClass = "i_leaf must be a real uint64 matrix . . .";
const char* const kLeafRange = "i_leaf ranges with first <= last must name 0-based columns of R . . .";

array_ptr u64(std::size_t m, std::size_t n, const std::vector<std::uint64_t>& v = {}) {
  return make(mxUINT64_CLASS, {m, n}, v);
}

class PairScreen : public harness::PluginTest {
 protected:
  PairScreen() : PluginTest("pair_screen") {}
  // Columns of R: {0}, {1}, {0,1}, {2}. Root (pattern {}) lists nothing and
  // has children 1 (pattern {0}, lists column 2) and 2 (pattern {2}, lists 3).
  array_ptr R = u32(1, 4, {0x1, 0x2, 0x3, 0x4});
  array_ptr T = u32(1, 3, {0x0, 0x1, 0x4});
  array_ptr nodes = u32(1, 3, {3, 2, 3});
  array_ptr leaves = u64(2, 3, {1, 0, 2, 2, 3, 3});
  // (0,1): column 2 is inner. (1,3): node 1 closed, column 3 is b. (0,3): no.
  // (2,2): column 3 not inside.
  array_ptr pairs = u32(2, 4, {0, 1, 1, 3, 0, 3, 2, 2});
  array_ptr two = u16_scalar(2);
  const std::vector<std::uint8_t> answer = {0, 1, 1, 1};

  // Expects exactly `message` from a call with these six arguments.
  void expect_error_with(const char* message, const mxArray* r, const mxArray* j, const mxArray* t,
                         const mxArray* n, const mxArray* l, const mxArray* threads) {
    expect_error(message, 1, r, j, t, n, l, threads);
  }
};

TEST_F(PairScreen, SmallTree) {
  const auto o = call(1, R.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetClassID(o.out()), mxUINT8_CLASS);
  EXPECT_FALSE(mxIsComplex(o.out()));
  EXPECT_EQ(mxGetM(o.out()), 4u);
  EXPECT_EQ(mxGetN(o.out()), 1u);
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), answer);
  // The same pairs as doubles, with fractions.
  array_ptr dpairs = f64(2, 4, {0.5, 1.9, 1, 3.2, 0, 3, 2.99, 2});
  const auto d = call(1, R.get(), dpairs.get(), T.get(), nodes.get(), leaves.get(), two.get());
  ASSERT_FALSE(d.failed) << d.message;
  EXPECT_EQ(harness::values<std::uint8_t>(d.out()), answer);
}

TEST_F(PairScreen, ArgumentCountsComeFirst) {
  array_ptr bad = u32(3, 1);
  expect_error(kInputs, 1, R.get(), pairs.get(), T.get(), nodes.get(), leaves.get());
  expect_error(kInputs, 0, R.get(), bad.get(), T.get(), nodes.get(), leaves.get(), two.get(), two.get());
  expect_error(kInputs, 2);
  expect_error(kOutputs, 0, R.get(), bad.get(), T.get(), nodes.get(), leaves.get(), two.get());
  expect_error(kOutputs, 2, R.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), two.get());
}

TEST_F(PairScreen, ShapeChecksInOrder) {
  array_ptr j3 = u32(3, 1, {0, 1, 2});
  array_ptr none = make<std::int8_t>(mxINT8_CLASS, {0, 0});
  // Pair rows first, whatever the other arguments hold.
  expect_error_with(kCombRows, none.get(), j3.get(), none.get(), none.get(), j3.get(), none.get());
  array_ptr j1 = u32(1, 2, {0, 1});
  expect_error_with(kCombRows, R.get(), j1.get(), T.get(), nodes.get(), leaves.get(), two.get());

  // Column counts: R_tree 5, i_node 5, i_leaf 4; i_node as a 5 x 1 column.
  array_ptr T5 = u32(2, 5), n5 = u32(1, 5), n5col = u32(5, 1), l4 = u64(2, 4), l5 = u64(3, 5);
  expect_error_with(kColumns, R.get(), pairs.get(), T5.get(), n5.get(), l4.get(), none.get());
  expect_error_with(kColumns, R.get(), pairs.get(), T5.get(), n5col.get(), l5.get(), none.get());
  array_ptr T4 = u32(1, 4);
  expect_error_with(kColumns, R.get(), pairs.get(), T4.get(), n5.get(), l5.get(), none.get());

  // Then rows of R_tree against R, then i_node rows, then i_leaf rows.
  array_ptr n25 = u32(2, 5);
  expect_error_with(kRows, R.get(), pairs.get(), T5.get(), n25.get(), l5.get(), none.get());
  array_ptr R2 = u32(2, 4);
  expect_error_with(kNodeRows, R2.get(), pairs.get(), T5.get(), n25.get(), l5.get(), none.get());
  expect_error_with(kLeafRows, R2.get(), pairs.get(), T5.get(), n5.get(), l5.get(), none.get());
}

TEST_F(PairScreen, ClassChecksInOrder) {
  array_ptr none = make<std::uint16_t>(mxUINT16_CLASS, {0, 0});
  array_ptr j_int = make<std::int32_t>(mxINT32_CLASS, {2, 1}, {0, 1});
  array_ptr n_dbl = f64(1, 3, {3, 2, 3});
  array_ptr l_dbl = f64(2, 3, {1, 0, 2, 2, 3, 3});
  // Thread request after the shapes, before the class of j_comb.
  array_ptr Rd = f64(1, 4, {1, 2, 3, 4});
  expect_error_with(kThreads, Rd.get(), j_int.get(), T.get(), n_dbl.get(), l_dbl.get(), none.get());
  expect_error_with(kThreads, R.get(), j_int.get(), T.get(), n_dbl.get(), l_dbl.get(), none.get());
  array_ptr cell(standin::create(mxCELL_CLASS, {1, 1}));
  expect_error_with(kThreads, R.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), cell.get());

  // The class of j_comb before the pattern classes, its values and the tree arrays.
  array_ptr j_single = make<float>(mxSINGLE_CLASS, {2, 1}, {0, 1});
  array_ptr j_u64 = u64(2, 1, {0, 1});
  array_ptr j_cplx(standin::create(mxDOUBLE_CLASS, {2, 1}, true));
  for (const mxArray* j : {j_int.get(), j_single.get(), j_u64.get(), j_cplx.get()})
    expect_error_with(kCombClass, R.get(), j, T.get(), n_dbl.get(), l_dbl.get(), two.get());
  expect_error_with(kCombClass, Rd.get(), j_int.get(), T.get(), n_dbl.get(), l_dbl.get(), two.get());

  // Pattern classes before the values of j_comb and the tree arrays.
  array_ptr j_far = u32(2, 1, {0, 4});
  expect_error_with(kPatternClass, Rd.get(), j_far.get(), T.get(), n_dbl.get(), l_dbl.get(), two.get());
  array_ptr T8 = make<std::uint8_t>(mxUINT8_CLASS, {1, 3}, {0, 1, 4});
  expect_error_with(kPatternClass, R.get(), j_far.get(), T8.get(), n_dbl.get(), l_dbl.get(), two.get());
  array_ptr Rc(standin::create(mxUINT32_CLASS, {1, 4}, true));
  expect_error_with(kPatternClass, Rc.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), two.get());

  expect_error_with(kCombRange, R.get(), j_far.get(), T.get(), n_dbl.get(), l_dbl.get(), two.get());
  expect_error_with(kNodeClass, R.get(), pairs.get(), T.get(), n_dbl.get(), l_dbl.get(), two.get());
  array_ptr n_int = make<std::int32_t>(mxINT32_CLASS, {1, 3}, {3, 2, 3});
  expect_error_with(kNodeClass, R.get(), pairs.get(), T.get(), n_int.get(), l_dbl.get(), two.get());
  array_ptr n_bad = u32(1, 3, {3, 4, 3});
  expect_error_with(kSkip, R.get(), pairs.get(), T.get(), n_bad.get(), l_dbl.get(), two.get());
  array_ptr n_cross = u32(1, 3, {2, 3, 3});
  expect_error_with(kNesting, R.get(), pairs.get(), T.get(), n_cross.get(), l_dbl.get(), two.get());
  expect_error_with(kLeafClass, R.get(), pairs.get(), T.get(), nodes.get(), l_dbl.get(), two.get());
  array_ptr l_int = make<std::int64_t>(mxINT64_CLASS, {2, 3}, {1, 0, 2, 2, 3, 3});
  expect_error_with(kLeafClass, R.get(), pairs.get(), T.get(), nodes.get(), l_int.get(), two.get());
}

TEST_F(PairScreen, PairsMustNameColumnsOfR) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {4.0, 4.5, -0.5, -1.0, nan, inf, -inf, 1e300}) {
    array_ptr j = f64(2, 2, {0, 1, bad, 2});
    expect_error_with(kCombRange, R.get(), j.get(), T.get(), nodes.get(), leaves.get(), two.get());
  }
  for (std::uint32_t bad : {4u, 0xFFFFFFFFu}) {
    array_ptr j = u32(2, 2, {0, 1, 2, bad});
    expect_error_with(kCombRange, R.get(), j.get(), T.get(), nodes.get(), leaves.get(), two.get());
  }
  array_ptr ok = f64(2, 1, {-0.0, 3.999});
  EXPECT_FALSE(call(1, R.get(), ok.get(), T.get(), nodes.get(), leaves.get(), two.get()).failed);
}

TEST_F(PairScreen, TreesThatWouldLoopOrReadOutsideAreRefused) {
  // Skip targets: on the node itself (a walk that never ends), backwards,
  // zero, beyond the node count.
  for (std::vector<std::uint32_t> bad : std::vector<std::vector<std::uint32_t>>{
           {3, 1, 3}, {3, 2, 2}, {0, 2, 3}, {3, 2, 4}, {4, 2, 3}, {3, 2, 0xFFFFFFFFu}}) {
    array_ptr n = u32(1, 3, bad);
    expect_error_with(kSkip, R.get(), pairs.get(), T.get(), n.get(), leaves.get(), two.get());
  }
  // Subtrees that do not nest: node 1 reaches past its parent 0.
  array_ptr cross = u32(1, 3, {2, 3, 3});
  expect_error_with(kNesting, R.get(), pairs.get(), T.get(), cross.get(), leaves.get(), two.get());
  // Ranges that reach past the columns of R; empty ranges may hold anything.
  for (std::vector<std::uint64_t> bad : std::vector<std::vector<std::uint64_t>>{
           {1, 0, 2, 4, 3, 3}, {0, UINT64_MAX, 2, 2, 3, 3}, {4, 4, 2, 2, 3, 3}}) {
    array_ptr l = u64(2, 3, bad);
    expect_error_with(kLeafRange, R.get(), pairs.get(), T.get(), nodes.get(), l.get(), two.get());
  }
  array_ptr empties = u64(2, 3, {UINT64_MAX, 0, 9, 8, 3, 3});
  const auto o = call(1, R.get(), pairs.get(), T.get(), nodes.get(), empties.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{1, 1, 1, 1}));
}

TEST_F(PairScreen, Shapes) {
  // No pairs: a 0 x 1 result.
  array_ptr j0 = u32(2, 0);
  auto o = call(1, R.get(), j0.get(), T.get(), nodes.get(), leaves.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetM(o.out()), 0u);
  EXPECT_EQ(mxGetN(o.out()), 1u);
  EXPECT_EQ(mxGetClassID(o.out()), mxUINT8_CLASS);

  // No nodes: every pair is adjacent.
  array_ptr T0 = u32(1, 0), n0 = u32(1, 0), l0 = u64(2, 0);
  o = call(1, R.get(), pairs.get(), T0.get(), n0.get(), l0.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), std::vector<std::uint8_t>(4, 1));

  // No rows: every node is open, every listed column other than a and b is inner.
  array_ptr R0 = u32(0, 4), T00 = u32(0, 3);
  array_ptr l = u64(2, 3, {1, 0, 2, 2, 0, 0});
  array_ptr j = u32(2, 3, {0, 2, 1, 3, 3, 3});
  o = call(1, R0.get(), j.get(), T00.get(), nodes.get(), l.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{1, 0, 0}));
}

TEST_F(PairScreen, RandomTreesAgreeForEveryRequestAndWidth) {
  std::mt19937_64 rng(41);
  const testdata::pattern_matrix Rm = testdata::atom_patterns(3, 20, rng);
  const testdata::pattern_tree t =
      testdata::random_tree(Rm, 70, rng, 0.4, testdata::node_patterns::arbitrary, false);
  std::vector<std::uint32_t> jp;
  std::vector<double> jd;
  std::vector<std::uint8_t> expected;
  std::uniform_int_distribution<std::uint32_t> col(0, 19);
  for (int k = 0; k < 260; ++k) {
    const std::uint32_t a = col(rng), b = col(rng);
    jp.insert(jp.end(), {a, b});
    jd.insert(jd.end(), {a + 0.25, b + 0.75});
    expected.push_back(testdata::reference_adjacent(Rm, t, a, b));
  }
  const testdata::pattern_matrix Rz = testdata::with_zero_row(Rm), Tz = testdata::with_zero_row(t.R_tree);
  array_ptr Ra = u32(3, 20, Rm.data), Ta = u32(3, 70, t.R_tree.data);
  array_ptr Rza = u32(4, 20, Rz.data), Tza = u32(4, 70, Tz.data);
  array_ptr na = u32(1, 70, t.i_node), la = u64(2, 70, t.i_leaf);
  array_ptr ja = u32(2, 260, jp), jda = f64(2, 260, jd);

  std::vector<array_ptr> requests;
  requests.push_back(u16_scalar(0));
  requests.push_back(u16_scalar(1));
  requests.push_back(u16_scalar(65535));
  requests.push_back(f64(1, 1, {4}));
  requests.push_back(make<std::int64_t>(mxINT64_CLASS, {1, 2}, {-3, 9}));
  for (const auto& threads : requests) {
    for (const mxArray* j : {ja.get(), jda.get()}) {
      auto o = call(1, Ra.get(), j, Ta.get(), na.get(), la.get(), threads.get());
      ASSERT_FALSE(o.failed) << o.message;
      EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected);
      o = call(1, Rza.get(), j, Tza.get(), na.get(), la.get(), threads.get());
      ASSERT_FALSE(o.failed) << o.message;
      EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected);
    }
  }
}

// R and R_tree that start 4 bytes past an 8-byte boundary, with an even row
// count (64-bit words): few pairs take the word-by-word scan, many the vector
// one.
TEST_F(PairScreen, MisalignedPatternBlocksGiveTheReferenceFlags) {
  std::mt19937_64 rng(43);
  const testdata::pattern_matrix Rm = testdata::atom_patterns(4, 40, rng);
  const testdata::pattern_tree t =
      testdata::random_tree(Rm, 30, rng, 0.4, testdata::node_patterns::arbitrary, false);
  array_ptr Ra = harness::u32_misaligned(4, 40, Rm.data);
  array_ptr Ta = harness::u32_misaligned(4, 30, t.R_tree.data);
  array_ptr na = u32(1, 30, t.i_node), la = u64(2, 30, t.i_leaf);
  std::uniform_int_distribution<std::uint32_t> col(0, 39);
  for (int n_comb : {10, 200}) {
    std::vector<std::uint32_t> jp;
    std::vector<std::uint8_t> expected;
    for (int k = 0; k < n_comb; ++k) {
      const std::uint32_t a = col(rng), b = col(rng);
      jp.insert(jp.end(), {a, b});
      expected.push_back(testdata::reference_adjacent(Rm, t, a, b));
    }
    array_ptr ja = u32(2, jp.size() / 2, jp);
    const auto o = call(1, Ra.get(), ja.get(), Ta.get(), na.get(), la.get(), two.get());
    ASSERT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected) << n_comb;
  }
}

TEST_F(PairScreen, DeepChainOfOpenNodes) {
  const std::size_t n = 5000;
  std::vector<std::uint64_t> ranges(2 * n, 0);
  for (std::size_t l = 0; l < n; ++l) ranges[2 * l] = 1;  // lists nothing
  ranges[2 * (n - 1)] = ranges[2 * (n - 1) + 1] = 2;      // the deepest lists column 2
  array_ptr Tn = u32(1, n), nn = u32(1, n, testdata::chain_skip_targets(n)), ln = u64(2, n, ranges);
  const auto o = call(1, R.get(), pairs.get(), Tn.get(), nn.get(), ln.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), answer);
}

#if defined(__linux__) && !defined(BITS_SHADOW_MEMORY)
// One call whose union mask (4 bytes a row) cannot be had: R of 2^23 rows,
// then an address-space limit of what the process holds now plus 16 MiB, so
// the entry's own small blocks fit and the 32 MiB mask does not. Returns 0
// when the call ends with the message, and says what happened otherwise.
int call_without_room_for_the_mask(const harness::loaded_plugin& plugin) {
  const std::size_t rows = std::size_t(1) << 23;
  array_ptr R = u32(rows, 1), T = u32(rows, 0), n = u32(1, 0), l = u64(2, 0);
  array_ptr j = u32(2, 1, {0, 0}), one = u16_scalar(1);
  unsigned long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t(16) << 20);
  if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) {
    std::fprintf(stderr, "cannot lower the address-space limit\n");
    return 2;
  }
  const auto o = plugin.call(1, {R.get(), j.get(), T.get(), n.get(), l.get(), one.get()});
  if (o.failed && o.message == "Out of memory for the tree walk . . .") return 0;
  std::fprintf(stderr, "the call %s: %s\n", o.failed ? "failed" : "returned", o.message.c_str());
  return 1;
}
#endif

// A thread's scratch comes from std::malloc inside the parallel region, so
// its failure is made real: a child process (a fresh run of this test alone)
// lowers its own address-space limit before the call; the test process
// itself is never limited. Not on Windows (no such limit) nor under the
// address and thread sanitizers.
TEST_F(PairScreen, ScratchThatCannotBeHadEndsTheCall) {
#if defined(__linux__) && !defined(BITS_SHADOW_MEMORY)
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(call_without_room_for_the_mask(plugin_)), ::testing::ExitedWithCode(0), "");
#else
  GTEST_SKIP() << "needs an address-space limit and no sanitizer shadow memory";
#endif
}

TEST_F(PairScreen, ErrorsLeaveTheNextCallWorking) {
  array_ptr loop = u32(1, 3, {0, 2, 3});
  expect_error_with(kSkip, R.get(), pairs.get(), T.get(), loop.get(), leaves.get(), two.get());
  const auto o = call(1, R.get(), pairs.get(), T.get(), nodes.get(), leaves.get(), two.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(harness::values<std::uint8_t>(o.out()), answer);
}

TEST(PairScreenLoading, UnloadAndReloadAfterThreadedCalls) {
  for (int round = 0; round < 3; ++round) {
    harness::loaded_plugin p("pair_screen");
    array_ptr R = u32(2, 3, {1, 0, 2, 0, 3, 0}), T = u32(2, 1), n = u32(1, 1, {1});
    array_ptr l = u64(2, 1, {0, 2}), j = u32(2, 2, {0, 1, 0, 0}), two = u16_scalar(2);
    const auto o = p.call(1, {R.get(), j.get(), T.get(), n.get(), l.get(), two.get()});
    ASSERT_FALSE(o.failed) << o.message;
    EXPECT_EQ(harness::values<std::uint8_t>(o.out()), (std::vector<std::uint8_t>{0, 1}));
  }
}

}  // namespace
