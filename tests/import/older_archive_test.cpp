// Archives as they were written before today's Darwin Core terms, or by databases of their
// own: older term names, rank codes and rank words of other languages, \N for an empty field,
// roots that are their own parents, parents that are synonyms or that loop, short rows, and
// files whose tree comes out flat although they give parents.
#include <gtest/gtest.h>

#include <string>

#include "Import.h"
#include "ImportInternal.h"
#include "ImportSupport.h"
#include "StatusWords.h"
#include "TermAliases.h"
#include "TestSupport.h"

namespace {

std::string meta(const std::string& fields, const std::string& headerLines = "1") {
    return "<?xml version=\"1.0\"?>\n<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n"
           " <core fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"" + headerLines +
           "\" rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
           "  <files><location>taxa.txt</location></files><id index=\"0\"/>\n" + fields +
           " </core>\n</archive>\n";
}
std::string field(int index, const std::string& term) {
    return "  <field index=\"" + std::to_string(index) + "\" term=\"" + term + "\"/>\n";
}
bool says(const ZipRead& r, const std::string& line) {
    return r.console.find(line) != std::string::npos;
}

// A national plant list as such archives were written: parents as higherTaxonID, accepted
// names as acceptedTaxonID, \N for every empty field, ranks as the codes of the German
// standard lists. It must read as the hierarchy it holds, in meta.xml's terms (full
// addresses) and in a header's (prefixed or bare) alike.
TEST(OlderArchives, OlderTermsNullMarkersAndRankCodesGiveTheHierarchy) {
    const std::string rows =
        "1\t\\N\t\\N\tPlantae\tREI\tNULL\n"
        "2\t1\t\\N\tMagnoliophyta\tABT\t\\N\n"
        "3\t2\t\\N\tMagnoliopsida\tKLA\t\\N\n"
        "4\t3\t\\N\tLamiales\tORD\t\\N\n"
        "5\t4\t\\N\tLamiaceae\tFAM\t\\N\n"
        "6\t5\t\\N\tSalvia\tGAT\t\\N\n"
        "7\t6\t\\N\tSalvia pratensis agg.\tAGG\t\\N\n"
        "8\t7\t\\N\tSalvia pratensis\tSPE\t\\N\n"
        "9\t8\t\\N\tSalvia pratensis subsp. haematodes\tSSP\tNA\n"
        "10\t\\N\t8\tSalvia haematodes\tSPE\tsynonym\n"
        "11\t6\t\\N\tSalvia glutinosa\tspe\t\\N\n"
        "12\t11\t\\N\tSalvia glutinosa var. alba\tVAR\t\\N\n";
    const std::string tree =
        "Plantae|Kingdom|\n"
        "  Magnoliophyta|Phylum|\n"
        "    Magnoliopsida|Class|\n"
        "      Lamiales|Order|\n"
        "        Lamiaceae|Family|\n"
        "          Salvia|Genus|\n"
        "            Salvia pratensis agg.|Species group|\n"
        "              Salvia pratensis|Species|\n"
        "                Salvia pratensis subsp. haematodes|Subspecies|\n"
        "            Salvia glutinosa|Species|\n"
        "              Salvia glutinosa var. alba|Variety|\n";
    const std::string terms = "http://rs.tdwg.org/dwc/terms/";
    ZipRead m = readZip(
        {{"meta.xml", meta(field(1, terms + "higherTaxonID") + field(2, terms + "acceptedTaxonID") +
                           field(3, terms + "scientificName") + field(4, terms + "taxonRank") +
                           field(5, terms + "taxonomicStatus"))},
         {"taxa.txt", "taxonID\thigherTaxonID\tacceptedTaxonID\tscientificName\ttaxonRank\t"
                      "taxonomicStatus\n" + rows}});
    EXPECT_EQ(m.tree, tree);
    // Nothing was missing, unknown or flat: the null markers are no identifiers or words.
    EXPECT_EQ(m.console.find("missing"), std::string::npos) << m.console;
    EXPECT_EQ(m.console.find("not known"), std::string::npos) << m.console;
    EXPECT_EQ(m.console.find("flat"), std::string::npos) << m.console;
    ZipRead h = readZip({{"taxon.txt", "dwc:taxonID\tdc:higherTaxonID\tdwc:acceptedTaxonID\t"
                                       "scientificName\trank\tdwc:taxonomicStatus\n" + rows}});
    EXPECT_EQ(h.tree, tree);
    EXPECT_EQ(h.console, "") << h.console;
    // A parent column of nothing but \N beside columns of higher ranks: those place the taxa.
    ZipRead c = readZip({{"taxon.txt", "taxonID\thigherTaxonID\tscientificName\tfamily\tgenus\n"
                                       "1\t\\N\tSalvia pratensis\tLamiaceae\tSalvia\n"
                                       "2\tNULL\tSalvia glutinosa\tLamiaceae\tSalvia\n"}});
    // No rank column: the names' shapes rank them.
    EXPECT_EQ(c.tree, "Lamiaceae|Family|\n  Salvia|Genus|\n    Salvia pratensis|Species|\n"
                      "    Salvia glutinosa|Species|\n");
}

// The name forms, and the old terms beside today's: today's decide.
TEST(OlderArchives, OlderNameTermsAndTodaysBesideThem) {
    ZipRead byName = readZip(
        {{"taxon.txt", "taxonID\tscientificName\thigherTaxon\tacceptedTaxon\ttaxonRank\n"
                       "1\tCanidae\tCanidae\t\tFamilie\n"
                       "2\tCanis\tCanidae\t\tGattung\n"
                       "3\tThos\tCanidae\tCanis\tGattung\n"
                       "4\tCanis aureus\tThos\t\tArt\n"}});
    EXPECT_EQ(byName.tree,
              "Canidae|Family|\n  Canis|Genus|\n    Canis aureus|Species|\n");
    EXPECT_TRUE(says(byName, ": 1 taxa whose parent is a synonym hung under its accepted taxon\n"))
        << byName.console;
    // Canidae names itself as its parent: a root, nothing to tell.
    EXPECT_EQ(byName.console.find("ancestor"), std::string::npos) << byName.console;
    EXPECT_EQ(byName.console.find("no accepted taxon"), std::string::npos) << byName.console;
    // higherTaxonID filled with nonsense beside a parentNameUsageID that links.
    ZipRead both = readZip(
        {{"taxon.txt", "taxonID\thigherTaxonID\tparentNameUsageID\tscientificName\n"
                       "1\tx\t\tVulpes\n2\ty\t1\tVulpes vulpes\n"}});
    EXPECT_EQ(both.tree, "Vulpes||\n  Vulpes vulpes|Species|\n");
    EXPECT_STREQ(imp::currentTerm("highertaxonid"), "parentnameusageid");
    EXPECT_STREQ(imp::currentTerm("acceptedtaxonid"), "acceptednameusageid");
    EXPECT_STREQ(imp::currentTerm("basionymid"), "originalnameusageid");
    EXPECT_STREQ(imp::currentTerm("highertaxon"), "parentnameusage");
    EXPECT_STREQ(imp::currentTerm("acceptedtaxon"), "acceptednameusage");
    EXPECT_EQ(imp::currentTerm("parentnameusageid"), nullptr);
}

TEST(OlderArchives, RankCodesWordsAndAbbreviationsInAnyCase) {
    struct Case {
        const char *written, *name;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"SPE", "Species"},       {"ssp", "Subspecies"},    {"VAR", "Variety"},
             {"For", "Form"},          {"GAT", "Genus"},         {"SGE", "Subgenus"},
             {"SEC", "Section"},       {"SSE", "Subsection"},    {"SER", "Series"},
             {"AGG", "Species group"}, {"SGR", "Species group"}, {"FAM", "Family"},
             {"ORD", "Order"},         {"UKL", "Subclass"},      {"KLA", "Class"},
             {"UAB", "Subphylum"},     {"ABT", "Phylum"},        {"Unterart", "Subspecies"},
             {"Aggregat", "Species group"}, {"\xc3\x9c" "berordnung", "Superorder"},
             {"sous-esp\xc3\xa8" "ce", "Subspecies"}, {"Sous-r\xc3\xa8gne", "Subkingdom"},
             {"Superorden", "Superorder"}, {"subg\xc3\xa9nero", "Subgenus"},
             {"Infraordem", "Infraorder"}, {"SP.", "Species"}, {"Ssp.", "Subspecies"},
             {"SUBSP.", "Subspecies"}, {"var.", "Variety"}, {"F.", "Form"}, {"Gen.", "Genus"},
             {"subgen.", "Subgenus"}, {"FAM.", "Family"}, {"ord.", "Order"},
             {"agg.", "Species group"}, {"species group", "Species group"}}) {
        EXPECT_EQ(imp::rankOf(c.written).name, c.name) << c.written;
        EXPECT_FALSE(imp::rankOf(c.written).unknown()) << c.written;
    }
    // An aggregate stands between the genus and its species.
    EXPECT_LT(imp::rankOf("SGE").order, imp::rankOf("AGG").order);
    EXPECT_LT(imp::rankOf("AGG").order, imp::rankOf("SPE").order);
    // Words still unknown keep their text, as before.
    EXPECT_EQ(imp::rankOf("XYZ").name, "Xyz");
    EXPECT_TRUE(imp::rankOf("XYZ").unknown());
    EXPECT_FALSE(imp::rankOf("").unknown());
    EXPECT_FALSE(imp::rankOf("no rank").unknown());
}

