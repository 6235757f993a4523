// Two releases of NCBI's taxonomy compared: a tax_id merged into another pairs the two taxa
// as renamed by their identifiers, in the list of changes; File > Open asks for a subtree of
// each taxdump chosen.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CladoramaDoc.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

std::string dmp(std::initializer_list<std::initializer_list<const char*>> rows) {
    std::string out;
    for (const auto& row : rows) {
        bool first = true;
        for (const char* field : row) {
            out += (first ? "" : "\t|\t") + std::string(field);
            first = false;
        }
        out += "\t|\n";
    }
    return out;
}

// Release 1 holds Canis aureus (tax_id 100); release 2 merged it into Canis lupaster (200).
void writeReleases(const TempDir& dir, bool merged = true) {
    std::filesystem::create_directories(dir.path() / "r1");
    std::filesystem::create_directories(dir.path() / "r2");
    const std::string names =
        dmp({{"1", "root", "", "scientific name"},
             {"10", "Canidae", "", "scientific name"},
             {"20", "Canis", "", "scientific name"},
             {"30", "Vulpes", "", "scientific name"},
             {"100", "Canis aureus", "", "scientific name"},
             {"100", "golden jackal", "", "genbank common name"},
             {"101", "Canis lupus", "", "scientific name"},
             {"102", "Vulpes vulpes", "", "scientific name"},
             {"200", "Canis lupaster", "", "scientific name"}});
    dir.write("r1/nodes.dmp", dmp({{"1", "1", "no rank"},
                                   {"10", "1", "family"},
                                   {"20", "10", "genus"},
                                   {"30", "10", "genus"},
                                   {"100", "20", "species"},
                                   {"101", "20", "species"},
                                   {"102", "30", "species"}}));
    dir.write("r1/names.dmp", names);
    dir.write("r2/nodes.dmp", dmp({{"1", "1", "no rank"},
                                   {"10", "1", "family"},
                                   {"20", "10", "genus"},
                                   {"30", "10", "genus"},
                                   {"101", "20", "species"},
                                   {"102", "30", "species"},
                                   {"200", "20", "species"}}));
    dir.write("r2/names.dmp", names);
    if (merged) dir.write("r2/merged.dmp", dmp({{"100", "200"}, {"7", "101"}}));
}

std::string changes(CCladoramaDoc& doc) {
    EXPECT_TRUE(doc.FindChangesNow());
    std::string text;
    for (const ChangeRow& row : doc.m_changes.rows()) {
        for (int c = 0; c <= static_cast<int>(ChangeColumn::Detail); ++c)
            text += doc.m_changes.cell(row, static_cast<ChangeColumn>(c)) + "|";
        text += "\n";
    }
    return text;
}

TEST(TaxdumpPair, AMergedTaxIdIsARenameByIdInTheListOfChanges) {
    TempDir dir;
    writeReleases(dir);
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};
    ConsoleCapture quiet;
    ASSERT_TRUE(doc.ReloadTrees(dir.file("r1"), dir.file("r2/nodes.dmp")));
    EXPECT_EQ(changes(doc), "renamed|Species|Canis aureus|Canis lupaster|id|\n");
    // Without merged.dmp nothing says they are one taxon.
    TempDir plain;
    writeReleases(plain, false);
    ASSERT_TRUE(doc.ReloadTrees(plain.file("r1"), plain.file("r2")));
    EXPECT_EQ(changes(doc),
              "removed|Species|Canis aureus|||\n"
              "added|Species||Canis lupaster||\n");
}

TEST(TaxdumpPair, FileOpenAsksForASubtreeOfEachTaxdump) {
    TempDir dir;
    writeReleases(dir);
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};
    ConsoleCapture quiet;
    fw.answers = {dir.file("r1/nodes.dmp"), dir.file("r2")};
    fw.roots = {"Canis", ""};
    doc.OnFileOpen();
    EXPECT_EQ(fw.entries("root:"),
              (std::vector<std::string>{"root:" + dir.file("r1/nodes.dmp"), "root:" + dir.file("r2")}));
    ASSERT_NE(fw.indexOf("message:Tree Loaded!"), -1);
    EXPECT_STREQ(doc.m_tree1.latinName, "Canis");
    EXPECT_STREQ(doc.m_tree2.latinName, "root");
    // The subtree was this opening's: the next reload reads both whole.
    ASSERT_TRUE(doc.ReloadTrees(dir.file("r1"), dir.file("r2")));
    EXPECT_STREQ(doc.m_tree1.latinName, "root");
}

}  // namespace
