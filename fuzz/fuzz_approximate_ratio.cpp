// approximate_ratio against the plain recurrences of tests/ratio_reference.h,
// bit for bit (NaN matches NaN), on any value and tolerance: raw doubles
// from the input, or special ones (NaN, +-Inf, 2^53, huge, tiny,
// subnormal, halves, values one rounding away from an integer).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/approximate_ratio.h"
#include "fuzz/fuzz_input.h"
#include "tests/ratio_reference.h"

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double specials[] = {0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 1.5, 2.5, 3.141592653589793,
                           std::numeric_limits<double>::quiet_NaN(), inf, -inf, 9007199254740992.0,
                           -9007199254740992.0, 4503599627370496.5, 1e308, -1e308, 1e-300,
                           4.9406564584124654e-324, 2.220446049250313e-16, 1.1102230246251565e-16,
                           0.99999999999999989, 1.0000000000000002, -18014398509481984.0,
                           -9007199254740991.0, 1e-6, 0.001, 0.1, 0.6180339887498949};

double value(fuzzin::reader& in) {
  const std::uint8_t how = in.byte();
  const std::uint64_t bits = in.word<std::uint64_t>();
  double raw;
  std::memcpy(&raw, &bits, sizeof raw);
  switch (how % 4) {
    case 0: return raw;
    case 1: return specials[bits % (sizeof(specials) / sizeof(double))];
    case 2: return std::nextafter(specials[how % (sizeof(specials) / sizeof(double))], raw);
    default: return static_cast<double>(static_cast<std::int32_t>(in.word<std::int32_t>())) /
                    static_cast<double>(1 + in.word<std::uint16_t>());
  }
}

bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  std::uint64_t x, y;
  std::memcpy(&x, &a, 8);
  std::memcpy(&y, &b, 8);
  return x == y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzin::reader in(data, size);
  const double x = value(in), tol = value(in);
  const bits::ratio r = bits::approximate_ratio(x, tol);
  const testdata::reference_result ref = testdata::reference_ratio(x, tol);
  FUZZ_CHECK(same(r.p, ref.p) && same(r.q, ref.q));
  return 0;
}
