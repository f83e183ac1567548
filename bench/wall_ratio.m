function s = wall_ratio(a, b, timeout_seconds)
  % WALL_RATIO  Wall time of run A over run B, for a benchmark table; a lower bound when a did not finish.
  if ~b.done
    s = '-';
  elseif ~a.done
    s = sprintf('> %.0f', timeout_seconds / b.seconds);
  else
    s = sprintf('%.2f', a.seconds / b.seconds);
  end
end
