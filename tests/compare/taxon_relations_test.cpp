// The relations of higher taxa held against a direct computation: every taxon's species as a
// std::set, taken from the two classifications as they were before they were combined, and
// every pair of taxa of one rank intersected.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Combine.h"
#include "Compare.h"
#include "ConceptRelationFile.h"
#include "NameOrder.h"
#include "RandomTrees.h"
#include "TaxonRelations.h"
#include "TestSupport.h"

namespace {

void combine(ClassificationTree& t1, ClassificationTree& t2) {
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
    countDescendants(t1);
    countDescendants(t2);
    graftUnique(&t1, &t2, 1, 2);
    graftUnique(&t2, &t1, 2, 1);
    sortChildrenByLatinName(&t1);
    sortChildrenByLatinName(&t2);
}

bool isSpecies(const TreeNode* n) { return std::string(n->rankName) == "Species"; }
bool aboveSpecies(const TreeNode* n) {
    const int r = rankFromName(n->rankName);
    return r >= 0 && r < Species;
}

std::string pathOf(const TreeNode* n) {
    std::string p;
    for (const TreeNode* q = n; q; q = q->parent) p = std::string(q->latinName) + "/" + p;
    return p;
}

std::string line(const std::string& rank, const char* n1, const char* rel, const char* n2,
                 size_t shared, size_t s1, size_t s2) {
    return rank + "\t" + n1 + "\t" + rel + "\t" + n2 + "\t" + std::to_string(shared) + "\t" +
           std::to_string(s1) + "\t" + std::to_string(s2);
}

struct Report {
    std::vector<std::string> lines;     // in the order given
    std::vector<std::string> verdicts;  // "side path rank: verdict", sorted
};

Report fastReport(const ClassificationTree& t1, const ClassificationTree& t2,
                  const SpeciesPairs& extra) {
    const TaxonRelations rel(t1, t2, extra);
    Report out;
    for (const TaxonRelation& r : rel.relations())
        out.lines.push_back(line(rel.ranks()[r.rank], r.taxon1 ? r.taxon1->latinName : "",
                                 relationSymbol(r.relation), r.taxon2 ? r.taxon2->latinName : "",
                                 r.shared, r.species1, r.species2));
    for (const TaxonVerdict& v : rel.taxa()) {
        Verdict looked;
        EXPECT_TRUE(rel.verdictOf(v.node, looked));
        EXPECT_EQ(looked, v.verdict);
        out.verdicts.push_back(std::to_string(v.side) + " " + pathOf(v.node) + " " +
                               v.node->rankName + ": " + verdictName(v.verdict));
    }
    std::sort(out.verdicts.begin(), out.verdicts.end());
    return out;
}

// The same from the definitions, on the trees as read. `partners` maps a species name of
// tree 1 that tree 2 lacks to one of tree 2 that tree 1 lacks.
Report directReport(const ClassificationTree& t1, const ClassificationTree& t2,
                    const std::map<std::string, std::string>& partners) {
    std::set<std::string> species[2];
    const ClassificationTree* trees[2] = {&t1, &t2};
    for (int s = 0; s < 2; ++s)
        forEachNode(static_cast<const TreeNode*>(trees[s]), [&](const TreeNode* n) {
            if (isSpecies(n)) species[s].insert(n->latinName);
        });
    std::set<std::string> partnerTargets;
    for (const auto& [a, b] : partners) partnerTargets.insert(b);
    // A species as its pair in tree 2, or "" when it has none.
    auto pairIn2 = [&](int side, const std::string& name) -> std::string {
        if (side == 1) return species[0].count(name) || partnerTargets.count(name) ? name : "";
        auto p = partners.find(name);
        const std::string other = p == partners.end() ? name : p->second;
        return species[1].count(other) ? other : "";
    };
    struct Taxon {
        const TreeNode* node;
        std::set<std::string> set;
    };
    std::vector<Taxon> taxa[2];
    std::set<std::string> ranksUsed[2];
    for (int s = 0; s < 2; ++s)
        forEachNode(static_cast<const TreeNode*>(trees[s]), [&](const TreeNode* n) {
            if (!aboveSpecies(n)) return;
            Taxon t{n, {}};
            forEachNode(n, [&](const TreeNode* d) {
                if (d != n && isSpecies(d)) {
                    const std::string p = pairIn2(s, d->latinName);
                    if (!p.empty()) t.set.insert(p);
                }
            });
            taxa[s].push_back(t);
            ranksUsed[s].insert(n->rankName);
        });
    struct Line {
        int rank;
        std::string first, second, text;
    };
    std::vector<Line> lines;
    std::map<const TreeNode*, std::vector<std::pair<const TreeNode*, std::string>>> related[2];
    for (const Taxon& x : taxa[0])
        for (const Taxon& y : taxa[1]) {
            if (std::string(x.node->rankName) != y.node->rankName) continue;
            std::vector<std::string> both;
            std::set_intersection(x.set.begin(), x.set.end(), y.set.begin(), y.set.end(),
                                  std::back_inserter(both));
            if (both.empty()) continue;
            const bool in = both.size() == x.set.size(), holds = both.size() == y.set.size();
            const char* r = in && holds ? "=" : in ? "<" : holds ? ">" : "><";
            lines.push_back({rankFromName(x.node->rankName), x.node->latinName, y.node->latinName,
                             line(x.node->rankName, x.node->latinName, r, y.node->latinName,
                                  both.size(), x.set.size(), y.set.size())});
            const std::string mirrored = std::string(r) == "<"   ? ">"
                                         : std::string(r) == ">" ? "<"
                                                                 : r;
            related[0][x.node].emplace_back(y.node, r);
            related[1][y.node].emplace_back(x.node, mirrored);
        }
    Report out;
    for (int s = 0; s < 2; ++s)
        for (const Taxon& t : taxa[s]) {
            if (!ranksUsed[1 - s].count(t.node->rankName)) continue;
            const auto& rels = related[s][t.node];
            if (rels.empty()) {
                const std::string name = t.node->latinName;
                lines.push_back(
                    {rankFromName(t.node->rankName), name, s ? name : "",
                     s ? line(t.node->rankName, "", "!", name.c_str(), 0, 0, t.set.size())
                       : line(t.node->rankName, name.c_str(), "!", "", 0, t.set.size(), 0)});
            }
            auto count = [&](const char* r) {
                return std::count_if(rels.begin(), rels.end(),
                                     [&](auto& p) { return p.second == r; });
            };
            std::string v;
            if (rels.empty())
                v = s ? "only in tree 2" : "only in tree 1";
            else if (count("><"))
                v = "reshuffled";
            else if (rels.size() == 1 && count("="))
                v = std::string(rels[0].first->latinName) == t.node->latinName ? "same" : "renamed";
            else if (count(">") == static_cast<long>(rels.size()))
                v = s ? "lumped" : "split";
            else if (rels.size() == 1)
                v = s ? "split" : "lumped";
            else
                v = "reshuffled";
            out.verdicts.push_back(std::to_string(s + 1) + " " + pathOf(t.node) + " " +
                                   t.node->rankName + ": " + v);
        }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.first != b.first) return a.first < b.first;
        return a.second < b.second;
    });
    for (const Line& l : lines) out.lines.push_back(l.text);
    std::sort(out.verdicts.begin(), out.verdicts.end());
    return out;
}

