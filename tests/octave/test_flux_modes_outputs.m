function test_flux_modes_outputs()
  % FLUX_MODES' output forms against its dense modes on random networks
  % (RANDOM_NETWORK, some with rational coefficients): 'compressed'
  % expanded back, 'count', and a file written as the modes come and read
  % back by READ_MODES in runs (through MODE_FILE, whose file is refused
  % while unfinished); and the option's checks.
  have_file = exist('mode_file') ~= 0;
  if ~have_file && ~isempty(getenv('BITS_FULL_TEST'))
    error('test_flux_modes_outputs: mode_file was not built');
  end
  file = [tempname() '.h5'];
  cleanup = onCleanup(@() unlink(file));
  rand('seed', 5);
  randn('seed', 5);
  modes = 0;
  for trial = 1:12
    [S, rev] = random_network([3 7], 14, 0.45);
    if mod(trial, 3) == 0
      S = S ./ (1 + (rand(size(S)) < 0.3));  % some entries halved
    end
    E = flux_modes(S, rev, 'threads', 1);
    modes = modes + size(E, 2);
    C = flux_modes(S, rev, 'threads', 1, 'output', 'compressed');
    expect_equal(expanded(C), double(E), sprintf('%d: compressed modes expanded', trial));
    expect_equal(flux_modes(S, rev, 'output', 'count'), size(E, 2), sprintf('%d: count', trial));
    if have_file
      expect_equal(flux_modes(S, rev, 'threads', 1, 'output', file), size(E, 2), sprintf('%d: file', trial));
      [F, ids] = read_modes(file);
      % A file holds the modes in the order the run found them.
      expect_equal(sortrows(F')', E, sprintf('%d: the file whole', trial));
      expect_equal(numel(ids), size(S, 2), sprintf('%d: the file''s ids', trial));
      runs = zeros(size(E, 1), 0, 'int64');
      for first = 1:3:size(E, 2)
        runs = [runs, read_modes(file, first, min(3, size(E, 2) - first + 1))];
      end
      expect_equal(runs, F, sprintf('%d: the file in runs of 3', trial));
    end
  end
  if have_file
    copyfile(file, [file '.partial']);
    expect_error(@() read_modes([file '.partial']), 'is the file of a run that did not finish');
    unlink([file '.partial']);
    expect_error(@() mode_file('read', file, 1, size(E, 2) + 1), ...
                 sprintf('first and count must pick modes within the %d in the file . . .', size(E, 2)));
  end
  expect_error(@() flux_modes([1 -1], [false false], 'output', 'compressed', 'file', file), ...
               'give either ''file'' or an output other than a file, not both');
  expect_error(@() flux_modes([1 -1], [false false], 'output', 'file'), 'output ''file'' needs the file name: ''file'', NAME');
  printf('test_flux_modes_outputs: 12 random networks (%d modes) in every output form\n', modes);
end

function E = expanded(C)
  % The compressed modes on the network's reactions, exactly, each divided by
  % the gcd of its entries.
  [i, g, c] = find(C.expansion);
  E = zeros(size(C.expansion, 1), size(C.modes, 2), 'int64');
  E(i, :) = int64(c) .* C.modes(g, :);
  for k = 1:size(E, 2)
    d = double(E(:, k));
    f = 0;
    for v = d(d ~= 0)'
      f = gcd(f, abs(v));
    end
    E(:, k) = int64(d / max(f, 1));
  end
  E = double(E);
end
