// The File Open command: both trees replaced from two chosen files, or nothing changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>

#include "CladoramaDoc.h"
#include "Console.h"
#include "RecorderFramework.h"
#include "TestSupport.h"
#include "TreeFile.h"

namespace fs = std::filesystem;

namespace {

// Writes a one-level tree: `root` (Order) with Family children named `latin`, each with
// the common name "<latin> folk".
void writeSmallTree(const std::string& path, uint8_t id, const char* root,
                    std::initializer_list<const char*> latin) {
    ClassificationTree tree;
    tree.treeId = id;
    nameRoot(tree, root, "Order", "order folk");
    tree.rankNames = {newName("Order"), newName("Family")};
    for (const char* name : latin)
        addNode(&tree, name, "Family", (std::string(name) + " folk").c_str());
    tree.nodeCount = static_cast<int32_t>(latin.size() + 1);
    tree.leafCount = static_cast<int32_t>(latin.size());
    tree.maxLevel = 1;
    ASSERT_EQ(writeTreeFile(tree, path.c_str()), 1);
}

std::string classification(const char* root, std::initializer_list<const char*> leaves) {
    ClassificationText text;
    text.branch(root, "Order", "order folk");
    for (const char* leaf : leaves) text.leaf(leaf, "Family", (std::string(leaf) + " folk").c_str());
    return text.end().str();
}

// A document loaded at start-up from T1.jm2/T2.jm2 ("Old" trees), with a search done
// and the dialog open; the folder also holds a "New" pair and a classification pair.
class ReloadTest : public ::testing::Test {
protected:
    TempDir dir;
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};
    ConsoleCapture console;  // readers' census and progress lines
    TreeNode* oldChild = nullptr;

    void SetUp() override {
        writeSmallTree(dir.file(kTreeFile1), 1, "Old", {"Alpha", "Beta"});
        writeSmallTree(dir.file(kTreeFile2), 2, "Old", {"Alpha", "Gamma"});
        writeSmallTree(dir.file("new1.jm2"), 1, "New", {"Delta", "Epsilon", "Zeta"});
        writeSmallTree(dir.file("new2.jm2"), 2, "New", {"Delta", "Eta"});
        dir.write("a.xml", classification("New", {"Delta", "Epsilon"}));
        dir.write("b.xml", classification("New", {"Delta", "Theta"}));
        {
            ScopedCwd cwd(dir.path().string());
            ASSERT_TRUE(doc.LoadHierarchiesIn<LoadMode::Binary>());
        }
        doc.m_pSearchBar = fakeSearchBar();
        doc.Search(0, "a");
        ASSERT_FALSE(doc.m_searchResults.empty());
        oldChild = doc.m_tree1.children[0];
        fw.log.clear();
    }

    void answer(std::initializer_list<std::optional<std::string>> paths) {
        for (const auto& p : paths) fw.answers.push_back(p ? std::optional(dir.file(*p)) : p);
    }

    // The document still holds the start-up trees and lists, untouched.
    void expectUnchanged() {
        EXPECT_STREQ(doc.m_tree1.latinName, "Old");
        EXPECT_EQ(doc.m_tree1.children[0], oldChild);
        EXPECT_EQ(childNames(&doc.m_tree1), "Alpha,Beta");
        EXPECT_EQ(childNames(&doc.m_tree2), "Alpha,Gamma");
        EXPECT_EQ(doc.m_searchNames.size(), 3u + 4u);  // Alpha, Beta, Gamma, order folk
        EXPECT_EQ(doc.m_tree1.latinIndex.size(), 3u);
        EXPECT_FALSE(doc.m_searchResults.empty());
        EXPECT_EQ(fw.entries("replaced").size(), 0u);
    }

    // Every list of the document names nodes of the current trees only.
    void expectListsPointIntoCurrentTrees() {
        std::unordered_set<const TreeNode*> live;
        forEachNode(static_cast<const TreeNode*>(&doc.m_tree1), [&](const TreeNode* n) { live.insert(n); });
        forEachNode(static_cast<const TreeNode*>(&doc.m_tree2), [&](const TreeNode* n) { live.insert(n); });
        for (const TreeNode* n : doc.m_tree1.latinIndex) EXPECT_TRUE(live.count(n));
        for (const TreeNode* n : doc.m_combinedByCommon) EXPECT_TRUE(live.count(n));
        for (const SearchEntry& e : doc.m_searchNames) EXPECT_TRUE(live.count(e.node));
    }
};

TEST_F(ReloadTest, CancelAtEitherDialogChangesNothing) {
    answer({std::nullopt});
    doc.OnFileOpen();
    EXPECT_EQ(fw.log, std::vector<std::string>{"prompt"});
    expectUnchanged();

    fw.log.clear();
    answer({"new1.jm2", std::nullopt});
    doc.OnFileOpen();
    EXPECT_EQ(fw.log, (std::vector<std::string>{"prompt", "prompt"}));
    expectUnchanged();
}

