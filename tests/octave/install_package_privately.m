function install_package_privately(tarball, dir)
  % INSTALL_PACKAGE_PRIVATELY  pkg install of the Octave package TARBALL
  % into a fresh package prefix and package list under DIR, then pkg load.
  % Nothing of the user's or the system's packages is changed: the prefix
  % and the list are DIR's, and the install is a local one even as root.
  confirm_recursive_rmdir(false);
  if exist(dir, 'dir')
    rmdir(dir, 's');
  end
  mkdir(dir);
  pkg('prefix', fullfile(dir, 'packages'), fullfile(dir, 'packages'));
  pkg('local_list', fullfile(dir, 'octave_packages'));
  pkg('install', '-local', tarball);
  pkg('load', 'bits_mex');
end
