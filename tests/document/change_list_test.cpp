// The list of changes: its rows for a small pair that shows every kind, its filters, counts,
// sorting and table, and its life with the document's loads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

struct Taxon {
    int depth;
    const char* rank;
    const char* latin;
};

// A classification file of taxa given depth first, each with its depth below the root.
std::string classification(const std::vector<Taxon>& taxa) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
    std::vector<bool> open;
    for (size_t i = 0; i < taxa.size(); ++i) {
        const Taxon& t = taxa[i];
        while (static_cast<int>(open.size()) > t.depth) {
            if (open.back()) xml += "</branch>\n";
            open.pop_back();
        }
        const bool branch = i + 1 < taxa.size() && taxa[i + 1].depth > t.depth;
        xml += branch ? "<branch>\n" : "<leaf>\n";
        xml += std::string("<attr name=\"latin\" value=\"") + t.latin + "\"/>\n";
        xml += "<attr name=\"common\" value=\"\"/>\n";
        xml += std::string("<attr name=\"rank\" value=\"") + t.rank + "\"/>\n";
        if (!branch) xml += "</leaf>\n";
        open.push_back(branch);
    }
    while (!open.empty()) {
        if (open.back()) xml += "</branch>\n";
        open.pop_back();
    }
    return xml;
}

const std::vector<Taxon> kFirst = {
    {0, "Order", "Carnivora"},
    {1, "Family", "Canidae"},
    {2, "Genus", "Canis"},
    {3, "Species", "Canis lupus"},
    {3, "Species", "Canis aureus"},
    {1, "Family", "Felidae"},
    {2, "Genus", "Felis"},
    {3, "Species", "Felis catus"},
    {2, "Genus", "Lynx"},
    {3, "Species", "Lynx lynx"},
    {2, "Genus", "Prionailurus"},
    {3, "Species", "Prionailurus bengalensis"},
    {1, "Family", "Mustelidae"},
    {2, "Genus", "Mustela"},
    {3, "Species", "Mustela niv\xe1lis"},
    {1, "Family", "Viverridae"},
    {2, "Genus", "Genetta"},
    {3, "Species", "Genetta genetta"},
};

const std::vector<Taxon> kSecond = {
    {0, "Order", "Carnivora"},
    {1, "Family", "Canidae"},
    {2, "Genus", "Canis"},
    {3, "Species", "Canis lupus"},
    {2, "Genus", "Lupulella"},
    {3, "Species", "Lupulella aurea"},
    {1, "Family", "Felidae"},
    {2, "Genus", "Felis"},
    {3, "Species", "Felis catus"},
    {3, "Species", "Felis lynx"},
    {3, "Species", "Prionailurus bengalensis"},
    {1, "Family", "Ursidae"},
    {2, "Genus", "Ursus"},
    {3, "Species", "Ursus arctos"},
    {1, "Family", "Viverridae"},
    {2, "Subfamily", "Genetta"},
    {3, "Species", "Genetta genetta"},
};

const TreeNode* rootOf(const TreeNode* node) {
    while (node && node->parent) node = node->parent;
    return node;
}

// The rows shown, one line each: kind, rank, both names, detail.
std::string shown(const ChangeList& list) {
    std::string text;
    for (uint32_t i : list.shown()) {
        const ChangeRow& row = list.rows()[i];
        for (int c = 0; c < kChangeColumns - 1; ++c)
            text += list.cell(row, static_cast<ChangeColumn>(c)) + (c < kChangeColumns - 2 ? "|" : "\n");
    }
    return text;
}

class ChangeListTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("a.xml", classification(kFirst));
        dir.write("b.xml", classification(kSecond));
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.ReloadTrees(dir.file("a.xml"), dir.file("b.xml")));
        ASSERT_TRUE(doc.FindChangesNow());
    }
    TempDir dir;
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};
};

}  // namespace

