%CANDIDATE_PAIRS  Pairs of columns whose union of bit patterns is small: the count test of the double description method (compiled plug-in).
%
%   J_COMB = CANDIDATE_PAIRS(R, I_POS, I_NEG, MAX_UNION, N_THREADS)
%
%   Each column of a uint32 matrix is one bit pattern: element r of a column
%   carries bits 32*r to 32*r+31. For every column p of R named in I_POS and
%   every column q named in I_NEG, the pair (p, q) is kept when the union of
%   the two patterns holds at most MAX_UNION bits. In the double description
%   method the patterns are the supports of the rays (the constraints on
%   which a ray is strictly positive), I_POS and I_NEG the rays on the two
%   sides of the new constraint, and MAX_UNION the constraints so far minus
%   (dimension - 2): a pair that fails cannot span a 2-face.
%
%   Arguments
%     R          M x N real uint32 matrix, the patterns.
%     I_POS      uint32 or double array of 0-based column numbers of R,
%                taken in column-major order; doubles are truncated toward
%                zero; every value at least 0 and below N. Likewise I_NEG.
%     MAX_UNION  the first element of a non-empty real numeric array, by
%                value: pairs with at most floor(MAX_UNION) bits in their
%                union are kept; a negative or NaN bound keeps none.
%     N_THREADS  number of OpenMP threads, first element used: a uint16 as
%                it stands, any other numeric class by its value. At most the
%                processor count is used; 0 runs on one thread.
%
%   Result
%     J_COMB     2 x n uint32, one kept pair (p; q) of 0-based column
%                numbers per column, in the order of I_POS and then of I_NEG
%                (the same for every thread count): the candidate pairs that
%                PAIR_SCREEN takes.
%
%   Where the processor has AVX-512 with its population count instruction,
%   16 pairs are tested at a time; the environment variable BITS_SIMD
%   (scalar, avx2 or avx512) caps the instruction set.
%
%   Errors (message endings), in the order they are checked
%     Five input arguments required . . .
%     One output argument required . . .
%     R must be a real uint32 matrix . . .
%     R has more columns than uint32 column numbers reach . . .
%     max_union must be a non-empty real numeric array . . .
%     n_threads must be a non-empty real numeric array . . .
%     i_pos should be of type 'uint32' or 'double' . . .
%     i_pos must hold 0-based column numbers of R . . .
%     i_neg should be of type 'uint32' or 'double' . . .
%     i_neg must hold 0-based column numbers of R . . .
%
%   Example
%     R = uint32([3 5 6 12]);            % {0,1} {0,2} {1,2} {2,3}
%     j_comb = candidate_pairs(R, [0 1], [2 3], 3, uint16(1))
%     % j_comb = [0 1 1; 2 2 3]: the unions of (0,2), (1,2) and (1,3) hold
%     % 3 bits; that of (0,3) holds 4
%
%   The OpenMP thread count that a call sets stays in force afterwards.
%
%   See also PAIR_SCREEN, PATTERN_TREE, EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('candidate_pairs: the compiled plug-in was not found on the path . . .');
