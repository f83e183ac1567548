function [rays, info, scaled] = extreme_rays(A, varargin)
%EXTREME_RAYS  Extreme rays of a pointed polyhedral cone, exactly, by the
%   double description method.
%
%   RAYS = EXTREME_RAYS(A)
%   RAYS = EXTREME_RAYS(A, 'equalities', B)
%   [RAYS, INFO, SCALED] = EXTREME_RAYS(A, NAME, VALUE, ...)
%
%   The cone is {x : A*x >= 0}, or {x : A*x >= 0, B*x = 0} with equalities
%   (for elementary flux modes: B the stoichiometric matrix, A the rows
%   e_j' of the irreversible reactions). RAYS holds one extreme ray per
%   column, its entries coprime integers, the columns in lexicographic
%   order: an int64 matrix when every entry fits int64, else a cell array
%   of decimal strings, RAYS{i,j} being entry i of ray j. SCALED (double)
%   holds the same rays, each divided by its entry of largest magnitude.
%   Every sign test and every ray is computed exactly, never rounded.
%
%   A and B hold integers (any numeric class; doubles are exact integers at
%   any size), rationals that rows can be scaled to integers from (every
%   non-integer entry must equal p/q in double precision for integers p, q
%   with 1 <= q <= 2^24), or text: a cell array of decimal integers and
%   fractions p/q ({'1', '-3/7', '12345678901234567890123'}), for entries
%   that double cannot hold exactly. The cone must be pointed (contain no
%   line): [A; B] must have full column rank.
%
%   Integers of any size: rows beyond int64, and cones whose rays or
%   intermediate numbers outgrow it, run in BIG_RAYS (GMP) instead of
%   ENUMERATE_RAYS, with the same steps; where BIG_RAYS is not built (the
%   Windows plug-ins) they end the call with an error, as with 'save'.
%
%   Method: start from the simplicial cone of n - rank(B) rows of A that are
%   independent of each other and of B (its rays from INTEGER_NULL_SPACE),
%   then add the other rows of A one at a time, all in one call of
%   ENUMERATE_RAYS. Every ray's support (the rows added so far on which it
%   is strictly positive) is kept as a bit pattern. For each new row a, the
%   pairs of a ray with a*x > 0 and one with a*x < 0 whose supports
%   together miss at least n - rank(B) - 2 of the rows so far (the count
%   test) and hold no other ray's support (adjacency: they span a 2-face)
%   give the new rays on a*x = 0, and the rays with a*x < 0 are dropped.
%   Pattern trees over the rays of each side prune the pairs, and over all
%   rays the search for a third support; the pairs are screened as they are
%   found and never stored, so a step needs memory for its rays and the new
%   ones only, whatever the number of candidate pairs. With 'save', the
%   steps run one plug-in at a time instead (RAY_SIGNS, PATTERN_TREE,
%   CANDIDATE_PAIRS, PAIR_SCREEN, RAY_COMBINE), so that the candidate pairs
%   of the largest steps can be written out whole.
%
%   Options (name, value)
%     'equalities'  B, with as many columns as A (default: none)
%     'threads'     OpenMP threads (default: the processor count)
%     'order'       the order in which the rows of A are added: 'lexmin'
%                   (default: rows in ascending lexicographic order),
%                   'lexmax' (descending), 'input' (as given) or
%                   'fewestpairs' (at each step the row with the fewest
%                   pairs of opposite signs; not with 'save')
%     'leaf_size'   leaf size of the pattern trees (default 64)
%     'progress'    true: print one line per step (default false)
%     'memory'      memory budget in bytes for a step's rays, new rays and
%                   pattern trees (default: 90% of the physical memory); a
%                   step that needs more ends the call with an error that
%                   names the step and what it needs
%     'save'        file name: writes the pattern matrix, candidate pairs,
%                   tree and flags of the step with the most candidate pairs
%                   to this file and flushes it to disk (DISK_SYNC); format
%                   below, read back with READ_SCREEN_INSTANCE (examples/).
%                   A cell array of k names saves the k largest steps, the
%                   largest first (fewer files when there are fewer steps).
%
%   INFO fields: rays (number found), dimension (n - rank(B)), steps (rows
%   added after the initial ones), pairs (candidate pairs screened for
%   adjacency in all), adjacent (pairs found adjacent), count_rejected
%   (pairs that failed the count test), largest (most candidate pairs in one
%   step), max_rays (most rays held at once), time (seconds in all),
%   screen_time (seconds in ENUMERATE_RAYS or BIG_RAYS; with 'save', in
%   PATTERN_TREE and PAIR_SCREEN), limbs (64-bit limbs per entry in
%   BIG_RAYS at the end; 0 when the run stayed in int64).
%
%   Saved file (all numbers little-endian; arrays column-major):
%     8 bytes   'PSCREEN1'
%     4 uint64  M (rows of R), N (columns of R), n_comb, n_nodes
%     uint32    R, M x N
%     uint32    j_comb, 2 x n_comb (0-based columns of R)
%     uint32    R_tree, M x n_nodes
%     uint32    i_node, 1 x n_nodes
%     uint64    i_leaf, 2 x n_nodes
%     uint8     adjacent, n_comb x 1 (the flags PAIR_SCREEN returned)
%   so that PAIR_SCREEN(R, j_comb, R_tree, i_node, i_leaf, t) == adjacent.
%
%   Examples
%     A = [1 1 0; 1 -1 0; 1 0 1; 1 0 -1];      % the cone over a square
%     rays = extreme_rays(A)
%     % rays = [1 1 1 1; -1 -1 1 1; -1 1 -1 1] (int64)
%
%     B = [1 -1 -1 0; 0 1 0 -1];                % x1 = x2 + x3, x2 = x4
%     rays = extreme_rays(eye(4), 'equalities', B)
%     % rays = [1 1; 0 1; 1 0; 0 1]
%
%     rays = extreme_rays({'1' '0'; '-1' '100000000000000000000000'})
%     % rays = {'0' '100000000000000000000000'; '1' '1'}
%
%   See also ENUMERATE_RAYS, BIG_RAYS, FLUX_MODES, RAY_SIGNS, CANDIDATE_PAIRS,
%   PATTERN_TREE, PAIR_SCREEN, RAY_COMBINE, INTEGER_NULL_SPACE, DISK_SYNC.

  t_start = tic;
  opt = struct('equalities', [], 'threads', [], 'order', 'lexmin', 'leaf_size', 64, 'save', '', ...
               'progress', false, 'memory', 0);
  if mod(numel(varargin), 2) ~= 0
    error('extreme_rays: options come as name, value pairs');
  end
  for k = 1:2:numel(varargin)
    name = varargin{k};
    if ~ischar(name) || ~isfield(opt, name)
      error('extreme_rays: unknown option');
    end
    opt.(name) = varargin{k + 1};
  end
  if isempty(opt.threads)
    if exist('OCTAVE_VERSION', 'builtin')
      opt.threads = nproc;
    else
      opt.threads = maxNumCompThreads;
    end
  end
  threads = uint16(opt.threads);

  [A, big_A] = integer_rows(A, 'A');
  [m, n] = size(A);
  big_B = false;
  if isempty(opt.equalities)
    B = zeros(0, n, 'int64');
  else
    [B, big_B] = integer_rows(opt.equalities, 'B');
    if size(B, 2) ~= n
      error('extreme_rays: B must have as many columns as A');
    end
  end
  % The order as big_rays numbers it: 0 lexmin, 1 lexmax, 2 input, 3 fewestpairs.
  opt.order_code = find(strcmp(opt.order, {'lexmin', 'lexmax', 'input', 'fewestpairs'})) - 1;
  if ~ischar(opt.order) || isempty(opt.order_code)
    error('extreme_rays: order must be ''lexmin'', ''lexmax'', ''input'' or ''fewestpairs''');
  end
  scaled = [];
  if big_A || big_B
    [rays, info, scaled] = big_run(A, B, opt, threads, t_start, '', nargout > 2);
  else
    try
      [rays, info] = int64_run(A, B, opt, threads, t_start);
    catch err
      if ~strcmp(err.identifier, 'extreme_rays:int64')
        rethrow(err);
      end
      [rays, info, scaled] = big_run(A, B, opt, threads, t_start, err.message, nargout > 2);
    end
  end
  if nargout > 2 && isempty(scaled)
    scaled = double(rays) ./ max(max(abs(double(rays)), [], 1), 1);
  end
