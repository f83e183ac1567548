%DISK_SYNC  Write a file's buffered data to disk (compiled plug-in).
%
%   DISK_SYNC(PATH)
%
%   Asks the operating system to write everything it holds buffered for the
%   existing regular file PATH to the storage device (fsync on Linux,
%   FlushFileBuffers on Windows). The file is opened for writing only while
%   it is flushed; it is never created, truncated or written, and its
%   contents and size stay as they are.
%
%   Best effort: apart from the argument errors below nothing is reported. A
%   name that does not exist, may not be opened for writing, or is not a
%   regular file (a directory, a pipe, a device) is skipped at once and
%   silently; the call never waits. On Windows the file is opened without
%   sharing, so nothing is done while another program (or MATLAB itself)
%   still holds it open; on Linux the flush happens whoever holds it open.
%
%   Arguments
%     PATH  character array, the file name, absolute or relative to the
%           current folder. A name that the host cannot convert whole to
%           the system's 8-bit form, or that has a NUL character (char(0))
%           before its last character, is skipped; trailing NULs are
%           dropped. A character array of several rows is read column by
%           column, as it is stored: ['ab'; 'cd'] names the file 'acbd'.
%
%   No output arguments.
%
%   Errors (message endings), in the order they are tested
%     One input argument expected . . .
%     No output arguments allowed . . .
%     Input must be a string . . .
%
%   Example
%     fid = fopen('results.csv', 'w'); fprintf(fid, '%d\n', 1:10); fclose(fid);
%     disk_sync('results.csv')
%
%   See also FCLOSE, RATIONAL_APPROX, BITS_WITHIN.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('disk_sync: the compiled plug-in was not found on the path . . .');
