function test_pattern_tree()
  % pattern_tree: the same trees as its plain M-code reference, the layout
  % pair_screen takes, and pair_screen over the tree against the exhaustive
  % test.
  two = uint16(2);

  % Six one-word patterns by hand.
  R = uint32([1 3 5 7 8 12]);
  [R_tree, i_node, i_leaf, order] = pattern_tree(R, 2);
  expect_equal(R_tree, uint32([0 4 5 12 0 1 8]), 'small R_tree');
  expect_equal(i_node, uint32([7 4 3 4 7 6 7]), 'small i_node');
  expect_equal(i_leaf, uint64([1 1 2 5 1 0 4; 0 0 3 5 0 1 4]), 'small i_leaf');
  expect_equal(order, [3 4 6 1 2 5], 'small order');
  j_comb = uint32([0 1; 0 2; 3 4]');
  expect_equal(pair_screen(R, j_comb, R_tree, i_node, i_leaf, two), uint8([1; 1; 0]), 'small flags');

  % Random patterns, sparse and dense, with repeated columns: the layout,
  % and three screens that must agree.
  rand('seed', 2);
  for M = [0 1 2 5]
    for N = [0 1 9 60 150]
      for density = [0.1 0.5]
        R = uint32(zeros(M, N));
        for b = 0:31
          R = bitor(R, uint32(rand(M, N) < density) * uint32(2^b));
        end
        if N > 4
          R(:, [2 N]) = R(:, [1 3]);
        end
        for leaf_size = [1 4]
          what = sprintf('M=%d N=%d density=%g leaf=%d', M, N, density, leaf_size);
          [R_tree, i_node, i_leaf, order] = pattern_tree(R, leaf_size);
          expect_equal({R_tree, i_node, i_leaf, order}, ...
                       nthargout(1:4, @reference_pattern_tree, R, leaf_size), [what ' reference']);
          check_tree(R, R_tree, i_node, i_leaf, what);
          expect_equal(sort(order), 1:N, [what ' order']);
          if N == 0
            continue;
          end
          j_comb = uint32(randi(N, 2, 80) - 1);
          expected = reference_adjacent(R, j_comb);
          expect_equal(reference_pair_screen(R, j_comb, R_tree, i_node, i_leaf), expected, [what ' walk']);
          expect_equal(pair_screen(R, j_comb, R_tree, i_node, i_leaf, two), expected, what);

          % A tree over the columns in ORDER is as valid, and so is the
          % tree in order: every leaf one range of R(:, order).
          [T2, n2, l2] = pattern_tree(R(:, order), leaf_size);
          check_tree(R(:, order), T2, n2, l2, [what ' in order']);
          [T3, n3, l3, order3] = pattern_tree(R, leaf_size, true);
          expect_equal(order3, order, [what ' order in order']);
          check_tree(R(:, order), T3, n3, l3, [what ' tree in order']);
          inverse = zeros(1, N);
          inverse(order) = 1:N;
          j_ordered = uint32(reshape(inverse(double(j_comb) + 1), 2, []) - 1);
          expect_equal(pair_screen(R(:, order), j_ordered, T3, n3, l3, two), expected, [what ' walk in order']);
        end
      end
    end
  end

  % Equal columns stay together whatever the leaf size.
  R = repmat(uint32([5; 9]), 1, 20);
  [R_tree, i_node, i_leaf] = pattern_tree(R, 3);
  expect_equal({R_tree, i_node, i_leaf}, {uint32([5; 9]), uint32(1), uint64([0; 19])}, 'equal columns');

  % 100,000 columns of 128 bits: the layout, checked by vectors.
  R = bitand(uint32(floor(rand(4, 1e5) * 2^32)), uint32(floor(rand(4, 1e5) * 2^32)));
  [R_tree, i_node, i_leaf] = pattern_tree(R, 8);
  n = numel(i_node);
  assert(all(i_node > uint32(0:n - 1)) && all(i_node <= n), 'large: skip targets');
  lists = i_leaf(1, :) <= i_leaf(2, :);
  listed = zeros(1, 1e5 + 1);
  listed(double(i_leaf(1, lists)) + 1) += 1;
  listed(double(i_leaf(2, lists)) + 2) -= 1;
  assert(all(cumsum(listed(1:1e5)) == 1), 'large: every column listed once');
  j_comb = uint32(randi(1e5, 2, 40) - 1);
  expect_equal(pair_screen(R, j_comb, R_tree, i_node, i_leaf, two), reference_adjacent(R, j_comb), 'large');

  % Sampled splits, runs of columns, few distinct columns, leaves of any
  % size: the same trees as the reference, output class and all.
  for trial = 1:60
    M = randi(4);
    N = randi(400);
    R = uint32(randi(2^31, M, N)) .* uint32(rand(M, N) < 0.7);
    if mod(trial, 3) == 0
      R = R(:, randi(N, 1, N));
    end
    if mod(trial, 4) == 0
      R = bitand(R, uint32(7));
    end
    leaf_size = randi(12);
    expect_equal(nthargout(1:4, @pattern_tree, R, leaf_size), ...
                 nthargout(1:4, @reference_pattern_tree, R, leaf_size), sprintf('random tree %d', trial));
  end
  expect_equal(nthargout(1:3, @pattern_tree, R), nthargout(1:3, @pattern_tree, R, 8), 'default leaf size');
  [~, ~, ~] = pattern_tree(R, int8(3));
  expect_equal(numel(pattern_tree(R, Inf)), M, 'one leaf');

  % Arguments.
  expect_error(@() pattern_tree(), 'One to three input arguments required . . .');
  expect_error(@() pattern_tree(R, 2, 3, 4), 'One to three input arguments required . . .');
  expect_error(@() pattern_tree(R, 2, []), 'in_order must be a non-empty real numeric or logical array . . .');
  expect_error(@() nthargout(5, @pattern_tree, R), 'At most four output arguments allowed . . .');
  expect_error(@() pattern_tree(double([1 2]), 2), 'R must be a real uint32 matrix . . .');
  expect_error(@() pattern_tree(uint32([1 2]), 0), 'leaf_size must be a positive whole number . . .');
  expect_error(@() pattern_tree(uint32([1 2]), 1.5), 'leaf_size must be a positive whole number . . .');
  expect_error(@() pattern_tree(uint32([1 2]), [2 3]), 'leaf_size must be a positive whole number . . .');
  expect_error(@() pattern_tree(uint32([1 2]), NaN), 'leaf_size must be a positive whole number . . .');
end
