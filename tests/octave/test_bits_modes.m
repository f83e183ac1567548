function test_bits_modes()
  % The program bits_modes (path in BITS_MODES) against FLUX_MODES: the
  % same modes (the file in the order they are found, FLUX_MODES in
  % lexicographic order: compared sorted), for ecoli5010 from its SBML file (in
  % BITS_NETWORKS_DIR), whole and with a reaction removed, and for random
  % networks (RANDOM_NETWORK, some with rational coefficients) given as a
  % stoichiometric matrix and a reversibility file, in every order.
  program = getenv('BITS_MODES');
  networks = getenv('BITS_NETWORKS_DIR');
  if isempty(program)
    error('test_bits_modes: BITS_MODES does not name the program');
  end
  out = [tempname() '.txt'];
  stoich = [tempname() '.txt'];
  revfile = [tempname() '.txt'];
  cleanup = onCleanup(@() cellfun(@unlink, {out, stoich, revfile}, 'UniformOutput', false));  % no error where absent

  file = fullfile(networks, 'ecoli5010.xml');
  if exist(file, 'file') == 2
    ecoli5010(program, file, out);
  else
    printf('test_bits_modes: ecoli5010 skipped (no %s: the shared networks)\n', file);
  end
  random_networks(program, out, stoich, revfile);
end

