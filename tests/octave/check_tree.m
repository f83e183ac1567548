function check_tree(R, R_tree, i_node, i_leaf, what)
  % CHECK_TREE  Fails unless the tree has the layout pair_screen takes:
  % classes and shapes, preorder skip targets with nested subtrees, ranges
  % inside R, every column of R listed exactly once, and every node's
  % pattern the AND of the columns listed at it and below it.
  [M, N] = size(R);
  n = size(R_tree, 2);
  ok = isa(R_tree, 'uint32') && isa(i_node, 'uint32') && isa(i_leaf, 'uint64') ...
       && size(R_tree, 1) == M && isequal(size(i_node), [1 n]) && isequal(size(i_leaf), [2 n]);
  assert(ok, '%s: classes or shapes', what);
  t = double(i_node);
  first = double(i_leaf(1, :));
  last = double(i_leaf(2, :));
  assert(all(t > 0:n-1 & t <= n), '%s: skip target out of range', what);
  listed = zeros(1, N);
  for l = 1:n
    inner = l:t(l) - 1;                           % 0-based nodes of the subtree
    assert(all(t(inner + 1) <= t(l)), '%s: subtrees not nested at node %d', what, l - 1);
    if first(l) <= last(l)
      assert(last(l) < N, '%s: range beyond R at node %d', what, l - 1);
      listed(first(l) + 1:last(l) + 1) += 1;
    end
  end
  assert(all(listed == 1), '%s: columns not listed exactly once', what);
  for l = 1:n
    cols = [];
    for k = l:t(l)
      if first(k) <= last(k)
        cols = [cols, first(k) + 1:last(k) + 1];
      end
    end
    expected = intmax('uint32') * ones(M, 1, 'uint32');
    for c = cols
      expected = bitand(expected, R(:, c));
    end
    assert(isequal(R_tree(:, l), expected), '%s: pattern of node %d', what, l - 1);
  end
end
