// The tree every importer fills: taxa found by (parent, name, rank) so that rows sharing a
// path share its taxa, then the root, numbers, levels and counts the classification reader
// would have given.
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "ClassificationReader.h"
#include "ImportFailure.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

size_t hashOf(const TreeNode* parent, std::string_view latin) {
    size_t h = XXH3_64bits(latin.data(), latin.size());
    return h ^ (reinterpret_cast<uintptr_t>(parent) * 0x9E3779B97F4A7C15ull);
}

// While the rows are read, a taxon's number holds this tag of its Latin name, which the
// search among siblings compares before it reads a name. (The parts are numbered before
// they are joined: the join compares names.)
int32_t nameTag(std::string_view latin) {
    return static_cast<int32_t>(XXH3_64bits(latin.data(), latin.size()));
}

// Names hold no zero byte, so the compare stops at the end of the shorter.
bool sameName(const char* a, std::string_view b) {
    return std::strncmp(a, b.data(), b.size()) == 0 && a[b.size()] == '\0';
}

}  // namespace

// Open addressing over the nodes themselves: a node carries its key (parent, Latin name,
// rank), so a slot is the node and its hash, side by side so that a probe touches one cache
// line. The node's names are read only when the hashes agree.
struct TreeBuilder::Index {
    struct Slot {
        size_t hash;
        TreeNode* node;
    };
    std::vector<Slot> slots;
    size_t count = 0;

    explicit Index(size_t expected) {
        size_t size = 16;  // grows as taxa come; small files are common
        while (size < expected) size *= 2;  // most taxa are found without it
        slots.assign(size, Slot{0, nullptr});
    }

    TreeNode* find(const TreeNode* parent, std::string_view latin, std::string_view rank,
                   size_t h, size_t& slot) const {
        size_t mask = slots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const Slot& s = slots[i];
            if (!s.node) {
                slot = i;
                return nullptr;
            }
            TreeNode* n = s.node;
            if (s.hash == h && n->parent == parent && sameName(n->rankName, rank) &&
                std::strlen(n->latinName) == latin.size() &&
                std::memcmp(n->latinName, latin.data(), latin.size()) == 0)
                return n;
        }
    }
    void insert(TreeNode* node, size_t h, size_t slot) {
        slots[slot] = {h, node};
        if (++count * 2 > slots.size()) grow();
    }
    void grow() {
        std::vector<Slot> old(slots.size() * 2, Slot{0, nullptr});
        old.swap(slots);
        size_t mask = slots.size() - 1;
        for (const Slot& s : old) {
            if (!s.node) continue;
            size_t j = s.hash & mask;
            while (slots[j].node) j = (j + 1) & mask;
            slots[j] = s;
        }
    }
};

TreeBuilder::TreeBuilder(size_t expectedTaxa)
    : m_holder(std::make_unique<ClassificationTree>()),
      m_index(std::make_unique<Index>(expectedTaxa)),
      m_expected(expectedTaxa) {}

TreeBuilder::~TreeBuilder() = default;

void TreeBuilder::reserve(size_t expectedTaxa) {
    if (m_index->count == 0) m_index = std::make_unique<Index>(expectedTaxa);
    m_expected = expectedTaxa;
}

TreeNode* TreeBuilder::top() const { return m_holder.get(); }

TreeNode* TreeBuilder::append(TreeNode* parent, std::string_view latin, std::string_view rank) {
    auto* n = new TreeNode;
    n->latinName = newName(latin.data(), latin.size());
    n->rankName = newName(rank.data(), rank.size());
    n->commonName = newName("", 0);
    n->number = nameTag(latin);
    parent->addChild(n);
    if (!m_orderJudged) noteMade(parent, n);
    ++m_made;
    return n;
}

// Searching a few siblings beats the index only where they were made moments ago, as in a
// table grouped by its higher ranks. In a table sorted by anything else a row's first new
// taxon rarely hangs near the taxon made before it; there every taxon goes into the index,
// where the search for the next row's is fetched from memory while this row is read.
void TreeBuilder::noteMade(const TreeNode* parent, const TreeNode* made) {
    if (parent != m_lastMade) {  // not the next taxon down a new path
        ++m_judged;
        m_near += parent == m_lastParent || (m_lastParent && parent == m_lastParent->parent);
        if (m_judged == kOrderSample) {
            m_orderJudged = true;
            m_indexAll = m_near < kOrderSample / 2;
        }
    }
    m_lastParent = parent;
    m_lastMade = made;
}

