%INTEGER_NULL_SPACE  Exact integer basis of the null space of an int64 matrix (compiled plug-in).
%
%   N = INTEGER_NULL_SPACE(M)
%   [N, PIVOTS] = INTEGER_NULL_SPACE(M)
%   [N, PIVOTS] = INTEGER_NULL_SPACE(M, BASIS)
%
%   N holds a basis of {x : M*x = 0}: one int64 column per non-pivot column
%   f of M, with entry f positive, zeros at the other non-pivot columns and
%   coprime entries. PIVOTS (a 1-based double row) are the columns of M that
%   are linearly independent of the columns before them, taken from left to
%   right; their number is the rank of M, and M(:, PIVOTS) is a basis of its
%   column space. So [~, PIVOTS] = INTEGER_NULL_SPACE(M') picks independent
%   rows of M. With BASIS false (a logical or numeric scalar), only the
%   pivots are computed and N comes back empty (n x 0): the rank and the
%   independent columns of a matrix whose null space would not fit int64.
%
%   The elimination is fraction-free and exact, with 256-bit integers: no
%   rounding and no tolerance. A value beyond 256 bits, or a basis entry
%   beyond int64, ends the call with an error.
%
%   Arguments
%     M       p x n real int64 matrix.
%
%   Results
%     N       n x (n - rank) int64 matrix.
%     PIVOTS  1 x rank double row.
%
%   Errors (message endings), in the order they are checked
%     One or two input arguments required . . .
%     At most two output arguments allowed . . .
%     M must be a real int64 matrix . . .
%     basis must be a non-empty real numeric or logical array . . .
%     M is too large for the exact elimination . . .
%     The exact elimination needs integers beyond 256 bits . . .
%     A null space basis entry is beyond the int64 range . . .
%
%   Example
%     [N, pivots] = integer_null_space(int64([1 2 3; 2 4 6]))
%     % N = [-2 -3; 1 0; 0 1], pivots = 1
%
%   See also EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('integer_null_space: the compiled plug-in was not found on the path . . .');
