// What real publishers write: status and rank words of many spellings and languages, names in
// parts, meta.xml that disagrees with the header line, parents given by name or by columns of
// higher taxa, ColDP in its normal form, common names by language name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Import.h"
#include "ImportInternal.h"
#include "ImportSupport.h"
#include "StatusWords.h"
#include "TestSupport.h"

namespace {

using imp::NameStatus;

TEST(PublishedWords, StatusWordsIgnoreCaseBlanksUnderscoresAndAccents) {
    for (const char* w : {"", "accepted", "Accepted", "ACCEPTED", "provisionally accepted",
                          "valid", "NOME_ACEITO", "aceito", "v\xc3\xa1lido", "akzeptiert",
                          "Provisionally_Accepted", "doubtful", "DOUBTFUL"})
        EXPECT_EQ(imp::statusOf(w), NameStatus::Accepted) << w;
    for (const char* w : {"invalid", "synonym", "Synonym", "heterotypic synonym",
                          "homotypicSynonym", "PROPARTE_SYNONYM", "misapplied",
                          "ambiguous synonym", "SINONIMO", "Sin\xc3\xb3nimo", "Illegitimate",
                          "Unplaced", "nomen dubium", "bare name"})
        EXPECT_EQ(imp::statusOf(w), NameStatus::NotAccepted) << w;
    for (const char* w : {"weird", "acceptedx", "syn"})
        EXPECT_EQ(imp::statusOf(w), NameStatus::Unknown) << w;
}

TEST(PublishedWords, RankWordsAreWrittenAsTheKnownRank) {
    struct Case {
        const char *written, *name;
        int twenty;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"sp.", "Species", rankFromName("Species")},
             {"ssp.", "Subspecies", rankFromName("Subspecies")},
             {"subsp.", "Subspecies", rankFromName("Subspecies")},
             {"SUB_ESPECIE", "Subspecies", rankFromName("Subspecies")},
             {"gen.", "Genus", rankFromName("Genus")},
             {"GENERO", "Genus", rankFromName("Genus")},
             {"Gattung", "Genus", rankFromName("Genus")},
             {"fam.", "Family", rankFromName("Family")},
             {"FAMILIA", "Family", rankFromName("Family")},
             {"ESPECIE", "Species", rankFromName("Species")},
             {"Art", "Species", rankFromName("Species")},
             {"var.", "Variety", -1},
             {"VARIEDADE", "Variety", -1},
             {"f.", "Form", -1},
             {"section botany", "Section", -1},
             {"SECTION_BOTANY", "Section", -1},
             {"series", "Series", -1},
             {"unranked", "", -1},
             {"Incertae Sedis", "", -1},
             {"", "", -1},
             {"chemoform", "Chemoform", -1}}) {
        imp::RankInfo r = imp::rankOf(c.written);
        EXPECT_EQ(r.name, c.name) << c.written;
        EXPECT_EQ(r.twenty, c.twenty) << c.written;
    }
    EXPECT_LT(imp::rankOf("var.").order, imp::rankOf("f.").order);
    EXPECT_LT(imp::rankOf("Species").order, imp::rankOf("var.").order);
}

// A core file with the usual columns, behind a meta.xml that names them.
std::string meta(const std::string& attributes, const std::string& fields) {
    return "<?xml version=\"1.0\"?>\n<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n"
           " <core " + attributes + " rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
           "  <files><location>taxa.txt</location></files><id index=\"0\"/>\n" + fields +
           " </core>\n</archive>\n";
}
std::string field(int index, const std::string& term, const std::string& extra = "") {
    std::string i = index < 0 ? "" : "index=\"" + std::to_string(index) + "\" ";
    return "  <field " + i + "term=\"http://rs.tdwg.org/dwc/terms/" + term + "\"" + extra + "/>\n";
}

using Read = ZipRead;

