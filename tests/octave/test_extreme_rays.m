function test_extreme_rays()
  % extreme_rays against lrs (Debian's lrslib), ray for ray after scaling,
  % on cones of several kinds; and the instance file of its 'save' option.
  here = fileparts(mfilename('fullpath'));
  addpath(fullfile(here, '..', '..', 'examples'), '-end');
  if system('lrs < /dev/null > /dev/null 2>&1') == 127
    error('test_extreme_rays: lrs not found (Debian package lrslib)');
  end
  rand('seed', 6); randn('seed', 6);

  cones = {};
  % The cone over a square, by hand.
  square = [1 1 0; 1 -1 0; 1 0 1; 1 0 -1];
  expect_equal(extreme_rays(square), [1 1 1 1; -1 -1 1 1; -1 1 -1 1], 'square');

  % Cone over the 5-cube: 10 facets, 32 rays.
  n = 5;
  cones{end + 1} = {'5-cube', [ones(2 * n, 1), [eye(n); -eye(n)]]};
  % Cone over the 6-dimensional cross-polytope: 64 facets, 12 rays, every
  % ray on 32 facets.
  n = 6;
  signs = 1 - 2 * (dec2bin(0:2^n - 1) == '1');
  cones{end + 1} = {'cross-polytope', [ones(2^n, 1), signs]};
  % The dual cone of 20 points on the moment curve in dimension 6: its rays
  % are the 800 facets of the cyclic polytope C(20, 6).
  t = (-9:10)';
  cones{end + 1} = {'cyclic C(20,6)', t .^ (0:6)};
  % Cone over a random 4-polytope with integer facets.
  cones{end + 1} = {'random integer', [randi([3 9], 40, 1), randi([-6 6], 40, 4)]};
  % A degenerate random cone: 0/1/-1 rows, repeated and scaled rows among them.
  D = [ones(24, 1), randi([-1 1], 24, 5)];
  D = [D; 3 * D(1:4, :); D(5:6, :)];
  cones{end + 1} = {'degenerate 0/1/-1', D};
  % Cone over the 3-dimensional permutohedron's dual: rows are all
  % permutations of (1, 2, 3, 4) minus their mean, with x0.
  P = perms(1:4) - 2.5;
  cones{end + 1} = {'permutations', [2 * ones(24, 1), 2 * P(:, 1:3)]};

  for i = 1:numel(cones)
    [name, A] = cones{i}{:};
    [rays, info] = extreme_rays(A, 'threads', 2, 'leaf_size', 4);
    expected = lrs_rays(A);
    if !isequal(rays, expected)
      error('test_extreme_rays: %s: %d rays, lrs has %d', name, size(rays, 2), size(expected, 2));
    end
    assert(info.rays == size(rays, 2));
    printf('%-20s %4d rays, %6d pairs screened, %6d adjacent\n', name, info.rays, ...
           info.pairs, info.adjacent);
  end

  % Rays do not depend on the thread count or the leaf size.
  A = cones{5}{2};
  expect_equal(extreme_rays(A, 'threads', 1, 'leaf_size', 1), ...
               extreme_rays(A, 'threads', 2, 'leaf_size', 64), 'threads and leaves');

  % The saved instance reads back and pair_screen reproduces its flags.
  file = [tempname() '.bin'];
  cleanup = onCleanup(@() delete(file));
  [~, info] = extreme_rays(cones{2}{2}, 'save', file);
  s = read_screen_instance(file);
  expect_equal(size(s.j_comb, 2), info.largest, 'saved step is the largest');
  check_tree(s.R, s.R_tree, s.i_node, s.i_leaf, 'saved tree');
  expect_equal(pair_screen(s.R, s.j_comb, s.R_tree, s.i_node, s.i_leaf, uint16(2)), ...
               s.adjacent, 'saved flags');
  expect_equal(s.adjacent, reference_adjacent(s.R, s.j_comb), 'saved flags, exhaustive');

  % Small and empty cones.
  expect_equal(extreme_rays([eye(2); -1 -1]), zeros(2, 0), 'only the origin');
  expect_equal(extreme_rays(2), 1, 'half-line');
  expect_equal(extreme_rays([1 0; 0 1; 1 1; 2 2]), [0 1; 1 0], 'redundant rows');

  % Errors.
  expect_error(@() extreme_rays([1 0; 2 0]), 'A must have full column rank');
  expect_error(@() extreme_rays([1 0]), 'A must have full column rank');
  expect_error(@() extreme_rays([1 NaN; 0 1]), 'A must be a real finite matrix');
  expect_error(@() extreme_rays(eye(2), 'colour', 1), 'unknown option');
end

function rays = lrs_rays(A)
  % The rays of {x : A*x >= 0} from lrs, as coprime integer columns in
  % lexicographic order. lrs takes b + a*y >= 0 per row; b = 0 makes the
  % polyhedron the cone itself, with the origin as its one vertex.
  [m, d] = size(A);
  file = [tempname() '.ine'];
  fid = fopen(file, 'w');
  fprintf(fid, 'cone\nH-representation\nbegin\n%d %d integer\n', m, d + 1);
  fprintf(fid, [repmat('%d ', 1, d + 1) '\n'], [zeros(m, 1), A]');
  fprintf(fid, 'end\n');
  fclose(fid);
  [status, out] = system(sprintf('lrs %s 2> /dev/null', file));
  delete(file);
  assert(status == 0, 'lrs failed: %s', out);
  lines = strsplit(out, "\n");
  first = find(strcmp(strtrim(lines), 'begin'), 1);
  last = find(strcmp(strtrim(lines), 'end'), 1);
  rays = zeros(d, 0);
  for k = first + 2:last - 1
    row = sscanf(lines{k}, '%f')';
    if numel(row) == d + 1 && row(1) == 0
      r = row(2:end)';
      rays(:, end + 1) = r / gcd_all(r);
    end
  end
  rays = sortrows(rays')';
end

function g = gcd_all(v)
  g = 0;
  for x = v(:)'
    g = gcd(g, x);
  end
end