void TreeBuilder::indexAll() {
    m_indexAll = false;
    m_scanLimit = 0;
    m_index = std::make_unique<Index>(std::max<size_t>(m_expected, 2 * kOrderSample) * 2);
    forEachNode(top(), [&](const TreeNode* n) { indexChildren(n); });
}

bool TreeBuilder::indexed(const TreeNode* parent) const {
    return parent->children.size() >= m_scanLimit;
}

TreeNode* TreeBuilder::child(TreeNode* parent, std::string_view latin, std::string_view rank) {
    if (m_indexAll) indexAll();
    if (!indexed(parent)) return scannedChild(parent, latin, rank);
    return child(parent, latin, rank, hashOf(parent, latin));
}

TreeNode* TreeBuilder::child(TreeNode* parent, std::string_view latin, std::string_view rank,
                             size_t h) {
    if (m_indexAll) indexAll();
    if (!indexed(parent)) return scannedChild(parent, latin, rank);
    size_t slot;
    if (TreeNode* n = m_index->find(parent, latin, rank, h, slot)) return n;
    TreeNode* n = append(parent, latin, rank);
    m_index->insert(n, h, slot);
    return n;
}

// Most parents have a few children, in a table grouped by its higher ranks made moments ago
// and still in the cache, where a probe of the index is a miss in memory almost every time.
// In a table in another order they were made long ago: all of them are asked for at once,
// and a name is read only when its tag agrees.
TreeNode* TreeBuilder::scannedChild(TreeNode* parent, std::string_view latin,
                                    std::string_view rank) {
    const std::vector<TreeNode*>& children = parent->children;
    for (TreeNode* c : children) __builtin_prefetch(&c->number);
    const int32_t tag = nameTag(latin);
    for (TreeNode* c : children)
        if (c->number == tag && sameName(c->latinName, latin) && sameName(c->rankName, rank))
            return c;
    TreeNode* n = append(parent, latin, rank);
    if (indexed(parent)) indexChildren(parent);
    return n;
}

void TreeBuilder::indexChildren(const TreeNode* parent) {
    for (TreeNode* c : parent->children) {
        size_t h = hashOf(parent, c->latinName), slot = 0;
        m_index->find(parent, c->latinName, c->rankName, h, slot);
        m_index->insert(c, h, slot);
    }
}

void TreeBuilder::adopt(TreeNode* parent, TreeNode* c, size_t h, size_t slot) {
    bool wasIndexed = indexed(parent);
    parent->addChild(c);
    if (wasIndexed) m_index->insert(c, h, slot);
    else if (indexed(parent)) indexChildren(parent);
}

void TreeBuilder::absorb(TreeBuilder& later) {
    // Pairs of the same taxon in both trees, from the tops down. A child of the later one
    // that this tree lacks moves over whole, after this tree's children: its rows came later.
    std::vector<std::pair<TreeNode*, TreeNode*>> pairs{{top(), later.top()}};
    size_t paired = 0;
    m_planHeld = m_planned && later.m_planned;
    while (!pairs.empty()) {
        auto [mine, theirs] = pairs.back();
        pairs.pop_back();
        for (TreeNode* c : theirs->children) {
            std::string_view latin(c->latinName);
            size_t h = 0, slot = 0;
            TreeNode* same = nullptr;
            if (!indexed(mine)) {
                for (TreeNode* m : mine->children)
                    if (sameName(m->latinName, latin) && std::strcmp(m->rankName, c->rankName) == 0)
                        same = m;
            } else {
                h = hashOf(mine, latin);
                same = m_index->find(mine, latin, c->rankName, h, slot);
            }
            if (same) {
                // Pairs are found from the top down: the planned ones in their order.
                m_planHeld = m_planHeld && paired < m_pairs.size() &&
                             m_pairs[paired] == std::make_pair(same, c);
                ++paired;
                if (!same->commonName[0] && c->commonName[0])
                    std::swap(same->commonName, c->commonName);
                pairs.emplace_back(same, c);
            } else {
                adopt(mine, c, h, slot);
            }
        }
        theirs->children.clear();
        if (theirs != later.top()) delete theirs;  // its children moved or are paired above
    }
    later.m_index.reset();
    m_made += later.m_made;
    m_planHeld = m_planHeld && paired == m_pairs.size();
}

