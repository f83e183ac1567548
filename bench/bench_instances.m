function bench_instances(folder)
  % Writes realistic pair-screen instances for the benchmarks into `folder`:
  % the step with the most candidate pairs of extreme_rays runs (its 'save'
  % option). Writes nothing when extreme_rays is not on the path.
  if exist('extreme_rays') ~= 2 || exist('pattern_tree') ~= 2
    printf('bench_instances: extreme_rays or pattern_tree not on the path, no realistic instances\n');
    return;
  end
  if ~exist(folder, 'dir')
    mkdir(folder);
  end
  rand('seed', 3); randn('seed', 3);
  % The dual cone of 40 points on the moment curve in dimension 6: its rays
  % are the facets of the cyclic polytope C(40, 6).
  t = (-19:20)';
  cones = {{'cyclic-40-6', t .^ (0:6)}};
  % A cone over a random 5-polytope with 60 integer facets.
  cones{end + 1} = {'random-60-5', [randi([5 12], 60, 1), randi([-6 6], 60, 5)]};
  for i = 1:numel(cones)
    [name, A] = cones{i}{:};
    file = fullfile(folder, [name '.pscreen']);
    if exist(file, 'file')
      continue;  % made by an earlier run: the same seeds give the same instance
    end
    start = tic;
    [~, info] = extreme_rays(A, 'save', file);
    printf('bench_instances: %s, %d rays, largest step %d pairs (%.1f s)\n', name, info.rays, ...
           info.largest, toc(start));
  end
end
