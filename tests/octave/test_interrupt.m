function test_interrupt()
  % Ctrl-C in the real host: SIGINT, sent by a shell in the background half
  % a second into an enumerate_rays run that would take half a minute
  % (the orthant of R^16 cut by 60 random rows), ends the call with the
  % error; the next call runs to its end.
  n = 16; k = 60;
  rand('seed', 16);
  A = [int64(eye(n)); int64(floor(rand(k, n) * 6) - 1)];
  system(sprintf('(sleep 0.5; kill -INT %d) > /dev/null 2>&1 &', getpid()));
  stopped = false;
  try
    X = enumerate_rays(A, int64(eye(n)), 0:n+k-1, false(1, n+k), 1, 64);
  catch e
    stopped = true;
    assert(!isempty(strfind(e.message, 'Interrupted by Ctrl-C in step ')), e.message);
  end
  assert(stopped, 'test_interrupt: the run was not interrupted');
  rays = extreme_rays([1 1 0; 1 -1 0; 1 0 1; 1 0 -1]);
  assert(columns(rays) == 4);
  printf('test_interrupt: passed\n');
end
