// The binary tree file: its format byte for byte, and the reader on files short, broken or
// lying.
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

TEST(TreeFileFormat, OneNodeTreeIsExactlyTheseHundredBytes) {
    TempDir dir;
    ClassificationTree t;
    t.treeId = 1;
    nameRoot(t, "Animalia", "Kingdom");
    t.rankNames.push_back(newName("Kingdom"));
    t.nodeCount = 1;
    t.leafCount = 0x0a0b0c0d;
    t.maxLevel = -999;
    t.x = 0.5;
    t.y = 0.25;
    t.width = 2.0;
    t.height = -1.5;
    t.descendantCount = 0x01020304;
    t.combinedDescendantCount = -2;
    t.onlyInTree = 1;
    t.number = 0x11223344;
    std::string p = dir.file("one.jm2");
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));

    const unsigned char expected[] = {
        // header: nodeCount, leafCount, maxLevel (-999), R = 1, "Kingdom"
        0x01, 0x00, 0x00, 0x00, 0x0d, 0x0c, 0x0b, 0x0a, 0x19, 0xfc, 0xff, 0xff, 0x01, 0x00,
        0x07, 0x00, 'K', 'i', 'n', 'g', 'd', 'o', 'm',
        // root record: "Animalia", x, y, width, height
        0x08, 0x00, 'A', 'n', 'i', 'm', 'a', 'l', 'i', 'a',
        0, 0, 0, 0, 0, 0, 0xe0, 0x3f, 0, 0, 0, 0, 0, 0, 0xd0, 0x3f,
        0, 0, 0, 0, 0, 0, 0x00, 0x40, 0, 0, 0, 0, 0, 0, 0xf8, 0xbf,
        // level, descendantCount, combinedDescendantCount
        0x00, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01, 0xfe, 0xff, 0xff, 0xff,
        // empty common name, "Kingdom"
        0x00, 0x00, 0x07, 0x00, 'K', 'i', 'n', 'g', 'd', 'o', 'm',
        // colour 240 194 57, onlyInTree, number, K = 0
        240, 194, 57, 0x01, 0x44, 0x33, 0x22, 0x11, 0x00, 0x00, 0x00, 0x00};
    static_assert(sizeof expected == 100);
    std::string bytes = readFileBytes(p);
    ASSERT_EQ(100u, bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(expected), 100), bytes);

    ClassificationTree back;
    back.treeId = 1;
    ReadOutcome r = readCapturing(back, p);
    ASSERT_EQ(1, r.result) << r.errors;
    EXPECT_EQ("Kingdom : 1 \n", r.console);
    EXPECT_EQ("", r.errors);
    expectSameStoredContent(t, back);
    ASSERT_EQ(1u, back.latinIndex.size());
    EXPECT_EQ(&back, back.latinIndex[0]);
    EXPECT_TRUE(back.commonIndex.empty());
    EXPECT_EQ(1, back.treeId);
}

TEST(TreeFileFormat, RandomTreesRoundTripFieldForFieldAndByteForByte) {
    TempDir dir;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        ClassificationTree t;
        t.treeId = 1 + seed % 2;
        randomTree(t, rng, 1 + static_cast<int>(rng() % 400));
        std::string p1 = dir.file("a.jm2"), p2 = dir.file("b.jm2");
        ASSERT_EQ(1, writeTreeFile(t, p1.c_str()));

        ClassificationTree back;
        back.treeId = t.treeId;
        ReadOutcome r = readCapturing(back, p1);
        ASSERT_EQ(1, r.result) << r.errors;
        EXPECT_EQ("", validate(back));
        expectSameStoredContent(t, back);

        // Indexes in reading order: every node, and those with a common name.
        auto order = preorder(&back);
        EXPECT_EQ(order, std::vector<const TreeNode*>(back.latinIndex.begin(), back.latinIndex.end()));
        std::vector<const TreeNode*> named;
        for (const TreeNode* n : order)
            if (n->commonName[0]) named.push_back(n);
        EXPECT_EQ(named, std::vector<const TreeNode*>(back.commonIndex.begin(), back.commonIndex.end()));

        ASSERT_EQ(1, writeTreeFile(back, p2.c_str()));
        EXPECT_EQ(readFileBytes(p1), readFileBytes(p2));
    }
}