TEST_F(ChangeListTest, EveryKindOfChangeIsOneRowWithTheTaxaOfBothTrees) {
    const ChangeList& list = doc.m_changes;
    EXPECT_EQ(shown(list),
              "renamed|Species|Canis aureus|Lupulella aurea|ending\n"
              "added|Genus||Lupulella|\n"
              "removed|Genus|Lynx||\n"
              "renamed|Species|Lynx lynx|Felis lynx|epithet\n"
              "removed|Genus|Prionailurus||\n"
              "moved|Species|Prionailurus bengalensis|Prionailurus bengalensis|from Prionailurus to Felis\n"
              "removed|Family|Mustelidae||\n"
              "removed|Genus|Mustela||\n"
              "removed|Species|Mustela niv\xe1lis||\n"
              "added|Family||Ursidae|\n"
              "added|Genus||Ursus|\n"
              "added|Species||Ursus arctos|\n"
              "rank|Genus|Genetta|Genetta|Genus to Subfamily\n"
              "only in tree 1|Family|Mustelidae||! no species shared\n"
              "only in tree 2|Family||Ursidae|! no species shared\n"
              "split|Genus|Canis|Canis|> 1 shared; 2 in tree 1, 1 in tree 2\n"
              "split|Genus|Canis|Lupulella|> 1 shared; 2 in tree 1, 1 in tree 2\n"
              "lumped|Genus|Felis|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n"
              "only in tree 1|Genus|Genetta||! no species shared\n"
              "lumped|Genus|Lynx|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n"
              "only in tree 1|Genus|Mustela||! no species shared\n"
              "lumped|Genus|Prionailurus|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n"
              "only in tree 2|Genus||Ursus|! no species shared\n");
    EXPECT_EQ(list.ranks(), (std::vector<std::string>{"Species", "Genus", "Family"}));
    EXPECT_EQ(list.ranksTopDown(), (std::vector<uint32_t>{2, 1, 0}));
    // Every row's taxa are each tree's own: tree 1's in tree 1, tree 2's in tree 2.
    for (const ChangeRow& row : list.rows()) {
        if (row.node1) {
            EXPECT_EQ(rootOf(row.node1), &doc.m_tree1);
            EXPECT_NE(row.node1->onlyInTree, 2);
        }
        if (row.node2) {
            EXPECT_EQ(rootOf(row.node2), &doc.m_tree2);
            EXPECT_NE(row.node2->onlyInTree, 1);
        }
        EXPECT_TRUE(row.node1 || row.node2);
    }
}

TEST_F(ChangeListTest, FiltersCountsAndSorting) {
    ChangeList& list = doc.m_changes;
    auto rank = [&](const char* name) {
        for (size_t i = 0; i < list.ranks().size(); ++i)
            if (list.ranks()[i] == name) return static_cast<int>(i);
        return -1;
    };
    ChangeFilter filter;
    // Several kinds at once.
    filter.kinds = changeKindBit(ChangeRowKind::Renamed) | changeKindBit(ChangeRowKind::Moved);
    list.setFilter(filter);
    EXPECT_EQ(shown(list),
              "renamed|Species|Canis aureus|Lupulella aurea|ending\n"
              "renamed|Species|Lynx lynx|Felis lynx|epithet\n"
              "moved|Species|Prionailurus bengalensis|Prionailurus bengalensis|from Prionailurus to Felis\n");
    // The counts are of every kind, whatever kinds are shown.
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::Added)], 4);
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::Lumped)], 3);

    // One rank; then that rank and those above it.
    filter = ChangeFilter{};
    filter.rank = rank("Genus");
    list.setFilter(filter);
    EXPECT_EQ(list.shown().size(), 14u);
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::Removed)], 3);
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::Renamed)], 0);
    filter.andAbove = true;
    list.setFilter(filter);
    EXPECT_EQ(list.shown().size(), 18u);
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::OnlyIn2)], 2);
    filter.rank = rank("Family");
    filter.andAbove = false;
    list.setFilter(filter);
    EXPECT_EQ(list.shown().size(), 4u);

    // Text in either name, either case.
    filter = ChangeFilter{};
    filter.text = "LUPUL";
    list.setFilter(filter);
    EXPECT_EQ(shown(list),
              "renamed|Species|Canis aureus|Lupulella aurea|ending\n"
              "added|Genus||Lupulella|\n"
              "split|Genus|Canis|Lupulella|> 1 shared; 2 in tree 1, 1 in tree 2\n");
    EXPECT_EQ(list.counts()[static_cast<int>(ChangeRowKind::Split)], 1);

    // Any column, either way, rows equal there in the order they were found.
    filter.text = "lynx";
    list.setFilter(filter);
    list.sortBy(ChangeColumn::Name2, false);
    EXPECT_EQ(shown(list),
              "renamed|Species|Lynx lynx|Felis lynx|epithet\n"
              "lumped|Genus|Lynx|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n"
              "removed|Genus|Lynx||\n");
    list.sortBy(ChangeColumn::Rank, true);
    EXPECT_EQ(shown(list),
              "removed|Genus|Lynx||\n"
              "lumped|Genus|Lynx|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n"
              "renamed|Species|Lynx lynx|Felis lynx|epithet\n");
    list.sortBy(ChangeColumn::Kind, true);
    EXPECT_EQ(shown(list),
              "removed|Genus|Lynx||\n"
              "renamed|Species|Lynx lynx|Felis lynx|epithet\n"
              "lumped|Genus|Lynx|Felis|< 1 shared; 1 in tree 1, 3 in tree 2\n");
}

