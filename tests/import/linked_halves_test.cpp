// Files of linked taxa read on two threads, the rows after the middle on the second: the
// same tree, the same console lines and the same failure, at the same line, as one reading
// from the top.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ClassificationReader.h"
#include "ImportFailure.h"
#include "ImportSupport.h"
#include "Packages.h"
#include "TestSupport.h"

namespace {

struct Reading {
    std::string tree, failure, console;
};

// Columns: id, parent, accepted, status, rank, name, common name. With `vernacular`, a
// common-name file of taxon id, name and language read after it. The tree goes to `read`
// when given. With `more`, a file that goes on with the same core is read after the first.
Reading readLinked(const std::string& text, bool halves, const std::string& vernacular = "",
                   imp::Dialect dialect = {'\t', 0}, ClassificationTree* read = nullptr,
                   const std::string& more = "") {
    ClassificationTree own;
    ClassificationTree& t = read ? *read : own;
    ConsoleCapture console;
    imp::FailureCatch failure;
    std::vector<std::string> header;
    imp::TaxonColumns c;
    c.id = 0;
    c.parent = 1;
    c.accepted = 2;
    c.status = 3;
    c.rank = 4;
    c.scientific = 5;
    c.vernacular = 6;
    imp::LinkedTaxa taxa;
    if (halves) taxa.linkOnTwoThreadsFrom(0);
    bool ok = true;
    for (const std::string* file : {&text, &more}) {
        if (file->empty()) continue;
        imp::DelimitedReader reader(file->data(), file->size(), dialect, "taxa.tsv");
        ok = ok && reader.header(header) &&
             imp::readTaxa(reader, c, taxa, halves ? 0 : SIZE_MAX);
    }
    if (ok && !vernacular.empty()) {
        imp::DelimitedReader names(vernacular.data(), vernacular.size(), {'\t', 0}, "names.tsv");
        ok = names.header(header) && imp::readVernacular(names, 0, 1, 2, SIZE_MAX, taxa);
    }
    ok = ok && taxa.build(t, "taxa.tsv", 0);
    const FileResult r = failure.result(ok, "taxa.tsv");
    return {ok ? dump(t) : "", r.ok() ? "" : r.failure().line(), console.text()};
}

std::string row(const std::string& id, const std::string& parent, const std::string& name,
                const std::string& status = "accepted", const std::string& accepted = "",
                const std::string& rank = "species", const std::string& common = "") {
    return id + "\t" + parent + "\t" + accepted + "\t" + status + "\t" + rank + "\t" + name +
           "\t" + common + "\n";
}

const char* kHeader = "id\tparent\taccepted\tstatus\trank\tname\tcommon\n";

// Forty genera of five species; taxa of each half hang from taxa of the other, through
// synonyms, under parents left out or missing; status words nobody knows and nameless rows
// on both sides of the middle.
std::string checklist(const std::string& extra = "") {
    std::string s = kHeader;
    s += row("g39", "fam", "Genus39", "accepted", "", "genus");  // its family comes last
    for (int g = 0; g < 40; ++g) {
        const std::string genus = "g" + std::to_string(g);
        if (g != 39) s += row(genus, "fam", "Genus" + std::to_string(g), "accepted", "", "genus");
        for (int k = 0; k < 5; ++k) {
            const std::string id = genus + "s" + std::to_string(k);
            // The first genus's last species names a genus of the second half.
            const std::string parent = g == 0 && k == 4 ? "g38" : genus;
            s += row(id, parent, "Genus" + std::to_string(g) + " sp" + std::to_string(k),
                     k == 3 ? "mystery" : "accepted", "", "species",
                     k == 1 ? "Common " + id : "");
        }
        if (g % 10 == 5) {
            s += row("syn" + genus, "", "Old" + genus, "synonym", genus, "genus");
            s += row("u" + genus, "syn" + genus, "Under old " + genus);  // under the synonym
            s += row("n" + genus, genus, "");                              // no name
            s += row("o" + genus, "gone" + genus, "Orphan " + genus);     // parent missing
            s += row("d" + genus, genus, "Doubtful " + genus, "misapplied");
            s += row("l" + genus, "d" + genus, "Left " + genus);  // parent left out
        }
    }
    s += row("fam", "", "Familia", "accepted", "", "family", "Family");
    return s + extra;
}

TEST(LinkedHalves, TwoThreadsReadWhatOneReads) {
    const std::string vernacular = "taxon\tname\tlanguage\ng0s2\tFirst\ten\ng39s2\tLast\tEnglish\n"
                                   "g39s1\tAnother\tde\nfam\tFamilie\tde\nnone\tNobody\ten\n";
    const Reading one = readLinked(checklist(), false, vernacular);
    ASSERT_EQ(one.failure, "");
    const Reading two = readLinked(checklist(), true, vernacular);
    EXPECT_EQ(two.failure, "");
    EXPECT_EQ(two.tree, one.tree);
    EXPECT_EQ(two.console, one.console);
    // What both must hold: taxa of either half under parents of the other, common names of
    // either half, the notes counted over both.
    EXPECT_NE(one.tree.find("    Genus38|Genus|\n      Genus0 sp4|Species|\n"
                            "      Genus38 sp0|Species|\n"),
              std::string::npos) << one.tree;
    EXPECT_NE(one.tree.find("Genus39 sp2|Species|Last\n"), std::string::npos);
    EXPECT_NE(one.tree.find("Genus0 sp1|Species|Common g0s1\n"), std::string::npos);
    EXPECT_NE(one.tree.find("Genus35|Genus|\n      Genus35 sp0"), std::string::npos);
    EXPECT_NE(one.tree.find("      Under old g35|Species|\n"), std::string::npos) << one.tree;
    EXPECT_NE(one.console.find("status \"mystery\" is not known, read as accepted (40 rows)"),
              std::string::npos) << one.console;
    EXPECT_NE(one.console.find(": 4 rows without a name skipped\n"), std::string::npos);
    EXPECT_NE(one.console.find(": 4 taxa whose parent is a synonym hung under its accepted"),
              std::string::npos);
    EXPECT_NE(one.console.find(": 4 taxa whose parent is missing from the file"),
              std::string::npos);
    EXPECT_NE(one.console.find(": 4 taxa whose parent is no accepted taxon"), std::string::npos);

    // Quoted fields, some over several lines, move the lines of the rows after them.
    std::string csv = "id,parent,accepted,status,rank,name,common\n";
    for (int i = 0; i < 60; ++i) {
        const std::string id = std::to_string(i);
        csv += id + "," + (i ? std::to_string(i / 3) : "") + ",,accepted,genus,\"Genus " + id +
               "\"," + (i % 7 == 0 ? "\"two\nlines\"" : "") + "\n";
    }
    const Reading quotedOne = readLinked(csv, false, "", {',', '"'});
    ASSERT_EQ(quotedOne.failure, "");
    const Reading quotedTwo = readLinked(csv, true, "", {',', '"'});
    EXPECT_EQ(quotedTwo.tree, quotedOne.tree);
    EXPECT_NE(quotedOne.tree.find("Genus 59|Genus|\n"), std::string::npos);
    csv += "60,1,,accepted,genus,Genus 60,\n30,1,,accepted,genus,Again,\n";
    EXPECT_EQ(readLinked(csv, true, "", {',', '"'}).failure,
              "taxa.tsv: line 72: taxon 30 was given already on line 37 (duplicate identifier)");
}

// The first failure in the file is the one told, at its line, wherever the halves meet.
TEST(LinkedHalves, FailuresAsInOneReading) {
    const std::string base = checklist();
    const size_t lines = static_cast<size_t>(std::count(base.begin(), base.end(), '\n'));
    struct Case {
        std::string extra, failure;
    };
    const std::string later = std::to_string(lines + 1), after = std::to_string(lines + 2),
                      dup = " (duplicate identifier)";
    // Rows enough that the middle of the file lies in the first of them and the later half's
    // taxa are looked up in two parts of their own.
    auto many = [&](const std::string& prefix) {
        std::string s;
        for (size_t i = 0; i < 4 * lines; ++i) s += row(prefix + std::to_string(i), "fam", "Many");
        return s;
    };
    const std::vector<Case> cases = {
        // Given first before the middle, again after it.
        {row("g1s1", "g1", "Again"),
         "line " + later + ": taxon g1s1 was given already on line 11" + dup},
        // Both after the middle.
        {row("x", "fam", "X") + row("x", "fam", "X again"),
         "line " + after + ": taxon x was given already on line " + later + dup},
        // After the middle, an identifier of the first half, then one of its own again.
        {row("y", "fam", "Y") + row("g2s0", "g2", "Again") + row("y", "fam", "Y again"),
         "line " + after + ": taxon g2s0 was given already on line 16" + dup},
        // A row without identifier before an identifier given again, and after one.
        {row("", "fam", "Nobody") + row("g1s1", "g1", "Again"),
         "line " + after + ": taxon g1s1 was given already on line 11" + dup},
        {row("g1s1", "g1", "Again") + row("", "fam", "Nobody"),
         "line " + later + ": taxon g1s1 was given already on line 11" + dup},
        // Two identifiers of the first half given again, far apart after the middle.
        {many("m") + row("g1s1", "g1", "Again") + many("n") + row("g2s0", "g2", "Again"),
         "line " + std::to_string(lines + 4 * lines + 1) +
             ": taxon g1s1 was given already on line 11" + dup},
        // A quoted field opened after blank lines and never closed: where it opened (with
        // quotes off, a zero byte is the quote).
        {std::string("\n\n") + '\0' + "\tunclosed\n",
         "line " + std::to_string(lines + 3) + ": the file ends inside a quoted field"},
    };
    for (const Case& c : cases) {
        const std::string text = base + c.extra;
        const Reading one = readLinked(text, false);
        EXPECT_EQ(one.failure, "taxa.tsv: " + c.failure) << c.extra;
        EXPECT_EQ(readLinked(text, true).failure, one.failure) << c.extra;
    }
    // A cycle through both halves is broken at one link, the same in both readings.
    const std::string cycle = many("k") + row("c1", "c2", "Cycle one") + row("c2", "c1", "Cycle two");
    const Reading cycleOne = readLinked(base + cycle, false), cycleTwo = readLinked(base + cycle, true);
    ASSERT_EQ(cycleOne.failure, "");
    EXPECT_EQ(cycleTwo.failure, "");
    EXPECT_EQ(cycleTwo.tree, cycleOne.tree);
    EXPECT_EQ(cycleTwo.console, cycleOne.console);
    EXPECT_NE(cycleOne.console.find(": line " + std::to_string(lines + 4 * lines + 1) +
                                    ": Cycle one is its own ancestor"),
              std::string::npos) << cycleOne.console;
    // Rows without identifiers in both halves are taxa of each, not one identifier twice:
    // the halves number them from their own starts.
    std::string idless = base;
    for (size_t i = 0; i < 2 * lines; ++i) idless += row("", "fam", "Nobody " + std::to_string(i));
    idless += row("", "fam", "Later nobody");
    const Reading one = readLinked(idless, false), two = readLinked(idless, true);
    ASSERT_EQ(one.failure, "");
    EXPECT_EQ(two.failure, "");
    EXPECT_EQ(two.tree, one.tree);
    EXPECT_NE(one.tree.find("Later nobody"), std::string::npos);
    // So are those of a core split over two files, each read in halves.
    std::string more = kHeader;
    for (size_t i = 0; i < 2 * lines; ++i) more += row("", "fam", "More " + std::to_string(i));
    const Reading both = readLinked(idless, true, "", {'\t', 0}, nullptr, more);
    EXPECT_EQ(both.failure, "");
    EXPECT_EQ(both.tree, readLinked(idless, false, "", {'\t', 0}, nullptr, more).tree);
}

// The deepest taxon allowed, and the one below it refused at its own line, whether each
// parent comes before its children or after them, and whether the halves are read apart.
TEST(LinkedHalves, DepthLimitTheSameInEitherOrder) {
    auto chain = [](int taxa, bool parentsFirst) {
        std::vector<std::string> rows;
        for (int k = 0; k < taxa; ++k)
            rows.push_back(row("c" + std::to_string(k), k ? "c" + std::to_string(k - 1) : "",
                               "Taxon " + std::to_string(k), "accepted", "", "genus"));
        if (!parentsFirst) std::reverse(rows.begin(), rows.end());
        std::string s = kHeader;
        for (const std::string& r : rows) s += r;
        return s;
    };
    const std::string refused = "taxa.tsv: line %: taxa nested deeper than " +
                                std::to_string(kMaxClassificationDepth) + " levels";
    for (bool parentsFirst : {true, false})
        for (bool halves : {false, true}) {
            const Reading deepest = readLinked(chain(kMaxClassificationDepth, parentsFirst), halves);
            EXPECT_EQ(deepest.failure, "") << parentsFirst << halves;
            EXPECT_NE(deepest.tree.find("Taxon 4095"), std::string::npos);
            const Reading below = readLinked(chain(kMaxClassificationDepth + 1, parentsFirst), halves);
            const std::string line = parentsFirst ? std::to_string(kMaxClassificationDepth + 2) : "2";
            EXPECT_EQ(below.failure, std::string(refused).replace(refused.find('%'), 1, line))
                << parentsFirst << halves;
        }
}

// Taxa given in the order of a walk of the tree are numbered, levelled and coloured as they
// are made; the tree must be the one a walk of it gives, whatever the order of the rows.
TEST(LinkedHalves, NumberedAsAWalkOfTheTree) {
    std::string walk;  // each taxon after its parent, descendants before the next sibling
    for (int g = 0; g < 6; ++g) {
        const std::string genus = "g" + std::to_string(g);
        // A placeholder among the genera: its species hang from the family.
        walk += row(genus, "fam", g == 2 ? "Incertae sedis" : "Genus" + std::to_string(g),
                    "accepted", "", g == 4 ? "cohort" : "genus");
        for (int k = 0; k < (g == 5 ? 0 : 3); ++k)
            walk += row(genus + "s" + std::to_string(k), genus, "Sp " + genus + std::to_string(k));
    }
    const std::string family = row("fam", "", "Familia", "accepted", "", "family");
    const std::vector<std::string> texts = {
        kHeader + family + walk,                            // one top taxon
        kHeader + walk + row("other", "", "Other", "accepted", "", "order"),  // several
        kHeader + family,                                   // one taxon alone
        kHeader + walk + family,                            // the family after its genera
        kHeader + family + walk + row("g0s9", "g0", "Late species"),  // a sibling come back to
    };
    auto fields = [](const ClassificationTree& t) {
        std::string s = std::to_string(t.nodeCount) + " " + std::to_string(t.leafCount) + " |";
        for (const char* r : t.rankNames) s += std::string(r) + "|";
        forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
            s += "\n" + std::string(n->latinName) + " " + std::to_string(n->number) + " " +
                 std::to_string(n->level) + " " + std::to_string(n->color[0]) + "," +
                 std::to_string(n->color[1]) + "," + std::to_string(n->color[2]);
        });
        return s;
    };
    for (const std::string& text : texts)
        for (bool halves : {false, true}) {
            ClassificationTree t;
            ASSERT_EQ(readLinked(text, halves, "", {'\t', 0}, &t).failure, "") << text;
            const std::string made = fields(t);
            ASSERT_TRUE(imp::renumber(t, true));
            EXPECT_EQ(made, fields(t)) << text;
        }
}

}  // namespace

