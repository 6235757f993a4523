#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Compare.h"
#include "RandomTrees.h"
#include "ReferenceCompare.h"
#include "TestSupport.h"

namespace {

// Both passes in the order the load pipeline runs them.
void compareBoth(ClassificationTree& t1, ClassificationTree& t2) {
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
}

std::string marks(const TreeNode* node) {
    std::string s;
    for (const TreeNode* c : node->children) {
        if (!s.empty()) s += ",";
        s += std::string(c->latinName) + "=" + std::to_string(c->onlyInTree);
    }
    return s;
}

// Latin name of each child with the id carried in its common name ("X#3").
std::string identities(const TreeNode* node) {
    std::string s;
    for (const TreeNode* c : node->children) s += std::string(c->latinName) + c->commonName + " ";
    return s;
}

}  // namespace

// The deepest level is found from the first child of every node that has children, and
// only ever raises the value the tree starts with.
TEST(DepthPass, FindsTheDeepestLevelBelowTheRoot) {
    ClassificationTree bare;
    nameRoot(bare, "R");
    computeMaxLevel(bare);
    EXPECT_EQ(bare.maxLevel, -999);

    ClassificationTree t;
    nameRoot(t, "R");
    addNode(&t, "A");  // a leaf first: the deep branch is not the first child
    TreeNode* b = addNode(&t, "B");
    TreeNode* c = addNode(b, "C");
    addNode(c, "D", "Species");
    computeMaxLevel(t);
    EXPECT_EQ(t.maxLevel, 3);
    computeMaxLevel(t);  // again: nothing deeper
    EXPECT_EQ(t.maxLevel, 3);

    ClassificationTree flat;
    nameRoot(flat, "R");
    addNode(&flat, "A");
    addNode(&flat, "B");
    computeMaxLevel(flat);
    EXPECT_EQ(flat.maxLevel, 1);
    flat.maxLevel = 5;
    computeMaxLevel(flat);
    EXPECT_EQ(flat.maxLevel, 5);
}

TEST(CompareTrees, WorkedExampleAlignsMarksAndKeepsRootsPaired) {
    for (size_t limit : {size_t(0), size_t(1000)}) {  // indexed and scanning alignment
        ClassificationTree t1, t2;
        nameRoot(t1, "R");
        nameRoot(t2, "R");
        addNode(&t1, "A");
        addNode(&t1, "B");
        addNode(&t2, "B");
        addNode(&t2, "D");
        addNode(&t2, "E");
        t1.treeId = 1;
        t2.treeId = 2;
        compareTrees(t1, t2, limit);
        EXPECT_EQ(childNames(&t2), "D,B,E");
        EXPECT_EQ(marks(&t1), "A=1,B=0");
        EXPECT_EQ(marks(&t2), "D=0,B=0,E=0");  // the first pass never marks U
        compareTrees(t2, t1, limit);
        EXPECT_EQ(childNames(&t1), "A,B");
        EXPECT_EQ(childNames(&t2), "D,B,E");
        EXPECT_EQ(marks(&t1), "A=1,B=0");
        EXPECT_EQ(marks(&t2), "D=2,B=0,E=2");
        EXPECT_EQ(t1.onlyInTree, 0);
        EXPECT_EQ(t2.onlyInTree, 0);
        EXPECT_EQ(validate(t1), "");
        EXPECT_EQ(validate(t2), "");
    }
}

TEST(CompareTrees, RootsOfDifferentNamesOrRanksAreMarkedButTheirChildrenStillCompared) {
    ClassificationTree t1, t2;
    nameRoot(t1, "Mammalia");
    nameRoot(t2, "Aves");
    addNode(&t1, "X");
    addNode(&t2, "X");
    compareBoth(t1, t2);
    EXPECT_EQ(t1.onlyInTree, 1);
    EXPECT_EQ(t2.onlyInTree, 2);
    EXPECT_EQ(marks(&t1), "X=0");
    EXPECT_EQ(marks(&t2), "X=0");

    ClassificationTree r1, r2;
    nameRoot(r1, "R");
    nameRoot(r2, "R");
    TreeNode* g1 = addNode(&r1, "Felis", "Genus");
    TreeNode* g2 = addNode(&r2, "Felis", "Subgenus");
    addNode(g1, "Felis catus", "Species");
    addNode(g2, "Felis catus", "Species");
    addNode(g2, "Felis silvestris", "Species");
    compareBoth(r1, r2);
    EXPECT_EQ(g1->onlyInTree, 1);
    EXPECT_EQ(g2->onlyInTree, 2);
    EXPECT_EQ(marks(g1), "Felis catus=0");
    EXPECT_EQ(marks(g2), "Felis catus=0,Felis silvestris=2");
}

