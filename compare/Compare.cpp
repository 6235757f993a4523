#include "Compare.h"

#include <algorithm>
#include <cstring>
#include <utility>

void computeMaxLevel(ClassificationTree& tree) {
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        if (!n->children.empty() && n->children[0]->level > tree.maxLevel)
            tree.maxLevel = n->children[0]->level;
    });
}

namespace {

// Sibling lists up to this many pairs (children of one side times children of the other)
// are aligned by the plain scan; above it, from name-sorted positions.
constexpr size_t kDirectScanLimit = 256;

// Aligning a child x at position j scans the whole longer list and swaps every child
// named like x into position j, the scan going on after each swap. Followed through, the
// scan moves the child standing at j to the first matching position, each match to the
// next matching position, and the last match to j: a rotation along the positions that
// hold x's name (j left out). Only those positions are touched, so knowing, for each
// name, the sorted positions holding it is enough to replay the scan exactly, duplicates
// included, without looking at the other children. The number of positions holding a
// name never changes (the children are only permuted), so each name keeps a fixed slice
// of one flat array.
class Aligner {
public:
    // Replays the alignment of every child of `driver` (the shorter list) within `list`.
    void align(const std::vector<TreeNode*>& driver, std::vector<TreeNode*>& list) {
        const size_t m = driver.size();
        groupNames(list);
        findDriverGroups(driver);
        for (size_t j = 0; j < m; ++j) {
            const int32_t g = m_driverGroup[j];
            if (g < 0) continue;  // no child of that name: the scan swaps nothing
            uint32_t* pos = m_positions.data() + m_groupStart[g];
            const size_t len = m_groupStart[g + 1] - m_groupStart[g];
            TreeNode* carried = list[j];
            uint32_t first = UINT32_MAX;
            for (size_t k = 0; k < len; ++k) {
                const uint32_t p = pos[k];
                if (p == j) continue;  // swapping j with itself changes nothing
                if (first == UINT32_MAX) first = p;
                std::swap(carried, list[p]);
            }
            if (first == UINT32_MAX) continue;
            list[j] = carried;
            const uint32_t t = m_groupAt[j];
            if (t != static_cast<uint32_t>(g)) {
                // The child that stood at j has another name: it now stands at `first`,
                // and j holds the name looked for.
                moveInSlice(g, first, static_cast<uint32_t>(j));
                moveInSlice(t, static_cast<uint32_t>(j), first);
                m_groupAt[first] = t;
                m_groupAt[j] = static_cast<uint32_t>(g);
            }
        }
    }

private:
    struct NamePos {
        const char* name;
        uint32_t index;
    };

    static bool byNameThenIndex(const NamePos& x, const NamePos& y) {
        const int c = std::strcmp(x.name, y.name);
        return c < 0 || (c == 0 && x.index < y.index);
    }

    void groupNames(const std::vector<TreeNode*>& list) {
        const size_t n = list.size();
        m_sorted.resize(n);
        for (size_t i = 0; i < n; ++i) m_sorted[i] = {list[i]->latinName, static_cast<uint32_t>(i)};
        std::sort(m_sorted.begin(), m_sorted.end(), byNameThenIndex);
        m_positions.resize(n);
        m_groupAt.resize(n);
        m_groupStart.clear();
        for (size_t k = 0; k < n; ++k) {
            if (k == 0 || std::strcmp(m_sorted[k - 1].name, m_sorted[k].name) != 0)
                m_groupStart.push_back(static_cast<uint32_t>(k));
            m_positions[k] = m_sorted[k].index;
            m_groupAt[m_sorted[k].index] = static_cast<uint32_t>(m_groupStart.size() - 1);
        }
        m_groupStart.push_back(static_cast<uint32_t>(n));
    }