function ecoli5010(program, file, out)
  [S, rev, reactions] = sbml_read(file);
  E = flux_modes(file, 'threads', 2);
  expect_equal(sortrows(run_program(program, sprintf('-t 2 -o %s %s', out, file), out, 68)), E', 'ecoli5010');
  % The same modes through an HDF5 file and READ_MODES, whole and in runs
  % (where the program writes HDF5; else -o FILE.h5 must say so).
  h5 = [tempname() '.h5'];
  [~, help_text] = system([program ' --help']);
  if isempty(strfind(help_text, 'HDF5 (not in this build)'))
    run_program(program, sprintf('-t 2 -o %s %s', h5, file), '', 68);
    [F, ids, info] = read_modes(h5);
    expect_equal(sortrows(F')', E, 'ecoli5010 through read_modes');
    expect_equal(ids, reactions(:), 'ecoli5010: the reaction ids of the file');
    expect_equal(info.modes, 5011, 'ecoli5010: the count of the file');
    expect_equal(read_modes(h5, 4001, 1011), F(:, 4001:end), 'ecoli5010: modes 4001 to the end');
    expect_equal(read_modes(h5, 5011, 0), zeros(68, 0, 'int64'), 'ecoli5010: no modes');
    expect_error(@() read_modes(h5, 5000, 13), 'FIRST and COUNT must pick modes within the 5011 in the file');
    expect_error(@() read_modes(h5, 0, 1), 'FIRST and COUNT must pick modes within the 5011 in the file');
    expect_error(@() read_modes([h5 '.partial']), 'is the file of a run that did not finish');
    index_of_classes(h5, F);
    unlink(h5);
  else
    [status, text] = system(sprintf('%s -o %s %s 2>&1', program, h5, file));
    if status == 0 || isempty(strfind(text, 'HDF5 output is not available in this build'))
      error('test_bits_modes: -o FILE.h5 without HDF5 said: %s', text);
    end
  end
  % Without the first reversible reaction.
  k = find(rev, 1);
  keep = [1:k - 1, k + 1:size(S, 2)];
  E = flux_modes(S(:, keep), rev(keep), 'threads', 1);
  expect_equal(sortrows(run_program(program, sprintf('-t 1 --remove %s -o %s %s', reactions{k}, out, file), out, 67)), E', ...
               sprintf('ecoli5010 without %s', reactions{k}));
end

% An index of a run in classes (as bits_modes_mpi writes it) over two copies
% of the file: read as one run, across the files' boundary, and refused
% while incomplete or where a file's count is not the index's.
function index_of_classes(h5, F)
  stem = tempname();
  [~, name] = fileparts(stem);
  copyfile(h5, [stem '.0.h5']);
  copyfile(h5, [stem '.1.h5']);
  cleanup = onCleanup(@() cellfun(@unlink, {[stem '.0.h5'], [stem '.1.h5'], [stem '.index']}, 'UniformOutput', false));
  head = sprintf('bits_modes classes 1\nsplit R_X\nstarted 0 rank 1\ndone 0 modes 5011 candidates 9 hash 0 file %s.0.h5\n', name);
  fid = fopen([stem '.index'], 'w');
  fprintf(fid, '%sstarted 1 rank 2\n', head);
  fclose(fid);
  expect_error(@() read_modes([stem '.index']), 'is the index of a run that did not finish');
  for n = [5011 5010]
    fid = fopen([stem '.index'], 'w');
    fprintf(fid, '%sdone 1 modes %d candidates 9 hash 0 file %s.1.h5\ncomplete classes 2 modes %d hash 0\n', ...
            head, n, name, 5011 + n);
    fclose(fid);
    if n == 5011
      [G, ~, info] = read_modes([stem '.h5']);
      expect_equal(G, [F, F], 'two class files through their index');
      expect_equal(info.modes, 10022, 'the count of the index');
      expect_equal(read_modes([stem '.index'], 5001, 20), [F(:, 5001:end), F(:, 1:9)], 'modes across two class files');
    else
      expect_error(@() read_modes([stem '.index'], 5011, 2), 'does not hold the 5010 modes of class 1 over the reactions of the index');
    end
  end
end

function random_networks(program, out, stoich, revfile)
  rand('seed', 25);
  randn('seed', 25);
  orders = {'irreversiblefirst', 'fewestpairs', 'mostzeros', 'input', 'irreversiblezeros'};
  compared = 0;
  for trial = 1:24
    [P, rev] = random_network([3 7], 14, 0.45);
    Q = ones(size(P));
    if mod(trial, 3) == 0
      Q = 1 + (rand(size(P)) < 0.3) .* randi([1 2], size(P));
    end
    write_text(stoich, P, Q);
    fid = fopen(revfile, 'w');
    fprintf(fid, '%d ', rev);
    fclose(fid);
    order = orders{mod(trial, numel(orders)) + 1};
    E = flux_modes(P ./ Q, rev, 'order', order, 'threads', 1);
    got = run_program(program, sprintf('-t %d --order %s -o %s %s %s', 1 + mod(trial, 2), order, out, ...
                                      stoich, revfile), out, size(P, 2));
    expect_equal(sortrows(got), E', sprintf('random network %d (%s)', trial, order));
    compared = compared + size(E, 2);
  end
  if compared < 150
    error('test_bits_modes: only %d modes compared on random networks', compared);
  end
  printf('test_bits_modes: 24 random networks (%d modes) as flux_modes gives them\n', compared);
end

function E = run_program(program, arguments, out, n)
  % The modes of N reactions that the program writes to OUT (a text file),
  % one per row (int64), after checking its last line of output against
  % their number.
  [status, text] = system(sprintf('%s %s', program, arguments));
  if status ~= 0
    error('test_bits_modes: %s %s failed: %s', program, arguments, text);
  end
  lines = strsplit(strtrim(text), "\n");
  if ~strcmp(out(max(1, end - 3):end), '.txt')  % another file: only the count
    E = [];
    return;
  elseif isempty(fileread(out))
    E = zeros(0, n, 'int64');
  else
    E = int64(load(out));
  end
  if ~strcmp(lines{end}, sprintf('%d modes', size(E, 1)))
    error('test_bits_modes: the program said "%s" and wrote %d modes', lines{end}, size(E, 1));
  end
end

function write_text(file, P, Q)
  % S = P ./ Q as text, fractions p/q where q > 1.
  fid = fopen(file, 'w');
  for i = 1:size(P, 1)
    for j = 1:size(P, 2)
      if Q(i, j) == 1 || P(i, j) == 0
        fprintf(fid, '%d ', P(i, j));
      else
        fprintf(fid, '%d/%d ', P(i, j), Q(i, j));
      end
    end
    fprintf(fid, '\n');
  end
  fclose(fid);
end
