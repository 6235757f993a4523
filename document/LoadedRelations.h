// The relations of the higher taxa of the two loaded classifications, found at the end of
// every load for the changes panel and the command line.
#pragma once

#include "Renames.h"
#include "TaxonRelations.h"

// Both trees combined, as every load leaves them. `partners` pairs species of another name
// (tree 1's first), beyond those of equal names.
TaxonRelations relateLoadedTrees(const ClassificationTree& tree1, const ClassificationTree& tree2,
                                 const SpeciesPairs& partners = {});

// The partners of renamed taxa as species pairs (tree 1's first); pairs of other ranks are
// left to the relations to ignore.
SpeciesPairs speciesPairsOf(const RenamePairs& partners);
