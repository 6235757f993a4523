#include "Compare.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "KeptThread.h"

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
// Lists whose largest run of namesakes is at most kSliceGroupLimit long replay each
// alignment along the run's positions one by one; longer runs are kept in balanced trees
// (see alignRanked).

// Sequences of small integers in randomly balanced binary trees (treaps) over one shared pool
// of nodes, for splitting, joining and finding by rank in logarithmic time. A tree is named
// by its root; kNil is the empty tree.
class TreapPool {
public:
    static constexpr uint32_t kNil = UINT32_MAX;

    void reset(size_t capacity) {
        m_nodes.clear();
        m_nodes.reserve(capacity);
        m_seed = 0x9e3779b9u;
    }
    uint32_t make(uint32_t value) {
        // xorshift: the priorities only need to look random to the shapes the input builds.
        m_seed ^= m_seed << 13;
        m_seed ^= m_seed >> 17;
        m_seed ^= m_seed << 5;
        m_nodes.push_back({value, m_seed, kNil, kNil, 1});
        return static_cast<uint32_t>(m_nodes.size() - 1);
    }
    uint32_t size(uint32_t t) const { return t == kNil ? 0 : m_nodes[t].size; }
    uint32_t& value(uint32_t node) { return m_nodes[node].value; }

    uint32_t merge(uint32_t a, uint32_t b) {
        if (a == kNil) return b;
        if (b == kNil) return a;
        if (m_nodes[a].priority > m_nodes[b].priority) {
            m_nodes[a].right = merge(m_nodes[a].right, b);
            return update(a);
        }
        m_nodes[b].left = merge(a, m_nodes[b].left);
        return update(b);
    }
    // The first k elements of t, and the rest.
    std::pair<uint32_t, uint32_t> split(uint32_t t, uint32_t k) {
        if (t == kNil) return {kNil, kNil};
        Node& n = m_nodes[t];
        const uint32_t leftSize = size(n.left);
        if (k <= leftSize) {
            auto [a, b] = split(n.left, k);
            m_nodes[t].left = b;
            return {a, update(t)};
        }
        auto [a, b] = split(n.right, k - leftSize - 1);
        m_nodes[t].right = a;
        return {update(t), b};
    }
    // The node at rank k (0-based) of t.
    uint32_t at(uint32_t t, uint32_t k) const {
        for (;;) {
            const Node& n = m_nodes[t];
            const uint32_t leftSize = size(n.left);
            if (k == leftSize) return t;
            if (k < leftSize) {
                t = n.left;
            } else {
                k -= leftSize + 1;
                t = n.right;
            }
        }
    }
    // In a tree whose values ascend: how many values are below v.
    uint32_t countBelow(uint32_t t, uint32_t v) const {
        uint32_t count = 0;
        while (t != kNil) {
            const Node& n = m_nodes[t];
            if (n.value < v) {
                count += size(n.left) + 1;
                t = n.right;
            } else {
                t = n.left;
            }
        }
        return count;
    }
    // Removes the node at rank k from t; returns it.
    uint32_t remove(uint32_t& t, uint32_t k) {
        auto [a, rest] = split(t, k);
        auto [node, b] = split(rest, 1);
        t = merge(a, b);
        return node;
    }
    void insert(uint32_t& t, uint32_t k, uint32_t node) {
        auto [a, b] = split(t, k);
        t = merge(merge(a, node), b);
    }
    template <class F>
    void forEach(uint32_t t, F&& f) const {
        if (t == kNil) return;
        forEach(m_nodes[t].left, f);
        f(m_nodes[t].value);
        forEach(m_nodes[t].right, f);
    }

private:
    struct Node {
        uint32_t value, priority, left, right, size;
    };
    uint32_t update(uint32_t t) {
        Node& n = m_nodes[t];
        n.size = 1 + size(n.left) + size(n.right);
        return t;
    }
    std::vector<Node> m_nodes;
    uint32_t m_seed = 0;
};

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
        if (m_largestGroup > m_sliceGroupLimit) return alignRanked(list, m);
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

    void setSliceGroupLimit(size_t limit) { m_sliceGroupLimit = limit; }

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
        m_largestGroup = 0;
        for (size_t k = 0; k < n; ++k) {
            if (k == 0 || std::strcmp(m_sorted[k - 1].name, m_sorted[k].name) != 0)
                m_groupStart.push_back(static_cast<uint32_t>(k));
            m_positions[k] = m_sorted[k].index;
            m_groupAt[m_sorted[k].index] = static_cast<uint32_t>(m_groupStart.size() - 1);
        }
        m_groupStart.push_back(static_cast<uint32_t>(n));
        for (size_t g = 0; g + 1 < m_groupStart.size(); ++g)
            m_largestGroup = std::max<size_t>(m_largestGroup, m_groupStart[g + 1] - m_groupStart[g]);
    }

    // The same replay for lists with long runs of namesakes, where walking a run for every
    // child that aligns into it would be quadratic. Each name keeps its positions in a
    // tree ordered by position, and the children standing there, in the same order, in a
    // second tree. The rotation along the positions then comes down to a few cuts and
    // joins of those trees:
    // - j holds the name already, at rank r among its positions: every child moves one
    //   position on, the one at j to the first, the last one to j. On the children that is
    //   a rotation by one to the right and then, for 0 < r < last, the three children at
    //   ranks 0, r and r + 1 change places (the first goes to r, r's to r + 1, r + 1's to 0).
    // - j holds another name (the child w): w goes to the first position p of the name and
    //   the last namesake to j; the others move one position on. The name's positions lose
    //   p and gain j, its last child goes to the rank j takes; w's name's positions lose j
    //   and gain p, and w moves to the rank p takes there.
    void alignRanked(std::vector<TreeNode*>& list, size_t m) {
        const size_t n = list.size();
        const size_t groups = m_groupStart.size() - 1;
        m_pool.reset(2 * n);
        m_runPositions.assign(groups, TreapPool::kNil);
        m_runChildren.assign(groups, TreapPool::kNil);
        for (size_t g = 0; g < groups; ++g) {
            for (uint32_t k = m_groupStart[g]; k < m_groupStart[g + 1]; ++k) {
                const uint32_t p = m_positions[k];
                m_runPositions[g] = m_pool.merge(m_runPositions[g], m_pool.make(p));
                m_runChildren[g] = m_pool.merge(m_runChildren[g], m_pool.make(p));
            }
        }
        // The children trees name children by their original position in `list`.
        m_original.assign(list.begin(), list.end());

        for (size_t j = 0; j < m; ++j) {
            const int32_t g = m_driverGroup[j];
            if (g < 0) continue;
            uint32_t& positions = m_runPositions[g];
            uint32_t& children = m_runChildren[g];
            const uint32_t len = m_pool.size(positions);
            const uint32_t jj = static_cast<uint32_t>(j);
            const uint32_t t = m_groupAt[j];
            if (t == static_cast<uint32_t>(g)) {
                if (len == 1) continue;  // only j holds the name: nothing moves
                const uint32_t r = m_pool.countBelow(positions, jj);
                const uint32_t last = m_pool.remove(children, len - 1);
                m_pool.insert(children, 0, last);
                if (r > 0 && r + 1 < len) {
                    uint32_t& first = m_pool.value(m_pool.at(children, 0));
                    uint32_t& atR = m_pool.value(m_pool.at(children, r));
                    uint32_t& afterR = m_pool.value(m_pool.at(children, r + 1));
                    const uint32_t carried = first;
                    first = afterR;
                    afterR = atR;
                    atR = carried;
                }
                continue;
            }
            // j holds another name.
            const uint32_t r = m_pool.countBelow(positions, jj);
            const uint32_t firstNode = m_pool.remove(positions, 0);
            const uint32_t p = m_pool.value(firstNode);
            const uint32_t last = m_pool.remove(children, len - 1);
            m_pool.insert(children, r > 0 ? r - 1 : 0, last);
            m_pool.value(firstNode) = jj;
            m_pool.insert(positions, r > 0 ? r - 1 : 0, firstNode);

            uint32_t& otherPositions = m_runPositions[t];
            uint32_t& otherChildren = m_runChildren[t];
            const uint32_t from = m_pool.countBelow(otherPositions, jj);
            const uint32_t jNode = m_pool.remove(otherPositions, from);
            const uint32_t w = m_pool.remove(otherChildren, from);
            const uint32_t to = m_pool.countBelow(otherPositions, p);
            m_pool.value(jNode) = p;
            m_pool.insert(otherPositions, to, jNode);
            m_pool.insert(otherChildren, to, w);
            m_groupAt[p] = t;
            m_groupAt[j] = static_cast<uint32_t>(g);
        }

        for (size_t g = 0; g < groups; ++g) {
            m_slots.clear();
            m_pool.forEach(m_runPositions[g], [this](uint32_t p) { m_slots.push_back(p); });
            size_t k = 0;
            m_pool.forEach(m_runChildren[g], [&](uint32_t c) { list[m_slots[k++]] = m_original[c]; });
        }
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
    size_t m_largestGroup = 0;
    size_t m_sliceGroupLimit = kSliceGroupLimit;
    // Long runs only.
    TreapPool m_pool;
    std::vector<uint32_t> m_runPositions;  // tree of the positions of each name group
    std::vector<uint32_t> m_runChildren;   // tree of the children standing there, same order
    std::vector<TreeNode*> m_original;     // the list as it was, for the children trees
    std::vector<uint32_t> m_slots;
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
    compareTrees(t, u, kDirectScanLimit, kSliceGroupLimit);
}

