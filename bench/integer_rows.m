function S = integer_rows(S)
  % INTEGER_ROWS  Each row scaled to integers: the same steady states, in the same units.
  [p, q] = rational_approx(S, 0);
  L = ones(size(S, 1), 1);
  for j = 1:size(S, 2)
    L = lcm(L, q(:, j));
  end
  S = p .* (L ./ q);
end
