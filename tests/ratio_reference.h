// approximate_ratio written out plainly, for the tests and the fuzz target
// that hold the kernel to it bit for bit. Whatever includes this must be
// compiled with floating-point contraction off, like the kernel itself
// (BITS_STRICT_FP_FLAGS).
#ifndef BITS_TESTS_RATIO_REFERENCE_H
#define BITS_TESTS_RATIO_REFERENCE_H

#include <cmath>

namespace testdata {

// The expansion written out with the textbook recurrences over arrays of
// partial quotients and convergents: h[k] / g[k] is convergent k, with
// h[-1] = 1, g[-1] = 0. Also reports how many steps (partial quotients after
// a0) were taken.
struct reference_result {
  double p, q;
  int steps;
};

inline reference_result reference_ratio(double x, double tol) {
  double a[50], rem[50], h[51], g[51];  // h[k + 1], g[k + 1] hold convergent k
  h[0] = 1.0;
  g[0] = 0.0;
  a[0] = std::floor(x);
  rem[0] = x - a[0];
  h[1] = a[0];
  g[1] = 1.0;
  if (rem[0] > tol) {
    int k = 0;
    double error = tol + 1.0;
    while (error > tol && k + 1 < 50) {
      ++k;
      const double t = 1.0 / rem[k - 1];
      a[k] = std::floor(t);
      rem[k] = t - a[k];
      const double ah = a[k] * h[k];
      const double ag = a[k] * g[k];
      h[k + 1] = ah + h[k - 1];
      g[k + 1] = ag + g[k - 1];
      const double value = h[k + 1] / g[k + 1];
      error = std::fabs(value - x);
    }
    if (rem[k] >= 0.5) return {h[k + 1] + h[k], g[k + 1] + g[k], k};
    return {h[k + 1], g[k + 1], k};
  }
  return {a[0], 1.0, 0};
}

}  // namespace testdata

#endif
