function check_installed(folder, names, license)
  % CHECK_INSTALLED  The plug-ins and M-functions NAMES that an install put
  % under FOLDER are the ones on the path, with their help texts, and they
  % work: the examples of the help texts give the results they state, and
  % extreme_rays finds the rays of a cone and saves a step (disk_sync).
  % With LICENSE (a file), the install is bits_mex's by pkg install: pkg
  % lists it with License BSD-3-Clause, and its installed COPYING has the
  % text of LICENSE.
  if nargin > 2
    installed = pkg('list', 'bits_mex');
    if numel(installed) != 1 || !strcmp(installed{1}.license, 'BSD-3-Clause')
      error('check_installed: pkg lists no bits_mex of License BSD-3-Clause');
    end
    copying = fullfile(installed{1}.dir, 'packinfo', 'COPYING');
    if !exist(copying, 'file') || !strcmp(fileread(copying), fileread(license))
      error('check_installed: %s is not the text of %s', copying, license);
    end
  end
  for k = 1:numel(names)
    found = which(names{k});
    if !strncmp(found, folder, numel(folder))
      error('check_installed: %s is %s, not from %s', names{k}, found, folder);
    end
    if isempty(get_help_text(names{k}))
      error('check_installed: %s has no help text', names{k});
    end
  end
  test_help_examples();
  expect_equal(extreme_rays([1 1 0; 1 -1 0; 1 0 1; 1 0 -1], 'threads', 2), ...
               int64([1 1 1 1; -1 -1 1 1; -1 1 -1 1]), 'extreme_rays of the cone over a square in one call');
  saved = [tempname() '.psi'];
  rays = extreme_rays([1 1 0; 1 -1 0; 1 0 1; 1 0 -1], 'save', saved);
  expect_equal(rays, int64([1 1 1 1; -1 -1 1 1; -1 1 -1 1]), 'extreme_rays of the cone over a square');
  if !exist(saved, 'file')
    error('check_installed: extreme_rays saved no step');
  end
  delete(saved);
  printf('check_installed: %d functions from %s\n', numel(names), folder);
end
