// big_rays as a host calls it, through the stand-in host: rows as text and
// rays beyond int64 as text, the same result for one thread and two, and the
// messages of the checks. Built where GMP is (never in the Windows build).
#ifdef BITS_HAVE_BIG_RAYS
#include <cstdint>
#include <string>
#include <vector>

#include "tests/plugin_harness.h"

namespace {

using harness::array_ptr;

// An m x n cell of texts, column-major.
array_ptr cells(std::size_t m, std::size_t n, const std::vector<std::string>& texts) {
  array_ptr a(mxCreateCellMatrix(m, n));
  for (std::size_t k = 0; k < texts.size(); ++k) mxSetCell(a.get(), k, mxCreateString(texts[k].c_str()));
  return a;
}

std::vector<std::string> texts_of(const mxArray* a) {
  std::vector<std::string> out;
  mxArray* const* e = static_cast<mxArray* const*>(mxGetData(a));
  for (std::size_t k = 0; k < mxGetNumberOfElements(a); ++k) {
    char buf[200];
    EXPECT_EQ(mxGetString(e[k], buf, sizeof buf), 0);
    out.push_back(buf);
  }
  return out;
}

class BigRays : public harness::PluginTest {
 protected:
  BigRays() : PluginTest("big_rays") {}
};

TEST_F(BigRays, TextRowsGiveTextRaysAlikeOnAnyThreadCount) {
  // The moment curve (1, t, ..., t^6) at t = 10^6 + 1 .. 10^6 + 24: entries
  // up to 10^36, and 1520 rays of about 120 bits.
  const std::size_t m = 24, n = 7;
  std::vector<std::string> rows(m * n);
  for (std::size_t t = 0; t < m; ++t) {
    unsigned __int128 x = 1;
    for (std::size_t k = 0; k < n; ++k, x *= 1000001 + t) {
      std::string s;
      for (unsigned __int128 v = x; v > 0; v /= 10) s.insert(s.begin(), char('0' + int(v % 10)));
      rows[t + k * m] = s;
    }
  }
  const array_ptr A = cells(m, n, rows), none = harness::f64(0, 0), settings = harness::f64(1, 0);
  std::vector<std::string> first;
  for (std::uint16_t threads : {1, 2}) {
    const array_ptr t = harness::u16_scalar(threads);
    const harness::outcome o = call(3, A.get(), none.get(), t.get(), settings.get());
    ASSERT_FALSE(o.failed) << o.message;
    ASSERT_EQ(mxGetClassID(o.out(0)), mxCELL_CLASS);
    EXPECT_EQ(mxGetN(o.out(0)), 1520u);
    const std::vector<std::string> got = texts_of(o.out(0));
    if (first.empty()) first = got;
    EXPECT_EQ(got, first) << threads << " threads";
    const std::vector<double> info = harness::values<double>(o.out(1)), scaled = harness::values<double>(o.out(2));
    EXPECT_EQ(info[9], 2);  // two limbs an entry
    for (std::size_t j = 0; j < mxGetN(o.out(2)); ++j) {
      double top = 0;
      for (std::size_t i = 0; i < n; ++i) top = std::max(top, std::abs(scaled[j * n + i]));
      EXPECT_EQ(top, 1.0);
    }
  }
}

TEST_F(BigRays, ChecksItsArguments) {
  const array_ptr none = harness::f64(0, 0), one = harness::u16_scalar(1), settings = harness::f64(1, 0);
  const array_ptr bad = cells(2, 2, {"1", "0", "0", "1/0"}), line = cells(2, 2, {"1", "-1", "0", "0"});
  expect_error("A(2,2) is not a decimal integer or fraction p/q . . .", 1, bad.get(), none.get(), one.get(),
               settings.get());
  expect_error("The cone is not pointed: it contains a line (rank of [A; B] is 1, not 2) . . .", 1, line.get(),
               none.get(), one.get(), settings.get());
  const array_ptr empty_cell(mxCreateCellMatrix(1, 1)), wide = harness::f64(1, 3, {1, 2, 3});
  expect_error("A must be an int64, uint64 or double matrix of integers, or a cell array of decimal integers "
               "and fractions p/q . . .", 1, empty_cell.get(), none.get(), one.get(), settings.get());
  expect_error("B must have as many columns as A . . .", 1, line.get(), wide.get(), one.get(), settings.get());
}

}  // namespace
#endif
