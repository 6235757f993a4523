// Name order (unsigned bytes, a prefix first, no locale) and the sorted indexes.
#pragma once

#include "TreeNode.h"

// -1 when a's name sorts before b's, +1 otherwise (also when equal): never 0.
int compareLatinNames(const TreeNode* a, const TreeNode* b);
int compareCommonNames(const TreeNode* a, const TreeNode* b);

void sortLatinIndex(ClassificationTree& tree);

// sortLatinIndex as two halves that two threads can sort at once, then a merge: the same
// order, bar the order among equal names (which nothing relies on). sortHalf(0) and
// sortHalf(1) once each, on any threads, then merge() once both are done.
class LatinIndexInHalves {
public:
    explicit LatinIndexInHalves(ClassificationTree& tree);
    ~LatinIndexInHalves();
    LatinIndexInHalves(const LatinIndexInHalves&) = delete;
    LatinIndexInHalves& operator=(const LatinIndexInHalves&) = delete;
    void sortHalf(int half);
    void merge();

private:
    std::vector<TreeNode*>& m_nodes;
    void* m_keyed = nullptr;  // a name's key and its node, per node; each half sorted in place;
                              // freed by merge()
    size_t m_middle = 0;
    bool m_whole = false;  // short: sortHalf(0) sorts it all, the rest does nothing
};
void sortCommonIndex(ClassificationTree& tree);
// Sorts nodes by Latin name, nodes of one name keeping their order.
void stableSortByLatinName(std::vector<const TreeNode*>& nodes);
// Sorts every sibling list below `node` by Latin name.
void sortChildrenByLatinName(TreeNode* node);
