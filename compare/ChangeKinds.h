// What became of a taxon that only one classification holds, judged against what the other
// classification itself holds (its own taxa, not the copies grafted into it from this one):
// the same name and rank under another parent (moved), the same name at another rank, or
// nothing of that name (removed from the first classification, added in the second).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "TreeNode.h"

// Renamed is never classify()'s answer: it is what the taxa that Renames pairs become.
enum class ChangeKind { None, Moved, Rank, Removed, Added, Renamed };
// "moved", "rank", "removed", "added", "renamed" ("" for None).
const char* changeKindName(ChangeKind kind);

class ChangeClassifier {
public:
    // Both trees combined (after grafting), tree 1 with id 1 and tree 2 with id 2.
    ChangeClassifier(const ClassificationTree& tree1, const ClassificationTree& tree2);

    // The change of a node of either combined tree marked 1 or 2 (None for a node held by
    // both). For a move, `counterpart` is the other classification's taxon.
    ChangeKind classify(const TreeNode& node, const TreeNode** counterpart = nullptr) const;
    // The other classification's first taxon of the node's Latin name, whatever its rank (of
    // a change of rank, the taxon at the other rank); null when it holds none.
    const TreeNode* namesake(const TreeNode& node) const;

private:
    struct Entry {
        uint64_t hash;  // of the Latin name
        const TreeNode* node;
    };
    // The taxa of side `side` (0 or 1) of this Latin name, depth first.
    template <class Each>
    void forEachNamed(int side, const TreeNode& node, Each&& each) const;
    // Of each classification's own taxa, those whose Latin name a taxon the other holds alone
    // may ask for, in the order of their names' hashes, each hash's depth first. Flat arrays:
    // on a whole catalogue these are millions of taxa.
    std::vector<Entry> m_own[2];
};
