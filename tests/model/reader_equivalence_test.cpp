// The reader that splits a file between two threads must give exactly what one thread
// reading front to back gives, wherever the split falls. Every outcome here is compared
// with the one-thread reference: return value, the whole tree, counts, rank names, the
// progress lines and the diagnostic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "ClassificationGenerator.h"
#include "ClassificationReader.h"
#include "ReaderOutcomes.h"
#include "ReferenceReader.h"
#include "TestSupport.h"

namespace {

// ---------------------------------------------------------------------------------------
// Running cases

unsigned long envNumber(const char* name, unsigned long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

// Seed, number of cases and the one case to run alone, of a randomised test: from the
// environment, else the defaults (fewer cases in the slow sanitizer and debug builds).
struct RandomRun {
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    static constexpr bool kSlowBuild = true;
#else
    static constexpr bool kSlowBuild = false;
#endif
    unsigned long seed, cases, only;
    RandomRun(unsigned long optimisedCases, unsigned long slowCases)
        : seed(envNumber("CLADORAMA_EQUIV_SEED", 20240611)),
          cases(envNumber("CLADORAMA_EQUIV_CASES", kSlowBuild ? slowCases : optimisedCases)),
          only(envNumber("CLADORAMA_EQUIV_CASE", ~0ul)) {}
};

// Reads `bytes` with the reference, with readClassification and at every split in
// `splits`; records a test failure naming `label` and the first failing split, then
// minimises the file when it is small, for `minimiseSeconds` at most (overridden by
// CLADORAMA_EQUIV_MINIMISE).
bool expectSameEverywhere(const TempDir& dir, const std::string& bytes,
                          const std::vector<size_t>& splits, const std::string& label,
                          int minimiseSeconds = 0) {
    std::string why;
    long long at;
    {
        Subject s(dir, bytes);
        at = s.firstFailure(splits, &why);
    }
    if (at == -2) return true;
    std::string report = label + ", " + std::to_string(bytes.size()) + " bytes, " +
                         (at < 0 ? std::string("readClassification")
                                 : "split at " + std::to_string(at)) +
                         ": " + why;
    if (bytes.size() <= 400) report += "\nfile: " + literal(bytes);
    if (minimiseSeconds > 0)
        minimiseSeconds = static_cast<int>(envNumber("CLADORAMA_EQUIV_MINIMISE", minimiseSeconds));
    if (minimiseSeconds > 0 && bytes.size() <= 20000) {
        auto [small, smallAt] = minimise(dir, bytes, std::chrono::seconds(minimiseSeconds));
        if (smallAt != -2) {
            Subject s(dir, small);
            std::string smallWhy = s.check(smallAt);
            report += "\nminimal (" + std::to_string(small.size()) + " bytes, split " +
                      std::to_string(smallAt) + "): " + smallWhy + "\n" + literal(small);
        }
    }
    ADD_FAILURE() << report;
    return false;
}

// ---------------------------------------------------------------------------------------
// Targeted cases

std::string valueLine(const char* word, const std::string& value) {
    return std::string("  <attr name=\"") + word + "\" value=\"" + value + "\"/>\n";
}
std::string values(const std::string& latin, const std::string& rank) {
    return valueLine("latin", latin) + valueLine("common", "") + valueLine("rank", rank);
}
std::string leaf(const std::string& latin, const std::string& end = "</leaf>") {
    return "<leaf>\n" + values(latin, "Species") + end + "\n";
}
std::string branch(const std::string& latin, const std::string& rank,
                   const std::string& contents) {
    return "<branch>\n" + values(latin, rank) + contents + "</branch>\n";
}

// A small file with a bit of everything the split has to get right.
std::string sampleFile() {
    return "<?xml version=\"1.0\"?>\n<meta> <branch> ignored\n" +
           branch("Root", "Order",
                  branch("A <branch> B", "Family", leaf("C") + leaf("D", "<branch>")) +
                      leaf("E </branch> F") + "  <!-- stray --> \n" +
                      branch("G", "Clade", branch("H", "Genus", leaf("I\n<branch>\nJ")))) +
           "<leaf>\n</branch>\n<branch>\n";
}

size_t nth(const std::string& s, const std::string& what, int n) {
    size_t at = std::string::npos;
    for (int i = 0, from = 0; i <= n; ++i, from = static_cast<int>(at) + 1) {
        at = s.find(what, static_cast<size_t>(from));
        if (at == std::string::npos) return at;
    }
    return at;
}

std::vector<size_t> around(size_t at, size_t radius = 3) {
    std::vector<size_t> s;
    for (size_t i = at > radius ? at - radius : 0; i <= at + radius; ++i) s.push_back(i);
    return s;
}

}  // namespace

TEST(ReaderEquivalence, TargetedSplitPositions) {
    TempDir dir;
    std::string f = sampleFile();
    {
        // The reference itself reads the sample as intended, so the cases below are about
        // what they claim to be.
        ClassificationTree t;
        std::string path = dir.write("c.xml", f);
        Outcome o = readWith(t, [&](ClassificationTree& tree) {
            return referenceReadClassification(tree, path.c_str());
        });
        ASSERT_EQ(o.status, 1) << o.errors;
        EXPECT_EQ(o.errors, "");
        EXPECT_EQ(childNames(&t), "A <branch> B,E </branch> F,G");
        EXPECT_EQ(childNames(t.children[0]), "C,D");
        EXPECT_EQ(t.nodeCount, 8);
        EXPECT_EQ(std::count(o.console.begin(), o.console.end(), '\n'), 4);
    }
    const size_t root = nth(f, "<branch>", 1);
    struct Case {
        const char* what;
        size_t at;
    } cases[] = {
        {"(a) on a <branch> token", nth(f, "<branch>\n  <attr name=\"latin\" value=\"A", 0)},
        {"(a) on the deepest <branch> token", nth(f, "<branch>\n  <attr name=\"latin\" value=\"H", 0)},
        {"(b) on a <leaf> token", nth(f, "<leaf>", 0)},
        {"(b) on the last <leaf> token", nth(f, "<leaf>\n  <attr name=\"latin\" value=\"I", 0)},
        {"(c) on whitespace before a token", nth(f, "<leaf>", 1) - 1},
        {"(c) on indentation before a value line", nth(f, "  <attr", 4)},
        {"(d) inside a value holding <branch>", nth(f, "<branch> B", 0)},
        {"(d) inside a value over a line feed", nth(f, "<branch>\nJ", 0)},
        {"(d) inside a value holding </branch>", nth(f, "</branch> F", 0)},
        {"(e) inside the preamble", nth(f, "<branch> ignored", 0)},
        {"(e) on the root's <branch>", root},
        {"(f) on a leaf's discarded <branch>", nth(f, "<branch>\n</branch>", 0)},
        {"(f) on a leaf's discarded </leaf>", nth(f, "</leaf>", 0)},
        {"(g) after the root closes", nth(f, "<leaf>\n</branch>\n<branch>\n", 0)},
        {"(g) on the root's </branch>", nth(f, "</branch>\n<leaf>\n</branch>", 0)},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.at, std::string::npos) << c.what;
        expectSameEverywhere(dir, f, around(c.at), c.what);
    }
    // (i) the file ends early after the split, at every byte from the split on.
    size_t split = nth(f, "<leaf>", 1);
    for (size_t end = split; end < f.size(); end += 1 + end % 13)
        expectSameEverywhere(dir, f.substr(0, end), {split, split + 1, end / 2 + split / 2},
                             "(i) ends at " + std::to_string(end));
    // (g) Whole nodes after the root closes, which the second thread reads too but the
    // first never looks at.
    std::string after = f.substr(0, nth(f, "<leaf>\n</branch>\n<branch>\n", 0)) + leaf("After") +
                        branch("Second", "Kingdom", leaf("Z")) + "</classification>\n";
    expectSameEverywhere(dir, after, tokenSplits(after), "(g) whole nodes after the root");
    // And every split of the whole sample, and of the sample cut at the middle.
    expectSameEverywhere(dir, f, everySplit(f.size()), "sample, every split", 30);
    expectSameEverywhere(dir, f.substr(0, f.size() / 2), everySplit(f.size() / 2),
                         "sample cut in half, every split", 30);
}

