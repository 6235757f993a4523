#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ClassificationReader.h"
#include "Console.h"
#include "TestSupport.h"

namespace {

std::string valueLine(const char* word, const std::string& value) {
    return std::string("  <attr name=\"") + word + "\" value=\"" + value + "\"/>\n";
}
std::string values(const std::string& latin, const std::string& rank,
                   const std::string& common = "") {
    return valueLine("latin", latin) + valueLine("common", common) + valueLine("rank", rank);
}
std::string leaf(const std::string& latin, const std::string& rank = "Species",
                 const std::string& common = "") {
    return "<leaf>\n" + values(latin, rank, common) + "</leaf>\n";
}
std::string branch(const std::string& latin, const std::string& rank,
                   const std::string& contents, const std::string& common = "") {
    return "<branch>\n" + values(latin, rank, common) + contents + "</branch>\n";
}

// The file of the numbering example: root with branch A (leaves B, E) and leaf D.
std::string exampleFile() {
    return "<?xml version=\"1.0\"?>\n" +
           branch("Root", "Order",
                  branch("A", "Family", leaf("B") + leaf("E"), "ayes") + leaf("D", "Genus"));
}

struct Result {
    int status = 0;
    std::string console;
    std::string errors;
};

Result readFile(ClassificationTree& tree, const std::string& path) {
    Result r;
    ConsoleCapture console;
    testing::internal::CaptureStderr();
    r.status = readClassification(tree, path.c_str());
    r.errors = testing::internal::GetCapturedStderr();
    r.console = console.text();
    if (r.status) {
        EXPECT_EQ(validate(tree), "");
    }
    return r;
}

Result readText(ClassificationTree& tree, const std::string& bytes) {
    TempDir dir;
    return readFile(tree, dir.write("c.xml", bytes));
}

std::string progressLine(size_t position, size_t size) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lf %% loading\n",
                  static_cast<double>(position) / static_cast<double>(size) * 100);
    return buf;
}

// The tree is still as the caller built it: nothing read, nothing left behind.
void expectUntouched(const ClassificationTree& t) {
    EXPECT_EQ(t.latinName, nullptr);
    EXPECT_EQ(t.rankName, nullptr);
    EXPECT_TRUE(t.children.empty());
    EXPECT_EQ(t.nodeCount, 0);
    EXPECT_EQ(t.leafCount, 0);
    EXPECT_EQ(t.fileSize, 0);
    EXPECT_TRUE(t.rankNames.empty());
}

size_t lineCount(const std::string& s) {
    size_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

// A failure is reported on one line naming the file and a byte offset.
void expectOneDiagnostic(const Result& r, const std::string& path, long offset = -1) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(lineCount(r.errors), 1u) << r.errors;
    EXPECT_NE(r.errors.find(path), std::string::npos) << r.errors;
    std::string at = offset < 0 ? "byte " : "byte " + std::to_string(offset) + ":";
    EXPECT_NE(r.errors.find(at), std::string::npos) << r.errors;
}

int openDescriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d)) ++n;
    closedir(d);
    return n;
}

}  // namespace

