function test_pair_screen_parallel()
  % The candidate pairs of one pair_screen call split across two worker
  % processes of Octave's parallel package: the same flags as one call.
  pkg load parallel
  rand('seed', 4);
  R = uint32(zeros(3, 3000));
  for b = 0:31
    R = bitor(R, uint32(rand(3, 3000) < 0.3) * uint32(2^b));
  end
  [R_tree, i_node, i_leaf] = pattern_tree(R, 8);
  j_comb = uint32(randi(3000, 2, 20000) - 1);
  whole = pair_screen(R, j_comb, R_tree, i_node, i_leaf, uint16(2));

  % Four shares, two processes, one thread each.
  edges = round(linspace(0, size(j_comb, 2), 5));
  shares = arrayfun(@(k) j_comb(:, edges(k) + 1:edges(k + 1)), 1:4, 'UniformOutput', false);
  screen = @(j) pair_screen(R, j, R_tree, i_node, i_leaf, uint16(1));
  parts = parcellfun(2, screen, shares, 'UniformOutput', false, 'VerboseLevel', 0);
  expect_equal(vertcat(parts{:}), whole, 'parcellfun');
  expect_equal(whole(1:100), reference_adjacent(R, j_comb(:, 1:100)), 'exhaustive');
end