// Names read on two threads: those of the later half given again under IDs of the first
// replace them, and every text is whole after the reading, whether it stayed in the file or
// was unquoted into a buffer the next row reuses.
TEST(LinkedHalves, NamesAsOneReadingGivesThem) {
    std::string csv = "ID,scientificName,authorship,rank,canonicalName\n";
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        if (i % 7 == 0)
            csv += "n" + n + ",\"Genus" + n + " \"\"q\"\"\nalba\",,species,\n";
        else
            csv += "n" + n + ",Genus" + n + (i % 5 ? " alba Author" : " alba  Author") + n +
                   ",Author" + n + ",species," + (i % 11 ? "" : "Canon" + n) + "\n";
    }
    for (int i : {3, 250, 5})
        csv += "n" + std::to_string(i) + ",Again" + std::to_string(i) + " L.,L.,genus,\n";
    imp::TaxonColumns c;
    c.id = 0;
    c.scientific = 1;
    c.authorship = 2;
    c.rank = 3;
    c.canonical = 4;
    auto read = [&](size_t twoThreadsFrom) {
        imp::DelimitedReader reader(csv.data(), csv.size(), {',', '"'}, "Name.csv");
        std::vector<std::string> header;
        imp::NameTable names;
        std::string out;
        if (!reader.header(header) || !imp::readNames(reader, c, names, twoThreadsFrom))
            return std::string("not read");
        for (int i = 0; i < 300; ++i) {
            size_t hint = 0;
            imp::NameOfId n;
            out += names.find("n" + std::to_string(i), hint, n)
                       ? std::string(n.written) + "|" + std::string(n.latin) + "|" +
                             std::string(n.rank) + "\n"
                       : "none\n";
        }
        return out;
    };
    const std::string one = read(SIZE_MAX), two = read(0);
    EXPECT_EQ(two, one);
    for (const char* expected :
         {"Genus1 alba Author1|Genus1 alba|species\n", "Genus10 alba Author10|Genus10 alba|species\n",
          "Again3 L.|Again3|genus\n",
          "Again5 L.|Again5|genus\n", "Again250 L.|Again250|genus\n",
          "Genus7 \"q\" alba|Genus7 \"q\" alba|species\n",
          "Genus294 \"q\" alba|Genus294 \"q\" alba|species\n",
          "Genus22 alba Author22|Canon22|species\n", "Genus275 alba Author275|Canon275|species\n"})
        EXPECT_NE(two.find(expected), std::string::npos) << expected << two;
}