// Each unknown rank word once, with its rows; in an archive and in a table alike.
TEST(OlderArchives, UnknownRankWordsAreListedOnceWithTheirCounts) {
    ZipRead r = readZip({{"taxon.txt", "taxonID\tparentNameUsageID\tscientificName\ttaxonRank\n"
                                       "1\t\tAbies\tGAT\n2\t1\tAbies alba\tZZZ\n"
                                       "3\t1\tAbies grandis\tZZZ\n4\t1\tAbies nordmanniana\tQQ\n"
                                       "5\t4\tAbies nordmanniana x\tZZZ\n"}});
    EXPECT_EQ(r.tree,
              "Abies|Genus|\n  Abies alba|Zzz|\n  Abies grandis|Zzz|\n"
              "  Abies nordmanniana|Qq|\n    Abies nordmanniana x|Zzz|\n");
    EXPECT_TRUE(says(r, ": rank \"ZZZ\" is not known, kept as written (3 rows)\n")) << r.console;
    EXPECT_TRUE(says(r, ": rank \"QQ\" is not known, kept as written (1 rows)\n")) << r.console;
    EXPECT_EQ(r.console.find("GAT"), std::string::npos);

    TempDir dir;
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.write("t.csv", "Family,scientificName,taxonRank,status\n"
                                                 "Pinaceae,Abies alba,SPE,\\N\n"
                                                 "Pinaceae,Abies grandis,ZZZ,NULL\n"
                                                 "Pinaceae,Abies x,ZZZ,accepted\n"))
                    .ok);
    EXPECT_EQ(dump(t), "Pinaceae|Family|\n  Abies|Genus|\n    Abies alba|Species|\n"
                       "  Abies grandis|Zzz|\n  Abies x|Zzz|\n");
    EXPECT_NE(console.text().find(": rank \"ZZZ\" is not known, kept as written (2 rows)\n"),
              std::string::npos) << console.text();
    EXPECT_EQ(console.text().find("status"), std::string::npos) << console.text();
}

