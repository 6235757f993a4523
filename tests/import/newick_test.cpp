// Newick and NEXUS trees whose inner nodes are named: labels as the grammar writes them,
// ranks from GTDB's prefixes or the names' shapes, and the trees that cannot be paired.
#include <gtest/gtest.h>

#include <string>

#include "ImportSupport.h"
#include "Newick.h"
#include "TestSupport.h"

namespace {

struct Read {
    std::string tree, error, console;
};
Read read(const std::string& path) {
    ClassificationTree t;
    ConsoleCapture console;
    const Imported r = importFile(t, path);
    return {r.ok ? dump(t) : std::string(), r.error, console.text()};
}

std::string newick(const std::string& text) {
    ClassificationTree t;
    const FileResult r = imp::readNewick(t, text, "t.nwk");
    return r.ok() ? dump(t) : r.failure().line();
}

TEST(Newick, LabelsQuotedCommentedWithLengthsAndRanksFromTheNamesShapes) {
    // Quotes with '' inside keep underscores; unquoted underscores are blanks; comments and
    // branch lengths (with blanks and exponents) are passed over; an unnamed inner node
    // makes no level; a name's shape gives species and subspecies.
    EXPECT_EQ(newick("[&R] ((Panthera_leo:0.1,'Panthera_pardus' [a leopard]:1e-3,\n"
                     "(Panthera leo persica, Panthera tigris) : 0.5)Panthera:2,\n"
                     "('O''Brien''s cat')Felis)'Felidae [cats]';\n"),
              "Felidae [cats]||\n"
              "  Panthera||\n"
              "    Panthera leo|Species|\n"
              "    Panthera_pardus||\n"
              "    Panthera leo persica|Subspecies|\n"
              "    Panthera tigris|Species|\n"
              "  Felis||\n"
              "    O'Brien's cat||\n");
    // Only the first tree of a file is read.
    EXPECT_EQ(newick("((A,B)C)D;((E)F)G;"), "D||\n  C||\n    A||\n    B||\n");
}

TEST(Newick, GtdbLabelsGiveRanksAndGenomesAreNoTaxa) {
    // GTDB's trees: a support value before a colon, several ranks in one label, leaves that
    // are genomes; a node's notes after '|' say nothing of its taxon.
    const std::string text =
        "((((GB_GCA_1:0.6,GB_GCA_2:0.7)'0.998:g__Nitrosopumilus':0.1,RS_GCF_3:0.2)"
        "'1.0:o__Nitrososphaerales;f__Nitrosopumilaceae|note':0.3,"
        "(GB_GCA_4,UBA10)0.95:0.2)'1.0:p__Thermoproteota; c__Nitrososphaeria',"
        "(GB_GCA_5)'d__Bacteria'):0.0;";
    EXPECT_EQ(newick(text),
              "Root|Root|t.nwk\n"
              "  Thermoproteota|Phylum|\n"
              "    Nitrososphaeria|Class|\n"
              "      Nitrososphaerales|Order|\n"
              "        Nitrosopumilaceae|Family|\n"
              "          Nitrosopumilus|Genus|\n"
              "  Bacteria|Superkingdom|\n");
    TempDir dir;
    const Read r = read(dir.write("gtdbtk.ar53.classify.tree", text));
    EXPECT_NE(r.console.find("6 leaves without a rank prefix (genomes or specimens, not taxa) "
                             "left out"),
              std::string::npos)
        << r.console;
    // A leaf shaped as a species's name is a taxon among ranked ones.
    EXPECT_EQ(newick("((GB_GCA_9,'Bacillus subtilis')g__Bacillus)f__Bacillaceae;"),
              "Bacillaceae|Family|\n  Bacillus|Genus|\n    Bacillus subtilis|Species|\n");
    // Unquoted prefixed labels keep the prefix's underscores; the name's are blanks.
    EXPECT_EQ(newick("((s__Escherichia_coli)g__Escherichia)f__Enterobacteriaceae;"),
              "Enterobacteriaceae|Family|\n"
              "  Escherichia|Genus|\n"
              "    Escherichia coli|Species|\n");
}

TEST(Newick, TreesThatCannotBePairedOrDoNotParseAreRefusedWithTheirLine) {
    EXPECT_EQ(newick("((A:1,B:2):3,(C,D));"),
              "t.nwk: no inner node of the tree has a name, only its leaves: nothing to pair "
              "level by level");
    EXPECT_EQ(newick("((A,B)0.98,(C,D)100);"),
              "t.nwk: the inner nodes' labels are numbers only (support values), no names: "
              "nothing to pair level by level");
    EXPECT_EQ(newick("((A,B)X,\n(C,D)Y;"),
              "t.nwk: line 2: 1 '(' never closed (unbalanced parentheses)");
    EXPECT_EQ(newick("(A,B)X);"), "t.nwk: line 1: a ')' closes no '(' (unbalanced parentheses)");
    EXPECT_EQ(newick("(A,\n'B)X;"), "t.nwk: line 2: a quoted label never closed");
    EXPECT_EQ(newick("(A,B)X [note;"), "t.nwk: line 1: a comment '[' never closed");
    EXPECT_EQ(newick("(A,B)X(C)Y;"), "t.nwk: line 1: text after the tree's root (a ';' missing?)");
    EXPECT_EQ(newick("(A)'c__X;p__Y';"),
              "t.nwk: line 1: ranks out of order in the label \"c__X;p__Y\"");
    EXPECT_EQ(newick("  \n"), "t.nwk: line 2: no tree found");
}

TEST(Nexus, TheFirstTreeOfTheTreesBlockWithItsTranslateTable) {
    TempDir dir;
    const std::string path = dir.write("cats.nex",
                                       "#NEXUS\n"
                                       "[written by hand]\n"
                                       "BEGIN TAXA; DIMENSIONS NTAX=3; TAXLABELS a b c; END;\n"
                                       "begin trees;\n"
                                       "  translate\n"
                                       "    1 Panthera_leo,\n"
                                       "    2 'Panthera_onca',\n"
                                       "    3 'Felis catus';\n"
                                       "  tree one = [&R] ((1,2)Panthera,(3)1)Felidae;\n"
                                       "  tree two = (1,2)Other;\n"
                                       "end;\n");
    EXPECT_EQ(openInput(path).kind, InputKind::Nexus);
    const Read r = read(path);
    EXPECT_EQ(r.tree,
              "Felidae||\n"
              "  Panthera||\n"
              "    Panthera leo|Species|\n"
              "    Panthera_onca||\n"
              "  Felis catus|Species|\n");
    const Read none = read(dir.write("none.nex", "#nexus\nbegin data; matrix; end;\n"));
    EXPECT_NE(none.error.find("none.nex: no TREE in a TREES block"), std::string::npos)
        << none.error;
    const Read open = read(dir.write("open.nex", "#NEXUS\nbegin trees;\ntree t = ((a)b;\nend;\n"));
    EXPECT_NE(open.error.find("open.nex: line 3: 1 '(' never closed"), std::string::npos)
        << open.error;
}

TEST(Newick, TreeNamesAreReadByTheirContentNeverAsTheBinaryTreeFile) {
    TempDir dir;
    // A Newick file under each name trees are published with; a binary tree file's header
    // under such a name is no binary tree file either, but a Newick text that is not one.
    for (const char* name : {"a.tree", "a.tre", "a.nwk", "a.newick", "a.TREE"}) {
        const std::string path = dir.write(name, "((Felis catus)Felis)Felidae;\n");
        EXPECT_EQ(openInput(path).kind, InputKind::Newick) << name;
        EXPECT_EQ(read(path).tree, "Felidae||\n  Felis||\n    Felis catus|Species|\n") << name;
    }
    const std::string binary("\x03\0\0\0\x01\0\0\0\x02\0\0\0", 12);
    const std::string path = dir.write("T1.tree", binary);
    EXPECT_EQ(openInput(path).kind, InputKind::Newick);
    EXPECT_NE(read(path).error.find("T1.tree: line 1: "), std::string::npos);
    EXPECT_EQ(openInput(dir.write("T1.nex", "#NEXUS\n")).kind, InputKind::Nexus);
    // Without such a name, the content tells.
    EXPECT_EQ(openInput(dir.write("tree", " [c] ((a)b)c;")).kind, InputKind::Newick);
    EXPECT_EQ(openInput(dir.write("nexus", "#NEXUS\n")).kind, InputKind::Nexus);
}

}  // namespace
