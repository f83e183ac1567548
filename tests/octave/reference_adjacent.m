function adjacent = reference_adjacent(R, j_comb)
  % REFERENCE_ADJACENT  The exhaustive test: pair (a, b) is adjacent when no
  % column of R other than a and b lies inside the union of the two.
  [M, N] = size(R);
  n_comb = size(j_comb, 2);
  adjacent = zeros(n_comb, 1, 'uint8');
  block = max(1, floor(1e6 / max(N, 1)));
  for first = 1:block:n_comb
    k = first:min(first + block - 1, n_comb);
    a = fix(double(j_comb(1, k))) + 1;
    b = fix(double(j_comb(2, k))) + 1;
    n = numel(k);
    outside = bitcmp(bitor(R(:, a), R(:, b)));
    % Every column against every pair of the block, as an N x n table.
    cols = repmat(1:N, 1, n);
    pairs = reshape(repmat(1:n, N, 1), 1, []);
    inside = reshape(all(bitand(R(:, cols), outside(:, pairs)) == 0, 1), N, n);
    inside(sub2ind([N, n], a, 1:n)) = false;
    inside(sub2ind([N, n], b, 1:n)) = false;
    adjacent(k) = !any(inside, 1);
  end
end
