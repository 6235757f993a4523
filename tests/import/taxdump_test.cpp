// NCBI taxdumps and the Open Tree taxonomy, from small dumps written after the projects'
// own descriptions of their files, one quirk each.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ImportSupport.h"
#include "Taxonomies.h"
#include "TreeBuilder.h"
#include "TaxonFacts.h"
#include "TestSupport.h"

namespace {

// Rows of a dump file: fields between tab-bar-tab, each row ended by tab-bar.
std::string dmp(std::initializer_list<std::vector<std::string>> rows) {
    std::string out;
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) out += (i ? "\t|\t" : "") + row[i];
        out += "\t|\n";
    }
    return out;
}

const std::string kNodes = dmp({
    {"1", "1", "no rank"},
    {"2", "131567", "superkingdom"},
    {"131567", "1", "no rank"},
    {"561", "543", "genus"},  // before its parent, as tax_id order has it
    {"543", "2", "family"},
    {"562", "561", "species"},
    {"83333", "562", "strain"},
    {"2759", "131567", "domain"},
    {"33154", "2759", "clade"},
    {"9605", "33154", "genus"},
    {"9606", "9605", "species"},
});
const std::string kNames = dmp({
    {"1", "all", "", "synonym"},
    {"1", "root", "", "scientific name"},
    {"2", "Bacteria", "Bacteria <bacteria>", "scientific name"},
    {"2", "eubacteria", "", "genbank common name"},
    {"131567", "cellular organisms", "", "scientific name"},
    {"543", "Enterobacteriaceae", "", "scientific name"},
    {"561", "Escherichia", "", "scientific name"},
    {"562", "E. coli", "", "common name"},
    {"562", "Escherichia coli", "", "scientific name"},
    {"83333", "Escherichia coli K-12", "", "scientific name"},
    {"2759", "Eukaryota", "", "scientific name"},
    {"2759", "eucaryotes", "", "common name"},
    {"2759", "eukaryotes", "", "genbank common name"},
    {"33154", "Opisthokonta", "", "scientific name"},
    {"9605", "Homo", "", "scientific name"},
    {"9606", "man", "", "common name"},
    {"9606", "Homo sapiens", "", "scientific name"},
    {"9606", "human", "", "genbank common name"},
});
const char* kTree =
    "root||\n"
    "  cellular organisms||\n"
    "    Bacteria|Superkingdom|eubacteria\n"
    "      Enterobacteriaceae|Family|\n"
    "        Escherichia|Genus|\n"
    "          Escherichia coli|Species|E. coli\n"
    "            Escherichia coli K-12|Strain|\n"
    "    Eukaryota|Superkingdom|eukaryotes\n"
    "      Opisthokonta|Clade|\n"
    "        Homo|Genus|\n"
    "          Homo sapiens|Species|human\n";