end

function [rays, info, scaled] = big_run(A, B, opt, threads, t_start, why, want_scaled)
  % The run in big_rays (GMP); WHY: the int64 error that led here, if any;
  % SCALED (when WANT_SCALED) the rays scaled to unit maximum norm.
  if ~isempty(opt.save) || exist('big_rays') ~= 3
    if isempty(why)
      why = 'extreme_rays: the rows need integers beyond the int64 range (2^63)';
    end
    if ~isempty(opt.save)
      error('extreme_rays:int64', '%s; ''save'' runs in int64 only', why);
    end
    error('extreme_rays:int64', '%s; big_rays (GMP) is not built here', why);
  end
  if isempty(B)
    B = [];
  end
  settings = [opt.leaf_size, opt.order_code, logical(opt.progress), opt.memory];
  scaled = [];
  if want_scaled
    [rays, counts, scaled] = big_rays(A, B, threads, settings);
  else
    [rays, counts] = big_rays(A, B, threads, settings);
  end
  info = struct('rays', size(rays, 2), 'dimension', counts(9), 'steps', counts(1), ...
                'pairs', counts(2), 'adjacent', counts(3), 'count_rejected', counts(4), ...
                'largest', counts(5), 'max_rays', counts(6), 'time', toc(t_start), ...
                'screen_time', counts(8), 'limbs', counts(10));
