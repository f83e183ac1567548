%FLUX_MODES_PIPELINE  Elementary flux modes in one call (compiled plug-in).
%
%   [E, INFO] = FLUX_MODES_PIPELINE(S, REVERSIBLE, N_THREADS, SETTINGS)
%   [E, INFO] = FLUX_MODES_PIPELINE(..., 'dense')
%   [EC, INFO, EXPANSION] = FLUX_MODES_PIPELINE(..., 'compressed')
%   [COUNT, INFO] = FLUX_MODES_PIPELINE(..., 'count')
%
%   The whole computation of FLUX_MODES in compiled code, the data crossing
%   into the host once: the network compression (as COMPRESS_NETWORK), an
%   integer basis of the null space of the compressed S, the double
%   description method, the modes expanded back to the reactions, divided
%   by the gcd of their entries, a reversible mode turned so that its first
%   non-zero entry is positive, and the modes in lexicographic order (as
%   sortrows orders the rows of E'). FLUX_MODES calls it; call it directly
%   to skip the argument handling of FLUX_MODES.
%
%   Output forms
%     'dense'       (default) E, int64, reactions x modes, written by the
%                   run straight into the result: no other copy of the
%                   modes is made.
%     'compressed'  EC, int64, compressed reactions x modes: the same modes,
%                   in the same order and direction, on the reactions of the
%                   compressed network; EXPANSION, int64, one row
%                   [reaction, compressed reaction, coefficient] (1-based)
%                   per reaction that is not blocked. Reaction i carries
%                   coefficient times the flux of its compressed reaction,
%                   so E = X * EC with X = sparse(EXPANSION(:,1),
%                   EXPANSION(:,2), double(EXPANSION(:,3))), each column
%                   divided by the gcd of its entries (1 unless S has
%                   rational entries). Exactly in int64: E(i, :) =
%                   c .* EC(g, :) for each row [i g c].
%     'count'       COUNT, the number of modes (double), without expanding
%                   them.
%   To write the modes to a file as they come, see MODE_FILE.
%
%   Arguments
%     S          m x n real full double matrix (metabolites x reactions),
%                integers or rationals p/q with q <= 2^24.
%     REVERSIBLE logical or double array, one element per reaction.
%     N_THREADS  OpenMP threads (0: the calling thread alone).
%     SETTINGS   up to five doubles [LEAF_SIZE ORDER PROGRESS MEMORY
%                COMPRESS] (defaults 64, 4, 0, 0, 1): ORDER 0
%                irreversiblefirst, 1 fewestpairs, 2 mostzeros, 3 input,
%                4 irreversiblezeros;
%                PROGRESS non-zero prints a line on the compressed network
%                and one per step; MEMORY the budget of the double
%                description in bytes (0: 90% of the physical memory);
%                COMPRESS 0 skips the compression.
%
%   INFO is a 1 x 16 double row: modes, reactions, metabolites, compressed
%   reactions, compressed metabolites, reversible compressed reactions,
%   dimension of the null space, steps, candidate pairs, adjacent pairs,
%   rejected pairs, most candidates in one step, most modes held at once,
%   peak bytes of the double description, seconds of the whole call,
%   seconds of the double description.
%
%   Errors (message endings), in the order they are checked
%     Four or five input arguments required . . .
%     the output form must be 'dense', 'compressed' or 'count' . . .
%     At most two output arguments allowed . . .   (three for 'compressed')
%     S must be a real full double matrix . . .
%     S must have at least one column (reaction) . . .
%     S must have fewer than 2^20 columns . . .
%     reversible must be a logical or double array with one element per column of S . . .
%     n_threads must be a non-empty real numeric array . . .
%     settings must be a real double array of at most five elements . . .
%     settings must hold a leaf size from 1, an order from 0 to 4 and a memory budget of 0 or more bytes . . .
%   and, while it runs, those of the compression (S(i,j) = ... is neither
%   an integer nor a rational p/q with q <= 2^24, ...), of the double
%   description (as ENUMERATE_RAYS), of entries beyond the int64 range, and
%     Interrupted by Ctrl-C in step s of t; the run stopped and freed its memory . . .
%   Ctrl-C stops a run within a few tens of milliseconds.
%
%   Example
%     S = [1 -1 0 0 0 0; 0 1 -1 0 -1 0; 0 0 1 -1 0 0; 0 0 0 0 1 -1];
%     E = flux_modes_pipeline(S, [0 0 0 0 1 1], 1, [])
%     % E = [0 1 1; 0 1 1; 1 0 1; 1 0 1; -1 1 0; -1 1 0]
%
%   See also FLUX_MODES, MODE_FILE, NETWORK_COMPRESSION.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('flux_modes_pipeline: the compiled plug-in was not found on the path . . .');