void writeTarGz(const std::string& path, const std::map<std::string, std::string>& files) {
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    for (const auto& [name, data] : files) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, data.data(), data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

struct Read {
    bool ok;
    std::string tree, console, error;
};
Read readPath(const std::string& path, ImportOptions options = {}) {
    ClassificationTree t;
    ConsoleCapture console;
    const Imported r = importFile(t, path, options);
    return {r.ok, r.ok ? dump(t) : std::string(), console.text(), r.error};
}

TEST(Taxdump, EveryWayOfGivingOneReadsTheSameTree) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "classic");
    dir.write("classic/nodes.dmp", kNodes);
    dir.write("classic/names.dmp", kNames);
    // The new layout: more columns in nodes.dmp and lineage files beside.
    std::string wide;
    for (size_t at = 0; at < kNodes.size();) {
        const size_t eol = kNodes.find('\n', at);
        wide += kNodes.substr(at, eol - 2 - at) + "\t|\tEC\t|\t0\t|\t1\t|\t11\t|\t1\t|\t0\t|\t1\t|\t0"
                "\t|\t0\t|\t\t|\t\t|\t\t|\t0\t|\t0\t|\t1\t|\n";
        at = eol + 1;
    }
    std::filesystem::create_directories(dir.path() / "new/dump");
    dir.write("new/dump/nodes.dmp", wide);
    dir.write("new/dump/names.dmp", kNames);
    dir.write("new/dump/rankedlineage.dmp", dmp({{"9606", "Homo sapiens", "", "Homo"}}));
    dir.write("new/dump/typematerial.dmp", dmp({{"562", "Escherichia coli", "neotype", "ATCC 11775"}}));
    // Home-made dumps: CRLF, and rows without the closing bar.
    std::filesystem::create_directories(dir.path() / "crlf");
    dir.write("crlf/nodes.dmp", [] {
        std::string s;
        for (char c : kNodes) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return s;
    }());
    std::string bare = kNames;
    for (size_t at; (at = bare.find("\t|\n")) != std::string::npos;) bare.replace(at, 3, "\n");
    dir.write("crlf/names.dmp", bare);
    writeTarGz(dir.file("taxdump.tar.gz"), {{"nodes.dmp", kNodes}, {"names.dmp", kNames},
                                            {"readme.txt", "not read"}});
    writeTarGz(dir.file("new_taxdump.tgz"), {{"new_taxdump/nodes.dmp", wide},
                                             {"new_taxdump/names.dmp", kNames}});
    writeZip(dir.file("taxdmp.zip"), {{"nodes.dmp", kNodes}, {"names.dmp", kNames}});
    for (const std::string& path :
         {dir.file("classic"), dir.file("classic/nodes.dmp"), dir.file("classic/names.dmp"),
          dir.file("new"), dir.file("new/dump/nodes.dmp"), dir.file("crlf"),
          dir.file("taxdump.tar.gz"), dir.file("new_taxdump.tgz"), dir.file("taxdmp.zip")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(openInput(path).kind, InputKind::Taxdump);
        // Read in one piece, and in two halves on two threads as large dumps are.
        for (bool halves : {false, true}) {
            imp::splitReadingsAlways(halves);
            const Read r = readPath(path);
            imp::splitReadingsAlways(false);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(r.tree, kTree);
            EXPECT_EQ(r.console, "");
        }
    }
    EXPECT_STREQ(inputKindName(InputKind::Taxdump), "NCBI taxdump");
}

TEST(Taxdump, MissingNamesIsRefusedAndBrokenLinksAreMendedWithAWarning) {
    TempDir dir;
    {
        const std::string nodes = dir.write("nodes.dmp", kNodes);
        const Read r = readPath(nodes);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("no names.dmp beside nodes.dmp"), std::string::npos) << r.error;
    }
    // 9605 names a parent that is no node; 561 and 562 are each other's parent.
    const std::string nodes = dmp({
        {"1", "1", "no rank"},
        {"2", "1", "superkingdom"},
        {"9605", "404", "genus"},
        {"9606", "9605", "species"},
        {"561", "562", "genus"},
        {"562", "561", "species"},
        {"7", "2", "species"},
    });
    dir.write("nodes.dmp", nodes);
    dir.write("names.dmp", kNames);
    dir.write("delnodes.dmp", dmp({{"3"}, {"4"}, {"5"}}));
    const Read r = readPath(dir.file("nodes.dmp"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.tree,
              "root||\n"
              "  Bacteria|Superkingdom|eubacteria\n"
              "    7|Species|\n"
              "  Homo|Genus|\n"
              "    Homo sapiens|Species|human\n"
              "  Escherichia|Genus|\n"
              "    Escherichia coli|Species|E. coli\n");
    EXPECT_NE(r.console.find("Escherichia is its own ancestor (a cycle of parents)"),
              std::string::npos) << r.console;
    EXPECT_NE(r.console.find("1 taxa whose parent is not in nodes.dmp hung under the root"),
              std::string::npos) << r.console;
    EXPECT_NE(r.console.find("1 taxa without a scientific name in names.dmp named by their tax_id"),
              std::string::npos) << r.console;
    EXPECT_NE(r.console.find("delnodes.dmp lists 3 deleted tax_ids"), std::string::npos)
        << r.console;
    // A tax_id given twice is refused, naming both lines, also when the halves read apart
    // hold one each.
    dir.write("nodes.dmp", kNodes + dmp({{"562", "561", "species"}}));
    for (bool halves : {false, true}) {
        imp::splitReadingsAlways(halves);
        const Read twice = readPath(dir.file("nodes.dmp"));
        imp::splitReadingsAlways(false);
        EXPECT_FALSE(twice.ok);
        EXPECT_NE(twice.error.find("nodes.dmp: line 12: tax_id 562 was given already on line 6"),
                  std::string::npos) << twice.error;
    }
}

