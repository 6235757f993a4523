// The start-up pipeline in both modes: console lines, failures, the files it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>

#include "CladoramaDoc.h"
#include "Console.h"
#include "RecorderFramework.h"
#include "TestSupport.h"
#include "TreeFile.h"

namespace fs = std::filesystem;

namespace {

const char* const kTail = "Latin name sorted\ncommon name sorted\ncommon name sorted\n";

class LoadPipelineTest : public ::testing::Test {
protected:
    TempDir dir;
    RecorderFramework fw;

    void writeClassifications() {
        dir.write(kClassificationFile1, carnivoraClassificationA());
        dir.write(kClassificationFile2, carnivoraClassificationB());
    }
    // Runs build mode in `dir`; returns its console text.
    std::string build(CCladoramaDoc& doc, bool& ok) {
        ScopedCwd cwd(dir.path().string());
        ConsoleCapture console;
        ok = doc.LoadHierarchiesIn<LoadMode::Build>();
        return console.text();
    }
    std::string loadBinary(CCladoramaDoc& doc, bool& ok) {
        ScopedCwd cwd(dir.path().string());
        ConsoleCapture console;
        ok = doc.LoadHierarchiesIn<LoadMode::Binary>();
        return console.text();
    }
};

TEST_F(LoadPipelineTest, BuildModePrintsEveryStepInOrderAndWritesBothTreeFiles) {
    writeClassifications();
    CCladoramaDoc doc(&fw);
    doc.m_pSearchBar = fakeSearchBar();
    bool ok = false;
    const std::string console = build(doc, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(maskProgress(console), std::string(kCarnivoraBuildConsole) + kTail);
    // The reader fills no index, so the tail leaves everything empty.
    EXPECT_TRUE(doc.m_searchNames.empty());
    EXPECT_EQ(fw.log, (std::vector<std::string>{"update", "slider:0..0"}));
    EXPECT_EQ(doc.m_tree1.treeId, 1);
    EXPECT_EQ(doc.m_tree2.treeId, 2);
    EXPECT_EQ(childNames(&doc.m_tree1), "Canidae,Felidae,Hyaenidae");
    EXPECT_EQ(childNames(&doc.m_tree2), "Canidae,Felidae,Hyaenidae");
    EXPECT_TRUE(fs::exists(dir.file(kTreeFile1)));
    EXPECT_TRUE(fs::exists(dir.file(kTreeFile2)));
    EXPECT_FALSE(fs::exists(dir.file(std::string(kTreeFile1) + ".new")));
    EXPECT_FALSE(fs::exists(dir.file(std::string(kTreeFile2) + ".new")));
}

// What build mode leaves in the trees of the small pair. Both combined trees hold, in
// name order, Canidae (tree 1 only), Felidae (both) and Hyaenidae (tree 2 only) under
// Carnivora, and Felis (both) and Panthera (tree 1 only) under Felidae.
TEST_F(LoadPipelineTest, BuildModeCombinesNumbersAndPlacesBothTreesAlike) {
    writeClassifications();
    CCladoramaDoc doc(&fw);
    bool ok = false;
    build(doc, ok);
    ASSERT_TRUE(ok);
    for (ClassificationTree* t : {&doc.m_tree1, &doc.m_tree2}) {
        SCOPED_TRACE("tree " + std::to_string(t->treeId));
        // Depth of the trees as read, Felis and Panthera standing at level 2.
        EXPECT_EQ(t->maxLevel, 2);
        ASSERT_EQ(childNames(t), "Canidae,Felidae,Hyaenidae");
        TreeNode* canidae = t->children[0];
        TreeNode* felidae = t->children[1];
        TreeNode* hyaenidae = t->children[2];
        ASSERT_EQ(childNames(felidae), "Felis,Panthera");
        TreeNode* felis = felidae->children[0];
        TreeNode* panthera = felidae->children[1];
        EXPECT_EQ(canidae->onlyInTree, 1);
        EXPECT_EQ(felidae->onlyInTree, 0);
        EXPECT_EQ(hyaenidae->onlyInTree, 2);
        EXPECT_EQ(panthera->onlyInTree, 1);
        EXPECT_EQ(t->combinedDescendantCount, 5);
        EXPECT_EQ(felidae->combinedDescendantCount, 2);

        // Child numbers: parent's number + index + 1.
        EXPECT_EQ(t->number, 0);
        EXPECT_EQ(canidae->number, 1);
        EXPECT_EQ(felidae->number, 2);
        EXPECT_EQ(hyaenidae->number, 3);
        EXPECT_EQ(felis->number, 3);
        EXPECT_EQ(panthera->number, 4);

        // Copies carry their originals' names, ranks and colours.
        for (const TreeNode* n : {canidae, hyaenidae, panthera}) {
            const std::array<int, 3> rgb = rankColourOf(n->rankName);
            EXPECT_EQ((std::array<int, 3>{n->color[0], n->color[1], n->color[2]}), rgb) << n->latinName;
        }
        EXPECT_STREQ(hyaenidae->commonName, "hyaenas");
        EXPECT_STREQ(hyaenidae->rankName, "Family");
        EXPECT_STREQ(panthera->commonName, "big cats");
        EXPECT_STREQ(canidae->commonName, "dogs");

        // Three children in the root's circle (radius 0.45 about 0.5, 0.5), each of radius
        // 0.225 / sqrt(3), at the points of the placement of three; Felis is the first of
        // two inside Felidae's circle.
        const double rho3 = 0.225 / std::sqrt(3.0);
        EXPECT_NEAR(canidae->x, 0.5 + 0.45 * 0.33425 - rho3, 1e-6);
        EXPECT_NEAR(canidae->y, 0.5 + 0.45 * 0.21226 - rho3, 1e-6);
        EXPECT_NEAR(canidae->width, 2 * rho3, 1e-12);
        EXPECT_NEAR(felidae->x, 0.5 + 0.45 * -0.38404 - rho3, 1e-6);
        EXPECT_NEAR(felidae->y, 0.5 + 0.45 * 0.19793 - rho3, 1e-6);
        EXPECT_NEAR(hyaenidae->x, 0.5 + 0.45 * 0.07435 - rho3, 1e-6);
        EXPECT_NEAR(hyaenidae->y, 0.5 + 0.45 * -0.4561 - rho3, 1e-6);
        const double fcx = 0.5 + 0.45 * -0.38404, fcy = 0.5 + 0.45 * 0.19793;
        const double rho2 = 0.5 * rho3 / std::sqrt(2.0);
        EXPECT_NEAR(felis->x, fcx + rho3 * -0.32542 - rho2, 1e-6);
        EXPECT_NEAR(felis->y, fcy + rho3 * 0.12702 - rho2, 1e-6);
        EXPECT_NEAR(felis->height, 2 * rho2, 1e-12);
    }
}

TEST_F(LoadPipelineTest, BinaryModeReadsWhatBuildModeWroteAndRunsTheTail) {
    writeClassifications();
    {
        CCladoramaDoc builder;
        bool ok = false;
        build(builder, ok);
        ASSERT_TRUE(ok);
    }
    CCladoramaDoc doc(&fw);
    doc.m_pSearchBar = fakeSearchBar();
    bool ok = false;
    const std::string console = loadBinary(doc, ok);
    EXPECT_TRUE(ok);
    // Tree 2's census skips the copy of Canidae and Panthera grafted from tree 1.
    EXPECT_EQ(console, std::string("Load trees from binary files.... \n"
                                   "Tree 1 loading.... \n"
                                   "Order : 1 \nFamily : 2 \nGenus : 2 \n"
                                   "Tree 2 loading.... \n"
                                   "Order : 1 \nFamily : 2 \nGenus : 1 \n"
                                   "Set node position for overview tree.... \n") +
                           kTail);
    EXPECT_EQ(validate(doc.m_tree1), "");
    EXPECT_EQ(validate(doc.m_tree2), "");
    EXPECT_EQ(doc.m_tree1.maxLevel, 2);
    EXPECT_EQ(doc.m_tree2.maxLevel, 2);
    // Tree 1's combined tree reaches every taxon of both; each common name of the two
    // combined trees pairs off with its twin, leaving tree 1's node once.
    EXPECT_EQ(doc.m_tree1.latinIndex.size(), 6u);
    std::vector<std::string> commons;
    for (const TreeNode* n : doc.m_combinedByCommon) {
        commons.emplace_back(n->commonName);
        EXPECT_EQ(std::count(doc.m_tree1.latinIndex.begin(), doc.m_tree1.latinIndex.end(), n), 1)
            << n->commonName << " is not tree 1's node";
    }
    EXPECT_EQ(commons, (std::vector<std::string>{"big cats", "carnivores", "cats", "dogs",
                                                 "hyaenas", "small cats"}));
    EXPECT_EQ(doc.m_searchNames.size(), 6u + commons.size());
    EXPECT_EQ(fw.log, (std::vector<std::string>{"update", "slider:0..0"}));
}

TEST_F(LoadPipelineTest, BinaryModeStopsOnAMissingOrBrokenFileNamingIt) {
    {
        CCladoramaDoc doc(&fw);
        doc.m_pSearchBar = fakeSearchBar();
        bool ok = true;
        EXPECT_EQ(loadBinary(doc, ok), "Load trees from binary files.... \n"
                                       "Tree 1 loading.... \n"
                                       "Reading binary tree file T1.jm2 has been failed!\n");
        EXPECT_FALSE(ok);
        EXPECT_TRUE(fw.log.empty()) << "no update, no slider after a failure";
        EXPECT_TRUE(doc.m_tree1.children.empty());
    }
    writeClassifications();
    {
        CCladoramaDoc builder;
        bool ok = false;
        build(builder, ok);
        ASSERT_TRUE(ok);
    }
    // A T2.jm2 cut short in the middle of its records.
    const std::string t2 = readFileBytes(dir.file(kTreeFile2));
    dir.write(kTreeFile2, t2.substr(0, t2.size() / 2));
    CCladoramaDoc doc(&fw);
    bool ok = true;
    const std::string console = loadBinary(doc, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(console, "Load trees from binary files.... \n"
                       "Tree 1 loading.... \n"
                       "Order : 1 \nFamily : 2 \nGenus : 2 \n"
                       "Tree 2 loading.... \n"
                       "Reading binary tree file T2.jm2 has been failed!\n");
    EXPECT_TRUE(doc.m_tree2.children.empty());
    EXPECT_TRUE(doc.m_searchNames.empty());
}

TEST_F(LoadPipelineTest, BuildModeStopsAtOnceWhenAClassificationCannotBeRead) {
    {
        CCladoramaDoc doc(&fw);
        bool ok = true;
        EXPECT_EQ(build(doc, ok), "Tree 1 is loading... \n"
                                  "Reading classification xml file has been failed!\n");
        EXPECT_FALSE(ok);
    }
    dir.write(kClassificationFile1, carnivoraClassificationA());
    CCladoramaDoc doc(&fw);
    bool ok = true;
    EXPECT_EQ(maskProgress(build(doc, ok)),
              "Tree 1 is loading... \n<progress>\n<progress>\n"
              "Tree 2 is loading... \n"
              "Reading classification xml file has been failed!\n");
    EXPECT_FALSE(ok);
    EXPECT_TRUE(fw.log.empty());
    EXPECT_FALSE(fs::exists(dir.file(kTreeFile1)));
    EXPECT_EQ(childNames(&doc.m_tree1), "Felidae,Canidae");  // kept as read
}

TEST_F(LoadPipelineTest, FailedWriteIsReportedAndKeepsTheEarlierPairIntact) {
    writeClassifications();
    dir.write(kTreeFile1, "old tree 1");
    dir.write(kTreeFile2, "old tree 2");
    // Something in the way of tree 2's new file.
    fs::create_directory(dir.file(std::string(kTreeFile2) + ".new"));
    fs::create_directory(dir.file(std::string(kTreeFile2) + ".new/x"));
    CCladoramaDoc doc(&fw);
    bool ok = true;
    const std::string console = build(doc, ok);
    EXPECT_FALSE(ok);
    const std::string last = "Write trees to binary files.... \n"
                             "Writing binary tree file T2.jm2 has been failed!\n";
    ASSERT_GE(console.size(), last.size());
    EXPECT_EQ(console.substr(console.size() - last.size()), last);
    EXPECT_TRUE(fw.log.empty());
    EXPECT_EQ(readFileBytes(dir.file(kTreeFile1)), "old tree 1");
    EXPECT_EQ(readFileBytes(dir.file(kTreeFile2)), "old tree 2");
    EXPECT_FALSE(fs::exists(dir.file(std::string(kTreeFile1) + ".new")));
}

// Tree 2's new file written but unable to take its place (a folder with something in it
// is there): tree 1's file, already in place by then, goes back to the earlier one.
TEST_F(LoadPipelineTest, TreeFileThatCannotTakeItsPlaceLeavesTheEarlierPair) {
    writeClassifications();
    dir.write(kTreeFile1, "old tree 1");
    fs::create_directories(dir.file(std::string(kTreeFile2) + "/x"));
    CCladoramaDoc doc(&fw);
    bool ok = true;
    const std::string console = build(doc, ok);
    EXPECT_FALSE(ok);
    const std::string last = "Write trees to binary files.... \n"
                             "Writing binary tree file T2.jm2 has been failed!\n";
    ASSERT_GE(console.size(), last.size());
    EXPECT_EQ(console.substr(console.size() - last.size()), last);
    EXPECT_EQ(readFileBytes(dir.file(kTreeFile1)), "old tree 1");
    EXPECT_TRUE(fs::is_directory(dir.file(std::string(kTreeFile2) + "/x")));
    EXPECT_FALSE(fs::exists(dir.file(std::string(kTreeFile1) + ".new")));
    EXPECT_FALSE(fs::exists(dir.file(std::string(kTreeFile2) + ".new")));
}

// Both files are read at once, but what tree 2's reading says comes after tree 1's lines,
// and not at all when tree 1 fails first.
TEST_F(LoadPipelineTest, BinaryModeReportsOnlyTheFirstFailingFile) {
    writeClassifications();
    {
        CCladoramaDoc builder;
        bool ok = false;
        build(builder, ok);
        ASSERT_TRUE(ok);
    }
    const std::string t1 = readFileBytes(dir.file(kTreeFile1));
    const std::string t2 = readFileBytes(dir.file(kTreeFile2));
    dir.write(kTreeFile2, t2.substr(0, t2.size() - 3));
    for (bool firstBroken : {true, false}) {
        SCOPED_TRACE(firstBroken ? "both broken" : "tree 2 broken");
        dir.write(kTreeFile1, firstBroken ? t1.substr(0, 20) : t1);
        const std::string failed = firstBroken ? kTreeFile1 : kTreeFile2;
        std::string expectedErrors;
        {
            // The one diagnostic: the reading of that file alone, as it always was.
            ScopedCwd cwd(dir.path().string());
            ConsoleCapture quiet;
            ClassificationTree alone;
            testing::internal::CaptureStderr();
            EXPECT_EQ(0, readTreeFile(alone, failed.c_str()));
            expectedErrors = testing::internal::GetCapturedStderr();
        }
        EXPECT_NE(expectedErrors.find("Cannot read tree file " + failed), std::string::npos);
        CCladoramaDoc doc(&fw);
        bool ok = true;
        testing::internal::CaptureStderr();
        const std::string console = loadBinary(doc, ok);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errors, expectedErrors);
        EXPECT_EQ(console, std::string("Load trees from binary files.... \n"
                                       "Tree 1 loading.... \n") +
                               (firstBroken ? "" : "Order : 1 \nFamily : 2 \nGenus : 2 \n"
                                                   "Tree 2 loading.... \n") +
                               "Reading binary tree file " + failed + " has been failed!\n");
        EXPECT_TRUE(doc.m_tree2.children.empty());
    }
}

TEST_F(LoadPipelineTest, SampleTreesSurviveWriteReadWriteByteForByte) {
    const std::string a = sourcePath("data/sample/classif_A_03-01-31.xml");
    const std::string b = sourcePath("data/sample/classif_B_03-01-31.xml");
    if (!fs::exists(a) || !fs::exists(b)) GTEST_SKIP() << "no sample classifications";
    fs::copy_file(a, dir.file(kClassificationFile1));
    fs::copy_file(b, dir.file(kClassificationFile2));
    {
        CCladoramaDoc doc;
        bool ok = false;
        build(doc, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(validate(doc.m_tree1), "");
        EXPECT_EQ(validate(doc.m_tree2), "");
    }
    for (auto [file, id] : {std::pair{kTreeFile1, 1}, std::pair{kTreeFile2, 2}}) {
        ClassificationTree tree;
        tree.treeId = static_cast<uint8_t>(id);
        {
            ConsoleCapture quiet;
            ASSERT_EQ(readTreeFile(tree, dir.file(file).c_str()), 1) << file;
        }
        const std::string again = dir.file(std::string("again-") + file);
        ASSERT_EQ(writeTreeFile(tree, again.c_str()), 1);
        EXPECT_TRUE(readFileBytes(again) == readFileBytes(dir.file(file))) << file;
    }
    // And the viewer's start-up on them ends with consistent lists.
    CCladoramaDoc doc(&fw);
    bool ok = false;
    loadBinary(doc, ok);
    ASSERT_TRUE(ok);
    EXPECT_GT(doc.m_tree1.latinIndex.size(), 8376u);  // tree A's taxa plus B's new ones
    EXPECT_EQ(doc.m_searchNames.size(),
              doc.m_tree1.latinIndex.size() + doc.m_combinedByCommon.size());
}

}  // namespace
