%SBML_READ  Metabolic network of an SBML file (compiled plug-in, through libsbml).
%
%   S = SBML_READ(FILE)
%   [S, REVERSIBLE, REACTIONS, METABOLITES] = SBML_READ(FILE)
%
%   Reads the SBML file FILE (level 2 or 3, with or without the fbc package)
%   with libsbml and returns its stoichiometric matrix. The rows of S are
%   the species that are not boundary species (boundaryCondition false), in
%   the order of the file; its columns are the reactions, in the order of
%   the file. Reactants count negative and products positive; a species on
%   both sides of a reaction gets the net value. The coefficients are the
%   stoichiometry attributes (1 where the attribute is missing).
%
%   REVERSIBLE(j) is true when reaction j is marked reversible, or when the
%   fbc package gives it a negative lower flux bound: fbc version 2 through
%   the parameter that its lowerFluxBound names, fbc version 1 through a
%   flux bound (greaterEqual, equal or lessEqual) below zero.
%
%   Arguments
%     FILE         the file name, a char row.
%
%   Results
%     S            m x n double matrix (m internal species, n reactions).
%     REVERSIBLE   1 x n logical row.
%     REACTIONS    n x 1 cell array of the reaction ids (char rows).
%     METABOLITES  m x 1 cell array of the species ids (char rows).
%
%   Errors (message endings), in the order they are checked
%     One input argument required . . .
%     At most four output arguments allowed . . .
%     file must be a file name (a char row) . . .
%     Cannot read the file 'FILE' . . .
%     The file 'FILE' is not readable SBML (line L: libsbml's message) . . .
%     The SBML file 'FILE' holds no model . . .
%     The model has no reactions . . .
%     Reaction 'R' refers to the species 'X', which the model does not declare . . .
%     Reaction 'R' gives the stoichiometry of 'X' by a formula (stoichiometryMath), which is not read . . .
%     Reaction 'R' gives the species 'X' a stoichiometry that is not a finite number . . .
%
%   Not available in the Windows build (no libsbml there). Where the Octave
%   package is installed, it is built when pkg-config finds libsbml.
%
%   Example
%     [S, rev, reactions, metabolites] = sbml_read('ecoli5010.xml');
%     size(S)       % 56 68: internal species by reactions
%     nnz(rev)      % 11 reversible reactions
%     % the elementary flux modes: the irreversible fluxes >= 0, S*v = 0
%     I = eye(size(S, 2));
%     modes = extreme_rays(I(~rev, :), 'equalities', S);
%
%   See also EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('sbml_read: the compiled plug-in was not found on the path . . .');
