function bench_modes_mpi(networks, results_file, timeout_seconds, names)
  % The elementary flux modes over MPI processes: bits_modes_mpi --split K
  % (one thread per process, -o FILE, the modes read back through the index
  % with READ_MODES) against mplrs on the split cone {x >= 0 : [S, -S_rev] x
  % = 0}, both under mpirun with 3 processes (mplrs's least: one master,
  % one consumer, one worker; ours: one rank handing out classes, two
  % running them), and mplrs with 4 (two workers). NAMES (default
  % {'ecoli5010:2', 'EColiCore2:subnetwork:4'}) are SBML files in NETWORKS
  % with the split K; EColiCore2:subnetwork is EColiCore2 without R_ACONTa,
  % R_ACONTb, R_AKGDH and R_ATPM (292,659 modes). Each command runs under
  % /usr/bin/time: wall time (MPI start included), CPU time of all its
  % processes, peak memory of its largest process. mplrs's rays are mapped
  % back to the network (split_cone_modes) and compared with ours mode for
  % mode. A command past TIMEOUT_SECONDS (default 600) is stopped. Prints a
  % Markdown table and, given RESULTS_FILE, puts it there between
  % "<!-- modes-mpi:begin -->" and "<!-- modes-mpi:end -->". The programs
  % are taken from BITS_RAYS_DIR (default build/).
  if nargin < 3 || isempty(timeout_seconds)
    timeout_seconds = 600;
  end
  if nargin < 4
    names = {'ecoli5010:2', 'EColiCore2:subnetwork:4'};
  end
  programs = getenv('BITS_RAYS_DIR');
  if isempty(programs)
    programs = fullfile(fileparts(mfilename('fullpath')), '..', 'build');
  end
  mpirun = ['OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun --oversubscribe --mca plm_rsh_agent false ' ...
            '--mca btl self,vader,tcp --mca btl_tcp_if_include lo --mca oob_tcp_if_include lo -np 3'];
  work = tempname();
  mkdir(work);
  confirm_recursive_rmdir(false);
  cleanup = onCleanup(@() rmdir(work, 's'));
  table = sprintf(['| network | modes | split K | bits_modes_mpi, 3 processes: s wall (s CPU, MB) | ' ...
                   'mplrs, 3 processes | mplrs, 4 processes | mplrs / ours, 3 processes (wall) | mode sets equal |\n' ...
                   '|---|---|---|---|---|---|---|---|\n']);
  for k = 1:numel(names)
    parts = strsplit(names{k}, ':');
    split = parts{end};
    drop = {};
    if numel(parts) == 3 && strcmp(parts{2}, 'subnetwork')
      drop = {'R_ACONTa', 'R_ACONTb', 'R_AKGDH', 'R_ATPM'};
    end
    file = fullfile(networks, [parts{1} '.xml']);
    [S, rev, reactions] = sbml_read(file);
    keep = ~ismember(reactions, drop);
    S = integer_rows(S(:, keep));
    rev = rev(keep);
    r = find(rev);
    B = [S, -S(:, r)];
    A = eye(size(B, 2));

    base = fullfile(work, sprintf('run%d', k));
    remove = '';
    if ~isempty(drop)
      remove = ['--remove ' strjoin(drop, ',')];
    end
    command = sprintf('%s %s/bits_modes_mpi -t 1 --split %s %s -o %s.h5 %s', mpirun, programs, split, remove, base, file);
    started = tic;
    status = system(sprintf('timeout %d /usr/bin/time -f "%%M %%U %%S" -o %s.time sh -c ''%s'' < /dev/null > %s.log 2>&1', ...
                            timeout_seconds, base, command, base));
    ours = struct('seconds', toc(started), 'cpu_seconds', Inf, 'peak_mb', NaN, 'done', status == 0);
    E = [];
    if ours.done
      lines = strsplit(strtrim(fileread([base '.time'])), "\n");
      v = sscanf(lines{end}, '%f');
      ours.peak_mb = v(1) / 1024;
      ours.cpu_seconds = v(2) + v(3);
      E = read_modes([base '.index']);
      E = sortrows(double(E)')';  % over the reactions left after --remove
    else
      ours.seconds = Inf;
    end
    p3 = peer_rays('mplrs:3', A, B, timeout_seconds);
    p4 = peer_rays('mplrs:4', A, B, timeout_seconds);
    same = [];
    for p = [p3, p4]
      if p.done && ours.done
        same = [same, isequal(split_cone_modes(p.rays, size(S, 2), r), E)];
      end
    end
    printf('%s: ours %.2f s, mplrs:3 %.2f s, mplrs:4 %.2f s\n', names{k}, ours.seconds, p3.seconds, p4.seconds);
    table = [table sprintf('| %s | %d | %s | %s | %s | %s | %s | %s |\n', strjoin(parts(1:end - 1), ':'), ...
                           columns(E), split, run_cell(ours), run_cell(p3), run_cell(p4), wall_ratio(p3, ours, timeout_seconds), ...
                           verdict(same))];
  end
  table = [table sprintf('\nTimeout %d s; ">" marks a run stopped there.\n', timeout_seconds)];
  printf('%s', table);
  if nargin >= 2 && ~isempty(results_file)
    put_table(results_file, table, 'modes-mpi');
  end
end

function v = verdict(same)
  if isempty(same)
    v = 'no peer finished';
  elseif all(same)
    v = 'yes';
  else
    v = 'NO';
  end
end
