function test_rational_approx_memory()
  % 100,000 calls of rational_approx leave the size of the Octave process
  % flat: a host block lost per call, even one of 80 bytes, would add 8 MB.
  if !exist('/proc/self/status', 'file')
    printf('test_rational_approx_memory: skipped (no /proc/self/status)\n');
    return;
  end
  % Warm up the calls and the measurement itself (its first run grows the
  % process by some 0.5 MB).
  x = [0.5 0.25; 1.5 -0.25];
  for k = 1:1000
    [p, q] = rational_approx(x, 1e-6);
  end
  resident_bytes();
  before = resident_bytes();
  for k = 1:100000
    [p, q] = rational_approx(x, 1e-6);
  end
  grown = resident_bytes() - before;
  if grown > 2e6
    error('test_rational_approx_memory: the process grew by %d bytes over 100,000 calls', grown);
  end
  printf('test_rational_approx_memory: the process grew by %d bytes over 100,000 calls\n', grown);
end

function b = resident_bytes()
  f = fopen('/proc/self/status');
  text = fread(f, Inf, 'char=>char')';
  fclose(f);
  b = 1024 * str2double(regexp(text, 'VmRSS:\s*(\d+) kB', 'tokens', 'once'){1});
end
