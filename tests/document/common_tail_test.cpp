// The end of every load: sorted indexes, the merged common-name list, the searchable
// names, the update of the views and the slider range.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "Console.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

// Gives `tree` a root and one child per common name (Latin name "<prefix><i>"); fills
// the indexes as the binary reader would.
std::vector<TreeNode*> populate(ClassificationTree& tree, const char* prefix,
                                const std::vector<const char*>& commons) {
    nameRoot(tree, (std::string(prefix) + "Root").c_str());
    std::vector<TreeNode*> nodes;
    for (size_t i = 0; i < commons.size(); ++i)
        nodes.push_back(addNode(&tree, (prefix + std::to_string(i)).c_str(), "Genus", commons[i]));
    fillNameIndexes(tree);
    return nodes;
}

std::vector<std::string> commonNames(const std::vector<TreeNode*>& list) {
    std::vector<std::string> out;
    for (const TreeNode* n : list) out.emplace_back(n->commonName);
    return out;
}

TEST(MergeCommonIndexes, WorkedExamplesKeepTreeOnesNodeAndIncludeBothTails) {
    ClassificationTree t1, t2;
    auto a = populate(t1, "a", {"Ant", "Bee", "Cat"});
    auto b = populate(t2, "b", {"Bee", "Dog"});
    EXPECT_EQ(mergeCommonIndexes(a, b), (std::vector<TreeNode*>{a[0], a[1], a[2], b[1]}));

    ClassificationTree t3, t4;
    auto c = populate(t3, "c", {"Ant"});
    auto d = populate(t4, "d", {"Bee", "Cat", "Dog"});
    EXPECT_EQ(mergeCommonIndexes(c, d), (std::vector<TreeNode*>{c[0], d[0], d[1], d[2]}));
    EXPECT_EQ(mergeCommonIndexes(d, c), (std::vector<TreeNode*>{c[0], d[0], d[1], d[2]}));
    EXPECT_EQ(mergeCommonIndexes({}, d), d);
    EXPECT_EQ(mergeCommonIndexes(c, {}), c);
}

TEST(MergeCommonIndexes, RepeatedNamesArePairedOffOneForOne) {
    ClassificationTree t1, t2;
    auto eel2 = populate(t1, "a", {"Eel", "Eel"});
    auto eel1 = populate(t2, "b", {"Eel"});
    EXPECT_EQ(mergeCommonIndexes(eel2, eel1), (std::vector<TreeNode*>{eel2[0], eel2[1]}));
    EXPECT_EQ(mergeCommonIndexes(eel1, eel2), (std::vector<TreeNode*>{eel1[0], eel2[1]}));
}

TEST(CommonTail, SortsMergesEmptiesIndexesAndBuildsSearchNames) {
    RecorderFramework fw;
    CCladoramaDoc doc(&fw);
    // Out of order on purpose; "" has no common name; "\xC3\xA9l" is a non-ASCII name.
    auto n1 = populate(doc.m_tree1, "t", {"ant", "Zebra", "", "Anteater", "Ant", "\xC3\xA9l"});
    auto n2 = populate(doc.m_tree2, "u", {"cat", "Ant", "", "bee"});
    const std::vector<TreeNode*> tree2Order = doc.m_tree2.latinIndex;

    ConsoleCapture console;
    doc.RunCommonTail();
    EXPECT_EQ(console.text(), "Latin name sorted\ncommon name sorted\ncommon name sorted\n");

    // Byte order: upper case first, a prefix first, bytes above 127 last; "Ant" of both
    // trees once, as tree 1's node.
    EXPECT_EQ(commonNames(doc.m_combinedByCommon),
              (std::vector<std::string>{"Ant", "Anteater", "Zebra", "ant", "bee", "cat",
                                        "\xC3\xA9l"}));
    EXPECT_EQ(doc.m_combinedByCommon[0], n1[4]);
    EXPECT_TRUE(doc.m_tree1.commonIndex.empty());
    EXPECT_TRUE(doc.m_tree2.commonIndex.empty());
    EXPECT_EQ(doc.m_tree2.latinIndex, tree2Order);  // tree 2's Latin index is left alone

    for (size_t i = 1; i < doc.m_tree1.latinIndex.size(); ++i)
        EXPECT_LT(std::strcmp(doc.m_tree1.latinIndex[i - 1]->latinName,
                              doc.m_tree1.latinIndex[i]->latinName), 0);

    ASSERT_EQ(doc.m_searchNames.size(),
              doc.m_tree1.latinIndex.size() + doc.m_combinedByCommon.size());
    const size_t latinCount = doc.m_tree1.latinIndex.size();
    for (size_t i = 0; i < doc.m_searchNames.size(); ++i) {
        const SearchEntry& e = doc.m_searchNames[i];
        TreeNode* expected =
            i < latinCount ? doc.m_tree1.latinIndex[i] : doc.m_combinedByCommon[i - latinCount];
        const char* name = i < latinCount ? expected->latinName : expected->commonName;
        EXPECT_EQ(e.node, expected) << i;
        EXPECT_STREQ(e.name, name) << i;
        EXPECT_NE(e.name, name) << "entry " << i << " must own a copy";
    }
    // No search bar yet: views update, the slider is not touched.
    EXPECT_EQ(fw.log, std::vector<std::string>{"update"});
    (void)n2;
}

