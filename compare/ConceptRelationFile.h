// The relations between two classifications' higher taxa as a Catalogue of Life Data Package
// table, TaxonConceptRelation.tsv, which checklist tools read beside the two checklists.
#pragma once

#include <functional>
#include <string>

#include "TaxonRelations.h"

// The identifier a classification's file gives a taxon; empty when it gives none, and the
// taxon's Latin name stands for it.
using TaxonIdentifier = std::function<std::string(const TreeNode& taxon)>;

// "equals", "included in", "includes", "overlaps" for `=`, `<`, `>`, `><`; a `!` taxon has
// no row, since the table relates two taxa.
const char* conceptRelationType(Relation relation);

// Writes `path` (tab-separated, UTF-8, header taxonID, relatedTaxonID, sourceID, type,
// referenceID, remarks): one row per related pair, tree 1's taxon as the subject. The
// remarks say the rank, both names and the species counts. With `rank` (an index into
// relations.ranks()) only that rank's. False when the file could not be written;
// then a table already at `path` is left as it was.
bool writeConceptRelations(const std::string& path, const TaxonRelations& relations,
                           const TaxonIdentifier& identifier1 = {},
                           const TaxonIdentifier& identifier2 = {}, int rank = -1);
