%PATTERN_TREE  Pattern tree over the columns of a packed pattern matrix, in the layout that PAIR_SCREEN takes (compiled plug-in).
%
%   [R_TREE, I_NODE, I_LEAF] = PATTERN_TREE(R, LEAF_SIZE)
%   [R_TREE, I_NODE, I_LEAF, ORDER] = PATTERN_TREE(R, LEAF_SIZE)
%
%   R is an M x N uint32 matrix, one bit pattern per column (element r of a
%   column carries bits 32*r to 32*r+31). The tree splits the set of columns
%   on one bit at a time (the bit that halves the set most evenly, judged on
%   at most 32 evenly spaced columns of it, all of them when the sample shows
%   no bit that varies; ties go to the lowest bit; columns holding the bit go
%   to the first child) until a set holds at most LEAF_SIZE columns (default
%   8) or its columns are all equal (equal columns cannot be split on a bit
%   and stay together). Splitting stops at depth 900 whatever the leaf size.
%   Every column of R is listed exactly once, at a leaf.
%
%   R is never reordered: the tree names columns of R as they stand. A node
%   lists one range of consecutive column numbers, so a leaf whose columns
%   are not consecutive in R lists nothing itself and gets one child per run
%   of consecutive columns.
%
%   Results (n_nodes nodes, numbered 0 .. n_nodes-1 in depth-first preorder)
%     R_TREE  M x n_nodes uint32: the pattern of node l (column l+1) is the
%             bitwise AND of every column listed at node l and below it, so
%             a node whose pattern has a bit outside a union of two columns
%             holds no column inside that union, nor does its subtree.
%     I_NODE  1 x n_nodes uint32: the number of the first node after the
%             subtree of node l (skip target); l < I_NODE(l+1) <= n_nodes.
%     I_LEAF  2 x n_nodes uint64: 0-based first (row 1) and last (row 2)
%             column of R listed at node l; first > last lists none.
%     ORDER   1 x N double, a permutation of 1:N: the columns of R in the
%             order in which the leaves list them (depth-first). A caller
%             free to keep its columns in this order, R(:, ORDER), gets a
%             tree whose leaves mostly list one range each.
%
%   N = 0 gives an empty tree (n_nodes = 0). LEAF_SIZE is a positive whole
%   number of any numeric class (Inf makes one leaf). 100,000 columns of 128
%   bits take a few hundredths of a second.
%
%   Errors (message endings), in the order they are checked
%     One or two input arguments required . . .
%     At most four output arguments allowed . . .
%     R must be a real uint32 matrix . . .
%     leaf_size must be a positive whole number . . .
%     R has too many columns for a pattern tree . . .
%
%   Example
%     R = uint32([1 3 5 7 8 12]);        % six patterns of one word
%     [R_tree, i_node, i_leaf] = pattern_tree(R, 2);
%     j_comb = uint32([0 1; 0 2; 3 4]'); % three candidate pairs (0-based)
%     adjacent = pair_screen(R, j_comb, R_tree, i_node, i_leaf, uint16(2))
%     % adjacent = [1; 1; 0]: only the union 7 | 8 = 15 holds other
%     % columns (1, 3, 5 and 12)
%
%   See also PAIR_SCREEN, CANDIDATE_PAIRS, EXTREME_RAYS.

% This file holds only the help text; the function is the compiled plug-in
% of the same name beside it.
error('pattern_tree: the compiled plug-in was not found on the path . . .');
