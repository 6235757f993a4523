// Common names that reach one taxon more than once: a table naming a taxon again, and two
// siblings of one name that become one when a rank only one checklist uses is left out.
#include <gtest/gtest.h>

#include "ImportSupport.h"
#include "TestSupport.h"

TEST(CommonNames, TheFirstGivenStaysAndAnEmptyOneTakesNoPlace) {
    TempDir dir;
    const std::string csv =
        "sciName,Family,Genus,mainCommonName\n"
        "Felis_catus,Felidae,Felis,Cat\n"
        "Felis_catus,Felidae,Felis,House cat\n"
        "Felis_silvestris,Felidae,Felis,\n"
        "Felis_silvestris,Felidae,Felis,Wildcat\n"
        "Felis_silvestris,Felidae,Felis,European wildcat\n";
    ClassificationTree t;
    ASSERT_TRUE(importFile(t, dir.write("f.csv", csv)).ok);
    EXPECT_EQ(dump(t),
              "Felidae|Family|\n"
              "  Felis|Genus|\n"
              "    Felis catus|Species|Cat\n"
              "    Felis silvestris|Species|Wildcat\n");
}

TEST(CommonNames, SiblingsMergedByTheRankAlignmentKeepTheNameOneOfThemHad) {
    TempDir dir;
    // The first checklist lists the genus under two subfamilies, with its common name only
    // under the second; the other checklist uses no subfamilies, so the two become one.
    const std::string withSubfamilies =
        "sciName,Family,Subfamily,Genus,mainCommonName\n"
        "Macroglossus_minimus,Pteropodidae,Macroglossinae,Macroglossus,Dwarf blossom bat\n"
        ",Pteropodidae,Pteropodinae,Macroglossus,Blossom bats\n"
        "Macroglossus_sobrinus,Pteropodidae,Pteropodinae,Macroglossus,Greater blossom bat\n";
    const std::string without =
        "sciName,Family,Genus\n"
        "Macroglossus_minimus,Pteropodidae,Macroglossus\n";
    ClassificationTree t1, t2;
    ASSERT_TRUE(importFile(t1, dir.write("a.csv", withSubfamilies)).ok);
    ASSERT_TRUE(importFile(t2, dir.write("b.csv", without)).ok);
    {
        ConsoleCapture quiet;
        alignRankLevels(t1, t2);
    }
    EXPECT_EQ(dump(t1),
              "Pteropodidae|Family|\n"
              "  Macroglossus|Genus|Blossom bats\n"
              "    Macroglossus minimus|Species|Dwarf blossom bat\n"
              "    Macroglossus sobrinus|Species|Greater blossom bat\n");
}
