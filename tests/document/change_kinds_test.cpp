// What became of each taxon that only one classification holds: moved, re-ranked, removed
// or added, through the whole combining chain.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ChangeKinds.h"
#include "CladoramaDoc.h"
#include "TestSupport.h"

namespace {

std::string path(const TreeNode* n) {
    std::string p;
    for (const TreeNode* q = n; q; q = q->parent) p = q->latinName + (p.empty() ? "" : " > " + p);
    return p;
}

}  // namespace

TEST(ChangeKinds, MovedReRankedRemovedAndAddedTaxa) {
    // The two trees of the comparison's worked example, with genus X moved from B to D and
    // Y a genus in one and a subgenus in the other.
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    addNode(&t1, "A", "Order");
    TreeNode* b1 = addNode(&t1, "B", "Order");
    addNode(b1, "X", "Genus");
    addNode(b1, "Y", "Genus");
    TreeNode* b2 = addNode(&t2, "B", "Order");
    addNode(b2, "Y", "Subgenus");
    addNode(addNode(&t2, "D", "Order"), "X", "Genus");
    addNode(&t2, "E", "Order");
    {
        ConsoleCapture quiet;
        buildCombinedTrees(t1, t2);
    }

    const ChangeClassifier changes(t1, t2);
    std::map<std::string, std::string> seen;  // path in tree 1's combined tree -> change
    forEachNode(static_cast<TreeNode*>(&t1), [&](TreeNode* n) {
        const TreeNode* other = nullptr;
        std::string kind = changeKindName(changes.classify(*n, &other));
        if (other) kind += " from " + path(other);
        if (n->onlyInTree) seen[path(n) + " " + n->rankName] = kind;
        else EXPECT_EQ(kind, "") << path(n);
    });
    const std::map<std::string, std::string> expected = {
        {"R > A Order", "removed"},
        {"R > B > X Genus", "moved from R > D > X"},
        {"R > B > Y Genus", "rank"},
        {"R > B > Y Subgenus", "rank"},  // the copy of tree 2's
        {"R > D Order", "added"},
        {"R > D > X Genus", "moved from R > B > X"},
        {"R > E Order", "added"},
    };
    EXPECT_EQ(seen, expected);
}