TEST(TreeFileFormat, EmptyCommonNameIsStoredEmptyAndLeftOutOfTheCommonIndex) {
    TempDir dir;
    ClassificationTree t;
    smallTree(t);
    std::string p = dir.file("t.jm2");
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));
    std::string bytes = readFileBytes(p);
    // Root record starts after the header; "Chordata" is the first child and has no
    // common name: its length field follows the name, four reals and three int32.
    size_t at = bytes.find("Chordata");
    ASSERT_NE(std::string::npos, at);
    at += 8 + 32 + 12;
    EXPECT_EQ(0, bytes[at]);
    EXPECT_EQ(0, bytes[at + 1]);
    EXPECT_EQ("Phylum", bytes.substr(at + 4, 6));

    ClassificationTree back;
    back.treeId = 1;
    ASSERT_EQ(1, readCapturing(back, p).result);
    ASSERT_EQ(2u, back.commonIndex.size());
    EXPECT_STREQ("Animalia", back.commonIndex[0]->latinName);
    EXPECT_STREQ("Mammalia", back.commonIndex[1]->latinName);
    EXPECT_EQ(5u, back.latinIndex.size());
    EXPECT_STREQ("", back.children[0]->commonName);
}

TEST(TreeFileFormat, GraftedCopiesKeepTheirMarksAndTheCensusSkipsThem) {
    TempDir dir;
    ClassificationTree t;
    t.treeId = 1;
    nameRoot(t, "R", "Class");
    addNode(&t, "A", "Genus");
    TreeNode* b = addNode(&t, "B", "Genus");
    b->onlyInTree = 2;
    addNode(b, "B1", "Species")->onlyInTree = 2;
    addNode(b, "B2", "Species");  // unmarked, but below a copy
    addNode(&t, "C", "Genus")->onlyInTree = 1;
    addNode(&t, "D", "Tribe");  // a rank the list does not name
    t.rankNames = {newName("Class"), newName("Genus"), newName("Species"), newName("Genus")};
    std::string p = dir.file("t.jm2");
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));

    ClassificationTree one;
    one.treeId = 1;
    ReadOutcome r = readCapturing(one, p);
    ASSERT_EQ(1, r.result);
    EXPECT_EQ("Class : 1 \nGenus : 2 \nSpecies : 0 \nGenus : 2 \n", r.console);
    EXPECT_EQ(2, one.children[1]->onlyInTree);
    EXPECT_EQ(2, one.children[1]->children[0]->onlyInTree);
    EXPECT_EQ(1, one.children[2]->onlyInTree);

    // The same file read as tree 2 skips the other side's copies instead.
    ClassificationTree two;
    two.treeId = 2;
    r = readCapturing(two, p);
    ASSERT_EQ(1, r.result);
    EXPECT_EQ("Class : 1 \nGenus : 2 \nSpecies : 2 \nGenus : 2 \n", r.console);

    // The census is counted as the file is read; it must be the walk's, under whatever id
    // the tree has when the reading is finished, also on a thread that read before the id
    // was known.
    for (uint8_t id : {0, 1, 2, 5}) {
        SCOPED_TRACE(int(id));
        ClassificationTree read;
        read.treeId = id;
        std::string printed;
        {
            TreeFileReading reading(p.c_str());
            ConsoleCapture console;
            ASSERT_EQ(1, reading.finish(read));
            printed = console.text();
        }
        ConsoleCapture walked;
        printRankCensus(read);
        EXPECT_EQ(walked.text(), printed);
    }
}

TEST(TreeFileFormat, ReadingIntoALoadedTreeReplacesItsContent) {
    TempDir dir;
    ClassificationTree t;
    loadedTree(t, dir);
    ClassificationTree small;
    smallTree(small);
    std::string p = dir.file("small.jm2");
    ASSERT_EQ(1, writeTreeFile(small, p.c_str()));
    ASSERT_EQ(1, readCapturing(t, p).result);
    EXPECT_EQ("", validate(t));
    expectSameStoredContent(small, t);
    EXPECT_EQ(5u, t.latinIndex.size());
    EXPECT_EQ(&t, t.latinIndex[0]);
    EXPECT_EQ(2, t.treeId) << "the caller's tree id stays";
}

