// Continued-fraction approximation of one double by a numerator and a
// denominator, to an absolute tolerance.
//
// The result depends on every rounding step, so the function lives in its own
// translation unit (approximate_ratio.cpp), compiled with floating-point
// contraction off: each product, quotient, sum and difference is rounded on
// its own, and the results agree bit for bit on every platform and compiler.
//
// No state, no allocation, no failure path; safe to call from any thread.
#ifndef BITS_CORE_APPROXIMATE_RATIO_H
#define BITS_CORE_APPROXIMATE_RATIO_H

namespace bits {

// Numerator p and denominator q, p / q approximating the input value.
struct ratio {
  double p;
  double q;
};

// At most this many partial quotients are taken, the integer part included.
constexpr int max_partial_quotients = 50;

// Expands x as a simple continued fraction and stops at the first convergent
// p/q with |p/q - x| <= tol, or after the step cap; the last partial quotient
// is then increased by one when the remaining fraction is at least 0.5.
//
// - If the fractional part of x is not greater than tol (also when it or tol
//   is NaN), the result is floor(x) over 1, unrounded.
// - NaN, +Inf and -Inf give themselves over 1.
// - tol is not validated: 0, negative, infinite and NaN tolerances run
//   through the same comparisons (tol = -Inf: the nearest integer over 1,
//   halves upward; a negative finite tol is never met, and a remainder of 0
//   turns the next step into a division by zero, giving infinite or NaN
//   results).
ratio approximate_ratio(double x, double tol);

}  // namespace bits

#endif