TEST(Taxdump, ASubtreeIsChosenByNameOrTaxId) {
    TempDir dir;
    dir.write("nodes.dmp", kNodes);
    dir.write("names.dmp", kNames);
    const char* coli =
        "Escherichia|Genus|\n"
        "  Escherichia coli|Species|E. coli\n"
        "    Escherichia coli K-12|Strain|\n";
    for (const char* root : {"561", "Escherichia", "escherichia"}) {
        ImportOptions o;
        o.root = root;
        const Read r = readPath(dir.file("nodes.dmp"), o);
        ASSERT_TRUE(r.ok) << r.error;
        // The chosen taxon is the root: no level above it.
        EXPECT_EQ(r.tree, coli) << root;
    }
    ImportOptions o;
    o.root = "Felis";
    const Read r = readPath(dir.file("nodes.dmp"), o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("no taxon named or numbered Felis"), std::string::npos) << r.error;
}

// Plain numbers are kept as numbers while the rows are read; any other tax_id as its text.
// "007" is not 7, and a taxon given under the one hangs under that one, never the other.
TEST(Taxdump, TaxIdsOtherThanPlainNumbersLinkAsWritten) {
    TempDir dir;
    dir.write("nodes.dmp", dmp({
                               {"1", "1", "no rank"},
                               {"7", "1", "genus"},
                               {"007", "7", "species"},
                               {"x1", "007", "strain"},
                               {"8", "007", "strain"},
                               {"9", "x1", "no rank"},
                               {"10", "7", "species"},
                           }));
    // Of two names of one class the first stays, also when they lie in the two halves of a
    // file read apart.
    dir.write("names.dmp", dmp({
                               {"10", "gamma one", "", "common name"},
                               {"1", "root", "", "scientific name"},
                               {"7", "Alpha", "", "scientific name"},
                               {"007", "Alpha beta", "", "scientific name"},
                               {"x1", "Alpha beta one", "", "scientific name"},
                               {"8", "Alpha beta two", "", "scientific name"},
                               {"8", "two", "", "genbank common name"},
                               {"9", "Alpha beta one a", "", "scientific name"},
                               {"10", "Alpha gamma", "", "scientific name"},
                               {"8", "deux", "", "common name"},
                               {"7", "Alpha secundus", "", "scientific name"},
                               {"10", "gamma two", "", "common name"},
                           }));
    for (bool halves : {false, true}) {
        imp::splitReadingsAlways(halves);
        const Read r = readPath(dir.file("nodes.dmp"));
        imp::splitReadingsAlways(false);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.tree,
                  "root||\n"
                  "  Alpha|Genus|\n"
                  "    Alpha beta|Species|\n"
                  "      Alpha beta one|Strain|\n"
                  "        Alpha beta one a||\n"
                  "      Alpha beta two|Strain|two\n"
                  "    Alpha gamma|Species|gamma one\n")
            << halves;
        EXPECT_EQ(r.console, "") << halves;
    }
    // A tax_id given twice is named as written, a number or not.
    for (const char* id : {"x1", "8"}) {
        dir.write("nodes.dmp", dmp({{"1", "1", "no rank"},
                                    {"x1", "1", "genus"},
                                    {"8", "1", "genus"},
                                    {id, "1", "species"}}));
        const Read r = readPath(dir.file("nodes.dmp"));
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(std::string("line 4: tax_id ") + id + " was given already on line " +
                               (id[0] == 'x' ? "2" : "3")),
                  std::string::npos)
            << r.error;
    }
}

TEST(Taxdump, MergedIdsBecomeFormerIdsOfTheirTargets) {
    TempDir dir;
    dir.write("nodes.dmp", kNodes);
    dir.write("names.dmp", kNames);
    // 63221 was merged into 9606; 12 into a tax_id that is gone; 562 is still a node.
    dir.write("merged.dmp", dmp({{"63221", "9606"}, {"12", "13"}, {"562", "9606"}}));
    ClassificationTree t;
    TaxonFacts facts;
    ImportOptions o;
    o.facts = &facts;
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.file("nodes.dmp"), o).ok);
    std::vector<std::string> former;
    facts.forEachFormerId([&](const TreeNode* n, const char* id) {
        former.push_back(std::string(n->latinName) + " " + id);
    });
    EXPECT_EQ(former, std::vector<std::string>{"Homo sapiens 63221"});
    // Every taxon under the root has its tax_id for an identifier.
    forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
        if (n == &t) return;
        const char* id = facts.id(n);
        EXPECT_TRUE(id && *id) << n->latinName;
        if (std::string(n->latinName) == "Homo sapiens") {
            EXPECT_STREQ(id, "9606");
        }
    });
}

