// Combined trees: descendant counts, grafting of what only the other tree holds, numbering.
#pragma once

#include <cstdint>

#include "TreeNode.h"

void countDescendants(ClassificationTree& tree);
// Grafts into the subtree of `a` copies of the nodes marked `other` below its partner `b`.
void graftUnique(TreeNode* a, TreeNode* b, uint8_t own, uint8_t other);
void countCombinedDescendants(ClassificationTree& tree);
void numberChildren(ClassificationTree& tree);
