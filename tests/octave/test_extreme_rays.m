function test_extreme_rays()
  % extreme_rays against the C enumerators, ray for ray after scaling:
  % Normaliz on every cone (the benchmark's smaller cones among them),
  % cddlib and lrs on a few; then equalities, input classes, thread counts,
  % the saved instance, small cones and errors.
  here = fileparts(mfilename('fullpath'));
  addpath(fullfile(here, '..', '..', 'bench'), fullfile(here, '..', '..', 'examples'), '-end');
  for tool = {'normaliz', 'cddexec_gmp', 'lrs'}
    if system(sprintf('command -v %s > /dev/null', tool{1})) ~= 0
      error('test_extreme_rays: %s not found (Debian packages normaliz, libcdd-tools, lrslib)', tool{1});
    end
  end
  rand('seed', 6); randn('seed', 6);

  % The cone over a square, by hand.
  square = [1 1 0; 1 -1 0; 1 0 1; 1 0 -1];
  expect_equal(extreme_rays(square), int64([1 1 1 1; -1 -1 1 1; -1 1 -1 1]), 'square');

  cones = benchmark_cones('test');
  more = {
    % Cone over the 5-cube: 10 facets, 32 rays.
    '5-cube', [ones(10, 1), [eye(5); -eye(5)]], {'cdd', 'lrs'}
    % Cone over the 6-dimensional cross-polytope: 64 facets, 12 rays, every
    % ray on 32 facets.
    'cross-polytope', [ones(64, 1), 1 - 2 * (dec2bin(0:63) == '1')], {'cdd'}
    % The dual of 20 points on the moment curve: the 800 facets of C(20, 6).
    'cyclic C(20,6)', (-9:10)' .^ (0:6), {'lrs'}
    % Cone over a random 4-polytope with integer facets.
    'random integer', [randi([3 9], 40, 1), randi([-6 6], 40, 4)], {'cdd'}
    % Degenerate: 0/1/-1 rows, repeated and scaled rows among them.
    'degenerate 0/1/-1', [], {}
    % Rows that are all permutations of (1, 2, 3, 4) minus their mean.
    'permutations', [2 * ones(24, 1), 2 * (perms(1:4)(:, 1:3) - 2.5)], {}
  };
  D = [ones(24, 1), randi([-1 1], 24, 5)];
  more{5, 2} = [D; 3 * D(1:4, :); D(5:6, :)];
  for k = 1:size(more, 1)
    cones(end + 1) = struct('name', more{k, 1}, 'family', 'test', 'A', more{k, 2}, 'B', []);
    peers{numel(cones)} = more{k, 3};
  end
  peers{4} = {'cdd'};   % the cyclic dual of degree 6: entries near 2^27
  for k = 1:numel(cones)
    c = cones(k);
    [rays, info] = extreme_rays(c.A, 'equalities', c.B, 'threads', 2, 'leaf_size', 4);
    assert(isa(rays, 'int64') && info.rays == size(rays, 2));
    for tool = [{'normaliz'}, peers{k}]
      expected = peer_rays(tool{1}, c.A, c.B);
      if ~isequal(double(rays), expected.rays)
        error('test_extreme_rays: %s: %d rays, %s has %d', c.name, size(rays, 2), tool{1}, ...
              size(expected.rays, 2));
      end
    end
    printf('%-45s %5d rays, %7d pairs screened, %6d adjacent\n', c.name, info.rays, ...
           info.pairs, info.adjacent);
  end

  % Rays depend neither on the thread count, the leaf size nor the order
  % in which the rows are added.
  A = cones(end - 1).A;
  expected = extreme_rays(A, 'threads', 1, 'leaf_size', 1);
  expect_equal(extreme_rays(A, 'threads', 2, 'leaf_size', 64), expected, 'threads and leaves');
  expect_equal(extreme_rays(A, 'order', 'input'), expected, 'input order');
  expect_equal(extreme_rays(A, 'order', 'lexmax'), expected, 'lexmax order');

  % Equalities: the flux modes of x1 -> x2 + x3, x2 -> x4 as in the help;
  % integer classes and rationals scale to the same cone.
  B = [1 -1 -1 0; 0 1 0 -1];
  expect_equal(extreme_rays(eye(4), 'equalities', B), int64([1 1; 0 1; 1 0; 0 1]), 'equalities');
  expect_equal(extreme_rays(int8(eye(4)), 'equalities', int16(B)), int64([1 1; 0 1; 1 0; 0 1]), 'classes');
  expect_equal(extreme_rays(square / 3, 'equalities', zeros(0, 3)), extreme_rays(square), 'rationals');
  expect_equal(extreme_rays([0.1 0.2 0; 0.1 -0.2 0; 1 0 1; 1 0 -1]), ...
               extreme_rays([1 2 0; 1 -2 0; 1 0 1; 1 0 -1]), 'decimal rows');
  expect_equal(extreme_rays(eye(3), 'equalities', [1 1 1]), zeros(3, 0, 'int64'), 'only the origin, B');

  % The saved instance reads back and pair_screen reproduces its flags.
  file = [tempname() '.bin'];
  cleanup = onCleanup(@() delete(file));
  [~, info] = extreme_rays(cones(end - 4).A, 'save', file);
  s = read_screen_instance(file);
  expect_equal(size(s.j_comb, 2), info.largest, 'saved step is the largest');
  check_tree(s.R, s.R_tree, s.i_node, s.i_leaf, 'saved tree');
  expect_equal(pair_screen(s.R, s.j_comb, s.R_tree, s.i_node, s.i_leaf, uint16(2)), ...
               s.adjacent, 'saved flags');
  expect_equal(s.adjacent, reference_adjacent(s.R, s.j_comb), 'saved flags, exhaustive');
  % k names: the k largest steps, largest first, the first one as above;
  % names beyond the number of steps stay unwritten.
  files = arrayfun(@(k) [tempname() '.bin'], 1:3, 'UniformOutput', false);
  cleanup_k = onCleanup(@() cellfun(@unlink, files));
  [~, info3] = extreme_rays(cones(end - 4).A, 'save', files);
  sizes = cellfun(@(f) size(read_screen_instance(f).j_comb, 2), files);
  expect_equal(isequal(read_screen_instance(files{1}), s) && issorted(fliplr(sizes)) && sizes(3) > 0, ...
               true, 'three largest steps');
  expect_equal(info3.largest, info.largest, 'same run');
  few = [tempname() '.bin'];
  extreme_rays([1 1 0; 1 -1 0; 1 0 1; 1 0 -1], 'save', {files{1}, few});
  expect_equal(exist(few, 'file'), 0, 'a step too few: no second file');

  % Small and empty cones.
  expect_equal(extreme_rays([eye(2); -1 -1]), zeros(2, 0, 'int64'), 'only the origin');
  expect_equal(extreme_rays(2), int64(1), 'half-line');
  expect_equal(extreme_rays([1 0; 0 1; 1 1; 2 2]), int64([0 1; 1 0]), 'redundant rows');

  % Errors: never a rounded ray.
  expect_error(@() extreme_rays([1 0; 2 0]), 'the cone is not pointed: it contains a line (rank of [A; B] is 1, not 2)');
  expect_error(@() extreme_rays([1 0]), 'the cone is not pointed: it contains a line (rank of [A; B] is 1, not 2)');
  expect_error(@() extreme_rays([1 NaN; 0 1]), 'A must be finite');
  expect_error(@() extreme_rays([pi 1; 0 1]), 'is neither an integer nor a rational p/q with q <= 2^24');
  expect_error(@() extreme_rays(eye(2), 'equalities', [1 1 1]), 'B must have as many columns as A');
  expect_error(@() extreme_rays(eye(2), 'colour', 1), 'unknown option');
  expect_error(@() extreme_rays(eye(2), 'order', 'random'), 'order must be ''lexmin'', ''lexmax'', ''input'' or ''fewestpairs''');
  % Cones beyond int64: test_big_rays.
end
