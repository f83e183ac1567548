% BITS_DEMO  Short worked examples of the plug-ins, run by scripts/demo.
%
% Each section prints what it computes, so the output reads as a tour.

fprintf('\n== bits_within: which patterns lie inside which ==\n\n');
% Four subsets of {0..9}, as bit patterns (bit k set = element k present).
subsets = {[0 1], [2], [0 3 5], [7 8 9]};
refs = {[0 1 2 3], [0 1 3 5 7], [2 7 8 9]};
to_pattern = @(s) uint32(sum(bitshift(1, s)));
set_text = @(s) ['{' strjoin(arrayfun(@num2str, s, 'UniformOutput', false), ',') '}'];
S = uint32(cellfun(to_pattern, subsets));
R = uint32(cellfun(to_pattern, refs));
contained = bits_within(S, R, uint32(0:2), uint16(2));
ref_names = cellfun(set_text, refs, 'UniformOutput', false);
fprintf('%-12s', 'subset');
fprintf('%-14s', ref_names{:});
fprintf('\n');
marks = {'-', 'inside'};
for j = 1:numel(subsets)
  fprintf('%-12s', set_text(subsets{j}));
  row = marks(double(contained(j, :)) + 1);
  fprintf('%-14s', row{:});
  fprintf('\n');
end

% A larger table: 20,000 random patterns of 128 bits against 2,000 references.
rand('seed', 42);
M = 4;
Rbig = uint32(floor(rand(M, 2000) * 2^32));
Sbig = bitand(Rbig(:, randi(2000, 1, 20000)), uint32(floor(rand(M, 20000) * 2^32)));
tic;
C = bits_within(Sbig, Rbig, uint32(0:1999), uint16(2));
t = toc;
fprintf('\n%d x %d table of %d-bit patterns in %.3f s: %d pairs contained\n', ...
        size(C, 1), size(C, 2), 32 * M, t, nnz(C));

fprintf('\n== pair_screen: which pairs have no third pattern inside their union ==\n\n');
% Five sets as patterns; one tree node (all-zero pattern) listing every
% column makes the test exhaustive.
sets = {[0 1], [1 2], [0 1 2], [3], [0 3]};
P = uint32(cellfun(to_pattern, sets));
pairs = [0 1; 0 3; 1 3; 2 4; 3 4]';
[R_tree, i_node, i_leaf] = deal(uint32(0), uint32(1), uint64([0; numel(sets) - 1]));
adjacent = pair_screen(P, uint32(pairs), R_tree, i_node, i_leaf, uint16(2));
for k = 1:size(pairs, 2)
  a = pairs(1, k); b = pairs(2, k);
  fprintf('%-8s with %-8s adjacent: %d\n', set_text(sets{a + 1}), set_text(sets{b + 1}), adjacent(k));
end
fprintf('({0,1} with {1,2}: their union holds {0,1,2}, a third set, so 0)\n');

fprintf('\n== rational_approx: fractions by continued fractions ==\n\n');
x = [pi, exp(1), sqrt(2), -0.25, 0.1];
[n, d] = rational_approx(x, 1e-6);
for k = 1:numel(x)
  fprintf('%12.9f  ~  %8d / %-8d (error %.1e)\n', x(k), n(k), d(k), abs(n(k) / d(k) - x(k)));
end
[n, d] = rational_approx(pi, 1e-3);
fprintf('pi to 1e-3: %d/%d\n', n, d);

fprintf('\n== disk_sync: flush a file to disk ==\n\n');
file = [tempname() '.txt'];
fid = fopen(file, 'w');
fprintf(fid, 'results worth keeping\n');
fclose(fid);
disk_sync(file);
fprintf('wrote and flushed %s\n', file);
disk_sync([file '.missing']);
fprintf('a missing name is silently skipped (nothing created: %d)\n', exist([file '.missing'], 'file'));
delete(file);

