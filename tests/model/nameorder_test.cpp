#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "NameOrder.h"
#include "TestSupport.h"

namespace {

std::string latinOrder(const std::vector<TreeNode*>& index) {
    std::string s;
    for (const TreeNode* n : index) s += std::string(n->latinName) + "|";
    return s;
}

std::string commonOrder(const std::vector<TreeNode*>& index) {
    std::string s;
    for (const TreeNode* n : index) s += std::string(n->commonName) + "|";
    return s;
}

}  // namespace

TEST(NameOrder, ComparisonIsByUnsignedBytesWithPrefixFirstAndNeverZero) {
    ClassificationTree t;
    nameRoot(t, "R");
    TreeNode* upper = addNode(&t, "Zebra", "Genus", "zebra");
    TreeNode* lower = addNode(&t, "aardvark", "Genus", "Zebra");
    TreeNode* genus = addNode(&t, "Felis");
    TreeNode* species = addNode(&t, "Felis catus", "Species");
    TreeNode* high = addNode(&t, "\xe9tourneau", "Genus", "\xe9");
    TreeNode* same = addNode(&t, "Felis");
    EXPECT_EQ(compareLatinNames(upper, lower), -1);  // 'Z' (90) before 'a' (97)
    EXPECT_EQ(compareLatinNames(lower, upper), 1);
    EXPECT_EQ(compareLatinNames(genus, species), -1);
    EXPECT_EQ(compareLatinNames(species, genus), 1);
    EXPECT_EQ(compareLatinNames(lower, high), -1);  // bytes from 128 up after ASCII
    EXPECT_EQ(compareLatinNames(genus, same), 1);
    EXPECT_EQ(compareLatinNames(same, genus), 1);
    EXPECT_EQ(compareCommonNames(lower, upper), -1);
    EXPECT_EQ(compareCommonNames(upper, high), -1);
    EXPECT_EQ(compareCommonNames(genus, species), 1);  // two empty names
}

TEST(NameOrder, IndexesSortAscendingAndEmptyIndexesStayEmpty) {
    ClassificationTree t;
    nameRoot(t, "Mammalia", "Class", "mammals");
    t.latinIndex.push_back(&t);
    for (const char* n : {"felis", "Felis catus", "\xc4gypten", "Felis", "Acinonyx", "Felis"}) {
        TreeNode* node = addNode(&t, n, "Genus", n[0] == 'F' ? "" : n);
        t.latinIndex.push_back(node);
        if (node->commonName[0]) t.commonIndex.push_back(node);
    }
    t.commonIndex.push_back(&t);
    sortLatinIndex(t);
    sortCommonIndex(t);
    EXPECT_EQ(latinOrder(t.latinIndex), "Acinonyx|Felis|Felis|Felis catus|Mammalia|felis|\xc4gypten|");
    EXPECT_EQ(commonOrder(t.commonIndex), "Acinonyx|felis|mammals|\xc4gypten|");
    EXPECT_EQ(t.latinIndex.size(), 7u);

    ClassificationTree empty;
    sortLatinIndex(empty);
    sortCommonIndex(empty);
    EXPECT_TRUE(empty.latinIndex.empty());
    EXPECT_TRUE(empty.commonIndex.empty());
}

TEST(NameOrder, ChildrenAreSortedAtEveryLevel) {
    ClassificationTree t;
    nameRoot(t, "R");
    TreeNode* b = addNode(&t, "b");
    addNode(&t, "B");
    TreeNode* a = addNode(&t, "A");
    addNode(b, "b z", "Species");
    addNode(b, "b", "Species");
    addNode(b, "b a", "Species");
    TreeNode* only = addNode(a, "A x", "Species");
    TreeNode* leaf = addNode(only, "A x y", "Subspecies");
    sortChildrenByLatinName(&t);
    EXPECT_EQ(childNames(&t), "A,B,b");
    EXPECT_EQ(childNames(b), "b,b a,b z");
    EXPECT_EQ(childNames(a), "A x");
    EXPECT_TRUE(leaf->children.empty());
    EXPECT_EQ(validate(t), "");
}

TEST(NameOrder, DeepTreesSortWithoutDeepStack) {
    ClassificationTree t;
    nameRoot(t, "R");
    TreeNode* p = &t;
    for (int d = 0; d < 50000; ++d) {
        TreeNode* keep = addNode(p, "m");
        addNode(p, "a");
        p = keep;
    }
    sortChildrenByLatinName(&t);
    EXPECT_EQ(childNames(p->parent), "a,m");
    EXPECT_EQ(validate(t), "");
}

