// The modes split into classes (core/mode_classes.h): on random networks the
// classes of 1 to 4 split reactions (chosen as bits_modes chooses them, or
// at random, reversible and blocked ones among them) hold every mode of the
// network once, as the brute force finds them; and a class over its memory
// budget is split further, or named when it cannot be.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/mode_classes.h"
#include "tests/efm_reference.h"

namespace {

using efm_reference::ray;

// The modes as they come, in pieces.
class collect_sink : public bits::mode_sink {
 public:
  std::vector<ray> modes;
  std::uint64_t n = 0;
  bool begin(std::uint64_t reactions, std::uint64_t, std::string*) override {
    n = reactions;
    return true;
  }
  bool write(const std::int64_t* x, std::uint64_t count, std::string*) override {
    for (std::uint64_t k = 0; k < count; ++k) modes.emplace_back(x + k * n, x + (k + 1) * n);
    return true;
  }
  bool finish(std::string*) override { return true; }
};

// Every class of `split` into one sink, run_class_split's way; the modes sorted.
std::vector<ray> class_modes(const std::vector<double>& S, std::uint64_t m, std::uint64_t n,
                             const std::vector<std::uint8_t>& rev, const std::vector<std::uint64_t>& split,
                             const bits::flux_modes_options& opt, std::uint64_t depth, std::string* error,
                             std::vector<std::string>* labels = nullptr) {
  std::vector<bits::mode_class> classes;
  EXPECT_TRUE(bits::make_classes(S.data(), m, n, rev.data(), split, &classes, error)) << *error;
  EXPECT_EQ(classes.size(), std::uint64_t(1) << split.size());
  collect_sink all;
  bool begun = false;
  bits::class_hooks hooks;
  hooks.open = [&](const bits::mode_class&, bits::mode_sink** sink, bool** b, std::string*) {
    *sink = &all;
    *b = &begun;
    return true;
  };
  hooks.close = [&](const bits::mode_class& c, const bits::flux_modes_info&, bool ok, std::string*) {
    if (ok && labels) labels->push_back(c.label);
    return true;
  };
  for (const bits::mode_class& c : classes)
    if (!bits::run_class_split(S.data(), m, n, rev.data(), c, opt, depth, hooks, error)) return {};
  std::sort(all.modes.begin(), all.modes.end());
  return all.modes;
}

TEST(ModeClasses, ClassesHoldEveryModeOnce) {
  std::mt19937_64 rng(27);
  std::uint64_t modes = 0, reversible_splits = 0;
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<std::int64_t> P;
    std::vector<std::uint8_t> rev;
    std::uint64_t m, n;
    efm_reference::random_network(rng, &P, &m, &n, &rev);
    const std::vector<double> S(P.begin(), P.end());
    const std::vector<ray> expected = efm_reference::reference_modes(P, m, n, rev);
    modes += expected.size();
    bits::flux_modes_options opt;
    opt.order = static_cast<bits::mode_order>(trial % bits::mode_orders);
    opt.compress = trial % 5 != 1;
    omp_set_num_threads(1 + trial % 2);
    for (std::uint64_t k = 1; k <= 4; ++k) {
      std::vector<std::uint64_t> split;
      std::string error;
      if (trial % 2 == 0) {
        const std::vector<std::uint8_t> none(n, 0);
        ASSERT_TRUE(bits::choose_split_reactions(S.data(), m, n, rev.data(), none, none, k, &split, &error));
      }
      while (split.size() < k) {  // at random, any reaction
        const std::uint64_t r = rng() % n;
        if (std::find(split.begin(), split.end(), r) == split.end()) split.push_back(r);
      }
      for (std::uint64_t r : split) reversible_splits += rev[r];
      ASSERT_EQ(class_modes(S, m, n, rev, split, opt, 0, &error), expected)
          << "trial " << trial << ", " << k << " split reactions " << error;
    }
  }
  EXPECT_GT(modes, 200u);
  EXPECT_GT(reversible_splits, 40u);
}

TEST(ModeClasses, OverBudgetClassesSplitFurther) {
  std::mt19937_64 rng(5);
  std::vector<std::int64_t> P;
  std::vector<std::uint8_t> rev;
  std::uint64_t m, n;
  std::vector<ray> expected;
  do {
    efm_reference::random_network(rng, &P, &m, &n, &rev);
    expected = efm_reference::reference_modes(P, m, n, rev);
  } while (expected.size() < 20);
  const std::vector<double> S(P.begin(), P.end());
  bits::flux_modes_options opt;
  bits::flux_modes_info info;
  bits::count_sink count;
  std::string error;
  ASSERT_TRUE(bits::run_flux_modes(S.data(), m, n, rev.data(), opt, &count, &info, &error));
  // Under any budget: every mode, or a message that names the class that
  // could not be split further; some budgets below the whole run's need
  // finish through subclasses.
  std::uint64_t split_further = 0;
  for (std::uint64_t part = 1; part <= 16; ++part) {
    opt.max_bytes = info.stats.peak_bytes * 2 / (part + 1);
    std::vector<std::string> labels;
    const std::vector<ray> modes = class_modes(S, m, n, rev, {0}, opt, part % 2 ? 64 : 1, &error, &labels);
    if (modes.empty()) {
      EXPECT_EQ(error.rfind("class ", 0), 0u) << error;
      EXPECT_NE(error.find("memory budget"), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(modes, expected) << opt.max_bytes;
    split_further += labels.size() > 2;
  }
  EXPECT_GT(split_further, 0u);
}

}  // namespace
