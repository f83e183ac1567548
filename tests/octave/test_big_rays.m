function test_big_rays()
  % extreme_rays beyond int64 (big_rays, GMP): rows as text and as large
  % doubles, rays returned as decimal text, the int64 results unchanged
  % where they fit, and the errors. The ray sets of large cones are
  % checked against lrs by the command-line test (same kernels).
  if exist('big_rays') ~= 3
    assert(isempty(getenv('BITS_FULL_TEST')), 'big_rays is not built, and the full test run needs it');
    printf('test_big_rays: skipped (big_rays is not built)\n');
    return;
  end
  huge = 2^40;
  % Rows within int64, rays not: the int64 run stops and big_rays takes over.
  [rays, info, scaled] = extreme_rays([eye(3); huge -1 0; 0 huge -1]);
  expect_equal(iscell(rays) && info.limbs >= 2, true, 'rays beyond int64 come as text');
  ray = {'1'; '1099511627776'; '1208925819614629174706176'};   % (1, 2^40, 2^80)
  expect_equal(any(all(strcmp(rays, repmat(ray, 1, size(rays, 2))), 1)), true, 'the 2^80 ray');
  expect_equal(max(abs(scaled), [], 1), ones(1, size(rays, 2)), 'scaled to unit maximum norm');
  expect_equal(scaled(:, strcmp(rays(3, :), ray{3})), [2^-80; 2^-40; 1], 'scaled ray');
  % Initial rays beyond int64 (the int64 null space overflows).
  rays = extreme_rays([huge 1 0; 0 huge 1; 1 0 huge; 1 1 1]);
  expect_equal(size(rays), [3 3], 'null space beyond int64');

  % Rows given as text and as doubles beyond 2^63, exactly.
  expect_equal(extreme_rays({'1' '0'; '-1' '100000000000000000000000'}), ...
               {'0' '100000000000000000000000'; '1' '1'}, 'text rows (help example)');
  expect_equal(extreme_rays([1 0; -1 2^70]), {'0' '1180591620717411303424'; '1' '1'}, 'double 2^70');
  expect_equal(extreme_rays({'2/3' '0'; '-1/7' '5'}), int64([0 35; 1 1]), 'fractions as text');
  % Rationals whose scaled rows pass 2^53 run in big_rays instead of failing.
  a = 2^24 - 1; b = 2^24 - 3; c = 2^24 - 5;
  expect_equal(extreme_rays([eye(3); 1/a 1/b -1/c]), int64([0 0 1 a; 1 b 0 0; 0 c 0 c]), ...
               'scaled rows beyond 2^53');

  expect_equal(big_rays({'1' '0'}, {'1' '0'; '0' '1'}, 1, []), zeros(2, 0, 'int64'), 'the origin alone');

  % Where the rays fit, the int64 path's rays: the cyclic cone C(20, 6) as text.
  A = (-9:10)' .^ (0:6);
  T = arrayfun(@(v) sprintf('%d', v), A, 'UniformOutput', false);
  for order = {'lexmin', 'lexmax', 'input', 'fewestpairs'}
    expect_equal(extreme_rays(T, 'order', order{1}), extreme_rays(A), ['text rows, ' order{1}]);
  end
  expect_equal(extreme_rays(eye(4), 'equalities', {'1' '-1' '-1' '0'; '0' '1' '0' '-1'}), ...
               int64([1 1; 0 1; 1 0; 0 1]), 'equalities as text');

  % Errors.
  expect_error(@() extreme_rays({'1' 'x'; '0' '1'}), 'A(1,2) is not a decimal integer or fraction p/q . . .');
  expect_error(@() extreme_rays({'1' '0'; '1/0' '1'}), 'A(2,1) is not a decimal integer or fraction p/q . . .');
  expect_error(@() extreme_rays({'1' '0'; '2' '0'}), ...
               'The cone is not pointed: it contains a line (rank of [A; B] is 1, not 2) . . .');
  expect_error(@() extreme_rays({'1' 2}), 'A must be a real numeric matrix or a cell array of decimal texts');
  expect_error(@() extreme_rays([eye(3); huge -1 0; 0 huge -1], 'save', tempname()), ...
               '''save'' runs in int64 only');
  expect_error(@() big_rays(int64(1), [], 1, [64 9]), 'order from 0 to 3 and a memory budget of 0 or more bytes . . .');
  expect_error(@() big_rays(int64([1 0; 0 1]), int64([1 1 1]), 1, []), 'B must have as many columns as A . . .');
  expect_error(@() big_rays({1}, [], 1, []), 'cell array of decimal integers and fractions p/q . . .');
  printf('test_big_rays: passed\n');
end
