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
  lists = first <= last;
  assert(all(last(lists) < N), '%s: range beyond R', what);
  listed = zeros(1, N);
  own = repmat(intmax('uint32'), M, n);         % AND of the columns a node lists
  nested = true;
  for l = 1:n
    nested = nested && all(t(l + 1:t(l)) <= t(l));
    for c = first(l) + 1:last(l) + 1
      listed(c) += 1;
      own(:, l) = bitand(own(:, l), R(:, c));
    end
  end
  assert(nested, '%s: subtrees not nested', what);
  assert(all(listed == 1), '%s: columns not listed exactly once', what);
  expected = own;
  for l = n:-1:1                                % children come after their parent
    for k = l + 1:t(l)
      expected(:, l) = bitand(expected(:, l), own(:, k));
    end
  end
  assert(isequal(R_tree, expected), '%s: node patterns', what);
end
