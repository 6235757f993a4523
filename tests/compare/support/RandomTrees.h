// Random hierarchies for the property tests of the comparison and the combined trees.
#pragma once

#include <random>
#include <string>

#include "TreeNode.h"

struct RandomTreeShape {
    int alphabet = 4;       // Latin names are drawn from this many letters
    int ranks = 2;          // ranks are drawn from this many rank names
    int maxDepth = 4;       // levels below the root
    int maxChildren = 5;    // width of an ordinary sibling list
    double wideShare = 0.0; // chance that a sibling list is wide instead
    int wideChildren = 60;  // width of a wide list
    int maxNodes = 400;     // no children are added once the tree holds this many
    bool distinctSiblings = false;  // no two siblings share a Latin name
};

// Fills a fresh tree with a random hierarchy. Every node gets a distinct common name
// ("#0", "#1", ...), which tells apart nodes whose Latin names are equal.
void buildRandomTree(ClassificationTree& tree, std::mt19937& rng, const RandomTreeShape& shape);

// Fills a fresh tree with a revision of `from`: subtrees dropped, renamed, re-ranked and
// added with the probability `rate` each. Latin names of added nodes come from
// `freshNames`, a counter that yields names nothing else uses.
void buildRevision(const ClassificationTree& from, ClassificationTree& to, std::mt19937& rng,
                   double rate, int& freshNames);

// Deep copy of names, marks, counts, numbers, levels and child order.
void cloneTree(const ClassificationTree& from, ClassificationTree& to);

// Empty when both hierarchies have the same nodes (all three names and the mark) in the
// same order under the same parents; otherwise where they first differ.
std::string structureDifference(const TreeNode* x, const TreeNode* y);
