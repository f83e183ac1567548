function adjacent = reference_adjacent(R, j_comb)
  % REFERENCE_ADJACENT  The exhaustive test: pair (a, b) is adjacent when no
  % column of R other than a and b lies inside the union of the two.
  n_comb = size(j_comb, 2);
  adjacent = zeros(n_comb, 1, 'uint8');
  N = size(R, 2);
  for i = 1:n_comb
    a = fix(double(j_comb(1, i))) + 1;
    b = fix(double(j_comb(2, i))) + 1;
    in = all(bitand(R, repmat(bitcmp(bitor(R(:, a), R(:, b))), 1, N)) == 0, 1);
    in([a b]) = false;
    adjacent(i) = !any(in);
  end
end