    // Group of each driver child's name among the groups of the longer list, by a merge
    // of the two name-sorted lists.
    void findDriverGroups(const std::vector<TreeNode*>& driver) {
        const size_t m = driver.size();
        m_driverSorted.resize(m);
        for (size_t j = 0; j < m; ++j)
            m_driverSorted[j] = {driver[j]->latinName, static_cast<uint32_t>(j)};
        std::sort(m_driverSorted.begin(), m_driverSorted.end(), byNameThenIndex);
        m_driverGroup.assign(m, -1);
        const size_t groups = m_groupStart.size() - 1;
        size_t g = 0;
        for (const NamePos& d : m_driverSorted) {
            int c = 1;
            while (g < groups && (c = std::strcmp(m_sorted[m_groupStart[g]].name, d.name)) < 0) ++g;
            if (g == groups) break;
            if (c == 0) m_driverGroup[d.index] = static_cast<int32_t>(g);
        }
    }

    // Replaces `from` by `to` in the sorted slice of group g, keeping it sorted.
    void moveInSlice(uint32_t g, uint32_t from, uint32_t to) {
        uint32_t* b = m_positions.data() + m_groupStart[g];
        const size_t len = m_groupStart[g + 1] - m_groupStart[g];
        size_t k = static_cast<size_t>(std::lower_bound(b, b + len, from) - b);
        if (to > from) {
            while (k + 1 < len && b[k + 1] < to) {
                b[k] = b[k + 1];
                ++k;
            }
        } else {
            while (k > 0 && b[k - 1] > to) {
                b[k] = b[k - 1];
                --k;
            }
        }
        b[k] = to;
    }

    std::vector<NamePos> m_sorted;        // the longer list by name, then position
    std::vector<NamePos> m_driverSorted;  // the shorter list by name
    std::vector<uint32_t> m_groupStart;   // slice of each name in m_positions
    std::vector<uint32_t> m_positions;    // positions holding each name, ascending
    std::vector<uint32_t> m_groupAt;      // name group of the child at each position
    std::vector<int32_t> m_driverGroup;   // name group of each driver child, or -1
};

// The scan exactly as it reads; cheapest for the short lists that make up most trees.
void alignByScan(const std::vector<TreeNode*>& driver, std::vector<TreeNode*>& list) {
    const size_t n = list.size();
    for (size_t j = 0; j < driver.size(); ++j) {
        const char* name = driver[j]->latinName;
        for (size_t i = 0; i < n; ++i)
            if (std::strcmp(list[i]->latinName, name) == 0) std::swap(list[i], list[j]);
    }
}

}  // namespace

void compareTrees(ClassificationTree& t, ClassificationTree& u) {
    compareTrees(t, u, kDirectScanLimit);
}

void compareTrees(ClassificationTree& t, ClassificationTree& u, size_t directScanLimit) {
    const uint8_t id = t.treeId;
    Aligner aligner;
    // Pairs still to compare. The pairs below one node cover disjoint subtrees on both
    // sides, so the order in which they are taken does not change the result, and an
    // explicit stack keeps deep trees off the call stack.
    std::vector<std::pair<TreeNode*, TreeNode*>> pending{{&t, &u}};
    while (!pending.empty()) {
        auto [a, b] = pending.back();
        pending.pop_back();
        if (std::strcmp(a->latinName, b->latinName) != 0 ||
            std::strcmp(a->rankName, b->rankName) != 0)
            a->onlyInTree = id;  // b is marked in the pass where its tree is T
        const size_t na = a->children.size();
        const size_t nb = b->children.size();
        const size_t m = std::min(na, nb);
        if (na == 0) continue;
        if (m > 0) {
            // The shorter list drives (a's when both are equal); only the other moves.
            const std::vector<TreeNode*>& driver = na <= nb ? a->children : b->children;
            std::vector<TreeNode*>& list = na <= nb ? b->children : a->children;
            if (static_cast<unsigned long long>(na) * nb <= directScanLimit)
                alignByScan(driver, list);
            else
                aligner.align(driver, list);
        }
        for (size_t j = 0; j < m; ++j) pending.emplace_back(a->children[j], b->children[j]);
        for (size_t j = m; j < na; ++j)
            forEachNode(a->children[j], [id](TreeNode* n) { n->onlyInTree = id; });
    }
}
