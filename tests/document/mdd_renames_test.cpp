// The two releases of the Mammal Diversity Database: the species names only the older one
// holds that are renames of a species of the newer one, as MDD's stable identifiers tell,
// are all found with the identifiers, and nearly all without them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "CladoramaDoc.h"
#include "TestSupport.h"

namespace {

const std::string kFolder = CLADORAMA_SOURCE_DIR "/../shared/data/mdd/";

std::map<std::string, const TreeNode*> speciesById(const ClassificationTree& tree,
                                                   const TaxonFacts& facts) {
    std::map<std::string, const TreeNode*> out;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        if (n->onlyInTree != (tree.treeId == 1 ? 2 : 1) && !std::strcmp(n->rankName, "Species"))
            if (const char* id = facts.id(n)) out[id] = n;
    });
    return out;
}

}  // namespace

TEST(MddRenames, EveryRenameWithIdentifiersAndMostWithoutThem) {
    const std::string older = kFolder + "MDD_v1.2_6485species.csv";
    const std::string newer = kFolder + "MDD_v1.13_6753species.csv";
    if (!std::filesystem::exists(older) || !std::filesystem::exists(newer))
        GTEST_SKIP() << "no MDD releases at " << kFolder;
    CCladoramaDoc doc;
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.ReloadTrees(older, newer));
        ASSERT_TRUE(doc.FindChangesNow());
    }
    // The truth: an identifier whose species name changed, the old name gone from v1.13.
    const auto byId1 = speciesById(doc.m_tree1, doc.m_partners.facts[0]);
    const auto byId2 = speciesById(doc.m_tree2, doc.m_partners.facts[1]);
    std::map<std::string, std::string> names2;
    for (const auto& [id, n] : byId2) names2[n->latinName] = id;
    std::map<std::string, std::string> renames;  // old name -> new name
    for (const auto& [id, n] : byId1) {
        auto there = byId2.find(id);
        if (!names2.count(n->latinName) && there != byId2.end())
            renames[n->latinName] = there->second->latinName;
    }
    ASSERT_EQ(renames.size(), 224u);

    auto score = [&](const RenamePairs& pairs, int& found, int& made, int& wrong) {
        found = made = wrong = 0;
        for (const RenamePair& p : pairs.pairs()) {
            ++made;
            auto it = renames.find(p.node1->latinName);
            if (it != renames.end() && it->second == p.node2->latinName) {
                ++found;
                continue;
            }
            // A pair the identifiers contradict.
            const char* id1 = doc.m_partners.facts[0].id(p.node1);
            const char* id2 = doc.m_partners.facts[1].id(p.node2);
            wrong += !id1 || !id2 || std::strcmp(id1, id2) != 0;
        }
    };
    int found, made, wrong;
    score(doc.m_partners.pairs, found, made, wrong);
    EXPECT_EQ(found, 224);
    EXPECT_EQ(wrong, 0);

    // Without the identifiers: the synonyms the files list (their nominal names), the epithets
    // and their endings.
    TaxonFacts withoutIds[2];
    for (int t = 0; t < 2; ++t) {
        doc.m_partners.facts[t].forEach([&](const TreeNode* n, const char*, const char* authorship) {
            withoutIds[t].add(n, "", authorship ? authorship : "");
        });
        for (const TaxonFacts::Synonym& s : doc.m_partners.facts[t].synonyms())
            withoutIds[t].addSynonym(s.accepted, s.name, s.authorship);
        withoutIds[t].seal();
    }
    RenamePairs names;
    names.find(doc.m_tree1, doc.m_tree2, &withoutIds[0], &withoutIds[1]);
    score(names, found, made, wrong);
    std::printf("without identifiers: %d of 224 renames found, %d of %d pairs false\n", found,
                wrong, made);
    EXPECT_GE(found, 213);  // 95 %
    EXPECT_EQ(wrong, 0);

    // Without the authorship too (the releases' author and year columns are read unasked).
    TaxonFacts bare[2];
    for (int t = 0; t < 2; ++t) {
        for (const TaxonFacts::Synonym& s : doc.m_partners.facts[t].synonyms())
            bare[t].addSynonym(s.accepted, s.name, s.authorship);
        bare[t].seal();
    }
    RenamePairs unauthored;
    unauthored.find(doc.m_tree1, doc.m_tree2, &bare[0], &bare[1]);
    score(unauthored, found, made, wrong);
    std::printf("without identifiers and authorship: %d of 224 renames found, %d of %d pairs "
                "false\n",
                found, wrong, made);
    EXPECT_GE(found, 213);
    EXPECT_EQ(wrong, 0);
}
