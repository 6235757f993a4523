// The parts of the change report's page, put together by changeReportHtml().
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "ChangeList.h"
#include "TreeNode.h"

// The kinds in the order the page shows them: renames and moves first, then the relations of
// higher taxa, then what one tree alone holds.
extern const ChangeRowKind kReportKindOrder[kChangeRowKinds];
// The kind as a word for markup: "only-in-tree-1" for "only in tree 1".
std::string kindSlug(ChangeRowKind kind);
// The colour of the kind in the picture's changes layer, as "#rrggbb".
std::string kindColour(ChangeRowKind kind);
// The node itself or its nearest ancestor of that rank; null where there is none.
const TreeNode* withinRank(const TreeNode* node, const char* rank);
// The same for many nodes in the order of a walk: the answer for the last parent asked
// about is kept, so that the species of one genus ask the way up once.
class RankAncestors {
public:
    explicit RankAncestors(const char* rank) : m_rank(rank) {}
    const TreeNode* of(const TreeNode* node);

private:
    const char* m_rank;
    const TreeNode* m_parent = nullptr;
    const TreeNode* m_found = nullptr;
};

// The species the two taxa of a split, lump or reshuffle share (those that moved, or where
// the two have one name, stayed): the first `named` of them in tree 1's order, and how many.
struct SharedSpecies {
    std::vector<const TreeNode*> named;
    size_t count = 0;
};
// For the rows of `rows` (indexes into the list's rows) that join two taxa.
std::unordered_map<uint32_t, SharedSpecies> sharedSpeciesOfRows(const ChangeList& list,
                                                                const std::vector<uint32_t>& rows,
                                                                size_t named);

// The chart of where the changes lie, order by order (or family by family, or by the taxa
// below the root, where the trees have no orders): an inline SVG of stacked bars.
void appendChart(std::string& out, const ChangeList& list);
// The rows, a table per kind, with the filter box and a toggle per kind. Past `limit` rows,
// summed up by family (or the next rank up that brings them within it).
void appendRows(std::string& out, const ChangeList& list, size_t limit);

// The page's style sheet and script, inline.
extern const char* const kReportStyle;
extern const char* const kReportScript;
