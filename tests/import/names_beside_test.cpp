// A ColDP package whose Name and Taxon files are large and of about one size is read with
// the files side by side, one on each thread; otherwise in turn. Either way the tree, the
// console lines and the failure are the same.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ImportFailure.h"
#include "ImportSupport.h"
#include "Importers.h"
#include "TestSupport.h"
#include "TreeBuilder.h"

namespace {

struct Package {
    std::string names = "ID\tscientificName\tauthorship\trank\n";
    std::string taxa = "ID\tparentID\tnameID\tremarks\n";
};

const char* const kRemark = "seen in the field";

// 200 genera of 9 species. Names the taxa find out of order, given again, in capitals, with
// blanks to clean and rank words to translate or keep.
Package package() {
    Package p;
    std::string late;  // names given at the end, after those of other taxa
    for (int g = 0; g < 200; ++g) {
        const std::string gid = std::to_string(g * 10), genus = "Genus" + std::to_string(g);
        p.names += "n" + gid + "\t" + (g % 50 == 7 ? "GENUS" + std::to_string(g) : genus) +
                   "\t\t" + (g % 97 == 3 ? "cohortlet" : "genus") + "\n";
        p.taxa += "t" + gid + "\t\tn" + gid + "\t" + kRemark + "\n";
        for (int k = 1; k < 10; ++k) {
            const std::string id = std::to_string(g * 10 + k);
            const std::string row = "n" + id + "\t" + genus +
                                    (k == 9 ? "  spaced" : " sp" + std::to_string(k)) +
                                    " Auth., 1901\tAuth., 1901\t" +
                                    (k % 2 ? "species" : "sp.") + "\n";
            (g % 40 == 11 ? late : p.names) += row;
            p.taxa += "t" + id + "\tt" + gid + "\tn" + id + "\t" + kRemark + "\n";
        }
    }
    p.names += late + "n31\tReplaced name\t\tvariety\n";
    return p;
}

// Read as packages of any size are, or with every reading split as large ones are: the Name
// and Taxon files side by side, each taxon's name looked up by two threads.
ZipRead read(const Package& p, bool split) {
    imp::Package files;
    files.openFiles({{"Name.tsv", p.names}, {"Taxon.tsv", p.taxa}});
    ClassificationTree t;
    ConsoleCapture console;
    imp::FailureCatch failure;
    imp::splitReadingsAlways(split);
    const bool ok = imp::importColDP(t, files, "pkg");
    imp::splitReadingsAlways(false);
    const FileResult r = failure.result(ok, "pkg");
    return {ok ? dump(t) : r.failure().line(), console.text()};
}

// The package, changed, read side by side and in turn.
void expectAlike(const std::function<void(Package&)>& change, const char* expected) {
    Package p = package();
    change(p);
    ASSERT_LT(p.names.size(), 3 * p.taxa.size());  // else they are read in turn
    const ZipRead a = read(p, true), b = read(p, false);
    EXPECT_EQ(a.tree, b.tree);
    EXPECT_EQ(a.console, b.console);
    EXPECT_NE((a.tree + a.console).find(expected), std::string::npos) << expected;
}

TEST(NamesBeside, ReadAsInTurn) {
    const char* kTree =
        "  Genus7|Genus|\n"  // written in capitals
        "    Genus7 sp1|Species|\n"
        "    Genus7 sp2|Species|\n";  // "sp." is the species
    expectAlike([](Package&) {}, kTree);
    expectAlike([](Package&) {}, "\n  Genus3|Cohortlet|\n");  // a rank word kept
    expectAlike([](Package&) {}, "\n    Genus11 spaced|Species|\n");  // named from the end
    expectAlike([](Package&) {}, "\n    Replaced name|Variety|\n");  // n31, given again
    // A taxon whose name is missing is left out and counted.
    expectAlike([](Package& p) { p.taxa += "t99999\tt0\tnone\n"; },
                "pkg: 1 rows without a name skipped\n");
    // The Taxon file's failure, and the Name file's before it.
    expectAlike([](Package& p) { p.taxa += "t7\tt0\tn7\n"; }, "(duplicate identifier)");
    expectAlike(
        [](Package& p) {
            p.taxa += "t7\tt0\tn7\n";
            p.names += "n99999\t" + std::string(40000, 'x') + "\n";
        },
        "Name.tsv");
}

}  // namespace
