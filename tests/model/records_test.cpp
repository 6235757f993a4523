#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TreeNode.h"

// While a test points g_freed at a list, every block given back to operator delete is
// recorded there with its size (0 for the unsized form), so that a test can see what a
// destructor frees. The list is reserved beforehand: recording allocates nothing.
// Allocation and release go straight to malloc and free, so every form is replaced.
namespace {
struct FreedBlock {
    const void* p;
    size_t size;
};
std::vector<FreedBlock>* g_freed = nullptr;

void* allocate(size_t n) {
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void release(void* p, size_t n) noexcept {
    if (g_freed && p) g_freed->push_back({p, n});
    std::free(p);
}
}  // namespace

void* operator new(size_t n) { return allocate(n); }
void* operator new[](size_t n) { return allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { release(p, 0); }
void operator delete[](void* p) noexcept { release(p, 0); }
void operator delete(void* p, size_t n) noexcept { release(p, n); }
void operator delete[](void* p, size_t n) noexcept { release(p, n); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p, 0); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p, 0); }

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
    auto text = [](const uint8_t c[3]) {
        return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
    };
    auto colourOf = [&](const char* rank) { return text(addNode(&t, "X", rank)->color); };
    for (int r = 0; r < 20; ++r) {
        const RankColourEntry& e = kRankColours[r];
        const std::string want = std::to_string(e.rgb[0]) + "," + std::to_string(e.rgb[1]) + "," +
                                 std::to_string(e.rgb[2]);
        ASSERT_EQ(rankFromName(e.rank), r);
        EXPECT_EQ(colourOf(e.rank), want) << e.rank;
        // The legend looks the same colours up by rank value.
        uint8_t byValue[3] = {1, 2, 3};
        EXPECT_TRUE(rankColor(r, byValue));
        EXPECT_EQ(text(byValue), want) << e.rank;
    }
    EXPECT_EQ(colourOf("kingdom"), "0,0,0");
    EXPECT_EQ(colourOf("Difference"), "0,0,0");
    EXPECT_EQ(colourOf("Genus "), "0,0,0");
    uint8_t untouched[3] = {1, 2, 3};
    EXPECT_FALSE(rankColor(Difference, untouched));
    EXPECT_FALSE(rankColor(-1, untouched));
    EXPECT_EQ(text(untouched), "1,2,3");
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

TEST(Trees, VeryDeepTreeIsDestroyedWithoutRecursionFreeingEveryNodeOnce) {
    // Deep enough that a recursive destructor would exhaust the stack, with a side leaf
    // now and then so that some nodes have two children.
    auto* t = new ClassificationTree;
    nameRoot(*t, "R");
    TreeNode* n = t;
    for (int i = 0; i < 1000000; ++i) {
        n = addNode(n, "d", "Genus");
        if (i % 1000 == 0) addNode(n->parent, "side", "Species");
    }
    std::vector<const void*> nodes;
    forEachNode(static_cast<TreeNode*>(t), [&](TreeNode* x) {
        nodes.push_back(x);
        // The indexes point at every node and own none of them.
        t->latinIndex.push_back(x);
        t->commonIndex.push_back(x);
    });
    ASSERT_EQ(nodes.size(), 1000000u + 1000u + 1u);

    const void* const root = t;
    std::vector<FreedBlock> freed;
    freed.reserve(4 * nodes.size() + 64);
    g_freed = &freed;
    delete t;
    g_freed = nullptr;

    std::sort(freed.begin(), freed.end(),
              [](const FreedBlock& a, const FreedBlock& b) { return a.p < b.p; });
    size_t wrong = 0;
    std::string first;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const size_t size = nodes[i] == root ? sizeof(ClassificationTree) : sizeof(TreeNode);
        auto [lo, hi] = std::equal_range(freed.begin(), freed.end(), FreedBlock{nodes[i], 0},
                                         [](const FreedBlock& a, const FreedBlock& b) { return a.p < b.p; });
        const auto times = std::count_if(lo, hi, [&](const FreedBlock& f) {
            return f.size == size || f.size == 0;
        });
        if (times != 1 && wrong++ == 0)
            first = "node " + std::to_string(i) + " (pre-order) freed " + std::to_string(times) + " times";
    }
    EXPECT_EQ(wrong, 0u) << first;
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
    t.children.push_back(b);  // under a parent it does not name
    EXPECT_FALSE(validate(t).empty());
    t.children.pop_back();
    a->children.push_back(b);  // listed twice under its own parent
    EXPECT_NE(validate(t).find("twice"), std::string::npos);
    a->children.pop_back();
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
