function test_argument_fuzz()
  % Every plug-in called with random mixes of argument counts, classes and
  % shapes: each call must either return or raise an error ending in " . . .";
  % none may crash Octave or hang. Fixed seed, so a failure can be replayed.
  rand('seed', 7);
  pool = {[], zeros(0, 3), 0, 1, -1, 2.9, NaN, Inf, 1e300, uint32(0), uint32(1), uint32(7), ...
          uint32([0; 1]), uint32([0 1; 1 0]), uint32(floor(rand(3, 5) * 2^32)), ...
          uint32(floor(rand(2, 4) * 2^32)), uint64([0; 1]), uint64([0 1; 0 1]), uint64([1; 0]), ...
          uint8(3), int8(-1), uint16(2), uint16([]), single(1), true, 'abc', '', {}, {1}, ...
          struct('a', 1), sparse([1 0; 0 1]), 1 + 2i, uint32([1 2 3]), [0 1; 1 2], ...
          zeros(2, 0, 'uint32'), ones(2, 3, 2), uint32([1; 2; 3]), uint32([1 2]), uint32(2), ...
          int64([1 -2]), int64([1 0; 0 1]), int64([3; -1; 2]), int64([2^62 -2^62; 1 2^40]), ...
          zeros(0, 2, 'int64'), int64(intmin('int64'))};
  names = {'bits_within', 'pair_screen', 'rational_approx', 'disk_sync', 'pattern_tree', ...
           'candidate_pairs', 'ray_signs', 'ray_combine', 'integer_null_space', 'network_compression', ...
           'flux_modes_pipeline'};
  n_in = [4 6 2 1 2 5 2 3 1 2 4];   % the counts each plug-in takes; used most of the time,
  n_out = [1 1 2 0 3 1 1 1 2 3 1];  % so that most calls reach the checks past the counts
  calls = 0;
  returned = 0;
  for trial = 1:5000
    k = randi(numel(names));
    name = names{k};
    nin = n_in(k);
    nout = n_out(k);
    if rand() < 0.2
      nin = randi([0 7]);
    end
    if rand() < 0.2
      nout = randi([0 2]);
    end
    args = pool(randi(numel(pool), 1, nin));
    f = str2func(name);
    try
      if nout == 0
        f(args{:});
      else
        out = cell(1, nout);
        [out{:}] = f(args{:});
      end
      returned = returned + 1;
    catch err
      if !endsWith(err.message, ' . . .')
        error('test_argument_fuzz:message', '%s with %d inputs, %d outputs: unexpected error "%s"', ...
              name, nin, nout, err.message);
      end
    end
    calls = calls + 1;
  end
  printf('test_argument_fuzz: %d calls, %d returned, the rest ended in argument errors\n', ...
         calls, returned);
end