TEST(ReaderEquivalence, FirstOfTwoErrorsIsTheOneReported) {
    TempDir dir;
    // (j) The first part ends a value line without its line feed mid-file, the second
    // part holds an over-long token; only the first may be reported.
    std::string good = sampleFile();
    FileGenerator gen(7);
    std::string second = " " + gen.longToken(kMaxNameLength + 1) + " ";
    std::vector<std::string> files;
    // An unclosed value in the first part runs into the second.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"" +
                    std::string(40000, 'v') + "\n</branch>\n" + second + "</branch>\n");
    // Nesting too deep in the first part, an early end in the second.
    files.push_back(gen.nested(4097, false) + "<leaf> a b value=\"");
    // Over-long token in the first part, too deep nesting after it.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"\"\n" + second +
                    gen.nested(4100, true));
    // A value line missing its words in the first part, an over-long token in the second.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"\"\n<leaf>\n a\n" +
                    second);
    // A correct first half, then two errors in the second.
    files.push_back(good.substr(0, nth(good, "</branch>", 2)) + second + gen.nested(4100, false));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& b = files[i];
        {
            Subject s(dir, b);
            EXPECT_EQ(s.expected().status, 0) << "file " << i;
        }
        std::vector<size_t> splits = sampledSplits(b.size(), gen.rng(), 12, 4);
        for (size_t k = 1; k < 8; ++k) splits.push_back(b.size() * k / 8);
        expectSameEverywhere(dir, b, splits, "(j) file " + std::to_string(i));
    }
}

