function [net, info] = compress_network(S, reversible)
%COMPRESS_NETWORK  Exact compression of a metabolic network for its
%   elementary flux modes, with the expansion back.
%
%   [NET, INFO] = COMPRESS_NETWORK(S, REVERSIBLE)
%
%   S is the stoichiometric matrix (internal metabolites x reactions), of
%   integers or rationals p/q (q <= 2^24); REVERSIBLE one logical per
%   reaction. The compression repeats, until nothing changes:
%     - blocked reactions: those that carry no flux in any steady state
%       (zero rows of an integer null space basis of S) are removed;
%     - a metabolite that the remaining reactions can only make, or only
%       use (all of them irreversible, with coefficients of one sign),
%       blocks them all;
%     - coupled reactions: reactions whose fluxes keep a fixed ratio in
%       every steady state (proportional rows of the null space basis) are
%       merged into one, irreversible when any of them is (and blocked when
%       two irreversible ones need opposite signs);
%   and drops the metabolites whose rows become zero or depend on others.
%   Every decision is made in exact integer arithmetic; none depends on a
%   tolerance. The work is done by the compiled NETWORK_COMPRESSION, the
%   compression that FLUX_MODES runs. The elementary flux modes of NET, each
%   mapped by NET.E and divided by the gcd of its entries, are exactly those
%   of the network, one for one (FLUX_MODES does this).
%
%   NET fields
%     S           int64, the compressed stoichiometric matrix (kept
%                 metabolites x compressed reactions)
%     reversible  logical, one per compressed reaction
%     E           int64, reactions x compressed reactions: a flux t of the
%                 compressed network is the flux E*t of the network (in the
%                 units of S); each row holds at most one non-zero (zero for
%                 a blocked reaction), each column the ratios of its
%                 reactions' fluxes (in the units of S, so not always
%                 coprime), signed so that an irreversible compressed
%                 reaction carries t >= 0
%     metabolites the rows of S kept (1-based)
%   INFO fields: reactions, metabolites, compressed_reactions,
%   compressed_metabolites, blocked (reactions removed), merged (reactions
%   merged into another one).
%
%   Example
%     % r1: -> A, r2: A -> B (2 B made per A), r3: B ->, r4: A <-> C (C a dead end)
%     S = [1 -1 0 -1; 0 2 -1 0; 0 0 0 1];
%     net = compress_network(S, logical([0 0 0 1]));
%     E = net.E
%     % E = [1; 1; 2; 0]
%
%   See also FLUX_MODES, NETWORK_COMPRESSION.

  if ~(isnumeric(S) || islogical(S)) || ~ismatrix(S) || ~isreal(S)
    error('compress_network: S must be a real numeric matrix');
  end
  [m, n] = size(S);
  if ~(islogical(reversible) || isnumeric(reversible)) || numel(reversible) ~= n
    error('compress_network: REVERSIBLE must hold one logical per reaction (%d)', n);
  end
  reversible = logical(reversible(:)');
  if isinteger(S) && any(abs(double(S(:))) >= 2^53)
    error('compress_network: the columns of S need integers of 2^53 or more when scaled');
  end
  S = full(double(S));
  if any(~isfinite(S(:)))
    error('compress_network: S must be finite');
  end
  try
    [Sc, rev_c, E, kept, removed] = network_compression(S, reversible);
  catch err
    message = regexprep(err.message, ' \. \. \.$', '');
    if numel(message) > 1 && isstrprop(message(2), 'lower')
      message(1) = lower(message(1));
    end
    error('compress_network: %s', message);
  end
  net = struct('S', Sc, 'reversible', rev_c, 'E', E, 'metabolites', kept);
  info = struct('reactions', n, 'metabolites', m, 'compressed_reactions', size(Sc, 2), ...
                'compressed_metabolites', size(Sc, 1), 'blocked', removed(1), 'merged', removed(2));
end