TEST(ReadClassification, NumbersLevelsCountsRanksAndProgressOfTheExample) {
    std::string text = exampleFile();
    ClassificationTree t;
    t.treeId = 2;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1) << r.errors;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(t.nodeCount, 5);
    EXPECT_EQ(t.leafCount, 3);
    EXPECT_EQ(t.fileSize, static_cast<int64_t>(text.size()));
    ASSERT_EQ(childNames(&t), "A,D");
    TreeNode* a = t.children[0];
    TreeNode* d = t.children[1];
    ASSERT_EQ(childNames(a), "B,E");
    TreeNode* b = a->children[0];
    TreeNode* e = a->children[1];
    std::vector<std::pair<TreeNode*, int>> expected = {{&t, 0}, {a, 1}, {b, 2}, {e, 3}, {d, 4}};
    std::vector<int> levels = {0, 1, 2, 2, 1};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first->number, expected[i].second);
        EXPECT_EQ(expected[i].first->level, levels[i]);
        EXPECT_EQ(expected[i].first->onlyInTree, 0);
    }
    EXPECT_STREQ(t.latinName, "Root");
    EXPECT_STREQ(a->commonName, "ayes");
    EXPECT_STREQ(b->commonName, "");
    EXPECT_STREQ(d->rankName, "Genus");
    EXPECT_TRUE(b->children.empty());
    // Colours come from the rank table.
    for (TreeNode* n : {static_cast<TreeNode*>(&t), a, b, d}) {
        uint8_t rgb[3];
        ASSERT_TRUE(rankColor(rankFromName(n->rankName), rgb));
        EXPECT_EQ(0, std::memcmp(rgb, n->color, 3)) << n->latinName;
    }
    // Rank names in order of first appearance, each once.
    ASSERT_EQ(t.rankNames.size(), 4u);
    EXPECT_STREQ(t.rankNames[0], "Order");
    EXPECT_STREQ(t.rankNames[1], "Family");
    EXPECT_STREQ(t.rankNames[2], "Species");
    EXPECT_STREQ(t.rankNames[3], "Genus");
    // Its own copy, unless it is one of the shared rank names, which are never freed.
    EXPECT_TRUE(t.rankNames[0] != t.rankName || isSharedName(t.rankName));
    // Untouched by the reader.
    EXPECT_EQ(t.treeId, 2);
    EXPECT_EQ(t.maxLevel, -999);
    EXPECT_DOUBLE_EQ(t.x, 0.05);
    EXPECT_DOUBLE_EQ(t.width, 0.9);
    EXPECT_TRUE(t.latinIndex.empty());
    EXPECT_TRUE(t.commonIndex.empty());
    // One progress line per branch, at the position just after its values.
    size_t afterRoot = text.find("\n", text.find("\"Order\"")) + 1;
    size_t afterA = text.find("\n", text.find("\"Family\"")) + 1;
    EXPECT_EQ(r.console, progressLine(afterRoot, text.size()) + progressLine(afterA, text.size()));
}

TEST(ReadClassification, ProgressLineTextIsExact) {
    // A root taking exactly half of the file: the line shows 50 with six decimals.
    std::string head = "<branch>\n" + values("R", "Class");
    std::string text = head + "</branch>\n";
    text += std::string(head.size() * 2 - text.size() - 1, ' ') + "\n";
    ClassificationTree t;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1);
    EXPECT_EQ(r.console, "50.000000 % loading\n");
}

TEST(ReadClassification, EmptyRootIsATreeOfOneNode) {
    std::string text = "<branch>\n" + values("Mammalia", "Class", "mammals") + "</branch>";
    ClassificationTree t;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1);
    EXPECT_EQ(t.nodeCount, 1);
    EXPECT_EQ(t.leafCount, 0);
    EXPECT_TRUE(t.children.empty());
    EXPECT_STREQ(t.commonName, "mammals");
    ASSERT_EQ(t.rankNames.size(), 1u);
    EXPECT_STREQ(t.rankNames[0], "Class");
    EXPECT_EQ(lineCount(r.console), 1u);
}

TEST(ReadClassification, PreambleLinesAreSkippedWhole) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<!-- a <branch> inside a comment -->\n"
        "<classification> <branch>\n"
        "\n"
        "   <branch>x not the tag either\n"
        "<branch>\n" +
        values("Real", "Class") + leaf("L") + "</branch>\n";
    ClassificationTree t;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1) << r.errors;
    EXPECT_STREQ(t.latinName, "Real");
    EXPECT_EQ(t.nodeCount, 2);
    EXPECT_EQ(childNames(&t), "L");
}

TEST(ReadClassification, ValuesAreReadByPosition) {
    std::string text =
        "<branch>\n"
        "<attr name=\"latin\" value=\"Felis catus\"/> </branch> ignored\n"  // rest of line dropped
        "x y\t\"\"\"\"\"\"\"\"\n"                   // empty value after eight quote bytes
        "w1\nw2\n1234567Some rank\t with tab\"\n"  // words on lines of their own; eight bytes
                                                   // starting with the line feed
        "<leaf>\n" +
        values("Panthera  leo", "Species", "lion") +
        "</leaf>\n"
        "</branch>\n";
    ClassificationTree t;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1) << r.errors;
    EXPECT_STREQ(t.latinName, "Felis catus");
    EXPECT_STREQ(t.commonName, "");
    EXPECT_STREQ(t.rankName, "Some rank\t with tab");
    EXPECT_EQ(t.color[0] + t.color[1] + t.color[2], 0);  // unknown rank: no colour
    ASSERT_EQ(t.children.size(), 1u);
    EXPECT_STREQ(t.children[0]->latinName, "Panthera  leo");
    EXPECT_STREQ(t.children[0]->commonName, "lion");
    EXPECT_STREQ(t.rankNames[0], "Some rank\t with tab");
}

