function C = reference_within(S, R, idx)
  % REFERENCE_WITHIN  The subset table written plainly, bit by bit.
  n = size(S, 2);
  C = zeros(n, numel(idx), 'uint8');
  for i = 1:numel(idx)
    r = R(:, fix(double(idx(i))) + 1);
    for j = 1:n
      C(j, i) = all(bitand(S(:, j), bitcmp(r)) == 0);
    end
  end
end