// Lines whose sort keys tie (namesakes of one rank) may come in any order.
void expectSameReport(const Report& fast, const Report& direct, const std::string& what) {
    std::vector<std::string> a = fast.lines, b = direct.lines;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << what;
    ASSERT_EQ(fast.lines.size(), direct.lines.size()) << what;
    auto key = [](const std::string& l) {  // rank, first name, second name
        std::vector<std::string> f;
        size_t at = 0;
        for (size_t tab; (tab = l.find('\t', at)) != std::string::npos; at = tab + 1)
            f.push_back(l.substr(at, tab - at));
        return std::make_tuple(rankFromName(f[0].c_str()), f[1].empty() ? f[3] : f[1], f[3]);
    };
    for (size_t i = 0; i < fast.lines.size(); ++i)
        EXPECT_EQ(key(fast.lines[i]), key(direct.lines[i])) << what << " line " << i;
    EXPECT_EQ(fast.verdicts, direct.verdicts) << what;
}

TreeNode* genus(TreeNode* parent, const char* name, std::initializer_list<const char*> species) {
    TreeNode* g = addNode(parent, name, "Genus");
    for (const char* s : species) addNode(g, s, "Species");
    return g;
}

}  // namespace

TEST(TaxonRelations, SplitLumpReshuffleRenameAndTaxaWithoutSpecies) {
    ClassificationTree t1, t2;
    nameRoot(t1, "Mammalia");
    nameRoot(t2, "Mammalia");
    TreeNode* f1 = addNode(addNode(&t1, "Carnivora", "Order"), "Felidae", "Family");
    TreeNode* f2 = addNode(addNode(&t2, "Carnivora", "Order"), "Felidae", "Family");
    // A subfamily level only tree 1 uses.
    TreeNode* sub = addNode(f1, "Felinae", "Subfamily");
    genus(sub, "Alpha", {"Alpha a", "Alpha b", "Alpha c"});  // split into Alpha and Beta
    genus(f2, "Alpha", {"Alpha a"});
    genus(f2, "Beta", {"Alpha b", "Alpha c"});
    genus(sub, "Gamma", {"Gamma a"});  // sunk into Delta
    genus(sub, "Delta", {"Delta a", "Delta b"});
    genus(f2, "Delta", {"Gamma a", "Delta a", "Delta b"});
    genus(f1, "Eps", {"Eps a", "Zeta b"});  // each gives a species to the other
    genus(f1, "Zeta", {"Zeta a", "Zeta c"});
    genus(f2, "Eps", {"Eps a", "Zeta c"});
    genus(f2, "Zeta", {"Zeta a", "Zeta b"});
    genus(f1, "Eta", {"Eta a", "Eta b"});  // renamed
    genus(f2, "Theta", {"Eta a", "Eta b"});
    genus(f1, "Iota", {});                // no species at all
    genus(f2, "Iota", {"Iota nova"});     // no species paired
    genus(f1, "Kappa", {"Kappa vetus"});  // paired only through a partner
    genus(f2, "Kappa", {"Kappa nova"});
    addNode(addNode(f1, "Lambda", "Genus"), "Lambda a", "Species");
    addNode(addNode(addNode(f2, "Mu", "Genus"), "Lambda a", "Species"), "Lambda a b", "Subspecies");

    ClassificationTree o1, o2;
    cloneTree(t1, o1);
    cloneTree(t2, o2);
    combine(t1, t2);

    // A tree's own node of that name and rank, not the copy grafted in from the other.
    auto find = [](const ClassificationTree& t, const char* name) {
        const TreeNode* found = nullptr;
        forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
            if (std::string(n->latinName) == name && n->onlyInTree != 3 - t.treeId) found = n;
        });
        return found;
    };
    const SpeciesPairs partners = {{find(t1, "Kappa vetus"), find(t2, "Kappa nova")}};
    const Report fast = fastReport(t1, t2, partners);
    const std::vector<std::string> expected = {
        "Class\tMammalia\t=\tMammalia\t14\t14\t14",
        "Order\tCarnivora\t=\tCarnivora\t14\t14\t14",
        "Family\tFelidae\t=\tFelidae\t14\t14\t14",
        "Genus\tAlpha\t>\tAlpha\t1\t3\t1",
        "Genus\tAlpha\t>\tBeta\t2\t3\t2",
        "Genus\tDelta\t<\tDelta\t2\t2\t3",
        "Genus\tEps\t><\tEps\t1\t2\t2",
        "Genus\tEps\t><\tZeta\t1\t2\t2",
        "Genus\tEta\t=\tTheta\t2\t2\t2",
        "Genus\tGamma\t<\tDelta\t1\t1\t3",
        "Genus\tIota\t!\t\t0\t0\t0",
        "Genus\t\t!\tIota\t0\t0\t0",
        "Genus\tKappa\t=\tKappa\t1\t1\t1",
        "Genus\tLambda\t=\tMu\t1\t1\t1",
        "Genus\tZeta\t><\tEps\t1\t2\t2",
        "Genus\tZeta\t><\tZeta\t1\t2\t2",
    };
    EXPECT_EQ(fast.lines, expected);
    const std::vector<std::string> verdicts = {
        "1 Mammalia/ Class: same",
        "1 Mammalia/Carnivora/ Order: same",
        "1 Mammalia/Carnivora/Felidae/ Family: same",
        "1 Mammalia/Carnivora/Felidae/Eps/ Genus: reshuffled",
        "1 Mammalia/Carnivora/Felidae/Eta/ Genus: renamed",
        "1 Mammalia/Carnivora/Felidae/Felinae/Alpha/ Genus: split",
        "1 Mammalia/Carnivora/Felidae/Felinae/Delta/ Genus: lumped",
        "1 Mammalia/Carnivora/Felidae/Felinae/Gamma/ Genus: lumped",
        "1 Mammalia/Carnivora/Felidae/Iota/ Genus: only in tree 1",
        "1 Mammalia/Carnivora/Felidae/Kappa/ Genus: same",
        "1 Mammalia/Carnivora/Felidae/Lambda/ Genus: renamed",
        "1 Mammalia/Carnivora/Felidae/Zeta/ Genus: reshuffled",
        "2 Mammalia/ Class: same",
        "2 Mammalia/Carnivora/ Order: same",
        "2 Mammalia/Carnivora/Felidae/ Family: same",
        "2 Mammalia/Carnivora/Felidae/Alpha/ Genus: split",
        "2 Mammalia/Carnivora/Felidae/Beta/ Genus: split",
        "2 Mammalia/Carnivora/Felidae/Delta/ Genus: lumped",
        "2 Mammalia/Carnivora/Felidae/Eps/ Genus: reshuffled",
        "2 Mammalia/Carnivora/Felidae/Iota/ Genus: only in tree 2",
        "2 Mammalia/Carnivora/Felidae/Kappa/ Genus: same",
        "2 Mammalia/Carnivora/Felidae/Mu/ Genus: renamed",
        "2 Mammalia/Carnivora/Felidae/Theta/ Genus: renamed",
        "2 Mammalia/Carnivora/Felidae/Zeta/ Genus: reshuffled",
    };
    EXPECT_EQ(fast.verdicts, verdicts);
    expectSameReport(fast, directReport(o1, o2, {{"Kappa vetus", "Kappa nova"}}), "hand-made pair");

    // Subfamily, of tree 1 alone, relates nothing, but is named with its one taxon between
    // Family and Genus.
    const TaxonRelations rel(t1, t2, partners);
    ASSERT_EQ(rel.oneTreeRanks().size(), 1u);
    const OneTreeRank& sf = rel.oneTreeRanks()[0];
    EXPECT_EQ(sf.name, "Subfamily");
    EXPECT_EQ(sf.side, 1);
    EXPECT_EQ(sf.taxa, 1u);
    ASSERT_LT(sf.before, rel.ranks().size());
    EXPECT_EQ(rel.ranks()[sf.before], "Genus");
    EXPECT_EQ(rel.ranks()[sf.before - 1], "Family");

    // Without the partner the two Kappas share nothing.
    const Report unpaired = fastReport(t1, t2, {});
    EXPECT_NE(std::find(unpaired.lines.begin(), unpaired.lines.end(), "Genus\tKappa\t!\t\t0\t0\t0"),
              unpaired.lines.end());
    expectSameReport(unpaired, directReport(o1, o2, {}), "hand-made pair, no partners");
}