TEST(PublishedArchives, StatusAndRankWordsOfRealFiles) {
    const std::string fields = field(1, "parentNameUsageID") + field(2, "scientificName") +
                               field(3, "taxonRank") + field(4, "taxonomicStatus");
    Read r = readZip(
        {{"meta.xml", meta("fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"1\"", fields)},
         {"taxa.txt",
          "id\tparent\tname\trank\tstatus\n"
          "1\t\tAsteraceae\tFAMILIA\tNOME_ACEITO\n"
          "2\t1\tIncertae sedis\tunranked\tvalid\n"
          "3\t2\tAster\tGENERO\tv\xc3\xa1lido\n"
          "4\t3\tAster alpinus\tESPECIE\tmystery\n"
          "5\t3\tAster alpinum\tESPECIE\tSINONIMO\n"
          "6\t4\tAster alpinus var. dolomiticus\tvar.\tMystery\n"
          "7\t3\tAster amellus\tsp.\tUnplaced\n"
          "8\t3\tAster sect. Alpigeni\tsection botany\taccepted\n"}});
    EXPECT_EQ(r.tree,
              "Asteraceae|Family|\n"
              "  Aster|Genus|\n"
              "    Aster alpinus|Species|\n"
              "      Aster alpinus var. dolomiticus|Variety|\n"
              "    Aster sect. Alpigeni|Section|\n");
    EXPECT_NE(r.console.find(": status \"mystery\" is not known, read as accepted (1 rows)\n"),
              std::string::npos) << r.console;
    EXPECT_NE(r.console.find(": status \"Mystery\" is not known, read as accepted (1 rows)\n"),
              std::string::npos) << r.console;
}

TEST(PublishedArchives, NamesInPartsAndRowsWithoutAName) {
    const std::string fields = field(1, "parentNameUsageID") + field(2, "scientificName") +
                               field(3, "genus") + field(4, "specificEpithet") +
                               field(5, "infraspecificEpithet") + field(6, "taxonRank");
    Read r = readZip({{"meta.xml", meta("fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"1\"",
                                        fields)},
                      {"taxa.txt",
                       "a\tb\tc\td\te\tf\n"
                       "1\t\tPuma\t\t\t\tgenus\n"
                       "2\t1\t\tPuma\tconcolor\t\tspecies\n"
                       "3\t2\t\tPuma\tconcolor\tcougar\tsubspecies\n"
                       "4\t1\t\t\t\t\tspecies\n"
                       "5\t1\t\t\tyagouaroundi\t\tspecies\n"}});
    EXPECT_EQ(r.tree,
              "Puma|Genus|\n"
              "  Puma concolor|Species|\n"
              "    Puma concolor cougar|Subspecies|\n");
    EXPECT_NE(r.console.find(": 2 rows without a name skipped\n"), std::string::npos)
        << r.console;
}

// meta.xml's indexes decide, whatever the header says; no header line; quotes that are
// data; semicolons; short rows; defaults for fields the file does not have or leaves empty.
TEST(PublishedArchives, MetaXmlDecidesOverTheFile) {
    const std::string fields = field(2, "parentNameUsageID") + field(1, "scientificName") +
                               field(3, "taxonRank", " default=\"species\"") +
                               field(-1, "taxonomicStatus", " default=\"accepted\"");
    Read r = readZip({{"meta.xml", meta("fieldsTerminatedBy=\";\" fieldsEnclosedBy=\"\" "
                                        "ignoreHeaderLines=\"0\"", fields)},
                      {"taxa.txt",
                       "1;Lynx;;genus\n"
                       "2;Lynx \"pardina\";1\n"
                       "3;Lynx lynx;1;\n"}});
    EXPECT_EQ(r.tree,
              "Lynx|Genus|\n"
              "  Lynx \"pardina\"|Species|\n"
              "  Lynx lynx|Species|\n");
    // A header that names the columns otherwise than meta.xml, in a pipe-separated file.
    r = readZip({{"meta.xml", meta("fieldsTerminatedBy=\"|\" ignoreHeaderLines=\"1\"",
                                   field(1, "parentNameUsageID") + field(2, "scientificName"))},
                 {"taxa.txt", "scientificName|taxonID|parentNameUsageID\n1||Lynx\n2|1|Lynx lynx\n"}});
    EXPECT_EQ(r.tree, "Lynx||\n  Lynx lynx|Species|\n");
}

