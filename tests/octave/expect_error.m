function expect_error(f, ending, nout)
  % EXPECT_ERROR  Calls f() with one output (or with none when NOUT is 0) and
  % fails unless it raises an error whose message ends with ENDING (Octave
  % puts the function name in front).
  if nargin < 3
    nout = 1;
  end
  try
    if nout == 0
      f();
    else
      x = f();
    end
  catch err
    if !endsWith(err.message, ending)
      error('expect_error:wrong', 'expected an error ending "%s", got "%s"', ending, err.message);
    end
    return;
  end
  error('expect_error:none', 'expected an error ending "%s", got none', ending);
end
