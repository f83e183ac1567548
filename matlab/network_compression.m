%NETWORK_COMPRESSION  Exact compression of a metabolic network (compiled plug-in).
%
%   [SC, REVERSIBLE_C, E, KEPT, REMOVED] = NETWORK_COMPRESSION(S, REVERSIBLE)
%
%   The compression that FLUX_MODES_PIPELINE runs first, alone: blocked
%   reactions removed, reactions coupled in a fixed ratio merged, dependent
%   metabolites dropped, in exact integer arithmetic. COMPRESS_NETWORK
%   calls it and describes the result.
%
%   Arguments
%     S            m x n real full double matrix, integers or rationals p/q
%                  with q <= 2^24.
%     REVERSIBLE   logical or double array, one element per column of S.
%
%   Results
%     SC           int64, kept metabolites x compressed reactions.
%     REVERSIBLE_C 1 x nc logical.
%     E            int64, n x nc: the expansion (COMPRESS_NETWORK's NET.E).
%     KEPT         the rows of S kept (1-based, a double row).
%     REMOVED      [blocked merged]: reactions removed as blocked, and
%                  merged into another one.
%
%   Errors (message endings), in the order they are checked
%     Two input arguments required . . .
%     At most five output arguments allowed . . .
%     S must be a real full double matrix . . .
%     reversible must be a logical or double array with one element per column of S . . .
%     S(i,j) = ... is neither an integer nor a rational p/q with q <= 2^24 . . .
%     The columns of S need integers of 2^53 or more when scaled . . .
%     (and those of entries beyond the int64 range)
%
%   Example
%     [Sc, rc, E] = network_compression([1 -1 0 -1; 0 2 -1 0; 0 0 0 1], [0 0 0 1]);
%     % E = [1; 1; 2; 0]
%
%   See also COMPRESS_NETWORK, FLUX_MODES_PIPELINE.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('network_compression: the compiled plug-in was not found on the path . . .');
