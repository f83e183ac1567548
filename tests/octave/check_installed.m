function check_installed(folder, names)
  % CHECK_INSTALLED  The plug-ins and M-functions NAMES that an install put
  % under FOLDER are the ones on the path, with their help texts, and they
  % work: the examples of the help texts give the results they state, and
  % extreme_rays finds the rays of a cone and saves a step (disk_sync).
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
