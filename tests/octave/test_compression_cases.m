function test_compression_cases()
  % COMPRESS_NETWORK (now the plug-in NETWORK_COMPRESSION, in the real host)
  % against the fixture tests/data/compression_cases.txt: what the M-code
  % compression that it replaced made of these 136 networks (kernel_tests
  % checks the C++ kernel against the same file). Regenerated and compared
  % whole. Only after a deliberate change of the compression, rewrite it with
  %   fid = fopen('tests/data/compression_cases.txt', 'w'); fputs(fid, compression_cases()); fclose(fid);
  file = fullfile(fileparts(mfilename('fullpath')), '..', 'data', 'compression_cases.txt');
  expected = fileread(file);
  actual = compression_cases();
  if ~strcmp(actual, expected)
    a = strsplit(actual, "\n");
    e = strsplit(expected, "\n");
    k = find(~strcmp(a(1:min(numel(a), numel(e))), e(1:min(numel(a), numel(e)))), 1);
    error('test_compression_cases: compress_network differs from the fixture at line %d: "%s", fixture "%s"', ...
          k, a{k}, e{k});
  end
  printf('test_compression_cases: %d networks as in the fixture\n', numel(strfind(actual, 'network ')));
end
