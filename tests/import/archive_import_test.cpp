// The archive and package importers: Darwin Core Archives and ColDP packages, zipped or in a
// folder, broken ones, a file shortened while read; the alignment of ranks between two
// imports, and the kinds of file told apart.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "Import.h"
#include "ImportInternal.h"
#include "ImportSupport.h"
#include "TestSupport.h"

namespace {

// ---- Darwin Core Archives and ColDP ----------------------------------------------------

const char* kMeta =
    "<?xml version=\"1.0\"?>\n<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n"
    " <core encoding=\"UTF-8\" fieldsTerminatedBy=\"\\t\" linesTerminatedBy=\"\\n\" "
    "fieldsEnclosedBy=\"\" ignoreHeaderLines=\"1\" rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
    "  <files><location>Taxon.txt</location></files><id index=\"0\"/>\n"
    "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/parentNameUsageID\"/>\n"
    "  <field index=\"2\" term=\"http://rs.tdwg.org/dwc/terms/acceptedNameUsageID\"/>\n"
    "  <field index=\"3\" term=\"http://rs.tdwg.org/dwc/terms/scientificName\"/>\n"
    "  <field index=\"4\" term=\"http://rs.tdwg.org/dwc/terms/scientificNameAuthorship\"/>\n"
    "  <field index=\"5\" term=\"http://rs.gbif.org/terms/1.0/canonicalName\"/>\n"
    "  <field index=\"6\" term=\"http://rs.tdwg.org/dwc/terms/taxonRank\"/>\n"
    "  <field index=\"7\" term=\"http://rs.tdwg.org/dwc/terms/taxonomicStatus\"/>\n"
    " </core>\n"
    " <extension fieldsTerminatedBy=\"\\t\" ignoreHeaderLines=\"1\" "
    "rowType=\"http://rs.gbif.org/terms/1.0/VernacularName\">\n"
    "  <files><location>VernacularName.txt</location></files><coreid index=\"0\"/>\n"
    "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/vernacularName\"/>\n"
    "  <field index=\"2\" term=\"http://purl.org/dc/terms/language\"/>\n"
    " </extension>\n</archive>\n";

std::string taxonFile(const std::string& extraRows = "") {
    return "id\tparent\taccepted\tsci\tauthor\tcanonical\trank\tstatus\n"
           "1\t\t1\tFelidae Fischer, 1817\tFischer, 1817\t\tfamily\taccepted\n"
           "2\t1\t2\tFelis Linnaeus, 1758\tLinnaeus, 1758\t\tGENUS\taccepted\n"
           "3\t2\t3\tFelis catus Linnaeus, 1758\tLinnaeus, 1758\tFelis catus\tspecies\taccepted\n"
           "4\t2\t3\tFelis domesticus Erxleben\tErxleben\tFelis domesticus\tspecies\tsynonym\n"
           "5\t2\t\tFelis silvestris\t\t\tspecies\tdoubtful\n" +
           extraRows;
}

TEST(ArchiveImport, DarwinCoreArchiveAndColDPZipAndFolder) {
    TempDir dir;
    std::string vernacular = "id\tname\tlang\n3\tGato\tes\n3\tCat\ten\n3\tHouse cat\ten\n";
    writeZip(dir.file("dwca.zip"), {{"meta.xml", kMeta},
                                    {"Taxon.txt", taxonFile()},
                                    {"VernacularName.txt", vernacular}});
    EXPECT_EQ(detectInputKind(dir.file("dwca.zip")), InputKind::DarwinCoreArchive);
    ClassificationTree d;
    ASSERT_TRUE(importFile(d, dir.file("dwca.zip")).ok);
    // A doubtful taxon is kept where its publisher placed it.
    EXPECT_EQ(dump(d), "Felidae|Family|\n"
                       "  Felis|Genus|\n"
                       "    Felis catus|Species|Cat\n"
                       "    Felis silvestris|Species|\n");
    const std::string cats =
        "Felidae|Family|\n"
        "  Felis|Genus|\n"
        "    Felis catus|Species|Cat\n";

    std::string usage =
        "col:ID\tcol:parentID\tcol:status\tcol:rank\tcol:scientificName\tcol:authorship\n"
        "1\t\taccepted\tfamily\tFelidae\t\n"
        "2\t1\taccepted\tgenus\tFelis\t\n"
        "3\t2\tprovisionally accepted\tspecies\tFelis catus Linnaeus, 1758\tLinnaeus, 1758\n"
        "4\t3\tsynonym\tspecies\tFelis domesticus\t\n";
    std::string names = "col:taxonID\tcol:name\tcol:language\n3\tGato\tspa\n3\tCat\teng\n";
    writeZip(dir.file("coldp.zip"),
             {{"pkg/NameUsage.tsv", usage}, {"pkg/VernacularName.tsv", names}});
    std::filesystem::create_directories(dir.path() / "coldp");
    dir.write("coldp/NameUsage.tsv", usage);
    dir.write("coldp/VernacularName.tsv", names);
    for (const char* p : {"coldp.zip", "coldp"}) {
        EXPECT_EQ(detectInputKind(dir.file(p)), InputKind::ColDP);
        ClassificationTree c;
        ASSERT_TRUE(importFile(c, dir.file(p)).ok) << p;
        EXPECT_EQ(dump(c), cats) << p;
    }
    // Either archive in memory reads as its file does, told apart by its entries.
    for (const char* p : {"dwca.zip", "coldp.zip"}) {
        const std::string bytes = readFileBytes(dir.file(p));
        ClassificationTree m;
        ASSERT_TRUE(importZipFromMemory(m, bytes.data(), bytes.size(), p));
        EXPECT_EQ(dump(m), p == std::string("dwca.zip") ? dump(d) : cats) << p;
        EXPECT_EQ(m.fileSize, static_cast<int64_t>(bytes.size()));
    }
    // The same files handed over in memory (as the fuzz targets do); a later file of one
    // name stands, as in a zip.
    imp::Package files;
    files.openFiles({{"pkg/NameUsage.tsv", "ID\n"},
                     {"pkg/NameUsage.tsv", usage},
                     {"pkg/VernacularName.tsv", names}});
    ClassificationTree f;
    ASSERT_TRUE(imp::importPackage(f, files, "files"));
    EXPECT_EQ(dump(f), cats);
    EXPECT_EQ(f.fileSize, static_cast<int64_t>(3 + usage.size() + names.size()));
}

TEST(ArchiveImport, BrokenArchivesAndPackagesFail) {
    TempDir dir;
    auto zipWith = [&](const char* name, const std::string& extra) {
        writeZip(dir.file(name), {{"meta.xml", kMeta}, {"Taxon.txt", taxonFile(extra)}});
        return dir.file(name);
    };
    struct Case {
        std::string path, expected;
    };
    std::vector<Case> cases = {
        {zipWith("dup.zip", "2\t1\t\tA\t\t\tgenus\t\n"), "line 7: taxon 2 was given already on line 3"},
        {zipWith("long.zip", "6\t1\t\t" + std::string(40000, 'a') + "\t\t\tgenus\t\n"), "line 7"},
    };
    // A bomb: a few kilobytes that inflate to 64 MB.
    writeZip(dir.file("bomb.zip"), {{"meta.xml", kMeta}, {"Taxon.txt", std::string(64 << 20, 'a')}});
    cases.push_back({dir.file("bomb.zip"), "zip bomb"});
    std::string whole = readFileBytes(zipWith("whole.zip", ""));
    cases.push_back({dir.write("cut.zip", whole.substr(0, whole.size() / 2)), "zip"});
    for (const Case& c : cases) {
        ClassificationTree t;
        ImportOptions o;
        o.maxUncompressedBytes = 16 << 20;
        Imported r = importFile(t, c.path, o);
        EXPECT_FALSE(r.ok) << c.path;
        EXPECT_NE(r.error.find(c.expected), std::string::npos) << r.error;
        // The same bytes in memory, labelled with the file's name, fail with the same line.
        const std::string bytes = readFileBytes(c.path);
        ClassificationTree m;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(importZipFromMemory(m, bytes.data(), bytes.size(), c.path, o));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), r.error);
    }
    EXPECT_LT(std::filesystem::file_size(dir.file("bomb.zip")), 1u << 20);
    // A cycle of parents is no failure: it is broken, and the console says where.
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, zipWith("cycle.zip", "6\t7\t\tA\t\t\tgenus\t\n7\t6\t\tB\t\t\tgenus\t\n")).ok);
    EXPECT_NE(dump(t).find("  A|Genus|\n    B|Genus|\n"), std::string::npos) << dump(t);
    EXPECT_NE(console.text().find(": line 7: A is its own ancestor (a cycle of parents): its link "
                                  "to its parent 7 is broken, and it hangs under the root\n"),
              std::string::npos) << console.text();
}

