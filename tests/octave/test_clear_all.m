% Script: threaded calls of the pattern plug-ins, `clear all`, and calls
% again; then Octave must exit cleanly (ctest checks the exit status).
big = uint32(floor(rand(4, 3000) * 2^32));
c1 = bits_within(big, big, uint32(0:999), uint16(2));
clear all;
big = uint32(floor(rand(4, 3000) * 2^32));
c2 = bits_within(big, big, uint32(0:999), uint16(2));
clear mex;
c3 = bits_within(big, big, uint32(0:999), uint16(2));
if !isequal(c2, c3)
  error('test_clear_all: results differ after clear mex');
end
printf('test_clear_all: all checks passed\n');