TEST(ReadClassification, CrLfFilesReadLikeLfFiles) {
    std::string lf = exampleFile();
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ClassificationTree a, b;
    ASSERT_EQ(readText(a, lf).status, 1);
    ASSERT_EQ(readText(b, crlf).status, 1);
    EXPECT_EQ(b.nodeCount, a.nodeCount);
    EXPECT_EQ(b.leafCount, a.leafCount);
    EXPECT_EQ(childNames(&b), childNames(&a));
    EXPECT_STREQ(b.children[0]->commonName, "ayes");  // no carriage return kept
    EXPECT_STREQ(b.rankNames[2], "Species");
}

TEST(ReadClassification, DuplicateStrayAndMisplacedTokens) {
    std::string text =
        "<branch>\n" + values("R", "Class") +
        "<junk> </leaf> <Branch> <leaf>x\n"  // stray tokens, ignored one by one...
        "\n" +
        values("Leaf with junk tag", "Species") +  // ...but "<leaf>x" is not <leaf>
        leaf("Twin") + leaf("Twin") +
        // The closing tag on the third value line goes with the rest of that line, so the
        // next entry's <leaf> is taken as this leaf's closing token and D is never read.
        "<leaf>\n" + valueLine("latin", "C") + valueLine("common", "") +
        "  <attr name=\"rank\" value=\"Species\"/></leaf>\n" + leaf("D") +
        branch("A", "Order", leaf("A1") + "</branch>\n" + leaf("AfterStrayClose")) +
        leaf("Last") + "</branch>\n" + leaf("NeverRead") + "\x01\x02 binary tail";
    ClassificationTree t;
    Result r = readText(t, text);
    ASSERT_EQ(r.status, 1) << r.errors;
    // The stray </branch> inside A ended it early; the leaf after it belongs to the root,
    // and A's own closing tag then ended the root, so "Last" is never read.
    EXPECT_EQ(childNames(&t), "Twin,Twin,C,A,AfterStrayClose");
    EXPECT_EQ(childNames(t.children[3]), "A1");
    EXPECT_EQ(t.nodeCount, 7);
    EXPECT_EQ(t.leafCount, 5);
    EXPECT_EQ(t.children[4]->number, 6);
}

TEST(ReadClassification, LongTokensAndValuesUpToTheBinaryLimit) {
    for (size_t length : {size_t(127), size_t(128), size_t(1000), kMaxNameLength}) {
        std::string name(length, 'n');
        std::string token = "<" + std::string(length - 1, 't');
        std::string text = token + " preamble line\n" + "<branch>\n" + values(name, "Class") +
                           token + "\n" + leaf("L", "Species", name) + "</branch>\n";
        ClassificationTree t;
        Result r = readText(t, text);
        ASSERT_EQ(r.status, 1) << length << r.errors;
        EXPECT_EQ(std::strlen(t.latinName), length);
        EXPECT_EQ(std::strlen(t.children.at(0)->commonName), length);
    }
}

TEST(ReadClassification, OverLongTokensAndValuesFail) {
    std::string tooLong(kMaxNameLength + 1, 'n');
    std::string base = "<branch>\n" + values("R", "Class");
    struct Case {
        std::string text;
        size_t offset;
    };
    std::vector<Case> cases = {
        {tooLong + "\n" + base + "</branch>\n", 0},                     // preamble token
        {base + tooLong + "\n</branch>\n", base.size()},                // stray token
        {"<branch>\n" + valueLine("latin", tooLong), 0},                // value
        {"<branch>\n" + tooLong + " w \" value=\"R\"/>\n", 9},          // first word
    };
    cases[2].offset = cases[2].text.find(tooLong);
    TempDir dir;
    for (const Case& c : cases) {
        std::string path = dir.write("long.xml", c.text);
        ClassificationTree t;
        Result r = readFile(t, path);
        expectOneDiagnostic(r, path, static_cast<long>(c.offset));
        expectUntouched(t);
    }
}

