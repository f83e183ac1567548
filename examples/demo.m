% DEMO  Short worked examples of the plug-ins, run by scripts/demo.
%
% Each section prints what it computes, so the output reads as a tour.

printf('\n== bits_within: which patterns lie inside which ==\n\n');
% Four subsets of {0..9}, as bit patterns (bit k set = element k present).
subsets = {[0 1], [2], [0 3 5], [7 8 9]};
refs = {[0 1 2 3], [0 1 3 5 7], [2 7 8 9]};
to_pattern = @(s) uint32(sum(bitshift(1, s)));
set_text = @(s) ['{' strjoin(arrayfun(@num2str, s, 'UniformOutput', false), ',') '}'];
S = uint32(cellfun(to_pattern, subsets));
R = uint32(cellfun(to_pattern, refs));
contained = bits_within(S, R, uint32(0:2), uint16(2));
printf('%-12s', 'subset');
printf('%-14s', cellfun(set_text, refs, 'UniformOutput', false){:});
printf('\n');
for j = 1:numel(subsets)
  printf('%-12s', set_text(subsets{j}));
  printf('%-14s', arrayfun(@(f) ifelse_str(f), contained(j, :), 'UniformOutput', false){:});
  printf('\n');
end

% A larger table: 20,000 random patterns of 128 bits against 2,000 references.
rand('seed', 42);
M = 4;
Rbig = uint32(floor(rand(M, 2000) * 2^32));
Sbig = bitand(Rbig(:, randi(2000, 1, 20000)), uint32(floor(rand(M, 20000) * 2^32)));
tic;
C = bits_within(Sbig, Rbig, uint32(0:1999), uint16(2));
t = toc;
printf('\n%d x %d table of %d-bit patterns in %.3f s: %d pairs contained\n', ...
       size(C, 1), size(C, 2), 32 * M, t, nnz(C));