TEST(TreeFileFormat, FilesOfManyMegabytesWithLongNamesRoundTrip) {
    // The reader decodes through a buffer of a megabyte; names of thousands of bytes
    // straddle its refills at every possible phase.
    TempDir dir;
    std::mt19937 rng(5);
    ClassificationTree t;
    t.treeId = 1;
    randomTree(t, rng, 3000);
    forEachNode(static_cast<TreeNode*>(&t), [&](TreeNode* n) {
        freeName(n->commonName);
        n->commonName = newName(randomName(rng, 0, 3000));
    });
    std::string p = dir.file("big.jm2"), q = dir.file("again.jm2");
    ASSERT_EQ(1, writeTreeFile(t, p.c_str()));
    const std::string bytes = readFileBytes(p);
    ASSERT_GT(bytes.size(), size_t(3) << 20);
    ClassificationTree back;
    back.treeId = 1;
    ASSERT_EQ(1, readCapturing(back, p).result);
    expectSameStoredContent(t, back);
    ASSERT_EQ(1, writeTreeFile(back, q.c_str()));
    EXPECT_EQ(bytes, readFileBytes(q));

    // Cut around the first refills and just short of the end.
    ClassificationTree loaded;
    loadedTree(loaded, dir);
    for (size_t cut : {size_t(1) << 20, (size_t(1) << 20) + 1, (size_t(2) << 20) - 7,
                       bytes.size() - 1}) {
        SCOPED_TRACE("length " + std::to_string(cut));
        expectRefused(loaded, dir.write("cut.jm2", bytes.substr(0, cut)));
    }
}

TEST(TreeFileReader, MissingFileOrDirectoryIsRefused) {
    TempDir dir;
    ClassificationTree t;
    loadedTree(t, dir);
    expectRefused(t, dir.file("T1.jm2"));
    expectRefused(t, dir.path().string());
    ClassificationTree fresh;
    fresh.treeId = 1;
    expectRefused(fresh, dir.file("T2.jm2"));
}

TEST(TreeFileReader, EveryTruncationIsRefusedAndLeavesTheTreeAlone) {
    TempDir dir;
    ClassificationTree small;
    smallTree(small);
    std::string p = dir.file("small.jm2");
    ASSERT_EQ(1, writeTreeFile(small, p.c_str()));
    std::string bytes = readFileBytes(p);
    ClassificationTree t;
    loadedTree(t, dir);
    for (size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        std::string q = dir.write("cut.jm2", bytes.substr(0, n));
        expectRefused(t, q);
        // The offset named lies within what the file holds.
        std::string err = readCapturing(t, q).errors;
        size_t at = err.find("byte offset ");
        ASSERT_NE(std::string::npos, at);
        EXPECT_LE(std::stoul(err.substr(at + 12)), n) << err;
    }
    // And bytes after the root record are refused too, at the offset where they start.
    std::string q = dir.write("long.jm2", bytes + '\0');
    expectRefused(t, q, ("byte offset " + std::to_string(bytes.size())).c_str());
}

TEST(TreeFileReader, NegativeAndImpossibleLengthsAndCountsAreRefused) {
    TempDir dir;
    ClassificationTree small;
    smallTree(small);
    std::string p = dir.file("small.jm2");
    ASSERT_EQ(1, writeTreeFile(small, p.c_str()));
    const std::string good = readFileBytes(p);
    const size_t root = good.find("Animalia") - 2;  // root record
    const size_t rootCount = root + 62 + 8 + 7 + 7 - 4;
    const size_t chordataLevel = good.find("Chordata") + 8 + 32;
    const size_t chordataCount = chordataLevel + 12 + 2 + 2 + 6 + 4 + 4;
    const size_t mark = root + 62 + 8 + 7 + 7 - 9;
    ClassificationTree t;
    loadedTree(t, dir);
    struct Case {
        const char* what;
        size_t at;
        std::string patch;
        std::string why;  // expected in the diagnostic, if not empty
    } cases[] = {
        {"negative rank count", 12, std::string("\xff\xff", 2), "negative"},
        {"huge rank count", 12, std::string("\xff\x7f", 2), "does not fit"},
        {"negative rank name length", 14, std::string("\xfe\xff", 2), "negative"},
        {"rank name past the end", 14, std::string("\xff\x7f", 2), "ends early"},
        {"negative latin length", root, std::string("\x00\x80", 2), "negative"},
        {"latin name past the end", root, std::string("\xff\x7f", 2), "ends early"},
        {"negative child count", rootCount, std::string("\xff\xff\xff\xff", 4), "negative"},
        {"huge child count", rootCount, std::string("\xff\xff\xff\x7f", 4), "does not fit"},
        {"one child too many", rootCount, std::string("\x03\x00\x00\x00", 4), ""},
        // Three records would fit after "Chordata", but one of them is owed to its sibling.
        {"counts fitting alone only", chordataCount, std::string("\x03\x00\x00\x00", 4),
         "does not fit the file at byte offset " + std::to_string(chordataCount)},
        {"level off the nesting", chordataLevel, std::string("\x05\x00\x00\x00", 4), "level"},
        {"mark out of range", mark, std::string("\x03", 1), "mark"},
    };
    // The offsets above must point where they claim before they prove anything.
    ASSERT_EQ(std::string("\x02\x00\x00\x00", 4), good.substr(rootCount, 4));
    ASSERT_EQ(std::string("\x01\x00\x00\x00", 4), good.substr(chordataLevel, 4));
    ASSERT_EQ(std::string("\x01\x00\x00\x00", 4), good.substr(chordataCount, 4));
    ASSERT_EQ(std::string("\xf0\xc2\x39\x00", 4), good.substr(mark - 3, 4));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = good;
        bad.replace(c.at, c.patch.size(), c.patch);
        expectRefused(t, dir.write("bad.jm2", bad), c.why.empty() ? nullptr : c.why.c_str());
    }
}

