function bench_plugins(repeat)
  % Benchmarks of the plug-ins as Octave code calls them, against the
  % vectorised Octave code a user would write instead. Prints Markdown tables.
  % Times are wall-clock medians of `repeat` calls (default 5).
  if nargin < 1
    repeat = 5;
  end
  n_subset = 20000;
  n_ref = 2000;
  n_expr = 20;   % reference columns timed for the Octave expression (it is slow)

  printf('\n## bits_within in Octave, %d x %d flags, times in ms (median of %d)\n\n', ...
         n_subset, n_ref, repeat);
  printf('The Octave expression is timed on %d reference columns and scaled to %d.\n\n', ...
         n_expr, n_ref);
  printf('The floor is the same call with patterns of no rows (every flag 1, no pattern read):\n');
  printf('what the host spends creating, filling and handing over the output table.\n\n');
  printf('| M | data | plug-in, 1 thread | plug-in, 2 threads | output floor | Octave expression | plug-in / expression [>= 150] | 2 threads / 1 [>= 1.8] |\n');
  printf('|---|---|---|---|---|---|---|---|\n');
  for M = [4 33]
    for deep = [false true]
      rand('seed', 17 + M + deep);
      if deep
        R = random_patterns(M, n_ref, 0.95);
        S = random_patterns(M, n_subset, 0.05);
        name = 'deep';
      else
        R = random_patterns(M, n_ref, 0.3);
        S = random_patterns(M, n_subset, 0.3);
        name = 'random';
      end
      idx = uint32(randperm(n_ref) - 1);

      one = median_time(@() bits_within(S, R, idx, uint16(1)), repeat);
      two = median_time(@() bits_within(S, R, idx, uint16(2)), repeat);
      contained = bits_within(S, R, idx, uint16(1));
      floor_time = median_time(@() bits_within(zeros(0, n_subset, 'uint32'), ...
                                               zeros(0, n_ref, 'uint32'), idx, uint16(1)), repeat);

      expr = median_time(@() octave_table(S, R, idx(1:n_expr)), max(1, floor(repeat / 2)));
      expr = expr * n_ref / n_expr;
      if ~isequal(octave_table(S, R, idx(1:n_expr)), contained(:, 1:n_expr))
        error('bench_plugins: the plug-in and the Octave expression disagree');
      end
      printf('| %d | %s | %.1f | %.1f | %.1f | %.0f | %.0f | %.2f |\n', M, name, 1e3 * one, ...
             1e3 * two, 1e3 * floor_time, 1e3 * expr, expr / one, one / two);
    end
  end
  % rational_approx against Octave's own rat on a million values.
  if exist('rational_approx') == 3
    rand('seed', 5);
    x = rand(1e6, 1) * 10 - 5;
    tol = 1e-6;
    ours = median_time(@() both_outputs(@rational_approx, x, tol), repeat);
    theirs = median_time(@() both_outputs(@rat, x, tol), max(1, floor(repeat / 2)));
    printf('\n## rational_approx in Octave, 1e6 values in [-5, 5), tol = %g, times in ms (median)\n\n', tol);
    printf('| rational_approx | rat | rat / rational_approx [>= 100] |\n|---|---|---|\n');
    printf('| %.1f | %.0f | %.0f |\n', 1e3 * ours, 1e3 * theirs, theirs / ours);
  else
    printf('\n(rational_approx not built: no comparison with rat)\n');
  end
end

function n = both_outputs(f, x, tol)
  % Numerators and denominators, as a caller asks for them.
  [n, d] = f(x, tol);
end

function contained = octave_table(S, R, idx)
  % What a user writes without the plug-in: one vectorised test per column.
  n = size(S, 2);
  contained = zeros(n, numel(idx), 'uint8');
  for i = 1:numel(idx)
    r = R(:, idx(i) + 1);
    contained(:, i) = all(bitand(S, repmat(r, 1, n)) == S, 1)';
  end
end

function P = random_patterns(M, N, density)
  % M x N uint32 patterns whose bits are set with probability `density`.
  P = zeros(M, N, 'uint32');
  weights = 2 .^ (0:31)';
  for c = 1:1000:N
    cols = c:min(N, c + 999);
    bits = rand(32, M * numel(cols)) < density;
    P(:, cols) = reshape(uint32(sum(bits .* weights, 1)), M, numel(cols));
  end
end

function t = median_time(f, repeat)
  x = f();  % warm-up (the plug-ins want their output asked for)
  times = zeros(1, repeat);
  for k = 1:repeat
    start = tic;
    x = f();
    times(k) = toc(start);
  end
  t = median(times);
end
