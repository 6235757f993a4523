// How the higher taxa of two classifications relate as sets of species: a genus kept
// whole, renamed, split in two, sunk into another, or sharing its species with others.
//
// Two species, one of each classification, are the same species when they have the same
// Latin name (wherever they stand) or when the caller pairs them (a rename found by other
// evidence). A taxon above Species stands for the set of its descendant species that have
// such a pair; two taxa of the same rank, one of each classification, relate as those sets
// do: equal, one inside the other, or overlapping. A taxon none of whose species has a pair
// relates to nothing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TreeNode.h"

// `=` equal sets, `<` the first a proper subset of the second, `>` a proper superset, `><`
// overlapping, `!` no species shared with anything of the other classification.
enum class Relation : uint8_t { Equal, Within, Contains, Overlap, Unrelated };
const char* relationSymbol(Relation relation);

// What became of a taxon between the classifications, judged from all its relations.
enum class Verdict : uint8_t {
    Same,        // `=` with the taxon of the same name
    Renamed,     // `=` with a taxon of another name
    Split,       // its species went to several taxa (or part of them to none of that rank)
    Lumped,      // its species went into a taxon that holds others too
    Reshuffled,  // it shares species with a taxon that holds others, and keeps others itself
    OnlyIn1,     // none of its species has a pair
    OnlyIn2,
};
constexpr int kVerdictCount = 7;
// "same", "renamed", "split", "lumped", "reshuffled", "only in tree 1", "only in tree 2".
const char* verdictName(Verdict verdict);

// One line of the report: two related taxa, or one `!` taxon with the other side null.
struct TaxonRelation {
    const TreeNode* taxon1 = nullptr;  // null for a `!` taxon of the second classification
    const TreeNode* taxon2 = nullptr;  // null for a `!` taxon of the first
    Relation relation = Relation::Unrelated;
    uint32_t rank = 0;      // index into TaxonRelations::ranks()
    uint32_t shared = 0;    // |S1(taxon1) ∩ S2(taxon2)|
    uint32_t species1 = 0;  // |S1(taxon1)|, 0 without taxon1
    uint32_t species2 = 0;  // |S2(taxon2)|, 0 without taxon2
};

// A taxon of either classification at a related rank, with its verdict. For a taxon of the
// second classification the verdict reads the other way round: a genus formed by lumping two
// is `lumped`, each part of a split genus is `split`.
struct TaxonVerdict {
    const TreeNode* node = nullptr;
    uint8_t side = 0;   // 1 or 2
    uint32_t rank = 0;  // index into TaxonRelations::ranks()
    Verdict verdict = Verdict::Same;
    uint32_t species = 0;  // |S1| or |S2|
};

class TaxonRelations;
// Appends the tab-separated line of `relation`: rank, name in tree 1, relation, name in tree 2,
// shared species, species in tree 1, species in tree 2, and a line feed.
void appendRelationLine(std::string& text, const TaxonRelations& relations,
                        const TaxonRelation& relation);

using SpeciesPairs = std::vector<std::pair<const TreeNode*, const TreeNode*>>;

// A rank above Species that one classification uses and the other does not: its taxa relate
// to nothing of the other's rank, yet a summary names them.
struct OneTreeRank {
    std::string name;
    uint8_t side = 0;    // 1 or 2: the classification that uses it
    uint32_t taxa = 0;   // that classification's own taxa at the rank
    uint32_t before = 0;  // its place from the top: before ranks()[before] (or after the last)
};

class TaxonRelations {
public:
    TaxonRelations() = default;
    // Both trees combined (after grafting), tree 1 with id 1 and tree 2 with id 2; only each
    // tree's own taxa count, not the copies grafted in from the other. `extraPairs` are
    // species pairs beyond those of equal names: a species of tree 1 and one of tree 2
    // (either tree's own node or its copy in the other combined tree; pairs whose members
    // are not held at rank Species are ignored).
    TaxonRelations(const ClassificationTree& tree1, const ClassificationTree& tree2,
                   const SpeciesPairs& extraPairs = {});

    // Relations found before and kept (beside the tree files): taken as they stand, the
    // relations in their order and the taxa tree 1's first, each depth first.
    static TaxonRelations fromParts(std::vector<std::string> ranks,
                                    std::vector<TaxonRelation> relations,
                                    std::vector<TaxonVerdict> taxa);

    // The ranks above Species that both classifications use, from the top down: the twenty
    // in their order, any other rank just below the nearest known rank above its first taxon.
    const std::vector<std::string>& ranks() const { return m_ranks; }
    // The ranks above Species that only one classification uses, from the top down, each
    // placed among ranks() as the shared ranks are ordered.
    const std::vector<OneTreeRank>& oneTreeRanks() const { return m_oneTreeRanks; }
    // Every related pair and every `!` taxon, by rank from the top down, then by name (the
    // name in tree 1, or in tree 2 for a `!` taxon of tree 2), then by the name in tree 2.
    const std::vector<TaxonRelation>& relations() const { return m_relations; }
    // Every taxon at those ranks of both classifications, tree 1's first, each in depth-first
    // order.
    const std::vector<TaxonVerdict>& taxa() const { return m_taxa; }
    // The verdict on a taxon of either classification's own; false for any other node.
    bool verdictOf(const TreeNode* node, Verdict& verdict) const;

private:
    void indexTaxa();
    std::vector<std::string> m_ranks;
    std::vector<OneTreeRank> m_oneTreeRanks;
    std::vector<TaxonRelation> m_relations;
    std::vector<TaxonVerdict> m_taxa;
    std::vector<std::pair<const TreeNode*, uint32_t>> m_byNode;  // sorted, index into m_taxa
};
