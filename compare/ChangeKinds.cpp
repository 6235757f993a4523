#include "ChangeKinds.h"

#include <cstring>
#include <unordered_set>

const char* changeKindName(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Moved: return "moved";
        case ChangeKind::Rank: return "rank";
        case ChangeKind::Removed: return "removed";
        case ChangeKind::Added: return "added";
        case ChangeKind::Renamed: return "renamed";
        default: return "";
    }
}

ChangeClassifier::ChangeClassifier(const ClassificationTree& tree1,
                                   const ClassificationTree& tree2) {
    const ClassificationTree* trees[2] = {&tree1, &tree2};
    // Each classification's own taxa, depth first; a copy's subtree is all copies.
    auto walkOwn = [&trees](int side, auto&& f) {
        const uint8_t copy = side == 0 ? 2 : 1;  // what was grafted in from the other side
        std::vector<const TreeNode*> pending{trees[side]};
        while (!pending.empty()) {
            const TreeNode* n = pending.back();
            pending.pop_back();
            if (n->onlyInTree == copy) continue;
            f(n);
            for (const TreeNode* k : n->children) pending.push_back(k);
        }
    };
    // Only the names of taxa held by one classification are ever looked up, and they are a
    // few in a hundred: indexing every taxon of a whole catalogue would take seconds and a
    // gigabyte at every load.
    std::unordered_set<std::string_view> asked;
    for (int side = 0; side < 2; ++side)
        walkOwn(side, [&](const TreeNode* n) {
            if (n->onlyInTree == side + 1) asked.insert(n->latinName);
        });
    for (int side = 0; side < 2; ++side)
        walkOwn(side, [&](const TreeNode* n) {
            if (asked.count(n->latinName)) m_own[side][n->latinName].push_back(n);
        });
}

ChangeKind ChangeClassifier::classify(const TreeNode& node, const TreeNode** counterpart) const {
    if (counterpart) *counterpart = nullptr;
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return ChangeKind::None;
    // A taxon of classification 1 only is looked for among classification 2's own, and the
    // other way round.
    const Index& other = m_own[node.onlyInTree == 1 ? 1 : 0];
    const auto found = other.find(node.latinName);
    if (found != other.end()) {
        for (const TreeNode* n : found->second) {
            if (std::strcmp(n->rankName, node.rankName) != 0) continue;
            if (counterpart) *counterpart = n;
            return ChangeKind::Moved;
        }
        return ChangeKind::Rank;
    }
    return node.onlyInTree == 1 ? ChangeKind::Removed : ChangeKind::Added;
}

const TreeNode* ChangeClassifier::namesake(const TreeNode& node) const {
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return nullptr;
    const Index& other = m_own[node.onlyInTree == 1 ? 1 : 0];
    const auto found = other.find(node.latinName);
    return found == other.end() || found->second.empty() ? nullptr : found->second.front();
}