TEST(ReadClassification, NestingDepthIsLimited) {
    auto nested = [](int branches) {
        std::string open = "<branch>\n" + values("N", "Genus");
        std::string text;
        for (int i = 0; i < branches; ++i) text += open;
        text += leaf("Deepest");
        for (int i = 0; i < branches; ++i) text += "</branch>\n";
        return text;
    };
    {
        ClassificationTree t;
        Result r = readText(t, nested(kMaxClassificationDepth));
        ASSERT_EQ(r.status, 1) << r.errors;
        EXPECT_EQ(t.nodeCount, kMaxClassificationDepth + 1);
        EXPECT_EQ(lineCount(r.console), static_cast<size_t>(kMaxClassificationDepth));
        const TreeNode* n = &t;
        while (!n->children.empty()) n = n->children[0];
        EXPECT_STREQ(n->latinName, "Deepest");
        EXPECT_EQ(n->level, kMaxClassificationDepth);
    }
    std::string deeper = nested(kMaxClassificationDepth + 1);
    TempDir dir;
    std::string path = dir.write("deep.xml", deeper);
    ClassificationTree t;
    Result r = readFile(t, path);
    size_t offset = 0;
    // The branch that fails is the one opened inside 4096 others.
    for (int i = 0; i <= kMaxClassificationDepth; ++i) offset = deeper.find("<branch>", offset) + 1;
    expectOneDiagnostic(r, path, static_cast<long>(offset - 1));
    expectUntouched(t);
}

TEST(ReadClassification, EveryTruncationBeforeTheRootClosesFails) {
    std::string full = exampleFile() + "\n";
    size_t rootClosed = full.rfind("</branch>") + std::strlen("</branch>");
    ClassificationTree reference;
    ASSERT_EQ(readText(reference, full).status, 1);
    TempDir dir;
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        std::string path = dir.write("cut.xml", full.substr(0, cut));
        ClassificationTree t;
        t.treeId = 1;
        Result r = readFile(t, path);
        if (cut < rootClosed) {
            expectOneDiagnostic(r, path);
            expectUntouched(t);
            EXPECT_EQ(t.treeId, 1);
        } else {
            ASSERT_EQ(r.status, 1) << cut;
            EXPECT_EQ(t.nodeCount, reference.nodeCount);
            EXPECT_EQ(t.fileSize, static_cast<int64_t>(cut));
        }
    }
}

