function r = peer_rays(tool, A, B, timeout_seconds)
  % PEER_RAYS  The extreme rays of {x : A x >= 0, B x = 0} from one of the C
  % enumerators that extreme_rays is measured against: 'normaliz' (Normaliz
  % with one thread, normaliz -x=1), 'lrs' (lrslib) or 'cdd' (cddlib's
  % cddexec_gmp --rep), and for the MPI benchmark 'mplrs:K' (mplrs under
  % mpirun -np K), 'bits_rays' (our command-line program, one thread) and
  % 'bits_rays:K' (bits_rays_mpi under mpirun -np K, one thread each; both
  % from BITS_RAYS_DIR, default build/). Fields of R: rays (d x n double, each column coprime
  % integers, columns sorted as sortrows sorts them), seconds (wall time of
  % the process, its start included), cpu_seconds and peak_mb (its user
  % plus system time and its peak memory, from /usr/bin/time; NaN without
  % it) and done (false when the program failed or ran past
  % TIMEOUT_SECONDS, default 600).
  if nargin < 3
    B = [];
  end
  if nargin < 4
    timeout_seconds = 600;
  end
  base = tempname();
  files = {[base '.in'], [base '.out'], [base '.ine'], [base '.stdout'], [base '.time']};
  cleanup = onCleanup(@() cellfun(@delete_if_there, files));
  switch tool
    case 'normaliz'
      write_normaliz([base '.in'], A, B);
      command = sprintf('normaliz -x=1 %s.in', base);
    case 'lrs'
      write_ine([base '.ine'], A, B);
      command = sprintf('lrs %s.ine', base);
    case 'cdd'
      write_ine([base '.ine'], A, B);
      command = sprintf('cddexec_gmp --rep < %s.ine', base);
    otherwise
      % Processes of an MPI job on this machine alone (as root too).
      [name, np] = strtok(tool, ':');
      np = str2double(np(2:end));
      mpirun = sprintf(['OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 mpirun --oversubscribe --mca plm_rsh_agent false ' ...
                        '--mca btl self,vader,tcp --mca btl_tcp_if_include lo --mca oob_tcp_if_include lo -np %d'], np);
      programs = getenv('BITS_RAYS_DIR');
      if isempty(programs)
        programs = fullfile(fileparts(mfilename('fullpath')), '..', 'build');
      end
      write_ine([base '.ine'], A, B);
      if strcmp(tool, 'bits_rays')
        command = sprintf('%s/bits_rays -t 1 %s.ine', programs, base);
      elseif strcmp(name, 'bits_rays') && np >= 1
        command = sprintf('%s %s/bits_rays_mpi -t 1 %s.ine', mpirun, programs, base);
      elseif strcmp(name, 'mplrs') && np >= 3
        command = sprintf('%s mplrs %s.ine', mpirun, base);
      else
        error('peer_rays: unknown tool %s', tool);
      end
  end
  timer = '';
  if exist('/usr/bin/time', 'file')
    timer = sprintf('/usr/bin/time -f "%%M %%U %%S" -o %s.time', base);
  end
  started = tic;
  status = system(sprintf('timeout %d %s sh -c ''%s'' > %s.stdout 2> /dev/null', ...
                          timeout_seconds, timer, command, base));
  r = struct('rays', [], 'seconds', toc(started), 'cpu_seconds', NaN, 'peak_mb', NaN, 'done', status == 0);
  if ~r.done
    r.seconds = Inf;
    r.cpu_seconds = Inf;
    return;
  end
  if ~isempty(timer)
    % The last line: /usr/bin/time may print a status line before it.
    lines = strsplit(strtrim(fileread([base '.time'])), "\n");
    v = sscanf(lines{end}, '%f');
    r.peak_mb = v(1) / 1024;
    r.cpu_seconds = v(2) + v(3);
  end
  if strcmp(tool, 'normaliz')
    r.rays = normaliz_rays([base '.out'], size(A, 2));
  else
    r.rays = v_representation_rays(fileread([base '.stdout']), size(A, 2));
  end
end

function delete_if_there(file)
  if exist(file, 'file')
    delete(file);
  end
end

function write_ine(file, A, B)
  % The H-representation of lrs and cddlib: rows b + a x >= 0 with b = 0,
  % the equalities first and marked as linearity.
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

function rays = normaliz_rays(file, d)
  % The block "N extreme rays:" of a Normaliz output file.
  lines = strsplit(fileread(file), "\n");
  at = find(~cellfun(@isempty, regexp(lines, '^\d+ extreme rays:$')), 1);
  rays = zeros(d, 0);
  if ~isempty(at)
    n = sscanf(lines{at}, '%d');
    for k = 1:n
      rays(:, k) = sscanf(lines{at + k}, '%f');
    end
  end
  rays = canonical(rays);
end

function rays = v_representation_rays(output, d)
  % The rays (rows starting with 0) of the last begin .. end block of an lrs
  % or cddlib V-representation: after an arithmetic overflow lrs restarts
  % and prints a second, complete block. Rational entries p/q are scaled to
  % integers, exactly (all of them below 2^53).
  lines = strtrim(strsplit(output, "\n"));
  first = find(strcmp(lines, 'begin'), 1, 'last');
  last = find(strcmp(lines, 'end'), 1, 'last');
  rays = zeros(d, 0);
  block = lines(first + 1:last - 1);
  block = block(strncmp(block, '0 ', 2));
  if isempty(block)
    return;
  end
  if ~any(~cellfun(@isempty, strfind(block, '/')))
    % Integers only: one scan of the whole block.
    v = sscanf(strjoin(block, ' '), '%f');
    if numel(v) == (d + 1) * numel(block)
      rays = canonical(reshape(v, d + 1, [])(2:end, :));
      return;
    end
  end
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
  g = zeros(1, size(R, 2));
  for i = 1:size(R, 1)
    g = gcd(g, R(i, :));
  end
  R = R ./ max(g, 1);
  R = sortrows(R')';
end