TEST_F(ReloadTest, TwoBinaryFilesReplaceBothTreesAndRebuildEveryList) {
    bool checked = false;
    fw.onTreesReplaced = [&] {
        // The new trees are in place, the document's lists no longer name old nodes, and
        // the old nodes are still alive for the views to let go of.
        EXPECT_STREQ(doc.m_tree1.latinName, "New");
        EXPECT_EQ(childNames(&doc.m_tree1), "Delta,Epsilon,Zeta");
        EXPECT_TRUE(doc.m_searchResults.empty());
        EXPECT_TRUE(doc.m_searchNames.empty());
        EXPECT_TRUE(doc.m_combinedByCommon.empty());
        EXPECT_STREQ(oldChild->latinName, "Alpha");
        checked = true;
    };
    doc.m_bNodeSelected = true;
    answer({"new1.jm2", "new2.jm2"});
    doc.OnFileOpen();
    EXPECT_TRUE(checked);
    EXPECT_EQ(fw.log, (std::vector<std::string>{"prompt", "prompt", "dialog:reset",
                                                "dialog:title:Node list - 0 item", "replaced",
                                                "update", "slider:0..0", "message:Tree Loaded!",
                                                "update"}));
    EXPECT_EQ(childNames(&doc.m_tree2), "Delta,Eta");
    EXPECT_EQ(doc.m_tree1.treeId, 1);
    EXPECT_EQ(doc.m_tree2.treeId, 2);
    EXPECT_EQ(validate(doc.m_tree1), "");
    EXPECT_EQ(validate(doc.m_tree2), "");
    // Not appended to the old hierarchy: exactly the new file's four nodes.
    EXPECT_EQ(doc.m_tree1.latinIndex.size(), 4u);
    EXPECT_TRUE(doc.m_tree1.commonIndex.empty());
    EXPECT_EQ(doc.m_combinedByCommon.size(), 5u);  // Delta, Epsilon, Eta, Zeta, order folk
    EXPECT_EQ(doc.m_searchNames.size(), 4u + 5u);
    EXPECT_STREQ(doc.m_tree1.latinIndex[0]->latinName, "Delta");  // sorted again
    EXPECT_TRUE(doc.m_searchResults.empty());
    EXPECT_FALSE(doc.m_bNodeSelected);
    EXPECT_TRUE(doc.m_pNodeListDlg->lines().empty());
    expectListsPointIntoCurrentTrees();

    doc.Search(1, "Eta");
    ASSERT_EQ(doc.m_searchResults.size(), 1u);
    EXPECT_EQ(doc.m_searchResults[0], doc.m_tree2.children[1]);
}

TEST_F(ReloadTest, ATreeFilePairedWithAnotherKindIsComparedAfreshOnItsOwnTaxa) {
    // Tree 1's file of a.xml built against b.xml holds b's Theta as a grafted copy; paired
    // with b.xml again it must give what a.xml and b.xml give.
    CCladoramaDoc builder;
    const std::string built = dir.file("built");
    ASSERT_TRUE(builder.BuildTreeFiles(dir.file("a.xml"), dir.file("b.xml"), built));
    ASSERT_TRUE(fs::exists(built + "/T1.jm2") && fs::exists(built + "/T2.jm2"));
    auto picture = [](const CCladoramaDoc& d) {
        std::string out;
        for (const ClassificationTree* t : {&d.m_tree1, &d.m_tree2}) {
            EXPECT_EQ(validate(*t), "");
            forEachNode(static_cast<const TreeNode*>(t), [&](const TreeNode* n) {
                out += std::string(n->latinName) + " " + std::to_string(n->onlyInTree) + " " +
                       std::to_string(n->x) + " " + std::to_string(n->width) + ";";
            });
            out += "|" + std::to_string(t->nodeCount) + "|";
        }
        return out;
    };
    CCladoramaDoc fromText;
    ASSERT_TRUE(fromText.ReloadTrees(dir.file("a.xml"), dir.file("b.xml")));
    answer({"built/T1.jm2", "b.xml"});
    doc.OnFileOpen();
    EXPECT_EQ(fw.entries("message:"), std::vector<std::string>{"message:Tree Loaded!"});
    EXPECT_EQ(picture(doc), picture(fromText));
    EXPECT_EQ(childNames(&doc.m_tree1), "Delta,Epsilon,Theta");
}

TEST_F(ReloadTest, AFileOfNoKnownKindIsRefused) {
    dir.write("notes.bin", std::string("\x01\x02\x00\x7f junk", 10));
    answer({"a.xml", "notes.bin"});
    doc.OnFileOpen();
    ASSERT_EQ(fw.log.size(), 3u);
    EXPECT_EQ(fw.log[2], "message:" + dir.file("notes.bin") +
                             "\nis no file Cladorama can read: a tree file (.jm2), a classification "
                             "file (.xml), a table (.csv, .tsv), a Darwin Core Archive, a "
                             "Catalogue of Life Data Package, an NCBI taxdump or an Open Tree "
                             "taxonomy");
    expectUnchanged();
}

