#include <gtest/gtest.h>

#include "Census.h"
#include "TestSupport.h"

namespace {

std::string census(const ClassificationTree& t) {
    ConsoleCapture out;
    printRankCensus(t);
    return out.text();
}

}  // namespace

TEST(RankCensus, CountsEachRankInOrderOfTheRankList) {
    ClassificationTree t;
    t.treeId = 1;
    nameRoot(t, "Mammalia", "Class");
    TreeNode* order = addNode(&t, "Carnivora", "Order");
    TreeNode* genus = addNode(order, "Felis", "Genus");
    addNode(genus, "Felis catus", "Species");
    addNode(genus, "Felis silvestris", "Species");
    addNode(order, "Canis", "Genus");
    for (const char* r : {"Class", "Order", "Genus", "Species", "Tribe"})
        t.rankNames.push_back(newName(r));
    EXPECT_EQ(census(t), "Class : 1 \nOrder : 1 \nGenus : 2 \nSpecies : 2 \nTribe : 0 \n");
}

TEST(RankCensus, RootAloneGivesOneLinePerRankName) {
    ClassificationTree t;
    t.treeId = 2;
    nameRoot(t, "R", "Kingdom");
    t.rankNames.push_back(newName("Kingdom"));
    EXPECT_EQ(census(t), "Kingdom : 1 \n");
}

TEST(RankCensus, SkipsCopiesGraftedFromTheOtherTreeWithEverythingBelowThem) {
    ClassificationTree t;
    t.treeId = 1;
    nameRoot(t, "R", "Class");
    TreeNode* own = addNode(&t, "Own", "Genus");
    own->onlyInTree = 1;
    addNode(own, "Own sp", "Species")->onlyInTree = 1;
    TreeNode* copy = addNode(&t, "Copy", "Genus");
    copy->onlyInTree = 2;
    // Below a copy even an unmarked node is not reached.
    addNode(copy, "Copy sp", "Species");
    t.rankNames.push_back(newName("Genus"));
    t.rankNames.push_back(newName("Species"));
    EXPECT_EQ(census(t), "Genus : 1 \nSpecies : 1 \n");
    // The same hierarchy seen as tree 2 counts the copy's side instead.
    t.treeId = 2;
    EXPECT_EQ(census(t), "Genus : 1 \nSpecies : 1 \n");
    own->onlyInTree = 0;
    EXPECT_EQ(census(t), "Genus : 2 \nSpecies : 1 \n");
}

TEST(RankCensus, ARankNameListedTwicePrintsItsCountTwice) {
    ClassificationTree t;
    t.treeId = 1;
    nameRoot(t, "R", "Class");
    addNode(&t, "G", "Genus");
    t.rankNames.push_back(newName("Genus"));
    t.rankNames.push_back(newName("Genus"));
    EXPECT_EQ(census(t), "Genus : 1 \nGenus : 1 \n");
}