TEST(CompareTrees, RootOnlyTreesAndEmptySides) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    compareBoth(t1, t2);
    EXPECT_EQ(t1.onlyInTree, 0);
    EXPECT_EQ(t2.onlyInTree, 0);

    // Against a bare root every child of the other side is left over, subtree and all;
    // the bare root's own pass stops at once.
    TreeNode* a = addNode(&t2, "A");
    TreeNode* leaf = addNode(a, "A b", "Species");
    addNode(&t2, "C");
    compareBoth(t1, t2);
    EXPECT_EQ(marks(&t2), "A=2,C=2");
    EXPECT_EQ(leaf->onlyInTree, 2);
    EXPECT_EQ(t1.onlyInTree, 0);
}

TEST(CompareTrees, IdenticalTreesKeepOrderAndMarks) {
    std::mt19937 rng(7);
    RandomTreeShape shape;
    // Same-named siblings would be reordered (each pulls the last of its namesakes), so
    // identical here means distinct sibling names.
    shape.distinctSiblings = true;
    shape.wideShare = 0.1;
    for (int round = 0; round < 50; ++round) {
        ClassificationTree original, t1, t2;
        buildRandomTree(original, rng, shape);
        cloneTree(original, t1);
        cloneTree(original, t2);
        compareBoth(t1, t2);
        EXPECT_EQ(structureDifference(&original, &t1), "");
        EXPECT_EQ(structureDifference(&original, &t2), "");
    }
}

TEST(CompareTrees, RunOfSwapsWithOneNameRotatesTheSameNamedChildren) {
    // Aligning X at 0 over X1 Y X2 X3: i=0 swaps in place, i=2 brings X2 to 0 and X1 to
    // 2, i=3 brings X3 to 0 and X2 to 3.
    for (size_t limit : {size_t(0), size_t(1000)}) {
        ClassificationTree t1, t2;
        nameRoot(t1, "R");
        nameRoot(t2, "R");
        addNode(&t1, "X", "Genus", "#a");
        addNode(&t2, "X", "Genus", "#1");
        addNode(&t2, "Y", "Genus", "#y");
        addNode(&t2, "X", "Genus", "#2");
        addNode(&t2, "X", "Genus", "#3");
        t1.treeId = 1;
        t2.treeId = 2;
        compareTrees(t1, t2, limit);
        EXPECT_EQ(identities(&t2), "X#3 Y#y X#1 X#2 ");
        // Position 1 does not hold the name: the child there moves to the first match.
        ClassificationTree u1, u2;
        nameRoot(u1, "R");
        nameRoot(u2, "R");
        addNode(&u1, "P", "Genus", "#p");
        addNode(&u1, "X", "Genus", "#a");
        addNode(&u2, "X", "Genus", "#1");
        addNode(&u2, "Y", "Genus", "#y");
        addNode(&u2, "Z", "Genus", "#z");
        addNode(&u2, "X", "Genus", "#2");
        u1.treeId = 1;
        compareTrees(u1, u2, limit);
        // j=1: i=0 swaps X1 and Y (Y at 0, X1 at 1), i=3 swaps X2 and X1 (X2 at 1, X1 at 3).
        EXPECT_EQ(identities(&u2), "Y#y X#2 Z#z X#1 ");
    }
}

TEST(CompareTrees, DeepChainsNeedNoDeepStack) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    TreeNode* p = &t1;
    TreeNode* q = &t2;
    TreeNode* renamed = nullptr;
    for (int d = 0; d < 20000; ++d) {
        p = addNode(p, "L");
        q = addNode(q, d == 19000 ? "M" : "L");
        if (d == 19000) renamed = q;
    }
    compareBoth(t1, t2);
    EXPECT_EQ(renamed->onlyInTree, 2);
    EXPECT_EQ(renamed->parent->onlyInTree, 0);
    EXPECT_EQ(renamed->children[0]->onlyInTree, 0);  // paired again below the rename
    EXPECT_EQ(p->onlyInTree, 0);
}

