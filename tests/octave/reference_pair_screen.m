function adjacent = reference_pair_screen(R, j_comb, R_tree, i_node, i_leaf)
  % REFERENCE_PAIR_SCREEN  The pair screen written plainly over the tree: a
  % pair is adjacent unless a column other than its two, listed at a node
  % whose pattern and whose ancestors' patterns all lie inside the union of
  % the pair, lies inside that union itself.
  a = fix(double(j_comb(1, :))) + 1;
  b = fix(double(j_comb(2, :))) + 1;
  n_comb = numel(a);
  n_nodes = size(R_tree, 2);
  U = bitor(R(:, a), R(:, b));
  inside = @(P) all(bitand(repmat(P, 1, n_comb), bitcmp(U)) == 0, 1);
  open = false(n_nodes, n_comb);
  found = false(1, n_comb);
  stack = [];
  for l = 1:n_nodes
    while !isempty(stack) && double(i_node(stack(end))) < l
      stack(end) = [];
    end
    parent_open = true(1, n_comb);
    if !isempty(stack)
      parent_open = open(stack(end), :);
    end
    open(l, :) = parent_open & inside(R_tree(:, l));
    for c = double(i_leaf(1, l)):double(i_leaf(2, l))
      found = found | (open(l, :) & inside(R(:, c + 1)) & a != c + 1 & b != c + 1);
    end
    stack(end + 1) = l;
  end
  adjacent = uint8(!found(:));
end