// Another program shortens a file after it was mapped and before its pages are read, as a
// rewrite under a running reading would: the pages past the new end fault. That must end in
// one line saying the file changed, where, and no tree; not in SIGBUS, nor in whatever the
// importer would have made of the zeros read in their place.
TEST(ArchiveImport, AFileShortenedWhileReadIsAReadErrorNotASignal) {
    TempDir dir;
    std::string csv = "Order,Family,Genus,Species\n";
    for (int i = 0; i < 20000; ++i) csv += "Carnivora,Felidae,Felis,Felis s" + std::to_string(i) + "\n";
    const std::string table = dir.write("big.csv", csv);
    const std::string zip = dir.file("big.zip");
    writeZip(zip, {{"meta.xml", kMeta}, {"Taxon.txt", taxonFile()}, {"pad.txt", csv}});
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    struct Case {
        std::string path;
        bool (*read)(ClassificationTree&, const imp::FileData&, const std::string&,
                     const ImportOptions&);
    };
    for (const Case& c : {Case{table, imp::importTableFile}, Case{zip, imp::importZipFile}}) {
        const std::string whole = readFileBytes(c.path);
        for (size_t to : {size_t(0), whole.size() / 3}) {
            dir.write(c.path.substr(c.path.rfind('/') + 1), whole);
            imp::FileData file;
            ASSERT_EQ(file.load(c.path), "");
            ASSERT_EQ(truncate(c.path.c_str(), static_cast<off_t>(to)), 0);
            ClassificationTree t;
            testing::internal::CaptureStderr();
            EXPECT_FALSE(c.read(t, file, c.path, {}));
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            // A table is read from its start: the first page wholly past the cut faults.
            const std::string at = c.path == table ? std::to_string((to + page - 1) / page * page) : "";
            EXPECT_NE(err.find(c.path + ": byte " + at), std::string::npos) << err;
            EXPECT_NE(err.find("the file changed while it was read (it was shortened)"),
                      std::string::npos) << err;
            EXPECT_EQ(t.nodeCount, 0);
            EXPECT_TRUE(t.children.empty());
            EXPECT_EQ(t.latinName, nullptr);
        }
        // Left alone, the same bytes read.
        ClassificationTree t;
        ASSERT_TRUE(importFile(t, dir.write(c.path.substr(c.path.rfind('/') + 1), whole)).ok);
        EXPECT_GT(t.nodeCount, 2);
    }
}

