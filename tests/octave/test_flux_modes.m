function test_flux_modes()
  % FLUX_MODES against the classical route (SPLIT_FLUX_MODES: reversible
  % reactions split, EXTREME_RAYS, cycles of the splits dropped) on
  % hand-made networks with known modes and on random ones, with and
  % without compression, on one and two threads, in each order; the
  % published count of ecoli5010 from its SBML file (in the folder that
  % BITS_NETWORKS_DIR names; skipped when it is not there); bad input.
  networks = getenv('BITS_NETWORKS_DIR');

  % name, S, reversible, number of modes (the known answer)
  cases = {
    'reversible cycle (a line in the flux cone)', [1 -1 0; 0 1 -1], [1 1 1], 1
    'chain with a reversible branch', [1 -1 0 0 0 0; 0 1 -1 0 -1 0; 0 0 1 -1 0 0; 0 0 0 0 1 -1], [0 0 0 0 1 1], 3
    'dead end and blocked reaction', [1 -1 0 0; 0 1 -1 0; 0 0 0 1], [0 0 0 0], 1
    'coupled reactions in ratio 2', [1 -2 0; 0 2 -1], [0 0 0], 1
    'coupled with opposite irreversible signs (blocked)', [1 1], [0 0], 0
    'parallel routes and a reversible loop', [1 -1 -1 0 0 0; 0 1 1 -1 -1 1; 0 0 0 1 0 -1], [0 0 0 1 0 1], 3
    'rational stoichiometry', [1 -0.5 0; 0 1 -1], [0 1 0], 1
  };
  for k = 1:size(cases, 1)
    [name, S, rev, count] = cases{k, :};
    rev = logical(rev);
    ref = split_flux_modes(S, rev);
    for compress = [true false]
      if ~compress && any(S(:) ~= round(S(:)))
        continue;
      end
      E = flux_modes(S, rev, 'compress', compress, 'threads', 2);
      expect_equal(double(E), double(ref), sprintf('%s (compress %d)', name, compress));
    end
    expect_equal(size(ref, 2), count, sprintf('%s: the known number of modes', name));
  end

  % Random networks: every order, one and two threads.
  rand('seed', 3);
  randn('seed', 3);
  compared = 0;
  for trial = 1:40
    [S, rev] = random_network([3 7], 14, 0.45);
    ref = split_flux_modes(S, rev);
    order = {'mostzeros', 'fewestpairs', 'input', 'irreversiblefirst', 'irreversiblezeros'}{mod(trial, 5) + 1};
    E = flux_modes(S, rev, 'order', order, 'threads', 1 + mod(trial, 2), 'leaf_size', randi([1 8]));
    expect_equal(double(E), double(ref), sprintf('random network %d (%s)', trial, order));
    compared = compared + size(ref, 2);
  end
  if compared < 300
    error('test_flux_modes: only %d modes compared on random networks', compared);
  end

  % Progress: a first line naming the compressed size, then one per step.
  S = cases{2, 2};
  text = evalc('flux_modes(S, logical([0 0 0 0 1 1]), ''progress'', true);');
  if isempty(regexp(text, '^flux_modes: 6 reactions .* compressed to \d+ reactions', 'once')) || ...
     isempty(strfind(text, 'candidate pairs'))
    error('test_flux_modes: progress printed %s', text);
  end

  % The published network, read from its SBML file.
  if ~isempty(networks) && exist(fullfile(networks, 'ecoli5010.xml'), 'file')
    [E, names, info] = flux_modes(fullfile(networks, 'ecoli5010.xml'));
    expect_equal(size(E), [68 5011], 'ecoli5010: 5,011 modes of its 68 reactions');
    expect_equal(numel(names.reactions), 68, 'ecoli5010: reaction names');
    [S, rev] = sbml_read(fullfile(networks, 'ecoli5010.xml'));
    expect_equal(double(E), double(split_flux_modes(S, rev)), 'ecoli5010 against the split network');
    printf('test_flux_modes: ecoli5010 compressed to %d reactions, %d modes in %.2f s\n', ...
           info.compressed_reactions, info.modes, info.time);
  else
    printf('test_flux_modes: ecoli5010 skipped (no shared networks folder)\n');
  end

  % Bad input.
  expect_error(@() flux_modes([1 -1]), 'give REVERSIBLE, one logical per reaction, after S');
  expect_error(@() flux_modes([1 -1], [true false true]), 'one logical per reaction (2)');
  expect_error(@() flux_modes(zeros(2, 0), false(1, 0)), 'the network has no reactions');
  expect_error(@() flux_modes([1 -1], [false false], 'order', 'random'), ...
               'order must be ''irreversiblezeros'', ''irreversiblefirst'', ''fewestpairs'', ''mostzeros'' or ''input''');
  missing = [tempname() '.xml'];
  expect_error(@() flux_modes(missing), sprintf('Cannot read the file ''%s'' . . .', missing));
  printf('test_flux_modes: %d hand-made networks and 40 random ones (%d modes) as by the split network\n', ...
         size(cases, 1), compared);
end
