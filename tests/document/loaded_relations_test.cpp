// The document holds the relations of the higher taxa of whatever it loaded last.
#include <gtest/gtest.h>

#include <string>

#include "CladoramaDoc.h"
#include "RecorderFramework.h"
#include "TestSupport.h"

namespace {

std::string report(const CCladoramaDoc& doc) {
    std::string text;
    for (const TaxonRelation& r : doc.m_relations.relations()) {
        text += doc.m_relations.ranks()[r.rank] + " " + (r.taxon1 ? r.taxon1->latinName : "") +
                " " + relationSymbol(r.relation) + " " + (r.taxon2 ? r.taxon2->latinName : "") +
                "\n";
        // Every taxon named belongs to the trees now loaded.
        for (const TreeNode* n : {r.taxon1, r.taxon2}) {
            const TreeNode* root = n;
            while (root && root->parent) root = root->parent;
            EXPECT_TRUE(!n || root == &doc.m_tree1 || root == &doc.m_tree2);
        }
    }
    return text;
}

}  // namespace

TEST(LoadedRelations, EveryLoadLeavesTheRelationsOfItsTrees) {
    TempDir dir;
    dir.write("a.csv",
              "Family,Genus,sciName\nCanidae,Canis,Canis_lupus\nCanidae,Cuon,Cuon_alpinus\n");
    dir.write("b.csv",
              "Family,Genus,sciName\nCanidae,Canis,Canis_lupus\nCanidae,Canis,Cuon_alpinus\n");
    dir.write("c.csv",
              "Family,Genus,sciName\nCanidae,Lupus,Canis_lupus\nCanidae,Cuon,Cuon_alpinus\n");
    RecorderFramework fw;
    CCladoramaDoc doc(&fw);
    EXPECT_TRUE(doc.m_relations.relations().empty());
    ConsoleCapture quiet;
    ASSERT_TRUE(doc.ReloadTrees(dir.file("a.csv"), dir.file("b.csv")));
    ASSERT_TRUE(doc.FindChangesNow());
    EXPECT_EQ(report(doc), "Family Canidae = Canidae\nGenus Canis < Canis\nGenus Cuon < Canis\n");
    Verdict v;  // of Cuon, the root Canidae's second child
    ASSERT_TRUE(doc.m_relations.verdictOf(doc.m_tree1.children[1], v));
    EXPECT_EQ(verdictName(v), std::string("lumped"));

    ASSERT_TRUE(doc.ReloadTrees(dir.file("a.csv"), dir.file("c.csv")));
    ASSERT_TRUE(doc.FindChangesNow());
    EXPECT_EQ(report(doc), "Family Canidae = Canidae\nGenus Canis = Lupus\nGenus Cuon = Cuon\n");
    // A failed load keeps what the document had.
    EXPECT_FALSE(doc.ReloadTrees(dir.file("a.csv"), dir.file("gone.csv")));
    EXPECT_EQ(report(doc), "Family Canidae = Canidae\nGenus Canis = Lupus\nGenus Cuon = Cuon\n");
}