const std::string kTaxonomy =
    "uid\t|\tparent_uid\t|\tname\t|\trank\t|\tsourceinfo\t|\tuniqname\t|\tflags\t|\t\n"
    "805080\t|\t\t|\tlife\t|\tno rank\t|\t\t|\t\t|\t\t|\t\n"
    "93302\t|\t805080\t|\tcellular organisms\t|\tno rank\t|\tncbi:131567\t|\t\t|\t\t|\t\n"
    "844192\t|\t93302\t|\tBacteria\t|\tdomain\t|\tncbi:2\t|\tBacteria (domain)\t|\t\t|\t\n"
    "4\t|\t844192\t|\tEscherichia\t|\tgenus\t|\tncbi:561\t|\t\t|\tsibling_higher\t|\t\n"
    "5\t|\t4\t|\tEscherichia coli\t|\tspecies\t|\tncbi:562\t|\t\t|\t\t|\t\n"
    "6\t|\t4\t|\tEscherichia fossilis\t|\tspecies\t|\t\t|\t\t|\textinct,incertae_sedis\t|\t\n"
    "7\t|\t5\t|\tEscherichia coli K-12\t|\tno rank - terminal\t|\t\t|\t\t|\textinct\t|\t\n"
    "8\t|\t99\t|\tOrphanus\t|\tgenus\t|\t\t|\t\t|\t\t|\t\n";

TEST(OpenTree, EveryTaxonIsReadAndItsFlagsCounted) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "ott");
    dir.write("ott/taxonomy.tsv", kTaxonomy);
    dir.write("ott/synonyms.tsv",
              "name\t|\tuid\t|\ttype\t|\tuniqname\t|\tsourceinfo\t|\t\n"
              "Bacterium coli\t|\t5\t|\tsynonym\t|\t\t|\tncbi:562\t|\t\n"
              "colibacillus\t|\t5\t|\tcommon name\t|\t\t|\t\t|\t\n");
    writeTarGz(dir.file("ott3.7.tgz"), {{"ott3.7/taxonomy.tsv", kTaxonomy}, {"ott3.7/README", ""}});
    const char* tree =
        "life||\n"
        "  cellular organisms||\n"
        "    Bacteria|Superkingdom|\n"
        "      Escherichia|Genus|\n"
        "        Escherichia coli|Species|\n"
        "          Escherichia coli K-12||\n"
        "        Escherichia fossilis|Species|\n"
        "  Orphanus|Genus|\n";
    for (const std::string& path : {dir.file("ott"), dir.file("ott/taxonomy.tsv"), dir.file("ott3.7.tgz")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(openInput(path).kind, InputKind::OpenTreeTaxonomy);
        const Read r = readPath(path);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.tree, tree);
        EXPECT_NE(r.console.find("3 taxa carry flags, all read: extinct 2, incertae_sedis 1, "
                                 "sibling_higher 1"),
                  std::string::npos) << r.console;
        EXPECT_NE(r.console.find("1 taxa whose parent is not in taxonomy.tsv hung under the root"),
                  std::string::npos) << r.console;
    }
    // The synonyms are facts of the taxa they name; common names are not synonyms.
    ClassificationTree t;
    TaxonFacts facts;
    ImportOptions o;
    o.facts = &facts;
    o.root = "Escherichia";
    ConsoleCapture console;
    ASSERT_TRUE(importFile(t, dir.file("ott"), o).ok);
    EXPECT_EQ(t.nodeCount, 4);
    const auto synonyms = facts.synonyms();
    ASSERT_EQ(synonyms.size(), 1u);
    EXPECT_STREQ(synonyms[0].name, "Bacterium coli");
    EXPECT_STREQ(synonyms[0].accepted->latinName, "Escherichia coli");
    // A taxonomy.tsv without its header is no Open Tree taxonomy.
    dir.write("ott/taxonomy.tsv", kTaxonomy.substr(kTaxonomy.find('\n') + 1));
    const Read r = readPath(dir.file("ott"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("taxonomy.tsv: line 1: no header row"), std::string::npos) << r.error;
}

}  // namespace