// A root that is its own parent; a parent that is a synonym; a cycle; rows that stop short.
TEST(OlderArchives, HierarchiesAsTheyCome) {
    const std::string fields = field(1, "dwc:parentNameUsageID") +
                               field(2, "dwc:acceptedNameUsageID") +
                               field(3, "dwc:scientificName") + field(4, "dwc:taxonRank");
    ZipRead r = readZip(
        {{"meta.xml", meta(fields)},
         {"taxa.txt",
          "id\tparent\taccepted\tname\trank\n"
          "1\t1\t\tRosaceae\tfamily\n"
          "2\t1\t\tRosa\tgenus\n"
          "3\t1\t2\tHulthemia\tgenus\n"
          "4\t3\t\tRosa persica\tspecies\n"
          "5\t7\t\tPotentilla\tgenus\n"
          "6\t5\t\tPotentilla erecta\tspecies\n"
          "7\t6\t\tPotentilla erecta subsp. strictissima\tsubspecies\n"
          "8\t2\n"
          "9\t2\t\tRosa canina\n"}});
    // The cycle 5 -> 7 -> 6 -> 5 is broken at its first row: Potentilla hangs under the root.
    EXPECT_EQ(r.tree,
              "Root|Root|a.zip\n"
              "  Rosaceae|Family|\n"
              "    Rosa|Genus|\n"
              "      Rosa persica|Species|\n"
              "      Rosa canina|Species|\n"
              "  Potentilla|Genus|\n"
              "    Potentilla erecta|Species|\n"
              "      Potentilla erecta subsp. strictissima|Subspecies|\n");
    EXPECT_TRUE(says(r, ": line 6: Potentilla is its own ancestor (a cycle of parents): its "
                        "link to its parent 7 is broken, and it hangs under the root\n"))
        << r.console;
    EXPECT_TRUE(says(r, ": 1 taxa whose parent is a synonym hung under its accepted taxon\n"));
    EXPECT_TRUE(says(r, ": 2 rows with fewer fields than the header read as far as they go\n"));
    EXPECT_TRUE(says(r, ": 1 rows without a name skipped\n"));
    EXPECT_EQ(r.console.find("no accepted taxon"), std::string::npos) << r.console;
    EXPECT_EQ(r.console.find("missing"), std::string::npos) << r.console;
}

