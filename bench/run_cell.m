function s = run_cell(r)
  % RUN_CELL  A benchmark table's cell for a run R (fields done, seconds,
  % cpu_seconds, peak_mb): wall s (CPU s, MB), or "> timeout".
  if ~r.done
    s = '> timeout';
  else
    s = sprintf('%.2f (%.2f, %.0f)', r.seconds, r.cpu_seconds, r.peak_mb);
  end
end
