#include "LoadedRelations.h"

TaxonRelations relateLoadedTrees(const ClassificationTree& tree1, const ClassificationTree& tree2,
                                 const SpeciesPairs& partners) {
    // Trees that were not combined (a failed load, or nothing loaded yet) hold no relations.
    if (tree1.treeId != 1 || tree2.treeId != 2) return {};
    return TaxonRelations(tree1, tree2, partners);
}

SpeciesPairs speciesPairsOf(const RenamePairs& partners) {
    SpeciesPairs out;
    out.reserve(partners.pairs().size());
    for (const RenamePair& p : partners.pairs()) out.emplace_back(p.node1, p.node2);
    return out;
}
