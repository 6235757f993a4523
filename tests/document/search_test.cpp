// Search over the three lists and the node list it fills.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "Console.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

// Tree 1: Felidae (cats) with Felis (small cats) and Panthera (big cats); Canidae (dogs)
// with Canis (no common name) and Vulpes (foxes); Aeluridae (red pandas). Tree 2 adds
// Hyaenidae (hyaenas) and its own Felidae (cats), which shares tree 1's common name.
class SearchTest : public ::testing::Test {
protected:
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};

    void SetUp() override {
        ClassificationTree& t1 = doc.m_tree1;
        nameRoot(t1, "Carnivora", "Order", "carnivores");
        TreeNode* felidae = addNode(&t1, "Felidae", "Family", "cats");
        addNode(felidae, "Felis", "Genus", "small cats");
        addNode(felidae, "Panthera", "Genus", "big cats");
        TreeNode* canidae = addNode(&t1, "Canidae", "Family", "dogs");
        addNode(canidae, "Canis", "Genus");
        addNode(canidae, "Vulpes", "Genus", "foxes");
        addNode(&t1, "Aeluridae", "Family", "red pandas");
        ClassificationTree& t2 = doc.m_tree2;
        nameRoot(t2, "Carnivora", "Order", "carnivores");
        addNode(&t2, "Felidae", "Family", "cats");
        addNode(&t2, "Hyaenidae", "Family", "hyaenas");
        fillNameIndexes(t1);
        fillNameIndexes(t2);
        ConsoleCapture quiet;
        doc.RunCommonTail();
        fw.log.clear();
    }

    std::vector<std::string> resultLatinNames() const {
        std::vector<std::string> out;
        for (const TreeNode* n : doc.m_searchResults) out.emplace_back(n->latinName);
        return out;
    }
    std::vector<std::string> lines() const { return doc.m_pNodeListDlg->lines(); }
};

TEST_F(SearchTest, LatinModeWalksTheSortedLatinIndexCaseSensitively) {
    doc.Search(0, "ae");
    const std::vector<std::string> expected{"Aeluridae", "Canidae", "Felidae"};
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(resultLatinNames(), expected);
    EXPECT_EQ(doc.m_pNodeListDlg->title(), "Node list - 3 item");

    doc.Search(0, "Ae");
    EXPECT_EQ(lines(), std::vector<std::string>{"Aeluridae"});
    doc.Search(0, "idae");  // the text may sit at the end of a name
    EXPECT_EQ(lines().size(), 3u);
}

TEST_F(SearchTest, CommonModeFindsASharedNameOnceAsTreeOnesNode) {
    doc.Search(1, "cats");
    EXPECT_EQ(lines(), (std::vector<std::string>{"big cats", "cats", "small cats"}));
    ASSERT_EQ(doc.m_searchResults.size(), 3u);
    EXPECT_EQ(doc.m_searchResults[1], doc.m_tree1.children[0]);  // tree 1's Felidae

    doc.Search(1, "hyaena");
    ASSERT_EQ(doc.m_searchResults.size(), 1u);
    EXPECT_EQ(doc.m_searchResults[0], doc.m_tree2.children[1]);
}

TEST_F(SearchTest, BothModeListsLatinMatchesFirstAndANodeMatchingTwiceTwice) {
    // "Felidae"/"cats" matches "a" in both names; "Canis" only by its Latin name.
    doc.Search(2, "an");
    // Latin part in Latin order, then the common part in common-name order.
    EXPECT_EQ(lines(), (std::vector<std::string>{"Canidae", "Canis", "Panthera", "red pandas"}));
    doc.Search(2, "a");
    std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), doc.m_searchResults.size());
    int felidaeLines = 0;
    for (size_t i = 0; i < l.size(); ++i) {
        if (doc.m_searchResults[i] == doc.m_tree1.children[0]) {
            ++felidaeLines;
            EXPECT_TRUE(l[i] == "Felidae" || l[i] == "cats") << l[i];
        }
    }
    EXPECT_EQ(felidaeLines, 2);
    // The Latin part comes first: "Aeluridae" (Latin) before "big cats" (common).
    EXPECT_EQ(l.front(), "Aeluridae");
    EXPECT_EQ(l.back(), "small cats");
}

TEST_F(SearchTest, NodeWithoutCommonNameIsFoundOnlyByItsLatinName) {
    doc.Search(2, "Canis");
    EXPECT_EQ(lines(), std::vector<std::string>{"Canis"});
    doc.Search(1, "Canis");
    EXPECT_TRUE(doc.m_searchResults.empty());
}

