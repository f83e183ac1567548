function bench_flux_modes(networks, results_file, timeout_seconds, names)
  % The elementary flux modes of the SBML networks NAMES (default
  % {'ecoli5010', 'EColiCore2:subnetwork', 'EColiCore2:glucose'}) in the
  % folder NETWORKS by flux_modes, one thread; by efmtool (the Java program
  % most EFM users run, one thread, its own compression, doubles) on the
  % network itself; and by the C enumerators Normaliz (normaliz -x=1) and
  % lrs on the split cone (every reversible reaction split into two
  % irreversible ones: {x >= 0 : [S, -S_rev] x = 0}), in this one run. Each
  % runs as its own process under /usr/bin/time, for its CPU time and peak
  % memory (flux_modes in a fresh Octave, the file read included). The
  % peers' extreme rays are mapped back to the network (forward minus
  % backward), the two-reaction cycles of the splits dropped and each
  % reversible mode kept once; their number must equal flux_modes', and
  % where a peer finished the mode sets are compared mode for mode. efmtool
  % writes its modes (as doubles) only for networks of fewer than 100,000
  % modes, since its writing is slow; they are compared by support and by
  % their ratios (to 1e-9), and elsewhere it only counts. A peer that takes
  % longer than TIMEOUT_SECONDS (default 600) of wall time is stopped and
  % shown as "> T s". Prints a Markdown table and, given RESULTS_FILE, puts
  % it there between "<!-- flux:begin -->" and "<!-- flux:end -->".
  % NAME:glucose takes the network with glucose as its only substrate: the
  % uptake reactions R_AcUp, R_CO2Up, R_GlycUp and R_SuccUp removed (the
  % condition of EColiCore2's published count, 3,161,820 modes).
  % NAME:subnetwork takes it without R_ACONTa, R_ACONTb, R_AKGDH and R_ATPM,
  % all uptakes open (EColiCore2: 292,659 modes). efmtool's script is
  % BITS_EFMTOOL, by default peers/efmtool/run_efmtool beside NETWORKS; it
  % needs Java (Debian: default-jre-headless).
  if nargin < 3 || isempty(timeout_seconds)
    timeout_seconds = 600;
  end
  if nargin < 4
    names = {'ecoli5010', 'EColiCore2:subnetwork', 'EColiCore2:glucose'};
  end
  efmtool = getenv('BITS_EFMTOOL');
  if isempty(efmtool)
    efmtool = fullfile(fileparts(canonicalize_file_name(networks)), 'peers', 'efmtool', 'run_efmtool');
  end
  plugins = fileparts(which('flux_modes'));
  work = tempname();
  mkdir(work);
  confirm_recursive_rmdir(false);
  cleanup = onCleanup(@() rmdir(work, 's'));
  rows = {};
  for k = 1:numel(names)
    [name, condition] = strtok(names{k}, ':');
    file = fullfile(networks, [name '.xml']);
    [S, rev, reactions] = sbml_read(file);
    switch condition
      case ':glucose'
        drop = {'R_AcUp', 'R_CO2Up', 'R_GlycUp', 'R_SuccUp'};
      case ':subnetwork'
        drop = {'R_ACONTa', 'R_ACONTb', 'R_AKGDH', 'R_ATPM'};
      case ''
        drop = {};
      otherwise
        error('bench_flux_modes: unknown condition %s', condition);
    end
    keep = ~ismember(reactions, drop);
    S = S(:, keep);
    rev = rev(keep);
    Si = integer_rows(S);
    r = find(rev);
    B = [Si, -Si(:, r)];
    A = eye(size(B, 2));
    base = fullfile(work, name);
    ours = run_ours(file, drop, base, plugins);
    ef = run_efmtool(efmtool, Si, rev, base, timeout_seconds, size(ours.modes, 2) < 100000);
    nz = peer_rays('normaliz', A, B, timeout_seconds);
    lr = peer_rays('lrs', A, B, timeout_seconds);
    same = true;
    compared = ef.done;  % whether any peer finished to compare with
    for p = [nz, lr]
      if p.done
        compared = true;
        same = same && isequal(split_cone_modes(p.rays, size(S, 2), r), double(ours.modes));
      end
    end
    if ef.done
      same = same && ef.count == size(ours.modes, 2) && (isempty(ef.modes) || same_modes(ef.modes, ours.modes));
    end
    if ~compared
      same = [];
    end
    rows(end + 1, :) = {names{k}, size(S, 2), nnz(rev), ours, ef, nz, lr, same};
    printf('%-12s %8d modes: flux_modes %.2f s, %.0f MB; efmtool %s; normaliz %s; lrs %s%s\n', names{k}, ...
           size(ours.modes, 2), ours.cpu_seconds, ours.peak_mb, show(ef, timeout_seconds), ...
           show(nz, timeout_seconds), show(lr, timeout_seconds), verdict(same, '', '  MODE SETS DIFFER'));
  end
  table = sprintf(['| network | reactions (reversible) | compressed | modes | flux_modes, 1 thread | ' ...
                   'efmtool, 1 thread | Normaliz, split cone | lrs, split cone | mode sets equal |\n' ...
                   '|---|---|---|---|---|---|---|---|---|\n']);
  for k = 1:size(rows, 1)
    [name, n, nrev, ours, ef, nz, lr, same] = rows{k, :};
    table = [table sprintf('| %s | %d (%d) | %d | %d | %.2f s, %.0f MB | %s | %s | %s | %s |\n', name, n, nrev, ...
                           ours.compressed, size(ours.modes, 2), ours.cpu_seconds, ours.peak_mb, ...
                           show(ef, timeout_seconds), show(nz, timeout_seconds), show(lr, timeout_seconds), ...
                           verdict(same, 'yes', 'NO'))];
  end
  printf('\n%s', table);
  if nargin >= 2 && ~isempty(results_file)
    put_table(results_file, table, 'flux');
  end
end

function r = run_ours(file, drop, base, plugins)
  % flux_modes on one thread in a fresh Octave under /usr/bin/time, the
  % reactions DROP removed.
  script = sprintf(['addpath(''%s''); t0 = cputime(); [S, rev, reactions] = sbml_read(''%s''); ' ...
                    'keep = ~ismember(reactions, {%s}); ' ...
                    '[modes, ~, info] = flux_modes(S(:, keep), rev(keep), ''threads'', 1); ' ...
                    'cpu = cputime() - t0; compressed = info.compressed_reactions; ' ...
                    'save(''-binary'', ''%s.ours'', ''modes'', ''cpu'', ''compressed'');'], plugins, file, ...
                   strjoin(cellfun(@(x) ["'" x "'"], drop, 'UniformOutput', false), ', '), base);
  status = system(sprintf('/usr/bin/time -f "%%M" -o %s.time octave-cli --no-gui --norc --quiet --eval "%s"', ...
                          base, strrep(script, '"', '\"')));
  if status ~= 0
    error('bench_flux_modes: flux_modes failed on %s', file);
  end
  s = load([base '.ours']);
  r = struct('modes', s.modes, 'cpu_seconds', s.cpu, 'compressed', s.compressed, ...
             'peak_mb', sscanf(fileread([base '.time']), '%f')(end) / 1024);
end

function r = run_efmtool(script, S, rev, base, timeout_seconds, write)
  % efmtool on one thread through its script (count only, or with WRITE its
  % modes as doubles, read back into MODES, one per column). Fields as
  % peer_rays gives them, plus count; done is false without Java or the
  % script, or past TIMEOUT_SECONDS.
  r = struct('done', false, 'count', NaN, 'modes', [], 'cpu_seconds', NaN, 'peak_mb', NaN, 'why', '');
  if system('command -v java > /dev/null 2>&1') ~= 0 || ~exist(script, 'file')
    r.why = 'no Java or efmtool';
    return;
  end
  dlmwrite([base '.stoich'], S, ' ');
  dlmwrite([base '.rev'], double(rev(:)'), ' ');
  [status, out] = system(sprintf('timeout %d %s %s.stoich %s.rev 1 %s', timeout_seconds, script, base, base, ...
                                 ifelse(write, 'binary-doubles', 'count')));
  work = regexp(out, 'workdir=(\S+)', 'tokens', 'once');
  if status ~= 0 || isempty(work)
    r.why = sprintf('> %d s', timeout_seconds);
    return;
  end
  work = work{1};
  r.count = str2double(regexp(out, 'count=(\d+)', 'tokens', 'once'){1});
  r.cpu_seconds = str2double(regexp(out, 'cpu_s=([\d.]+)', 'tokens', 'once'){1});
  r.peak_mb = str2double(regexp(out, 'peak_rss_mb=(\d+)', 'tokens', 'once'){1});
  if write
    % efms.bin: the count (int64), the reactions (int32), one byte, then
    % each mode's fluxes as big-endian doubles.
    f = fopen(fullfile(work, 'efms.bin'), 'r', 'ieee-be');
    count = fread(f, 1, 'int64');
    n = fread(f, 1, 'int32');
    fread(f, 1, 'uint8');
    r.modes = fread(f, [n, count], 'double');
    fclose(f);
  end
  confirm_recursive_rmdir(false);
  rmdir(work, 's');
  r.done = true;
end

function same = same_modes(V, E)
  % Whether the modes V (doubles) are the modes E (exact integers), each up
  % to a factor: the same supports, and within each pair ratios equal to 1e-9.
  same = isequal(size(V), size(E));
  if ~same
    return;
  end
  E = double(E);
  [~, i] = sortrows(V' ~= 0);
  [~, j] = sortrows(E' ~= 0);
  V = V(:, i);
  E = E(:, j);
  same = isequal(V ~= 0, E ~= 0);
  for k = 1:columns(E)
    if ~same
      return;
    end
    s = find(E(:, k));
    c = V(s, k) ./ E(s, k);
    same = all(abs(c - c(1)) <= 1e-9 * abs(c(1)));
  end
end

function s = show(r, timeout_seconds)
  if r.done
    s = sprintf('%.2f s, %.0f MB', r.cpu_seconds, r.peak_mb);
  elseif isfield(r, 'why') && ~isempty(r.why)
    s = r.why;
  else
    s = sprintf('> %d s', timeout_seconds);
  end
end

function v = verdict(same, yes, no)
  % yes or no as the mode sets agree, or a note when no peer finished.
  if isempty(same)
    v = 'no peer finished';
  else
    v = ifelse(same, yes, no);
  end
end

function v = ifelse(c, a, b)
  if c
    v = a;
  else
    v = b;
  end
end
