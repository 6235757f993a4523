#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "TreeNode.h"

TEST(Ranks, NamesAndValuesAreExact) {
    EXPECT_EQ(rankFromName("Kingdom"), 0);
    EXPECT_EQ(rankFromName("Tribe"), 14);
    EXPECT_EQ(rankFromName("Subtribe"), 15);
    EXPECT_EQ(rankFromName("Genus"), 16);
    EXPECT_EQ(rankFromName("Difference"), 20);
    EXPECT_EQ(rankFromName("kingdom"), -1);
    EXPECT_EQ(rankFromName("Genus "), -1);
    EXPECT_EQ(rankFromName(""), -1);
    for (int r = 0; r <= 20; ++r) {
        char buf[12];
        rankToName(r, buf);
        EXPECT_EQ(rankFromName(buf), r);
    }
    char buf[12] = "untouched";
    rankToName(21, buf);
    rankToName(-1, buf);
    EXPECT_STREQ(buf, "untouched");
    rankToName(Superfamily, buf);  // the longest name fills all twelve bytes
    EXPECT_STREQ(buf, "Superfamily");
}

TEST(Ranks, ColoursFollowTheTableIncludingItsOddChannels) {
    ClassificationTree t;
    auto colourOf = [&](const char* rank) {
        TreeNode* n = addNode(&t, "X", rank);
        return std::to_string(n->color[0]) + "," + std::to_string(n->color[1]) + "," +
               std::to_string(n->color[2]);
    };
    EXPECT_EQ(colourOf("Species"), "255,103,51");
    EXPECT_EQ(colourOf("Subphylum"), "255,101,101");
    EXPECT_EQ(colourOf("Subtribe"), "204,204,153");
    EXPECT_EQ(colourOf("Subgenus"), "204,204,102");
    EXPECT_EQ(colourOf("Kingdom"), "240,194,57");
    EXPECT_EQ(colourOf("Subspecies"), "255,153,102");
    EXPECT_EQ(colourOf("kingdom"), "0,0,0");
    EXPECT_EQ(colourOf("Difference"), "0,0,0");
    EXPECT_EQ(colourOf("Genus "), "0,0,0");
}

TEST(Trees, FreshTreeHasTheRootSquareAndNothingLoaded) {
    ClassificationTree t;
    EXPECT_DOUBLE_EQ(t.x, 0.05);
    EXPECT_DOUBLE_EQ(t.y, 0.05);
    EXPECT_DOUBLE_EQ(t.width, 0.9);
    EXPECT_DOUBLE_EQ(t.height, 0.9);
    EXPECT_EQ(t.maxLevel, -999);
    EXPECT_EQ(t.nodeCount, 0);
    EXPECT_EQ(t.parent, nullptr);
    EXPECT_EQ(t.latinName, nullptr);
    EXPECT_TRUE(t.children.empty() && t.rankNames.empty() && t.latinIndex.empty());
}

TEST(Trees, VeryDeepTreeIsDestroyedWithoutRecursion) {
    // Deep enough that a recursive destructor would exhaust the stack.
    auto* t = new ClassificationTree;
    nameRoot(*t, "R");
    TreeNode* n = t;
    for (int i = 0; i < 1000000; ++i) n = addNode(n, "d", "Genus");
    delete t;  // must neither crash nor leak (the sanitizer build checks the leak)
    SUCCEED();
}

TEST(Trees, ValidateAcceptsAGoodTreeAndNamesEachBreach) {
    ClassificationTree t;
    nameRoot(t, "R");
    TreeNode* a = addNode(&t, "A");
    TreeNode* b = addNode(a, "B");
    EXPECT_EQ(validate(t), "");

    b->level = 5;
    EXPECT_NE(validate(t).find("level"), std::string::npos);
    b->level = 2;
    b->parent = &t;
    EXPECT_NE(validate(t).find("parent"), std::string::npos);
    b->parent = a;
    b->onlyInTree = 3;
    EXPECT_NE(validate(t).find("mark"), std::string::npos);
    b->onlyInTree = 2;
    freeName(b->commonName);
    b->commonName = nullptr;
    EXPECT_NE(validate(t).find("null name"), std::string::npos);
    b->commonName = newName("");
    t.children.push_back(b);  // reached twice
    EXPECT_FALSE(validate(t).empty());
    t.children.pop_back();
    EXPECT_EQ(validate(t), "");
}

TEST(Trees, SwapContentsExchangesHierarchiesAndRedirectsRootEntries) {
    ClassificationTree a, b;
    nameRoot(a, "RootA");
    nameRoot(b, "RootB");
    TreeNode* a1 = addNode(&a, "A1");
    TreeNode* b1 = addNode(&b, "B1");
    a.latinIndex = {&a, a1};
    b.latinIndex = {b1, &b};
    a.rankNames.push_back(newName("Class"));
    a.treeId = 1;
    b.treeId = 2;
    a.swapContents(b);
    EXPECT_STREQ(a.latinName, "RootB");
    EXPECT_STREQ(b.latinName, "RootA");
    EXPECT_EQ(a.children[0], b1);
    EXPECT_EQ(b1->parent, &a);
    EXPECT_EQ(a1->parent, &b);
    EXPECT_EQ(a.latinIndex[1], &a);
    EXPECT_EQ(b.latinIndex[0], &b);
    EXPECT_EQ(a.rankNames.size(), 0u);
    EXPECT_EQ(b.rankNames.size(), 1u);
    EXPECT_EQ(a.treeId, 2);
    EXPECT_EQ(validate(a), "");
    EXPECT_EQ(validate(b), "");
}
