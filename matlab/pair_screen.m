%PAIR_SCREEN  Adjacency screen of column pairs against a pattern tree (compiled plug-in).
%
%   ADJACENT = PAIR_SCREEN(R, J_COMB, R_TREE, I_NODE, I_LEAF, N_THREADS)
%
%   Each column of a uint32 matrix is one bit pattern: element r of a column
%   carries bits 32*r to 32*r+31. For every candidate pair (a, b) of columns
%   of R (column i of J_COMB), ADJACENT(i) is 0 when some third column c of R
%   (c ~= a, c ~= b, told apart by number, not by bits) lies inside the union
%   of columns a and b and is listed at a tree node that is open for the
%   pair, and 1 otherwise. A node is open when its pattern and the patterns
%   of all its ancestors lie inside the union; a node that is not open is
%   skipped with its whole subtree.
%
%   When every node's pattern holds only bits that all the columns listed at
%   and below the node share (for example their bitwise AND), and every
%   column is listed somewhere, the result equals the test of each pair
%   against all columns of R.
%
%   Arguments
%     R          M x N real uint32 matrix, the reference patterns.
%     J_COMB     2 x n_comb uint32 or double matrix of 0-based column numbers
%                of R, one pair per column. Doubles are truncated toward zero
%                (2.9 names column 2); every value at least 0 and below N.
%     R_TREE     M x n_nodes real uint32 matrix: the pattern of each node.
%                Nodes are numbered 0 .. n_nodes-1 in depth-first preorder.
%     I_NODE     1 x n_nodes uint32 row of skip targets: the subtree of node
%                l (0-based) is l .. I_NODE(l+1)-1, so l < I_NODE(l+1) <=
%                n_nodes, and subtrees nest. A forest is allowed: each root's
%                skip target is the next root, the last one's is n_nodes.
%     I_LEAF     2 x n_nodes uint64 matrix: node l lists the columns
%                I_LEAF(1, l+1) .. I_LEAF(2, l+1) of R (0-based, inclusive);
%                with first > last it lists none. Ranges may overlap.
%     N_THREADS  number of OpenMP threads, first element used: a uint16 as
%                it stands, any other numeric class by its value. At most the
%                processor count is used; 0 runs on one thread.
%
%   Result
%     ADJACENT   n_comb x 1 uint8 column of 0 and 1.
%
%   Without rows (M = 0) every node is open and every listed column other
%   than a and b counts. Trees of any depth are walked.
%
%   Errors (message endings), in the order they are checked
%     Six input arguments required . . .
%     One output argument required . . .
%     Candidate combinations must be a 2 by n matrix . . .
%     R_tree, i_node and i_leaf must have the same number of columns . . .
%     R and R_tree must have the same number of rows . . .
%     i_node must have one row . . .
%     i_leaf must have two rows . . .
%     n_threads must be a non-empty real numeric array . . .
%     j_comb should be of type 'uint32' or 'double' . . .
%     R and R_tree must be real uint32 matrices . . .
%     j_comb must hold 0-based column numbers of R . . .
%     i_node must be a real uint32 row . . .
%     i_node must hold skip targets with l < i_node(l) <= n_nodes (0-based l) . . .
%     Subtrees must nest: no skip target in i_node may pass its parent's . . .
%     i_leaf must be a real uint64 matrix . . .
%     i_leaf ranges with first <= last must name 0-based columns of R . . .
%     Out of memory for the tree walk . . .
%
%   Example
%     R = uint32([1 2 3 4]);          % columns {0}, {1}, {0,1}, {2}
%     R_tree = uint32([0 1 4]);       % root {}, children {0} and {2}
%     i_node = uint32([3 2 3]);       % node 0 holds nodes 1 and 2
%     i_leaf = uint64([1 2 3; 0 2 3]); % node 1 lists column 2, node 2 column 3
%     adjacent = pair_screen(R, uint32([0 1; 1 3]), R_tree, i_node, i_leaf, uint16(2))
%     % adjacent = [0; 1]: {0,1} holds column 2; {1,2} holds only column 3 = b
%
%   The OpenMP thread count that a call sets stays in force afterwards.
%
%   See also BITS_WITHIN, RATIONAL_APPROX, DISK_SYNC.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('pair_screen: the compiled plug-in was not found on the path . . .');
