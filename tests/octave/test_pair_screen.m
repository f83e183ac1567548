function test_pair_screen()
  % pair_screen in GNU Octave, called as MATLAB code would call it.
  % Columns of R: {0}, {1}, {0,1}, {2}. Root (pattern {}) lists nothing and has
  % children 1 (pattern {0}, lists column 2) and 2 (pattern {2}, lists 3).
  R = uint32([1 2 3 4]);
  T = uint32([0 1 4]);
  nodes = uint32([3 2 3]);
  leaves = uint64([1 2 3; 0 2 3]);
  pairs = uint32([0 1 0 2; 1 3 3 2]);
  two = uint16(2);
  answer = uint8([0; 1; 1; 1]);

  expect_equal(pair_screen(R, pairs, T, nodes, leaves, two), answer, 'small tree');
  expect_equal(pair_screen(R, [0.5 1 0 2.99; 1.9 3.2 3 2], T, nodes, leaves, two), answer, 'double pairs');

  % Random trees against the plain reference: every row class, both pair
  % classes, several thread requests, and an all-zero row appended.
  rand('seed', 3);
  flags = [];
  for M = [0 1 2 3 4 5]
    for close = [0.1 0.5 0.9]
      Rr = atom_patterns(M, 14);
      [Tr, nr, lr] = random_tree(Rr, 40, close);
      jr = randi(14, 2, 90) - 1;
      expected = reference_screen(Rr, jr, Tr, nr, lr);
      if M > 0
        flags = [flags; expected];
      end
      for threads = {uint16(1), uint16(2), uint16(64), 3, 0}
        what = sprintf('M=%d close=%g', M, close);
        expect_equal(pair_screen(Rr, uint32(jr), Tr, nr, lr, threads{1}), expected, ['uint32 ' what]);
        expect_equal(pair_screen(Rr, jr + 0.5, Tr, nr, lr, threads{1}), expected, ['double ' what]);
      end
      Rz = [Rr; zeros(1, 14, 'uint32')];
      Tz = [Tr; zeros(1, 40, 'uint32')];
      expect_equal(pair_screen(Rz, uint32(jr), Tz, nr, lr, two), expected, ['zero row ' what]);
    end
  end

  if mean(flags) < 0.05 || mean(flags) > 0.95
    error('test_pair_screen: random trees too one-sided (%.2f adjacent)', mean(flags));
  end

  % Shapes and empty cases.
  expect_equal(pair_screen(R, zeros(2, 0), T, nodes, leaves, two), zeros(0, 1, 'uint8'), 'no pairs');
  expect_equal(pair_screen(R, pairs, zeros(1, 0, 'uint32'), zeros(1, 0, 'uint32'), zeros(2, 0, 'uint64'), two), ...
               ones(4, 1, 'uint8'), 'no nodes');
  % No rows: every node is open, every listed column other than a and b is inner.
  expect_equal(pair_screen(zeros(0, 4, 'uint32'), uint32([0 1 3; 2 3 3]), zeros(0, 3, 'uint32'), nodes, ...
                           uint64([1 2 0; 0 2 0]), two), uint8([1; 0; 0]), 'no rows');

  % A chain of 5000 nested nodes, all open; only the deepest lists a column.
  n = 5000;
  chain_leaves = [ones(1, n, 'uint64'); zeros(1, n, 'uint64')];
  chain_leaves(:, n) = 2;
  expect_equal(pair_screen(R, pairs, zeros(1, n, 'uint32'), repmat(uint32(n), 1, n), chain_leaves, two), ...
               answer, 'deep chain');

  % Messages, in the order the checks run.
  none = int8([]);
  expect_error(@() pair_screen(R, pairs, T, nodes, leaves), 'Six input arguments required . . .');
  expect_error(@() pair_screen(R, pairs, T, nodes, leaves, two, two), 'Six input arguments required . . .');
  expect_error(@() pair_screen(R, none, T, nodes, leaves, two), 'One output argument required . . .', 0);
  expect_error(@() two_out(R, pairs, T, nodes, leaves), 'One output argument required . . .', 0);
  expect_error(@() pair_screen(none, uint32([0; 1; 2]), none, none, none, none), ...
               'Candidate combinations must be a 2 by n matrix . . .');
  columns_msg = 'R_tree, i_node and i_leaf must have the same number of columns . . .';
  expect_error(@() pair_screen(R, pairs, zeros(2, 5, 'uint32'), zeros(1, 5, 'uint32'), zeros(2, 4, 'uint64'), none), ...
               columns_msg);
  expect_error(@() pair_screen(R, pairs, zeros(1, 5, 'uint32'), zeros(5, 1, 'uint32'), zeros(3, 5, 'uint64'), none), ...
               columns_msg);
  expect_error(@() pair_screen(R, pairs, zeros(2, 5, 'uint32'), zeros(2, 5), zeros(3, 5), none), ...
               'R and R_tree must have the same number of rows . . .');
  expect_error(@() pair_screen(R, pairs, zeros(1, 5, 'uint32'), zeros(2, 5), zeros(3, 5), none), ...
               'i_node must have one row . . .');
  expect_error(@() pair_screen(R, pairs, zeros(1, 5, 'uint32'), zeros(1, 5), zeros(3, 5), none), ...
               'i_leaf must have two rows . . .');
  threads_msg = 'n_threads must be a non-empty real numeric array . . .';
  expect_error(@() pair_screen(double(R), int32(pairs), uint8(T), double(nodes), double(leaves), none), threads_msg);
  expect_error(@() pair_screen(R, int32(pairs), T, double(nodes), double(leaves), uint16([])), threads_msg);
  expect_error(@() pair_screen(R, pairs, T, nodes, leaves, {2}), threads_msg);
  for bad = {int32(pairs), single(pairs), uint64(pairs), logical(pairs), complex(double(pairs))}
    expect_error(@() pair_screen(double(R), bad{1}, T, double(nodes), double(leaves), two), ...
                 "j_comb should be of type 'uint32' or 'double' . . .");
  end
  pattern_msg = 'R and R_tree must be real uint32 matrices . . .';
  far = uint32([0; 4]);
  expect_error(@() pair_screen(double(R), far, T, double(nodes), double(leaves), two), pattern_msg);
  expect_error(@() pair_screen(R, double(far), uint8(T), double(nodes), double(leaves), two), pattern_msg);
  for bad = {4, -1, -0.5, NaN, Inf, 1e300, uint32(4), uint32(4294967295)}
    j = [pairs(:, 1:3), [0; 0]];
    j = cast(j, class(bad{1}));
    j(2, 4) = bad{1};
    expect_error(@() pair_screen(R, j, T, double(nodes), double(leaves), two), ...
                 'j_comb must hold 0-based column numbers of R . . .');
  end
  for bad = {double(nodes), int32(nodes), uint64(nodes)}
    expect_error(@() pair_screen(R, pairs, T, bad{1}, double(leaves), two), 'i_node must be a real uint32 row . . .');
  end
  skip_msg = 'i_node must hold skip targets with l < i_node(l) <= n_nodes (0-based l) . . .';
  for bad = {[3 1 3], [3 2 2], [0 2 3], [3 2 4], [4 2 3], [3 2 4294967295]}
    expect_error(@() pair_screen(R, pairs, T, uint32(bad{1}), double(leaves), two), skip_msg);
  end
  expect_error(@() pair_screen(R, pairs, T, uint32([2 3 3]), double(leaves), two), ...
               "Subtrees must nest: no skip target in i_node may pass its parent's . . .");
  for bad = {double(leaves), int64(leaves), uint32(leaves)}
    expect_error(@() pair_screen(R, pairs, T, nodes, bad{1}, two), 'i_leaf must be a real uint64 matrix . . .');
  end
  range_msg = 'i_leaf ranges with first <= last must name 0-based columns of R . . .';
  for bad = {[1 2 3; 0 4 3], [0 2 3; intmax('uint64') 2 3], [1 2 4; 0 2 4]}
    expect_error(@() pair_screen(R, pairs, T, nodes, uint64(bad{1}), two), range_msg);
  end
  % Empty ranges may hold any numbers.
  expect_equal(pair_screen(R, pairs, T, nodes, [intmax('uint64') 9 3; 0 8 3], two), ones(4, 1, 'uint8'), ...
               'empty ranges');

  % Unloading after threaded calls, then calling again.
  Rb = atom_patterns(4, 60);
  [Tb, nb, lb] = random_tree(Rb, 300, 0.5);
  jb = uint32(randi(60, 2, 3000) - 1);
  a1 = pair_screen(Rb, jb, Tb, nb, lb, uint16(2));
  clear mex;
  a2 = pair_screen(Rb, jb, Tb, nb, lb, uint16(2));
  expect_equal(a2, a1, 'after clear mex');
  printf('test_pair_screen: all checks passed\n');