void compareTrees(ClassificationTree& t, ClassificationTree& u, size_t directScanLimit,
                  size_t sliceGroupLimit) {
    const uint8_t id = t.treeId;
    using Pair = std::pair<TreeNode*, TreeNode*>;
    // One pair: a is marked, the children are aligned, and the pairs of children go into
    // `next`. The pairs below one node cover disjoint subtrees on both sides, so the order
    // in which pairs are taken does not change the result, and no two pairs touch the same
    // node: pairs can be taken on several threads at once.
    auto compareOne = [&](Aligner& aligner, TreeNode* a, TreeNode* b, std::vector<Pair>& next) {
        if (std::strcmp(a->latinName, b->latinName) != 0 ||
            std::strcmp(a->rankName, b->rankName) != 0)
            a->onlyInTree = id;  // b is marked in the pass where its tree is T
        const size_t na = a->children.size();
        const size_t nb = b->children.size();
        const size_t m = std::min(na, nb);
        if (na == 0) return;
        if (m > 0) {
            // The shorter list drives (a's when both are equal); only the other moves.
            const std::vector<TreeNode*>& driver = na <= nb ? a->children : b->children;
            std::vector<TreeNode*>& list = na <= nb ? b->children : a->children;
            if (static_cast<unsigned long long>(na) * nb <= directScanLimit)
                alignByScan(driver, list);
            else
                aligner.align(driver, list);
        }
        for (size_t j = 0; j < m; ++j) next.emplace_back(a->children[j], b->children[j]);
        for (size_t j = m; j < na; ++j)
            forEachNode(a->children[j], [id](TreeNode* n) { n->onlyInTree = id; });
    };

    // Level by level from the roots until there are pairs enough to share out...
    constexpr size_t kShared = 64;
    Aligner aligner;
    aligner.setSliceGroupLimit(sliceGroupLimit);
    std::vector<Pair> frontier{{&t, &u}}, next;
    while (!frontier.empty() && frontier.size() < kShared) {
        next.clear();
        for (const auto& [a, b] : frontier) compareOne(aligner, a, b, next);
        frontier.swap(next);
    }
    if (frontier.empty()) return;
    // ...then each of two threads takes the next of them and compares everything below it,
    // depth first with an explicit stack (deep trees stay off the call stack).
    std::atomic<size_t> taken{0};
    auto below = [&](Aligner& own) {
        std::vector<Pair> pending;
        for (size_t i; (i = taken.fetch_add(1, std::memory_order_relaxed)) < frontier.size();) {
            pending.push_back(frontier[i]);
            while (!pending.empty()) {
                const auto [a, b] = pending.back();
                pending.pop_back();
                compareOne(own, a, b, pending);
            }
        }
    };
    Aligner second;
    second.setSliceGroupLimit(sliceGroupLimit);
    sideBySide([&] { below(aligner); }, [&] { below(second); });
}
