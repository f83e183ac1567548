% MAKE_INSTANCES  Writes the pair-screen instances of bench/data/: the step
% with the most candidate pairs of an extreme_rays run, in the file layout
% described in the help of extreme_rays (read back with
% read_screen_instance). Run from the repository root with the plug-ins,
% pattern_tree and examples/ on the path:
%   octave-cli --eval "addpath([pwd '/build/octave'], [pwd '/examples'], [pwd '/bench']); run('bench/make_instances.m')"

data = fullfile(fileparts(mfilename('fullpath')), 'data');

% The dual cone of the cyclic polytope C(20, 6): 20 points on the moment
% curve; 800 rays; every candidate pair that passes the count test is
% adjacent, so every walk runs to the end of the tree.
t = (-9:10)';
extreme_rays(t .^ (0:6), 'save', fullfile(data, 'cyclic_20_6.psi'));

% A degenerate cone: 60 random rows of 0/1/-1 after a column of ones, in
% dimension 8 (seeded). Its largest step screens 1,012 pairs against 2,248
% rays, and 513 of them are adjacent.
rand('seed', 11);
D = [ones(60, 1), randi([-1 1], 60, 7)];
extreme_rays(D, 'save', fullfile(data, 'degenerate_60x8.psi'));

% The semimetric cone on 7 points (105 triangle inequalities, 21-d, 55,226
% rays): its three steps with the most candidate pairs, 223,314 to 304,360
% pairs screened against 35,964 to 50,826 rays, 2 to 3 percent of them
% adjacent.
cones = benchmark_cones('all');
A = cones(strcmp({cones.name}, 'semimetric 7 points')).A;
extreme_rays(A, 'threads', 1, 'save', fullfile(data, {'semimetric7_1.psi', 'semimetric7_2.psi', ...
                                                     'semimetric7_3.psi'}));
