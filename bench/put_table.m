function put_table(file, table, tag)
  % Puts TABLE into FILE between the lines "<!-- TAG:begin -->" and
  % "<!-- TAG:end -->", which must be there.
  text = fileread(file);
  first = strfind(text, sprintf('<!-- %s:begin -->', tag));
  last = strfind(text, sprintf('<!-- %s:end -->', tag));
  if isempty(first) || isempty(last)
    error('put_table: %s has no %s:begin/%s:end markers', file, tag, tag);
  end
  text = [text(1:first + numel(sprintf('<!-- %s:begin -->', tag))) table text(last:end)];
  f = fopen(file, 'w');
  fputs(f, text);
  fclose(f);
end