TEST(ReadClassification, EarlyEndsAreReportedWhereTheyHappen) {
    std::string root = "<branch>\n" + values("R", "Class");
    struct Case {
        std::string text;
        const char* expected;
    };
    std::vector<Case> cases = {
        {"", "<branch>"},
        {"<?xml version=\"1.0\"?>", "line feed"},        // inside a skipped line
        {root, "</branch>"},                                // root never closed
        {"<branch>\n  <attr name=\"latin\" value=\"Felis", "double quote"},
        {"<branch>\n  <attr name=\"latin\" val", "eight bytes"},
        {"<branch>\n" + valueLine("latin", "R") + valueLine("common", "") +
             "  <attr name=\"rank\" value=\"Class\"/> </branch>",  // last value line unended
         "line feed"},
        {root + "<leaf>\n" + values("L", "Species"), "closing the leaf"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string path = dir.write("early.xml", c.text);
        ClassificationTree t;
        Result r = readFile(t, path);
        expectOneDiagnostic(r, path, static_cast<long>(c.text.size()));
        EXPECT_NE(r.errors.find(c.expected), std::string::npos) << r.errors;
        expectUntouched(t);
    }
}

TEST(ReadClassification, JunkNulBytesAndRandomTagSoupNeverBreakTheReader) {
    std::mt19937 rng(12345);
    const std::vector<std::string> pieces = {
        "<branch>", "<leaf>", "</branch>", "</leaf>", "\"", "\n", " ", "\t", "\r\n",
        std::string("\0", 1), "<attr name=\"latin\" value=\"X\"/>\n", "value=\"", "\xff\xfe"};
    TempDir dir;
    std::string path = dir.file("junk.xml");
    int successes = 0;
    for (int round = 0; round < 1000; ++round) {
        std::string text;
        int length = static_cast<int>(rng() % 200);
        bool bytesOnly = round % 3 == 0;
        for (int i = 0; i < length; ++i) {
            if (bytesOnly) text += static_cast<char>(rng() & 0xff);
            else text += pieces[rng() % pieces.size()];
        }
        dir.write("junk.xml", text);
        ClassificationTree t;
        Result r = readFile(t, path);  // checks validate() on success
        if (r.status) {
            ++successes;
            EXPECT_EQ(r.errors, "");
            EXPECT_GE(t.nodeCount, 1);
        } else {
            EXPECT_EQ(lineCount(r.errors), 1u);
            expectUntouched(t);
        }
    }
    // The soup holds some well-formed files too, so the success path is exercised.
    EXPECT_GT(successes, 0);
}

TEST(ReadClassification, DirectoriesMissingFilesSpecialFilesAndDescriptors) {
    TempDir dir;
    int before = openDescriptors();
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO without a writer would block a plain open, and /dev/zero never ends.
    for (const std::string& path :
         {dir.path().string(), dir.file("missing.xml"), fifo, std::string("/dev/zero")}) {
        ClassificationTree t;
        Result r = readFile(t, path);
        expectOneDiagnostic(r, path, 0);
        expectUntouched(t);
    }
    ClassificationTree ok, bad;
    EXPECT_EQ(readText(ok, exampleFile()).status, 1);
    EXPECT_EQ(readText(bad, "<branch>\n").status, 0);
    EXPECT_EQ(openDescriptors(), before);  // no handle left open, whichever way it ended
}

// A NUL byte inside a value would cut the name once stored: the file is refused at the NUL,
// whether the value is short or runs past the reader's 64-byte windows. NULs in tokens
// that are ignored do no harm.
TEST(ReadClassification, NulInsideAValueIsRefusedAtItsOffset) {
    const std::string head = "<branch>\n" + valueLine("latin", "Root") + valueLine("common", "");
    const std::string longName(200, 'a');
    for (const std::string& rank : {std::string("Ord\0er", 6), longName + '\0' + "x"}) {
        const std::string text = head + valueLine("rank", rank) + "</branch>\n";
        const size_t at = text.find('\0');
        ClassificationTree t;
        Result r = readText(t, text);
        expectOneDiagnostic(r, "c.xml", static_cast<long>(at));
        EXPECT_NE(r.errors.find("NUL"), std::string::npos) << r.errors;
        expectUntouched(t);
    }
    ClassificationTree ok;
    std::string strayNul = "<branch>\n" + values("Root", "Order") + std::string("x\0y\n", 4) + "</branch>\n";
    EXPECT_EQ(readText(ok, strayNul).status, 1);
}

// From memory, the reading is the file's byte for byte: tree, console and diagnostic, with
// the label in place of the file name, on one thread or two.
TEST(ReadClassification, BytesInMemoryReadAsTheFileOfThoseBytes) {
    TempDir dir;
    const std::string text = exampleFile();
    const std::string bad = text.substr(0, text.size() - 20);
    for (const std::string& bytes : {text, bad}) {
        const std::string path = dir.write("same.xml", bytes);
        for (size_t split : {size_t(0), bytes.find("<leaf>"), bytes.size() / 2}) {
            ClassificationTree fromFile, fromMemory;
            Result file = readFile(fromFile, path);
            Result memory;
            {
                ConsoleCapture console;
                testing::internal::CaptureStderr();
                memory.status = readClassificationBytesSplitAt(fromMemory, bytes.data(), bytes.size(),
                                                               path.c_str(), split);
                memory.errors = testing::internal::GetCapturedStderr();
                memory.console = console.text();
            }
            EXPECT_EQ(memory.status, file.status);
            EXPECT_EQ(memory.console, file.console);
            EXPECT_EQ(memory.errors, file.errors);
            EXPECT_EQ(fromMemory.fileSize, fromFile.fileSize);
            EXPECT_EQ(fromMemory.nodeCount, fromFile.nodeCount);
            EXPECT_EQ(childNames(&fromMemory), childNames(&fromFile));
        }
    }
    ClassificationTree none;
    testing::internal::CaptureStderr();
    EXPECT_EQ(readClassificationBytes(none, nullptr, 0, "nothing"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("nothing: byte 0:"), std::string::npos);
}

// Past a few distinct ranks they are looked up by hash: the list still holds each once, in
// the order of first appearance, the same wherever the second thread's part begins.
TEST(ReadClassification, ManyDistinctRanksAreListedOnceInTheirOrder) {
    std::string body, expected = "Order";
    for (int i = 0; i < 40; ++i) {
        body += leaf("T" + std::to_string(i), "r" + std::to_string(i));
        expected += ",r" + std::to_string(i);
    }
    for (int i = 39; i >= 0; i -= 3) body += leaf("U" + std::to_string(i), "r" + std::to_string(i));
    body += leaf("V", "Species");
    expected += ",Species";
    const std::string bytes = "<?xml version=\"1.0\"?>\n" + branch("Root", "Order", body);
    for (size_t split : {size_t(0), bytes.size() / 3, bytes.size() / 2, bytes.size() - 200}) {
        ClassificationTree tree;
        ConsoleCapture console;
        ASSERT_EQ(readClassificationBytesSplitAt(tree, bytes.data(), bytes.size(), "ranks.xml", split), 1);
        std::string ranks;
        for (const char* r : tree.rankNames) ranks += std::string(ranks.empty() ? "" : ",") + r;
        EXPECT_EQ(ranks, expected) << split;
    }
}

namespace {

// A file of many branches whose first batch of progress lines, written while the reading is
// well under way, shortens the file being read: as another program rewriting it would.
struct Shortener {
    std::string path;
    off_t to = 0;
    int calls = 0;
    static void onConsole(void* self, const char*, size_t) {
        auto* s = static_cast<Shortener*>(self);
        if (s->calls++ == 0) {
            EXPECT_EQ(truncate(s->path.c_str(), s->to), 0);
        }
    }
};

std::string manyBranches(int count) {
    std::string body;
    for (int i = 0; i < count; ++i)
        body += branch("Taxon " + std::to_string(i), "Genus", leaf("Taxon " + std::to_string(i) + " x"));
    return "<?xml version=\"1.0\"?>\n" + branch("Root", "Order", body);
}

}  // namespace

TEST(ReadClassification, AFileShortenedWhileReadIsAReadErrorNotASignal) {
    TempDir dir;
    const std::string text = manyBranches(20000);  // progress lines are written in 64 KiB batches
    for (size_t split : {size_t(0), text.size() / 2}) {
        // Cut before the split, so that the first thread meets the cut whatever the second did.
        for (off_t to : {off_t(0), static_cast<off_t>(text.size() / 3)}) {
            Shortener s{dir.write("shrinking.xml", text), to};
            setConsoleSink(&Shortener::onConsole, &s);
            ClassificationTree t;
            Result r;
            {
                ConsoleCapture console;
                testing::internal::CaptureStderr();
                r.status = readClassificationSplitAt(t, s.path.c_str(), split);
                r.errors = testing::internal::GetCapturedStderr();
            }
            setConsoleSink(nullptr, nullptr);
            ASSERT_GT(s.calls, 0);
            expectOneDiagnostic(r, s.path);
            EXPECT_NE(r.errors.find("changed while it was read"), std::string::npos) << r.errors;
            expectUntouched(t);
        }
    }
    // The same file left alone still reads.
    ClassificationTree whole;
    EXPECT_EQ(readFile(whole, dir.write("whole.xml", text)).status, 1);
}

// Only the reader's own mappings are guarded: a shortened mapping read anywhere else still
// ends the process as before.
TEST(ReadClassificationDeathTest, ASigbusElsewhereKeepsItsDefaultAction) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the reader keeps a thread
    TempDir dir;
    ClassificationTree t;
    ASSERT_EQ(readText(t, exampleFile()).status, 1);  // the handler is in place from here on
    const std::string path = dir.write("elsewhere.bin", std::string(3 * 4096, 'x'));
    EXPECT_DEATH(
        {
            int fd = open(path.c_str(), O_RDONLY);
            auto* p = static_cast<const volatile char*>(mmap(nullptr, 3 * 4096, PROT_READ, MAP_PRIVATE, fd, 0));
            if (ftruncate(open(path.c_str(), O_WRONLY), 0) != 0) std::abort();
            std::fprintf(stderr, "read %d\n", p[2 * 4096]);
        },
        "");
}
