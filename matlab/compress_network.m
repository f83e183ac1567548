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
%   Every decision is made in exact integer arithmetic (INTEGER_NULL_SPACE);
%   none depends on a tolerance. The elementary flux modes of NET, each
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
%   See also FLUX_MODES, INTEGER_NULL_SPACE.

  if ~(isnumeric(S) || islogical(S)) || ~ismatrix(S) || ~isreal(S)
    error('compress_network: S must be a real numeric matrix');
  end
  [m, n] = size(S);
  if ~(islogical(reversible) || isnumeric(reversible)) || numel(reversible) ~= n
    error('compress_network: REVERSIBLE must hold one logical per reaction (%d)', n);
  end
  reversible = logical(reversible(:)');
  [Si, units] = integer_columns(S);

  active = true(1, n);   % reactions not blocked
  while true
    R = find(active);
    if isempty(R)
      groups = {};
      break;
    end
    K = integer_null_space(Si(:, R));
    blocked = R(all(K == 0, 2));
    % Metabolites that the remaining reactions can only make or only use.
    for i = 1:m
      used = R(Si(i, R) ~= 0);
      if ~isempty(used) && ~any(reversible(used)) && ...
         (all(Si(i, used) > 0) || all(Si(i, used) < 0))
        blocked = [blocked, used];
      end
    end
    if ~isempty(blocked)
      active(blocked) = false;
      continue;
    end
    % Coupled reactions: rows of K that are integer multiples k of one
    % primitive row v, signed so that its first non-zero entry is positive.
    [v, k] = primitive_rows(K);
    [~, ~, which] = unique(v, 'rows');
    % Groups in the order of their first reaction.
    [~, first] = unique(which, 'first');
    [~, rank_of] = sort(first);
    rank_of(rank_of) = 1:numel(rank_of);
    which = rank_of(which);
    groups = {};
    coefficients = {};
    for g = 1:max(which)
      members = find(which == g)';
      c = k(members)';
      c = idivide(c, gcd_of(c));
      irr = ~reversible(R(members));
      if any(c(irr) > 0) && any(c(irr) < 0)
        blocked = [blocked, R(members)];
      elseif any(c(irr) < 0) || (~any(irr) && c(1) < 0)
        c = -c;
      end
      groups{end + 1} = R(members);
      coefficients{end + 1} = c;
    end
    if ~isempty(blocked)
      active(blocked) = false;
      continue;
    end
    % The compressed network, and a metabolite that its irreversible
    % reactions can only make or only use blocks them too.
    nc = numel(groups);
    E = zeros(n, nc, 'int64');
    for g = 1:nc
      E(groups{g}, g) = coefficients{g};
    end
    Sc = exact_product(Si, E);
    rev_c = cellfun(@(members) all(reversible(members)), groups);
    for i = 1:m
      used = find(Sc(i, :) ~= 0);
      if ~isempty(used) && ~any(rev_c(used)) && (all(Sc(i, used) > 0) || all(Sc(i, used) < 0))
        blocked = [blocked, groups{used}];
      end
    end
    if isempty(blocked)
      break;
    end
    active(blocked) = false;
  end

  if isempty(groups)
    E = zeros(n, 0, 'int64');
    Sc = zeros(0, 0, 'int64');
    rev_c = false(1, 0);
    kept = zeros(1, 0);
  else
    % Metabolites: the independent non-zero rows.
    kept = find(any(Sc ~= 0, 2))';
    if ~isempty(kept)
      [~, independent] = integer_null_space(Sc(kept, :)', false);
      kept = kept(independent);
    end
    Sc = Sc(kept, :);
    % Back to the units of S: x_j = units(j) * y_j.
    for g = 1:numel(groups)
      members = groups{g};
      c = double(E(members, g)) .* units(members)';
      if any(abs(c) >= 2^53)
        error('compress_network: the expansion of a merged reaction needs integers of 2^53 or more');
      end
      E(members, g) = int64(c);
    end
  end
  net = struct('S', Sc, 'reversible', rev_c, 'E', E, 'metabolites', kept);
  merged = sum(cellfun(@numel, groups)) - numel(groups);
  info = struct('reactions', n, 'metabolites', m, 'compressed_reactions', numel(groups), ...
                'compressed_metabolites', numel(kept), 'blocked', n - sum(cellfun(@numel, groups)), ...
                'merged', merged);
end

function [v, k] = primitive_rows(K)
  % Each row of the int64 matrix K as k * v: v primitive with its first
  % non-zero entry positive, k an integer (rows of zeros give k = 0).
  v = K;
  k = zeros(size(K, 1), 1, 'int64');
  for i = 1:size(K, 1)
    g = gcd_of(K(i, :));
    first = K(i, find(K(i, :), 1));
    if first < 0
      g = -g;
    end
    v(i, :) = idivide(K(i, :), g);
    k(i) = g;
  end
end

function g = gcd_of(x)
  % The greatest common divisor of the entries of the int64 vector x (1 for
  % a zero vector).
  g = int64(0);
  for e = x(:)'
    g = gcd(g, e);
  end
  if g == 0
    g = int64(1);
  end
end

function C = exact_product(A, B)
  % A * B for int64 matrices, exactly: in doubles when every partial sum
  % stays below 2^53, else an error.
  if max(abs(double(A(:)))) * max(abs(double(B(:)))) * size(A, 2) >= 2^53
    error('compress_network: the compressed stoichiometry needs integers of 2^53 or more');
  end
  C = int64(double(A) * double(B));
end

function [S, units] = integer_columns(S)
  % S with each column scaled to integers (column j times units(j)), as
  % int64: the flux of reaction j becomes units(j) times smaller.
  if isinteger(S)
    units = ones(1, size(S, 2));
    S = int64(S);
    return;
  end
  S = full(double(S));
  if any(~isfinite(S(:)))
    error('compress_network: S must be finite');
  end
  [p, q] = rational_approx(S, 0);
  ok = isfinite(p) & isfinite(q) & q >= 1 & q <= 2^24 & p ./ q == S;
  if ~all(ok(:))
    [i, j] = find(~ok, 1);
    error('compress_network: S(%d,%d) = %.17g is neither an integer nor a rational p/q with q <= 2^24', ...
          i, j, S(i, j));
  end
  units = ones(1, size(S, 2));
  for i = 1:size(S, 1)
    units = lcm(units, q(i, :));
  end
  S = p .* (units ./ q);
  if any(units >= 2^53) || any(abs(S(:)) >= 2^53)
    error('compress_network: the columns of S need integers of 2^53 or more when scaled');
  end
  S = int64(S);
end
