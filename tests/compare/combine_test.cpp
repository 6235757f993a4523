#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>

#include "Combine.h"
#include "Compare.h"
#include "NameOrder.h"
#include "RandomTrees.h"
#include "TestSupport.h"

namespace {

// The build chain from the comparison to the numbering, in the pipeline's order, with the
// invariants checked after every step.
void combine(ClassificationTree& t1, ClassificationTree& t2) {
    auto check = [&](const char* step) {
        EXPECT_EQ(validate(t1), "") << step;
        EXPECT_EQ(validate(t2), "") << step;
    };
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    check("first comparison");
    compareTrees(t2, t1);
    check("second comparison");
    countDescendants(t1);
    countDescendants(t2);
    check("counts");
    graftUnique(&t1, &t2, 1, 2);
    check("first graft");
    graftUnique(&t2, &t1, 2, 1);
    check("second graft");
    sortChildrenByLatinName(&t1);
    sortChildrenByLatinName(&t2);
    check("sorting");
    countCombinedDescendants(t1);
    countCombinedDescendants(t2);
    numberChildren(t1);
    numberChildren(t2);
    check("numbering");
}

std::string marks(const TreeNode* node) {
    std::string s;
    for (const TreeNode* c : node->children) {
        if (!s.empty()) s += ",";
        s += std::string(c->latinName) + "=" + std::to_string(c->onlyInTree);
    }
    return s;
}

int nodesIn(TreeNode* root) {
    int n = 0;
    forEachNode(root, [&](TreeNode*) { ++n; });
    return n;
}

TreeNode* childNamed(TreeNode* n, const char* latin) {
    for (TreeNode* c : n->children)
        if (std::string(c->latinName) == latin) return c;
    return nullptr;
}

// Every node below a marked node carries the same mark: the condition under which both
// combined trees come out with the same shape.
bool marksAreClean(TreeNode* root) {
    bool clean = true;
    forEachNode(root, [&](TreeNode* n) {
        for (TreeNode* c : n->children)
            if (n->onlyInTree != 0 && c->onlyInTree != n->onlyInTree) clean = false;
    });
    return clean;
}

}  // namespace

TEST(CombinedTrees, WorkedExampleEndToEnd) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    addNode(&t1, "A");
    addNode(&t1, "B");
    addNode(&t2, "B");
    TreeNode* d = addNode(&t2, "D", "Family", "dees");
    addNode(&t2, "E");
    addNode(d, "D x", "Species", "ex");
    addNode(d, "D y", "Subspecies");
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
    EXPECT_EQ(marks(d), "D x=2,D y=2");  // left over against A's empty list
    countDescendants(t1);
    countDescendants(t2);
    EXPECT_EQ(t1.descendantCount, 2);
    EXPECT_EQ(t2.descendantCount, 5);
    EXPECT_EQ(d->descendantCount, 2);

    graftUnique(&t1, &t2, 1, 2);
    EXPECT_EQ(marks(&t1), "A=1,B=0,D=2,E=2");
    EXPECT_EQ(validate(t1), "");
    graftUnique(&t2, &t1, 2, 1);
    // The copies of D and E in tree 1 carry mark 2 and are not copied back.
    EXPECT_EQ(marks(&t2), "D=2,B=0,E=2,A=1");
    EXPECT_EQ(validate(t2), "");

    sortChildrenByLatinName(&t1);
    sortChildrenByLatinName(&t2);
    EXPECT_EQ(marks(&t1), "A=1,B=0,D=2,E=2");
    EXPECT_EQ(marks(&t2), "A=1,B=0,D=2,E=2");
    TreeNode* copyOfD = childNamed(&t1, "D");
    ASSERT_NE(copyOfD, nullptr);
    EXPECT_NE(copyOfD, d);
    EXPECT_EQ(marks(copyOfD), "D x=2,D y=2");
    EXPECT_EQ(copyOfD->descendantCount, 2);  // taken from the original in tree 2
    EXPECT_EQ(copyOfD->parent, &t1);
    EXPECT_EQ(copyOfD->children[0]->level, 2);
    EXPECT_NE(copyOfD->latinName, d->latinName);  // owned copies of the names
    // Each copy carries its original's names, rank and colour, at every level.
    for (size_t i = 0; i <= d->children.size(); ++i) {
        const TreeNode* from = i == 0 ? d : d->children[i - 1];
        const TreeNode* copy = i == 0 ? copyOfD : copyOfD->children[i - 1];
        SCOPED_TRACE(from->latinName);
        EXPECT_STREQ(copy->latinName, from->latinName);
        EXPECT_STREQ(copy->commonName, from->commonName);
        EXPECT_STREQ(copy->rankName, from->rankName);
        EXPECT_EQ(copy->level, from->level);
        const std::array<int, 3> want = rankColourOf(from->rankName);
        EXPECT_EQ((std::array<int, 3>{copy->color[0], copy->color[1], copy->color[2]}), want);
    }

    countCombinedDescendants(t1);
    countCombinedDescendants(t2);
    EXPECT_EQ(t1.combinedDescendantCount, 6);
    EXPECT_EQ(t2.combinedDescendantCount, 6);
    EXPECT_EQ(t1.descendantCount, 2);  // the own count is left as it was
    EXPECT_EQ(copyOfD->combinedDescendantCount, 2);
    EXPECT_EQ(validate(t1), "");
    EXPECT_EQ(validate(t2), "");
}