TEST(RankAlignment, LevelsOnlyOneTreeUsesGoAndSiblingsThatMeetMerge) {
    TempDir dir;
    ClassificationTree a, b;
    ASSERT_TRUE(importFile(a, dir.write("a.csv",
                                        "Order,Suborder,Family,Genus\n"
                                        "O,S1,F,G1\nO,S2,F,G2\nO,S1,H,G3\nP,,F,G4\n")).ok);
    ASSERT_TRUE(importFile(b, dir.write("b.csv", "Order,Family,Tribe,Genus\nO,F,T,G1\n")).ok);
    ConsoleCapture console;
    alignRankLevels(a, b);
    EXPECT_EQ(console.text(),
              "Tree 1: ranks left out (the other checklist does not use them): Suborder\n"
              "Tree 2: ranks left out (the other checklist does not use them): Tribe\n");
    EXPECT_EQ(dump(a),
              "Root|Root|a.csv\n  O|Order|\n    F|Family|\n      G1|Genus|\n      G2|Genus|\n"
              "    H|Family|\n      G3|Genus|\n  P|Order|\n    F|Family|\n      G4|Genus|\n");
    EXPECT_EQ(ranks(a), "Root,Order,Family,Genus");
    EXPECT_EQ(dump(b), "O|Order|\n  F|Family|\n    G1|Genus|\n");
}

