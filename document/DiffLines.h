// What became of each taxon held by one classification only (cladorama-cli diff, the
// viewer's list of changes): one line per change, where it happened. A taxon that moved is told once, as its tree-1 taxon, and the
// taxa that moved with it (their parent the same in both) not at all; a change of rank once,
// as the tree-1 taxon; a renamed taxon and its partner once each; removed and added taxa once
// each.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "ChangeKinds.h"
#include "Renames.h"
#include "TreeNode.h"

class DiffLines {
public:
    // Both trees combined, with the partners of their renamed taxa.
    DiffLines(const ClassificationTree& tree1, const ClassificationTree& tree2,
              const RenamePairs& partners);

    // The line of a node of tree 1's combined tree: its change, and the seventh and eighth
    // columns. False when the node gets no line. `counterpart`, when given, receives the other
    // classification's taxon of the change: where a moved taxon went, the namesake at another
    // rank, a renamed taxon's partner; null for removed and added taxa.
    bool line(const TreeNode& node, ChangeKind& kind, std::string& other, std::string& detail,
              const TreeNode** counterpart = nullptr) const;

    // The same without its texts, for callers that keep millions of lines: the counterpart,
    // and for a move how many moved with the taxon, for a rename its evidence.
    struct Told {
        ChangeKind kind = ChangeKind::None;
        const TreeNode* counterpart = nullptr;
        int movedWith = 0;
        RenameEvidence evidence = RenameEvidence::Id;
    };
    bool tell(const TreeNode& node, Told& told) const;

private:
    // The tree-2 taxon of a taxon that moved, when it moved on its own (not with its parent).
    const TreeNode* movedAlone(const TreeNode& node) const;
    bool movedWithParent(const TreeNode& node) const;
    int movedWith(const TreeNode& node) const;

    ChangeClassifier m_changes;
    const RenamePairs& m_partners;
};

// " > "-joined Latin names from the root down to the node.
void appendPath(std::string& out, const TreeNode* node);

// The lines of a diff counted by rank: the twenty in rank order, then other rank names in the
// order met, then the total.
class DiffSummary {
public:
    void add(const char* rank, ChangeKind kind);
    // The header `taxon rank, moved, rank, renamed, removed, added, total` and a row per rank,
    // then the total row.
    std::vector<std::vector<std::string>> table() const;
    // The table tab-separated, a line per row.
    void print(std::string& out) const;

private:
    static constexpr int kColumns = 5;  // moved, rank, renamed, removed, added
    std::map<std::string, std::array<int, kColumns>> m_rows;
    std::vector<std::string> m_order;
};
