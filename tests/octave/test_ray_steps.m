function test_ray_steps()
  % candidate_pairs, ray_signs, ray_combine and integer_null_space in the
  % real host, against plain Octave on random inputs small enough that
  % doubles are exact, and on values where doubles would round.
  rand('seed', 7);
  randn('seed', 7);

  % candidate_pairs: every (p, q) of i_pos x i_neg whose union has at most
  % max_union bits, in the order of i_pos, then of i_neg; any thread count.
  for M = [1 3]
    R = uint32(zeros(M, 200));
    for b = 0:31
      R = bitor(R, uint32(rand(M, 200) < 0.2) * uint32(2^b));
    end
    i_pos = randperm(200, 70) - 1;
    i_neg = setdiff(0:199, i_pos)(1:90);
    bits = @(p, q) sum(arrayfun(@(w) sum(bitget(w, 1:32)), bitor(R(:, p + 1), R(:, q + 1))));
    [P, Q] = ndgrid(i_pos, i_neg);
    P = P'(:)';
    Q = Q'(:)';
    counts = arrayfun(bits, P, Q);
    for max_union = [0 median(counts) 32 * M]
      expected = uint32([P; Q](:, counts <= max_union));
      for threads = [1 2]
        what = sprintf('candidate_pairs M=%d max_union=%g threads=%d', M, max_union, threads);
        expect_equal(candidate_pairs(R, i_pos, uint32(i_neg), max_union, threads), ...
                     reshape(expected, 2, []), what);
      end
    end
  end

  % ray_signs and ray_combine on small entries: doubles are exact there.
  A = int64(randi([-9 9], 4, 6));
  X = int64(randi([-50 50], 6, 30));
  expect_equal(ray_signs(A, X), int8(sign(double(A) * double(X))), 'ray_signs small');
  a = A(1, :);
  j_comb = randi(30, 2, 40) - 1;
  Y = ray_combine(a, X, j_comb);
  x = double(X);
  s = double(a) * x;
  for k = 1:columns(j_comb)
    p = j_comb(1, k) + 1;
    q = j_comb(2, k) + 1;
    y = s(p) * x(:, q) - s(q) * x(:, p);
    g = max(1, gcd_of(y));
    expect_equal(Y(:, k), int64(y / g), sprintf('ray_combine pair %d', k));
  end

  % Products beyond 2^53 and 2^63: the signs stay exact where doubles round.
  big = intmax('int64');
  expect_equal(ray_signs([big, -big], int64([1 2 1; 1 1 2])), int8([0 1 -1]), 'ray_signs beyond 2^63');
  expect_equal(ray_signs(int64([2^53 1]), int64([1; -1])), int8(1), 'ray_signs beyond 2^53');
  expect_error(@() ray_combine([big, big, 1], int64([1 0; 1 0; 0 1]), uint32([0; 1])), ...
               'A new ray has entries beyond the int64 range . . .');

  % integer_null_space: M*N = 0 exactly, rank and pivots as Octave's rank
  % finds them column by column, primitive columns.
  for shape = [3 6; 5 5; 6 3; 4 7]'
    M = int64(randi([-3 3], shape(1), 2) * randi([-3 3], 2, shape(2)) + (rand(shape') < 0.3));
    [N, pivots] = integer_null_space(M);
    r = rank(double(M));
    expect_equal(size(N), [columns(M), columns(M) - r], 'null space size');
    expect_equal(double(M) * double(N), zeros(rows(M), columns(N)), 'M * N');
    expect_equal(numel(pivots), r, 'rank');
    expect_equal(rank(double(M(:, pivots))), r, 'pivot columns independent');
    expect_equal(arrayfun(@(k) gcd_of(double(N(:, k))), 1:columns(N)), ones(1, columns(N)), 'primitive');
    [N0, pivots0] = integer_null_space(M, false);
    expect_equal({N0, pivots0}, {zeros(columns(M), 0, 'int64'), pivots}, 'pivots only');
  end
end

function g = gcd_of(v)
  g = 0;
  for e = abs(v(:))'
    g = gcd(g, e);
  end
end
