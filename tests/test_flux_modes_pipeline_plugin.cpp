// flux_modes_pipeline, network_compression and mode_file through the
// stand-in host: their argument checks, each output form on a small network
// (E, the compressed modes with the expansion, the count, the file written
// and read back in runs), refused files, and Ctrl-C.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/plugin_harness.h"

#ifdef BITS_HAVE_MODE_FILE
#include "core/hdf5_mode_file.h"
#endif

namespace {

using harness::array_ptr;
using harness::f64;
using harness::make;
using harness::text;
using harness::values;

// r1: -> A, r2: A -> B, r3: B -> C, r4: C ->, r5: B <-> D, r6: D <->
const std::vector<double> chain = {1, 0, 0, 0, -1, 1, 0, 0, 0, -1, 1, 0, 0, 0, -1, 0, 0, -1, 0, 1, 0, 0, 0, -1};
const std::vector<std::int64_t> chain_modes = {0, 0, 1, 1, -1, -1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0};

array_ptr logical(const std::vector<std::uint8_t>& v) { return make(mxLOGICAL_CLASS, {1, v.size()}, v); }

class FluxModesPipeline : public harness::PluginTest {
 protected:
  FluxModesPipeline() : PluginTest("flux_modes_pipeline") {}
  array_ptr S = f64(4, 6, chain), rev = logical({0, 0, 0, 0, 1, 1});
  array_ptr one = harness::u16_scalar(1), none = f64(0, 0);
};

TEST_F(FluxModesPipeline, ChecksItsArgumentsFirst) {
  expect_error("Four or five input arguments required . . .", 1, S.get(), rev.get(), one.get());
  array_ptr sparse = text(u"sparse"), compressed = text(u"compressed");
  expect_error("the output form must be 'dense', 'compressed' or 'count' . . .", 1, S.get(), rev.get(), one.get(),
               none.get(), sparse.get());
  expect_error("At most two output arguments allowed . . .", 3, S.get(), rev.get(), one.get(), none.get());
  array_ptr wide = make(mxINT64_CLASS, {4, 6}, std::vector<std::int64_t>(24, 0));
  expect_error("S must be a real full double matrix . . .", 1, wide.get(), rev.get(), one.get(), none.get());
  array_ptr short_rev = logical({0, 0});
  expect_error("reversible must be a logical or double array with one element per column of S . . .", 1, S.get(),
               short_rev.get(), one.get(), none.get());
  array_ptr order5 = f64(1, 2, {64, 5});
  expect_error("settings must hold a leaf size from 1, an order from 0 to 4 and a memory budget of 0 or more "
               "bytes . . .",
               1, S.get(), rev.get(), one.get(), order5.get());
  array_ptr pi = f64(1, 2, {1, std::acos(-1.0)});
  expect_error("S(1,2) = 3.1415926535897931 is neither an integer nor a rational p/q with q <= 2^24 . . .", 1,
               pi.get(), logical({0, 0}).get(), one.get(), none.get());
}

TEST_F(FluxModesPipeline, EachOutputForm) {
  const auto dense = call(2, S.get(), rev.get(), one.get(), none.get());
  ASSERT_FALSE(dense.failed) << dense.message;
  EXPECT_EQ(values<std::int64_t>(dense.out()), chain_modes);
  EXPECT_EQ(mxGetM(dense.out()), 6u);
  const std::vector<double> info = values<double>(dense.out(1));
  ASSERT_EQ(info.size(), 16u);
  EXPECT_EQ(info[0], 3);  // modes
  EXPECT_EQ(info[3], 3);  // compressed reactions

  // E = expansion * Ec: each reaction's row is its coefficient times its
  // compressed reaction's.
  array_ptr compressed = text(u"compressed");
  const auto c = call(3, S.get(), rev.get(), one.get(), none.get(), compressed.get());
  ASSERT_FALSE(c.failed) << c.message;
  const std::vector<std::int64_t> Ec = values<std::int64_t>(c.out()), x = values<std::int64_t>(c.out(2));
  const std::size_t nc = mxGetM(c.out()), entries = mxGetM(c.out(2));
  ASSERT_EQ(nc, 3u);
  ASSERT_EQ(mxGetN(c.out()), 3u);
  std::vector<std::int64_t> E(6 * 3, 0);
  for (std::size_t e = 0; e < entries; ++e)
    for (std::size_t k = 0; k < 3; ++k) E[x[e] - 1 + 6 * k] = x[e + 2 * entries] * Ec[x[e + entries] - 1 + nc * k];
  EXPECT_EQ(E, chain_modes);

  array_ptr count = text(u"count");
  const auto n = call(1, S.get(), rev.get(), one.get(), none.get(), count.get());
  ASSERT_FALSE(n.failed) << n.message;
  EXPECT_EQ(values<double>(n.out()), std::vector<double>{3});
}

// All reactions irreversible, z = A y: the flux modes are the extreme rays
// of {y >= 0, A y >= 0}, the cone of EnumerateRays' Ctrl-C test.
TEST_F(FluxModesPipeline, CtrlCStopsARunningCallAndTheNextOneWorks) {
  const std::size_t d = 16, k = 60;
  std::vector<double> s(k * (d + k), 0);
  std::mt19937_64 rng(16);
  for (std::size_t r = 0; r < k; ++r) {
    for (std::size_t c = 0; c < d; ++c) s[r + k * c] = static_cast<double>(rng() % 6) - 1;
    s[r + k * (d + r)] = -1;
  }
  array_ptr big = f64(k, d + k, s), irreversible = logical(std::vector<std::uint8_t>(d + k, 0));
  const auto o = harness::with_ctrl_c_after(
      200, [&] { return call(1, big.get(), irreversible.get(), one.get(), none.get()); });
  EXPECT_TRUE(o.failed);
  EXPECT_EQ(o.message.rfind("Interrupted by Ctrl-C in step ", 0), 0u) << o.message;
  EXPECT_FALSE(utIsInterruptPending());
  const auto next = call(1, S.get(), rev.get(), one.get(), none.get());
  ASSERT_FALSE(next.failed) << next.message;
  EXPECT_EQ(values<std::int64_t>(next.out()), chain_modes);
}

class NetworkCompression : public harness::PluginTest {
 protected:
  NetworkCompression() : PluginTest("network_compression") {}
};

// compress_network's example: r1: -> A, r2: A -> 2 B, r3: B ->, r4: A <-> C.
TEST_F(NetworkCompression, TheHelpExampleAndItsChecks) {
  array_ptr S = f64(3, 4, {1, 0, 0, -1, 2, 0, 0, -1, 0, -1, 0, 1}), rev = logical({0, 0, 0, 1});
  const auto o = call(5, S.get(), rev.get());
  ASSERT_FALSE(o.failed) << o.message;
  EXPECT_EQ(mxGetN(o.out()), 1u);
  EXPECT_EQ(values<std::int64_t>(o.out(2)), (std::vector<std::int64_t>{1, 1, 2, 0}));
  EXPECT_EQ(values<double>(o.out(4)), (std::vector<double>{1, 2}));
  expect_error("Two input arguments required . . .", 1, S.get());
  expect_error("reversible must be a logical or double array with one element per column of S . . .", 1, S.get(),
               S.get());
}

#ifdef BITS_HAVE_MODE_FILE
class ModeFile : public harness::PluginTest {
 protected:
  ModeFile() : PluginTest("mode_file") {}
  std::string name = ::testing::TempDir() + "mode_file_test.h5";
  void TearDown() override {
    std::remove(name.c_str());
    harness::PluginTest::TearDown();
  }
  static array_ptr ids(const std::vector<std::u16string>& v) {
    array_ptr cell(mxCreateCellMatrix(v.size(), 1));
    for (std::size_t k = 0; k < v.size(); ++k) mxSetCell(cell.get(), k, text(v[k]).release());
    return cell;
  }
};

TEST_F(ModeFile, WrittenAndReadBackInRuns) {
  array_ptr write = text(u"write"), read = text(u"read"), file = text(std::u16string(name.begin(), name.end()));
  array_ptr S = f64(4, 6, chain), rev = logical({0, 0, 0, 0, 1, 1}), one = harness::u16_scalar(1), none = f64(0, 0);
  array_ptr reactions = ids({u"r1", u"r2", u"r3", u"r4", u"r5", u"r6"}), metabolites = ids({u"A", u"B", u"C", u"D"});
  const auto w = call(1, write.get(), S.get(), rev.get(), one.get(), none.get(), file.get(), reactions.get(),
                      metabolites.get());
  ASSERT_FALSE(w.failed) << w.message;
  EXPECT_EQ(values<double>(w.out()), std::vector<double>{3});

  array_ptr two = f64(1, 1, {2}), first = f64(1, 1, {1}), rest = f64(1, 1, {std::numeric_limits<double>::infinity()});
  const auto r = call(3, read.get(), file.get(), two.get(), two.get());
  ASSERT_FALSE(r.failed) << r.message;
  // The file holds chain_modes in the order the run found them.
  const std::vector<std::int64_t> found = {1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, -1, -1};
  EXPECT_EQ(values<std::int64_t>(r.out()), std::vector<std::int64_t>(found.begin() + 6, found.end()));
  EXPECT_EQ(mxGetN(r.out(1)), 1u);
  EXPECT_EQ(values<double>(r.out(2)), std::vector<double>{3});
  const auto all = call(1, read.get(), file.get(), first.get(), rest.get());
  ASSERT_FALSE(all.failed) << all.message;
  EXPECT_EQ(values<std::int64_t>(all.out()), found);
  expect_error("first and count must pick modes within the 3 in the file . . .", 1, read.get(), file.get(),
               two.get(), f64(1, 1, {3}).get());

  // A file of a run that did not finish: named .partial, or complete = 0
  // (the writer's partial file under the final name).
  const std::string partial = name + ".partial";
  array_ptr partial_name = text(std::u16string(partial.begin(), partial.end()));
  expect_error("'" + partial + "' is the file of a run that did not finish . . .", 1, read.get(),
               partial_name.get(), first.get(), first.get());
  {
    const std::vector<double> s(chain);
    const std::vector<std::uint8_t> flags = {0, 0, 0, 0, 1, 1};
    bits::mode_file_network net;
    net.m = 4;
    net.n = 6;
    net.S = s.data();
    net.reversible = flags.data();
    net.reactions = {"r1", "r2", "r3", "r4", "r5", "r6"};
    net.metabolites = {"A", "B", "C", "D"};
    bits::hdf5_mode_file unfinished(name, net);
    std::string error;
    ASSERT_TRUE(unfinished.open(&error)) << error;
    ASSERT_EQ(std::rename(partial.c_str(), name.c_str()), 0);
  }
  expect_error("'" + name + "' is the file of a run that did not finish . . .", 1, read.get(), file.get(),
               first.get(), first.get());
  expect_error("file must not end in .partial, the name of a file being written . . .", 1, write.get(), S.get(),
               rev.get(), one.get(), none.get(), partial_name.get(), reactions.get(), metabolites.get());
}
#endif

}  // namespace
