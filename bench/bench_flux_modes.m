function bench_flux_modes(networks, results_file, timeout_seconds, names)
  % The elementary flux modes of the SBML networks NAMES (default
  % {'ecoli5010', 'EColiCore2:glucose'}) in the folder NETWORKS by flux_modes, one
  % thread, and by the C enumerators Normaliz (normaliz -x=1) and lrs on
  % the split cone (every reversible reaction split into two irreversible
  % ones: {x >= 0 : [S, -S_rev] x = 0}), in this one run. Each runs as its
  % own process under /usr/bin/time, for its CPU time and peak memory
  % (flux_modes in a fresh Octave, the file read included). The peers'
  % extreme rays are mapped back to the network (forward minus backward),
  % the two-reaction cycles of the splits dropped and each reversible mode
  % kept once; their number must equal flux_modes', and where a peer
  % finished the mode sets are compared mode for mode. A peer that takes
  % longer than TIMEOUT_SECONDS (default 600) of wall time is stopped and
  % shown as "> T s". Prints a Markdown table and, given RESULTS_FILE, puts
  % it there between "<!-- flux:begin -->" and "<!-- flux:end -->".
  % NAME:glucose takes the network with glucose as its only substrate: the
  % uptake reactions R_AcUp, R_CO2Up, R_GlycUp and R_SuccUp removed (the
  % condition of EColiCore2's published count, 3,161,820 modes).
  if nargin < 3 || isempty(timeout_seconds)
    timeout_seconds = 600;
  end
  if nargin < 4
    names = {'ecoli5010', 'EColiCore2:glucose'};
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
    drop = {};
    if strcmp(condition, ':glucose')
      drop = {'R_AcUp', 'R_CO2Up', 'R_GlycUp', 'R_SuccUp'};
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
    nz = peer_rays('normaliz', A, B, timeout_seconds);
    lr = peer_rays('lrs', A, B, timeout_seconds);
    same = true;
    for p = [nz, lr]
      if p.done
        same = same && isequal(modes_of(p.rays, size(S, 2), r), double(ours.modes));
      end
    end
    rows(end + 1, :) = {names{k}, size(S, 2), nnz(rev), ours, nz, lr, same};
    printf('%-12s %8d modes: flux_modes %.2f s, %.0f MB; normaliz %s; lrs %s%s\n', names{k}, ...
           size(ours.modes, 2), ours.cpu_seconds, ours.peak_mb, show(nz, timeout_seconds), ...
           show(lr, timeout_seconds), ifelse(same, '', '  MODE SETS DIFFER'));
  end
  table = sprintf(['| network | reactions (reversible) | compressed | modes | flux_modes, 1 thread | ' ...
                   'Normaliz, split cone | lrs, split cone | mode sets equal |\n|---|---|---|---|---|---|---|---|\n']);
  for k = 1:size(rows, 1)
    [name, n, nrev, ours, nz, lr, same] = rows{k, :};
    table = [table sprintf('| %s | %d (%d) | %d | %d | %.2f s, %.0f MB | %s | %s | %s |\n', name, n, nrev, ...
                           ours.compressed, size(ours.modes, 2), ours.cpu_seconds, ours.peak_mb, ...
                           show(nz, timeout_seconds), show(lr, timeout_seconds), ifelse(same, 'yes', 'NO'))];
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

function E = modes_of(X, n, r)
  % Extreme rays of the split cone (the columns of X) as modes of the
  % network: forward minus backward, cycles dropped, a reversible mode once
  % (first non-zero entry positive), columns sorted.
  E = X(1:n, :);
  E(r, :) = E(r, :) - X(n + 1:end, :);
  E = E(:, any(E ~= 0, 1));
  irreversible = true(n, 1);
  irreversible(r) = false;
  for j = find(all(E(irreversible, :) == 0, 1))
    if E(find(E(:, j), 1), j) < 0
      E(:, j) = -E(:, j);
    end
  end
  E = sortrows(unique(E', 'rows'))';
end

function S = integer_rows(S)
  % Each row scaled to integers: the same steady states, in the same units.
  [p, q] = rational_approx(S, 0);
  L = ones(size(S, 1), 1);
  for j = 1:size(S, 2)
    L = lcm(L, q(:, j));
  end
  S = p .* (L ./ q);
end

function s = show(r, timeout_seconds)
  if r.done
    s = sprintf('%.2f s, %.0f MB', r.cpu_seconds, r.peak_mb);
  else
    s = sprintf('> %d s', timeout_seconds);
  end
end

function v = ifelse(c, a, b)
  if c
    v = a;
  else
    v = b;
  end
end
