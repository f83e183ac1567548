%RAY_COMBINE  New rays of the double description method from pairs of rays, exactly (compiled plug-in).
%
%   Y = RAY_COMBINE(A, X, J_COMB)
%
%   For every pair (p, q) of 0-based column numbers of X (column i of
%   J_COMB), column i of Y is
%       (A * X(:, p+1)) * X(:, q+1) - (A * X(:, q+1)) * X(:, p+1)
%   divided by the greatest common divisor of its entries (a zero vector
%   stays zero). When A*x_p > 0 > A*x_q this is the positive combination of
%   the two rays that lies on the hyperplane A*x = 0. Every product and sum
%   is exact; a new ray whose entries do not fit int64 ends the call with an
%   error rather than a rounded ray.
%
%   Arguments
%     A       real int64 array of d elements: the constraint row.
%     X       d x n real int64 matrix, one ray per column (d below 2^20).
%     J_COMB  2 x n_comb uint32 or double matrix of 0-based column numbers
%             of X, one pair per column (as CANDIDATE_PAIRS and PAIR_SCREEN
%             use them); doubles are truncated toward zero.
%
%   Result
%     Y       d x n_comb int64 matrix.
%
%   Errors (message endings), in the order they are checked
%     Three input arguments required . . .
%     One output argument required . . .
%     a and X must be real int64 arrays . . .
%     a must have one entry per row of X . . .
%     Rays must have fewer than 2^20 entries . . .
%     Candidate combinations must be a 2 by n matrix . . .
%     j_comb should be of type 'uint32' or 'double' . . .
%     j_comb must hold 0-based column numbers of X . . .
%     A new ray has entries beyond the int64 range . . .
%
%   Example
%     X = int64([1 0; 0 1]);           % rays e1 and e2
%     Y = ray_combine(int64([1 -2]), X, uint32([0; 1]))
%     % Y = [2; 1]: on the line x1 = 2 x2
%
%   See also RAY_SIGNS, CANDIDATE_PAIRS, EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('ray_combine: the compiled plug-in was not found on the path . . .');
