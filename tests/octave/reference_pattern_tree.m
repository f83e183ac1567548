function [R_tree, i_node, i_leaf, order] = reference_pattern_tree(R, leaf_size)
  % The pattern tree of the compiled PATTERN_TREE, written plainly in
  % vectorised M-code: the tests hold the plug-in to the same outputs, bit
  % for bit. See the help of PATTERN_TREE for what the tree is.
  if nargin ~= 2 && nargin ~= 1
    error('reference_pattern_tree: usage [R_tree, i_node, i_leaf] = reference_pattern_tree(R, leaf_size)');
  end
  if nargin < 2
    leaf_size = 8;
  end
  if ~isa(R, 'uint32') || ~ismatrix(R) || issparse(R) || ~isreal(R)
    error('reference_pattern_tree: R must be a real uint32 matrix');
  end
  if ~isnumeric(leaf_size) || ~isscalar(leaf_size) || ~isreal(leaf_size) ...
     || ~(leaf_size >= 1) || leaf_size ~= fix(leaf_size)
    error('reference_pattern_tree: leaf_size must be a positive whole number');
  end
  leaf_size = double(leaf_size);
  [M, N] = size(R);
  max_depth = 900;
  if N == 0
    R_tree = zeros(M, 0, 'uint32');
    i_node = zeros(1, 0, 'uint32');
    i_leaf = zeros(2, 0, 'uint64');
    order = zeros(1, 0);
    return;
  end

  % Nodes in the order they are made (parents before children, siblings
  % together). A node covers positions first_pos .. last_pos of ORDER.
  cap = 2 * N + 1;
  parent = zeros(cap, 1);
  depth = zeros(cap, 1);
  first_pos = zeros(cap, 1);
  last_pos = zeros(cap, 1);
  is_leaf = false(cap, 1);
  all_equal = false(cap, 1);
  parent(1) = 0; depth(1) = 0; first_pos(1) = 1; last_pos(1) = N;
  n_made = 1;
  order = 1:N;
  active = 1;                            % nodes still to split, by position
  powers = uint32(2 .^ (0:31));
  sample = 32;
  % The bits of R, one logical row per bit, when that fits in a modest
  % amount of memory; otherwise they are unpacked where needed.
  B = false(0, N);
  if 32 * M * N <= 64e6
    B = false(32 * M, N);
    for r = 1:M
      B((r - 1) * 32 + (1:32), :) = unpack_bits(R(r, :), powers);
    end
  end

  while ~isempty(active)
    count = last_pos(active) - first_pos(active) + 1;
    done = count <= leaf_size | depth(active) >= max_depth;
    is_leaf(active(done)) = true;
    active = active(~done);
    if isempty(active)
      break;
    end
    count = last_pos(active) - first_pos(active) + 1;
    n_active = numel(active);

    % For every active node, the bit whose count comes closest to half its
    % columns, among bits that some but not all of its columns hold. The
    % counts come from at most SAMPLE evenly spaced columns of the node; a
    % bit that varies in the sample varies in the node, so every split
    % makes progress. Only where the sample shows no varying bit are all
    % the node's columns counted.
    s = first_pos(active);
    e = last_pos(active);
    [best_row, best_bit, best_score] = split_bits(R, B, order, s, e, sample, powers);
    again = isinf(best_score) & count > sample;
    if any(again)
      [row2, bit2, score2] = split_bits(R, B, order, s(again), e(again), inf, powers);
      best_row(again) = row2;
      best_bit(again) = bit2;
      best_score(again) = score2;
    end

    % Nodes whose columns are all equal stay leaves.
    equal = isinf(best_score);
    is_leaf(active(equal)) = true;
    all_equal(active(equal)) = true;
    keep = ~equal;
    active = active(keep); s = s(keep); e = e(keep);
    best_row = best_row(keep); best_bit = best_bit(keep);
    if isempty(active)
      break;
    end

    % Stable split of each node's positions: columns with the bit first.
    seg_len = e - s + 1;
    pos = reshape(repelem(1:numel(active), seg_len), [], 1);   % node of each position
    p = (1:sum(seg_len))' - reshape(repelem(cumsum([0; seg_len(1:end-1)]), seg_len), [], 1);
    p = s(pos) + p - 1;                  % the positions themselves
    col = reshape(order(p), [], 1);
    word = reshape(R(sub2ind([M, N], best_row(pos), col)), [], 1);
    has = bitand(word, reshape(powers(best_bit(pos)), [], 1)) ~= 0;
    key = 2 * s(pos) + ~has;
    [~, k] = sort(key);                  % stable: keeps column order in a part
    order(p) = col(k);
    n_with = accumarray(pos, double(has), [numel(active), 1]);

    % Two children per split node, made together.
    n_new = 2 * numel(active);
    kids = n_made + (1:n_new)';
    first_kid = kids(1:2:end);
    second_kid = kids(2:2:end);
    parent(kids) = reshape(repelem(active, 2), [], 1);
    depth(kids) = reshape(repelem(depth(active) + 1, 2), [], 1);
    first_pos(first_kid) = s;
    last_pos(first_kid) = s + n_with - 1;
    first_pos(second_kid) = s + n_with;
    last_pos(second_kid) = e;
    n_made = n_made + n_new;
    active = kids;
  end

  % Leaves whose columns are not consecutive in R get one child per run of
  % consecutive column numbers. Positions inside a leaf hold ascending
  % column numbers, since every split above was stable.
  leaves = find(is_leaf(1:n_made));
  [~, k] = sort(first_pos(leaves));
  leaves = leaves(k);
  mark = zeros(N, 1);
  mark(first_pos(leaves)) = 1;
  leaf_of_pos = leaves(cumsum(mark));
  starts = [true; diff(order(:)) ~= 1 | diff(leaf_of_pos) ~= 0];
  run_start = find(starts);
  run_end = [run_start(2:end) - 1; N];
  run_leaf = leaf_of_pos(run_start);
  runs_per_leaf = accumarray(run_leaf, 1, [n_made, 1]);
  split = runs_per_leaf(run_leaf) > 1;
  n_runs = nnz(split);
  kids = n_made + (1:n_runs)';
  parent(kids) = run_leaf(split);
  depth(kids) = depth(run_leaf(split)) + 1;
  first_pos(kids) = run_start(split);
  last_pos(kids) = run_end(split);
  lists = false(n_made + n_runs, 1);
  lists(kids) = true;
  plain = leaves(runs_per_leaf(leaves) == 1);
  lists(plain) = true;
  n_nodes = n_made + n_runs;
  parent = parent(1:n_nodes); depth = depth(1:n_nodes);
  first_pos = first_pos(1:n_nodes); last_pos = last_pos(1:n_nodes);
  all_equal = all_equal(1:n_nodes);
  all_equal(kids) = all_equal(run_leaf(split));

  % Patterns of the nodes that list columns (leaves and runs): the AND of
  % their columns. A set of equal columns needs one of them only.
  pattern = zeros(M, n_nodes, 'uint32');
  listing = find(lists);
  len = last_pos(listing) - first_pos(listing) + 1;
  len(all_equal(listing)) = 1;
  pattern(:, listing) = R(:, order(first_pos(listing)));
  for k = 2:max([len; 1])
    more = listing(len >= k);
    pattern(:, more) = bitand(pattern(:, more), R(:, order(first_pos(more) + k - 1)));
  end
  % Every other node: the AND of its children, deepest nodes first.
  % Leaves split into runs start from all ones.
  unset = ~lists;
  pattern(:, unset) = intmax('uint32');
  for d = max(depth):-1:1
    at = find(depth == d);
    pa = parent(at);
    group_start = [true; pa(2:end) ~= pa(1:end-1)];   % siblings are adjacent
    starts_at = find(group_start);
    nth = (1:numel(at))' - starts_at(cumsum(group_start)) + 1;
    for k = 1:max(nth)
      which = nth == k;
      pattern(:, pa(which)) = bitand(pattern(:, pa(which)), pattern(:, at(which)));
    end
  end

  % Subtree sizes (bottom up) and preorder numbers (top down).
  sz = ones(n_nodes, 1);
  for d = max(depth):-1:1
    at = find(depth == d);
    sz = sz + accumarray(parent(at), sz(at), [n_nodes, 1]);
  end
  pre = zeros(n_nodes, 1);
  for d = 1:max(depth)
    at = find(depth == d);            % siblings are adjacent, in order
    pa = parent(at);
    before = cumsum(sz(at)) - sz(at);
    group_start = [true; pa(2:end) ~= pa(1:end-1)];
    base = before(group_start);
    base = base(cumsum(group_start));
    pre(at) = pre(pa) + 1 + before - base;
  end

  R_tree = zeros(M, n_nodes, 'uint32');
  R_tree(:, pre + 1) = pattern;
  i_node = zeros(1, n_nodes, 'uint32');
  i_node(pre + 1) = pre + sz;
  first_col = ones(n_nodes, 1);         % first > last: lists none
  last_col = zeros(n_nodes, 1);
  first_col(listing) = order(first_pos(listing)) - 1;
  last_col(listing) = order(last_pos(listing)) - 1;
  i_leaf = zeros(2, n_nodes, 'uint64');
  i_leaf(:, pre + 1) = uint64([first_col'; last_col']);

  if nargout > 3
    % Leaves in preorder give the depth-first order of the columns.
    [~, k] = sort(pre(leaf_of_pos(1:N)));   % stable within a leaf
    order = order(k);
  end
