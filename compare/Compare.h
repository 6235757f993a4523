// Depth pass and the level-by-level comparison of two trees.
#pragma once

#include "Census.h"
#include "TreeNode.h"

// Raises `maxLevel` to the deepest level below the root (a root alone keeps -999).
void computeMaxLevel(ClassificationTree& tree);

// Marks the nodes of `t` that have no partner of the same Latin name and rank name in
// `u`, pairing children by position after aligning same-named children; reorders the
// children arrays of both trees. Needs `t.treeId` set and every mark 0 before the first
// of the two passes.
void compareTrees(ClassificationTree& t, ClassificationTree& u);
// The same, with the size (children of one node times children of its partner) up to which
// a sibling list is aligned by the plain scan rather than from name-sorted positions, and
// the longest run of same-named siblings up to which the sorted positions are walked one
// by one rather than kept in balanced trees. Every way gives the same result; tests use
// these to exercise each of them.
constexpr size_t kSliceGroupLimit = 48;
void compareTrees(ClassificationTree& t, ClassificationTree& u, size_t directScanLimit,
                  size_t sliceGroupLimit = kSliceGroupLimit);
