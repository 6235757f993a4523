// The changes of a loaded pair are found after the load, on a worker that a new load calls
// off: what reaches the document is always the pair loaded now.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "Cancellation.h"
#include "CladoramaDoc.h"
#include "LoadedRelations.h"
#include "NameOrder.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

const std::string kA = sourcePath("data/sample/classif_A_03-01-31.xml");
const std::string kB = sourcePath("data/sample/classif_B_03-01-31.xml");

bool belongsTo(const TreeNode* n, const CCladoramaDoc& doc) {
    while (n && n->parent) n = n->parent;
    return !n || n == &doc.m_tree1 || n == &doc.m_tree2;
}

// What a document that loads `first` and `second` and asks for the changes at once lists.
std::string changesOf(const std::string& first, const std::string& second) {
    CCladoramaDoc doc;
    ConsoleCapture quiet;
    EXPECT_TRUE(doc.ReloadTrees(first, second));
    EXPECT_TRUE(doc.FindChangesNow());
    return doc.m_changes.table('\t');
}

bool waitForNotice(const RecorderFramework& fw, int notices) {
    for (int i = 0; i < 3000 && fw.changesFound.load() < notices; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fw.changesFound.load() >= notices;
}

}  // namespace

TEST(ChangesInBackground, ANewLoadCallsOffTheLastAndGetsOnlyItsOwn) {
    const std::string expected = changesOf(kB, kA);
    RecorderFramework fw;
    CCladoramaDoc doc(&fw);
    ConsoleCapture quiet;
    EXPECT_EQ(doc.Changes(), ChangesState::None);
    doc.StartFindingChanges();  // nothing loaded: nothing to find
    EXPECT_EQ(doc.Changes(), ChangesState::None);

    ASSERT_TRUE(doc.ReloadTrees(kA, kB));
    EXPECT_EQ(doc.Changes(), ChangesState::Waiting);
    EXPECT_TRUE(doc.m_changes.rows().empty());
    doc.StartFindingChanges();
    EXPECT_EQ(doc.Changes(), ChangesState::Finding);
    // The other pair, while the first one's changes are found (or found and not yet taken).
    ASSERT_TRUE(doc.ReloadTrees(kB, kA));
    EXPECT_EQ(doc.Changes(), ChangesState::Waiting);
    EXPECT_TRUE(doc.m_changes.rows().empty());
    const int before = fw.changesFound.load();
    // A notice of the first pair's work that comes late takes nothing.
    doc.CollectChanges();
    EXPECT_EQ(doc.Changes(), ChangesState::Waiting);

    doc.StartFindingChanges();
    ASSERT_TRUE(waitForNotice(fw, before + 1));
    doc.CollectChanges();
    ASSERT_EQ(doc.Changes(), ChangesState::Ready);
    EXPECT_EQ(doc.m_changes.table('\t'), expected);
    ASSERT_FALSE(doc.m_changes.rows().empty());
    for (const ChangeRow& row : doc.m_changes.rows()) {
        EXPECT_TRUE(belongsTo(row.node1, doc));
        EXPECT_TRUE(belongsTo(row.node2, doc));
    }
    for (const TaxonRelation& r : doc.m_relations.relations()) {
        EXPECT_TRUE(belongsTo(r.taxon1, doc));
        EXPECT_TRUE(belongsTo(r.taxon2, doc));
    }
    // Taken once; a second notice, or a start, changes nothing.
    const uint64_t generation = doc.m_changes.generation();
    doc.CollectChanges();
    doc.StartFindingChanges();
    EXPECT_EQ(doc.m_changes.generation(), generation);
    EXPECT_EQ(fw.entries("changes").size(), 3u);  // finding (called off); finding, ready

    // Called off for good (the end of the program): nothing is taken after.
    ASSERT_TRUE(doc.ReloadTrees(kA, kB));
    doc.StartFindingChanges();
    doc.StopFindingChanges();
    EXPECT_EQ(doc.Changes(), ChangesState::None);
    doc.CollectChanges();
    EXPECT_TRUE(doc.m_changes.rows().empty());
    EXPECT_FALSE(doc.FindChangesNow());
}

TEST(ChangesInBackground, EveryPassStopsWhenCalledOff) {
    CCladoramaDoc doc;
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.ReloadTrees(kA, kB));
    }
    ASSERT_GT(doc.m_tree1.nodeCount, 4096);  // past the first points of every walk
    std::atomic<bool> off{true};
    CancellationScope scope(off);
    RenamePairs pairs;
    EXPECT_THROW(pairs.find(doc.m_tree1, doc.m_tree2), Cancelled);
    EXPECT_THROW(relateLoadedTrees(doc.m_tree1, doc.m_tree2), Cancelled);
    ChangeList list;
    const TaxonRelations none;
    list.fill(doc.m_tree1, doc.m_tree2, pairs, none);
    EXPECT_THROW(list.rows(), Cancelled);
    // The sort of a tree's names that the list makes beside the walk.
    std::vector<const TreeNode*> named;
    forEachNode(static_cast<const TreeNode*>(&doc.m_tree2),
                [&](const TreeNode* n) { named.push_back(n); });
    EXPECT_THROW(stableSortByLatinName(named), Cancelled);
    off = false;
    EXPECT_NO_THROW(relateLoadedTrees(doc.m_tree1, doc.m_tree2));
}
