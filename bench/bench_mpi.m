function bench_mpi(results_file, timeout_seconds)
  % BENCH_MPI  The command-line program on the benchmark cones: one process
  % (bits_rays) against 2 and 3 MPI processes (bits_rays_mpi under mpirun),
  % one thread each, and against mplrs with 3 processes (its least). Wall
  % time of the whole command (MPI start included), CPU time of all its
  % processes, and the peak memory of its largest process; every ray set
  % compared with the one-process run. With RESULTS_FILE, the table goes
  % into it between "<!-- mpi:begin -->" and "<!-- mpi:end -->".
  %   octave-cli --eval "addpath('build/octave', 'bench'); bench_mpi('bench/RESULTS.md', 120)"
  if nargin < 2
    timeout_seconds = 120;
  end
  tools = {'bits_rays', 'bits_rays:2', 'bits_rays:3', 'mplrs:3'};
  cones = benchmark_cones('all');
  lines = {};
  for c = cones
    r = cellfun(@(t) peer_rays(t, c.A, c.B, timeout_seconds), tools);
    for k = 2:numel(r)
      if r(k).done && r(1).done && ~isequal(r(k).rays, r(1).rays)
        error('bench_mpi: %s and bits_rays differ on %s', tools{k}, c.name);
      end
    end
    lines{end + 1} = sprintf('| %s | %d | %s | %s | %s | %s | %s | %s |', c.name, size(r(1).rays, 2), ...
                             run_cell(r(1)), run_cell(r(2)), wall_ratio(r(1), r(2), timeout_seconds), run_cell(r(3)), run_cell(r(4)), wall_ratio(r(4), r(3), timeout_seconds));
    fprintf('%s\n', lines{end});
  end
  header = sprintf(['| cone | rays | 1 process: s wall (s CPU, MB) | 2 processes | 1 / 2 | 3 processes | ' ...
                    'mplrs, 3 processes | mplrs / ours, 3 processes |\n|---|---|---|---|---|---|---|---|\n']);
  table = sprintf('\n%s%s\n', header, strjoin(lines, "\n"));
  fprintf('%s', table);
  if nargin > 0 && ~isempty(results_file)
    put_table(results_file, sprintf('%s\nTimeout %d s; ">" marks a run stopped there.\n', table, timeout_seconds), 'mpi');
  end
end
