function [S, rev] = random_network(m_range, n_max, density)
  % RANDOM_NETWORK  A random metabolic network from the current rand and
  % randn states: M_RANGE(1) to M_RANGE(2) metabolites, M + 2 to N_MAX
  % reactions, each coefficient non-zero with probability DENSITY (small
  % integers of either sign), and each reaction reversible with probability
  % 0.35. The random networks of test_flux_modes and of the compression
  % cases (write_compression_cases) come from here.
  m = randi(m_range);
  n = randi([m + 2, n_max]);
  S = round(randn(m, n) .* (rand(m, n) < density) * 1.3);
  rev = rand(1, n) < 0.35;
end
