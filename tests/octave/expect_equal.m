function expect_equal(actual, expected, what)
  % EXPECT_EQUAL  Fails unless ACTUAL and EXPECTED have the same class, size
  % and values (NaNs in the same places count as equal).
  if !strcmp(class(actual), class(expected)) || !isequal(size(actual), size(expected)) ...
      || !isequaln(actual, expected)
    error('expect_equal:differ', '%s: got %s %s, expected %s %s', what, class(actual), ...
          mat2str(size(actual)), class(expected), mat2str(size(expected)));
  end
end
