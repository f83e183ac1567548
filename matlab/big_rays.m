%BIG_RAYS  Extreme rays of a cone with integers of any size (compiled plug-in, GMP).
%
%   X = BIG_RAYS(A, B, N_THREADS, SETTINGS)
%   [X, INFO, SCALED] = BIG_RAYS(...)
%
%   The extreme rays of the pointed cone {x : A*x >= 0, B*x = 0}, exactly,
%   by the double description method of ENUMERATE_RAYS, with integers of
%   any size (GMP). EXTREME_RAYS calls it for rows beyond int64 and for
%   cones whose rays outgrow int64. The rows are added in lexicographic
%   order of A (or as SETTINGS says); the start is that of EXTREME_RAYS:
%   the first rows independent of each other and of B. Each entry of a ray
%   takes as many 64-bit limbs as the largest one so far needs; when a step
%   makes a larger one, every ray is widened to twice the limbs and the
%   step is made again.
%
%   Arguments
%     A          m x n matrix, m, n >= 1: int64, uint64, or double with
%                integer entries (exact at any size), or a cell array of
%                character rows, each a decimal integer or fraction p/q
%                ('-12', '3/4', '123456789012345678901234567890'). Each row
%                is scaled to coprime integers.
%     B          p x n matrix of the same kinds (p = 0: [] for none).
%     N_THREADS  OpenMP threads, as for BITS_WITHIN.
%     SETTINGS   real double array [LEAF_SIZE ORDER PROGRESS MEMORY], all
%                optional (default [64 0 0 0]): as for ENUMERATE_RAYS, with
%                ORDER 0 lexmin, 1 lexmax, 2 input, 3 the remaining row with
%                the fewest pairs next.
%
%   Results
%     X       the rays, one per column, coprime, sorted by their entries
%             (smallest first): an n x r int64 matrix when every entry fits
%             int64, else an n x r cell array of decimal strings, X{i,j}
%             being entry i of ray j (str2double gives its nearest double).
%     INFO    1 x 10 double row: those of ENUMERATE_RAYS, then the number
%             of initial rays and the limbs of each entry at the end.
%     SCALED  n x r double: each ray divided by its entry of largest
%             magnitude (that entry is +1 or -1), each within two
%             roundings of the exact quotient.
%
%   Errors (message endings), in the order they are checked
%     Four input arguments required . . .
%     One to three output arguments required . . .
%     A must be an int64, uint64 or double matrix of integers, or a cell
%       array of decimal integers and fractions p/q . . .  (and so for B)
%     A must have at least one row and one column . . .
%     Rays must have fewer than 2^20 entries . . .
%     B must have as many columns as A . . .
%     A must have fewer than 2^32 rows . . .
%     n_threads must be a non-empty real numeric array . . .
%     settings must be a real double array of at most four elements . . .
%     settings must hold a leaf size from 1, an order from 0 to 3 and a
%       memory budget of 0 or more bytes . . .
%     A(i,j) is not a decimal integer or fraction p/q . . .  (and B(i,j))
%     The cone is not pointed: it contains a line (rank of [A; B] is r,
%       not n) . . .
%     the run's messages, as for ENUMERATE_RAYS (memory budget, more than
%       2^32 - 1 rays, Ctrl-C: Ctrl-C stops a run as it stops ENUMERATE_RAYS)
%
%   Built for Linux where GMP is found (Debian: libgmp-dev); the .mexa64
%   needs libgmp.so.10. Not in the Windows build.
%
%   See also EXTREME_RAYS, ENUMERATE_RAYS.
