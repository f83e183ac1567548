function text = compression_cases()
  % COMPRESSION_CASES  Networks and what COMPRESS_NETWORK makes of them, as
  % text: the fixture tests/data/compression_cases.txt, written when
  % COMPRESS_NETWORK was M-code, which the C++ compression
  % (core/network_compression.h, the plug-in NETWORK_COMPRESSION) is tested
  % against. The networks: a few made by hand, the 40 random ones of
  % test_flux_modes, larger sparse ones (chains of coupled reactions,
  % several rounds of blocking) and ones with rational coefficients p/q.
  %
  % Each case: "network M N", S (M rows, entries "p" or "p/q"), the
  % reversible flags; "compressed ROWS COLUMNS", the compressed S, its
  % reversible flags, E (N rows), the kept metabolites (1-based), and
  % "blocked merged".
  hand = {
    [1 -1 0 -1; 0 2 -1 0; 0 0 0 1], [0 0 0 1]
    [1 -1 0; 0 1 -1], [1 1 1]
    [1 1], [0 0]
    [1 -2 0; 0 2 -1], [0 0 0]
    [1 -1 -1 0 0 0; 0 1 1 -1 -1 1; 0 0 0 1 0 -1], [0 0 0 1 0 1]
    [1 -1 0 0; 0 1 -1 0; 0 0 0 1], [0 0 0 0]
  };
  text = '';
  for k = 1:size(hand, 1)
    text = [text, one_case(hand{k, 1}, ones(size(hand{k, 1})), logical(hand{k, 2}))];
  end
  rand('seed', 3);
  randn('seed', 3);
  for trial = 1:40  % as test_flux_modes draws them
    [S, rev] = random_network([3 7], 14, 0.45);
    text = [text, one_case(S, ones(size(S)), rev)];
  end
  rand('seed', 11);
  randn('seed', 11);
  for trial = 1:60
    [S, rev] = random_network([6 14], 30, 0.22);
    text = [text, one_case(S, ones(size(S)), rev)];
  end
  for trial = 1:30
    [S, rev] = random_network([3 8], 16, 0.4);
    q = 1 + (rand(size(S)) < 0.3) .* randi([1 3], size(S));
    text = [text, one_case(S, q, rev)];
  end
end

function text = one_case(P, Q, rev)
  % The network S = P ./ Q and its compression, as text.
  S = P ./ Q;
  [m, n] = size(S);
  text = sprintf('network %d %d\n', m, n);
  for i = 1:m
    row = arrayfun(@(p, q) entry(p, q), P(i, :), Q(i, :), 'UniformOutput', false);
    text = [text, strjoin(row, ' '), sprintf('\n')];
  end
  text = [text, numbers(double(rev))];
  net = compress_network(S, rev);
  [~, info] = compress_network(S, rev);
  [rows, columns] = size(net.S);
  text = [text, sprintf('compressed %d %d\n', rows, columns)];
  for i = 1:rows
    text = [text, numbers(net.S(i, :))];
  end
  text = [text, numbers(double(net.reversible))];
  for j = 1:n
    text = [text, numbers(net.E(j, :))];
  end
  text = [text, numbers(net.metabolites), numbers([info.blocked, info.merged])];
end

function s = entry(p, q)
  if q == 1 || p == 0
    s = sprintf('%d', p);
  else
    s = sprintf('%d/%d', p, q);
  end
end

function s = numbers(v)
  s = [strtrim(sprintf('%d ', v)), sprintf('\n')];
end
