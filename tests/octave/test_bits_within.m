function test_bits_within()
  % bits_within in GNU Octave, called as MATLAB code would call it.
  S = uint32([1 3 4]);
  R = uint32([3 5 0]);
  two = uint16(2);

  % A small table by hand.
  expect_equal(bits_within(S, R, uint32([0 1 2]), two), uint8([1 1 0; 1 0 0; 0 1 0]), 'small table');

  % Random patterns against the plain reference, every row class, both index classes.
  rand('seed', 1); randn('seed', 1);
  for M = [0 1 2 3 4 5 33 64]
    Rr = uint32(floor(rand(M, 6) * 2^32));
    Sr = bitand(Rr(:, randi(6, 1, 40)), uint32(floor(rand(M, 40) * 2^32)));
    stray = randi(40, 1, 10);
    if M > 0
      Sr(1, stray) = bitor(Sr(1, stray), uint32(2^31));
    end
    idx = randi(6, 1, 25) - 1;
    expected = reference_within(Sr, Rr, idx);
    for threads = {uint16(1), uint16(2), uint16(64), 3}
      expect_equal(bits_within(Sr, Rr, uint32(idx), threads{1}), expected, sprintf('uint32 M=%d', M));
      expect_equal(bits_within(Sr, Rr, idx + 0.6, threads{1}), expected, sprintf('double M=%d', M));
    end
  end

  % Shapes.
  expect_equal(size(bits_within(S, R, [], two)), [3 0], 'empty i_perm');
  expect_equal(size(bits_within(S, R, uint32([0 1 2; 2 1 0]), two)), [3 6], '2x3 i_perm');
  expect_equal(size(bits_within(uint32(zeros(1, 0)), R, uint32([0 1]), two)), [0 2], 'no subsets');
  expect_equal(bits_within(zeros(0, 2, 'uint32'), zeros(0, 3, 'uint32'), [2 0], two), ...
               ones(2, 2, 'uint8'), 'no rows');

  % Messages, in the order the checks run.
  expect_error(@() bits_within(S, R, uint32(0)), 'Four input arguments required . . .');
  expect_error(@() bits_within(S, R, uint32(0), two, two), 'Four input arguments required . . .');
  expect_error(@() bits_within(S, uint32([1; 2]), int8(0), two), 'One output argument required . . .', 0);
  expect_error(@() bits_within(S, R, uint32(0), two), 'One output argument required . . .', 0);
  expect_error(@() two_out(S, R), 'One output argument required . . .', 0);
  expect_error(@() bits_within(S, uint32([1; 2]), int8(0), []), ...
               'Input arguments R_subset and R must have the same number of rows . . .');
  expect_error(@() bits_within(uint8([1 3 4]), R, int8(0), []), ...
               'Input arguments R_subset and R must be real uint32 matrices . . .');
  expect_error(@() bits_within(S, double(R), uint32(0), two), ...
               'Input arguments R_subset and R must be real uint32 matrices . . .');
  expect_error(@() bits_within(S, R, int8(0), uint16([])), ...
               'n_threads must be a non-empty real numeric array . . .');
  expect_error(@() bits_within(S, R, uint32(0), {2}), ...
               'n_threads must be a non-empty real numeric array . . .');
  for bad = {int32(0), single(0), uint64(0), true}
    expect_error(@() bits_within(S, R, bad{1}, two), "i_perm should be of type 'uint32' or 'double' . . .");
  end
  for bad = {3, -1, -0.5, NaN, Inf, 1e300, uint32(3), uint32(4294967295)}
    expect_error(@() bits_within(S, R, [0 bad{1}], two), 'i_perm must hold 0-based column numbers of R . . .');
  end

  % Thread requests of other classes are read by value; 0 runs on one thread.
  for t = {uint8(2), 4, 0, int64(-5), NaN, single(1e9)}
    expect_equal(bits_within(S, R, uint32([0 1 2]), t{1}), uint8([1 1 0; 1 0 0; 0 1 0]), 'n_threads');
  end

  % Unloading after threaded calls, then calling again.
  big = uint32(floor(rand(4, 2000) * 2^32));
  c1 = bits_within(big, big, uint32(0:499), uint16(2));
  clear mex;
  c2 = bits_within(big, big, uint32(0:499), uint16(2));
  expect_equal(c2, c1, 'after clear mex');
  printf('test_bits_within: all checks passed\n');
end

function two_out(S, R)
  [a, b] = bits_within(S, R, uint32(0), uint16(1));
end
