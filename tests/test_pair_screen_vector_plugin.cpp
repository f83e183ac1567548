// pair_screen on calls large enough for the vector column scan (a transposed
// copy of R), on the path that BITS_SIMD leaves the plug-in: the plain scan
// and a random forest, both word widths, both pair classes and several thread
// counts give the flags of the definition.
#include <random>

#include "tests/plugin_harness.h"
#include "tests/test_params.h"
#include "tests/tree_data.h"

namespace {

using harness::array_ptr;
using harness::make;
using harness::u16_scalar;
using harness::u32;

class PairScreenVector : public harness::PluginTest {
 protected:
  PairScreenVector() : PluginTest("pair_screen") {}
};

TEST_F(PairScreenVector, LargeCallsGiveTheDefinedFlags) {
  BITS_PLUGIN_PATH_OR_SKIP();
  std::mt19937_64 rng(404);
  for (std::uint64_t rows : {3, 4}) {
    const testdata::pattern_matrix Rm = testdata::atom_patterns(rows, 150, rng);
    std::vector<testdata::pattern_tree> trees;
    trees.push_back({testdata::pattern_matrix(rows, 1), {1}, {0, Rm.cols - 1}});
    trees.push_back(testdata::random_tree(Rm, 9, rng, 0.4, testdata::node_patterns::subtree_and, true));
    std::uniform_int_distribution<std::uint32_t> col(0, static_cast<std::uint32_t>(Rm.cols - 1));
    std::vector<std::uint32_t> pairs;
    std::vector<double> pairs_double;
    for (int k = 0; k < 2 * 230; ++k) {
      pairs.push_back(col(rng));
      pairs_double.push_back(pairs.back() + 0.5);
    }
    array_ptr R = u32(Rm.rows, Rm.cols, Rm.data);
    array_ptr J = u32(2, pairs.size() / 2, pairs);
    array_ptr Jd = make(mxDOUBLE_CLASS, {2, pairs.size() / 2}, pairs_double);
    for (const auto& t : trees) {
      std::vector<std::uint8_t> expected;
      for (std::size_t k = 0; k < pairs.size(); k += 2)
        expected.push_back(testdata::reference_adjacent(Rm, t, pairs[k], pairs[k + 1]));
      array_ptr T = u32(Rm.rows, t.nodes(), t.R_tree.data);
      array_ptr N = u32(1, t.nodes(), t.i_node);
      array_ptr L = make(mxUINT64_CLASS, {2, t.nodes()}, t.i_leaf);
      for (std::uint16_t threads : {1, 2, 5}) {
        array_ptr n = u16_scalar(threads);
        for (const mxArray* j : {J.get(), Jd.get()}) {
          const auto o = call(1, R.get(), j, T.get(), N.get(), L.get(), n.get());
          ASSERT_FALSE(o.failed) << o.message;
          EXPECT_EQ(harness::values<std::uint8_t>(o.out()), expected)
              << "rows " << rows << ", nodes " << t.nodes() << ", threads " << threads;
        }
      }
    }
  }
}

}  // namespace
