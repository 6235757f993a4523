// Layouts seen in archives that checklist publishers put out, beyond the textbook ones: a
// core split over several files, synonyms linked by identifier while the accepted taxa are
// placed by the columns of their higher ranks, rank words in French, ColDP file names spelt
// with hyphens, ColDP taxa that share their name's identifier, rows without an identifier,
// columns of parent identifiers left blank, quotes that never close, rows without a rank,
// accepted rows that link to their own synonyms, header lines meta.xml does not mention.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Import.h"
#include "ImportInternal.h"
#include "ImportSupport.h"
#include "StatusWords.h"
#include "TestSupport.h"

namespace {

std::string core(const std::string& attributes, const std::string& locations,
                 const std::string& fields) {
    return "<?xml version=\"1.0\"?>\n<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n"
           " <core " + attributes + " ignoreHeaderLines=\"1\" "
           "rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n  <files>" + locations +
           "</files>\n  <id index=\"0\"/>\n" + fields + " </core>\n</archive>\n";
}
std::string field(int index, const std::string& term) {
    return "  <field index=\"" + std::to_string(index) +
           "\" term=\"http://rs.tdwg.org/dwc/terms/" + term + "\"/>\n";
}

std::string read(const std::map<std::string, std::string>& files) { return readZip(files).tree; }

TEST(RealArchives, CoreSplitOverSeveralFilesIsReadWhole) {
    const std::string meta =
        core("fieldsTerminatedBy=\"|\" fieldsEnclosedBy=\"\"",
             "\n   <location>part1.txt</location>\n   <location>\n    part2.txt\n   </location>\n",
             field(1, "parentNameUsageID") + field(2, "scientificName") + field(3, "taxonRank"));
    EXPECT_EQ(read({{"meta.xml", meta},
                    {"part1.txt", "id|parent|name|rank\n1||Meles|genus\n2|1|Meles meles|species\n"},
                    {"part2.txt", "id|parent|name|rank\n3|1|Meles leucurus|species\n"}}),
              "Meles|Genus|\n"
              "  Meles meles|Species|\n"
              "  Meles leucurus|Species|\n");
}

TEST(RealArchives, SynonymsByIdentifierAndAcceptedTaxaPlacedByTheirHigherRanks) {
    // A synonym may point at itself and say so only by its status, as real files do.
    const std::string meta =
        core("fieldsTerminatedBy=\"\\t\"", "<location>taxon.txt</location>",
             field(1, "acceptedNameUsageID") + field(2, "scientificName") + field(3, "family") +
                 field(4, "genus") + field(5, "taxonRank") + field(6, "taxonomicStatus"));
    EXPECT_EQ(read({{"meta.xml", meta},
                    {"taxon.txt",
                     "id\taccepted\tname\tfamily\tgenus\trank\tstatus\n"
                     "1\t1\tAneura pinguis\tAneuraceae\tAneura\tEsp\xc3\xa8" "ce\tAccept\xc3\xa9\n"
                     "2\t1\tRiccardia pinguis\t\t\tEsp\xc3\xa8" "ce\tSynonyme\n"
                     "3\t3\tAneura maxima\tAneuraceae\tAneura\tEsp\xc3\xa8" "ce\tAccept\xc3\xa9\n"
                     "4\t4\tBlasia pusilla var. minor\tBlasiaceae\tBlasia\tVari\xc3\xa9t\xc3\xa9"
                     "\tAccept\xc3\xa9\n"
                     "5\t5\tBlasia minor\t\t\tSous-esp\xc3\xa8" "ce\tSynonyme\n"}}),
              "Root|Root|a.zip\n"
              "  Aneuraceae|Family|\n"
              "    Aneura|Genus|\n"
              "      Aneura pinguis|Species|\n"
              "      Aneura maxima|Species|\n"
              "  Blasiaceae|Family|\n"
              "    Blasia|Genus|\n"
              "      Blasia pusilla var. minor|Variety|\n");
}

// ColDP's own example package spells its files in lower case with hyphens.
TEST(RealArchives, ColDPFileNamesWithHyphens) {
    EXPECT_EQ(read({{"data/name-usage.tsv", "ID\tparentID\tstatus\tscientificName\trank\n"
                                            "1\t\taccepted\tCrepis\tgenus\n"
                                            "2\t1\taccepted\tCrepis bakeri\tspecies\n"},
                    {"data/vernacular-name.tsv", "taxonID\tname\tlanguage\n"
                                                 "2\tBaker's hawksbeard\teng\n"}}),
              "Crepis|Genus|\n  Crepis bakeri|Species|Baker's hawksbeard\n");
    EXPECT_EQ(read({{"name.tsv", "ID\tscientificName\trank\nn1\tCrepis\tgenus\n"},
                    {"taxon.tsv", "ID\tparentID\tnameID\nt1\t\tn1\n"},
                    {"vernacular.tsv", "taxonID\tname\tlanguage\nt1\thawksbeards\ten\n"}}),
              "Crepis|Genus|hawksbeards\n");
}

// A Taxon file without nameID: each taxon shares its identifier with its Name row.
TEST(RealArchives, ColDPTaxaNamedByTheirOwnIdentifier) {
    EXPECT_EQ(read({{"name.tsv", "ID\tscientificName\trank\n1\tMartes foina\tspecies\n"
                                 "2\tMartes\tgenus\n3\tMeles meles\tspecies\n"},
                    {"taxon.tsv", "ID\tfamily\tgenus\n1\tMustelidae\tMartes\n"
                                  "2\tMustelidae\tMartes\n3\tMustelidae\tMeles\n"}}),
              "Mustelidae|Family|\n"
              "  Martes|Genus|\n"
              "    Martes foina|Species|\n"
              "  Meles|Genus|\n"
              "    Meles meles|Species|\n");
}

// Rows without an identifier: an accepted one is a taxon under its parent that no row can
// name; a synonym without one is nobody's parent.
TEST(RealArchives, RowsWithoutAnIdentifierAreReadNotRefused) {
    TempDir dir;
    dir.write("NameUsage.tsv",
              "ID\tparentID\tstatus\tscientificName\trank\n"
              "1\t\taccepted\tUrsus\tgenus\n"
              "\t1\taccepted\tUrsus arctos\tspecies\n"
              "\t1\tsynonym\tUrsus horribilis\tspecies\n"
              "\t1\taccepted\tUrsus maritimus\tspecies\n");
    ClassificationTree t;
    ConsoleCapture console;
    Imported r = importFile(t, dir.file("NameUsage.tsv"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(dump(t), "Ursus|Genus|\n  Ursus arctos|Species|\n  Ursus maritimus|Species|\n");
    EXPECT_NE(console.text().find(
                  ": 2 taxa without an identifier read; no row can name them as parent\n"),
              std::string::npos)
        << console.text();
}

// Columns of parent identifiers declared but left blank in every row link nothing: the taxa
// are placed by the columns of their higher ranks, or linked by the names given.
TEST(RealArchives, ParentIdentifiersLeftBlankGiveWayToRanksOrNames) {
    EXPECT_EQ(read({{"NameUsage.tsv", "ID\tparentID\tscientificName\tfamily\tgenus\trank\tstatus\n"
                                      "1\t\tMartes foina\tMustelidae\tMartes\tspecies\taccepted\n"
                                      "2\t\tMartes\tMustelidae\tMartes\tgenus\taccepted\n"
                                      "3\t\tMustelidae\tMustelidae\t\tfamily\taccepted\n"}}),
              "Mustelidae|Family|\n  Martes|Genus|\n    Martes foina|Species|\n");
    const std::string fields = field(1, "scientificName") + field(2, "parentNameUsageID") +
                               field(3, "parentNameUsage") + field(4, "acceptedNameUsageID") +
                               field(5, "acceptedNameUsage") + field(6, "taxonomicStatus") +
                               field(7, "taxonRank") + field(8, "scientificNameAuthorship");
    EXPECT_EQ(read({{"meta.xml", core("fieldsTerminatedBy=\",\" fieldsEnclosedBy=\"&quot;\"",
                                      "<location>taxon.txt</location>", fields)},
                    {"taxon.txt",
                     "id,name,pid,parent,aid,accepted,status,rank,author\n"
                     "1,\"Canis Linnaeus, 1758\",,,,Canis,valid,genus,\"Linnaeus, 1758\"\n"
                     "2,\"Canis lupus Linnaeus, 1758\",,Canis,,Canis lupus,valid,species,"
                     "\"Linnaeus, 1758\"\n"
                     "3,Canis lycaon,,,,Canis lupus,invalid,species,\n"}}),
              "Canis|Genus|\n  Canis lupus|Species|\n");
}

// A stray quote at the start of a field of a file that declares quotes would swallow the rest
// of the file: its quotes are read as text instead, with a warning.
TEST(RealArchives, AQuoteThatNeverClosesIsReadAsText) {
    const std::string fields = field(1, "parentNameUsageID") + field(2, "scientificName") +
                               field(3, "taxonRank") + field(4, "taxonRemarks");
    TempDir dir;
    writeZip(dir.file("a.zip"),
             {{"meta.xml", core("fieldsTerminatedBy=\"\\t\" fieldsEnclosedBy=\"&quot;\"",
                                "<location>Taxon.csv</location>", fields)},
              {"Taxon.csv", "taxonId\tparent\tname\trank\tremarks\n"
                            "1\t\tLynx\tgenus\t\n"
                            "2\t1\tLynx lynx\tspecies\t\"unclosed remark\n"
                            "3\t1\tLynx rufus\tspecies\t\n"}});
    ClassificationTree t;
    ConsoleCapture console;
    Imported r = importFile(t, dir.file("a.zip"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(dump(t), "Lynx|Genus|\n  Lynx lynx|Species|\n  Lynx rufus|Species|\n");
    EXPECT_NE(console.text().find(": a quoted field never closes; quotes read as part of the text\n"),
              std::string::npos)
        << console.text();
}

// A core of higher-rank columns only: each row is named by its genus and is that genus.
TEST(RealArchives, ARowWithoutARankNamedAsItsGenusIsThatGenus) {
    EXPECT_EQ(read({{"meta.xml", core("fieldsTerminatedBy=\"\\t\"", "<location>taxon.txt</location>",
                                      field(1, "family") + field(2, "genus"))},
                    {"taxon.txt", "id\tfamily\tgenus\n1\tPhasianidae\tAlectoris\n"
                                  "2\tPhasianidae\tPeliperdix\n"}}),
              "Phasianidae|Family|\n  Alectoris|Genus|\n  Peliperdix|Genus|\n");
}

// A row whose status says accepted stays a taxon though its acceptedNameUsageID names its own
// synonym; a row without a status that points at another row is that row's synonym.
TEST(RealArchives, TheStatusAcceptedOutweighsALinkToAnotherName) {
    const std::string fields = field(1, "taxonomicStatus") + field(2, "scientificName") +
                               field(3, "acceptedNameUsageID") + field(4, "family") +
                               field(5, "taxonRank");
    EXPECT_EQ(read({{"meta.xml", core("fieldsTerminatedBy=\"\\t\"", "<location>taxon.txt</location>",
                                      fields)},
                    {"taxon.txt", "id\tstatus\tname\taccepted\tfamily\trank\n"
                                  "1\tNOME_ACEITO\tSchinus terebinthifolia\t2\tAnacardiaceae\tESPECIE\n"
                                  "2\tSINONIMO\tSchinus terebinthifolius\t1\tAnacardiaceae\tESPECIE\n"
                                  "3\t\tSchinus aroeira\t1\tAnacardiaceae\tESPECIE\n"
                                  "4\t\tSchinus molle\t\tAnacardiaceae\tESPECIE\n"}}),
              "Anacardiaceae|Family|\n"
              "  Schinus terebinthifolia|Species|\n"
              "  Schinus molle|Species|\n");
}

// meta.xml that leaves ignoreHeaderLines out says there is no header line; a first line that
// names the terms is one all the same, and a first line of data stays data.
TEST(RealArchives, AHeaderLineMetaXmlDoesNotMention) {
    const std::string meta =
        "<archive xmlns=\"http://rs.tdwg.org/dwc/text/\"><core fieldsTerminatedBy=\",\" "
        "fieldsEnclosedBy=\"&quot;\" rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\"><files>"
        "<location>taxa.csv</location></files><id index=\"0\"/>" +
        field(1, "parentNameUsageID") + field(2, "scientificName") + "</core></archive>";
    EXPECT_EQ(read({{"meta.xml", meta},
                    {"taxa.csv", "\"id\",\"parentNameUsageID\",\"scientificName\"\r\n"
                                 "1,,Lynx\r\n2,1,Lynx lynx\r\n"}}),
              "Lynx||\n  Lynx lynx|Species|\n");
    EXPECT_EQ(read({{"meta.xml", meta}, {"taxa.csv", "1,,Lynx\n2,1,Lynx lynx\n"}}),
              "Lynx||\n  Lynx lynx|Species|\n");
    // Blank lines before the XML declaration.
    EXPECT_EQ(read({{"meta.xml", "\n  <?xml version=\"1.0\"?>\n" + meta},
                    {"taxa.csv", "1,,Lynx\n2,1,Lynx lynx\n"}}),
              "Lynx||\n  Lynx lynx|Species|\n");
}

// Words of WoRMS exports and of the Brazilian flora's ranks.
TEST(RealArchives, WordsOfWormsAndOfTheBrazilianFlora) {
    EXPECT_EQ(imp::statusOf("alternate representation"), imp::NameStatus::NotAccepted);
    EXPECT_EQ(imp::statusOf("temporary name"), imp::NameStatus::Accepted);
    for (const auto& [written, rank] : std::initializer_list<std::pair<const char*, const char*>>{
             {"SUB_FORMA", "Subform"}, {"SUB_SECAO", "Subsection"}, {"subsecci\xc3\xb3n", "Subsection"},
             {"Vari\xc3\xa9t\xc3\xa9", "Variety"}, {"Sous-esp\xc3\xa8" "ce", "Subspecies"}, {"forme", "Form"}})
        EXPECT_EQ(imp::rankOf(written).name, rank) << written;
}

}  // namespace