end

function [rays, info] = int64_run(A, B, opt, threads, t_start)
  % The run in int64 (enumerate_rays, or the step plug-ins with 'save').
  [m, n] = size(A);
  switch opt.order
    case 'lexmin'
      [~, order] = sortrows(A);
    case 'lexmax'
      [~, order] = sortrows(A, -(1:n));
    case 'input'
      order = (1:m)';
    case 'fewestpairs'
      [~, order] = sortrows(A);
      if ~isempty(opt.save)
        error('extreme_rays: order ''fewestpairs'' cannot be combined with ''save''');
      end
  end
  A = A(order, :);

  % The initial cone: the first rows of A, in this order, that are
  % independent of each other and of the rows of B kept before them.
  [~, independent] = integer_null_space([B; A]', false);
  if numel(independent) < n
    error('extreme_rays: the cone is not pointed: it contains a line (rank of [A; B] is %d, not %d)', ...
          numel(independent), n);
  end
  p = size(B, 1);
  B = B(independent(independent <= p), :);
  first = independent(independent > p) - p;
  dim = numel(first);
  X = zeros(n, dim, 'int64');
  for j = 1:dim
    % The ray on which every other initial row and B vanish, on the
    % positive side of row j.
    x = exactly(@() integer_null_space([B; A(first([1:j-1, j+1:dim]), :)]));
    if ray_signs(A(first(j), :), x) < 0
      x = -x;
    end
    X(:, j) = x;
  end
  sequence = [first(:); setdiff((1:m)', first(:))]';
  words = max(1, ceil(m / 32));
  R = zeros(words, dim, 'uint32');
  for j = 1:dim
    R = set_bit(R, j, j - 1);
  end

  info = struct('rays', 0, 'dimension', dim, 'steps', m - dim, 'pairs', 0, 'adjacent', 0, ...
                'count_rejected', 0, 'largest', 0, 'max_rays', dim, 'time', 0, ...
                'screen_time', 0, 'limbs', 0);
  if ischar(opt.save)
    opt.save = {opt.save};
    opt.save = opt.save(~cellfun(@isempty, opt.save));
  end
  if isempty(opt.save)
    % The whole method in one call, its candidate pairs screened as they
    % are found; X holds the initial rays of the first rows of SEQUENCE.
    settings = [opt.leaf_size, strcmp(opt.order, 'fewestpairs'), logical(opt.progress), opt.memory];
    [X, counts] = exactly(@() enumerate_rays(A, X, sequence - 1, false(1, m), threads, settings), 2);
    rays = sortrows(X')';
    info.rays = size(rays, 2);
    info.pairs = counts(2);
    info.adjacent = counts(3);
    info.count_rejected = counts(4);
    info.largest = counts(5);
    info.max_rays = counts(6);
    info.screen_time = counts(8);
    info.time = toc(t_start);
    return;
  end
  % With 'save', the steps run one plug-in at a time, so that the candidate
  % pairs of the largest steps can be written out whole.
  saved = {};
  for k = dim + 1:m
    a = A(sequence(k), :);
    s = ray_signs(a, X);
    pos = find(s > 0);
    neg = find(s < 0);
    order = 1:size(X, 2);
    Y = zeros(n, 0, 'int64');
    S = zeros(words, 0, 'uint32');
    if ~isempty(pos) && ~isempty(neg)
      % The pattern tree of this step's rays. The rays are put in the order
      % of its leaves, so that every leaf lists one range of them: R and the
      % signs now, X at the end of the step (one copy of it per step).
      t_screen = tic;
      [R_tree, i_node, i_leaf, order] = pattern_tree(R, opt.leaf_size, true);
      R = R(:, order);
      s = s(order);
      pos = find(s > 0);
      neg = find(s < 0);
      info.screen_time = info.screen_time + toc(t_screen);
      % Count test: the two supports together leave at least dim - 2 of the
      % k - 1 rows so far at zero. More threads only where the work pays for
      % starting them.
      j_comb = candidate_pairs(R, pos - 1, neg - 1, (k - 1) - (dim - 2), ...
                               threads_for(numel(pos) * numel(neg), 2^18, threads));
      n_comb = size(j_comb, 2);
      info.count_rejected = info.count_rejected + numel(pos) * numel(neg) - n_comb;
      if n_comb > 0
        t_screen = tic;
        adjacent = pair_screen(R, j_comb, R_tree, i_node, i_leaf, threads_for(n_comb, 512, threads));
        info.screen_time = info.screen_time + toc(t_screen);
        if numel(opt.save) > 0
          saved = keep_largest(saved, numel(opt.save), ...
                               struct('R', R, 'j_comb', j_comb, 'R_tree', R_tree, 'i_node', i_node, ...
                                      'i_leaf', i_leaf, 'adjacent', adjacent));
        end
        info.pairs = info.pairs + n_comb;
        info.largest = max(info.largest, n_comb);
        j_comb = j_comb(:, adjacent ~= 0);
        info.adjacent = info.adjacent + size(j_comb, 2);
        Y = exactly(@() ray_combine(a, X, reshape(order(j_comb + 1), 2, []) - 1));
        S = bitor(R(:, j_comb(1, :) + 1), R(:, j_comb(2, :) + 1));
      end
    end
    R = set_bit(R, pos, k - 1);
    keep = s >= 0;
    X = [X(:, order(keep)), Y];
    R = [R(:, keep), S];
    info.max_rays = max(info.max_rays, size(X, 2));
  end

  rays = sortrows(X')';
  info.rays = size(rays, 2);
  for k = 1:numel(opt.save)
    if k <= numel(saved)
      write_instance(opt.save{k}, saved{k});
    elseif k == 1
      write_instance(opt.save{k}, []);   % no step screened any pair
    end
  end
  info.time = toc(t_start);
end

function [v, w] = exactly(f, outputs)
  % f(), with the plug-ins' errors about integers that do not fit told in
  % the terms of this function; OUTPUTS (1 or 2) results.
  try
    if nargin > 1 && outputs == 2
      [v, w] = f();
    else
      v = f();
    end
  catch err
    if ~isempty(strfind(err.message, 'beyond the int64 range')) || ...
       ~isempty(strfind(err.message, 'beyond 256 bits'))
      error('extreme_rays:int64', ...
            'extreme_rays: the rays of this cone need integer entries beyond the int64 range (2^63); they are not returned rounded (%s)', ...
            err.message);
    end
    rethrow(err);
  end
end

function t = threads_for(work, enough, threads)
  % THREADS when WORK reaches ENOUGH, else one thread.
  t = threads;
  if work < enough
    t = uint16(1);
  end
end

function R = set_bit(R, cols, bit)
  % Sets bit BIT (0-based) in the given columns of R.
  w = floor(bit / 32) + 1;
  R(w, cols) = bitor(R(w, cols), uint32(2 ^ mod(bit, 32)));
end

function [M, big] = integer_rows(M, name)
  % M as int64 rows with coprime entries: integers as they are, rationals
  % scaled row by row to integers, checked exactly. BIG: M does not fit
  % int64 and is returned as big_rays reads it (text, doubles or uint64).
  big = false;
  if iscell(M)
    if ~ismatrix(M) || ~all(cellfun(@(e) ischar(e) && size(e, 1) <= 1, M(:)))
      error('extreme_rays: %s must be a real numeric matrix or a cell array of decimal texts', name);
    end
    big = true;
    return;
  end
  if ~(isnumeric(M) || islogical(M)) || ~ismatrix(M) || ~isreal(M)
    error('extreme_rays: %s must be a real numeric matrix', name);
  end
  if isinteger(M)
    if isa(M, 'uint64') && any(M(:) > uint64(intmax('int64')))
      big = true;
      return;
    end
    M = int64(M);
  else
    M = full(double(M));
    if any(~isfinite(M(:)))
      error('extreme_rays: %s must be finite', name);
    end
    if any(M(:) ~= round(M(:)))
      [M, big] = scale_rationals(M, name);
      if big
        return;
      end
    elseif any(abs(M(:)) >= 2^63)
      big = true;
      return;
    end
    M = int64(M);
  end
  % Each row divided by the greatest common divisor of its entries.
  g = zeros(size(M, 1), 1, 'int64');
  for j = 1:size(M, 2)
    g = gcd(g, M(:, j));
  end
  g(g == 0) = 1;
  M = idivide(M, g);
end

function [M, big] = scale_rationals(M, name)
  % Every entry as p/q (q <= 2^24, p/q == entry in double precision), each
  % row multiplied by the least common multiple of its q; BIG: the scaled
  % rows reach 2^53, and M is returned as the texts 'p/q' instead.
  [p, q] = rational_approx(M, 0);
  ok = isfinite(p) & isfinite(q) & q >= 1 & q <= 2^24 & p ./ q == M;
  if ~all(ok(:))
    [i, j] = find(~ok, 1);
    error('extreme_rays: %s(%d,%d) = %.17g is neither an integer nor a rational p/q with q <= 2^24', ...
          name, i, j, M(i, j));
  end
  L = ones(size(M, 1), 1);
  for j = 1:size(M, 2)
    L = lcm(L, q(:, j));
  end
  big = any(L >= 2^53) || any(any(abs(p .* (L ./ q)) >= 2^53));
  if big
    M = arrayfun(@(a, b) sprintf('%.0f/%.0f', a, b), p, q, 'UniformOutput', false);
  else
    M = p .* (L ./ q);
  end
end

function saved = keep_largest(saved, count, step)
  % The COUNT steps with the most candidate pairs so far, the largest first
  % (the earlier step first among equals).
  sizes = cellfun(@(s) size(s.j_comb, 2), saved);
  at = find(sizes < size(step.j_comb, 2), 1);
  if isempty(at)
    at = numel(saved) + 1;
  end
  if at <= count
    saved = [saved(1:at - 1), {step}, saved(at:min(end, count - 1))];
  end
end

function write_instance(file, s)
  % The pair screen of one step, in the binary layout of the help text,
  % written and flushed to disk.
  if isempty(s)
    s = struct('R', zeros(1, 0, 'uint32'), 'j_comb', zeros(2, 0, 'uint32'), ...
               'R_tree', zeros(1, 0, 'uint32'), 'i_node', zeros(1, 0, 'uint32'), ...
               'i_leaf', zeros(2, 0, 'uint64'), 'adjacent', zeros(0, 1, 'uint8'));
  end
  fid = fopen(file, 'w');
  if fid < 0
    error('extreme_rays: cannot open %s for writing', file);
  end
  fwrite(fid, 'PSCREEN1', 'char*1');
  fwrite(fid, [size(s.R, 1), size(s.R, 2), size(s.j_comb, 2), size(s.R_tree, 2)], 'uint64', 0, 'ieee-le');
  fwrite(fid, s.R, 'uint32', 0, 'ieee-le');
  fwrite(fid, s.j_comb, 'uint32', 0, 'ieee-le');
  fwrite(fid, s.R_tree, 'uint32', 0, 'ieee-le');
  fwrite(fid, s.i_node, 'uint32', 0, 'ieee-le');
  fwrite(fid, s.i_leaf, 'uint64', 0, 'ieee-le');
  fwrite(fid, s.adjacent, 'uint8', 0, 'ieee-le');
  if fclose(fid) ~= 0
    error('extreme_rays: cannot write %s', file);
  end
  disk_sync(file);
end
