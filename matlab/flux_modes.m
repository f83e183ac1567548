function [E, names, info] = flux_modes(S, varargin)
%FLUX_MODES  Elementary flux modes of a metabolic network, exactly.
%
%   E = FLUX_MODES(S, REVERSIBLE)
%   E = FLUX_MODES('model.xml')
%   [E, NAMES, INFO] = FLUX_MODES(..., NAME, VALUE, ...)
%
%   The elementary flux modes (EFMs) of the network with stoichiometric
%   matrix S (internal metabolites x reactions) and reversible reactions
%   REVERSIBLE (logical, one per reaction): the flux vectors x with S*x = 0
%   and x >= 0 on every irreversible reaction whose support (the reactions
%   with x ~= 0) holds the support of no other such vector. E is an int64
%   matrix with one EFM per column (one row per reaction of the network),
%   its entries coprime integers, the columns in lexicographic order. A
%   reversible mode (one that uses reversible reactions only) is returned
%   once, in the direction whose first non-zero entry is positive. Every
%   entry is exact; a mode that needs entries beyond the int64 range ends
%   the call with an error, never with a rounded mode.
%
%   With a file name, the network is read from an SBML file (level 2 or 3,
%   with the fbc package or without) by SBML_READ: the internal metabolites
%   are the species with boundaryCondition false, and a reaction is
%   reversible when its reversible attribute says so or its lower flux bound
%   is negative. NAMES then holds the reaction and metabolite identifiers
%   (fields reactions and metabolites, cell arrays); called with S, NAMES
%   holds numbered names.
%
%   S holds integers or rationals p/q (q <= 2^24, as for EXTREME_RAYS).
%
%   Method: the network is compressed first (COMPRESS_NETWORK: blocked
%   reactions removed, reactions that always carry flux in a fixed ratio
%   merged, exactly); then the double description method runs on the
%   compressed network by ENUMERATE_RAYS, in the nullspace form: its initial
%   rays are an integer basis of the null space of the compressed S (from
%   INTEGER_NULL_SPACE), and each further reaction is added as one row, the
%   reversible ones without being split (they keep both signs, and two modes
%   that use a reversible reaction in opposite directions are never
%   combined). Each mode is held as its d coordinates in the null space
%   basis, not as its fluxes on every reaction. Candidate pairs are screened
%   as they are found, never stored, so a step needs memory for its modes
%   and the new ones only. The modes are expanded back to the original
%   reactions at the end.
%   Ctrl-C stops a running call within a fraction of a second, with an
%   error, its memory freed.
%
%   Options (name, value)
%     'threads'   OpenMP threads (default: the processor count)
%     'order'     the order in which reactions are added:
%                 'irreversiblefirst' (default: at each step, of the
%                 irreversible reactions left, the one with the fewest pairs
%                 of modes of opposite signs; the reversible ones after them
%                 alike), 'fewestpairs' (the same over all reactions),
%                 'mostzeros' (the reactions whose null space rows have the
%                 most zeros first), 'input' (as the compressed network has
%                 them). Irreversible reactions drop the modes on their
%                 negative side, reversible ones only add: added first, the
%                 irreversible ones keep the modes in between few. On
%                 EColiCore2, two threads: 2.6 million modes after 31 of 37
%                 steps and 2 minutes, against 25 million after 50 minutes
%                 with 'fewestpairs'.
%     'progress'  true: print one line per step (step, modes, candidate
%                 pairs, adjacent pairs, time), after a first line with the
%                 size of the compressed network (default false)
%     'memory'    memory budget in bytes for the modes, the new ones and
%                 the pattern trees of a step (default: 90% of the
%                 physical memory); a step that would need more ends the
%                 call with an error naming the step and what it needs
%     'leaf_size' leaf size of the pattern trees (default 64)
%     'compress'  false: skip the compression (default true)
%
%   INFO fields: modes (number found), reactions, metabolites (of the
%   network), compressed_reactions, compressed_metabolites, reversible
%   (compressed reversible reactions), dimension (of the null space),
%   steps, pairs (candidate pairs screened), adjacent, rejected (pairs that
%   failed the count or sign test), largest (most candidate pairs in one
%   step), max_modes (most modes held at once), peak_bytes, time (seconds).
%
%   Example
%     % r1: -> A, r2: A -> B, r3: B -> C, r4: C ->, r5: B <-> D, r6: D <->
%     S = [1 -1 0 0 0 0; 0 1 -1 0 -1 0; 0 0 1 -1 0 0; 0 0 0 0 1 -1];
%     E = flux_modes(S, logical([0 0 0 0 1 1]))
%     % E = [0 1 1; 0 1 1; 1 0 1; 1 0 1; -1 1 0; -1 1 0]
%     % (D taken up through r6 and r5 to leave by r3 and r4; A to D and out
%     % by r6; A through to C and out by r4)
%
%   See also COMPRESS_NETWORK, SBML_READ, ENUMERATE_RAYS, EXTREME_RAYS.

  t_start = tic;
  if ischar(S)
    file = S;
    [S, reversible, reactions, metabolites] = sbml_read(file);
    options = varargin;
  else
    if isempty(varargin)
      error('flux_modes: give REVERSIBLE, one logical per reaction, after S');
    end
    reversible = varargin{1};
    options = varargin(2:end);
    reactions = arrayfun(@(j) sprintf('R%d', j), (1:size(S, 2))', 'UniformOutput', false);
    metabolites = arrayfun(@(j) sprintf('M%d', j), (1:size(S, 1))', 'UniformOutput', false);
  end
  names = struct('reactions', {reactions}, 'metabolites', {metabolites});
  opt = struct('threads', [], 'order', 'irreversiblefirst', 'progress', false, 'memory', 0, ...
               'leaf_size', 64, 'compress', true);
  if mod(numel(options), 2) ~= 0
    error('flux_modes: options come as name, value pairs');
  end
  for k = 1:2:numel(options)
    name = options{k};
    if ~ischar(name) || ~isfield(opt, name)
      error('flux_modes: unknown option');
    end
    opt.(name) = options{k + 1};
  end
  if isempty(opt.threads)
    if exist('OCTAVE_VERSION', 'builtin')
      opt.threads = nproc;
    else
      opt.threads = maxNumCompThreads;
    end
  end
  if ~(isnumeric(S) || islogical(S)) || ~ismatrix(S) || ~isreal(S)
    error('flux_modes: S must be a real numeric matrix');
  end
  [m, n] = size(S);
  if n == 0
    error('flux_modes: the network has no reactions');
  end
  if ~(islogical(reversible) || isnumeric(reversible)) || numel(reversible) ~= n
    error('flux_modes: REVERSIBLE must hold one logical per reaction (%d)', n);
  end
  reversible = logical(reversible(:)');

  if opt.compress
    [net, cinfo] = compress_network(S, reversible);
  else
    net = struct('S', integer_columns(S), 'reversible', reversible, ...
                 'E', int64(eye(n)), 'metabolites', 1:m);
    cinfo = struct('compressed_reactions', n, 'compressed_metabolites', m);
  end
  Sc = net.S;
  rc = net.reversible;
  nc = size(Sc, 2);
  info = struct('modes', 0, 'reactions', n, 'metabolites', m, ...
                'compressed_reactions', nc, 'compressed_metabolites', size(Sc, 1), ...
                'reversible', nnz(rc), 'dimension', 0, 'steps', 0, 'pairs', 0, 'adjacent', 0, ...
                'rejected', 0, 'largest', 0, 'max_modes', 0, 'peak_bytes', 0, 'time', 0);
  if nc == 0
    E = zeros(n, 0, 'int64');
    info.time = toc(t_start);
    return;
  end

  % The initial modes: an integer basis of the null space whose free
  % reactions (identity rows) are irreversible where possible, since a
  % reversible one starts with both directions.
  cols = [find(rc), find(~rc)];
  [K, pivots] = integer_null_space(Sc(:, cols));
  d = size(K, 2);
  info.dimension = d;
  if d == 0
    E = zeros(n, 0, 'int64');
    info.time = toc(t_start);
    return;
  end
  X0 = zeros(nc, d, 'int64');
  X0(cols, :) = K;
  free = cols(setdiff(1:nc, pivots));
  rest = setdiff(1:nc, free);
  switch opt.order
    case {'mostzeros', 'fewestpairs', 'irreversiblefirst'}
      % Most zeros in the null space rows first; ties by position.
      zeros_in = sum(X0(rest, :) == 0, 2)';
      [~, k] = sort(-zeros_in);
      rest = rest(k);
    case 'input'
    otherwise
      error('flux_modes: order must be ''irreversiblefirst'', ''fewestpairs'', ''mostzeros'' or ''input''');
  end
  sequence = [free, rest] - 1;
  if opt.progress
    fprintf('flux_modes: %d reactions (%d reversible) and %d metabolites, compressed to %d reactions (%d reversible) and %d metabolites; null space of dimension %d, %d steps\n', ...
            n, nnz(reversible), m, nc, nnz(rc), size(Sc, 1), d, nc - d);
  end
  % The modes are kept as their d coordinates in the basis (d entries each
  % rather than nc): a compressed reaction's flux is its row of the basis
  % times them, the free reactions' rows being positive multiples of the
  % identity. enumerate_rays returns the fluxes of the original reactions,
  % V times the coordinates divided by their gcd, where V is the expansion
  % (net.E, one non-zero per row at most) times the basis: each entry one
  % product, checked.
  [i, g, e] = find(net.E);
  V = zeros(n, d, 'int64');
  for k = 1:numel(i)
    row = e(k) .* X0(g(k), :);
    if any(row == intmax('int64') | row == intmin('int64'))
      error('flux_modes: the expansion to the original reactions needs integers beyond the int64 range (2^63)');
    end
    V(i(k), :) = row;
  end
  dynamic = strcmp(opt.order, 'fewestpairs') + 2 * strcmp(opt.order, 'irreversiblefirst');
  settings = [opt.leaf_size, dynamic, logical(opt.progress), opt.memory];
  try
    [E, dinfo] = enumerate_rays(X0, eye(d, 'int64'), sequence, rc, uint16(opt.threads), settings, V);
  catch err
    if ~isempty(strfind(err.message, 'beyond the int64 range'))
      error('flux_modes: the modes of this network need integer entries beyond the int64 range (2^63); they are not returned rounded (%s)', ...
            err.message);
    end
    rethrow(err);
  end

  % A reversible mode (no irreversible reaction) in the direction whose
  % first non-zero entry is positive, in the order of the network.
  if ~isempty(E)
    [~, first] = max(E ~= 0, [], 1);
    flip = all(E(~reversible, :) == 0, 1) & E(sub2ind(size(E), first, 1:size(E, 2))) < 0;
    E(:, flip) = -E(:, flip);
  end
  E = E';  % one step at a time, so that at most two copies of E are held
  E = sortrows(E);
  E = E';
  info.modes = size(E, 2);
  info.steps = dinfo(1);
  info.pairs = dinfo(2);
  info.adjacent = dinfo(3);
  info.rejected = dinfo(4);
  info.largest = dinfo(5);
  info.max_modes = dinfo(6);
  info.peak_bytes = dinfo(7);
  info.time = toc(t_start);
end

function S = integer_columns(S)
  % S as int64, for networks that are not compressed; integers only.
  S = double(S);
  if any(S(:) ~= round(S(:))) || any(abs(S(:)) >= 2^53)
    error('flux_modes: without compression, S must hold integers below 2^53');
  end
  S = int64(S);
end
