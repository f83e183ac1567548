function E = split_flux_modes(S, reversible)
  % The elementary flux modes of a network by the classical route, as a
  % reference: every reversible reaction split into two irreversible ones,
  % the extreme rays of that pointed cone by EXTREME_RAYS, mapped back
  % (forward minus backward), the two-reaction cycles of the splits
  % dropped and each reversible mode kept in the direction whose first
  % non-zero entry is positive; columns sorted.
  n = size(S, 2);
  r = find(reversible);
  Ssplit = [S, -S(:, r)];
  m = n + numel(r);
  X = extreme_rays(eye(m), 'equalities', Ssplit, 'threads', 1);
  E = X(1:n, :);
  E(r, :) = E(r, :) - X(n + 1:end, :);
  E = E(:, any(E ~= 0, 1));
  irreversible_zero = all(E(~reversible, :) == 0, 1);
  for j = find(irreversible_zero)
    k = find(E(:, j), 1);
    if E(k, j) < 0
      E(:, j) = -E(:, j);
    end
  end
  E = unique(E', 'rows')';
  E = sortrows(E')';
end
