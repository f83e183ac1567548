function [E, names, info] = flux_modes(S, varargin)
%FLUX_MODES  Elementary flux modes of a metabolic network, exactly.
%
%   E = FLUX_MODES(S, REVERSIBLE)
%   E = FLUX_MODES('model.xml')
%   [E, NAMES, INFO] = FLUX_MODES(..., NAME, VALUE, ...)
%   N = FLUX_MODES(..., 'output', 'modes.h5')
%
%   The elementary flux modes (EFMs) of the network with stoichiometric
%   matrix S (internal metabolites x reactions) and reversible reactions
%   REVERSIBLE (logical, one per reaction): the flux vectors x with S*x = 0
%   and x >= 0 on every irreversible reaction whose support (the reactions
%   with x ~= 0) holds the support of no other such vector. E is an int64
%   matrix with one EFM per column (one row per reaction of the network),
%   its entries coprime integers, the columns in lexicographic order. A
%   reversible mode (one that uses reversible reactions only) is returned
%   once, in the direction whose first non-zero entry is positive. Every
%   entry is exact; a mode that needs entries beyond the int64 range ends
%   the call with an error, never with a rounded mode.
%
%   With a file name, the network is read from an SBML file (level 2 or 3,
%   with the fbc package or without) by SBML_READ: the internal metabolites
%   are the species with boundaryCondition false, and a reaction is
%   reversible when its reversible attribute says so or its lower flux bound
%   is negative. NAMES then holds the reaction and metabolite identifiers
%   (fields reactions and metabolites, cell arrays); called with S, NAMES
%   holds numbered names.
%
%   S holds integers or rationals p/q (q <= 2^24, as for EXTREME_RAYS).
%
%   Method, all in one call of the compiled FLUX_MODES_PIPELINE (the
%   network crosses into it once, the modes come back once, straight into
%   E): the network is compressed first (as COMPRESS_NETWORK: blocked
%   reactions removed, reactions that always carry flux in a fixed ratio
%   merged, exactly); then the double description method runs on the
%   compressed network, in the nullspace form: its initial rays are an
%   integer basis of the null space of the compressed S, and each further
%   reaction is added as one row, the
%   reversible ones without being split (they keep both signs, and two modes
%   that use a reversible reaction in opposite directions are never
%   combined). Each mode is held as its d coordinates in the null space
%   basis, not as its fluxes on every reaction. Candidate pairs are screened
%   as they are found, never stored, so a step needs memory for its modes
%   and the new ones only. At the end the modes are expanded back to the
%   original reactions, oriented and ordered a few thousand at a time, each
%   piece written into E (or the file) as it is done.
%   Ctrl-C stops a running call within a fraction of a second, with an
%   error, its memory freed.
%
%   Options (name, value)
%     'threads'   OpenMP threads (default: the processor count)
%     'order'     the order in which reactions are added:
%                 'irreversiblezeros' (default: the irreversible reactions
%                 first, then the reversible ones, each part with the
%                 reactions whose null space rows have the most zeros
%                 first), 'irreversiblefirst' (at each step, of the
%                 irreversible reactions left, the one with the fewest pairs
%                 of modes of opposite signs; the reversible ones after them
%                 alike), 'fewestpairs' (the same over all reactions),
%                 'mostzeros' (the reactions whose null space rows have the
%                 most zeros first), 'input' (as the compressed network has
%                 them). Irreversible reactions drop the modes on their
%                 negative side, reversible ones only add: added first, the
%                 irreversible ones keep the modes in between few. On
%                 EColiCore2, two threads: 2.6 million modes after 31 of 37
%                 steps and 2 minutes, against 25 million after 50 minutes
%                 with 'fewestpairs'. On EColiCore2 with glucose, one
%                 thread, 'irreversiblezeros' takes 0.63-0.70 of the time of
%                 'irreversiblefirst' (fewer candidate pairs, 8% more
%                 memory); on small networks it can take 10% longer.
%     'progress'  true: print one line per step (step, modes, candidate
%                 pairs, adjacent pairs, time), after a first line with the
%                 size of the compressed network (default false)
%     'memory'    memory budget in bytes for the modes, the new ones and
%                 the pattern trees of a step (default: 90% of the
%                 physical memory); a step that would need more ends the
%                 call with an error naming the step and what it needs
%     'leaf_size' leaf size of the pattern trees (default 64)
%     'compress'  false: skip the compression (default true)
%     'output'    what E is:
%                 'dense' (default) the modes, as above;
%                 'compressed' a struct with fields modes (int64, one mode
%                 per column on the reactions of the compressed network, in
%                 the same order and direction) and expansion (sparse
%                 double, reactions x compressed reactions, as NET.E of
%                 COMPRESS_NETWORK), so that E = expansion * double(modes)
%                 (each column divided by the gcd of its entries, which is
%                 1 unless S has rational entries); exactly, in int64:
%                 [i, g, c] = find(expansion); E = zeros(n, size(modes, 2),
%                 'int64'); E(i, :) = int64(c) .* modes(g, :). Often several
%                 times less memory than the dense modes;
%                 'count' the number of modes only (double), without
%                 expanding them;
%                 a file name (any other text, e.g. 'modes.h5'): the modes
%                 are written to that HDF5 file as they come, never all in
%                 memory, in the layout of the program bits_modes (READ_MODES
%                 reads it back in runs), and E is their number. The file
%                 holds them in the order the run found them, not in the
%                 order above. The file
%                 appears only once every mode is in it (FILE.partial
%                 until then). Needs the plug-in MODE_FILE, built where
%                 libhdf5 is found (not in the Windows build).
%     'file'      the same as 'output' with a file name
%
%   INFO fields: modes (number found), reactions, metabolites (of the
%   network), compressed_reactions, compressed_metabolites, reversible
%   (compressed reversible reactions), dimension (of the null space),
%   steps, pairs (candidate pairs screened), adjacent, rejected (pairs that
%   failed the count or sign test), largest (most candidate pairs in one
%   step), max_modes (most modes held at once), peak_bytes (of the double
%   description), time (seconds, the whole call), dd_time (seconds of the
%   double description alone).
%
%   Example
%     % r1: -> A, r2: A -> B, r3: B -> C, r4: C ->, r5: B <-> D, r6: D <->
%     S = [1 -1 0 0 0 0; 0 1 -1 0 -1 0; 0 0 1 -1 0 0; 0 0 0 0 1 -1];
%     E = flux_modes(S, logical([0 0 0 0 1 1]))
%     % E = [0 1 1; 0 1 1; 1 0 1; 1 0 1; -1 1 0; -1 1 0]
%     % (D taken up through r6 and r5 to leave by r3 and r4; A to D and out
%     % by r6; A through to C and out by r4)
%
%   See also COMPRESS_NETWORK, SBML_READ, READ_MODES, FLUX_MODES_PIPELINE,
%   MODE_FILE, EXTREME_RAYS.

  t_start = tic;
  source = '';
  if ischar(S)
    file = S;
    source = file;
    [S, reversible, reactions, metabolites] = sbml_read(file);
    options = varargin;
  else
    if isempty(varargin)
      error('flux_modes: give REVERSIBLE, one logical per reaction, after S');
    end
    reversible = varargin{1};
    options = varargin(2:end);
    reactions = arrayfun(@(j) sprintf('R%d', j), (1:size(S, 2))', 'UniformOutput', false);
    metabolites = arrayfun(@(j) sprintf('M%d', j), (1:size(S, 1))', 'UniformOutput', false);
  end
  names = struct('reactions', {reactions}, 'metabolites', {metabolites});
  opt = struct('threads', [], 'order', 'irreversiblezeros', 'progress', false, 'memory', 0, ...
               'leaf_size', 64, 'compress', true, 'output', 'dense', 'file', '');
  if mod(numel(options), 2) ~= 0
    error('flux_modes: options come as name, value pairs');
  end
  for k = 1:2:numel(options)
    name = options{k};
    if ~ischar(name) || ~isfield(opt, name)
      error('flux_modes: unknown option');
    end
    opt.(name) = options{k + 1};
  end
  if isempty(opt.threads)
    if exist('OCTAVE_VERSION', 'builtin')
      opt.threads = nproc;
    else
      opt.threads = maxNumCompThreads;
    end
  end
  if ~(isnumeric(S) || islogical(S)) || ~ismatrix(S) || ~isreal(S)
    error('flux_modes: S must be a real numeric matrix');
  end
  [m, n] = size(S);
  if n == 0
    error('flux_modes: the network has no reactions');
  end
  if ~(islogical(reversible) || isnumeric(reversible)) || numel(reversible) ~= n
    error('flux_modes: REVERSIBLE must hold one logical per reaction (%d)', n);
  end
  reversible = logical(reversible(:)');
  orders = {'irreversiblefirst', 'fewestpairs', 'mostzeros', 'input', 'irreversiblezeros'};
  order = find(strcmp(opt.order, orders)) - 1;
  if ~ischar(opt.order) || isempty(order)
    error(['flux_modes: order must be ''irreversiblezeros'', ''irreversiblefirst'', ''fewestpairs'', ' ...
           '''mostzeros'' or ''input''']);
  end
  if ~ischar(opt.output) || isempty(opt.output) || ~ischar(opt.file)
    error('flux_modes: output must be ''dense'', ''compressed'', ''count'' or a file name');
  end
  output = opt.output;
  if ~isempty(opt.file)
    if ~any(strcmp(output, {'dense', 'file'}))
      error('flux_modes: give either ''file'' or an output other than a file, not both');
    end
    output = opt.file;
  elseif strcmp(output, 'file')
    error('flux_modes: output ''file'' needs the file name: ''file'', NAME');
  end
  if isinteger(S) && any(abs(double(S(:))) >= 2^53)
    error('flux_modes: S must hold integers below 2^53');
  end
  S = full(double(S));
  settings = [opt.leaf_size, order, logical(opt.progress), opt.memory, logical(opt.compress)];
  threads = uint16(opt.threads);

  try
    switch output
      case 'dense'
        [E, row] = flux_modes_pipeline(S, reversible, threads, settings);
      case 'count'
        [E, row] = flux_modes_pipeline(S, reversible, threads, settings, 'count');
      case 'compressed'
        [modes, row, x] = flux_modes_pipeline(S, reversible, threads, settings, 'compressed');
        expansion = sparse(double(x(:, 1)), double(x(:, 2)), double(x(:, 3)), n, size(modes, 1));
        E = struct('modes', modes, 'expansion', expansion);
      otherwise
        if ~exist('mode_file')
          error('flux_modes: writing a modes file needs the plug-in mode_file (built where libhdf5 is found)');
        end
        about = sprintf('flux_modes order=%s leaf_size=%d memory=%d compress=%d', ...
                        opt.order, opt.leaf_size, opt.memory, logical(opt.compress));
        [E, row] = mode_file('write', S, reversible, threads, settings, output, reactions(:), ...
                             metabolites(:), about, source);
    end
  catch err
    % The run's own failures in the words flux_modes has always used;
    % Ctrl-C and the double description's steps as the plug-in says them.
    message = regexprep(err.message, ' \. \. \.$', '');
    if strncmp(message, 'flux_modes:', 11) || strncmp(message, 'Interrupted', 11) || ...
       strncmp(message, 'Step ', 5) || numel(message) < 2
      rethrow(err);
    end
    if isstrprop(message(2), 'lower')
      message(1) = lower(message(1));
    end
    error('flux_modes: %s', message);
  end
  info = struct('modes', row(1), 'reactions', row(2), 'metabolites', row(3), ...
                'compressed_reactions', row(4), 'compressed_metabolites', row(5), ...
                'reversible', row(6), 'dimension', row(7), 'steps', row(8), 'pairs', row(9), ...
                'adjacent', row(10), 'rejected', row(11), 'largest', row(12), 'max_modes', row(13), ...
                'peak_bytes', row(14), 'time', toc(t_start), 'dd_time', row(16));
end