TEST_F(ChangeListTest, TheSpeciesTwoTaxaShareAndTheTableOfTheRowsShown) {
    ChangeList& list = doc.m_changes;
    std::vector<std::string> shared;
    for (const ChangeRow& row : list.rows()) {
        std::string names;
        for (const TreeNode* n : list.sharedSpecies(row)) {
            EXPECT_EQ(rootOf(n), &doc.m_tree1);
            names += std::string(n->latinName) + ";";
        }
        if (!names.empty()) shared.push_back(list.cell(row, ChangeColumn::Name2) + ": " + names);
    }
    // A renamed species counts as the same species; lumped Felis shares only its own.
    EXPECT_EQ(shared, (std::vector<std::string>{"Canis: Canis lupus;", "Lupulella: Canis aureus;",
                                                "Felis: Felis catus;", "Felis: Lynx lynx;",
                                                "Felis: Prionailurus bengalensis;"}));

    ChangeFilter filter;
    filter.text = "mustel";
    list.setFilter(filter);
    list.sortBy(ChangeColumn::Kind, false);
    EXPECT_EQ(list.table(','),
              "Change,Rank,Name in tree 1,Name in tree 2,Evidence or relation,Path\n"
              "only in tree 1,Family,Mustelidae,,! no species shared,Carnivora > Mustelidae\n"
              "only in tree 1,Genus,Mustela,,! no species shared,Carnivora > Mustelidae > Mustela\n"
              "removed,Family,Mustelidae,,,Carnivora > Mustelidae\n"
              "removed,Genus,Mustela,,,Carnivora > Mustelidae > Mustela\n"
              "removed,Species,Mustela niv\xc3\xa1lis,,,Carnivora > Mustelidae > Mustela > "
              "Mustela niv\xc3\xa1lis\n");
    filter.text = "canis";
    list.setFilter(filter);
    list.sortBy(ChangeColumn::Name2, true);
    EXPECT_EQ(list.table(','),
              "Change,Rank,Name in tree 1,Name in tree 2,Evidence or relation,Path\n"
              "split,Genus,Canis,Canis,\"> 1 shared; 2 in tree 1, 1 in tree 2\",Carnivora > Canidae > Canis\n"
              "split,Genus,Canis,Lupulella,\"> 1 shared; 2 in tree 1, 1 in tree 2\",Carnivora > Canidae > Canis\n"
              "renamed,Species,Canis aureus,Lupulella aurea,ending,Carnivora > Canidae > Canis > Canis aureus\n");
    const std::string tsv = list.table('\t');
    EXPECT_EQ(tsv.substr(0, tsv.find('\n', tsv.find('\n') + 1) + 1),
              "Change\tRank\tName in tree 1\tName in tree 2\tEvidence or relation\tPath\n"
              "split\tGenus\tCanis\tCanis\t> 1 shared; 2 in tree 1, 1 in tree 2\tCarnivora > Canidae > Canis\n");
}

TEST_F(ChangeListTest, RowsFollowTheTreesTheDocumentHolds) {
    const uint64_t before = doc.m_changes.generation();
    ConsoleCapture quiet;
    // A failed load keeps the trees, and their rows.
    EXPECT_FALSE(doc.ReloadTrees(dir.file("a.xml"), dir.file("gone.xml")));
    EXPECT_EQ(doc.m_changes.rows().size(), 23u);
    EXPECT_EQ(doc.m_changes.generation(), before);
    // Two equal trees: nothing changed.
    ASSERT_TRUE(doc.ReloadTrees(dir.file("a.xml"), dir.file("a.xml")));
    ASSERT_TRUE(doc.FindChangesNow());
    EXPECT_TRUE(doc.m_changes.rows().empty());
    EXPECT_TRUE(doc.m_changes.shown().empty());
    EXPECT_NE(doc.m_changes.generation(), before);
    ASSERT_TRUE(doc.ReloadTrees(dir.file("b.xml"), dir.file("a.xml")));
    ASSERT_TRUE(doc.FindChangesNow());
    EXPECT_FALSE(doc.m_changes.rows().empty());
    EXPECT_EQ(std::string(doc.m_changes.rows()[0].node1->latinName), "Lupulella");
}