TEST(TreeFileReader, HeaderCountsAreTakenAsStoredWithoutTrustingThemForMemory) {
    TempDir dir;
    ClassificationTree small;
    smallTree(small);
    small.nodeCount = INT32_MAX;
    small.leafCount = -5;
    std::string p = dir.file("small.jm2");
    ASSERT_EQ(1, writeTreeFile(small, p.c_str()));
    ClassificationTree t;
    t.treeId = 1;
    ASSERT_EQ(1, readCapturing(t, p).result);
    EXPECT_EQ(INT32_MAX, t.nodeCount);
    EXPECT_EQ(-5, t.leafCount);
    EXPECT_LE(t.latinIndex.capacity(), 5u);
}

TEST(TreeFileReader, NestingIsLimitedWithoutExhaustingTheStack) {
    TempDir dir;
    ClassificationTree deepest;
    chain(deepest, kMaxTreeFileDepth);
    std::string p = dir.file("deep.jm2");
    ASSERT_EQ(1, writeTreeFile(deepest, p.c_str()));
    ClassificationTree back;
    back.treeId = 1;
    ASSERT_EQ(1, readCapturing(back, p).result);
    EXPECT_EQ("", validate(back));
    EXPECT_EQ(kMaxTreeFileDepth, back.latinIndex.back()->level);

    // One level more, made by hand: the last record gets a child, a copy of itself one
    // level down.
    std::string bytes = readFileBytes(p);
    const size_t record = 62 + 1 + 0 + 5;
    std::string last = bytes.substr(bytes.size() - record);
    putI32(bytes, bytes.size() - 4, 1);
    putI32(last, 3 + 32, kMaxTreeFileDepth + 1);
    bytes += last;
    ClassificationTree t;
    loadedTree(t, dir);
    expectRefused(t, dir.write("deeper.jm2", bytes), "deeper");

    // A file nesting a hundred thousand levels is refused just as cleanly.
    std::string huge = bytes.substr(0, 14 + 7);
    for (int level = 0; level < 100000; ++level) {
        std::string r = last;
        putI32(r, 3 + 32, level);
        putI32(r, record - 4, 1);
        huge += r;
    }
    expectRefused(t, dir.write("huge.jm2", huge), "deeper");
}

TEST(TreeFileReader, RandomCorruptionNeverCrashesAndAnySuccessIsAValidTree) {
    TempDir dir;
    ClassificationTree src;
    std::mt19937 rng(99);
    randomTree(src, rng, 60);
    std::string p = dir.file("src.jm2");
    ASSERT_EQ(1, writeTreeFile(src, p.c_str()));
    const std::string good = readFileBytes(p);
    ClassificationTree t;
    loadedTree(t, dir);
    std::string before = dump(t);
    int successes = 0, failures = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string bad = good;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            size_t at = rng() % bad.size();
            // Mostly small changes to lengths and counts, sometimes any byte.
            bad[at] = static_cast<char>(rng() % 2 ? bad[at] ^ (1 << (rng() % 8)) : rng());
        }
        if (rng() % 8 == 0) bad.resize(rng() % bad.size());
        std::string q = dir.write("bad.jm2", bad);
        ClassificationTree fresh;
        fresh.treeId = 1;
        ReadOutcome r = readCapturing(fresh, q);
        if (r.result == 1) {
            ++successes;
            ASSERT_EQ("", validate(fresh)) << "round " << round;
            ASSERT_EQ("", r.errors);
        } else {
            ++failures;
            ASSERT_EQ(1, lineCount(r.errors)) << r.errors;
            ASSERT_TRUE(fresh.children.empty() && fresh.latinIndex.empty() && !fresh.latinName);
        }
        if (round % 100 == 0) {
            ReadOutcome again = readCapturing(t, q);
            if (again.result == 0) {
                ASSERT_EQ(before, dump(t));
            } else {
                loadedTree(t, dir);
                before = dump(t);
            }
        }
    }
    // Both outcomes must actually occur for the loop to have tested anything.
    EXPECT_GT(successes, 0);
    EXPECT_GT(failures, 0);
}

}  // namespace

