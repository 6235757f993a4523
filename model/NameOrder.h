// Name order (unsigned bytes, a prefix first, no locale) and the sorted indexes.
#pragma once

#include "TreeNode.h"

// -1 when a's name sorts before b's, +1 otherwise (also when equal): never 0.
int compareLatinNames(const TreeNode* a, const TreeNode* b);
int compareCommonNames(const TreeNode* a, const TreeNode* b);

void sortLatinIndex(ClassificationTree& tree);
void sortCommonIndex(ClassificationTree& tree);
// Sorts nodes by Latin name, nodes of one name keeping their order.
void stableSortByLatinName(std::vector<const TreeNode*>& nodes);
// Sorts every sibling list below `node` by Latin name.
void sortChildrenByLatinName(TreeNode* node);