fprintf('\n== extreme rays by the double description method, exactly ==\n\n');
% The cone over the octahedron {x : |x1| + |x2| + |x3| <= 1}: one
% constraint x0 + s*x >= 0 per sign vector s; its rays are the six
% vertices (1, +-e_i).
signs = 1 - 2 * (dec2bin(0:7) == '1');
A = [ones(8, 1), signs];
[rays, info] = extreme_rays(A);
fprintf('cone over the octahedron: %d constraints, %d rays (x0 x1 x2 x3):\n', size(A, 1), info.rays);
fprintf('  %3d %3d %3d %3d\n', rays);
fprintf('  %d candidate pairs screened, %d adjacent\n', info.pairs, info.adjacent);

% The dual of the cyclic polytope C(20, 6): 20 points on the moment curve
% as constraints; its rays are the 800 facets of C(20, 6).
t = (-9:10)';
A = t .^ (0:6);
file = [tempname() '.bin'];
[rays, info] = extreme_rays(A, 'save', file);
fprintf('\ncyclic polytope C(20,6), dual cone: %d constraints in dimension %d\n', size(A, 1), size(A, 2));
fprintf('  rays found            %d (first: %s)\n', info.rays, mat2str(rays(:, 1)'));
fprintf('  candidate pairs       %d screened, %d adjacent, %d failed the count test\n', ...
        info.pairs, info.adjacent, info.count_rejected);
fprintf('  time                  %.2f s (%.2f s in pattern_tree and pair_screen)\n', ...
        info.time, info.screen_time);
s = dir(file);
fprintf('  largest step          %d pairs, saved to %s (%d bytes)\n', ...
        info.largest, file, s.bytes);
delete(file);

% Elementary flux modes of a small network: irreversible reactions
% v1: -> A, v2: A -> B, v3: A -> C, v4: B -> C, v5: C ->, with the steady
% state of A, B and C as equalities. Each mode is a minimal pathway.
S = [1 -1 -1  0  0;     % A
     0  1  0 -1  0;     % B
     0  0  1  1 -1];    % C
modes = extreme_rays(eye(5), 'equalities', S);
fprintf('\nflux modes of -> A -> B -> C ->, A -> C (one per column, v1 .. v5):\n');
fprintf('  %3d %3d\n', modes');

fprintf('\n== elementary flux modes of a real network, read from SBML ==\n\n');
% ecoli5010.xml: the central carbon metabolism of E. coli (68 reactions, 11
% of them reversible, 56 internal metabolites), a test network of the EFM
% literature with 5,011 published elementary flux modes. sbml_read (libsbml)
% reads it; flux_modes compresses it and runs the double description method,
% one progress line per reaction added.
model = fullfile(fileparts(mfilename('fullpath')), 'ecoli5010.xml');
if exist('sbml_read') ~= 3
  fprintf('sbml_read was not built (libsbml missing; Debian: libsbml5-dev): skipped\n');
else
  [S, reversible, reactions] = sbml_read(model);
  fprintf('%s: %d internal metabolites, %d reactions (%d reversible)\n\n', 'ecoli5010.xml', ...
          rows(S), columns(S), nnz(reversible));
  [E, names, info] = flux_modes(model, 'progress', true);
  fprintf('\n%d elementary flux modes (published: 5,011), in %.2f s\n', info.modes, info.time);
  % How many reactions the modes use, and the three shortest by name.
  support = sum(E ~= 0, 1);
  fprintf('reactions per mode: %d to %d, median %d\n', min(support), max(support), median(support));
  [~, order] = sort(support);
  for k = order(1:3)
    used = find(E(:, k));
    terms = arrayfun(@(r) sprintf('%d %s', E(r, k), names.reactions{r}), used, 'UniformOutput', false);
    fprintf('\nmode %d (%d reactions):\n  %s\n', k, numel(used), strjoin(terms', ', '));
  end
end