TEST(ReaderEquivalence, NestingAroundTheDepthLimit) {
    // (h) Root plus 4094, 4095 or 4096 nested branches: the last of these is one too deep.
    TempDir dir;
    FileGenerator gen(11);
    for (int levels : {4095, 4096, 4097}) {
        for (bool closed : {true, false}) {
            if (!closed && levels != kMaxClassificationDepth) continue;
            std::string f = gen.nested(levels, closed);
            {
                Subject s(dir, f);
                EXPECT_EQ(s.expected().status, closed && levels <= kMaxClassificationDepth ? 1 : 0)
                    << levels << " " << s.expected().errors;
            }
            size_t last = f.rfind("<branch>");
            size_t mid = nth(f, "<branch>", levels / 2);
            std::vector<size_t> splits = sampledSplits(f.size(), gen.rng(), 6, 2);
            for (size_t s : around(last, 2)) splits.push_back(s);
            for (size_t s : around(mid, 2)) splits.push_back(s);
            splits.push_back(nth(f, "</branch>", 0));
            splits.push_back(nth(f, "</branch>", levels / 2));
            expectSameEverywhere(dir, f, splits,
                                 "nesting " + std::to_string(levels) + (closed ? " closed" : " open"));
        }
    }
}

TEST(ReaderEquivalence, OverLongTokensAndValuesAcrossTheSplit) {
    TempDir dir;
    FileGenerator gen(13);
    std::string head = "<branch>\n a b value=\"R\"\n a b value=\"\"\n a b value=\"Order\"\n";
    std::string tail = leaf("L") + "</branch>\n";
    for (size_t length : {kMaxNameLength - 1, kMaxNameLength, kMaxNameLength + 1,
                          kMaxNameLength + 2}) {
        std::string token = gen.longToken(length);
        std::vector<std::string> files = {
            head + " " + token + "\n" + tail,                              // stray token
            head + "<leaf>\n " + token + " b value=\"x\"\n a b value=\"\"\n a b value=\"\"\n" +
                "</leaf>\n</branch>\n",                                    // first word
            head + "<leaf>\n a b value=\"" + token + "\"\n a b value=\"\"\n a b value=\"\"\n" +
                "</leaf>\n</branch>\n",                                    // value
            head + "<leaf>\n a b value=\"" + token + "\n",                 // value never closed
        };
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& f = files[i];
            size_t start = head.size();
            std::vector<size_t> splits = sampledSplits(f.size(), gen.rng(), 10, 4);
            for (size_t s : around(start + 2, 4)) splits.push_back(s);
            for (size_t s : around(start + length, 6)) splits.push_back(s);
            expectSameEverywhere(dir, f, splits,
                                 "long " + std::to_string(length) + " file " + std::to_string(i));
        }
    }
}