// A failed reload's message box: the document's line naming the file, then the reader's own
// line, which names the file again and says at which byte it stopped and why.
void expectFailureMessage(const std::vector<std::string>& messages, const std::string& first,
                          const std::string& file) {
    ASSERT_EQ(messages.size(), 1u);
    const std::string& m = messages[0];
    const std::string head = "message:" + first + file + " has been failed!\n";
    ASSERT_EQ(m.rfind(head, 0), 0u) << m;
    const std::string reason = m.substr(head.size());
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_NE(reason.find(file), std::string::npos) << reason;
    EXPECT_NE(reason.find("byte"), std::string::npos) << reason;
}

TEST_F(ReloadTest, AnUnreadableFileIsNamedAndTheDocumentKeepsItsTrees) {
    answer({"new1.jm2", "missing.jm2"});
    doc.OnFileOpen();
    EXPECT_EQ(fw.entries("prompt"), (std::vector<std::string>{"prompt", "prompt"}));
    expectFailureMessage(fw.entries("message:"), "Reading binary tree file ", dir.file("missing.jm2"));
    expectUnchanged();

    fw.log.clear();
    const std::string bytes = readFileBytes(dir.file("new1.jm2"));
    dir.write("short.jm2", bytes.substr(0, bytes.size() - 3));
    answer({"short.jm2", "new2.jm2"});
    doc.OnFileOpen();
    expectFailureMessage(fw.entries("message:"), "Reading binary tree file ", dir.file("short.jm2"));
    expectUnchanged();

    fw.log.clear();
    answer({"a.xml", "gone.xml"});
    doc.OnFileOpen();
    expectFailureMessage(fw.entries("message:"), "Reading classification xml file ",
                         dir.file("gone.xml"));
    expectUnchanged();
}

TEST_F(ReloadTest, ClassificationFilesAreBuiltInMemoryLikeABuildAndBinaryLoad) {
    {
        ScopedCwd cwd(dir.path().string());
        fs::remove(kTreeFile1);
        fs::remove(kTreeFile2);
        answer({"a.xml", "b.xml"});
        doc.OnFileOpen();
        EXPECT_FALSE(fs::exists(kTreeFile1)) << "the reload writes no tree file";
        EXPECT_FALSE(fs::exists(kTreeFile2));
    }
    EXPECT_EQ(fw.entries("message:"), std::vector<std::string>{"message:Tree Loaded!"});
    EXPECT_EQ(validate(doc.m_tree1), "");
    EXPECT_EQ(childNames(&doc.m_tree1), "Delta,Epsilon,Theta");
    expectListsPointIntoCurrentTrees();

    // The same two files through build mode and a binary load, the start-up way.
    TempDir other;
    fs::copy_file(dir.file("a.xml"), other.file(kClassificationFile1));
    fs::copy_file(dir.file("b.xml"), other.file(kClassificationFile2));
    CCladoramaDoc reference;
    {
        ScopedCwd cwd(other.path().string());
        CCladoramaDoc builder;
        ASSERT_TRUE(builder.LoadHierarchiesIn<LoadMode::Build>());
        ASSERT_TRUE(reference.LoadHierarchiesIn<LoadMode::Binary>());
    }
    ASSERT_EQ(doc.m_searchNames.size(), reference.m_searchNames.size());
    for (size_t i = 0; i < doc.m_searchNames.size(); ++i) {
        EXPECT_STREQ(doc.m_searchNames[i].name, reference.m_searchNames[i].name) << i;
        EXPECT_EQ(doc.m_searchNames[i].node->onlyInTree,
                  reference.m_searchNames[i].node->onlyInTree) << i;
    }
}

}  // namespace

// The second file is read beside the first; what its reader prints still comes after all of
// the first one's lines, and nothing of it when the first file fails.
TEST_F(ReloadTest, TheSecondReadingsLinesKeepTheirTurnAndGoWithAFailedFirst) {
    auto table = [&](const char* name, const char* root) {
        return dir.write(name, std::string("order,family\n") + root + ",Delta\n" + root +
                                   ",Eta\n# a note, not a taxon\n#another\n");
    };
    table("second.csv", "New");
    ConsoleCapture lines;
    answer({"new1.jm2", "second.csv"});
    doc.OnFileOpen();
    EXPECT_EQ(childNames(&doc.m_tree2), "Delta,Epsilon,Eta,Zeta");
    const std::string text = lines.text();
    const size_t census = text.find("Family : 3 \n");
    const size_t note = text.find("second.csv: 2 lines beginning with # skipped");
    ASSERT_NE(census, std::string::npos) << text;
    ASSERT_NE(note, std::string::npos) << text;
    EXPECT_LT(census, note) << text;
    EXPECT_LT(note, text.find("Get number of each rank")) << text;

    ConsoleCapture failed;
    const std::string bytes = readFileBytes(dir.file("new1.jm2"));
    dir.write("short.jm2", bytes.substr(0, bytes.size() - 3));
    table("third.csv", "Other");
    answer({"short.jm2", "third.csv"});
    doc.OnFileOpen();
    EXPECT_EQ(failed.text().find("third.csv"), std::string::npos) << failed.text();
    EXPECT_EQ(childNames(&doc.m_tree2), "Delta,Epsilon,Eta,Zeta") << "the trees as they were";
}
