function test_sbml_read()
  % sbml_read in the real host on the two E. coli networks beside the
  % repository (../shared/networks, passed in BITS_NETWORKS_DIR by ctest):
  % sizes, reversible counts, classes and shapes of the results, and S
  % against the ids. Skipped when the plug-in or the files are absent.
  if exist('sbml_read') != 3
    assert(isempty(getenv('BITS_FULL_TEST')), 'sbml_read is not built, and the full test run needs it');
    printf('test_sbml_read: skipped (sbml_read not built: no libsbml)\n');
    return;
  end
  dir = getenv('BITS_NETWORKS_DIR');
  cases = {'ecoli5010.xml', 56, 68, 11; 'EColiCore2.xml', 54, 82, 32};
  files = cellfun(@(f) fullfile(dir, f), cases(:, 1), 'UniformOutput', false);
  if isempty(dir) || !all(cellfun(@(f) exist(f, 'file') == 2, files))
    printf('test_sbml_read: skipped (no %s and %s in "%s")\n', cases{1, 1}, cases{2, 1}, dir);
    return;
  end
  for k = 1:rows(cases)
    [S, rev, reactions, metabolites] = sbml_read(files{k});
    [m, n, n_rev] = cases{k, 2:4};
    what = cases{k, 1};
    expect_equal(size(S), [m n], [what ' size of S']);
    expect_equal(class(S), 'double', [what ' class of S']);
    expect_equal(issparse(S), false, [what ' S full']);
    expect_equal(size(rev), [1 n], [what ' size of reversible']);
    expect_equal(class(rev), 'logical', [what ' class of reversible']);
    expect_equal(nnz(rev), n_rev, [what ' reversible reactions']);
    expect_equal(size(reactions), [n 1], [what ' reactions']);
    expect_equal(size(metabolites), [m 1], [what ' metabolites']);
    expect_equal(iscellstr(reactions) && iscellstr(metabolites), true, [what ' ids are char']);
    expect_equal(numel(unique([reactions; metabolites])), m + n, [what ' distinct ids']);
    expect_equal(all(any(S != 0, 2)), true, [what ' every metabolite takes part']);
    % Fewer outputs give the same matrix.
    expect_equal(sbml_read(files{k}), S, [what ' one output']);
  end
  % The ids follow the file, reactions and species in document order.
  text = fileread(files{1});
  ids = regexp(text, '<reaction[^>]* id="([^"]*)"', 'tokens');
  expect_equal(reactions_of(files{1}), [ids{:}]', 'ecoli5010 reaction ids in document order');
  expect_error(@() sbml_read(fullfile(dir, 'missing.xml')), ' . . .');
  expect_error(@() sbml_read(42), 'file must be a file name (a char row) . . .');
  printf('test_sbml_read: %d networks\n', rows(cases));
end

function ids = reactions_of(file)
  [~, ~, ids] = sbml_read(file);
end
