function s = ifelse_str(flag)
  % IFELSE_STR  'inside' for a set flag, '-' otherwise (for the demo's table).
  if flag
    s = 'inside';
  else
    s = '-';
  end
end
