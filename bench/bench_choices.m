function bench_choices(repeat)
  % The algorithm choices of extreme_rays, measured on the benchmark cones
  % (benchmark_cones.m), one thread: the order in which the rows are added,
  % and the leaf size of the pattern trees. Prints Markdown tables of
  % seconds (median of REPEAT timed calls after a warm-up, default 3), with
  % the candidate pairs screened, which the order decides.
  if nargin < 1
    repeat = 3;
  end
  cones = benchmark_cones('all');
  orders = {'lexmin', 'lexmax', 'input'};
  leaves = [4 8 16 32 64];
  printf('\n## extreme_rays: order of the rows (leaf size 64), seconds and candidate pairs\n\n');
  printf('| cone | %s |\n|---|%s\n', strjoin(orders, ' | '), repmat('---|', 1, numel(orders)));
  for c = cones
    printf('| %s |', c.name);
    for o = orders
      [t, info] = timed(c, repeat, 'order', o{1});
      printf(' %.3f s, %d pairs |', t, info.pairs);
    end
    printf('\n');
  end
  printf('\n## extreme_rays: leaf size of the pattern trees (order lexmin), seconds\n\n');
  printf('| cone |%s\n|---|%s\n', sprintf(' %d |', leaves), repmat('---|', 1, numel(leaves)));
  for c = cones
    printf('| %s |', c.name);
    for leaf = leaves
      printf(' %.3f |', timed(c, repeat, 'leaf_size', leaf));
    end
    printf('\n');
  end
end

function [t, info] = timed(c, repeat, varargin)
  args = [{'equalities', c.B, 'threads', 1}, varargin];
  extreme_rays(c.A, args{:});
  times = zeros(1, repeat);
  for k = 1:repeat
    started = tic;
    [~, info] = extreme_rays(c.A, args{:});
    times(k) = toc(started);
  end
  t = median(times);
end
