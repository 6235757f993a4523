// The document's partners of renamed taxa: found with every load, kept beside the tree files
// by a build, taken back only by a load of the very tree files they were written with.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "CladoramaDoc.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Felis chaus kept its identifier as Felis jacquemontii (only the identifiers tell); Felis
// manul moved to Otocolobus (the epithet tells too).
const char* const kOld =
    "id,order,family,genus,scientificName\n"
    "1,Carnivora,Felidae,Felis,Felis catus\n"
    "2,Carnivora,Felidae,Felis,Felis chaus\n"
    "3,Carnivora,Felidae,Felis,Felis manul\n"
    "4,Carnivora,Felidae,Panthera,Panthera leo\n";
const char* const kNew =
    "id,order,family,genus,scientificName\n"
    "1,Carnivora,Felidae,Felis,Felis catus\n"
    "2,Carnivora,Felidae,Felis,Felis jacquemontii\n"
    "3,Carnivora,Felidae,Otocolobus,Otocolobus manul\n"
    "4,Carnivora,Felidae,Panthera,Panthera leo\n";

std::string pairs(const CCladoramaDoc& doc) {
    std::map<std::string, std::string> lines;
    for (const RenamePair& p : doc.m_partners.pairs.pairs())
        lines[p.node1->latinName] = std::string(p.node1->latinName) + " > " + p.node2->latinName +
                                    " (" + renameEvidenceName(p.evidence) + ")";
    std::string out;
    for (const auto& [name, line] : lines) out += line + "\n";
    return out;
}

const std::string kAll = "Felis chaus > Felis jacquemontii (id)\nFelis manul > Otocolobus manul (id)\n";
const std::string kEpithetOnly = "Felis manul > Otocolobus manul (epithet)\n";

}  // namespace

TEST(DocPartners, ABuildKeepsThemBesideTheTreeFilesForTheirLoads) {
    TempDir dir;
    dir.write("old.csv", kOld);
    dir.write("new.csv", kNew);
    CCladoramaDoc built;
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(built.BuildTreeFiles(dir.file("old.csv"), dir.file("new.csv"), dir.file("out")));
        ASSERT_TRUE(built.FindChangesNow());
    }
    EXPECT_EQ(pairs(built), kAll);
    ASSERT_TRUE(fs::exists(dir.path() / "out" / kPartnersFile));
    EXPECT_FALSE(fs::exists(dir.path() / "out" / (std::string(kPartnersFile) + ".new")));

    // Reopened, the tree files bring what only the identifiers told, and the identifiers.
    CCladoramaDoc reopened;
    {
        ConsoleCapture console;
        ASSERT_TRUE(reopened.ReloadTrees(dir.file("out/T1.jm2"), dir.file("out/T2.jm2")));
        ASSERT_TRUE(reopened.FindChangesNow());
        EXPECT_EQ(console.text().find("Partners"), std::string::npos) << console.text();
    }
    EXPECT_EQ(pairs(reopened), kAll);
    for (const RenamePair& p : reopened.m_partners.pairs.pairs()) {
        ASSERT_TRUE(reopened.m_partners.facts[0].id(p.node1));
        ASSERT_TRUE(reopened.m_partners.facts[1].id(p.node2));
        EXPECT_STREQ(reopened.m_partners.facts[0].id(p.node1), reopened.m_partners.facts[1].id(p.node2));
    }

    // The viewer's start-up in that folder takes them too.
    const fs::path here = fs::current_path();
    fs::current_path(dir.path() / "out");
    CCladoramaDoc started;
    {
        ConsoleCapture quiet;
        EXPECT_TRUE(started.LoadHierarchiesIn<LoadMode::Binary>());
        EXPECT_TRUE(started.FindChangesNow());
    }
    fs::current_path(here);
    EXPECT_EQ(pairs(started), kAll);

    // Without the file, the tree files tell only what their names do.
    fs::remove(dir.path() / "out" / kPartnersFile);
    CCladoramaDoc bare;
    {
        ConsoleCapture console;
        ASSERT_TRUE(bare.ReloadTrees(dir.file("out/T1.jm2"), dir.file("out/T2.jm2")));
        ASSERT_TRUE(bare.FindChangesNow());
        EXPECT_EQ(console.text().find("Partners"), std::string::npos);
    }
    EXPECT_EQ(pairs(bare), kEpithetOnly);
}

TEST(DocPartners, AStaleOrDamagedFileIsIgnoredWithOneLine) {
    TempDir dir;
    dir.write("old.csv", kOld);
    dir.write("new.csv", kNew);
    // The same pair the other way round: other tree files, the partners file of the first.
    CCladoramaDoc doc;
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.BuildTreeFiles(dir.file("old.csv"), dir.file("new.csv"), dir.file("a")));
        ASSERT_TRUE(doc.BuildTreeFiles(dir.file("new.csv"), dir.file("old.csv"), dir.file("b")));
    }
    fs::copy_file(dir.path() / "a" / kPartnersFile, dir.path() / "b" / kPartnersFile,
                  fs::copy_options::overwrite_existing);
    const std::string partners = dir.file(std::string("b/") + kPartnersFile);
    CCladoramaDoc stale;
    {
        ConsoleCapture console;
        ASSERT_TRUE(stale.ReloadTrees(dir.file("b/T1.jm2"), dir.file("b/T2.jm2")));
        // Nothing is read beside the trees before the changes are asked for, and their line
        // comes after every line of the load.
        const size_t loaded = console.text().size();
        EXPECT_EQ(console.text().find("ignored"), std::string::npos) << console.text();
        ASSERT_TRUE(stale.FindChangesNow());
        EXPECT_EQ(console.text().substr(loaded),
                  partners + " was written with other tree files than these: ignored\n");
    }
    EXPECT_EQ(pairs(stale), "Otocolobus manul > Felis manul (epithet)\n");

    // Written under the rules of before (an older version after the magic, or the first
    // layout): stale, with the same line, and the pairs found again.
    std::string bytes = readFileBytes(dir.file(std::string("a/") + kPartnersFile));
    for (int layout = 0; layout < 2; ++layout) {
        std::string older = bytes;
        if (layout == 0) older[8] = static_cast<char>(kPairingRulesVersion - 1);
        else older[7] = '1';
        dir.write(std::string("a/") + kPartnersFile, older);
        CCladoramaDoc olderRules;
        {
            ConsoleCapture console;
            ASSERT_TRUE(olderRules.ReloadTrees(dir.file("a/T1.jm2"), dir.file("a/T2.jm2")));
            ASSERT_TRUE(olderRules.FindChangesNow());
            EXPECT_NE(console.text().find(" was written with other tree files than these: ignored\n"),
                      std::string::npos)
                << console.text();
        }
        EXPECT_EQ(pairs(olderRules), kEpithetOnly);
    }

    // Cut short: damaged.
    dir.write(std::string("a/") + kPartnersFile, bytes.substr(0, bytes.size() - 3));
    CCladoramaDoc damaged;
    {
        ConsoleCapture console;
        ASSERT_TRUE(damaged.ReloadTrees(dir.file("a/T1.jm2"), dir.file("a/T2.jm2")));
        ASSERT_TRUE(damaged.FindChangesNow());
        EXPECT_NE(console.text().find("is damaged: ignored\n"), std::string::npos) << console.text();
    }
    EXPECT_EQ(pairs(damaged), kEpithetOnly);
}
