// A file's kind found once and its reading going on from there; the importers' failures
// handed back as values.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ClassificationReader.h"
#include "Import.h"
#include "TestSupport.h"

namespace {

void writeZip(const std::string& path, const std::string& name, const std::string& data) {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_write_header(a, e);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);
}

const char kUsage[] =
    "ID\tparentID\tstatus\trank\tscientificName\n"
    "1\t\taccepted\tfamily\tFelidae\n"
    "2\t1\taccepted\tgenus\tFelis\n";

TEST(InputFile, AZipIsOpenedOnceAndReadFromWhatFindingItsKindTookIn) {
    TempDir dir;
    writeZip(dir.file("pkg.zip"), "NameUsage.tsv", kUsage);
    const InputFile input = openInput(dir.file("pkg.zip"));
    EXPECT_EQ(input.kind, InputKind::ColDP);
    EXPECT_NE(input.opened, nullptr);
    // Whatever lies at the path now, the archive found is the one read.
    std::filesystem::remove(dir.file("pkg.zip"));
    dir.write("pkg.zip", "Order,Family\nCarnivora,Canidae\n");
    ClassificationTree tree;
    testing::internal::CaptureStderr();
    const FileResult read = importInput(tree, input);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(read.ok()) << read.failure().line();
    EXPECT_STREQ(tree.latinName, "Felidae");
    ASSERT_EQ(tree.children.size(), 1u);
    EXPECT_STREQ(tree.children[0]->latinName, "Felis");

    // A table is told by its name and header: the bytes told from are the bytes read. So is
    // a Darwin Core taxon file on its own (a table with a taxonID column).
    dir.write("table.csv", "Order,Family\nCarnivora,Canidae\n");
    dir.write("taxa.txt", "taxonID\tparentNameUsageID\tscientificName\ttaxonRank\n"
                          "1\t\tUrsidae\tfamily\n");
    const InputFile table = openInput(dir.file("table.csv"));
    const InputFile taxa = openInput(dir.file("taxa.txt"));
    EXPECT_EQ(table.kind, InputKind::Table);
    EXPECT_EQ(taxa.kind, InputKind::DarwinCoreArchive);
    std::filesystem::remove(dir.file("table.csv"));
    std::filesystem::remove(dir.file("taxa.txt"));
    // A package's usage file stands for its folder, listed when its kind is found.
    std::filesystem::create_directories(dir.path() / "pkg");
    dir.write("pkg/NameUsage.tsv", kUsage);
    const InputFile usage = openInput(dir.file("pkg/NameUsage.tsv"));
    EXPECT_EQ(usage.kind, InputKind::ColDP);
    EXPECT_NE(usage.opened, nullptr);
    ClassificationTree fromFolder;
    ASSERT_TRUE(importInput(fromFolder, usage).ok());
    EXPECT_STREQ(fromFolder.latinName, "Felidae");
    for (const InputFile* input : {&table, &taxa}) {
        ClassificationTree t;
        const FileResult r = importInput(t, *input);
        ASSERT_TRUE(r.ok()) << r.failure().line();
        EXPECT_STREQ(t.latinName, input == &table ? "Carnivora" : "Ursidae");
    }
}

TEST(InputFile, AFailureIsAValueNamingFilePlaceAndFaultAndNothingIsPrinted) {
    TempDir dir;
    dir.write("empty.csv", "");
    dir.write("norank.csv", "name,colour\nFelis,grey\n");
    // Too deep a chain of parents (a cycle of them is broken, no failure).
    std::string deep = "ID\tparentID\tstatus\trank\tscientificName\n1\t\taccepted\t\tT1\n";
    for (int i = 2; i <= kMaxClassificationDepth + 4; ++i)
        deep += std::to_string(i) + "\t" + std::to_string(i - 1) + "\taccepted\t\tT" +
                std::to_string(i) + "\n";
    dir.write("deep.tsv", deep);
    std::filesystem::rename(dir.file("deep.tsv"), dir.file("NameUsage.tsv"));
    writeZip(dir.file("bomb.zip"), "NameUsage.tsv", std::string(4096, 'x'));
    struct Case {
        const char* file;
        const char* place;
        const char* faultStart;
    };
    for (const Case& c : {Case{"empty.csv", "line 1", "the file is empty"},
                          Case{"norank.csv", "line 1", "no rank columns"},
                          Case{"NameUsage.tsv", "line 4098", "taxa nested deeper than 4096 levels"},
                          Case{"bomb.zip", "", "entry NameUsage.tsv: the archive inflates"},
                          Case{"gone.csv", "byte 0", "cannot open"}}) {
        SCOPED_TRACE(c.file);
        ImportOptions options;
        options.maxUncompressedBytes = 1000;
        const std::string path = dir.file(c.file);
        ClassificationTree tree;
        testing::internal::CaptureStderr();
        const FileResult read = importInput(tree, openInput(path, options), options);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.failure().file, path);
        EXPECT_EQ(read.failure().place, c.place);
        EXPECT_EQ(read.failure().fault.rfind(c.faultStart, 0), 0u) << read.failure().fault;
        EXPECT_EQ(read.failure().line(),
                  path + (c.place[0] ? std::string(": ") + c.place : "") + ": " +
                      read.failure().fault);
        EXPECT_EQ(tree.nodeCount, 0);
        EXPECT_TRUE(tree.children.empty());
        // The function of old says the same in its one line.
        testing::internal::CaptureStderr();
        EXPECT_FALSE(importClassification(tree, path, options));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), read.failure().line() + "\n");
    }
}

// The kinds the open dialog offers by pattern, tree files and classification files, are told
// by the extension of the last part of the path, in any case.
TEST(FileKind, DecidedByExtensionCaseInsensitively) {
    TempDir dir;
    dir.write("notes", "some words\n");
    EXPECT_EQ(detectInputKind("/data/T1.jm2"), InputKind::TreeFile);
    EXPECT_EQ(detectInputKind("T2.JM2"), InputKind::TreeFile);
    EXPECT_EQ(detectInputKind("classif_A_03-01-31.xml"), InputKind::Classification);
    EXPECT_EQ(detectInputKind("dir/a.XmL"), InputKind::Classification);
    EXPECT_EQ(detectInputKind(dir.file("notes")), InputKind::Unknown);
    EXPECT_EQ(detectInputKind("dir.xml/T1"), InputKind::Unknown);
    EXPECT_EQ(detectInputKind("T1.jm2.new"), InputKind::Unknown);
}

}  // namespace
