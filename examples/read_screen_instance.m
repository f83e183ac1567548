function s = read_screen_instance(file)
%READ_SCREEN_INSTANCE  Reads one pair-screen instance that EXTREME_RAYS
%   saved with its 'save' option.
%
%   S = READ_SCREEN_INSTANCE(FILE)
%
%   S has the fields R, j_comb, R_tree, i_node, i_leaf (the arguments of
%   PAIR_SCREEN, in their classes) and adjacent (the flags it returned), so
%     isequal(pair_screen(s.R, s.j_comb, s.R_tree, s.i_node, s.i_leaf, uint16(2)), s.adjacent)
%   holds. The file layout is described in the help of EXTREME_RAYS.
%
%   See also EXTREME_RAYS, PAIR_SCREEN.

  fid = fopen(file, 'r');
  if fid < 0
    error('read_screen_instance: cannot open %s', file);
  end
  magic = fread(fid, [1 8], 'char*1=>char');
  if ~strcmp(magic, 'PSCREEN1')
    fclose(fid);
    error('read_screen_instance: %s is not a pair-screen instance', file);
  end
  n = fread(fid, [1 4], 'uint64', 0, 'ieee-le');
  M = n(1); N = n(2); n_comb = n(3); n_nodes = n(4);
  s.R = fread(fid, [M N], 'uint32=>uint32', 0, 'ieee-le');
  s.j_comb = fread(fid, [2 n_comb], 'uint32=>uint32', 0, 'ieee-le');
  s.R_tree = fread(fid, [M n_nodes], 'uint32=>uint32', 0, 'ieee-le');
  s.i_node = fread(fid, [1 n_nodes], 'uint32=>uint32', 0, 'ieee-le');
  s.i_leaf = fread(fid, [2 n_nodes], 'uint64=>uint64', 0, 'ieee-le');
  s.adjacent = fread(fid, [n_comb 1], 'uint8=>uint8', 0, 'ieee-le');
  fclose(fid);
  if numel(s.adjacent) ~= n_comb
    error('read_screen_instance: %s is cut short', file);
  end
end
