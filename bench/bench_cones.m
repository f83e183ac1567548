function bench_cones(results_file, timeout_seconds, selection)
  % Extreme rays of the benchmark cones (benchmark_cones.m) by extreme_rays
  % and by the C enumerators lrs (Debian lrslib), cddlib's cddexec_gmp --rep
  % (libcdd-tools) and Normaliz with one thread (normaliz -x=1), all in this
  % one run. Every program runs as its own process under /usr/bin/time, for
  % its peak memory; extreme_rays runs in a fresh Octave that times it with
  % tic/toc after a warm-up call, with one thread and with two. Every ray set
  % is checked against Normaliz's, ray for ray. Prints a Markdown table and,
  % given RESULTS_FILE, puts it there between the lines
  % "<!-- cones:begin -->" and "<!-- cones:end -->". A peer that takes longer
  % than TIMEOUT_SECONDS (default 600) is stopped and shown as "> T s".
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
  cones = benchmark_cones(selection);
  rows = {};
  for k = 1:numel(cones)
    c = cones(k);
    base = fullfile(work, sprintf('cone%d', k));
    save('-binary', [base '.mat'], '-struct', 'c');
    nz = peer_rays('normaliz', c.A, c.B, timeout_seconds);
    lr = peer_rays('lrs', c.A, c.B, timeout_seconds);
    cd = peer_rays('cdd', c.A, c.B, timeout_seconds);
    ours = run_ours(base, plugins, 1);
    ours2 = run_ours(base, plugins, 2);
    % Every finished ray set against Normaliz's (or the first peer's that
    % finished).
    peers = [nz, lr, cd];
    finished = peers([peers.done]);
    same = true;
    for r = [finished, ours, ours2]
      same = same && isequal(r.rays, finished(1).rays);
    end
    fastest = min([finished.seconds, Inf]);
    rows(end + 1, :) = {c.name, size(ours.rays, 2), ours, ours2, lr, cd, nz, fastest, same};
    printf('%-45s %7d rays: extreme_rays %.3f s (2 threads %.3f s), lrs %s, cdd %s, normaliz %s%s\n', ...
           c.name, size(ours.rays, 2), ours.seconds, ours2.seconds, show(lr), show(cd), show(nz), ...
           ifelse(same, '', '  RAY SETS DIFFER'));
  end
  table = format_table(rows, timeout_seconds);
  printf('\n%s', table);
  if nargin >= 1 && ~isempty(results_file)
    put_table(results_file, table);
  end
end

function r = run_ours(base, plugins, threads)
  % extreme_rays in a fresh Octave under /usr/bin/time: one warm-up call,
  % then one call timed with tic/toc.
  script = sprintf(['addpath(''%s''); c = load(''%s.mat''); ' ...
                    'extreme_rays(c.A, ''equalities'', c.B, ''threads'', %d); ' ...
                    'tic; rays = extreme_rays(c.A, ''equalities'', c.B, ''threads'', %d); t = toc; ' ...
                    'save(''-binary'', ''%s.ours'', ''rays'', ''t'');'], plugins, base, threads, threads, base);
  status = system(sprintf('/usr/bin/time -f "%%M" -o %s.time octave-cli --no-gui --norc --quiet --eval "%s"', ...
                          base, strrep(script, '"', '\"')));
  if status ~= 0
    error('bench_cones: extreme_rays failed on %s', base);
  end
  s = load([base '.ours']);
  r = struct('rays', double(s.rays), 'seconds', s.t, ...
             'peak_mb', sscanf(fileread([base '.time']), '%f')(end) / 1024, 'done', true);
end

function s = show(r)
  if r.done
    s = sprintf('%.3f s', r.seconds);
  else
    s = 'stopped';
  end
end

function t = format_table(rows, timeout_seconds)
  cell_of = @(r) ifelse(r.done, sprintf('%.3f s, %.0f MB', r.seconds, r.peak_mb), ...
                        sprintf('> %d s', timeout_seconds));
  t = sprintf(['| cone | rays | extreme_rays, 1 thread | extreme_rays, 2 threads | lrs | cddlib (GMP) | ' ...
               'Normaliz | 1 thread / fastest peer | ray sets equal |\n|---|---|---|---|---|---|---|---|---|\n']);
  for k = 1:size(rows, 1)
    [name, n, ours, ours2, lr, cd, nz, fastest, ok] = rows{k, :};
    t = [t sprintf('| %s | %d | %s | %.3f s | %s | %s | %s | %.2f | %s |\n', name, n, cell_of(ours), ...
                   ours2.seconds, cell_of(lr), cell_of(cd), cell_of(nz), ours.seconds / fastest, ...
                   ifelse(ok, 'yes', 'NO'))];
  end
end

function put_table(file, table)
  text = fileread(file);
  first = strfind(text, '<!-- cones:begin -->');
  last = strfind(text, '<!-- cones:end -->');
  if isempty(first) || isempty(last)
    error('bench_cones: %s has no cones:begin/cones:end markers', file);
  end
  text = [text(1:first + numel('<!-- cones:begin -->')) table text(last:end)];
  f = fopen(file, 'w');
  fputs(f, text);
  fclose(f);
end

function v = ifelse(c, a, b)
  if c
    v = a;
  else
    v = b;
  end
end