TEST(ReaderEquivalence, LargeFileReadWithTheReadersOwnSplit) {
    // Large enough that readClassification may split it on its own.
    TempDir dir;
    FileGenerator gen(17);
    std::string f = "<?xml?>\n<branch>\n a b value=\"Big\"\n a b value=\"\"\n a b value=\"Kingdom\"\n";
    while (f.size() < (size_t{9} << 19)) f += gen.subtree(64 * 1024);
    f += "</branch>\n";
    {
        Subject s(dir, f);
        ASSERT_EQ(s.expected().status, 1) << s.expected().errors;
    }
    expectSameEverywhere(dir, f, {f.size() / 3, f.size() / 2 + 1, f.size() - 100}, "large file");
}

// A file that fills its last page exactly leaves no readable byte after its end: any read
// past it faults. Files one block either side of the page, ending in a token, a value or
// blanks.
TEST(ReaderEquivalence, FilesEndingOnAPageBoundary) {
    TempDir dir;
    FileGenerator gen(19);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t size : {page - 1, page, page + 1, 2 * page, 2 * page + 63}) {
        for (int ending = 0; ending < 4; ++ending) {
            std::string f;
            while (f.size() < size) f = gen.wellFormed(size);
            if (ending == 0) {  // cut anywhere: mid-token or mid-value
                f.resize(size);
            } else {
                // The whole file, then blanks (1), a token (2) or an open value (3) to fill it.
                f = gen.wellFormed(size / 2);
                if (f.size() > size) f.resize(size);
                if (ending == 2) f += std::string(size - f.size(), 'x');
                if (ending == 3) f += "<leaf> a b value=\"" + std::string(size, 'v');
                f.resize(size, ' ');
            }
            std::vector<size_t> splits{size / 2, size - 64, size - 9, size - 1};
            for (size_t s : tokenSplits(f))
                if (s + 200 > size) splits.push_back(s);
            expectSameEverywhere(dir, f, splits,
                                 "size " + std::to_string(size) + " ending " + std::to_string(ending));
        }
    }
}

// Many well-formed files split where the second thread's part is taken over, or just
// misses being taken over.
TEST(ReaderEquivalence, RandomFilesAtEveryTokenStart) {
    const RandomRun run(200, 20);
    const unsigned long seed = run.seed, cases = run.cases, only = run.only;
    TempDir dir;
    int failures = 0;
    for (unsigned long c = 0; c < cases && failures < 5; ++c) {
        if (only != ~0ul && c != only) continue;
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(c), 1u};
        std::mt19937 caseRng(seq);
        FileGenerator gen(static_cast<uint32_t>(caseRng()));
        std::string f = gen.wellFormed(60 + gen.below(gen.chance(0.1) ? 3000 : 600));
        if (gen.chance(0.15)) gen.mutate(f);
        std::string label = "seed " + std::to_string(seed) + " token case " + std::to_string(c) +
                            " (rerun with CLADORAMA_EQUIV_SEED=" + std::to_string(seed) +
                            " CLADORAMA_EQUIV_CASE=" + std::to_string(c) +
                            " --gtest_filter=*TokenStart)";
        if (!expectSameEverywhere(dir, f, tokenSplits(f), label, failures == 0 ? 60 : 0))
            ++failures;
    }
}