// More than nine in ten taxa straight under the root of a file that gives parents: the
// console says so and why. A list without parents, or a tree that holds, says nothing.
TEST(OlderArchives, AFlatReadingIsAWarning) {
    std::string unmatched = "taxonID\tparentNameUsageID\tscientificName\n";
    std::string list = "taxonID\tscientificName\n", tree = unmatched;
    std::string byColumns = "taxonID\tscientificName\tfamily\tgenus\n";
    for (int i = 0; i < 20; ++i) {
        const std::string id = std::to_string(i), name = "Carex sp" + id;
        unmatched += id + "\tC" + id + "\t" + name + "\n";
        list += id + "\t" + name + "\n";
        tree += id + "\t" + (i ? "0" : "") + "\t" + name + "\n";
        byColumns += id + "\t" + name + "\t" + (i == 0 ? "Cyperaceae\tCarex" : "\t") + "\n";
    }
    ZipRead flat = readZip({{"taxon.txt", unmatched}});
    EXPECT_TRUE(says(flat, ": 20 of 20 taxa hang directly under the root although the file "
                           "gives their parents, a flat tree: the parent column never matched "
                           "an identifier of the file\n"))
        << flat.console;
    ZipRead columns = readZip({{"taxon.txt", byColumns}});
    EXPECT_TRUE(says(columns, ": 20 of 22 taxa hang directly under the root although the file "
                              "gives their parents, a flat tree: the columns of the higher "
                              "ranks are empty in 19 rows\n"))
        << columns.console;
    EXPECT_EQ(readZip({{"taxon.txt", list}}).console.find("flat"), std::string::npos);
    EXPECT_EQ(readZip({{"taxon.txt", tree}}).console.find("flat"), std::string::npos);

    // A table whose higher-rank columns are empty nearly throughout.
    std::string table = "Family,Genus,scientificName\n";
    for (int i = 0; i < 20; ++i) table += ",,Carex" + std::to_string(i) + "\n";
    TempDir dir;
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.write("t.csv", table)).ok);
    EXPECT_NE(console.text().find(": 20 of 20 taxa hang directly under the root although the "
                                  "file gives their parents, a flat tree: the columns of the "
                                  "higher ranks are empty in nearly every row\n"),
              std::string::npos) << console.text();
}

}  // namespace
