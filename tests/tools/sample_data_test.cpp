// The bundled sample (two Mammal Diversity Database releases) and the converter that made it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ClassificationReader.h"
#include "Compare.h"
#include "Console.h"
#include "TestSupport.h"
#include "TreeNode.h"

namespace {

struct Sample {
    const char* file;       // under data/sample/
    const char* checklist;  // the source checklist; its name gives the number of species
    int species;
};

const Sample kSamples[] = {
    {"classif_A_03-01-31.xml", "MDD_v1.2_6485species.csv", 6485},
    {"classif_B_03-01-31.xml", "MDD_v1.13_6753species.csv", 6753},
};

// The levels the converter keeps, and the root's.
const std::set<std::string> kSampleRanks = {"Class",  "Order",     "Suborder",
                                            "Infraorder", "Superfamily", "Family",
                                            "Subfamily", "Tribe", "Genus", "Species"};

std::string samplePath(const Sample& s) { return sourcePath(std::string("data/sample/") + s.file); }

std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

// Where the source checklists live: beside the work tree, or where CLADORAMA_MDD_DIR says.
std::string checklistPath(const Sample& s) {
    const char* dir = std::getenv("CLADORAMA_MDD_DIR");
    std::string base = dir ? dir : sourcePath("../shared/data/mdd");
    return base + "/" + s.checklist;
}

bool havePython() { return std::system("python3 -c '' >/dev/null 2>&1") == 0; }

// Runs a shell command; returns its exit status (-1 if it did not exit normally) and
// fills `out` with its standard output.
int runCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (out) out->append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `redirect` is appended to the command line as it stands (for instance "2>/dev/null").
int runConverter(const std::string& in, const std::string& out, const std::string& redirect = "") {
    std::string command = "python3 " + shellQuoted(sourcePath("tools/mdd_to_classification.py")) +
                          " " + shellQuoted(in) + " " + shellQuoted(out) + " " + redirect;
    return runCommand(command, nullptr);
}

// Entries counted the simple way: the converter writes each tag on a line of its own.
struct TagLines {
    int branches = 0;
    int leaves = 0;
};

TagLines countTagLines(const std::string& bytes) {
    TagLines t;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        if (line.compare(first, std::string::npos, "<branch>") == 0) ++t.branches;
        if (line.compare(first, std::string::npos, "<leaf>") == 0) ++t.leaves;
    }
    return t;
}

bool readQuietly(ClassificationTree& tree, const std::string& path) {
    ConsoleCapture quiet;
    return readClassification(tree, path.c_str()) == 1;
}

std::set<std::string> orderNames(const ClassificationTree& tree) {
    std::set<std::string> names;
    for (const TreeNode* c : tree.children)
        if (!std::strcmp(c->rankName, "Order")) names.insert(c->latinName);
    return names;
}

// The census block as the reader's census prints it, counted here by walking the tree.
std::string expectedCensus(const ClassificationTree& tree) {
    std::string block;
    for (const char* rank : tree.rankNames) {
        int count = 0;
        forEachNode(static_cast<const TreeNode*>(&tree),
                    [&](const TreeNode* n) { count += !std::strcmp(n->rankName, rank); });
        char line[256];
        std::snprintf(line, sizeof line, "%s : %i \n", rank, count);
        block += line;
    }
    return block;
}

// "Rank:Name/" from the root down to the node.
std::string lineage(const TreeNode* n) {
    std::string path;
    for (; n; n = n->parent) path = std::string(n->rankName) + ":" + n->latinName + "/" + path;
    return path;
}

int countOccurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(SampleData, BothFilesReadIntoSoundTreesOfTheExpectedShape) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        std::string path = samplePath(s);
        ClassificationTree tree;
        ASSERT_TRUE(readQuietly(tree, path));
        EXPECT_EQ(validate(tree), "");

        TagLines tags = countTagLines(readFileBytes(path));
        EXPECT_EQ(tree.nodeCount, tags.branches + tags.leaves);
        EXPECT_EQ(tree.leafCount, tags.leaves);
        EXPECT_EQ(tree.leafCount, s.species);

        EXPECT_STREQ(tree.latinName, "Mammalia");
        EXPECT_STREQ(tree.commonName, "mammals");
        EXPECT_STREQ(tree.rankName, "Class");
        for (const char* rank : tree.rankNames) EXPECT_TRUE(kSampleRanks.count(rank)) << rank;

        // Species are exactly the leaves; each is "Genus epithet" below its genus, with a
        // common name. Higher taxa start upper case and continue lower case.
        int species = 0;
        int without = 0;
        forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
            bool isSpecies = !std::strcmp(n->rankName, "Species");
            EXPECT_EQ(isSpecies, n->children.empty()) << n->latinName;
            if (isSpecies) {
                ++species;
                if (n->commonName[0] == '\0') ++without;
                ASSERT_NE(n->parent, nullptr);
                EXPECT_STREQ(n->parent->rankName, "Genus");
                std::string genus = std::string(n->parent->latinName) + " ";
                EXPECT_EQ(std::string(n->latinName).rfind(genus, 0), 0u) << n->latinName;
                EXPECT_EQ(std::strchr(n->latinName + genus.size(), ' '), nullptr) << n->latinName;
                EXPECT_EQ(std::strchr(n->latinName, '_'), nullptr) << n->latinName;
            } else if (n != &tree) {
                EXPECT_TRUE(n->latinName[0] >= 'A' && n->latinName[0] <= 'Z') << n->latinName;
                for (const char* p = n->latinName + 1; *p; ++p)
                    EXPECT_FALSE(*p >= 'A' && *p <= 'Z') << n->latinName;
            }
        });
        EXPECT_EQ(species, s.species);
        EXPECT_EQ(without, 0);
        for (const TreeNode* c : tree.children) EXPECT_STREQ(c->rankName, "Order");
    }
}

