#include "ChangeKinds.h"

#include <algorithm>
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "Cancellation.h"

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

namespace {

uint64_t nameHash(const char* name) { return XXH3_64bits(name, std::strlen(name)); }

// The hashes of a set of names, in open addressing: whether a name may be in the set (a
// hash shared by another name only adds a taxon to the lists, which compare whole names).
class HashSet {
public:
    explicit HashSet(size_t count) {
        size_t size = 16;
        while (size < count * 2) size *= 2;
        m_slots.assign(size, 0);
    }
    void insert(uint64_t h) {
        h = h ? h : 1;
        for (size_t i = h & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            if (m_slots[i] == h) return;
            if (m_slots[i] == 0) {
                m_slots[i] = h;
                return;
            }
        }
    }
    bool contains(uint64_t h) const {
        h = h ? h : 1;
        for (size_t i = h & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            if (m_slots[i] == h) return true;
            if (m_slots[i] == 0) return false;
        }
    }

private:
    std::vector<uint64_t> m_slots;
};

}  // namespace

ChangeClassifier::ChangeClassifier(const ClassificationTree& tree1,
                                   const ClassificationTree& tree2) {
    const ClassificationTree* trees[2] = {&tree1, &tree2};
    // Each classification's own taxa, depth first, the last child first (the order the lists
    // of a name keep); a copy's subtree is all copies.
    auto walkOwn = [&trees](int side, auto&& f) {
        const uint8_t copy = side == 0 ? 2 : 1;  // what was grafted in from the other side
        std::vector<const TreeNode*> pending{trees[side]};
        size_t walked = 0;
        while (!pending.empty()) {
            cancellationPoint(++walked);
            const TreeNode* n = pending.back();
            pending.pop_back();
            if (n->onlyInTree == copy) continue;
            f(n);
            for (const TreeNode* k : n->children) pending.push_back(k);
        }
    };
    // Only the names of taxa held by one classification are ever looked up, and they are a
    // few in a hundred: the others are not kept.
    std::vector<uint64_t> askedHashes;
    for (int side = 0; side < 2; ++side)
        walkOwn(side, [&](const TreeNode* n) {
            if (n->onlyInTree == side + 1) askedHashes.push_back(nameHash(n->latinName));
        });
    HashSet asked(askedHashes.size());
    for (size_t i = 0; i < askedHashes.size(); ++i) {
        cancellationPoint(i);
        asked.insert(askedHashes[i]);
    }
    std::vector<uint64_t>().swap(askedHashes);
    for (int side = 0; side < 2; ++side) {
        walkOwn(side, [&](const TreeNode* n) {
            const uint64_t h = nameHash(n->latinName);
            if (asked.contains(h)) m_own[side].push_back({h, n});
        });
        std::stable_sort(m_own[side].begin(), m_own[side].end(),
                         [](const Entry& a, const Entry& b) { return a.hash < b.hash; });
        cancellationPoint();
    }
}

template <class Each>
void ChangeClassifier::forEachNamed(int side, const TreeNode& node, Each&& each) const {
    const std::vector<Entry>& list = m_own[side];
    const uint64_t h = nameHash(node.latinName);
    auto it = std::lower_bound(list.begin(), list.end(), h,
                               [](const Entry& e, uint64_t key) { return e.hash < key; });
    for (; it != list.end() && it->hash == h; ++it)
        if (std::strcmp(it->node->latinName, node.latinName) == 0 && !each(it->node)) return;
}

ChangeKind ChangeClassifier::classify(const TreeNode& node, const TreeNode** counterpart) const {
    if (counterpart) *counterpart = nullptr;
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return ChangeKind::None;
    // A taxon of classification 1 only is looked for among classification 2's own, and the
    // other way round.
    bool named = false;
    const TreeNode* moved = nullptr;
    forEachNamed(node.onlyInTree == 1 ? 1 : 0, node, [&](const TreeNode* n) {
        named = true;
        if (std::strcmp(n->rankName, node.rankName) != 0) return true;
        moved = n;
        return false;
    });
    if (moved) {
        if (counterpart) *counterpart = moved;
        return ChangeKind::Moved;
    }
    if (named) return ChangeKind::Rank;
    return node.onlyInTree == 1 ? ChangeKind::Removed : ChangeKind::Added;
}

const TreeNode* ChangeClassifier::namesake(const TreeNode& node) const {
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return nullptr;
    const TreeNode* first = nullptr;
    forEachNamed(node.onlyInTree == 1 ? 1 : 0, node, [&](const TreeNode* n) {
        first = n;
        return false;
    });
    return first;
}