// The fast comparison against the transcription on many random pairs, after both passes:
// same child order (by node identity) and the same marks everywhere.
TEST(CompareTrees, MatchesTheDirectTranscriptionOnRandomPairs) {
    std::mt19937 rng(2024);
    int pairs = 0;
    int marked = 0;
    for (int round = 0; round < 1500; ++round) {
        RandomTreeShape shape;
        shape.alphabet = 2 + round % 5;
        shape.ranks = 1 + round % 3;
        shape.maxDepth = 1 + round % 5;
        shape.maxChildren = 2 + round % 7;
        shape.wideShare = round % 4 == 0 ? 0.15 : 0.0;
        shape.wideChildren = 20 + round % 50;
        ClassificationTree base1, base2;
        buildRandomTree(base1, rng, shape);
        if (round % 3 == 0) {
            int fresh = 0;
            buildRevision(base1, base2, rng, 0.15, fresh);
        } else {
            buildRandomTree(base2, rng, shape);
        }
        // Indexed alignment everywhere (runs of namesakes walked, or kept in trees), then
        // the mix the default uses or the scan alone.
        const size_t noScan = 0, mixed = round % 2 ? 16 : size_t(1) << 40;
        for (auto [limit, runs] : {std::pair{noScan, size_t(1) << 40}, std::pair{noScan, size_t(0)},
                                   std::pair{mixed, size_t(48)}}) {
            ClassificationTree f1, f2, r1, r2;
            cloneTree(base1, f1);
            cloneTree(base2, f2);
            cloneTree(base1, r1);
            cloneTree(base2, r2);
            f1.treeId = r1.treeId = 1;
            f2.treeId = r2.treeId = 2;
            compareTrees(f1, f2, limit, runs);
            referenceCompareTrees(r1, r2);
            ASSERT_EQ(structureDifference(&f1, &r1), "") << "round " << round << " first pass";
            ASSERT_EQ(structureDifference(&f2, &r2), "") << "round " << round << " first pass";
            compareTrees(f2, f1, limit, runs);
            referenceCompareTrees(r2, r1);
            ASSERT_EQ(structureDifference(&f1, &r1), "") << "round " << round;
            ASSERT_EQ(structureDifference(&f2, &r2), "") << "round " << round;
            ASSERT_EQ(validate(f1), "");
            ASSERT_EQ(validate(f2), "");
            ++pairs;
            forEachNode(static_cast<TreeNode*>(&f2), [&](TreeNode* n) { marked += n->onlyInTree != 0; });
        }
    }
    EXPECT_EQ(pairs, 4500);
    EXPECT_GT(marked, 1000);  // the pairs differ, so the marks were exercised
}

// Long runs of same-named siblings on both sides, where each alignment moves a whole run:
// hostile lists mixed from a few names (one of them most of the list, in blocks or
// scattered), with namesakes below them too, against the transcription.
TEST(CompareTrees, LongRunsOfNamesakesMatchTheDirectTranscription) {
    std::mt19937 rng(99);
    const char* names[] = {"X", "Y", "Z", "W"};
    auto build = [&](ClassificationTree& tree, int width, double share, bool blocks, int& id) {
        nameRoot(tree, "R");
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < width; ++i) {
            const bool mostly = blocks ? (i / 97) % 3 != 1 : unit(rng) < share;
            const char* name = mostly ? "X" : names[1 + rng() % 3];
            const std::string common = "#" + std::to_string(id++);
            TreeNode* c = addNode(&tree, name, rng() % 5 ? "Genus" : "Family", common.c_str());
            if (rng() % 8 == 0)  // namesakes one level down as well
                for (int k = 0; k < 3; ++k)
                    addNode(c, names[rng() % 2], "Species", ("#" + std::to_string(id++)).c_str());
        }
    };
    int marked = 0;
    for (int round = 0; round < 12; ++round) {
        int id = 0;
        ClassificationTree base1, base2;
        const int w1 = 1500 + static_cast<int>(rng() % 1500);
        const int w2 = round % 3 == 0 ? w1 : 1500 + static_cast<int>(rng() % 1500);
        build(base1, w1, 0.5 + 0.1 * (round % 5), round % 2 == 0, id);
        build(base2, w2, 0.9 - 0.1 * (round % 4), round % 4 == 1, id);
        for (size_t runs : {size_t(0), size_t(48)}) {
            ClassificationTree f1, f2, r1, r2;
            cloneTree(base1, f1);
            cloneTree(base2, f2);
            cloneTree(base1, r1);
            cloneTree(base2, r2);
            f1.treeId = r1.treeId = 1;
            f2.treeId = r2.treeId = 2;
            compareTrees(f1, f2, 0, runs);
            referenceCompareTrees(r1, r2);
            compareTrees(f2, f1, 0, runs);
            referenceCompareTrees(r2, r1);
            ASSERT_EQ(structureDifference(&f1, &r1), "") << "round " << round;
            ASSERT_EQ(structureDifference(&f2, &r2), "") << "round " << round;
            forEachNode(static_cast<TreeNode*>(&f1), [&](TreeNode* n) { marked += n->onlyInTree != 0; });
        }
    }
    EXPECT_GT(marked, 1000);
}
