function test_result_memory()
  % A large int64 result is held once: Octave copies a plug-in's own numeric
  % arrays when the call returns, so the result must reach Octave as an array
  % of its own. enumerate_rays with a tall V returns 12.5 million x 2 values
  % (200 MB); the call may raise the process's peak by the result, not twice
  % it. Two results are also separate arrays: changing one leaves the other.
  if !exist('/proc/self/clear_refs', 'file')
    printf('test_result_memory: skipped (no /proc/self/clear_refs)\n');
    return;
  end
  p = 12.5e6;
  V = int64([1:p; 2 * (1:p) + 1]');  % columns of gcd 1: returned as they are
  args = {int64(eye(2)), int64(eye(2)), [0 1], false(1, 2), 1, 64, V};
  X = enumerate_rays(args{:});  % warm-up
  clear X;
  bytes = 8 * p * 2;
  before = status_bytes('VmRSS');
  f = fopen('/proc/self/clear_refs', 'w');  % the peak starts again from here
  fprintf(f, '5');
  fclose(f);
  X = enumerate_rays(args{:});
  grown = status_bytes('VmHWM') - before;
  printf('test_result_memory: a %d-byte result raised the peak by %d bytes\n', bytes, grown);
  if grown > 1.5 * bytes
    error('test_result_memory: a %d-byte result raised the peak by %d bytes', bytes, grown);
  end
  [~, order] = sort(X(1, :));
  expect_equal(X(:, order), V, 'the rays of the cone times V');
  Y = enumerate_rays(args{:});
  Y(1) = -7;
  if X(1) == -7
    error('test_result_memory: two results share their elements');
  end
end

function b = status_bytes(field)
  f = fopen('/proc/self/status');
  text = fread(f, Inf, 'char=>char')';
  fclose(f);
  b = 1024 * str2double(regexp(text, [field ':\s*(\d+) kB'], 'tokens', 'once'){1});
end