TEST(CommonTail, RunningAgainReplacesTheListsInsteadOfAppending) {
    CCladoramaDoc doc;
    populate(doc.m_tree1, "t", {"Ant"});
    populate(doc.m_tree2, "u", {"Bee"});
    {
        ConsoleCapture quiet;
        doc.RunCommonTail();
        fillNameIndexes(doc.m_tree1);
        fillNameIndexes(doc.m_tree2);
        doc.RunCommonTail();
    }
    EXPECT_EQ(commonNames(doc.m_combinedByCommon), (std::vector<std::string>{"Ant", "Bee"}));
    EXPECT_EQ(doc.m_searchNames.size(), doc.m_tree1.latinIndex.size() + 2);
}

TEST(CommonTail, SliderMaximumIsLastIndexPositionOverHundred) {
    for (auto [nodes, maximum] : {std::pair{1250, 12}, {1200, 11}, {99, 0}, {101, 1}, {1, 0}}) {
        RecorderFramework fw;
        CCladoramaDoc doc(&fw);
        doc.m_pSearchBar = fakeSearchBar();
        nameRoot(doc.m_tree1, "Root");
        for (int i = 1; i < nodes; ++i) addNode(&doc.m_tree1, ("n" + std::to_string(i)).c_str());
        fillNameIndexes(doc.m_tree1);
        ASSERT_EQ(doc.m_tree1.latinIndex.size(), static_cast<size_t>(nodes));
        ConsoleCapture quiet;
        doc.RunCommonTail();
        EXPECT_EQ(fw.log, (std::vector<std::string>{"update", "slider:0.." + std::to_string(maximum)}))
            << nodes << " nodes";
    }
}

TEST(CommonTail, EmptyIndexesAsAfterBuildModeGiveEmptyListsAndSliderZero) {
    RecorderFramework fw;
    CCladoramaDoc doc(&fw);
    doc.m_pSearchBar = fakeSearchBar();
    ConsoleCapture quiet;
    doc.RunCommonTail();
    EXPECT_TRUE(doc.m_combinedByCommon.empty());
    EXPECT_TRUE(doc.m_searchNames.empty());
    EXPECT_EQ(fw.entries("slider:"), std::vector<std::string>{"slider:0..0"});
}

TEST(Document, NewDocumentSetsTitleAndKeepsTrees) {
    RecorderFramework fw;
    CCladoramaDoc doc(&fw);
    populate(doc.m_tree1, "t", {"Ant", "Bee"});
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_strTitle, "Cladorama");
    EXPECT_EQ(fw.log, std::vector<std::string>{"title:Cladorama"});
    EXPECT_EQ(doc.m_tree1.children.size(), 2u);
    EXPECT_EQ(doc.m_tree1.latinIndex.size(), 3u);
    // The constructor's dialog object has no window yet.
    ASSERT_TRUE(doc.m_pNodeListDlg);
    EXPECT_FALSE(doc.m_pNodeListDlg->m_bOpen);
}

TEST(NamePool, CopiesStayIntactAcrossBlocksAndLongNames) {
    NamePool pool;
    std::vector<std::string> texts;
    std::vector<char*> copies;
    for (int i = 0; i < 120000; ++i) {
        // Mostly short names, now and then one of the longest a file can hold.
        texts.push_back(i % 40000 == 7 ? std::string(32767, static_cast<char>('a' + i % 26))
                                       : "Taxon " + std::to_string(i));
        copies.push_back(pool.copy(texts.back().c_str()));
    }
    copies.push_back(pool.copy(""));
    texts.emplace_back();
    for (size_t i = 0; i < texts.size(); ++i) ASSERT_STREQ(copies[i], texts[i].c_str()) << i;
}

}  // namespace