// Readers hash an identifier once: the one fetched ahead for the next row is known again by
// where it lies in the file. A key elsewhere, even of the same length, is hashed anew.
TEST(IdIndex, ExpectedKeysAreKnownByWhereTheyLie) {
    const std::string file = "n1|n2|n3";
    const std::string_view n1(file.data(), 2), n2(file.data() + 3, 2), n3(file.data() + 6, 2);
    std::vector<std::string> keys;
    imp::IdIndex index;
    auto keyOf = [&](uint32_t i) -> std::string_view { return keys[i]; };
    auto insert = [&](std::string_view key) {
        keys.emplace_back(key);
        return index.insert(key, static_cast<uint32_t>(keys.size() - 1), keyOf);
    };
    index.expect(n1);
    index.expect(n2);
    const std::string copied = "x9";  // not expected, as long as the expected ones
    EXPECT_TRUE(insert(copied).second);
    EXPECT_TRUE(insert(n2).second);
    EXPECT_TRUE(insert(n1).second);
    index.expect(n3);
    EXPECT_TRUE(insert(n3).second);
    EXPECT_FALSE(insert(std::string("n2")).second);  // given again, by a copy
    keys.pop_back();
    for (uint32_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(index.find(std::string(keys[i]), keyOf), i) << keys[i];
}

TEST(IdIndex, KeysInsertedAllAtOnceAsOneByOne) {
    // More keys than are fetched ahead, every seventh given again thirty keys later.
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i)
        keys.push_back(i % 7 == 3 && i >= 30 ? keys[i - 30] : "k" + std::to_string(i));
    auto keyOf = [&](uint32_t i) -> std::string_view { return keys[i]; };
    for (const bool backwards : {false, true}) {
        imp::IdIndex index;
        std::vector<std::pair<uint32_t, uint32_t>> again;
        EXPECT_TRUE(index.insertAll(200, backwards, keyOf, [&](uint32_t i, uint32_t held) {
            again.emplace_back(i, held);
            return true;
        }));
        ASSERT_EQ(again.size(), 25u);
        for (const auto& [i, held] : again) {
            EXPECT_EQ(keys[i], keys[held]);
            EXPECT_EQ(backwards ? held - i : i - held, 30u) << i;  // the one inserted first holds
            EXPECT_EQ(index.find(std::string(keys[i]), keyOf), held);
        }
        EXPECT_EQ(index.find("k0", keyOf), 0u);
        EXPECT_EQ(index.find("k198", keyOf), 198u);
        EXPECT_EQ(index.find("k200", keyOf), imp::IdIndex::kNone);
    }
    // Stopped at the first key given again, the keys after it are not inserted.
    imp::IdIndex index;
    EXPECT_FALSE(index.insertAll(200, false, keyOf, [](uint32_t i, uint32_t) { return i != 38; }));
    EXPECT_EQ(index.find("k37", keyOf), 37u);
    EXPECT_EQ(index.find("k39", keyOf), imp::IdIndex::kNone);
}

TEST(TextArena, TextsStayAsKeptWhateverTheirSize) {
    // Sizes from a byte to past the largest block, kept in between blocks of every size.
    std::vector<std::string> texts;
    for (size_t i = 0; texts.size() < 3000; ++i)
        texts.push_back(std::string(i % 97 == 5 ? (size_t{1} << 20) + i : (i * 37) % 5000 + 1,
                                    static_cast<char>('a' + i % 26)));
    imp::TextArena arena, later;
    std::vector<std::string_view> kept;
    for (size_t i = 0; i < texts.size(); ++i)
        kept.push_back((i % 2 ? later : arena).keep(texts[i]));
    arena.absorb(later);
    later.keep("after");  // an arena given away starts again
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(kept[i], texts[i]) << i;
}
