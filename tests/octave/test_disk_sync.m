function test_disk_sync()
  % disk_sync in GNU Octave, called as MATLAB code would call it.
  dir = tempname();
  mkdir(dir);
  cleanup = onCleanup(@() remove_folder(dir));

  % An existing file is flushed and left as it was.
  name = fullfile(dir, 'data.bin');
  contents = uint8([0:255 10 0 13]);
  write_bytes(name, contents);
  before = stat(name);
  disk_sync(name);
  after = stat(name);
  expect_equal(read_bytes(name), contents, 'contents after disk_sync');
  expect_equal(after.size, before.size, 'size after disk_sync');
  expect_equal(after.mtime, before.mtime, 'modification time after disk_sync');
  old = cd(dir);
  disk_sync('data.bin');   % relative to the current folder
  disk_sync('data.bin''');  % a column of characters
  cd(old);
  expect_equal(read_bytes(name), contents, 'contents after relative disk_sync');

  % A name that is not there is not created.
  missing = fullfile(dir, 'missing.txt');
  disk_sync(missing);
  expect_equal(exist(missing, 'file'), 0, 'missing file');

  % Empty names, a directory, a pipe without a reader and a device return at
  % once, silently.
  disk_sync('');
  disk_sync(char(zeros(1, 0)));
  disk_sync(char(zeros(0, 0)));
  disk_sync(dir);
  pipe = fullfile(dir, 'pipe');
  [err, msg] = mkfifo(pipe, 600);
  if err != 0
    error('test_disk_sync: mkfifo failed: %s', msg);
  end
  disk_sync(pipe);
  disk_sync('/dev/null');

  % A name that is not plain ASCII names that file, and no shorter one.
  accented = fullfile(dir, "dat\xC3\xA9\xE2\x82\xAC");
  write_bytes(accented, uint8('full'));
  write_bytes(fullfile(dir, "dat\xC3\xA9"), uint8('prefix'));
  disk_sync(accented);
  expect_equal(char(read_bytes(accented)), 'full', 'non-ASCII name');
  expect_equal(char(read_bytes(fullfile(dir, "dat\xC3\xA9"))), 'prefix', 'shorter name');

  % A name with a NUL character inside does nothing; trailing NULs are dropped.
  disk_sync([name char(0) 'x']);
  disk_sync([name char([0 0])]);
  expect_equal(read_bytes(name), contents, 'name with NUL');

  % Messages, in the order the checks run.
  expect_error(@() disk_sync(), 'One input argument expected . . .', 0);
  expect_error(@() disk_sync(name, name), 'One input argument expected . . .', 0);
  expect_error(@() disk_sync(42, 42), 'One input argument expected . . .');
  expect_error(@() disk_sync(name), 'No output arguments allowed . . .');
  expect_error(@() disk_sync(42), 'No output arguments allowed . . .');
  expect_error(@() disk_sync(42), 'Input must be a string . . .', 0);
  expect_error(@() disk_sync({name}), 'Input must be a string . . .', 0);
  expect_error(@() disk_sync(uint8(name)), 'Input must be a string . . .', 0);
  expect_equal(read_bytes(name), contents, 'contents at the end');
  printf('test_disk_sync: all checks passed\n');
end

function remove_folder(dir)
  confirm_recursive_rmdir(false, 'local');
  rmdir(dir, 's');
end

function write_bytes(name, bytes)
  fid = fopen(name, 'w');
  fwrite(fid, bytes, 'uint8');
  fclose(fid);
end

function bytes = read_bytes(name)
  fid = fopen(name, 'r');
  bytes = fread(fid, Inf, 'uint8=>uint8')';
  fclose(fid);
end
