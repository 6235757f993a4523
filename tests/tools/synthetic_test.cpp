#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "ClassificationReader.h"
#include "Synthetic.h"
#include "TestSupport.h"

namespace {

struct Pair {
    ClassificationTree a, b;
};

// Generates a pair and reads it back with the classification reader.
void generateAndRead(const TempDir& dir, const SyntheticOptions& o, Pair& pair) {
    std::string pa = dir.file("a.xml"), pb = dir.file("b.xml");
    ASSERT_TRUE(writeSyntheticPair(pa, pb, o));
    ConsoleCapture quiet;
    ASSERT_EQ(readClassification(pair.a, pa.c_str()), 1);
    ASSERT_EQ(readClassification(pair.b, pb.c_str()), 1);
    EXPECT_EQ(validate(pair.a), "");
    EXPECT_EQ(validate(pair.b), "");
}

std::multiset<std::string> latinNames(ClassificationTree& t) {
    std::multiset<std::string> names;
    forEachNode(static_cast<TreeNode*>(&t), [&](TreeNode* n) { names.insert(n->latinName); });
    return names;
}

// The whole tree as text: names, ranks and shape, depth first.
std::string dump(ClassificationTree& t) {
    std::string s;
    forEachNode(static_cast<TreeNode*>(&t), [&](TreeNode* n) {
        s += std::to_string(n->level) + " " + n->latinName + "|" + n->commonName + "|" +
             n->rankName + "\n";
    });
    return s;
}

}  // namespace

TEST(Synthetic, PairHasTheRequestedSizeAndDiffers) {
    TempDir dir;
    SyntheticOptions o;
    o.taxa = 3000;
    o.seed = 5;
    Pair p;
    generateAndRead(dir, o, p);
    EXPECT_GT(p.a.nodeCount, 2400);
    EXPECT_LT(p.a.nodeCount, 3600);
    EXPECT_GT(p.b.nodeCount, 2000);
    EXPECT_LT(p.b.nodeCount, 4000);
    std::multiset<std::string> a = latinNames(p.a), b = latinNames(p.b);
    std::vector<std::string> onlyA, onlyB;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyA));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyB));
    // About a fifth of the taxa change in some way; renames, removals and additions alone
    // touch a good share of the names on both sides.
    EXPECT_GT(onlyA.size(), a.size() / 50);
    EXPECT_GT(onlyB.size(), b.size() / 50);
    EXPECT_LT(onlyA.size(), a.size() / 2);
}

TEST(Synthetic, SameSeedSameFilesAndNoChangesAtRateZero) {
    TempDir d1, d2, d3;
    SyntheticOptions o;
    o.taxa = 2000;
    o.seed = 9;
    ASSERT_TRUE(writeSyntheticPair(d1.file("a"), d1.file("b"), o));
    ASSERT_TRUE(writeSyntheticPair(d2.file("a"), d2.file("b"), o));
    EXPECT_EQ(readFileBytes(d1.file("a")), readFileBytes(d2.file("a")));
    EXPECT_EQ(readFileBytes(d1.file("b")), readFileBytes(d2.file("b")));
    o.seed = 10;
    ASSERT_TRUE(writeSyntheticPair(d3.file("a"), d3.file("b"), o));
    EXPECT_NE(readFileBytes(d1.file("a")), readFileBytes(d3.file("a")));

    o.differenceRate = 0;
    Pair same;
    generateAndRead(d3, o, same);
    EXPECT_EQ(dump(same.a), dump(same.b));
    EXPECT_FALSE(writeSyntheticPair(d3.file("no/such/folder/a"), d3.file("b"), o));
}

TEST(Synthetic, ShapeIsLikeARealChecklist) {
    TempDir dir;
    SyntheticOptions o;
    o.taxa = 60000;
    o.seed = 3;
    Pair p;
    generateAndRead(dir, o, p);
    size_t widest = 0;
    int wide = 0;
    int duplicateSiblings = 0, withCommon = 0, withoutCommon = 0;
    int minSpeciesLevel = 1 << 30, maxSpeciesLevel = 0;
    bool ranksTopDown = true;
    forEachNode(static_cast<TreeNode*>(&p.a), [&](TreeNode* n) {
        widest = std::max(widest, n->children.size());
        wide += n->children.size() >= static_cast<size_t>(o.taxa / 400);
        std::set<std::string> seen;
        for (TreeNode* c : n->children) {
            if (!seen.insert(c->latinName).second) ++duplicateSiblings;
            if (rankFromName(c->rankName) <= rankFromName(n->rankName)) ranksTopDown = false;
        }
        (*n->commonName ? withCommon : withoutCommon)++;
        if (!std::strcmp(n->rankName, "Species")) {
            minSpeciesLevel = std::min(minSpeciesLevel, n->level);
            maxSpeciesLevel = std::max(maxSpeciesLevel, n->level);
        }
    });
    // Every rank name is one of the twenty, used top-down; optional ranks are skipped in
    // some lineages, so species sit at different depths.
    for (const char* r : p.a.rankNames) EXPECT_GE(rankFromName(r), 0) << r;
    EXPECT_GE(p.a.rankNames.size(), 15u);
    EXPECT_TRUE(ranksTopDown);
    EXPECT_LT(minSpeciesLevel, maxSpeciesLevel);
    // One very wide sibling list (a twelfth of the taxa) and others of several hundred.
    EXPECT_GE(widest, static_cast<size_t>(o.taxa / 13));
    EXPECT_GE(wide, 5);
    EXPECT_GT(duplicateSiblings, 0);
    EXPECT_GT(withCommon, p.a.nodeCount / 10);
    EXPECT_GT(withoutCommon, p.a.nodeCount / 2);
}
