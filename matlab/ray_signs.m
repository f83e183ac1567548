%RAY_SIGNS  Exact signs of the product of two int64 matrices (compiled plug-in).
%
%   SIGNS = RAY_SIGNS(A, X)
%
%   SIGNS(i, j) is -1, 0 or 1, the sign of row i of A times column j of X,
%   computed exactly (128-bit products and sums, 256-bit where those do not
%   suffice): no rounding, whatever the size of the entries. In the double
%   description method A is a constraint row and X the rays: the side of the
%   hyperplane on which each ray lies.
%
%   Arguments
%     A      k x d real int64 matrix.
%     X      d x n real int64 matrix (d below 2^20).
%
%   Result
%     SIGNS  k x n int8 matrix.
%
%   Errors (message endings), in the order they are checked
%     Two input arguments required . . .
%     One output argument required . . .
%     A and X must be real int64 matrices . . .
%     A must have as many columns as X has rows . . .
%     Rays must have fewer than 2^20 entries . . .
%
%   Example
%     signs = ray_signs(int64([1 -1]), int64([3 2 5; 3 4 1]))
%     % signs = [0 -1 1]
%
%   See also RAY_COMBINE, EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('ray_signs: the compiled plug-in was not found on the path . . .');