TEST(CombinedTrees, IdenticalTreesGraftNothing) {
    std::mt19937 rng(11);
    RandomTreeShape shape;
    shape.distinctSiblings = true;
    shape.maxDepth = 5;
    for (int round = 0; round < 20; ++round) {
        ClassificationTree original, t1, t2;
        buildRandomTree(original, rng, shape);
        cloneTree(original, t1);
        cloneTree(original, t2);
        combine(t1, t2);
        EXPECT_EQ(nodesIn(&t1), nodesIn(&original));
        EXPECT_EQ(nodesIn(&t2), nodesIn(&original));
        forEachNode(static_cast<TreeNode*>(&t1), [](TreeNode* n) {
            EXPECT_EQ(n->combinedDescendantCount, n->descendantCount);
            EXPECT_EQ(n->onlyInTree, 0);
        });
    }
}

TEST(CombinedTrees, CountsAndNumbering) {
    ClassificationTree t;
    nameRoot(t, "R");
    TreeNode* p = addNode(&t, "P");
    TreeNode* q = addNode(&t, "Q");
    TreeNode* s = addNode(p, "S", "Species");
    TreeNode* v = addNode(p, "V", "Species");
    countDescendants(t);
    countCombinedDescendants(t);
    numberChildren(t);
    EXPECT_EQ(t.descendantCount, 4);
    EXPECT_EQ(p->descendantCount, 2);
    EXPECT_EQ(q->descendantCount, 0);
    EXPECT_EQ(s->combinedDescendantCount, 0);
    EXPECT_EQ(t.combinedDescendantCount, 4);
    EXPECT_EQ(t.number, 0);
    EXPECT_EQ(p->number, 1);
    EXPECT_EQ(q->number, 2);
    EXPECT_EQ(s->number, 2);
    EXPECT_EQ(v->number, 3);

    ClassificationTree three;
    nameRoot(three, "R");
    for (const char* n : {"X", "Y", "Z"}) addNode(&three, n);
    countDescendants(three);
    EXPECT_EQ(three.descendantCount, 3);
    EXPECT_EQ(three.children[0]->descendantCount, 0);
}

TEST(CombinedTrees, MarkedSubtreeOfOwnTreeIsNotDescendedInto) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    TreeNode* m = addNode(&t1, "M");
    addNode(m, "M a", "Species");
    addNode(m, "M b", "Species");
    TreeNode* n = addNode(&t2, "N");
    addNode(n, "M a", "Species");  // same names as M's children, paired with them
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
    EXPECT_EQ(marks(m), "M a=0,M b=1");  // M is marked 1 but not all below it
    for (TreeNode* c : m->children) c->onlyInTree = 1;  // make all of M's children 1
    countDescendants(t1);
    countDescendants(t2);
    graftUnique(&t1, &t2, 1, 2);
    EXPECT_EQ(marks(&t1), "M=1,N=2");
    EXPECT_EQ(childNames(m), "M a,M b");  // nothing copied into M
    EXPECT_EQ(marks(t1.children[1]), "");  // N's child is 0 in tree 2: not copied
    EXPECT_EQ(validate(t1), "");
}

