#include "DiffLines.h"

#include <cstring>

namespace {

bool sameTaxon(const TreeNode* a, const TreeNode* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a->latinName, b->latinName) == 0 && std::strcmp(a->rankName, b->rankName) == 0;
}

}  // namespace

void appendPath(std::string& out, const TreeNode* node) {
    std::vector<const TreeNode*> up;
    for (const TreeNode* q = node; q; q = q->parent) up.push_back(q);
    for (size_t i = up.size(); i-- > 0;) {
        out += up[i]->latinName;
        if (i) out += " > ";
    }
}

DiffLines::DiffLines(const ClassificationTree& tree1, const ClassificationTree& tree2,
                     const RenamePairs& partners)
    : m_changes(tree1, tree2), m_partners(partners) {}

bool DiffLines::movedWithParent(const TreeNode& node) const {
    const TreeNode* there = nullptr;
    return node.onlyInTree == 1 && m_changes.classify(node, &there) == ChangeKind::Moved &&
           sameTaxon(node.parent, there->parent);
}

const TreeNode* DiffLines::movedAlone(const TreeNode& node) const {
    const TreeNode* there = nullptr;
    if (m_changes.classify(node, &there) != ChangeKind::Moved) return nullptr;
    return sameTaxon(node.parent, there->parent) ? nullptr : there;
}

int DiffLines::movedWith(const TreeNode& node) const {
    int count = 0;
    for (const TreeNode* child : node.children)
        if (movedWithParent(*child)) count += 1 + movedWith(*child);
    return count;
}

bool DiffLines::tell(const TreeNode& node, Told& told) const {
    told = Told();
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return false;
    const TreeNode* there = nullptr;
    told.kind = m_changes.classify(node, &there);
    // Only a name the other classification lacks can have been renamed.
    if (told.kind == ChangeKind::Removed || told.kind == ChangeKind::Added) {
        if (const RenamePair* pair = m_partners.pairOf(node)) {
            told.kind = ChangeKind::Renamed;
            told.counterpart = node.onlyInTree == 1 ? pair->node2 : pair->node1;
            told.evidence = pair->evidence;
            return true;
        }
    }
    switch (told.kind) {
        case ChangeKind::Moved:
            // Told once, as the first classification's taxon, where its parent changed.
            if (node.onlyInTree != 1 || sameTaxon(node.parent, there->parent)) return false;
            told.counterpart = there;
            told.movedWith = movedWith(node);
            return true;
        case ChangeKind::Rank:
            if (node.onlyInTree != 1) return false;
            told.counterpart = m_changes.namesake(node);
            return true;
        case ChangeKind::Removed:
        case ChangeKind::Added: return true;
        default: return false;
    }
}

bool DiffLines::line(const TreeNode& node, ChangeKind& kind, std::string& other,
                     std::string& detail, const TreeNode** counterpart) const {
    other.clear();
    detail.clear();
    Told told;
    const bool any = tell(node, told);
    kind = told.kind;
    if (counterpart) *counterpart = any ? told.counterpart : nullptr;
    if (!any) return false;
    switch (kind) {
        case ChangeKind::Renamed:
            other = told.counterpart->latinName;
            detail = renameEvidenceName(told.evidence);
            break;
        case ChangeKind::Moved:
            appendPath(other, told.counterpart);
            detail = std::to_string(told.movedWith);
            break;
        case ChangeKind::Rank:
            if (told.counterpart) other = told.counterpart->rankName;
            break;
        default: break;
    }
    return true;
}

void DiffSummary::add(const char* rank, ChangeKind kind) {
    int column = -1;
    switch (kind) {
        case ChangeKind::Moved: column = 0; break;
        case ChangeKind::Rank: column = 1; break;
        case ChangeKind::Renamed: column = 2; break;
        case ChangeKind::Removed: column = 3; break;
        case ChangeKind::Added: column = 4; break;
        default: return;
    }
    auto [it, fresh] = m_rows.try_emplace(rank);
    if (fresh) {
        it->second.fill(0);
        m_order.push_back(rank);
    }
    ++it->second[static_cast<size_t>(column)];
}

std::vector<std::vector<std::string>> DiffSummary::table() const {
    // The first column is the taxa's rank; "rank" alone names the change of rank.
    std::vector<std::vector<std::string>> out{
        {"taxon rank", "moved", "rank", "renamed", "removed", "added", "total"}};
    std::array<int, kColumns> total{};
    auto row = [&](const std::string& rank, const std::array<int, kColumns>& counts) {
        std::vector<std::string> cells{rank};
        int sum = 0;
        for (int k : counts) {
            cells.push_back(std::to_string(k));
            sum += k;
        }
        cells.push_back(std::to_string(sum));
        out.push_back(std::move(cells));
    };
    auto add = [&](const std::string& rank) {
        const auto& counts = m_rows.at(rank);
        row(rank, counts);
        for (int k = 0; k < kColumns; ++k) total[static_cast<size_t>(k)] += counts[static_cast<size_t>(k)];
    };
    for (int r = 0; r < kRankCount; ++r)
        if (m_rows.count(rankName(r))) add(rankName(r));
    for (const std::string& rank : m_order)
        if (rankFromName(rank.c_str()) < 0) add(rank);
    row("total", total);
    return out;
}

void DiffSummary::print(std::string& out) const {
    for (const auto& cells : table()) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i) out += '\t';
            out += cells[i];
        }
        out += '\n';
    }
}
