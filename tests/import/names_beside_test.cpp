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

namespace {

struct Package {
    std::string names = "ID\tscientificName\tauthorship\trank\tremarks\n";
    std::string taxa = "ID\tparentID\tnameID\n";
};

// 2,600 genera of 49 species, about 9 MB in all: enough for the files to be read side by
// side. `padding` on every name row makes the Name file too large beside the Taxon file,
// so that the two are read in turn. Names the taxa find out of order, given again, in
// capitals, with blanks to clean and rank words to translate or keep.
Package package(const std::string& padding) {
    Package p;
    std::string late;  // names given at the end, after those of other taxa
    for (int g = 0; g < 2600; ++g) {
        const std::string gid = std::to_string(g * 50), genus = "Genus" + std::to_string(g);
        p.names += "n" + gid + "\t" + (g % 50 == 7 ? "GENUS" + std::to_string(g) : genus) +
                   "\t\t" + (g % 97 == 3 ? "cohortlet" : "genus") + "\t" + padding + "\n";
        p.taxa += "t" + gid + "\t\tn" + gid + "\n";
        for (int k = 1; k < 50; ++k) {
            const std::string id = std::to_string(g * 50 + k);
            const std::string row =
                "n" + id + "\t" + genus + (k == 9 ? "  spaced" : " sp" + std::to_string(k)) +
                " Auth., 1901\tAuth., 1901\t" + (k % 2 ? "species" : "sp.") + "\t" + padding +
                "\n";
            (g % 40 == 11 ? late : p.names) += row;
            p.taxa += "t" + id + "\tt" + gid + "\tn" + id + "\n";
        }
    }
    p.names += late + "n151\tReplaced name\t\tvariety\t" + padding + "\n";
    return p;
}

ZipRead read(const Package& p) {
    imp::Package files;
    files.openFiles({{"Name.tsv", p.names}, {"Taxon.tsv", p.taxa}});
    ClassificationTree t;
    ConsoleCapture console;
    imp::FailureCatch failure;
    const bool ok = imp::importColDP(t, files, "pkg");
    const FileResult r = failure.result(ok, "pkg");
    return {ok ? dump(t) : r.failure().line(), console.text()};
}

// The first line where two long texts differ, as "a | b"; empty when they are alike. (A
// comparison that shows the texts whole would diff their 130,000 lines.)
std::string firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size() && i == b.size()) return {};
    auto lineAt = [i](const std::string& s) {
        const size_t from = s.rfind('\n', i == 0 ? 0 : i - 1);
        const size_t start = from == std::string::npos || i == 0 ? 0 : from + 1;
        return s.substr(start, s.find('\n', start) - start);
    };
    return lineAt(a) + " | " + lineAt(b);
}

// The same package read side by side and in turn.
void expectAlike(const std::function<void(Package&)>& change, const char* expected) {
    Package beside = package(""), inTurn = package(std::string(40, '.'));
    change(beside);
    change(inTurn);
    ASSERT_LT(beside.names.size(), 3 * beside.taxa.size());
    ASSERT_GT(inTurn.names.size(), 3 * inTurn.taxa.size());
    const ZipRead a = read(beside), b = read(inTurn);
    EXPECT_EQ(firstDifference(a.tree, b.tree), "");
    EXPECT_EQ(firstDifference(a.console, b.console), "");
    EXPECT_TRUE((a.tree + a.console).find(expected) != std::string::npos) << expected;
}

TEST(NamesBeside, ReadAsInTurn) {
    const char* kTree =
        "  Genus7|Genus|\n"  // written in capitals
        "    Genus7 sp1|Species|\n"
        "    Genus7 sp2|Species|\n";  // "sp." is the species
    expectAlike([](Package&) {}, kTree);
    expectAlike([](Package&) {}, "\n  Genus3|Cohortlet|\n");  // a rank word kept
    expectAlike([](Package&) {}, "\n    Genus11 spaced|Species|\n");  // named from the end
    expectAlike([](Package&) {}, "\n    Replaced name|Variety|\n");  // n151, given again
    // A taxon whose name is missing is left out and counted.
    expectAlike([](Package& p) { p.taxa += "t999999\tt0\tnone\n"; },
                "pkg: 1 rows without a name skipped\n");
    // The Taxon file's failure, and the Name file's before it.
    expectAlike([](Package& p) { p.taxa += "t7\tt0\tn7\n"; }, "(duplicate identifier)");
    expectAlike(
        [](Package& p) {
            p.taxa += "t7\tt0\tn7\n";
            p.names += "n999999\t" + std::string(40000, 'x') + "\n";
        },
        "Name.tsv");
}

}  // namespace
