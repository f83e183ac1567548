function [rays, info] = extreme_rays(A, varargin)
%EXTREME_RAYS  Extreme rays of the pointed cone {x : A*x >= 0} by the double
%   description method, with PAIR_SCREEN as the adjacency test.
%
%   RAYS = EXTREME_RAYS(A)
%   [RAYS, INFO] = EXTREME_RAYS(A, NAME, VALUE, ...)
%
%   A is an m x d real matrix of full column rank d (so the cone is pointed).
%   RAYS is d x n: one extreme ray per column, scaled to coprime integers
%   (exact for integer A whose rays have entries of moderate size), columns
%   in lexicographic order.
%
%   Method: start from the d x d cone of d linearly independent rows of A,
%   then add the other rows one at a time. A ray's support (the constraints
%   added so far on which it is strictly positive) is kept as a uint32 bit
%   pattern, one column of a pattern matrix R per ray. For each new row a,
%   the rays with a*x > 0 and those with a*x < 0 form candidate pairs; a
%   pair passes the count test when the two supports together miss at least
%   d-2 of the constraints added so far; PAIR_SCREEN, over a PATTERN_TREE of
%   all current rays, keeps the pairs for which no other ray's support lies
%   inside the union of the two supports (the pairs that span a 2-face). Each
%   such pair gives a new ray on a*x = 0; the rays with a*x < 0 are dropped.
%   At the end every ray is recomputed from the constraints that vanish on
%   it, and RATIONAL_APPROX turns it into integers.
%
%   Options (name, value)
%     'threads'    threads for PAIR_SCREEN (default: the processor count)
%     'leaf_size'  leaf size of the pattern trees (default 8)
%     'tol'        relative tolerance of the sign test of a*x (default 1e-9)
%     'save'       file name: writes the pattern matrix, candidate pairs,
%                  tree and flags of the step with the most candidate pairs
%                  to this file and flushes it to disk (DISK_SYNC); format
%                  below, read back with READ_SCREEN_INSTANCE
%
%   INFO fields: rays (number found), steps (rows added after the first d),
%   pairs (candidate pairs screened by PAIR_SCREEN in all), adjacent (pairs
%   found adjacent), count_rejected (pairs that failed the count test),
%   largest (most candidate pairs in one step), max_rays (most rays held at
%   once), time (seconds in all), screen_time (seconds in PATTERN_TREE and
%   PAIR_SCREEN).
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
%   Example (the cone over a square: four rays)
%     A = [1 1 0; 1 -1 0; 1 0 1; 1 0 -1];
%     rays = extreme_rays(A)
%     % rays = [1 1 1 1; -1 -1 1 1; -1 1 -1 1]
%
%   See also PATTERN_TREE, PAIR_SCREEN, RATIONAL_APPROX, DISK_SYNC.

  t_start = tic;
  opt = struct('threads', [], 'leaf_size', 8, 'tol', 1e-9, 'save', '');
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

  if ~isnumeric(A) || ~ismatrix(A) || ~isreal(A) || isempty(A) || any(~isfinite(A(:)))
    error('extreme_rays: A must be a real finite matrix');
  end
  A = full(double(A));
  [m, d] = size(A);
  if m < d || rank(A) < d
    error('extreme_rays: A must have full column rank');
  end

  % Start: d independent rows, picked by pivoted QR for a well conditioned
  % basis; their cone has the columns of the inverse as its rays. Constraint
  % order(k) is bit k-1 of the supports.
  [~, ~, piv] = qr(A', 0);
  basis = piv(1:d);
  rest = setdiff(1:m, basis);
  order = [basis(:); rest(:)]';
  words = max(1, ceil(m / 32));
  X = A(basis, :) \ eye(d);
  X = X ./ max(abs(X), [], 1);
  R = zeros(words, d, 'uint32');
  for j = 1:d
    R = set_bit(R, j, j - 1);
  end

  info = struct('rays', 0, 'steps', m - d, 'pairs', 0, 'adjacent', 0, ...
                'count_rejected', 0, 'largest', 0, 'max_rays', d, 'time', 0, ...
                'screen_time', 0);
  saved = [];
  for k = d + 1:m
    a = A(order(k), :);
    v = a * X;
    zero = abs(v) <= opt.tol * norm(a) * sqrt(sum(X .^ 2, 1));
    pos = find(v > 0 & ~zero);
    neg = find(v < 0 & ~zero);
    if ~isempty(neg)
      % Candidate pairs that pass the count test: the union of the two
      % supports leaves at least d-2 of the k-1 constraints so far at zero.
      [p, q, rejected] = count_test(R, pos, neg, (k - 1) - (d - 2));
      info.count_rejected = info.count_rejected + rejected;
      p = reshape(p, 1, []);
      q = reshape(q, 1, []);
      j_comb = uint32([p; q] - 1);
      t_screen = tic;
      if isempty(p)
        adjacent = zeros(0, 1, 'uint8');
      else
        [R_tree, i_node, i_leaf] = pattern_tree(R, opt.leaf_size);
        adjacent = pair_screen(R, j_comb, R_tree, i_node, i_leaf, threads);
      end
      info.screen_time = info.screen_time + toc(t_screen);
      n_comb = numel(p);
      info.pairs = info.pairs + n_comb;
      if ~isempty(opt.save) && n_comb > info.largest
        saved = struct('R', R, 'j_comb', j_comb, 'R_tree', R_tree, 'i_node', i_node, ...
                       'i_leaf', i_leaf, 'adjacent', adjacent);
      end
      info.largest = max(info.largest, n_comb);
      ok = adjacent ~= 0;
      info.adjacent = info.adjacent + nnz(ok);
      p = reshape(p(ok), 1, []);
      q = reshape(q(ok), 1, []);
      % New rays on a*x = 0, positive combinations of the two.
      Y = X(:, q) .* v(p) - X(:, p) .* v(q);
      Y = Y ./ max(abs(Y), [], 1);
      S = bitor(R(:, p), R(:, q));
    else
      Y = zeros(d, 0);
      S = zeros(words, 0, 'uint32');
    end
    R(:, pos) = set_bit(R(:, pos), 1:numel(pos), k - 1);
    keep = sort([pos, find(zero)]);
    X = [X(:, keep), Y];
    R = [R(:, keep), S];
    info.max_rays = max(info.max_rays, size(X, 2));
  end

  rays = integer_rays(A(order, :), X, R);
  rays = sortrows(rays')';
  info.rays = size(rays, 2);
  if ~isempty(opt.save)
    write_instance(opt.save, saved);
  end
  info.time = toc(t_start);
end

function R = set_bit(R, cols, bit)
  % Sets bit BIT (0-based) in the given columns of R.
  w = floor(bit / 32) + 1;
  R(w, cols) = bitor(R(w, cols), uint32(2 ^ mod(bit, 32)));
end

function [p, q, rejected] = count_test(R, pos, neg, most)
  % The pairs (p, q) of POS x NEG whose supports together hold at most MOST
  % bits, as two rows. The size of each union is |Sp| + |Sq| - |Sp & Sq|,
  % the intersections all at once as a product of 0/1 matrices, in blocks
  % of NEG to bound the memory.
  B = zeros(32 * size(R, 1), size(R, 2));
  for w = 1:size(R, 1)
    for b = 1:32
      B((w - 1) * 32 + b, :) = bitand(R(w, :), uint32(2 ^ (b - 1))) ~= 0;
    end
  end
  count = sum(B, 1);
  Bp = B(:, pos)';
  p = zeros(1, 0);
  q = zeros(1, 0);
  rejected = 0;
  block = max(1, floor(4e6 / max(1, numel(pos))));
  for first = 1:block:numel(neg)
    nq = neg(first:min(first + block - 1, numel(neg)));
    union = count(pos)' + count(nq) - Bp * B(:, nq);
    [ip, iq] = find(union <= most);
    rejected = rejected + numel(union) - numel(ip);
    p = [p, reshape(pos(ip), 1, [])];
    q = [q, reshape(nq(iq), 1, [])];
  end
end

function G = integer_rays(A, X, R)
  % Each ray recomputed as the null direction of the rows of A that vanish
  % on it (bit clear in its support), with the columns of A scaled to a
  % common size for accuracy, then scaled to coprime integers. For an
  % integer A the integers are checked exactly against the support, and
  % the rays that fail are tried again with other tolerances.
  [m, d] = size(A);
  n = size(X, 2);
  bit = (0:m - 1)';
  on = bitand(R(floor(bit / 32) + 1, :), repmat(uint32(2 .^ mod(bit, 32)), 1, n)) ~= 0;
  scale = max(abs(A), [], 1);
  scale(scale == 0) = 1;
  As = A ./ scale;
  for j = 1:n
    Z = As(~on(:, j), :);
    if size(Z, 1) >= d - 1 && d > 1
      if size(Z, 1) >= d
        [~, ~, V] = svd(Z, 0);
      else
        [~, ~, V] = svd(Z);
      end
      y = V(:, end);
      y(abs(y) < 1e-12 * max(abs(y))) = 0;
      y = y ./ scale';
      if y' * X(:, j) < 0
        y = -y;
      end
      X(:, j) = y;
    end
  end
  X(abs(X) < 1e-12 * max(abs(X), [], 1)) = 0;
  nonzero = X;
  nonzero(X == 0) = inf;
  X = X ./ min(abs(nonzero), [], 1);
  exact = all(A(:) == round(A(:))) && max(abs(A(:))) < 2^26;
  G = zeros(d, n);
  todo = 1:n;
  for tol = [1e-9 1e-6 1e-11 1e-4 1e-13]
    G(:, todo) = to_integers(X(:, todo), tol);
    if ~exact
      return;
    end
    V = A * G(:, todo);
    good = all((V == 0) == ~on(:, todo), 1) & all(V >= 0, 1);
    todo = todo(~good);
    if isempty(todo)
      return;
    end
  end
  warning('extreme_rays: %d rays could not be scaled to exact integers', numel(todo));
end

function G = to_integers(X, tol)
  % Coprime integers in the ratios of each column of X, every entry
  % approximated to TOL first.
  [num, den] = rational_approx(X, tol);
  L = ones(1, size(X, 2));
  for i = 1:size(X, 1)
    L = lcm(L, den(i, :));
  end
  G = num .* (L ./ den);
  c = zeros(1, size(X, 2));
  for i = 1:size(X, 1)
    c = gcd(c, G(i, :));
  end
  G = G ./ max(c, 1);
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