TEST(PublishedArchives, ParentsByNameAndByClassificationColumns) {
    Read r = readZip({{"meta.xml", meta("fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"1\"",
                                        field(1, "scientificName") + field(2, "parentNameUsage") +
                                            field(3, "acceptedNameUsage") +
                                            field(4, "taxonRank"))},
                      {"taxa.txt",
                       "id\tname\tparent\taccepted\trank\n"
                       "1\tCanidae Fischer, 1817\t\t\tfamily\n"
                       "2\tCanis Linnaeus, 1758\tCanidae Fischer, 1817\t\tgenus\n"
                       "3\tCanis lupus Linnaeus, 1758\tCanis L.\t\tspecies\n"
                       "4\tThos Oken, 1816\tCanidae\tCanis Linnaeus, 1758\tgenus\n"
                       "5\tCanis aureus\tThos Oken, 1816\t\tspecies\n"
                       "6\tVulpes vulpes\tVulpes\t\tspecies\n"}});
    EXPECT_EQ(r.tree,
              "Root|Root|a.zip\n"
              "  Canidae Fischer, 1817|Family|\n"
              "    Canis Linnaeus, 1758|Genus|\n"
              "      Canis lupus Linnaeus, 1758|Species|\n"
              "      Canis aureus|Species|\n"
              "  Vulpes vulpes|Species|\n");
    EXPECT_NE(r.console.find(": 1 taxa whose parent is a synonym hung under its accepted taxon\n"),
              std::string::npos) << r.console;
    EXPECT_NE(r.console.find(": 1 taxa whose parent name is no accepted taxon hung under the root\n"),
              std::string::npos) << r.console;

    r = readZip({{"meta.xml", meta("fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"1\"",
                                   field(1, "scientificName") + field(2, "kingdom") +
                                       field(3, "family") + field(4, "genus") +
                                       field(5, "taxonRank"))},
                 {"taxa.txt",
                  "id\tname\tkingdom\tfamily\tgenus\trank\n"
                  "1\tCanis lupus\tAnimalia\tCANIDAE\tCanis\tspecies\n"
                  "2\tCanis\tAnimalia\tCanidae\tCanis\tgenus\n"
                  "3\tVulpes\tAnimalia\tCanidae\tVulpes\tgenus\n"
                  "4\tVulpes vulpes\tAnimalia\tCanidae\tVulpes\tspecies\n"
                  "5\tUrsidae\tAnimalia\tUrsidae\t\tfamily\n"}});
    EXPECT_EQ(r.tree,
              "Animalia|Kingdom|\n"
              "  Canidae|Family|\n"
              "    Canis|Genus|\n"
              "      Canis lupus|Species|\n"
              "    Vulpes|Genus|\n"
              "      Vulpes vulpes|Species|\n"
              "  Ursidae|Family|\n");
}

}  // namespace

