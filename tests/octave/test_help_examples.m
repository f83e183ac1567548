function test_help_examples()
  % The example in the help text of each plug-in and M-function that states
  % its results ("% name = [...]") gives those results.
  checked = 0;
  for fn = {'bits_within', 'pair_screen', 'rational_approx', 'disk_sync', 'pattern_tree', 'enumerate_rays', 'flux_modes', 'compress_network', ...
            'candidate_pairs', 'ray_signs', 'ray_combine', 'integer_null_space', 'flux_modes_pipeline', ...
            'network_compression', 'mode_file'}
    if ~exist(fn{1})  % mode_file: built where libhdf5 is
      continue;
    end
    % The example: the lines indented deeper than its heading.
    lines_ = strsplit(get_help_text(fn{1}), "\n");
    first_ = find(strcmp(strtrim(lines_), 'Example'), 1) + 1;
    inside_ = strncmp(lines_(first_:end), '     ', 5);
    example_ = strtrim(lines_(first_:first_ + find([!inside_ true], 1) - 2));
    stated_ = regexp(strjoin(example_(strncmp(example_, '%', 1)), ' '), '(\w+) = (\[[^\]]*\])', 'tokens');
    if isempty(stated_)
      continue;
    end
    checked = checked + 1;
    run_example(strjoin(example_(!strncmp(example_, '%', 1)), "\n"), stated_, fn{1});
  end
  if checked < 11
    error('test_help_examples: only %d examples state their results', checked);
  end
  printf('test_help_examples: %d examples give the results their help texts state\n', checked);
end

% Runs the example code here, so that its variables (and ans) are this
% function's, then compares each stated result with the variable.
function run_example(code_, stated_, fn_)
  evalc(code_);
  for k_ = 1:numel(stated_)
    got_ = eval(stated_{k_}{1});
    if !isequal(double(got_), eval(stated_{k_}{2}))
      error('test_help_examples: the example of %s gives %s = %s, its help text says %s', ...
            fn_, stated_{k_}{1}, mat2str(double(got_)), stated_{k_}{2});
    end
  end
end
