%MODE_FILE  Flux modes written to and read from an HDF5 file (compiled plug-in, through libhdf5).
%
%   [COUNT, INFO] = MODE_FILE('write', S, REVERSIBLE, N_THREADS, SETTINGS, FILE, REACTIONS, METABOLITES)
%   [COUNT, INFO] = MODE_FILE('write', ..., METABOLITES, OPTIONS, SOURCE)
%   [E, REACTIONS, TOTAL] = MODE_FILE('read', FILE, FIRST, COUNT)
%
%   'write' computes the elementary flux modes as FLUX_MODES_PIPELINE does
%   (the same S, REVERSIBLE, N_THREADS and SETTINGS) and writes them to FILE
%   as they come, a few thousand at a time, in the layout that the program
%   bits_modes writes (docs/flux_modes_program.md): the modes are never all
%   in memory, and they are in the order the run finds them, not in the
%   lexicographic order of FLUX_MODES (sortrows(E')' gives that). The file is written as FILE.partial and renamed to FILE once
%   every mode is in it, with its attribute complete set to 1; a run that
%   fails or is stopped leaves no FILE. REACTIONS and METABOLITES are cell
%   arrays of the ids (one per column and per row of S), OPTIONS and
%   SOURCE text for the file's attributes of those names. COUNT is the
%   number of modes written; INFO as FLUX_MODES_PIPELINE's.
%
%   'read' reads modes FIRST to FIRST + COUNT - 1 (1-based; COUNT Inf: to
%   the last) of a file that bits_modes or MODE_FILE wrote, only those rows
%   of the file (an HDF5 hyperslab), so a file larger than memory can be
%   read in runs: E is int64, reactions x COUNT, REACTIONS a column cell of
%   the reactions' ids, TOTAL the number of modes in the file. A file whose
%   name ends in .partial, or whose attribute complete is not 1, is refused.
%   READ_MODES calls it in GNU Octave.
%
%   Errors (message endings)
%     The first argument must be 'write' or 'read' . . .
%     'write' takes seven or nine arguments after it . . .
%     (then those of FLUX_MODES_PIPELINE's arguments)
%     file must be a file name (a char row) . . .
%     file must not end in .partial, the name of a file being written . . .
%     reactions must be a cell of one id (text) per column of S . . .
%     metabolites must be a cell of one id (text) per row of S . . .
%     Cannot create FILE.partial: ... . . .
%     'read' takes three arguments after it . . .
%     first and count must be real scalars: first from 1, count from 0 (Inf: to the last) . . .
%     'FILE' is the file of a run that did not finish . . .
%     'FILE' is not an HDF5 file . . .
%     'FILE' is not a modes file of bits_modes . . .
%     first and count must pick modes within the N in the file . . .
%
%   Not available in the Windows build (no libhdf5 there). Where the Octave
%   package is installed, it is built when pkg-config finds hdf5.
%
%   Example
%     S = [1 -1 0 0 0 0; 0 1 -1 0 -1 0; 0 0 1 -1 0 0; 0 0 0 0 1 -1];
%     file = [tempname() '.h5'];
%     n = mode_file('write', S, [0 0 0 0 1 1], 1, [], file, ...
%                   {'r1'; 'r2'; 'r3'; 'r4'; 'r5'; 'r6'}, {'A'; 'B'; 'C'; 'D'})
%     % n = 3
%     E = mode_file('read', file, 2, 2)   % modes 2 and 3
%     % E = [1 0; 1 0; 0 1; 0 1; 1 -1; 1 -1]
%     % (in the order the run found them; sortrows(E')' gives the order
%     % of FLUX_MODES)
%     delete(file);
%
%   See also FLUX_MODES, READ_MODES, FLUX_MODES_PIPELINE.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('mode_file: the compiled plug-in was not found on the path . . .');
