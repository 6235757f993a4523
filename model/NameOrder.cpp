#include "NameOrder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "Cancellation.h"

namespace {

// strcmp compares as unsigned char and puts a prefix first, which is exactly the name
// order; it never looks at the locale.
inline bool nameBefore(const char* a, const char* b) { return std::strcmp(a, b) < 0; }

// The first sixteen bytes of a name as two big-endian numbers, zero-padded after the end
// of the name: comparing keys orders names as strcmp does, as far as sixteen bytes tell.
// Sixteen, not eight: species names share their genus name and a blank, and with eight
// bytes most comparisons among the species of a genus would tie.
struct PrefixKey {
    uint64_t high = 0, low = 0;
    explicit PrefixKey(const char* name) {
        int i = 0;
        for (; i < 8 && name[i]; ++i) high = (high << 8) | static_cast<unsigned char>(name[i]);
        if (i < 8) {
            high = i == 0 ? 0 : high << (8 * (8 - i));  // a shift by 64 bits is undefined
            return;
        }
        const char* rest = name + 8;
        for (i = 0; i < 8 && rest[i]; ++i) low = (low << 8) | static_cast<unsigned char>(rest[i]);
        low = i == 0 ? 0 : low << (8 * (8 - i));
    }
};

// Equal keys whose last byte is zero are names that ended within the key: equal. Else the
// names are compared past the key.
inline int pastKey(const PrefixKey& key, const char* a, const char* b) {
    return (key.low & 0xff) == 0 ? 0 : std::strcmp(a + 16, b + 16);
}

struct KeyedNode {
    PrefixKey key;
    TreeNode* node;
};

// Room for records made in place by makeKeys (they have no default value to fill it with).
struct KeyRoom {
    void operator()(KeyedNode* p) const { ::operator delete[](p); }
    static std::unique_ptr<KeyedNode[], KeyRoom> make(size_t count) {
        return std::unique_ptr<KeyedNode[], KeyRoom>(
            static_cast<KeyedNode*>(::operator new[](count * sizeof(KeyedNode))));
    }
};

// The records of nodes [from, to) with their names' keys. A tree read from a text file lies
// over the heap in the file's order, not the list's: the nodes and their names are fetched
// a few entries ahead, as copySearchNames does.
void makeKeys(TreeNode* const* nodes, size_t from, size_t to, char* TreeNode::*name,
              KeyedNode* out) {
    constexpr size_t kNodeAhead = 16, kNameAhead = 8;
    for (size_t i = from; i < to; ++i) {
        if (i + kNodeAhead < to) __builtin_prefetch(nodes[i + kNodeAhead]);
        if (i + kNameAhead < to) __builtin_prefetch(nodes[i + kNameAhead]->*name);
        new (out + (i - from)) KeyedNode{PrefixKey(nodes[i]->*name), nodes[i]};
    }
}

inline bool keyedBefore(const KeyedNode& a, const KeyedNode& b, char* TreeNode::*name) {
    if (a.key.high != b.key.high) return a.key.high < b.key.high;
    if (a.key.low != b.key.low) return a.key.low < b.key.low;
    return pastKey(a.key, a.node->*name, b.node->*name) < 0;
}

// Sorting millions of node pointers by a name behind each pointer spends its time
// fetching nodes and names from all over memory. Sorting (prefix, node) records compares
// most pairs by the key alone, in contiguous memory; only equal prefixes look at the
// names. Same order as sorting the pointers with nameBefore.
void sortByName(std::vector<TreeNode*>& nodes, char* TreeNode::*name) {
    if (nodes.size() < 64) {
        std::sort(nodes.begin(), nodes.end(), [name](const TreeNode* a, const TreeNode* b) {
            return nameBefore(a->*name, b->*name);
        });
        return;
    }
    const size_t count = nodes.size();
    const auto keyed = KeyRoom::make(count);
    makeKeys(nodes.data(), 0, count, name, keyed.get());
    std::sort(keyed.get(), keyed.get() + count,
              [name](const KeyedNode& a, const KeyedNode& b) { return keyedBefore(a, b, name); });
    for (size_t i = 0; i < count; ++i) nodes[i] = keyed[i].node;
}

}  // namespace

