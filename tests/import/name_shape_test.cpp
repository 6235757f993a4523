// Ranks told by a name's shape where a file leaves the rank empty (and only there), and the
// notes that begin with '#' after a table's header.
#include <gtest/gtest.h>

#include <string>

#include "ImportSupport.h"
#include "NameShape.h"
#include "TestSupport.h"

namespace {

TEST(NameShape, GenusAndEpithetsWithConnectingWordsAndAuthorship) {
    struct Case {
        const char* name;
        const char* rank;
    } cases[] = {
        {"Canis lupus", "Species"},
        {"Canis lupus Linnaeus, 1758", "Species"},
        {"Canis (Canis) lupus", "Species"},
        {"Aster novae-angliae", "Species"},
        {"Canis lupus familiaris", "Subspecies"},
        {"Canis lupus familiaris L.", "Subspecies"},
        {"Abies alba subsp. apennina Brullo", "Subspecies"},
        {"Abies alba ssp. apennina", "Subspecies"},
        {"Quercus robur var. pedunculata", "Variety"},
        {"Quercus robur f. fastigiata", "Form"},
        {"Canis", ""},
        {"Canidae Fischer, 1817", ""},
        {"canis lupus", ""},
        {"Canis Lupus", ""},
        {"Canis lupus var.", ""},
        {"Canis var. lupus", ""},
        {"Canis lupus familiaris italicus", ""},
        {"Canis lupus var. x familiaris", ""},
        {"Lupus 12", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(imp::rankByShape(c.name), c.rank) << c.name;
    // No shape is an empty rank, never a null text: ranks are compared as names are.
    EXPECT_NE(imp::rankByShape("Canis").data(), nullptr);
    EXPECT_TRUE(imp::isEmptyRank(""));
    EXPECT_TRUE(imp::isEmptyRank(" \\N "));
    EXPECT_TRUE(imp::isEmptyRank("NULL"));
    EXPECT_FALSE(imp::isEmptyRank("no rank"));
    EXPECT_FALSE(imp::isEmptyRank("clade"));
}

TEST(NameShape, AnArchiveRanksOnlyTheTaxaWhoseRankIsEmpty) {
    TempDir dir;
    const std::string path = dir.write("taxa.txt",
                                       "taxonID\tparentNameUsageID\tscientificName\ttaxonRank\n"
                                       "1\t\tCanis\tgenus\n"
                                       "2\t1\tCanis lupus Linnaeus, 1758\t\n"
                                       "3\t2\tCanis lupus familiaris\t\\N\n"
                                       "4\t2\tCanis lupus dingo\tno rank\n"
                                       "5\t2\tCanis lupus hallstromi\tclade\n"
                                       "6\t1\tCanis aureus var. minor\t\n"
                                       "# 7\t1\tCanis withdrawn\t\n");
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, path).ok);
    EXPECT_EQ(dump(t),
              "Canis|Genus|\n"
              "  Canis lupus Linnaeus, 1758|Species|\n"
              "    Canis lupus familiaris|Subspecies|\n"
              "    Canis lupus dingo||\n"
              "    Canis lupus hallstromi|Clade|\n"
              "  Canis aureus var. minor|Variety|\n");
    EXPECT_NE(console.text().find("taxa.txt: 1 lines beginning with # skipped"), std::string::npos)
        << console.text();
}

TEST(NameShape, TablesRankThreeWordNamesAndSkipNotesAfterTheHeader) {
    TempDir dir;
    // No rank column: a species unless the shape says otherwise. Lines beginning with '#'
    // after the header are counted, not read, wherever the rows are split.
    std::string text = "Family,Genus,scientificName\n";
    for (int i = 0; i < 40; ++i) text += "# note " + std::to_string(i) + ", withdrawn\n";
    text += "Felidae,Panthera,Panthera leo\n"
            "Felidae,Panthera,Panthera leo persica\n"
            "#Felidae,Panthera,Panthera tigris\n";
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.write("cats.csv", text)).ok);
    EXPECT_EQ(dump(t),
              "Felidae|Family|\n"
              "  Panthera|Genus|\n"
              "    Panthera leo|Species|\n"
              "      Panthera leo persica|Subspecies|\n");
    EXPECT_NE(console.text().find("cats.csv: 41 lines beginning with # skipped (notes, not taxa)"),
              std::string::npos)
        << console.text();
}

}  // namespace
