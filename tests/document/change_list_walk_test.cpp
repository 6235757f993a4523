// The list of changes is made by two threads, each walking a run of tree 1: its rows must be
// those of one walk, in its order, as the command line's diff tells them line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "DiffLines.h"
#include "RecorderFramework.h"
#include "Synthetic.h"
#include "TestSupport.h"

namespace {

TEST(ChangeListWalk, RowsAreTheLinesOfOneWalkInItsOrder) {
    TempDir dir;
    SyntheticOptions o;
    o.taxa = 30000;
    o.seed = 5;
    o.differenceRate = 0.3;
    ASSERT_TRUE(writeSyntheticPair(dir.file("a.xml"), dir.file("b.xml"), o));
    RecorderFramework fw;
    CCladoramaDoc doc{&fw};
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.ReloadTrees(dir.file("a.xml"), dir.file("b.xml")));
        ASSERT_TRUE(doc.FindChangesNow());
    }
    // One walk, a node before its children, told as diff tells it; a renamed copy whose
    // partner is tree 1's own taxon alone is told from that taxon, not again.
    const DiffLines lines(doc.m_tree1, doc.m_tree2, doc.m_partners.pairs);
    std::vector<std::string> expected;
    std::string other, detail;
    forEachNode(static_cast<const TreeNode*>(&doc.m_tree1), [&](const TreeNode* n) {
        ChangeKind kind;
        const TreeNode* counterpart = nullptr;
        if (!lines.line(*n, kind, other, detail, &counterpart)) return;
        if (kind == ChangeKind::Renamed && n->onlyInTree == 2 &&
            (!counterpart || counterpart->onlyInTree != 0))
            return;
        expected.push_back(std::string(changeKindName(kind)) + " " + n->rankName + " " +
                           n->latinName);
    });
    std::vector<std::string> made;
    const ChangeList& list = doc.m_changes;
    for (const ChangeRow& row : list.rows()) {
        if (row.ofRelation) continue;
        // The taxon the walk met: tree 1's own, or the copy of tree 2's original.
        const bool fromCopy = row.kind == ChangeRowKind::Added ||
                              (row.kind == ChangeRowKind::Renamed && row.node1->onlyInTree == 0);
        const TreeNode* met = fromCopy ? row.node2 : row.node1;
        ASSERT_NE(met, nullptr);
        made.push_back(std::string(changeRowKindName(row.kind)) + " " + list.ranks()[row.rank] +
                       " " + met->latinName);
    }
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_EQ(made, expected);
}

}  // namespace
