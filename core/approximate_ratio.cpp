// Continued-fraction approximation. Build with floating-point contraction
// off (-ffp-contract=off, or /fp:precise with MSVC) and never with a
// fast-math option: the order and the rounding of every operation below are
// part of the result.
#include "core/approximate_ratio.h"

#include <cfloat>
#include <cmath>

// Every intermediate value must be a plain double, with no extended range or
// precision (as the x87 unit of 32-bit x86 would give: evaluation method 2).
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 2
#error "approximate_ratio needs double arithmetic evaluated in double precision"
#endif

namespace bits {

ratio approximate_ratio(double x, double tol) {
  const double a0 = std::floor(x);
  double r = x - a0;  // in [0, 1) for finite x; NaN for NaN or infinite x

  // Flat case: the integer part is close enough. A NaN remainder or a NaN
  // tol makes the comparison false and lands here too.
  if (!(r > tol)) return ratio{a0, 1.0};

  double p = a0, q = 1.0;            // the convergent a0/1
  double p_prev = 1.0, q_prev = 0.0;  // the convergent before it
  // Not the true error of a0/1: just a value that lets the first step run
  // whenever tol + 1 exceeds tol.
  double err = tol + 1.0;
  int n = 1;  // partial quotients taken, a0 included

  while (err > tol && n < max_partial_quotients) {
    // No test for r == 0: 1/0 gives +Inf, the new remainder Inf - Inf is NaN,
    // and the NaN error ends the loop.
    const double t = 1.0 / r;
    const double a = std::floor(t);
    r = t - a;

    const double ap = a * p;
    const double aq = a * q;
    const double p_next = ap + p_prev;
    const double q_next = aq + q_prev;
    p_prev = p;
    q_prev = q;
    p = p_next;
    q = q_next;

    const double quotient = p / q;
    err = std::fabs(quotient - x);
    ++n;
  }

  // The last partial quotient goes up by one when the remaining fraction is
  // at least one half (a NaN remainder does not). The error is not tested
  // again.
  if (r >= 0.5) return ratio{p + p_prev, q + q_prev};
  return ratio{p, q};
}

}  // namespace bits
