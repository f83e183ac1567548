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
  here = fileparts(mfilename('fullpath'));
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
    write_ine([base '.ine'], c.A, c.B);
    write_normaliz([base '.in'], c.A, c.B);
    save('-binary', [base '.mat'], '-struct', 'c');

    nz = run_peer(sprintf('normaliz -x=1 %s.in', base), base, timeout_seconds);
    reference = [];
    if nz.done
      reference = normaliz_rays([base '.out']);
    end
    lr = run_peer(sprintf('lrs %s.ine', base), base, timeout_seconds);
    if lr.done
      lr.ok = same_rays(lrs_rays(lr.output, size(c.A, 2)), reference);
    end
    cd = run_peer(sprintf('cddexec_gmp --rep < %s.ine', base), base, timeout_seconds);
    if cd.done
      cd.ok = same_rays(lrs_rays(cd.output, size(c.A, 2)), reference);
    end
    ours = run_ours(base, plugins, 1);
    ours2 = run_ours(base, plugins, 2);
    ours.ok = isempty(reference) || same_rays(ours.rays, reference);
    peers = [lr, cd, nz];
    fastest = min([peers([peers.done]).seconds, inf]);
    rows(end + 1, :) = {c.name, size(ours.rays, 2), ours, ours2, lr, cd, nz, fastest};
    printf('%-45s %7d rays: extreme_rays %.3f s (2 threads %.3f s), lrs %s, cdd %s, normaliz %s%s\n', ...
           c.name, size(ours.rays, 2), ours.seconds, ours2.seconds, show(lr), show(cd), show(nz), ...
           ifelse(ours.ok && ours2.ok, '', '  RAYS DIFFER'));
  end
  table = format_table(rows, timeout_seconds);
  printf('\n%s', table);
  if nargin >= 1 && ~isempty(results_file)
    put_table(results_file, table);
  end
end

function r = run_peer(command, base, timeout_seconds)
  % Runs COMMAND under /usr/bin/time (for the peak memory) and timeout; the
  % wall time is taken around the whole, process start included. Its
  % standard output comes back in r.output.
  out = [base '.stdout'];
  times = [base '.time'];
  started = tic;
  status = system(sprintf('timeout %d /usr/bin/time -f "%%M" -o %s sh -c ''%s'' > %s 2> /dev/null', ...
                          timeout_seconds, times, command, out));
  seconds = toc(started);
  r = struct('done', status == 0, 'seconds', inf, 'peak_mb', nan, 'output', '', 'ok', true);
  if r.done
    t = read_numbers(times);
    r.seconds = seconds;
    r.peak_mb = t(end) / 1024;
    r.output = fileread(out);
  end
end

function r = run_ours(base, plugins, threads)
  % extreme_rays in a fresh Octave: one warm-up call, then one timed call.
  script = sprintf(['addpath(''%s''); c = load(''%s.mat''); ' ...
                    'extreme_rays(c.A, ''equalities'', c.B, ''threads'', %d); ' ...
                    'tic; rays = extreme_rays(c.A, ''equalities'', c.B, ''threads'', %d); t = toc; ' ...
                    'save(''-binary'', ''%s.ours'', ''rays'', ''t'');'], plugins, base, threads, threads, base);
  status = system(sprintf('/usr/bin/time -f "%%e %%M" -o %s.time octave-cli --no-gui --norc --quiet --eval "%s"', ...
                          base, strrep(script, '"', '\"')));
  if status ~= 0
    error('bench_cones: extreme_rays failed on %s', base);
  end
  t = read_numbers([base '.time']);
  s = load([base '.ours']);
  r = struct('done', true, 'seconds', s.t, 'peak_mb', t(end) / 1024, 'rays', double(s.rays), 'ok', true);
end

function v = read_numbers(file)
  % The numbers in an output file of /usr/bin/time.
  v = sscanf(fileread(file), '%f');
end

function write_ine(file, A, B)
  % The cone in the H-representation of lrs and cddlib: rows b + a x >= 0
  % with b = 0, the equalities marked as linearity.
  f = fopen(file, 'w');
  fprintf(f, 'cone\nH-representation\n');
  if ~isempty(B)
    fprintf(f, 'linearity %d%s\n', size(B, 1), sprintf(' %d', 1:size(B, 1)));
  end
  M = [B; A];
  fprintf(f, 'begin\n%d %d integer\n', size(M, 1), size(M, 2) + 1);
  fprintf(f, [repmat('%d ', 1, size(M, 2) + 1) '\n'], [zeros(size(M, 1), 1), M]');
  fprintf(f, 'end\n');
  fclose(f);
end

function write_normaliz(file, A, B)
  f = fopen(file, 'w');
  fprintf(f, 'amb_space %d\ninequalities %d\n', size(A, 2), size(A, 1));
  fprintf(f, [repmat('%d ', 1, size(A, 2)) '\n'], A');
  if ~isempty(B)
    fprintf(f, 'equations %d\n', size(B, 1));
    fprintf(f, [repmat('%d ', 1, size(B, 2)) '\n'], B');
  end
  fprintf(f, 'ExtremeRays\n');
  fclose(f);
end

function rays = normaliz_rays(file)
  % The block "N extreme rays:" of a Normaliz output file.
  lines = strsplit(fileread(file), "\n");
  at = find(~cellfun(@isempty, regexp(lines, '^\d+ extreme rays:$')), 1);
  n = sscanf(lines{at}, '%d');
  rays = [];
  for k = 1:n
    rays(:, k) = sscanf(lines{at + k}, '%f');
  end
  rays = canonical(rays);
end

function rays = lrs_rays(output, d)
  % The rays (rows starting with 0) of the last begin .. end block of an lrs
  % or cddlib V-representation: after an overflow lrs restarts and prints a
  % second, complete block. Rational entries p/q are scaled to integers,
  % exactly (all of them below 2^53).
  lines = strtrim(strsplit(output, "\n"));
  first = find(strcmp(lines, 'begin'), 1, 'last');
  last = find(strcmp(lines, 'end'), 1, 'last');
  rays = zeros(d, 0);
  for k = first + 1:last - 1
    tokens = strsplit(lines{k});
    if numel(tokens) ~= d + 1 || ~strcmp(tokens{1}, '0')
      continue;
    end
    p = zeros(d, 1);
    q = ones(d, 1);
    for i = 1:d
      pq = sscanf(strrep(tokens{i + 1}, '/', ' '), '%f');
      p(i) = pq(1);
      if numel(pq) > 1
        q(i) = pq(2);
      end
    end
    L = 1;
    for x = q'
      L = lcm(L, x);
    end
    rays(:, end + 1) = p .* (L ./ q);
  end
  rays = canonical(rays);
end

function R = canonical(R)
  % Each integer column divided by the greatest common divisor of its
  % entries, the columns sorted.
  for j = 1:size(R, 2)
    g = 0;
    for x = R(:, j)'
      g = gcd(g, x);
    end
    R(:, j) = R(:, j) / max(g, 1);
  end
  R = sortrows(R')';
end

function ok = same_rays(R, reference)
  ok = isempty(reference) || isequal(canonical(R), reference);
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
               'Normaliz | 1 thread / fastest peer | all ray sets equal |\n|---|---|---|---|---|---|---|---|---|\n']);
  for k = 1:size(rows, 1)
    [name, n, ours, ours2, lr, cd, nz, fastest] = rows{k, :};
    ok = ours.ok && ours2.ok && lr.ok && cd.ok;
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
