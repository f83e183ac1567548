function bench_cones(results_file, timeout_seconds, selection)
  % Extreme rays of the benchmark cones (benchmark_cones.m) by extreme_rays
  % and by the C enumerators lrs (Debian lrslib), cddlib's cddexec_gmp --rep
  % (libcdd-tools) and Normaliz with one thread (normaliz -x=1), all in this
  % one run. Every peer runs as its own process under /usr/bin/time, for its
  % CPU time (user + system) and peak memory; extreme_rays runs in a fresh
  % Octave (also under /usr/bin/time, for the memory) that, after a warm-up
  % call, times it with cputime with one thread and with tic/toc with one
  % thread and with two, alternately, three times each (the smallest of each
  % three counts). A run of a second or more is shown by its CPU time, which
  % other work on the machine inflates least; a shorter one by its wall time
  % (the CPU time of /usr/bin/time counts in hundredths). The thread ratio
  % is by the wall clock. Every ray set is checked against Normaliz's, ray
  % for ray. Prints a Markdown table and, given RESULTS_FILE, puts it there
  % between the lines "<!-- cones:begin -->" and "<!-- cones:end -->". A
  % peer that takes longer than TIMEOUT_SECONDS (default 600) of wall time
  % is stopped and shown as "> T s". SELECTION: 'all' (default), 'test', or
  % a cell array of cone names.
  if nargin < 2 || isempty(timeout_seconds)
    timeout_seconds = 600;
  end
  if nargin < 3
    selection = 'all';
  end
  plugins = fileparts(which('extreme_rays'));
  work = tempname();
  mkdir(work);
  confirm_recursive_rmdir(false);
  cleanup = onCleanup(@() rmdir(work, 's'));
  if iscell(selection)
    cones = benchmark_cones('all');
    cones = cones(ismember({cones.name}, selection));
  else
    cones = benchmark_cones(selection);
  end
  rows = {};
  for k = 1:numel(cones)
    c = cones(k);
    base = fullfile(work, sprintf('cone%d', k));
    save('-binary', [base '.mat'], '-struct', 'c');
    nz = peer_rays('normaliz', c.A, c.B, timeout_seconds);
    lr = peer_rays('lrs', c.A, c.B, timeout_seconds);
    cd = peer_rays('cdd', c.A, c.B, timeout_seconds);
    ours = run_ours(base, plugins);
    % Every finished ray set against Normaliz's (or the first peer's that
    % finished).
    peers = [nz, lr, cd];
    finished = peers([peers.done]);
    same = true;
    for r = [{finished.rays}, {ours.rays}]
      same = same && (isempty(finished) || isequal(r{1}, finished(1).rays));
    end
    fastest = min([arrayfun(@shown_seconds, finished), Inf]);
    rows(end + 1, :) = {c.name, size(ours.rays, 2), ours, lr, cd, nz, fastest, same};
    printf('%-45s %7d rays: extreme_rays %.3f s (2 threads: %.2fx), lrs %s, cdd %s, normaliz %s%s\n', ...
           c.name, size(ours.rays, 2), shown_seconds(ours), ours.seconds / ours.wall_2, show(lr), show(cd), ...
           show(nz), ifelse(same, '', '  RAY SETS DIFFER'));
  end
  table = format_table(rows, timeout_seconds);
  printf('\n%s', table);
  if nargin >= 1 && ~isempty(results_file)
    put_table(results_file, table, 'cones');
  end
end

function r = run_ours(base, plugins)
  % extreme_rays in a fresh Octave under /usr/bin/time: a warm-up call, then
  % one thread and two threads alternately, three times each.
  script = sprintf(['addpath(''%s''); c = load(''%s.mat''); ' ...
                    'er = @(n) extreme_rays(c.A, ''equalities'', c.B, ''threads'', n); er(1); ' ...
                    'cpu = Inf; wall = [Inf Inf]; ' ...
                    'for k = [1 2 1 2 1 2], t0 = cputime(); tic; rays = er(k); wall(k) = min(wall(k), toc); ' ...
                    'if k == 1, cpu = min(cpu, cputime() - t0); end, end; ' ...
                    'save(''-binary'', ''%s.ours'', ''rays'', ''cpu'', ''wall'');'], plugins, base, base);
  status = system(sprintf('/usr/bin/time -f "%%M" -o %s.time octave-cli --no-gui --norc --quiet --eval "%s"', ...
                          base, strrep(script, '"', '\"')));
  if status ~= 0
    error('bench_cones: extreme_rays failed on %s', base);
  end
  s = load([base '.ours']);
  r = struct('rays', double(s.rays), 'seconds', s.wall(1), 'cpu_seconds', s.cpu, 'wall_2', s.wall(2), ...
             'peak_mb', sscanf(fileread([base '.time']), '%f')(end) / 1024, 'done', true);
end

function s = shown_seconds(r)
  if r.seconds >= 1
    s = r.cpu_seconds;
  else
    s = r.seconds;
  end
end

function s = show(r)
  if r.done
    s = sprintf('%.3f s', shown_seconds(r));
  else
    s = 'stopped';
  end
end

function t = format_table(rows, timeout_seconds)
  cell_of = @(r) ifelse(r.done, sprintf('%.3f s, %.0f MB', shown_seconds(r), r.peak_mb), ...
                        sprintf('> %d s', timeout_seconds));
  t = sprintf(['| cone | rays | extreme_rays, 1 thread | 2 threads / 1 thread (wall) | lrs | cddlib (GMP) | ' ...
               'Normaliz | extreme_rays / fastest peer | ray sets equal |\n|---|---|---|---|---|---|---|---|---|\n']);
  for k = 1:size(rows, 1)
    [name, n, ours, lr, cd, nz, fastest, ok] = rows{k, :};
    t = [t sprintf('| %s | %d | %s | %.2f | %s | %s | %s | %.2f | %s |\n', name, n, cell_of(ours), ...
                   ours.seconds / ours.wall_2, cell_of(lr), cell_of(cd), cell_of(nz), shown_seconds(ours) / fastest, ...
                   ifelse(ok, 'yes', 'NO'))];
  end
end

function v = ifelse(c, a, b)
  if c
    v = a;
  else
    v = b;
  end
end
