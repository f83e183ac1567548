%ENUMERATE_RAYS  The double description method in one call, exactly (compiled plug-in).
%
%   X = ENUMERATE_RAYS(A, X0, SEQUENCE, REVERSIBLE, N_THREADS, SETTINGS)
%   [X, INFO] = ENUMERATE_RAYS(...)
%   [VX, INFO] = ENUMERATE_RAYS(..., V)
%
%   The extreme rays of the cone {x : A(r,:)*x >= 0 for every row r that is
%   not reversible} inside the span of the initial rays X0, or, where some
%   rows are reversible (no sign constraint), the cone's support-minimal
%   vectors: the elementary flux modes of a metabolic network when A is
%   the identity and X0 a null space basis (FLUX_MODES). EXTREME_RAYS and
%   FLUX_MODES call it; it is the step plug-ins RAY_SIGNS, PATTERN_TREE,
%   CANDIDATE_PAIRS, PAIR_SCREEN and RAY_COMBINE run as one, with the
%   candidate pairs of each step screened as they are found and never
%   stored, so a step needs memory for its rays and the new ones only.
%
%   The rows are added in the order SEQUENCE gives. The first d = size(X0, 2)
%   of them are the initial rows: column j of X0 lies on every other initial
%   row (A(i,:)*X0(:,j) = 0) and strictly on the positive side of its own.
%   Each ray carries its support over the rows added so far as a bit
%   pattern (two bits per reversible row, one per sign). For each new row,
%   every pair of a ray on its positive side and one on its negative side
%   that uses no reversible row in opposite directions, passes the count
%   test (the supports together leave at least d - 2 of the rows so far at
%   zero) and is adjacent (no third ray's pattern lies inside the union of
%   theirs; pattern trees prune the pairs and the search) gives the new ray
%   (a*x_p) x_q - (a*x_q) x_p divided by the gcd of its entries. Rays on
%   the negative side are dropped for a row that is not reversible. At the
%   end a ray that is zero on every irreversible row is kept in the one
%   direction whose first non-zero entry is positive. All arithmetic is
%   exact; a ray that needs entries beyond int64 ends the call.
%
%   Arguments
%     A           m x n real int64 matrix: the rows.
%     X0          n x d real int64 matrix: the initial rays (see above;
%                 checked exactly), 1 <= d <= min(m, n).
%     SEQUENCE    uint32 or double array of the m row numbers (0-based),
%                 each once: the order in which rows are added, the initial
%                 rows first.
%     REVERSIBLE  logical or double array, one element per row: non-zero
%                 for a row without sign constraint.
%     N_THREADS   OpenMP threads, as for BITS_WITHIN.
%     SETTINGS    real double array [LEAF_SIZE DYNAMIC PROGRESS MEMORY], all
%                 optional (default [64 0 0 0]): the leaf size of the
%                 pattern trees; DYNAMIC 1 adds, at each step, the
%                 remaining row with the fewest pairs of opposite signs
%                 (ties: the earlier in SEQUENCE) instead of the next one,
%                 2 the same but the rows that are not reversible first;
%                 PROGRESS non-zero prints one line per step; MEMORY the
%                 budget in bytes for a step's rays, new rays and pattern
%                 trees (0: 90% of the physical memory).
%     V           optional p x n real int64 matrix: return V*X, the rays'
%                 values on the rows of V, each column divided by the gcd of
%                 its entries, exactly, in place of X (FLUX_MODES keeps its
%                 modes as coordinates in a null space basis and asks for
%                 their fluxes).
%
%   Results
%     X      n x r int64 matrix, one ray per column (p x r with V).
%     INFO   1 x 8 double row: steps, candidate pairs screened, adjacent
%            pairs, pairs that failed the count or sign test, most
%            candidates in one step, most rays held at once, peak bytes of
%            rays and trees, seconds.
%
%   Errors (message endings), in the order they are checked
%     Six or seven input arguments required . . .
%     One or two output arguments required . . .
%     A and X0 must be real int64 matrices . . .
%     X0 must have one row per column of A . . .
%     Rays must have fewer than 2^20 entries . . .
%     X0 must have at least one column and no more than A has rows or columns . . .
%     sequence must be a uint32 or double array with one element per row of A . . .
%     reversible must be a logical or double array with one element per row of A . . .
%     n_threads must be a non-empty real numeric array . . .
%     settings must be a real double array of at most four elements . . .
%     settings must hold a leaf size from 1 and a memory budget of 0 or more bytes . . .
%     V must be a real int64 matrix with one column per column of A . . .
%     sequence must hold every row of A once, as 0-based row numbers . . .
%     X0 must hold the initial rays of the first rows of the sequence: ... . . .
%   and, while it runs:
%     A new ray has entries beyond the int64 range . . .
%     A ray's value on a row of V is beyond the int64 range . . .
%     Step s of t needs ... GB (... bytes) for its rays and pattern trees, more than the memory budget of ... GB . . .
%     Step s of t ran out of memory (it needs ... GB, ... bytes) . . .
%     Step s of t makes more than 2^32 - 1 rays . . .
%     Interrupted by Ctrl-C in step s of t; the run stopped and freed its memory . . .
%   Ctrl-C stops a run within a few tens of milliseconds (the run works on
%   a thread of its own; the calling thread prints and watches for Ctrl-C).
%
%   Example
%     A = int64([1 1 0; 1 -1 0; 1 0 1; 1 0 -1]);   % the cone over a square
%     X0 = int64([1 1 0; 1 -1 0; -1 -1 1]);       % rays of its first 3 rows
%     X = sortrows(enumerate_rays(A, X0, 0:3, false(1, 4), 1, [])')'
%     % X = [1 1 1 1; -1 -1 1 1; -1 1 -1 1]
%
%   See also EXTREME_RAYS, FLUX_MODES, INTEGER_NULL_SPACE.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('enumerate_rays: the compiled plug-in was not found on the path . . .');
