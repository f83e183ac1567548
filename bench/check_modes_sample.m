function [r, X] = check_modes_sample(file, network, sample, chunk, remove)
  % CHECK_MODES_SAMPLE  Reads every mode of a modes file (or of a run in
  % classes: its index) with READ_MODES in runs of CHUNK modes (default
  % 10^6), so that no more than a run is held, and checks a random sample of
  % SAMPLE modes (default 10^5; seed 1) against the network's SBML file
  % NETWORK (without the reactions REMOVE, a cell array, as bits_modes
  % --remove): the file's reactions are the network's; S e = 0 exactly (S
  % scaled to integers row by row); no negative flux on an irreversible
  % reaction; no zero mode; the supports pairwise distinct; and each
  % support elementary (the null space of S on the support has dimension
  % one). X is the sample (int64, one mode per column). Returns a struct: modes (read, and the index's count), seconds
  % (of the reading), and the checks, each true or false. Not part of the
  % product: a check of the large runs in bench/RESULTS.md.
  if nargin < 3 || isempty(sample)
    sample = 1e5;
  end
  if nargin < 4 || isempty(chunk)
    chunk = 1e6;
  end
  if nargin < 5
    remove = {};
  end
  [S, rev, ids] = sbml_read(network);
  keep = ~ismember(ids, remove);
  S = integer_rows(S(:, keep));
  rev = rev(keep);
  ids = ids(keep);
  [~, reactions, info] = read_modes(file, 1, 0);
  total = info.modes;
  rand('seed', 1);
  [~, order] = sort(rand(total, 1));
  pick = sort(order(1:min(sample, total)));
  clear order;
  X = zeros(numel(reactions), numel(pick), 'int64');
  started = tic;
  seen = 0;
  for first = 1:chunk:total
    E = read_modes(file, first, min(chunk, total - first + 1));
    mine = pick(pick >= first & pick < first + columns(E));
    X(:, find(pick >= first, 1) + (0:numel(mine) - 1)) = E(:, mine - first + 1);
    seen = seen + columns(E);
  end
  r.modes = [seen, total];
  r.seconds = toc(started);
  r.reactions = isequal(reactions(:), ids(:));
  r.balanced = balanced(S, X);
  r.signs = ~any(any(X(~rev, :) < 0));
  r.nonzero = all(any(X ~= 0, 1));
  r.distinct = size(unique(X' ~= 0, 'rows'), 1) == columns(X);
  elementary = true;
  for j = 1:columns(X)
    support = X(:, j) ~= 0;
    elementary = elementary && rank(S(:, support)) == nnz(support) - 1;
  end
  r.elementary = elementary;
end

% Whether S X = 0 exactly, for int64 X of any size: X = P - N with P, N >=
% 0, each written in limbs of b bits (P = sum_k 2^(b k) P_k, 0 <= P_k <
% 2^b), b chosen so that every S (P_k - N_k) is a sum of doubles below
% 2^52; the sum over k is zero where each limb's column sums, with the
% carry of the ones below, are multiples of 2^b and the last carry is zero
% (all exact integers in doubles).
function ok = balanced(S, X)
  b = 51 - ceil(log2(max(sum(abs(S), 2)) + 1));
  if b < 8
    error('check_modes_sample: the stoichiometry is too large for the exact balance check');
  end
  P = max(X, 0);
  N = max(-X, 0);
  carry = zeros(rows(S), columns(X));
  ok = true;
  base = int64(2)^b;
  while ok && (any(P(:)) || any(N(:)))
    p = mod(P, base);
    n = mod(N, base);
    P = idivide(P - p, base);  % exact: multiples of 2^b
    N = idivide(N - n, base);
    t = S * double(p - n) + carry;
    ok = all(mod(t(:), 2^b) == 0);
    carry = t / 2^b;
  end
  ok = ok && ~any(carry(:));
end
