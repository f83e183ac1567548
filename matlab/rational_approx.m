%RATIONAL_APPROX  Numerators and denominators by continued fractions (compiled plug-in).
%
%   [NUMERATORS, DENOMINATORS] = RATIONAL_APPROX(VALUES, TOL)
%
%   For every element x of VALUES, NUMERATORS and DENOMINATORS hold at the
%   same position a numerator p and a denominator q with p/q close to x: x is
%   expanded as a simple continued fraction until the first convergent p/q
%   with abs(p/q - x) <= TOL (at most 50 partial quotients, the integer part
%   included); when the fraction left over is at least 0.5 the last partial
%   quotient is then increased by one. If the fractional part of x is not
%   greater than TOL, the result is floor(x) over 1. Results are not reduced
%   further and are the same bit for bit on every platform.
%
%   Arguments
%     VALUES  real, full double array of any shape.
%     TOL     absolute tolerance: the first element of a non-empty real
%             numeric array, read by its value as a double. It is not
%             validated: 0, negative, infinite and NaN tolerances follow the
%             same rules (see below).
%
%   Results
%     NUMERATORS, DENOMINATORS  double arrays of the size of VALUES. An empty
%             VALUES gives two empty arrays of its size.
%
%   Special cases
%     NaN, Inf and -Inf give themselves over 1. An integer over 1 when
%     TOL >= 0. TOL NaN or Inf: floor(x) over 1. TOL -Inf: the nearest integer
%     over 1, halves upward; so does a negative TOL for which TOL + 1 rounds
%     back to TOL (every one at or below -2^54, every other one between
%     -2^54 and -2^53). TOL 0: the first convergent equal to x in double
%     precision, if there is one. When no convergent comes within TOL, the
%     expansion runs to its end and may give Inf or NaN: any other negative
%     TOL is never met (3 with TOL -1 gives Inf over Inf), and neither may be
%     TOL 0 or a positive TOL below the rounding error of x (1 - eps/2 with
%     TOL 0 or 1e-16 gives Inf over Inf).
%
%   Errors (message endings)
%     Two input arguments required . . .
%     Two output arguments required . . .
%     values must be a real, full double array . . .
%     tol must be a non-empty real numeric array . . .
%
%   Example
%     [p, q] = rational_approx([pi exp(1) 0.4], 1e-3)
%     % p = [355 106 2], q = [113 39 5]
%
%   See also RAT, BITS_WITHIN, DISK_SYNC.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('rational_approx: the compiled plug-in was not found on the path . . .');
