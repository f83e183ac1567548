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
%   Layout of the file: docs/flux_modes_program.md.
%
%   Example
%     % bits_modes -o modes.h5 model.xml (in a shell), then
%     E = read_modes('modes.h5', 1, 1000);   % the first 1000 modes
%
%   See also FLUX_MODES, MODE_FILE.

  if ~ischar(file) || isempty(file)
    error('read_modes: FILE must be a file name');
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
    count = total - first + 1;
  end
  if ~isscalar(first) || ~isscalar(count) || first ~= round(first) || count ~= round(count) || ...
     first < 1 || count < 0 || first + count - 1 > total
    error('read_modes: FIRST and COUNT must pick modes within the %d in the file', total);
  end
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
