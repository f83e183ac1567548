%BITS_WITHIN  Subset table of packed bit patterns (compiled plug-in).
%
%   CONTAINED = BITS_WITHIN(R_SUBSET, R, I_PERM, N_THREADS)
%
%   Each column of a uint32 matrix is one bit pattern: element r of a column
%   carries bits 32*r to 32*r+31 of the pattern. For every column j of
%   R_SUBSET and every element i of I_PERM, CONTAINED(j, i) is 1 when every
%   bit set in column j of R_SUBSET is also set in column I_PERM(i) of R, and
%   0 otherwise.
%
%   Arguments
%     R_SUBSET   M x N1 uint32 matrix (real), the patterns to test.
%     R          M x N2 uint32 matrix (real), the reference patterns; same
%                number of rows M as R_SUBSET.
%     I_PERM     uint32 or double array of 0-based column numbers of R, taken
%                in column-major order. Doubles are truncated toward zero
%                (2.9 names column 2); every value must be at least 0 and
%                below size(R, 2).
%     N_THREADS  number of OpenMP threads, first element used: a uint16 as
%                it stands, any other numeric class by its value. At most the
%                processor count is used; 0 runs on one thread.
%
%   Result
%     CONTAINED  uint8 matrix of size(R_SUBSET, 2) rows and numel(I_PERM)
%                columns holding 0 and 1.
%
%   Errors (message endings)
%     Four input arguments required . . .
%     One output argument required . . .
%     Input arguments R_subset and R must have the same number of rows . . .
%     Input arguments R_subset and R must be real uint32 matrices . . .
%     n_threads must be a non-empty real numeric array . . .
%     i_perm should be of type 'uint32' or 'double' . . .
%     i_perm must hold 0-based column numbers of R . . .
%
%   Example
%     S = uint32([1 3 4]);            % patterns {bit 0}, {bits 0,1}, {bit 2}
%     R = uint32([3 5]);              % patterns {bits 0,1}, {bits 0,2}
%     contained = bits_within(S, R, uint32([0 1]), uint16(2))
%     % contained = [1 1; 1 0; 0 1]
%
%   The OpenMP thread count that a call sets stays in force afterwards.
%
%   See also PAIR_SCREEN, RATIONAL_APPROX, DISK_SYNC.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('bits_within: the compiled plug-in was not found on the path . . .');