TEST(SampleData, BothReleasesHaveTheSameTwentySevenOrders) {
    ClassificationTree a, b;
    ASSERT_TRUE(readQuietly(a, samplePath(kSamples[0])));
    ASSERT_TRUE(readQuietly(b, samplePath(kSamples[1])));
    EXPECT_EQ(orderNames(a).size(), 27u);
    EXPECT_EQ(orderNames(a), orderNames(b));
}

// The sample is meant to show a real picture: every order paired, about a fifth of the
// species differing. A species whose whole lineage is the same in both releases must pair;
// one whose name the other release lacks must not.
TEST(SampleData, ComparisonPairsEveryOrderAndMarksAboutAFifthOfTheSpecies) {
    ClassificationTree trees[2];
    std::set<std::string> lineages[2], speciesNames[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(readQuietly(trees[i], samplePath(kSamples[i])));
        trees[i].treeId = static_cast<uint8_t>(i + 1);
        forEachNode(static_cast<const TreeNode*>(&trees[i]), [&](const TreeNode* n) {
            if (n->children.empty()) {
                lineages[i].insert(lineage(n));
                speciesNames[i].insert(n->latinName);
            }
        });
    }
    compareTrees(trees[0], trees[1]);
    compareTrees(trees[1], trees[0]);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(kSamples[i].file);
        ASSERT_EQ(validate(trees[i]), "");
        for (const TreeNode* order : trees[i].children)
            EXPECT_EQ(order->onlyInTree, 0) << order->latinName;
        int marked = 0, species = 0;
        forEachNode(static_cast<const TreeNode*>(&trees[i]), [&](const TreeNode* n) {
            if (!n->children.empty()) return;
            ++species;
            marked += n->onlyInTree != 0;
            if (lineages[1 - i].count(lineage(n))) {
                EXPECT_EQ(n->onlyInTree, 0) << lineage(n);
            }
            if (!speciesNames[1 - i].count(n->latinName)) {
                EXPECT_EQ(n->onlyInTree, i + 1) << lineage(n);
            }
        });
        double share = static_cast<double>(marked) / species;
        EXPECT_GT(share, 0.10);
        EXPECT_LT(share, 0.35);
    }
}

TEST(SampleData, CommandLineReadPrintsProgressCensusAndSummary) {
    std::string cli = std::string(CLADORAMA_BINARY_DIR) + "/tools/cladorama-cli";
    ASSERT_TRUE(std::filesystem::exists(cli)) << cli << " has not been built";
    std::vector<std::string> outputs;
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        ClassificationTree tree;
        ASSERT_TRUE(readQuietly(tree, samplePath(s)));

        std::string out;
        ASSERT_EQ(runCommand(shellQuoted(cli) + " read " + shellQuoted(samplePath(s)), &out), 0);
        EXPECT_EQ(countOccurrences(out, " % loading\n"), tree.nodeCount - tree.leafCount);
        std::string census = expectedCensus(tree);
        size_t at = out.find(census);
        ASSERT_NE(at, std::string::npos) << "census block missing; output ends:\n"
                                         << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
        // The summary follows the census and names the node and leaf counts.
        std::string summary = out.substr(at + census.size());
        EXPECT_NE(summary.find(std::to_string(tree.nodeCount)), std::string::npos) << summary;
        EXPECT_NE(summary.find(std::to_string(tree.leafCount)), std::string::npos) << summary;
        outputs.push_back(out);
    }
    // Both files in one call: the same lines, file after file.
    std::string both;
    ASSERT_EQ(runCommand(shellQuoted(cli) + " read " + shellQuoted(samplePath(kSamples[0])) + " " +
                             shellQuoted(samplePath(kSamples[1])),
                         &both),
              0);
    EXPECT_EQ(both, outputs[0] + outputs[1]);
}