end

function [best_row, best_bit, best_score] = split_bits(R, B, order, s, e, sample, powers)
  % For each position range s(i) .. e(i) of ORDER: the row and bit (1-based)
  % whose count over at most SAMPLE evenly spaced columns of the range is
  % closest to half of them, ignoring bits that none or all of them hold;
  % best_score is inf where no bit qualifies.
  n = e - s + 1;
  k = min(n, sample);
  grp = reshape(repelem(1:numel(s), k), [], 1);
  step = reshape(repelem(n ./ k, k), [], 1);
  first_of = cumsum([0; k(1:end-1)]);
  j = (1:sum(k))' - first_of(grp) - 1;            % 0 .. k-1 within a range
  cols = order(s(grp) + floor(j .* step));
  pick = sparse(grp, 1:numel(grp), 1, numel(s), numel(grp));
  M = size(R, 1);
  best_score = inf(numel(s), 1);
  best_row = zeros(numel(s), 1);
  best_bit = zeros(numel(s), 1);
  for r = 1:M
    if isempty(B)
      bits = unpack_bits(R(r, cols), powers);
    else
      bits = B((r - 1) * 32 + (1:32), cols);
    end
    c = full(pick * double(bits'));
    score = abs(2 * c - k);
    score(c == 0 | c == k) = inf;
    [m, b] = min(score, [], 2);
    better = m < best_score;
    best_score(better) = m(better);
    best_row(better) = r;
    best_bit(better) = b(better);
  end
end

function bits = unpack_bits(words, powers)
  % 32 x numel(words) logical: bit k-1 of each word in row k.
  words = reshape(words, 1, []);
  bits = false(32, numel(words));
  for k = 1:32
    bits(k, :) = bitand(words, powers(k)) ~= 0;
  end
end