TEST(ReaderEquivalence, RandomFilesAtEverySplit) {
    const RandomRun run(100, 15);
    const unsigned long seed = run.seed, cases = run.cases, only = run.only;
    TempDir dir;
    int failures = 0;
    unsigned long succeeded = 0, wellFormedCases = 0, read = 0;
    for (unsigned long c = 0; c < cases && failures < 5; ++c) {
        if (only != ~0ul && c != only) continue;
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(c)};
        std::mt19937 caseRng(seq);
        FileGenerator gen(static_cast<uint32_t>(caseRng()));
        std::string f;
        std::string kind;
        size_t pick = gen.below(100);
        size_t budget = gen.chance(0.05) ? 1500 + gen.below(5000) : 40 + gen.below(500);
        if (pick < 50) {
            kind = "well-formed";
            f = gen.wellFormed(budget);
            ++wellFormedCases;
        } else if (pick < 90) {
            kind = "broken";
            f = gen.broken(budget);
        } else if (pick < 93) {
            kind = "junk";
            f = gen.junk(gen.below(1500));
        } else if (pick < 96) {
            kind = "over-long token";
            f = gen.wellFormed(budget);
            f.insert(gen.below(f.size() + 1), gen.longToken(kMaxNameLength - 2 + gen.below(5)));
        } else if (pick < 98) {
            kind = "deep nesting";
            f = gen.nested(4090 + static_cast<int>(gen.below(12)), gen.chance(0.7));
            if (gen.chance(0.5)) gen.mutate(f);
        } else {
            kind = "truncated";
            f = gen.wellFormed(budget);
            f.resize(gen.below(f.size() + 1));
        }
        std::vector<size_t> splits = f.size() <= 1200
                                         ? everySplit(f.size())
                                         : sampledSplits(f.size(), gen.rng(), 64, 48);
        read += splits.size() + 2;
        std::string label = "seed " + std::to_string(seed) + " case " + std::to_string(c) +
                            " (" + kind + "; rerun with CLADORAMA_EQUIV_SEED=" +
                            std::to_string(seed) + " CLADORAMA_EQUIV_CASE=" +
                            std::to_string(c) + " --gtest_filter=*EverySplit)";
        if (!expectSameEverywhere(dir, f, splits, label, failures == 0 ? 60 : 0)) ++failures;
        if (kind == "well-formed") {
            Subject s(dir, f);
            succeeded += s.expected().status == 1;
        }
    }
    // The generator must keep producing files the reference accepts, or the comparison
    // would only ever see failures.
    if (only == ~0ul && cases >= 50) {
        EXPECT_GT(succeeded * 2, wellFormedCases) << succeeded << " of " << wellFormedCases;
    }
    std::printf("%lu cases, %lu reads, %lu of %lu well-formed files accepted\n", cases, read,
                succeeded, wellFormedCases);
}

// Every byte classifier the processor has (the tests above use the widest) reads alike: the
// sample at every split, files ending around a page boundary, and random files, among them
// broken ones and ones with NUL bytes, at every token start.
TEST(ReaderEquivalence, EveryByteClassifierTheProcessorHas) {
    const ReaderSimd widest = readerSimd();
    const RandomRun run(40, 6);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    TempDir dir;
    for (ReaderSimd simd : {ReaderSimd::Baseline, ReaderSimd::Avx2, ReaderSimd::Avx512}) {
        if (!setReaderSimd(simd)) continue;
        ASSERT_EQ(simd, readerSimd());
        const std::string name = readerSimdName(simd);
        const std::string f = sampleFile();
        expectSameEverywhere(dir, f, everySplit(f.size()), name + ": sample, every split");
        FileGenerator gen(23);
        for (size_t size : {page - 1, page, page + 63}) {
            std::string cut;
            while (cut.size() < size) cut = gen.wellFormed(size);
            cut.resize(size);
            expectSameEverywhere(dir, cut, {size / 2, size - 9},
                                 name + ": cut at " + std::to_string(size));
        }
        // A NUL in a short value, at each of the 64 places of a block.
        for (size_t k = 0; k < 64; ++k) {
            std::string file = "<branch>\n a b value=\"R\"\n a b value=\"\"\n a b value=\"O\"\n" +
                               std::string(k, ' ') + "<leaf>\n a b value=\"vvvvv";
            file += '\0';
            file += "vvvv\"\n a b value=\"\"\n a b value=\"\"\n</leaf>\n</branch>\n";
            expectSameEverywhere(dir, file, {file.size() / 2},
                                 name + ": NUL " + std::to_string(k) + " bytes further");
        }
        int failures = 0;
        for (unsigned long c = 0; c < run.cases && failures < 3; ++c) {
            std::string file = c % 3 == 2 ? gen.broken(40 + gen.below(800))
                                          : gen.wellFormed(60 + gen.below(1500));
            if (c % 4 == 1) gen.mutate(file);
            if (c % 5 == 3) file.insert(gen.below(file.size() + 1), 1, '\0');
            if (!expectSameEverywhere(dir, file, tokenSplits(file),
                                      name + ": random file " + std::to_string(c)))
                ++failures;
        }
    }
    setReaderSimd(widest);
}
