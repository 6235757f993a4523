// The changes between the two loaded classifications as one list for the viewer: a row per
// change of a taxon that one classification holds alone (moved, rank, removed, added, renamed,
// as cladorama-cli diff tells them) and per changed relation of a higher taxon (renamed, split,
// lumped, reshuffled, only in one tree, as the relations of higher taxa judge them). The list
// keeps its rows in the order they were found and a view of them: the rows that pass the
// filters, in the order of the column sorted by.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Renames.h"
#include "TaxonRelations.h"
#include "TreeNode.h"

enum class ChangeRowKind : uint8_t {
    Moved,
    Rank,
    Removed,
    Added,
    Renamed,
    Split,
    Lumped,
    Reshuffled,
    OnlyIn1,
    OnlyIn2,
};
constexpr int kChangeRowKinds = 10;
constexpr uint32_t kAllChangeKinds = (1u << kChangeRowKinds) - 1;
constexpr uint32_t changeKindBit(ChangeRowKind kind) { return 1u << static_cast<int>(kind); }
// "moved", "rank", "removed", "added", "renamed", "split", "lumped", "reshuffled",
// "only in tree 1", "only in tree 2".
const char* changeRowKindName(ChangeRowKind kind);

enum class ChangeColumn : uint8_t { Kind, Rank, Name1, Name2, Detail, Path };
constexpr int kChangeColumns = 6;
// "Change", "Rank", "Name in tree 1", "Name in tree 2", "Evidence or relation", "Path".
const char* changeColumnTitle(ChangeColumn column);

struct ChangeRow {
    ChangeRowKind kind = ChangeRowKind::Moved;
    bool ofRelation = false;          // a relation of higher taxa, not a taxon's change
    uint32_t rank = 0;               // index into ChangeList::ranks()
    const TreeNode* node1 = nullptr;  // tree 1's own taxon, in tree 1's combined tree
    const TreeNode* node2 = nullptr;  // tree 2's own taxon, in tree 2's combined tree
    // The taxon whose path the row shows (Latin names from the root down, joined by " > ").
    const TreeNode* pathOf = nullptr;
    // What the evidence-or-relation text is made of, with the nodes: for a move how many
    // moved with the taxon, for a rename its RenameEvidence, for a relation of higher taxa
    // its index in the relations. The texts are made when a cell asks for them: a whole
    // catalogue has millions of rows.
    uint32_t detail = 0;
};

struct ChangeFilter {
    uint32_t kinds = kAllChangeKinds;  // changeKindBit()s
    int rank = -1;                     // index into ranks(); -1 for every rank
    bool andAbove = false;             // with `rank`: that rank and every rank above it
    std::string text;                  // in either name, ASCII letters of either case
};

class ChangeList {
public:
    // The rows of two combined trees as a load leaves them (tree 1 with id 1, tree 2 with id
    // 2), with the partners of their renamed taxa and the relations of their higher taxa.
    // The filter and the sorting stay.
    void fill(const ClassificationTree& tree1, const ClassificationTree& tree2,
              const RenamePairs& partners, const TaxonRelations& relations);
    // No rows (the trees they point into are about to go).
    void clear();
    // Takes the rows of a list filled and made elsewhere (on the worker that finds the
    // changes after a load), keeping this list's filter and sorting: a new generation.
    // `made` must have been filled with partners and relations that outlive this list's use
    // of them.
    void adopt(ChangeList&& made);
    // Changes with every fill and clear.
    uint64_t generation() const { return m_generation; }

    const std::vector<ChangeRow>& rows() const { ensure(); return m_rows; }
    // The ranks of the rows, in the order first met. From the top down, the twenty are in
    // their order, any other rank just below the nearest of the twenty above its first taxon.
    const std::vector<std::string>& ranks() const { ensure(); return m_ranks; }
    // Indexes into ranks(), from the top down.
    std::vector<uint32_t> ranksTopDown() const;

    void setFilter(const ChangeFilter& filter);
    const ChangeFilter& filter() const { return m_filter; }
    // Stable: rows equal in that column keep their order. Sorting by the kind or the rank
    // follows their order above, the other columns the names' bytes.
    void sortBy(ChangeColumn column, bool ascending);
    // Indexes into rows() of the rows shown.
    const std::vector<uint32_t>& shown() const { ensure(); return m_shown; }
    // By kind, the rows of the ranks and text shown, whatever kinds the filter keeps.
    const std::array<int, kChangeRowKinds>& counts() const { ensure(); return m_counts; }

    // A cell's text, as ISO-8859-1 bytes.
    std::string cell(const ChangeRow& row, ChangeColumn column) const;
    // The evidence-or-relation text of a row.
    std::string detailOf(const ChangeRow& row) const;
    // The species (tree 1's own taxa) that the two taxa of a split, lump or reshuffle share;
    // none for any other row.
    std::vector<const TreeNode*> sharedSpecies(const ChangeRow& row) const;
    // The species of tree 2 that a species of tree 1 is: its partner, else the species of
    // its name; null when tree 2 holds neither.
    const TreeNode* speciesIn2(const TreeNode& species1) const;

    // The rows shown with a header of the column titles, in UTF-8: comma-separated with
    // quotes where a field needs them, or tab-separated (tabs and line breaks inside a field
    // become spaces).
    std::string table(char separator) const;

private:
    // The rows are made when first asked for, not by fill(): a load need not wait for a list
    // nobody looks at, and on a whole catalogue with many changes making it takes seconds.
    void ensure() const {
        if (m_pending) const_cast<ChangeList*>(this)->build();
    }
    void build();
    uint32_t rankIndex(const TreeNode* node);
    bool passesRankAndText(const ChangeRow& row) const;
    void refresh();

    std::vector<ChangeRow> m_rows;
    std::vector<std::string> m_ranks;
    std::vector<int> m_rankKeys;  // per rank, its place from the top
    const RenamePairs* m_partners = nullptr;
    // What fill() was given, until the rows are made.
    bool m_pending = false;
    const ClassificationTree* m_tree1 = nullptr;
    const ClassificationTree* m_tree2 = nullptr;
    const TaxonRelations* m_relations = nullptr;
    // Tree 2's own taxa, in Latin-name order (a name's taxa depth first): those it alone
    // holds, and its species. A sorted array rather than a map: on a whole catalogue these
    // are millions of taxa, and a hash map of them cost a hundred bytes each.
    std::vector<const TreeNode*> m_own2;
    // The taxa of m_own2 of this Latin name.
    std::pair<const TreeNode* const*, const TreeNode* const*> own2Named(const char* name) const;
    ChangeFilter m_filter;
    int m_sortColumn = -1;  // the order found when negative
    bool m_ascending = true;
    std::vector<uint32_t> m_shown;
    std::array<int, kChangeRowKinds> m_counts{};
    uint64_t m_generation = 0;
};
