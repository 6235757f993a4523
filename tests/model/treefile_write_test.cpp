// The binary tree file's writer: failures that leave the earlier file alone, the pair that
// replaces both files or neither, and no descriptor left open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Census.h"
#include "TestSupport.h"
#include "TreeFile.h"
#include "TreeFileSupport.h"

namespace {

TEST(TreeFileWriter, UncreatableTargetIsReportedAndNothingIsLeftBehind) {
    TempDir dir;
    ClassificationTree t;
    smallTree(t);
    std::string p = dir.file("missing/T1.jm2");
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, writeTreeFile(t, p.c_str()));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, lineCount(err));
    EXPECT_NE(std::string::npos, err.find(p)) << err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TreeFileWriter, FailedWriteLeavesThePreviousFileIntact) {
    TempDir dir;
    ClassificationTree t;
    smallTree(t);
    std::string p = dir.file("T1.jm2");
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));
    const std::string previous = readFileBytes(p);

    // A name of 32767 bytes is the longest the format holds; one more cannot be stored.
    ClassificationTree longest;
    smallTree(longest);
    freeName(longest.children[0]->commonName);
    longest.children[0]->commonName = newName(std::string(32767, 'c'));
    std::string q = dir.file("longest.jm2");
    ASSERT_EQ(1, writeTreeFile(longest, q.c_str()));
    ClassificationTree back;
    back.treeId = 1;
    ASSERT_EQ(1, readCapturing(back, q).result);
    EXPECT_EQ(32767u, std::strlen(back.children[0]->commonName));
    std::filesystem::remove(q);

    ClassificationTree tooLong;
    smallTree(tooLong);
    TreeNode* leaf = tooLong.children[0]->children[0]->children[0];
    freeName(leaf->latinName);
    leaf->latinName = newName(std::string(32768, 'x'));
    ClassificationTree tooDeep;
    chain(tooDeep, kMaxTreeFileDepth + 1);
    for (const ClassificationTree* bad : {&tooLong, &tooDeep}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, writeTreeFile(*bad, p.c_str()));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(1, lineCount(err)) << err;
        EXPECT_NE(std::string::npos, err.find(p)) << err;
        EXPECT_EQ(previous, readFileBytes(p));
        // Only the earlier file is in the folder: the temporary went away.
        int entries = 0;
        for (auto& e : std::filesystem::directory_iterator(dir.path())) {
            EXPECT_EQ("T1.jm2", e.path().filename().string());
            ++entries;
        }
        EXPECT_EQ(1, entries);
    }
}

TEST(TreeFileWriter, ReplacesAnEarlierFileWithTheUsualPermissions) {
    TempDir dir;
    std::string p = dir.write("T2.jm2", std::string(5000, 'z'));
    ClassificationTree t;
    smallTree(t);
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));
    ClassificationTree back;
    back.treeId = 1;
    ASSERT_EQ(1, readCapturing(back, p).result);
    expectSameStoredContent(t, back);
    mode_t mask = umask(0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(0, stat(p.c_str(), &st));
    EXPECT_EQ(0666 & ~mask, st.st_mode & 0777);
}

}  // namespace

namespace {

size_t openDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

TEST(TreeFileHandles, NoDescriptorOutlivesAReadOrWriteWhateverItsOutcome) {
    TempDir dir;
    ClassificationTree t;
    smallTree(t);
    std::string p = dir.file("t.jm2");
    ClassificationTree tooDeep;
    chain(tooDeep, kMaxTreeFileDepth + 1);
    const size_t before = openDescriptors();
    testing::internal::CaptureStderr();
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));
    EXPECT_EQ(0, writeTreeFile(tooDeep, p.c_str()));
    EXPECT_EQ(0, writeTreeFile(t, dir.file("no/such/folder.jm2").c_str()));
    {
        ConsoleCapture quiet;
        ClassificationTree a, b, c;
        EXPECT_EQ(1, readTreeFile(a, p.c_str()));
        std::string cut = dir.write("cut.jm2", readFileBytes(p).substr(0, 40));
        EXPECT_EQ(0, readTreeFile(b, cut.c_str()));
        EXPECT_EQ(0, readTreeFile(c, dir.path().string().c_str()));
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(before, openDescriptors());
}

}  // namespace

namespace {

std::vector<std::string> folderEntries(const TempDir& dir) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(TreeFilePair, ReplacesBothOrNeither) {
    TempDir dir;
    ClassificationTree a, b;
    std::mt19937 rng(31);
    randomTree(a, rng, 40);
    randomTree(b, rng, 25);
    std::string bytesA, bytesB;
    ASSERT_EQ(1, writeTreeFileBytes(a, bytesA, "a"));
    ASSERT_EQ(1, writeTreeFileBytes(b, bytesB, "b"));
    const std::string p1 = dir.file("T1.jm2"), p2 = dir.file("T2.jm2");

    // Over nothing, then over an earlier pair: the new bytes, nothing else left behind.
    ASSERT_EQ(0, writeTreeFilePair(a, p1.c_str(), b, p2.c_str()));
    EXPECT_EQ(bytesA, readFileBytes(p1));
    EXPECT_EQ(bytesB, readFileBytes(p2));
    dir.write("T1.jm2", "old 1");
    dir.write("T2.jm2", "old 2");
    ASSERT_EQ(0, writeTreeFilePair(b, p1.c_str(), a, p2.c_str()));
    EXPECT_EQ(bytesB, readFileBytes(p1));
    EXPECT_EQ(bytesA, readFileBytes(p2));
    EXPECT_EQ((std::vector<std::string>{"T1.jm2", "T2.jm2"}), folderEntries(dir));

    // Tree 2's file cannot take its place (a folder with something in it is there): tree
    // 1's file, already in place by then, goes back to what it was, or away if it was not.
    for (bool hadFirst : {true, false}) {
        SCOPED_TRACE(hadFirst ? "an earlier T1.jm2" : "no earlier T1.jm2");
        std::filesystem::remove_all(p2);
        std::filesystem::create_directories(p2 + "/x");
        if (hadFirst) dir.write("T1.jm2", "old 1");
        else std::filesystem::remove(p1);
        EXPECT_EQ(2, writeTreeFilePair(a, p1.c_str(), b, p2.c_str()));
        if (hadFirst) {
            EXPECT_EQ("old 1", readFileBytes(p1));
        } else {
            EXPECT_FALSE(std::filesystem::exists(p1));
        }
        EXPECT_TRUE(std::filesystem::is_directory(p2 + "/x"));
        EXPECT_EQ(hadFirst ? (std::vector<std::string>{"T1.jm2", "T2.jm2"})
                           : (std::vector<std::string>{"T2.jm2"}),
                  folderEntries(dir));
    }
}
