// The counts that `diff --summary` and `relate --summary` print, as tables, so that every
// place that shows them (the command line, the change report) counts the same way.
#pragma once

#include <string>
#include <vector>

#include "DiffLines.h"
#include "Import.h"
#include "Renames.h"
#include "TaxonRelations.h"
#include "TreeNode.h"

// A header and rows of cells, ISO-8859-1 like the names in them.
struct SummaryTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    // Tab-separated, a line per row after the header's.
    void appendTsv(std::string& out) const;
};

// The diff's lines of two combined trees counted by rank: every line `diff` prints, walked in
// its order.
DiffSummary summariseDiff(const ClassificationTree& tree1, const ClassificationTree& tree2,
                          const RenamePairs& partners);

// The ranks one tree alone uses: those the relations found in one tree only, and those the
// alignment of two imported checklists left out, placed among the shared ranks by the order
// of the twenty (another rank left out stands after them all, just above Species).
std::vector<OneTreeRank> ranksOfOneTree(const TaxonRelations& relations,
                                        const std::vector<RankLeftOut>& leftOut);

// Per rank, the verdicts of tree 1's taxa (and tree 2's taxa only in tree 2), with the ranks
// one tree alone uses as rows of their own in their place from the top. `rank` (an index
// into the relations' ranks, -1 for all) and `rankName` keep one rank.
SummaryTable relationSummary(const TaxonRelations& relations, const std::vector<OneTreeRank>& alone,
                             int rank = -1, const std::string& rankName = {});