namespace {

// Names apart from taxa: a taxon's name and rank from its Name row, its parent from parentID
// or, without it, from the columns of the higher ranks; synonyms in a file of their own.
TEST(PublishedArchives, ColDPNamesAndTaxaInFilesOfTheirOwn) {
    const std::string names =
        "col:ID\tcol:scientificName\tcol:authorship\tcol:rank\tcol:uninomial\tcol:genus\t"
        "col:specificEpithet\n"
        "n1\tUrsidae Fischer, 1817\tFischer, 1817\tfamily\t\t\t\n"
        "n2\tUrsus\t\tgenus\t\t\t\n"
        "n3\t\t\tspecies\t\tUrsus\tarctos\n"
        "n4\tUrsus horribilis\t\tspecies\t\t\t\n"
        "n5\tUrsus maritimus\t\tsp.\t\t\t\n";
    const std::string taxa =
        "col:ID\tcol:parentID\tcol:nameID\n"
        "t1\t\tn1\nt2\tt1\tn2\nt3\tt2\tn3\nt5\ts4\tn5\n";
    const std::string synonyms = "col:ID\tcol:taxonID\tcol:nameID\ns4\tt3\tn4\n";
    const std::string tree =
        "Ursidae|Family|\n"
        "  Ursus|Genus|\n"
        "    Ursus arctos|Species|\n"
        "      Ursus maritimus|Species|\n";
    TempDir dir;
    writeZip(dir.file("deep.zip"), {{"a/b/c/d/NAME.TSV", names},
                                    {"a/b/c/d/taxon.tsv", taxa},
                                    {"a/b/c/d/Synonym.tsv", synonyms}});
    std::filesystem::create_directories(dir.path() / "pkg");
    dir.write("pkg/Name.txt", names);
    dir.write("pkg/Taxon.txt", taxa);
    dir.write("pkg/Synonym.txt", synonyms);
    for (const char* p : {"deep.zip", "pkg"}) {
        EXPECT_EQ(detectInputKind(dir.file(p)), InputKind::ColDP) << p;
        ClassificationTree t;
        ConsoleCapture console;
        Imported r = importFile(t, dir.file(p));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(dump(t), tree) << p;
        EXPECT_NE(console.text().find(
                      ": 1 taxa whose parent is a synonym hung under its accepted taxon\n"),
                  std::string::npos);
    }
    // In a NameUsage file a synonym's parentID is its accepted taxon.
    Read u = readZip({{"NameUsage.tsv", "ID\tparentID\tstatus\tscientificName\trank\n"
                                        "1\t\taccepted\tUrsus\tgenus\n"
                                        "2\t1\tsynonym\tThalarctos\tgenus\n"
                                        "3\t2\taccepted\tUrsus maritimus\tspecies\n"}});
    EXPECT_EQ(u.tree, "Ursus|Genus|\n  Ursus maritimus|Species|\n");
    // No parentID: the path from the Taxon file's own columns of higher ranks.
    Read c = readZip({{"Name.csv", "ID,scientificName,rank\nn1,Ursus arctos,species\n"
                                   "n2,Ursus,genus\nn3,Tremarctos ornatus,species\n"},
                      {"Taxon.csv", "ID,nameID,family,genus\nt1,n1,Ursidae,Ursus\n"
                                    "t2,n2,Ursidae,Ursus\nt3,n3,Ursidae,Tremarctos\n"}});
    EXPECT_EQ(c.tree,
              "Ursidae|Family|\n"
              "  Ursus|Genus|\n"
              "    Ursus arctos|Species|\n"
              "  Tremarctos|Genus|\n"
              "    Tremarctos ornatus|Species|\n");
}

// Common names by language name or code; English first.
TEST(PublishedArchives, VernacularLanguageByNameOrCode) {
    for (const char* english : {"English", "en", "eng", "EN-gb", "ingl\xc3\xa9s"}) {
        Read r = readZip(
            {{"NameUsage.tsv", "ID\tparentID\tscientificName\trank\n1\t\tVulpes\tgenus\n"},
             {"VernacularName.tsv", std::string("taxonID\tname\tlanguage\n1\tTilki\tTurkish\n"
                                                "1\tFox\t") + english + "\n1\tRenard\tfr\n"}});
        EXPECT_EQ(r.tree, "Vulpes|Genus|Fox\n") << english;
    }
}

// The name a publisher marks preferred goes before the others of its language, never before
// an English one; among names alike, the first given stays. ColDP's `preferred` column and
// the Darwin Core extension's isPreferredName.
TEST(PublishedArchives, PreferredCommonNames) {
    struct Case {
        const char *names, *common;
    };
    for (const Case& c : {Case{"Red fox\ten\tfalse\nFox\ten\ttrue\nRenard\tfr\ttrue\n", "Fox"},
                          Case{"Tilki\ttr\t\nRenard\tfr\tTRUE\nZorro\tes\t1\n", "Renard"},
                          Case{"Renard\tfr\ttrue\nRed fox\ten\tno\n", "Red fox"},
                          Case{"Fox\ten\tyes\nRed fox\ten\ttrue\n", "Fox"}}) {
        const std::string rows = std::string(c.names);
        std::string coldp = "taxonID\tname\tlanguage\tpreferred\n", dwca;
        for (size_t from = 0; from < rows.size();) {
            const size_t to = rows.find('\n', from) + 1;
            coldp += "1\t" + rows.substr(from, to - from);
            dwca += "1\t" + rows.substr(from, to - from);
            from = to;
        }
        Read a = readZip({{"NameUsage.tsv", "ID\tparentID\tscientificName\trank\n1\t\tVulpes\tgenus\n"},
                          {"VernacularName.tsv", coldp}});
        EXPECT_EQ(a.tree, std::string("Vulpes|Genus|") + c.common + "\n") << c.names;
        const std::string vernacular =
            " <extension fieldsTerminatedBy=\"\\t\" rowType=\"http://rs.gbif.org/terms/1.0/VernacularName\">\n"
            "  <files><location>vernacular.txt</location></files><coreid index=\"0\"/>\n"
            "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/vernacularName\"/>\n"
            "  <field index=\"2\" term=\"http://purl.org/dc/terms/language\"/>\n"
            "  <field index=\"3\" term=\"http://rs.gbif.org/terms/1.0/isPreferredName\"/>\n"
            " </extension>\n</archive>\n";
        std::string m = meta("fieldsTerminatedBy=\"\\t\"",
                             field(1, "scientificName") + field(2, "taxonRank"));
        m.replace(m.find("</archive>"), std::string::npos, vernacular);
        Read b = readZip({{"meta.xml", m}, {"taxa.txt", "1\tVulpes\tgenus\n"}, {"vernacular.txt", dwca}});
        EXPECT_EQ(b.tree, a.tree) << c.names << b.console;
    }
}

}  // namespace
