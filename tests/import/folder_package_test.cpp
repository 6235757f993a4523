// The files of a package in a folder are read where they lie, mapped: one that another
// program shortens while it is read ends the reading with one line saying so, and no tree,
// whatever the zeros read in its place would have made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Importers.h"
#include "ImportSupport.h"
#include "TestSupport.h"

namespace {

const char* kMeta =
    "<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n <core fieldsTerminatedBy=\"\\t\" "
    "ignoreHeaderLines=\"1\" rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
    "  <files><location>Taxon.txt</location></files><id index=\"0\"/>\n"
    "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/parentNameUsageID\"/>\n"
    "  <field index=\"2\" term=\"http://rs.tdwg.org/dwc/terms/scientificName\"/>\n"
    "  <field index=\"3\" term=\"http://rs.tdwg.org/dwc/terms/taxonRank\"/>\n"
    " </core>\n</archive>\n";

TEST(FolderPackage, AFileShortenedWhileReadIsAReadErrorNotASignal) {
    std::string rows;
    for (int i = 1; i < 30000; ++i)
        rows += std::to_string(i) + "\t" + std::to_string(i / 4) + "\tTaxon number" +
                std::to_string(i) + "\tspecies\n";
    struct Case {
        std::string file, header;
        std::vector<std::pair<std::string, std::string>> others;
        bool (*read)(ClassificationTree&, imp::Package&, const std::string&);
    };
    const std::vector<Case> cases = {
        {"NameUsage.tsv", "ID\tparentID\tscientificName\trank\n", {}, imp::importColDP},
        {"Taxon.txt", "taxonID\tparent\tname\trank\n", {{"meta.xml", kMeta}},
         imp::importDarwinCore},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string whole = c.header + "0\t\tRoot taxon\tkingdom\n" + rows;
        for (const auto& [name, bytes] : c.others) dir.write(name, bytes);
        const std::string path = dir.write(c.file, whole);
        {
            // Left alone, the folder reads.
            imp::Package package;
            std::string error;
            ASSERT_TRUE(package.openFolder(dir.path().string(), error)) << error;
            ClassificationTree t;
            ASSERT_TRUE(c.read(t, package, "pkg"));
            EXPECT_EQ(t.nodeCount, 30000);
        }
        imp::Package package;
        std::string error;
        ASSERT_TRUE(package.openFolder(dir.path().string(), error)) << error;
        std::vector<std::string> all;
        for (const auto& [name, bytes] : c.others) all.push_back(name);
        all.push_back(c.file);
        ASSERT_TRUE(package.load(all, error)) << error;
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(whole.size() / 3)), 0);
        ClassificationTree t;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(c.read(t, package, "pkg"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("pkg: " + c.file + ": byte ", 0), 0u) << err;
        EXPECT_NE(err.find(": the file changed while it was read (it was shortened)\n"),
                  std::string::npos) << err;
        EXPECT_EQ(t.nodeCount, 0);
        EXPECT_TRUE(t.children.empty());
    }
}

}  // namespace
