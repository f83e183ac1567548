function [E, reactions, info] = read_modes(file, first, count)
%READ_MODES  Elementary flux modes from a file that bits_modes wrote (HDF5),
%   all of them or a run of them.
%
%   E = READ_MODES(FILE)
%   E = READ_MODES(FILE, FIRST, COUNT)
%   [E, REACTIONS, INFO] = READ_MODES(...)
%
%   E is an int64 matrix with one mode per column (one row per reaction),
%   as FLUX_MODES returns them: modes FIRST to FIRST + COUNT - 1 (1-based;
%   default: all), in the file's order, which is the order the run found
%   them in, not FLUX_MODES' lexicographic one (sortrows(E')' gives that). REACTIONS holds the reactions' ids (a column cell
%   array). INFO fields: modes (the number in the file), reactions,
%   options and source (as bits_modes was called; MATLAB only).
%
%   A file of a run that did not finish is refused: bits_modes writes
%   FILE.partial and renames it only when every mode is in it, and sets the
%   attribute complete to 1 at the end.
%
%   Only the modes asked for are read (MATLAB: h5read; GNU Octave, which has
%   no h5read: the plug-in MODE_FILE, an HDF5 hyperslab), so a file larger
%   than memory can be read in runs. Where Octave has no MODE_FILE (built
%   only where libhdf5 is found), the whole file is read by load and the run
%   taken from it.
%
%   FILE may also be the index STEM.index of a run in classes
%   (bits_modes_mpi --split K -o STEM.h5), or STEM.h5 where only the index
%   and the class files exist: the modes of the classes' files (beside the
%   index) are then read as one run, in the order of the index's done lines,
%   FIRST and COUNT counting across the files. An index without its
%   complete line (the run stopped or failed; --resume finishes it) is
%   refused, as is a class file whose count is not the index's.
%
%   Layout of the file: docs/flux_modes_program.md; of the index:
%   docs/cluster.md.
%
%   Example
%     % bits_modes -o modes.h5 model.xml (in a shell), then
%     E = read_modes('modes.h5', 1, 1000);   % the first 1000 modes
%
%   See also FLUX_MODES, MODE_FILE.

  if ~ischar(file) || isempty(file)
    error('read_modes: FILE must be a file name');
  end
  index = index_of(file);
  if ~isempty(index)
    if nargin < 2
      first = 1;
    end
    if nargin < 3
      count = [];
    end
    [E, reactions, info] = read_index(index, first, count);
    return;
  end
  if numel(file) >= 8 && strcmp(file(end - 7:end), '.partial')
    error('read_modes: ''%s'' is the file of a run that did not finish', file);
  end
  if ~exist(file, 'file')
    error('read_modes: cannot find the file ''%s''', file);
  end
  matlab = exist('h5read') ~= 0;
  chunks = ~matlab && exist('mode_file') ~= 0;
  if matlab
    if double(h5readatt(file, '/', 'complete')) ~= 1
      error('read_modes: ''%s'' is the file of a run that did not finish', file);
    end
    total = double(h5readatt(file, '/', 'modes'));
    reactions = h5read(file, '/reactions');
    if ischar(reactions)
      reactions = cellstr(reactions');
    end
    reactions = deblank(reactions(:));
    n = numel(reactions);
  elseif chunks  % Octave: mode_file reads the modes asked for only
    try
      [~, reactions, total] = mode_file('read', file, 1, 0);
    catch err
      error('read_modes: %s', regexprep(err.message, ' \. \. \.$', ''));
    end
    n = numel(reactions);
  else  % Octave without mode_file: load reads the datasets whole
    x = load(file);
    if ~isfield(x, 'modes') || ~isfield(x, 'reactions')
      error('read_modes: ''%s'' is not a modes file of bits_modes', file);
    end
    reactions = cellstr(x.reactions);
    n = numel(reactions);
    total = size(x.modes, 2);
  end
  if nargin < 2
    first = 1;
  end
  if nargin < 3
    count = [];
  end
  count = run_of(first, count, total);
  if matlab
    if count == 0
      E = zeros(n, 0, 'int64');
    else
      E = h5read(file, '/modes', [1 first], [n count]);
    end
    info = struct('modes', total, 'reactions', n, 'options', h5readatt(file, '/', 'options'), ...
                  'source', h5readatt(file, '/', 'source'));
  elseif chunks
    E = mode_file('read', file, double(first), double(count));
    info = struct('modes', total, 'reactions', n, 'options', '', 'source', '');
  else
    E = x.modes(:, first:first + count - 1);
    info = struct('modes', total, 'reactions', n, 'options', '', 'source', '');
  end
end

% COUNT (empty: to the end) checked to pick, from FIRST on, modes within the
% TOTAL of the file.
function count = run_of(first, count, total)
  if isempty(count)
    count = total - first + 1;
  end
  if ~isscalar(first) || ~isscalar(count) || first ~= round(first) || count ~= round(count) || ...
     first < 1 || count < 0 || first + count - 1 > total
    error('read_modes: FIRST and COUNT must pick modes within the %d in the file', total);
  end
end

% The index that FILE names: FILE itself if it ends in .index, else
% STEM.index where FILE (STEM.h5 or STEM.txt) does not exist but that does.
function index = index_of(file)
  index = '';
  if numel(file) > 6 && strcmp(file(end - 5:end), '.index')
    index = file;
  elseif ~exist(file, 'file')
    [folder, stem, ext] = fileparts(file);
    if any(strcmp(ext, {'.h5', '.txt'})) && exist(fullfile(folder, [stem '.index']), 'file')
      index = fullfile(folder, [stem '.index']);
    end
  end
end

function [E, reactions, info] = read_index(index, first, count)
  if ~exist(index, 'file')
    error('read_modes: cannot find the file ''%s''', index);
  end
  lines = regexp(fileread(index), '\r?\n', 'split');
  if isempty(lines) || ~strncmp(lines{1}, 'bits_modes classes ', 19)
    error('read_modes: ''%s'' is not an index of bits_modes --split', index);
  end
  labels = {};
  files = {};
  counts = [];
  total = -1;
  for k = 1:numel(lines)
    w = strsplit(strtrim(lines{k}));
    if numel(w) == 10 && strcmp(w{1}, 'done')
      if strcmp(w{10}, '-')
        error('read_modes: ''%s'' is the index of a run that wrote no files', index);
      end
      at = find(strcmp(labels, w{2}));  % a class done twice: the later line
      if isempty(at)
        at = numel(labels) + 1;
      end
      labels{at} = w{2};
      files{at} = fullfile(fileparts(index), w{10});
      counts(at) = str2double(w{4});
    elseif numel(w) >= 5 && strcmp(w{1}, 'complete')
      total = str2double(w{5});
    end
  end
  if total < 0
    error('read_modes: ''%s'' is the index of a run that did not finish', index);
  end
  if sum(counts) ~= total
    error('read_modes: the classes of ''%s'' hold %d modes, not the %d of its complete line', ...
          index, sum(counts), total);
  end
  count = run_of(first, count, total);
  if isempty(files)
    error('read_modes: ''%s'' lists no class file', index);
  end
  % The reactions (and a check of every file's count) from the files read.
  [~, reactions] = read_modes(files{1}, 1, 0);
  E = zeros(numel(reactions), count, 'int64');
  ends = cumsum(counts);
  starts = ends - counts + 1;
  last = first + count - 1;
  for k = find(ends >= first & starts <= last)
    a = max(first, starts(k));
    b = min(last, ends(k));
    [F, ids, got] = read_modes(files{k}, a - starts(k) + 1, 0);
    if got.modes ~= counts(k) || numel(ids) ~= numel(reactions) || ~isequal(ids, reactions)
      error('read_modes: ''%s'' does not hold the %d modes of class %s over the reactions of the index', ...
            files{k}, counts(k), labels{k});
    end
    E(:, a - first + 1:b - first + 1) = read_modes(files{k}, a - starts(k) + 1, b - a + 1);
  end
  info = struct('modes', total, 'reactions', numel(reactions), 'options', '', 'source', '', ...
                'classes', {labels(:)}, 'files', {files(:)}, 'counts', counts(:));
end