TEST(Detection, KindsByNameThenByFirstBytes) {
    TempDir dir;
    EXPECT_EQ(detectInputKind(dir.write("x.jm2", "")), InputKind::TreeFile);
    EXPECT_EQ(detectInputKind(dir.write("c.xml", "<branch>")), InputKind::Classification);
    EXPECT_EQ(detectInputKind(dir.write("meta.xml", kMeta)), InputKind::DarwinCoreArchive);
    EXPECT_EQ(detectInputKind(dir.write("t.tsv", "Order\tFamily\n")), InputKind::Table);
    std::string taxa = taxonFile();
    taxa.replace(0, taxa.find('\n'),
                 "taxonID\tparentNameUsageID\tacceptedNameUsageID\tscientificName\t"
                 "scientificNameAuthorship\tcanonicalName\ttaxonRank\ttaxonomicStatus");
    EXPECT_EQ(detectInputKind(dir.write("Taxon.txt", taxa)), InputKind::DarwinCoreArchive);
    EXPECT_EQ(detectInputKind(dir.write("noext", "  <leaf>")), InputKind::Classification);
    EXPECT_EQ(detectInputKind(dir.write("other", "hello")), InputKind::Unknown);
    // A taxon file on its own reads like the archive it came from (the doubtful species too).
    ClassificationTree t;
    ASSERT_TRUE(importFile(t, dir.file("Taxon.txt")).ok);
    EXPECT_EQ(t.nodeCount, 4);
}

}  // namespace

// A taxon whose parent is not in the file, is left out, or is a synonym is read, not refused:
// under the root, or under the synonym's accepted taxon, with one console line per kind.
TEST(ArchiveImport, OrphansHangUnderTheRootOrTheAcceptedTaxonWithAWarning) {
    TempDir dir;
    writeZip(dir.file("orphans.zip"),
             {{"meta.xml", kMeta},
              {"Taxon.txt", taxonFile("6\t99\t\tPanthera\t\t\tgenus\t\n"   // parent missing
                                      "7\t4\t\tFelis x\t\t\tspecies\t\n"   // parent a synonym
                                      "8\t10\t\tFelis y\t\t\tspecies\t\n"  // parent unplaced
                                      "10\t2\t\tFelis u\t\t\tspecies\tunplaced\n"
                                      "9\t4\t\tFelis z\t\t\tspecies\t\n")}});
    ClassificationTree t;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.file("orphans.zip")).ok);
    EXPECT_EQ(dump(t),
              "Root|Root|orphans.zip\n"
              "  Felidae|Family|\n"
              "    Felis|Genus|\n"
              "      Felis catus|Species|\n"
              "        Felis x|Species|\n"
              "        Felis z|Species|\n"
              "      Felis silvestris|Species|\n"
              "  Panthera|Genus|\n"
              "  Felis y|Species|\n");
    const std::string said = console.text();
    EXPECT_NE(said.find(": 2 taxa whose parent is a synonym hung under its accepted taxon\n"),
              std::string::npos) << said;
    EXPECT_NE(said.find(": 1 taxa whose parent is no accepted taxon hung under the root\n"),
              std::string::npos) << said;
    EXPECT_NE(said.find(": 1 taxa whose parent is missing from the file hung under the root\n"),
              std::string::npos) << said;
}