TEST(SampleData, ConverterReproducesTheCommittedFiles) {
    if (!havePython()) GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        std::string checklist = checklistPath(s);
        if (!std::filesystem::exists(checklist))
            GTEST_SKIP() << checklist << " not found (set CLADORAMA_MDD_DIR)";
        std::string out = dir.file(s.file);
        ASSERT_EQ(runConverter(checklist, out), 0);
        std::string made = readFileBytes(out);
        ASSERT_FALSE(made.empty());
        EXPECT_TRUE(made == readFileBytes(samplePath(s))) << "converter output differs";
    }
}

// The awkward parts of a checklist in a few records: a quoted field with a line break,
// CRLF line ends, names in capitals, placeholders, levels the viewer has no rank for, and
// characters outside ISO-8859-1.
TEST(SampleData, ConverterHandlesTheChecklistsAwkwardParts) {
    if (!havePython()) GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    std::string csv =
        "sciName,mainCommonName,notes,superorder,order,suborder,infraorder,parvorder,"
        "superfamily,family,subfamily,tribe,genus,subgenus,specificEpithet\r\n"
        "Didelphis_virginiana,Virginia Opossum,\"two\r\nlines\",NA,DIDELPHIMORPHIA,NA,NA,NA,"
        "NA,DIDELPHIDAE,DIDELPHINAE,INCERTAE SEDIS,Didelphis,NA,virginiana\r\n"
        "Rhinolophus_cervenyi,\xC4\x8C" "erven\xC3\xBD\xE2\x80\x99s \"Horseshoe\"  Bat ,,"
        "Laurasiatheria,"
        "Chiroptera,Yinpterochiroptera,NA,Rhinolophida,Rhinolophoidea,Rhinolophidae,NA,"
        "incertae sedis,"
        "Rhinolophus,Aquias,cervenyi\r\n"
        "Mus_musculus,\xE2\x86\x92 House Mouse,,NA,RODENTIA,NA,NA,NA,NA,MURIDAE,MURINAE,NA,Mus,NA,"
        "musculus\r\n"
        "Didelphis_marsupialis,Common Opossum,,NA,DIDELPHIMORPHIA,NA,NA,NA,NA,DIDELPHIDAE,"
        "DIDELPHINAE,NA,Didelphis,NA,marsupialis";  // no line end at the end, as in v1.13
    std::string in = dir.write("in.csv", csv);
    std::string out = dir.file("out.xml");
    ASSERT_EQ(runConverter(in, out), 0);

    std::string bytes = readFileBytes(out);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_NE(bytes.find("<attr name=\"latin\" value=\"Didelphis virginiana\"/>\n"),
              std::string::npos);

    ClassificationTree tree;
    ASSERT_TRUE(readQuietly(tree, out));
    ASSERT_EQ(validate(tree), "");
    EXPECT_EQ(tree.leafCount, 4);
    EXPECT_EQ(tree.nodeCount, 18);
    // Placeholders, parvorder, superorder and subgenus vanish; their children move up.
    EXPECT_EQ(childNames(&tree), "Didelphimorphia,Chiroptera,Rodentia");
    const TreeNode* didelphinae = tree.children[0]->children[0]->children[0];
    EXPECT_STREQ(didelphinae->latinName, "Didelphinae");
    EXPECT_EQ(childNames(didelphinae), "Didelphis");
    EXPECT_EQ(childNames(didelphinae->children[0]), "Didelphis virginiana,Didelphis marsupialis");
    const TreeNode* chiroptera = tree.children[1];
    EXPECT_EQ(childNames(chiroptera), "Yinpterochiroptera");
    EXPECT_EQ(childNames(chiroptera->children[0]), "Rhinolophoidea");
    EXPECT_EQ(childNames(chiroptera->children[0]->children[0]), "Rhinolophidae");
    EXPECT_EQ(childNames(chiroptera->children[0]->children[0]->children[0]), "Rhinolophus");
    const TreeNode* cervenyi =
        chiroptera->children[0]->children[0]->children[0]->children[0]->children[0];
    // Caron dropped, ý kept as its Latin-1 byte, curly apostrophe and double quotes made
    // apostrophes, blanks tidied; an arrow has no Latin-1 spelling.
    EXPECT_STREQ(cervenyi->commonName, "Cerven\xFD's 'Horseshoe' Bat");
    EXPECT_STREQ(cervenyi->rankName, "Species");
    EXPECT_STREQ(tree.children[2]->children[0]->children[0]->children[0]->children[0]->commonName,
                 "? House Mouse");
    EXPECT_STREQ(tree.children[0]->commonName, "");
}

TEST(SampleData, ConverterRejectsARecordWithoutGenus) {
    if (!havePython()) GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    std::string in = dir.write("in.csv",
                               "order,suborder,infraorder,superfamily,family,subfamily,tribe,"
                               "genus,specificEpithet,mainCommonName\n"
                               "Rodentia,NA,NA,NA,Muridae,NA,NA,NA,musculus,House Mouse\n");
    std::string out = dir.file("out.xml");
    EXPECT_EQ(runConverter(in, out, "2>/dev/null"), 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}