TEST_F(SearchTest, NoMatchShowsTheModesMessageBeforeTheZeroItemTitle) {
    const char* messages[3] = {"No node found with the Latin Name\n Try another name",
                               "No node found with the Common Name\n Try another name",
                               "No node found with the Latin or Common Name\n Try another name"};
    for (int mode : {0, 1, 2, 7}) {
        fw.log.clear();
        doc.m_searchResults.push_back(&doc.m_tree1);  // a stale result must go
        doc.Search(mode, "Ursidae");
        EXPECT_TRUE(doc.m_searchResults.empty());
        const std::string message = std::string("message:") + messages[mode > 2 ? 2 : mode];
        const std::vector<std::string> tail{"dialog:reset", message,
                                            "dialog:title:Node list - 0 item", "dialog:show",
                                            "update"};
        ASSERT_GE(fw.log.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(fw.log.end() - tail.size(), fw.log.end()), tail)
            << "mode " << mode;
    }
}

TEST_F(SearchTest, MatchesGoToTheDialogInOrderThenTitleShowAndUpdate) {
    doc.Search(0, "Fel");
    EXPECT_EQ(fw.log, (std::vector<std::string>{"dialog:new", "dialog:create", "dialog:reset",
                                                "dialog:add:Felidae", "dialog:add:Felis",
                                                "dialog:title:Node list - 2 item", "dialog:show",
                                                "update"}));
    EXPECT_TRUE(doc.m_pNodeListDlg->visible());
    EXPECT_EQ(doc.m_pNodeListDlg->m_pDoc, &doc);
}

TEST_F(SearchTest, OpenDialogIsReusedAndAClosedOneIsReplaced) {
    doc.Search(0, "Fel");
    CNodeListDlg* first = doc.m_pNodeListDlg.get();
    EXPECT_TRUE(first->m_bOpen);
    doc.Search(0, "Can");
    EXPECT_EQ(doc.m_pNodeListDlg.get(), first);
    EXPECT_EQ(fw.entries("dialog:new").size(), 1u);
    EXPECT_EQ(lines(), (std::vector<std::string>{"Canidae", "Canis"}));  // old lines gone

    first->OnClose();
    fw.log.clear();
    doc.Search(0, "Vul");
    EXPECT_EQ(fw.log.front(), "dialog:new");
    EXPECT_TRUE(doc.m_pNodeListDlg->m_bOpen);
    EXPECT_EQ(lines(), std::vector<std::string>{"Vulpes"});
}

TEST_F(SearchTest, PickingALineRaisesNodeSelectedAndUpdatesViews) {
    doc.Search(0, "Fel");
    fw.log.clear();
    EXPECT_FALSE(doc.m_bNodeSelected);
    doc.m_pNodeListDlg->OnSelChange(1);
    EXPECT_TRUE(doc.m_bNodeSelected);
    EXPECT_EQ(fw.log, std::vector<std::string>{"update"});
    const int sel = doc.m_pNodeListDlg->GetCurSel();
    ASSERT_EQ(sel, 1);
    EXPECT_STREQ(doc.m_searchResults[sel]->latinName, "Felis");
}

TEST_F(SearchTest, WalkingTheNameCopiesOrTheListsThemselvesFindsTheSame) {
    for (int mode : {0, 1}) {
        for (const char* text : {"a", "ae", "cats", "C", "s", "zz"}) {
            doc.Search(mode, text);
            const std::vector<TreeNode*> viaCopies = doc.m_searchResults;
            const std::vector<std::string> linesViaCopies = lines();
            // Lists that no longer mirror the copies are walked directly.
            std::vector<SearchEntry> saved = std::move(doc.m_searchNames);
            doc.m_searchNames.clear();
            doc.Search(mode, text);
            EXPECT_EQ(doc.m_searchResults, viaCopies) << mode << " " << text;
            EXPECT_EQ(lines(), linesViaCopies) << mode << " " << text;
            doc.m_searchNames = std::move(saved);
        }
    }
}

TEST(SearchWithoutFramework, UsesAPlainDialogAndStaysSilent) {
    CCladoramaDoc doc;
    nameRoot(doc.m_tree1, "Mammalia", "Class", "mammals");
    addNode(&doc.m_tree1, "Mus", "Genus", "mice");
    fillNameIndexes(doc.m_tree1);
    {
        ConsoleCapture quiet;
        doc.RunCommonTail();
    }
    doc.Search(2, "m");
    EXPECT_EQ(doc.m_pNodeListDlg->lines(),
              (std::vector<std::string>{"Mammalia", "mammals", "mice"}));
    EXPECT_EQ(doc.m_pNodeListDlg->title(), "Node list - 3 item");
    doc.Search(2, "\xC3\xA9");  // bytes that occur nowhere
    EXPECT_TRUE(doc.m_pNodeListDlg->lines().empty());
}

}  // namespace
