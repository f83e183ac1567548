function test_rational_approx()
  % rational_approx in GNU Octave, called as MATLAB code would call it.

  % Worked examples.
  [p, q] = rational_approx([0.5 0.25; 1.5 -0.25], 1e-6);
  expect_equal(p, [1 1; 3 -1], 'numerators');
  expect_equal(q, [2 4; 2 4], 'denominators');
  [p, q] = rational_approx([pi exp(1) -1.5 1.5], 1e-3);
  expect_equal([p; q], [355 106 -3 3; 113 39 2 2], 'examples, tol 1e-3');
  examples = {0.4, 0.2, [1 3]; 0.45, 0.1, [1 2]; 0.3, 0.2, [1 3]; 0.6, 0.1, [1 2]; 2.7, 0.5, [3 1]};
  for k = 1:rows(examples)
    [p, q] = rational_approx(examples{k, 1}, examples{k, 2});
    expect_equal([p q], examples{k, 3}, sprintf('%g with tol %g', examples{k, 1}, examples{k, 2}));
  end
  [p, q] = rational_approx([pi 0.4 0.45 0.3 2.7 0.6], [0.2 1e-9]);
  expect_equal([p; q], [3 1 1 1 8 1; 1 3 2 3 3 2], 'tol 0.2 as first element');
  [p, q] = rational_approx([2.7 pi], 0.75);
  expect_equal([p; q], [2 3; 1 1], 'flat case');
  [p, q] = rational_approx(pi, 0);
  expect_equal([p q], [245850922 78256779], 'pi with tol 0');
  expect_equal(p / q, pi, 'pi with tol 0 reproduces pi');

  % Integers over 1, non-finite values and degenerate tolerances.
  [p, q] = rational_approx([-7 0 3 1e300], 0);
  expect_equal([p; q], [-7 0 3 1e300; 1 1 1 1], 'integers');
  [p, q] = rational_approx([NaN Inf -Inf 2.5 -2.5 0.3 0.7], -Inf);
  expect_equal([p; q], [NaN Inf -Inf 3 -2 0 1; 1 1 1 1 1 1 1], 'tol -Inf');
  for t = {NaN, Inf}
    [p, q] = rational_approx([pi -pi 0.5], t{1});
    expect_equal([p; q], [3 -4 0; 1 1 1], 'tol NaN or Inf');
  end
  [p, q] = rational_approx([3 -3 0], -1);
  expect_equal([p; q], [Inf -Inf NaN; Inf Inf Inf], 'negative tol, zero remainder');
  % No convergent within tol: 0, below the rounding error, or negative.
  for c = {1 - eps/2, 0; 1 - eps/2, 1e-16; 3, -2^53 - 2}'
    [p, q] = rational_approx(c{1}, c{2});
    expect_equal([p q], [Inf Inf], sprintf('%.17g with tol %g', c{1}, c{2}));
  end
  % A negative tol for which tol + 1 rounds back to tol acts as -Inf.
  v = [NaN Inf -Inf 2.5 -2.5 0.3 0.7 3];
  [p_inf, q_inf] = rational_approx(v, -Inf);
  for t = {-2^53 - 4, -2^54, -1e300}
    [p, q] = rational_approx(v, t{1});
    expect_equal([p; q], [p_inf; q_inf], sprintf('tol %.17g', t{1}));
  end

  % Tolerances of other real numeric classes are read by value.
  for t = {uint8(1), int64([1 -5]), single(1), int16(1)}
    [p, q] = rational_approx([2.5 -0.25 3], t{1});
    expect_equal([p; q], [2 -1 3; 1 1 1], sprintf('tol of class %s', class(t{1})));
  end

  % Shapes and class follow values.
  rand('seed', 4);
  for shape = {[1 1], [1 7], [7 1], [3 4], [2 3 4], [1 1 1 5]}
    v = (rand(shape{1}) - 0.5) * 100;
    [p, q] = rational_approx(v, 1e-3);
    expect_equal(size(p), size(v), 'numerator shape');
    expect_equal(size(q), size(v), 'denominator shape');
    expect_equal(class(p), 'double', 'numerator class');
    if any(abs(p(:) ./ q(:) - v(:)) > 2e-3)
      error('test_rational_approx: result outside twice the tolerance');
    end
  end

  % Empty values: two empty copies of its size.
  for shape = {[0 0], [1 0], [0 3], [2 0 4]}
    [p, q] = rational_approx(zeros(shape{1}), 1e-6);
    expect_equal(p, zeros(shape{1}), 'empty numerators');
    expect_equal(q, zeros(shape{1}), 'empty denominators');
  end

  % Messages, in the order the checks run.
  expect_error(@() rational_approx(1), 'Two input arguments required . . .');
  expect_error(@() rational_approx(1, 2, 3), 'Two input arguments required . . .');
  expect_error(@() rational_approx(single(1)), 'Two input arguments required . . .', 0);
  expect_error(@() rational_approx(1, 1e-6), 'Two output arguments required . . .');
  expect_error(@() rational_approx(single(1), []), 'Two output arguments required . . .', 0);
  expect_error(@() three_out(1, 1e-6), 'Two output arguments required . . .');
  for bad = {single(0.5), int32(3), 'abc', complex(1, 2), sparse([0.5 0]), true, {0.5}, zeros(0, 0, 'single')}
    expect_error(@() two_out(bad{1}, []), 'values must be a real, full double array . . .');
  end
  for bad = {[], zeros(1, 0), true, {1}, complex(1, 1), 'a', sparse(1)}
    expect_error(@() two_out([0.5 0.25], bad{1}), 'tol must be a non-empty real numeric array . . .');
  end
  expect_error(@() two_out([], []), 'tol must be a non-empty real numeric array . . .');
  printf('test_rational_approx: all checks passed\n');
end

function p = two_out(v, t)
  [p, q] = rational_approx(v, t);
end

function p = three_out(v, t)
  [p, q, r] = rational_approx(v, t);
end