end

function two_out(R, pairs, T, nodes, leaves)
  [a, b] = pair_screen(R, pairs, T, nodes, leaves, uint16(1));
end

function R = atom_patterns(M, N)
  % Columns that are unions of three of ten sparse random patterns, so one
  % column often lies inside the union of two others.
  atoms = zeros(M, 10, 'uint32');
  for k = 1:10
    for r = 1:M
      atoms(r, k) = uint32(sum(bitshift(1, find(rand(1, 32) < 0.25) - 1)));
    end
  end
  R = zeros(M, N, 'uint32');
  for c = 1:N
    for k = randi(10, 1, 3)
      R(:, c) = bitor(R(:, c), atoms(:, k));
    end
  end
end

function [T, i_node, i_leaf] = random_tree(R, n, close)
  % A random forest in depth-first preorder: before each node, open subtrees
  % on top of the path are closed with probability CLOSE. Node patterns are
  % empty or half the bits of some column; ranges of up to 4 columns, some empty.
  [M, N] = size(R);
  i_node = zeros(1, n, 'uint32');
  path = [];
  for l = 0:n - 1
    while !isempty(path) && rand() < close
      i_node(path(end) + 1) = l;
      path(end) = [];
    end
    path(end + 1) = l;
  end
  i_node(path + 1) = n;
  i_leaf = zeros(2, n, 'uint64');
  T = zeros(M, n, 'uint32');
  for l = 1:n
    f = randi(N) - 1;
    if rand() < 0.3
      i_leaf(:, l) = [f + 1; f];
    else
      i_leaf(:, l) = [f; min(N - 1, f + randi(4) - 1)];
    end
    if rand() > 0.3 && M > 0
      T(:, l) = bitand(R(:, randi(N)), uint32(floor(rand(M, 1) * 2^32)));
    end
  end
end

function adjacent = reference_screen(R, j_comb, T, i_node, i_leaf)
  % The flags from their definition: a pair is not adjacent when a node whose
  % pattern and whose ancestors' patterns lie inside the union of its two
  % columns lists another column that lies inside that union.
  n = numel(i_node);
  % above(l, m): node l is node m or one of its ancestors.
  [l, m] = ndgrid(0:n - 1, 0:n - 1);
  above = (l == m) | (l < m & double(i_node(l + 1)) > m);
  adjacent = ones(columns(j_comb), 1, 'uint8');
  for i = 1:columns(j_comb)
    a = j_comb(1, i); b = j_comb(2, i);
    outside = bitcmp(bitor(R(:, a + 1), R(:, b + 1)));
    node_inside = all(bitand(T, repmat(outside, 1, columns(T))) == 0, 1);
    column_inside = all(bitand(R, repmat(outside, 1, columns(R))) == 0, 1);
    column_inside([a b] + 1) = false;
    open = !any(above & !node_inside(:), 1);
    for m = find(open)
      if any(column_inside(double(i_leaf(1, m)) + 1:double(i_leaf(2, m)) + 1))
        adjacent(i) = 0;
      end
    end
  end
end