// Random pairs: few names and four ranks, so that namesakes, a species above a genus, a
// species held twice by one tree and ranks at every depth all occur.
TEST(TaxonRelations, RandomPairsAgreeWithTheDirectComputation) {
    std::mt19937 rng(2026);
    int freshNames = 0;
    int related = 0;
    for (int round = 0; round < 300; ++round) {
        RandomTreeShape shape;
        shape.alphabet = 3 + round % 4;
        shape.ranks = 4;
        shape.maxDepth = 3 + round % 3;
        shape.maxNodes = 60 + round;
        shape.distinctSiblings = round % 2 == 0;
        ClassificationTree t1, t2, o1, o2;
        buildRandomTree(t1, rng, shape);
        buildRevision(t1, t2, rng, 0.1 + 0.05 * (round % 6), freshNames);
        // Partners between species names that only one tree holds, each used once.
        std::set<std::string> names[2];
        const ClassificationTree* trees[2] = {&t1, &t2};
        for (int s = 0; s < 2; ++s)
            forEachNode(static_cast<const TreeNode*>(trees[s]), [&](const TreeNode* n) {
                if (isSpecies(n)) names[s].insert(n->latinName);
            });
        std::vector<std::string> only[2];
        for (int s = 0; s < 2; ++s)
            for (const std::string& n : names[s])
                if (!names[1 - s].count(n)) only[s].push_back(n);
        std::map<std::string, std::string> partners;
        for (size_t i = 0; i < std::min(only[0].size(), only[1].size()); i += 2)
            partners[only[0][i]] = only[1][i];
        cloneTree(t1, o1);
        cloneTree(t2, o2);
        combine(t1, t2);

        // Hand every node of each name over, copies included: only species count.
        SpeciesPairs extra;
        for (const auto& partner : partners) {
            const std::string &a = partner.first, &b = partner.second;
            std::vector<const TreeNode*> as, bs;
            forEachNode(static_cast<const TreeNode*>(&t1), [&](const TreeNode* n) {
                if (n->latinName == a) as.push_back(n);
            });
            forEachNode(static_cast<const TreeNode*>(&t2), [&](const TreeNode* n) {
                if (n->latinName == b) bs.push_back(n);
            });
            for (const TreeNode* x : as)
                for (const TreeNode* y : bs) extra.emplace_back(x, y);
        }
        // Every other round as if the trees were large: then the work is shared out to threads.
        if (round % 2) t1.nodeCount = 1 << 20;
        const Report fast = fastReport(t1, t2, extra);
        related += static_cast<int>(fast.lines.size());
        expectSameReport(fast, directReport(o1, o2, partners), "round " + std::to_string(round));
        if (HasFailure()) break;
    }
    EXPECT_GT(related, 3000);  // the rounds relate something worth checking
}