void TreeBuilder::planNumbering(TreeBuilder& later) {
    // In reading order the later taxa follow all of this tree's, but for those that pair
    // with one of them. absorb() pairs taxa from the tops down; that is planned for here
    // when the pairs lie down this tree's last path (last children) and the later tree's
    // first path (first children), from the tops, as a table grouped by its higher ranks
    // has it. absorb() checks that it paired those and no others.
    m_pairs.clear();
    m_pairWasLeaf.clear();
    for (TreeNode *mine = top(), *theirs = later.top();
         !mine->children.empty() && !theirs->children.empty();) {
        mine = mine->children.back();
        theirs = theirs->children.front();
        if (std::strcmp(mine->latinName, theirs->latinName) != 0 ||
            std::strcmp(mine->rankName, theirs->rankName) != 0)
            break;
        m_pairs.emplace_back(mine, theirs);
        m_pairWasLeaf.push_back(mine->children.empty());
    }
    size_t tops = top()->children.size() + later.top()->children.size() - !m_pairs.empty();
    // One top taxon: it becomes the root, and every taxon below it moves up a level.
    m_oneTop = tops == 1;
    m_part = Part{};
    m_part.shift = m_oneTop ? -1 : 0;
    m_part.first = 1 + m_part.shift;
    later.m_part = Part{};
    later.m_part.shift = m_part.shift;
    later.m_part.first = m_made + 1 + m_part.shift;
    later.m_part.skip = m_pairs.size();
    m_laterPart = &later.m_part;
    m_planned = later.m_planned = true;
}

void TreeBuilder::numberPart() {
    // Unplanned until done: a numbering cut short by a failed allocation is not taken.
    if (!m_planned) return;
    m_planned = false;
    Part& part = m_part;
    std::vector<std::pair<TreeNode*, int32_t>> stack;
    for (size_t i = top()->children.size(); i-- > 0;) stack.emplace_back(top()->children[i], 1);
    size_t seen = 0;
    int32_t number = part.first;
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        for (size_t i = n->children.size(); i-- > 0;) stack.emplace_back(n->children[i], depth + 1);
        if (seen++ < part.skip) continue;  // paired away: numbered in the part before
        n->number = number++;
        n->level = depth + part.shift;
        part.deepest = std::max(part.deepest, n->level);
        part.leaves += n->children.empty();
        int rank = sharedRankOf(n->rankName);  // no string comparisons for the twenty
        if (rank >= 0) rankColor(rank, n->color);
        else applyRankColor(*n);
        part.ranks.add(n->rankName);
    }
    m_planned = true;
}

namespace {

// The root of a tree whose taxa are numbered: number and level 0, the colour of its rank, and
// the tree's ranks, its own first, then those of `parts` in the order of a walk.
void finishRoot(ClassificationTree& fresh, std::initializer_list<const RankSet*> parts) {
    for (char* s : fresh.rankNames) freeName(s);
    fresh.rankNames.clear();
    RankSet ranks;
    ranks.add(fresh.rankName);
    for (const RankSet* p : parts)
        for (const char* r : p->list()) ranks.add(r);
    for (const char* r : ranks.list()) fresh.rankNames.push_back(newName(r));
    fresh.number = 0;
    fresh.level = 0;
    int rank = sharedRankOf(fresh.rankName);
    if (rank >= 0) rankColor(rank, fresh.color);
    else applyRankColor(fresh);
    fresh.maxLevel = -999;
}

}  // namespace

bool TreeBuilder::finishNumbered(ClassificationTree& fresh, bool madeRoot) {
    if (!m_planHeld || madeRoot == m_oneTop) return false;
    const Part& later = *m_laterPart;
    if (std::max(m_part.deepest, later.deepest) >= kMaxClassificationDepth) return false;
    int32_t leaves = m_part.leaves + later.leaves;
    for (size_t i = 0; i < m_pairs.size(); ++i) {
        // The one top taxon has handed its children to the root and is gone.
        const TreeNode* mine = i == 0 && !madeRoot ? &fresh : m_pairs[i].first;
        leaves -= m_pairWasLeaf[i] && !mine->children.empty();
    }
    if (!madeRoot && fresh.children.empty()) --leaves;  // the one top taxon, now the root
    finishRoot(fresh, {&m_part.ranks, &later.ranks});
    fresh.nodeCount = 1 + m_made - static_cast<int32_t>(m_pairs.size()) - !madeRoot;
    fresh.leafCount = leaves;
    return true;
}