// Large lists are sorted by a sixteen-byte key first: names that share or end inside the
// first sixteen bytes, high bytes and prefixes must still come out in plain byte order.
TEST(NameOrder, LargeIndexesSortInByteOrderWhateverTheirPrefixes) {
    const char* stems[] = {"", "A", "Ab", "Abcdefg", "Abcdefgh", "Abcdefghi", "abcdefgh",
                           "\xe9t\xe9", "\xff", "Zebra", "Abcdefgh\xff", "Abcdefgh ",
                           "Abcdefgh ijklmno", "Abcdefgh ijklmnop", "Abcdefgh ijklmnopq",
                           "Abcdefgh ijklmnop\xff"};
    ClassificationTree t;
    nameRoot(t, "Root");
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string name = stems[rng() % std::size(stems)];
        for (int k = rng() % 4; k > 0; --k) name += static_cast<char>('a' + rng() % 3);
        TreeNode* n = addNode(&t, name.c_str(), "Genus", name.c_str());
        t.latinIndex.push_back(n);
        t.commonIndex.push_back(n);
    }
    sortLatinIndex(t);
    sortCommonIndex(t);
    sortChildrenByLatinName(&t);
    auto inByteOrder = [](const std::vector<TreeNode*>& v, char* TreeNode::*name) {
        for (size_t i = 1; i < v.size(); ++i) {
            const auto* a = reinterpret_cast<const unsigned char*>(v[i - 1]->*name);
            const auto* b = reinterpret_cast<const unsigned char*>(v[i]->*name);
            if (std::lexicographical_compare(b, b + std::strlen(v[i]->*name), a,
                                             a + std::strlen(v[i - 1]->*name)))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(inByteOrder(t.latinIndex, &TreeNode::latinName));
    EXPECT_TRUE(inByteOrder(t.commonIndex, &TreeNode::commonName));
    EXPECT_TRUE(inByteOrder(t.children, &TreeNode::latinName));
    EXPECT_EQ(t.latinIndex.size(), 3000u);
    EXPECT_EQ(validate(t), "");
}

// The stable sort keys on twelve bytes and breaks ties by place: it must give exactly what a
// plain stable sort by strcmp gives, for names that end, differ or share bytes around the
// twelfth, and for small lists that take the plain path.
TEST(NameOrder, StableSortKeepsTheOrderOfEqualNamesAndSortsByBytes) {
    const char* stems[] = {"", "A", "Abcdefghijk", "Abcdefghijkl", "Abcdefghijklm",
                           "Abcdefghijk\xff", "Abcdefghijkl\xff", "Abcdefgh", "\xe9t\xe9",
                           "Abcdefghijkl mnop", "Abcdefghijkm"};
    ClassificationTree t;
    nameRoot(t, "Root");
    std::mt19937 rng(11);
    for (size_t size : {size_t{40}, size_t{4000}}) {
        std::vector<const TreeNode*> nodes;
        for (size_t i = 0; i < size; ++i) {
            std::string name = stems[rng() % std::size(stems)];
            for (int k = rng() % 3; k > 0; --k) name += static_cast<char>('a' + rng() % 2);
            nodes.push_back(addNode(&t, name.c_str(), "Genus", ""));
        }
        std::vector<const TreeNode*> expected = nodes;
        std::stable_sort(expected.begin(), expected.end(), [](const TreeNode* a, const TreeNode* b) {
            return std::strcmp(a->latinName, b->latinName) < 0;
        });
        stableSortByLatinName(nodes);
        EXPECT_TRUE(nodes == expected) << size;
    }
}

// Tree 1's Latin index sorted as two halves on two threads and merged: the names come in
// the order the one-piece sort gives, every node once, for lists long enough to be halved
// (names tying within sixteen bytes, and across the halves) and for short ones.
TEST(NameOrder, TheIndexSortedInHalvesHasTheWholeSortsOrder) {
    const char* stems[] = {"", "Abcdefgh ijklmnop", "Abcdefgh ijklmnop\xff", "Abcdefgh ", "Zebra",
                           "\xe9t\xe9", "Ab"};
    for (int count : {5000, 70000}) {
        SCOPED_TRACE(count);
        ClassificationTree halves, whole;
        nameRoot(halves, "Root");
        nameRoot(whole, "Root");
        std::mt19937 rng(static_cast<unsigned>(count));
        for (int i = 0; i < count; ++i) {
            std::string name = stems[rng() % std::size(stems)];
            for (int k = rng() % 3; k > 0; --k) name += static_cast<char>('a' + rng() % 3);
            halves.latinIndex.push_back(addNode(&halves, name.c_str(), "Genus"));
            whole.latinIndex.push_back(addNode(&whole, name.c_str(), "Genus"));
        }
        const std::vector<TreeNode*> before = halves.latinIndex;
        {
            LatinIndexInHalves sorting(halves);
            std::thread second([&] { sorting.sortHalf(1); });
            sorting.sortHalf(0);
            second.join();
            sorting.merge();
        }
        sortLatinIndex(whole);
        EXPECT_EQ(latinOrder(halves.latinIndex), latinOrder(whole.latinIndex));
        std::vector<TreeNode*> a = before, b = halves.latinIndex;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << "every node once";
    }
}