// A checklist may give a rank of its own to every taxon: more ranks than a 16-bit number holds.
TEST(TaxonRelations, ARankOfItsOwnForEachOfSeventyThousandTaxa) {
    ClassificationTree t1, t2;
    nameRoot(t1, "Mammalia");
    nameRoot(t2, "Mammalia");
    constexpr int kTaxa = 70000;
    for (ClassificationTree* t : {&t1, &t2})
        for (int i = 0; i < kTaxa; ++i) {
            const std::string name = "T" + std::to_string(i), rank = "Rank" + std::to_string(i);
            addNode(addNode(t, name.c_str(), rank.c_str()), (name + " x").c_str(), "Species");
        }
    combine(t1, t2);
    const TaxonRelations rel(t1, t2);
    ASSERT_EQ(rel.ranks().size(), size_t(kTaxa) + 1);  // Class, then the others by name
    ASSERT_EQ(rel.relations().size(), size_t(kTaxa) + 1);
    for (const TaxonRelation& r : rel.relations()) {
        ASSERT_EQ(r.relation, Relation::Equal);
        ASSERT_EQ(rel.ranks()[r.rank], r.taxon1->rankName);
        ASSERT_EQ(std::string(r.taxon1->latinName), r.taxon2->latinName);
    }
}

TEST(TaxonRelations, ConceptRelationTableWordsEachRelationAndIsReplacedWhole) {
    // The words of the table's type column are those checklist tools read: each relation
    // of the pair has its own, and a taxon related to nothing has no row.
    EXPECT_STREQ(conceptRelationType(Relation::Equal), "equals");
    EXPECT_STREQ(conceptRelationType(Relation::Within), "included in");
    EXPECT_STREQ(conceptRelationType(Relation::Contains), "includes");
    EXPECT_STREQ(conceptRelationType(Relation::Overlap), "overlaps");
    EXPECT_STREQ(conceptRelationType(Relation::Unrelated), "");

    ClassificationTree t1, t2;
    nameRoot(t1, "Mammalia");
    nameRoot(t2, "Mammalia");
    TreeNode* f1 = addNode(&t1, "Felidae", "Family");
    TreeNode* f2 = addNode(&t2, "Felidae", "Family");
    genus(f1, "Eps", {"Eps a", "Zeta b"});
    genus(f1, "Zeta", {"Zeta a"});
    genus(f2, "Eps", {"Eps a", "Zeta a"});
    genus(f2, "Zeta", {"Zeta b", "Zeta c"});
    genus(f1, "Iota", {"Iota a", "Iota b"});  // split
    genus(f2, "Iota", {"Iota a"});
    genus(f2, "Kappa", {"Iota b"});
    genus(f1, "Mu", {"Mu a"});  // in nothing of the other
    genus(f1, "Nu", {"Nu a"});
    genus(f2, "Nu", {"Nu a"});
    combine(t1, t2);
    const TaxonRelations rel(t1, t2);
    const int genusRank = static_cast<int>(
        std::find(rel.ranks().begin(), rel.ranks().end(), "Genus") - rel.ranks().begin());

    TempDir dir;
    const std::string path = dir.file("TaxonConceptRelation.tsv");
    ASSERT_TRUE(writeConceptRelations(path, rel, {}, {}, genusRank));
    std::string types;
    const std::string table = readFileBytes(path);
    for (size_t at = table.find('\n') + 1; at < table.size(); at = table.find('\n', at) + 1) {
        const std::string row = table.substr(at, table.find('\n', at) - at);
        size_t tab = 0;
        for (int field = 0; field < 3; ++field) tab = row.find('\t', tab) + 1;
        types += row.substr(0, row.find('\t')) + ":" +
                 row.substr(tab, row.find('\t', tab) - tab) + "|";
    }
    EXPECT_EQ(types,
              "Eps:overlaps|Eps:includes|Iota:includes|Iota:includes|Nu:equals|"
              "Zeta:included in|");

    // The whole table or nothing: one that cannot be finished leaves the old one as it was.
    const std::string old = readFileBytes(path);
    {
        const FileSizeLimit full(64);
        EXPECT_FALSE(writeConceptRelations(path, rel));
    }
    EXPECT_EQ(readFileBytes(path), old);
    EXPECT_EQ(fileNamesIn(dir.path()), "TaxonConceptRelation.tsv");
}
