// The classification reader and the tree file as values: a failure says which file, where
// and what was expected, and nothing is printed but the progress lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ClassificationReader.h"
#include "Console.h"
#include "TestSupport.h"
#include "TreeFile.h"

namespace {

TEST(FileResult, TheReadersHandBackWhereAndWhyAndPrintNoDiagnostic) {
    TempDir dir;
    dir.write("cut.xml", "<branch>\na b cdefgh\"Carnivora\"\n");
    dir.write("short.jm2", std::string("\x05\x00\x00\x00\x03\x00", 6));
    ConsoleCapture quiet;
    ClassificationTree tree;
    testing::internal::CaptureStderr();
    const FileResult cut = loadClassification(tree, dir.file("cut.xml").c_str());
    const FileResult shortFile = loadTreeFile(tree, dir.file("short.jm2").c_str());
    const FileResult missing = loadTreeFile(tree, dir.file("gone.jm2").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    ASSERT_FALSE(cut.ok());
    EXPECT_EQ(cut.failure().file, dir.file("cut.xml"));
    EXPECT_EQ(cut.failure().place, "byte 31");
    EXPECT_EQ(cut.failure().fault, "expected the first word of a value line");
    EXPECT_EQ(cut.failure().line(),
              dir.file("cut.xml") + ": byte 31: expected the first word of a value line");

    ASSERT_FALSE(shortFile.ok());
    EXPECT_EQ(shortFile.failure().file, dir.file("short.jm2"));
    EXPECT_EQ(shortFile.failure().place.rfind("byte ", 0), 0u);
    // The tree file's reader words its line its own way, place and fault within.
    const std::string line = shortFile.failure().line();
    EXPECT_EQ(line.rfind("Cannot read tree file " + dir.file("short.jm2") + ": ", 0), 0u) << line;
    EXPECT_NE(line.find(shortFile.failure().fault), std::string::npos) << line;
    EXPECT_NE(line.find("at " + shortFile.failure().place.substr(0, 4) + " offset " +
                        shortFile.failure().place.substr(5)),
              std::string::npos)
        << line;
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().place, "byte 0");
    EXPECT_EQ(tree.nodeCount, 0);

    // The functions of fixed names print that line, once.
    testing::internal::CaptureStderr();
    EXPECT_EQ(readClassification(tree, dir.file("cut.xml").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), cut.failure().line() + "\n");
}

TEST(FileResult, AWriterNamesTheFileOfThePairThatFailed) {
    TempDir dir;
    ClassificationTree tree;
    tree.latinName = newName("Felidae");
    tree.commonName = newName("");
    tree.rankName = newName("Family");
    tree.nodeCount = 1;
    const std::string ok = dir.file("T1.jm2"), bad = dir.file("missing/T2.jm2");
    testing::internal::CaptureStderr();
    const FileResult pair = saveTreeFilePair(tree, ok.c_str(), tree, bad.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_FALSE(pair.ok());
    EXPECT_EQ(pair.failure().file, bad);
    EXPECT_NE(pair.failure().line().find("Cannot write tree file"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ok));  // neither file when one failed
    EXPECT_TRUE(saveTreeFile(tree, ok.c_str()).ok());

    // Written, but a folder stands where the second file goes: that is a failure too, and
    // it says why.
    const std::string blocked = dir.file("T2.jm2");
    std::filesystem::create_directories(blocked + "/x");
    const FileResult placed = saveTreeFilePair(tree, ok.c_str(), tree, blocked.c_str());
    ASSERT_FALSE(placed.ok());
    EXPECT_EQ(placed.failure().file, blocked);
    EXPECT_EQ(placed.failure().fault.rfind("cannot take the place of what is there: ", 0), 0u)
        << placed.failure().fault;
    testing::internal::CaptureStderr();
    EXPECT_EQ(writeTreeFilePair(tree, ok.c_str(), tree, blocked.c_str()), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), placed.failure().line() + "\n");
}

}  // namespace