// The second comparison pass may move an unmarked child of a tree-1 list beyond the end
// of its tree-2 partner's list; grafting pairs by index and must not step past that end.
TEST(CombinedTrees, UnpairedUnmarkedChildBeyondThePartnerListIsLeftAlone) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    TreeNode* a1 = addNode(&t1, "A", "Genus", "#1");
    addNode(&t1, "B");
    TreeNode* a2 = addNode(&t1, "A", "Genus", "#2");
    addNode(a2, "A q", "Species");
    addNode(&t2, "A");
    addNode(&t2, "C");
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
    ASSERT_EQ(t1.children.size(), 3u);
    EXPECT_EQ(t1.children[0], a1);
    EXPECT_EQ(t1.children[2], a2);  // moved back by the second pass, still unmarked
    EXPECT_EQ(a2->onlyInTree, 0);
    countDescendants(t1);
    countDescendants(t2);
    graftUnique(&t1, &t2, 1, 2);
    graftUnique(&t2, &t1, 2, 1);
    EXPECT_EQ(childNames(a2), "A q");
    EXPECT_EQ(validate(t1), "");
    EXPECT_EQ(validate(t2), "");
}

TEST(CombinedTrees, DeepGraftsNeedNoDeepStack) {
    ClassificationTree t1, t2;
    nameRoot(t1, "R");
    nameRoot(t2, "R");
    addNode(&t1, "A");
    TreeNode* q = addNode(&t2, "B");
    for (int d = 0; d < 20000; ++d) q = addNode(q, "L");
    combine(t1, t2);
    EXPECT_EQ(t1.combinedDescendantCount, 20002);
    EXPECT_EQ(t1.descendantCount, 1);
    EXPECT_EQ(t2.combinedDescendantCount, 20002);
}

// Where every node below a marked node is marked too, both combined trees have the same
// taxa in the same order under the same parents once sorted.
TEST(CombinedTrees, CleanMarksGiveTheSameShapeOnBothSides) {
    std::mt19937 rng(5);
    int clean = 0;
    for (int round = 0; round < 400; ++round) {
        RandomTreeShape shape;
        shape.distinctSiblings = true;
        shape.maxDepth = 2 + round % 4;
        shape.maxChildren = 2 + round % 6;
        shape.wideShare = round % 5 == 0 ? 0.1 : 0.0;
        shape.wideChildren = 30;
        ClassificationTree base, revised;
        buildRandomTree(base, rng, shape);
        int fresh = 0;
        buildRevision(base, revised, rng, 0.1, fresh);
        ClassificationTree t1, t2;
        cloneTree(base, t1);
        cloneTree(revised, t2);
        t1.treeId = 1;
        t2.treeId = 2;
        compareTrees(t1, t2);
        compareTrees(t2, t1);
        if (!marksAreClean(&t1) || !marksAreClean(&t2)) continue;
        ++clean;
        ClassificationTree c1, c2;
        cloneTree(base, c1);
        cloneTree(revised, c2);
        combine(c1, c2);
        std::vector<std::pair<TreeNode*, TreeNode*>> stack{{&c1, &c2}};
        while (!stack.empty()) {
            auto [x, y] = stack.back();
            stack.pop_back();
            // A re-ranked taxon stands twice in each list under one name (marked 1 and
            // 2), in either order; the mark tells the two apart.
            auto byNameAndMark = [](std::vector<TreeNode*> list) {
                std::stable_sort(list.begin(), list.end(), [](TreeNode* p, TreeNode* q) {
                    const int c = std::strcmp(p->latinName, q->latinName);
                    return c < 0 || (c == 0 && p->onlyInTree < q->onlyInTree);
                });
                return list;
            };
            ASSERT_EQ(childNames(x), childNames(y)) << "round " << round;
            const std::vector<TreeNode*> xs = byNameAndMark(x->children);
            const std::vector<TreeNode*> ys = byNameAndMark(y->children);
            ASSERT_EQ(x->combinedDescendantCount, y->combinedDescendantCount);
            for (size_t i = 0; i < xs.size(); ++i) {
                ASSERT_EQ(xs[i]->onlyInTree, ys[i]->onlyInTree) << "round " << round;
                stack.emplace_back(xs[i], ys[i]);
            }
        }
    }
    EXPECT_GT(clean, 100);
}