// A NUL inside a stored string would cut the name once read: refused at the NUL's offset.
TEST(TreeFileReader, NulInsideAStoredStringIsRefusedAtItsOffset) {
    TempDir dir;
    ClassificationTree small;
    smallTree(small);
    std::string p = dir.file("small.jm2");
    ASSERT_EQ(1, writeTreeFile(small, p.c_str()));
    std::string bytes = readFileBytes(p);
    // The first rank name's second byte, then the root's Latin name's third byte.
    const size_t rankAt = 12 + 2 + 2 + 1;
    const size_t latinAt = bytes.find(small.latinName) + 2;
    for (size_t at : {rankAt, latinAt}) {
        std::string bad = bytes;
        bad[at] = '\0';
        ClassificationTree t;
        expectRefused(t, dir.write("nul.jm2", bad), ("NUL byte at byte offset " + std::to_string(at)).c_str());
    }
}

// From memory, reading and writing are the file's byte for byte, with the label in place of
// the file name in a diagnostic.
TEST(TreeFileFormat, BytesInMemoryReadAndWriteAsTheFileOfThoseBytes) {
    TempDir dir;
    ClassificationTree source;
    std::mt19937 rng(11);
    randomTree(source, rng, 40);
    std::string p = dir.file("tree.jm2");
    ASSERT_EQ(1, writeTreeFile(source, p.c_str()));
    const std::string bytes = readFileBytes(p);
    std::string written = "left over";
    ASSERT_EQ(1, writeTreeFileBytes(source, written, "memory"));
    EXPECT_EQ(bytes, written);

    for (const std::string& image : {bytes, bytes.substr(0, bytes.size() / 2)}) {
        const std::string path = dir.write("image.jm2", image);
        ClassificationTree fromFile, fromMemory;
        fromFile.treeId = fromMemory.treeId = 1;
        ReadOutcome file = readCapturing(fromFile, path);
        ReadOutcome memory;
        {
            ConsoleCapture console;
            testing::internal::CaptureStderr();
            memory.result = readTreeFileBytes(fromMemory, image.data(), image.size(), path.c_str());
            memory.errors = testing::internal::GetCapturedStderr();
            memory.console = console.text();
        }
        EXPECT_EQ(file.result, memory.result);
        EXPECT_EQ(file.console, memory.console);
        EXPECT_EQ(file.errors, memory.errors);
        if (file.result) expectSameStoredContent(fromFile, fromMemory);
    }
}

// The reading on a thread of its own: the same tree, census, diagnostic and result as
// readTreeFile, printed only by finish(); nothing at all when abandoned.
TEST(TreeFileReading, FinishDoesWhatReadTreeFileDoesAndAbandoningPrintsNothing) {
    TempDir dir;
    ClassificationTree src;
    std::mt19937 rng(37);
    randomTree(src, rng, 300);
    const std::string good = dir.file("good.jm2");
    ASSERT_EQ(1, writeTreeFile(src, good.c_str()));
    const std::string whole = readFileBytes(good);
    const std::string cut = dir.write("cut.jm2", whole.substr(0, whole.size() / 2));
    const std::string missing = dir.file("missing.jm2");
    for (const std::string& path : {good, cut, missing}) {
        SCOPED_TRACE(path);
        ClassificationTree expected, got;
        loadedTree(expected, dir);
        loadedTree(got, dir);
        const std::string before = dump(got);
        ReadOutcome want = readCapturing(expected, path);
        ConsoleCapture console;
        testing::internal::CaptureStderr();
        TreeFileReading reading(path.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ("", console.text()) << "nothing printed before finish()";
        int result = reading.finish(got);
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(want.result, result);
        EXPECT_EQ(want.console, console.text());
        EXPECT_EQ(want.errors, errors);
        if (want.result) expectSameStoredContent(expected, got);
        else EXPECT_EQ(before, dump(got));
        EXPECT_EQ(expected.latinIndex.size(), got.latinIndex.size());
        EXPECT_EQ(expected.commonIndex.size(), got.commonIndex.size());
        EXPECT_EQ(2, got.treeId);
    }
    ConsoleCapture console;
    testing::internal::CaptureStderr();
    for (const std::string& path : {good, missing}) TreeFileReading abandoned(path.c_str());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ("", console.text());
}