void TreeBuilder::numberedAlready(int32_t taxa, int32_t leaves, const RankSet& ranks) {
    m_given = true;
    m_givenTaxa = taxa;
    m_givenLeaves = leaves;
    m_givenRanks = ranks;
}

void TreeBuilder::finishGiven(ClassificationTree& fresh, bool madeRoot) {
    finishRoot(fresh, {&m_givenRanks});
    fresh.nodeCount = m_givenTaxa + madeRoot;
    // The one top taxon, now the root, is no leaf even when it has no children.
    fresh.leafCount = m_givenLeaves - (!madeRoot && fresh.children.empty());
}

size_t TreeBuilder::hash(const TreeNode* parent, std::string_view latin) {
    return hashOf(parent, latin);
}

void TreeBuilder::prefetch(size_t hash) const {
    const auto& slots = m_index->slots;
    __builtin_prefetch(&slots[hash & (slots.size() - 1)]);
}

void TreeBuilder::setCommon(TreeNode* node, std::string_view common) {
    if (common.empty() || node->commonName[0]) return;  // the first name given stays
    freeName(node->commonName);
    node->commonName = newName(common.data(), common.size());
}

bool renumber(ClassificationTree& tree, bool colours) {
    for (char* s : tree.rankNames) freeName(s);
    tree.rankNames.clear();
    int32_t nodes = 0, leaves = 0;
    bool tooDeep = false;
    RankSet ranks;
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        n->number = nodes++;
        n->level = n->parent ? n->parent->level + 1 : 0;
        tooDeep |= n->level >= kMaxClassificationDepth;
        leaves += n->children.empty() && n->parent;
        if (colours) {
            int rank = sharedRankOf(n->rankName);  // no string comparisons for the twenty
            if (rank >= 0) rankColor(rank, n->color);
            else applyRankColor(*n);
        }
        ranks.add(n->rankName);
    });
    for (const char* r : ranks.list()) tree.rankNames.push_back(newName(r));
    tree.nodeCount = nodes;
    tree.leafCount = leaves;
    tree.maxLevel = -999;
    return !tooDeep;
}

bool TreeBuilder::finish(ClassificationTree& tree, const std::string& label, int64_t fileSize) {
    ClassificationTree& fresh = *m_holder;
    m_index.reset();
    if (fresh.children.empty()) {
        importFailure(label, {}, "no taxa found");
        return false;
    }
    const bool madeRoot = fresh.children.size() != 1;
    if (!madeRoot) {
        // The one top taxon is the root: the tree object takes over its names and children.
        TreeNode* top = fresh.children[0];
        fresh.children.clear();
        std::swap(fresh.latinName, top->latinName);
        std::swap(fresh.commonName, top->commonName);
        std::swap(fresh.rankName, top->rankName);
        for (TreeNode* c : top->children) fresh.addChild(c);
        top->children.clear();
        delete top;
    } else {
        // Several top taxa: a root that tells which file it stands for, and that pairs with
        // the made root of the other file.
        std::string common;
        cleanName(baseName(label), common);
        fresh.latinName = newName("Root");
        fresh.rankName = newName("Root");
        fresh.commonName = newName(common);
    }
    if (m_given) finishGiven(fresh, madeRoot);
    else if (!finishNumbered(fresh, madeRoot) && !renumber(fresh, true)) {
        importFailure(label, {},
                      "taxa nested deeper than " + std::to_string(kMaxClassificationDepth) +
                          " levels");
        return false;
    }
    // A made root has no rank of its own and so no rank colour; black, it would hide the
    // black labels of the top taxa drawn on it. A pale grey keeps them readable and is
    // stored in the tree files like any colour.
    if (madeRoot) fresh.color[0] = fresh.color[1] = fresh.color[2] = 224;
    fresh.fileSize = fileSize;
    keepCallerFields(fresh, tree);
    tree.swapContents(fresh);
    return true;
}

void keepCallerFields(ClassificationTree& fresh, const ClassificationTree& tree) {
    fresh.x = tree.x;
    fresh.y = tree.y;
    fresh.width = tree.width;
    fresh.height = tree.height;
    fresh.maxLevel = tree.maxLevel;
    fresh.treeId = tree.treeId;
}

}  // namespace imp