void stableSortByLatinName(std::vector<const TreeNode*>& nodes) {
    if (nodes.size() < 64) {
        std::stable_sort(nodes.begin(), nodes.end(), [](const TreeNode* a, const TreeNode* b) {
            return nameBefore(a->latinName, b->latinName);
        });
        return;
    }
    // Records of twelve bytes of the name and the node's place, not its pointer: ties of
    // equal names are broken by the place, which makes the order a stable one without the
    // buffer of a stable sort, and a record is sixteen bytes (tens of megabytes fewer on a
    // catalogue, on the thread that finds the changes beside a drawn picture).
    struct Keyed {
        uint64_t high;
        uint32_t low;
        uint32_t place;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(nodes.size());
    constexpr size_t kNodeAhead = 16, kNameAhead = 8;
    for (size_t i = 0; i < nodes.size(); ++i) {
        cancellationPoint(i);
        if (i + kNodeAhead < nodes.size()) __builtin_prefetch(nodes[i + kNodeAhead]);
        if (i + kNameAhead < nodes.size()) __builtin_prefetch(nodes[i + kNameAhead]->latinName);
        const PrefixKey key(nodes[i]->latinName);
        keyed.push_back({key.high, static_cast<uint32_t>(key.low >> 32), static_cast<uint32_t>(i)});
    }
    // Millions of names take a good part of a second: the sort is called off as a loop is
    // (what it leaves is thrown away with the rest of the work).
    size_t compared = 0;
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        cancellationPoint(++compared);
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        // Equal keys whose last byte is zero are names that ended within them: equal.
        if ((a.low & 0xff) != 0) {
            const int c = std::strcmp(nodes[a.place]->latinName + 12,
                                      nodes[b.place]->latinName + 12);
            if (c != 0) return c < 0;
        }
        return a.place < b.place;
    });
    // The nodes put in their sorted places where they stand, cycle by cycle, instead of into
    // a copy (millions of pointers more at the work's highest); the keys, no longer needed,
    // mark the places done.
    for (Keyed& k : keyed) k.high = 0;
    for (size_t start = 0; start < nodes.size(); ++start) {
        if (keyed[start].high) continue;
        const TreeNode* first = nodes[start];
        size_t at = start;
        for (;;) {
            keyed[at].high = 1;
            const size_t from = keyed[at].place;
            if (from == start) {
                nodes[at] = first;
                break;
            }
            nodes[at] = nodes[from];
            at = from;
        }
    }
}

int compareLatinNames(const TreeNode* a, const TreeNode* b) {
    return nameBefore(a->latinName, b->latinName) ? -1 : 1;
}

int compareCommonNames(const TreeNode* a, const TreeNode* b) {
    return nameBefore(a->commonName, b->commonName) ? -1 : 1;
}

// The comparisons answer +1 for equal names, so they are not a strict ordering on their
// own; the sorts take a before b only when the comparison says -1, which is what
// nameBefore answers.
void sortLatinIndex(ClassificationTree& tree) { sortByName(tree.latinIndex, &TreeNode::latinName); }

void sortCommonIndex(ClassificationTree& tree) {
    sortByName(tree.commonIndex, &TreeNode::commonName);
}

void sortChildrenByLatinName(TreeNode* node) {
    // forEachNode hands over a node before it pushes the children, so each list is
    // sorted before it is walked; the walk itself keeps no recursion.
    forEachNode(node, [](TreeNode* n) {
        if (n->children.size() >= 2) sortByName(n->children, &TreeNode::latinName);
    });
}

LatinIndexInHalves::LatinIndexInHalves(ClassificationTree& tree) : m_nodes(tree.latinIndex) {
    // Below this a second thread costs more than it saves.
    constexpr size_t kHalvesFrom = size_t{1} << 16;
    m_whole = m_nodes.size() < kHalvesFrom;
    if (m_whole) return;
    m_middle = m_nodes.size() / 2;
    m_keyed = KeyRoom::make(m_nodes.size()).release();
}

LatinIndexInHalves::~LatinIndexInHalves() { KeyRoom()(static_cast<KeyedNode*>(m_keyed)); }

void LatinIndexInHalves::sortHalf(int half) {
    if (m_whole) {
        if (half == 0) sortByName(m_nodes, &TreeNode::latinName);
        return;
    }
    auto* keyed = static_cast<KeyedNode*>(m_keyed);
    const size_t from = half == 0 ? 0 : m_middle, to = half == 0 ? m_middle : m_nodes.size();
    makeKeys(m_nodes.data(), from, to, &TreeNode::latinName, keyed + from);
    std::sort(keyed + from, keyed + to, [](const KeyedNode& a, const KeyedNode& b) {
        return keyedBefore(a, b, &TreeNode::latinName);
    });
}

void LatinIndexInHalves::merge() {
    if (m_whole) return;
    // The halves' records are read in order and the nodes written in order: no name is
    // fetched but for keys that tie.
    const auto* keyed = static_cast<const KeyedNode*>(m_keyed);
    const KeyedNode *a = keyed, *aEnd = keyed + m_middle, *b = aEnd, *bEnd = keyed + m_nodes.size();
    size_t out = 0;
    while (a != aEnd && b != bEnd)
        m_nodes[out++] = keyedBefore(*b, *a, &TreeNode::latinName) ? (b++)->node : (a++)->node;
    while (a != aEnd) m_nodes[out++] = (a++)->node;
    while (b != bEnd) m_nodes[out++] = (b++)->node;
    // The records are not needed any more, and what comes next allocates plenty.
    KeyRoom()(static_cast<KeyedNode*>(m_keyed));
    m_keyed = nullptr;
}
