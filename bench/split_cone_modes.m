function E = split_cone_modes(X, n, r)
  % SPLIT_CONE_MODES  Extreme rays of the split cone (the columns of X) as modes of the
  % network: forward minus backward, cycles dropped, a reversible mode once
  % (first non-zero entry positive), columns sorted.
  E = X(1:n, :);
  E(r, :) = E(r, :) - X(n + 1:end, :);
  E = E(:, any(E ~= 0, 1));
  irreversible = true(n, 1);
  irreversible(r) = false;
  for j = find(all(E(irreversible, :) == 0, 1))
    if E(find(E(:, j), 1), j) < 0
      E(:, j) = -E(:, j);
    end
  end
  E = sortrows(unique(E', 'rows'))';
end
