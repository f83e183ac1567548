function cones = benchmark_cones(which)
  % The cones of the extreme-rays benchmark, as a struct array with fields
  % name, family, A and B (equalities, empty for none): the cone is
  % {x : A x >= 0, B x = 0}. WHICH = 'all' (default) or 'test', the smaller
  % ones that the exactness test compares with the C enumerators.
  if nargin < 1
    which = 'all';
  end
  cones = struct('name', {}, 'family', {}, 'A', {}, 'B', {});
  add = @(cones, name, family, A, B) [cones, struct('name', name, 'family', family, 'A', A, 'B', B)];

  for n = 5:7
    if n < 7 || strcmp(which, 'all')
      cones = add(cones, sprintf('semimetric %d points', n), 'semimetric', semimetric(n), []);
    end
  end
  cones = add(cones, 'cyclic dual [1 t..t^6], t=1..24', 'cyclic', cyclic_dual(1:24, 6), []);
  cones = add(cones, 'cyclic dual [1 t..t^4], t=1..40', 'cyclic', cyclic_dual(1:40, 4), []);
  cones = add(cones, 'cyclic dual [1 t..t^8], t=1..20', 'cyclic', cyclic_dual(1:20, 8), []);
  rand('seed', 10);
  cones = add(cones, 'random 0/1, 40 x 10', 'random 0/1', double(rand(40, 10) < 0.5), []);
  if strcmp(which, 'all')
    rand('seed', 12);
    cones = add(cones, 'random 0/1, 50 x 12', 'random 0/1', double(rand(50, 12) < 0.5), []);
  end
  rand('seed', 11);
  cones = add(cones, 'random integer, orthant + 30 rows, 10-d', 'random integer', ...
              [eye(10); randi([-4 9], 30, 10)], []);
  cones = add(cones, 'cut cone CUT_6 (its facets)', 'cut polytope', cut_vectors(6), []);
  if strcmp(which, 'all')
    cones = add(cones, 'cut cone CUT_7 (its facets)', 'cut polytope', cut_vectors(7), []);
  end
  [S, irreversible] = carbon_network();
  cones = add(cones, 'central carbon network (flux modes)', 'metabolic', ...
              eye(size(S, 2))(irreversible, :), S);
end

function A = semimetric(n)
  % The triangle inequalities d(i,k) <= d(i,j) + d(j,k) on the n(n-1)/2
  % distances of n points: the semimetric cone (its rays: 25, 296 and 55,226
  % for 5, 6 and 7 points).
  pairs = nchoosek(1:n, 2);
  index = zeros(n);
  for e = 1:size(pairs, 1)
    index(pairs(e, 1), pairs(e, 2)) = e;
    index(pairs(e, 2), pairs(e, 1)) = e;
  end
  triples = nchoosek(1:n, 3);
  A = zeros(3 * size(triples, 1), size(pairs, 1));
  r = 0;
  for t = triples'
    for k = 1:3
      apex = t(k);
      other = t([1:k-1, k+1:3]);
      r = r + 1;
      A(r, index(apex, other(1))) = 1;
      A(r, index(apex, other(2))) = 1;
      A(r, index(other(1), other(2))) = -1;
    end
  end
end

function A = cyclic_dual(t, degree)
  % Rows [1 t t^2 ... t^degree]: the cone whose rays are the facets of the
  % cyclic polytope of these points on the moment curve.
  A = t(:) .^ (0:degree);
end

function A = cut_vectors(n)
  % The 2^(n-1) - 1 cut vectors of the complete graph on n nodes as rows:
  % the rays of {x : A x >= 0} are the facets of the cut cone CUT_n.
  pairs = nchoosek(1:n, 2);
  A = zeros(2^(n - 1) - 1, size(pairs, 1));
  for s = 1:2^(n - 1) - 1
    side = bitand(s, 2 .^ (0:n - 1)) ~= 0;
    A(s, :) = side(pairs(:, 1)) ~= side(pairs(:, 2));
  end
end

function [S, irreversible] = carbon_network()
  % A small network of central carbon metabolism in whole carbon atoms:
  % glycolysis, pentose phosphate shunt, TCA cycle, glyoxylate shunt,
  % anaplerosis and four products. Columns are reactions, rows the internal
  % metabolites; the steady state is S v = 0.
  mets = {'G6P', 'F6P', 'FBP', 'T3P', 'PEP', 'PYR', 'ACCOA', 'OAA', 'CIT', 'AKG', ...
          'SUCC', 'MAL', 'GLX', 'RU5P', 'E4P', 'S7P'};
  % name, stoichiometry, reversible
  reactions = {
    'glc_in', {'G6P', 1}, false
    'pgi',    {'G6P', -1, 'F6P', 1}, true
    'pfk',    {'F6P', -1, 'FBP', 1}, false
    'fbp',    {'FBP', -1, 'F6P', 1}, false
    'fba',    {'FBP', -1, 'T3P', 2}, true
    'lower',  {'T3P', -1, 'PEP', 1}, true
    'pyk',    {'PEP', -1, 'PYR', 1}, false
    'pps',    {'PYR', -1, 'PEP', 1}, false
    'pdh',    {'PYR', -1, 'ACCOA', 1}, false
    'cs',     {'ACCOA', -1, 'OAA', -1, 'CIT', 1}, false
    'icd',    {'CIT', -1, 'AKG', 1}, false
    'akgdh',  {'AKG', -1, 'SUCC', 1}, false
    'sdh',    {'SUCC', -1, 'MAL', 1}, false
    'mdh',    {'MAL', -1, 'OAA', 1}, true
    'icl',    {'CIT', -1, 'SUCC', 1, 'GLX', 1}, false
    'ms',     {'GLX', -1, 'ACCOA', -1, 'MAL', 1}, false
    'ppc',    {'PEP', -1, 'OAA', 1}, false
    'pck',    {'OAA', -1, 'PEP', 1}, false
    'me',     {'MAL', -1, 'PYR', 1}, false
    'zwf',    {'G6P', -1, 'RU5P', 1}, false
    'tkt1',   {'RU5P', -2, 'S7P', 1, 'T3P', 1}, true
    'tal',    {'S7P', -1, 'T3P', -1, 'E4P', 1, 'F6P', 1}, true
    'tkt2',   {'RU5P', -1, 'E4P', -1, 'F6P', 1, 'T3P', 1}, true
    'ac_out', {'ACCOA', -1}, false
    'lac_out', {'PYR', -1}, false
    'succ_out', {'SUCC', -1}, false
    'akg_out', {'AKG', -1}, false
    'ru5p_out', {'RU5P', -1}, false
  };
  S = zeros(numel(mets), size(reactions, 1));
  for j = 1:size(reactions, 1)
    terms = reactions{j, 2};
    for k = 1:2:numel(terms)
      S(strcmp(mets, terms{k}), j) = terms{k + 1};
    end
  end
  irreversible = ~[reactions{:, 3}];
end
