// The tree every importer fills: taxa found by (parent, name, rank) so that rows sharing a
// path share its taxa, then the root, numbers, levels and counts the classification reader
// would have given.
#include <cstring>
#include <tuple>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "ClassificationReader.h"
#include "Console.h"
#include "Facts.h"
#include "FlatReading.h"
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

// ---- Taxa linked by identifiers ----------------------------------------------------------

uint32_t LinkedTaxa::numberOf(std::string_view id) const {
    uint32_t at = m_byId.find(id, idOf());
    for (size_t k = 0; at == IdIndex::kNone && k < m_laterIds.size(); ++k) {
        const uint32_t first = m_laterIds[k].second;
        at = m_laterIds[k].first.find(id, [&](uint32_t i) { return m_taxa[first + i].id; });
        if (at != IdIndex::kNone) at += first;
    }
    return at;
}

void LinkedTaxa::reserve(size_t count, size_t indexed) {
    m_taxa.reserve(count);
    m_byId.reserve(indexed);
}

bool LinkedTaxa::absorb(LinkedTaxa& later, size_t linesBefore, Clash& clash) {
    // In the order of the rows: the first identifier given again is the one to tell. Each
    // half of the later taxa is looked up on a thread of its own, each stopping at its first.
    size_t given[2] = {SIZE_MAX, SIZE_MAX};
    uint32_t givenFirst[2] = {0, 0};
    inHalves(later.m_taxa.size(), m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        constexpr size_t kAhead = 8;
        for (size_t i = from; i < to; ++i) {
            if (i + kAhead < to) {
                const std::string_view ahead = later.m_taxa[i + kAhead].id;
                m_byId.prefetch(ahead);
                for (const auto& part : m_laterIds) part.first.prefetch(ahead);
            }
            const uint32_t at = numberOf(later.m_taxa[i].id);
            if (at != IdIndex::kNone) {
                given[half] = i;
                givenFirst[half] = at;
                return;
            }
        }
    });
    for (int half = 0; half < 2; ++half)
        if (given[half] != SIZE_MAX) {
            const Taxon& t = later.m_taxa[given[half]];
            clash = {std::string(t.id), t.line + linesBefore, m_taxa[givenFirst[half]].line};
            return false;
        }
    const auto first = static_cast<uint32_t>(m_taxa.size());
    const auto ranks = static_cast<uint32_t>(m_ranks.size());
    const auto commons = static_cast<uint32_t>(m_commons.size() - 1);  // the later's first: none
    m_taxa.reserve(m_taxa.size() + later.m_taxa.size());
    for (Taxon& t : later.m_taxa) {
        t.line += linesBefore;
        t.rank += ranks;
        if (t.common) t.common += commons;
        m_taxa.push_back(t);
    }
    m_ranks.insert(m_ranks.end(), later.m_ranks.begin(), later.m_ranks.end());
    m_commons.insert(m_commons.end(), later.m_commons.begin() + 1, later.m_commons.end());
    m_laterIds.emplace_back(std::move(later.m_byId), first);
    for (auto& [ids, from] : later.m_laterIds)
        m_laterIds.emplace_back(std::move(ids), first + from);
    m_text.absorb(later.m_text);
    // A synonym given twice keeps its first accepted taxon, as in one reading.
    for (auto& [synonym, accepted] : later.m_synonymOf) m_synonymOf.try_emplace(synonym, accepted);
    for (auto& [written, at] : later.m_nameIndex) m_nameIndex.try_emplace(written, first + at);
    m_byName |= later.m_byName;
    m_notes.absorb(later.m_notes);
    later = LinkedTaxa();
    return true;
}

bool LinkedTaxa::add(std::string_view id, std::string_view parentId, std::string_view latin,
                     std::string_view rank, size_t line, size_t& clash) {
    if (!m_laterIds.empty()) {
        uint32_t at = numberOf(id);
        if (at != IdIndex::kNone) {
            clash = m_taxa[at].line;
            m_clash = {std::string(id), line, clash};
            return false;
        }
    }
    uint32_t at = static_cast<uint32_t>(m_taxa.size());
    bool added = true;
    if (!m_deferIndex) std::tie(at, added) = m_byId.insert(id, at, idOf());
    if (!added) {
        clash = m_taxa[at].line;
        m_clash = {std::string(id), line, clash};
        return false;
    }
    // Siblings mostly share a rank.
    if (m_ranks.empty() || rank != m_ranks.back()) m_ranks.push_back(keep(rank));
    Taxon t;
    t.id = keep(id);
    t.parent = keep(parentId);
    t.latin = keep(latin);
    t.rank = static_cast<uint32_t>(m_ranks.size() - 1);
    t.line = line;
    m_taxa.push_back(t);
    return true;
}

void LinkedTaxa::setCommon(std::string_view id, std::string_view common, bool english,
                           bool preferred) {
    uint32_t at = numberOf(id);
    if (at == IdIndex::kNone || common.empty()) return;
    Taxon& t = m_taxa[at];
    const Common given{{}, english, preferred};
    if (t.common && given.rank() <= m_commons[t.common].rank()) return;  // the first stays
    if (!t.common) {
        t.common = static_cast<uint32_t>(m_commons.size());
        m_commons.emplace_back();
    }
    m_commons[t.common] = {m_text.keep(common), english, preferred};
}

void LinkedTaxa::addSynonym(std::string_view id, std::string_view accepted) {
    m_synonymOf.try_emplace(std::string(id), accepted);
}

void LinkedTaxa::addName(std::string_view written, std::string_view id) {
    uint32_t at = numberOf(id);
    if (at != IdIndex::kNone) m_nameIndex.try_emplace(std::string(written), at);
}

namespace {

// A name without its authorship: the first word and the epithets and rank marks after it,
// up to the first word that begins otherwise than in lower case ("Canis lupus Linnaeus,
// 1758" -> "Canis lupus").
std::string withoutAuthorship(std::string_view name) {
    std::string bare;
    size_t from = 0;
    while (from < name.size()) {
        size_t to = std::min(name.find(' ', from), name.size());
        auto c = static_cast<unsigned char>(name[from]);
        if (from > 0 && !((c >= 'a' && c <= 'z') || c >= 0xDF)) break;
        if (from > 0) bare.push_back(' ');
        bare.append(name, from, to - from);
        from = to + 1;
    }
    return bare;
}

}  // namespace

uint32_t LinkedTaxa::findOne(std::string_view key) const {
    if (!m_byName) return numberOf(key);
    auto it = m_nameIndex.find(std::string(key));
    if (it != m_nameIndex.end()) return it->second;
    it = m_latinIndex.find(withoutAuthorship(key));
    return it == m_latinIndex.end() ? UINT32_MAX : it->second;
}

uint32_t LinkedTaxa::find(std::string_view key, bool& synonym, bool& known) const {
    synonym = false;
    known = true;
    uint32_t found = findOne(key);
    if (found != UINT32_MAX) return found;
    // A synonym's accepted taxon, and that one's when it is a synonym in turn (a few steps:
    // chains of synonyms are errors of the file, and may loop).
    std::string at(key);
    for (int step = 0; step < 4; ++step) {
        auto s = m_synonymOf.find(at);
        if (s == m_synonymOf.end()) {
            known = step > 0;
            return UINT32_MAX;
        }
        if (s->second.empty()) return UINT32_MAX;
        found = findOne(s->second);
        if (found != UINT32_MAX) {
            synonym = true;
            return found;
        }
        at = s->second;
    }
    return UINT32_MAX;
}

bool LinkedTaxa::build(ClassificationTree& tree, const std::string& label, int64_t fileSize) {
    const uint32_t kTop = UINT32_MAX;
    if (m_byName)
        for (uint32_t i = 0; i < m_taxa.size(); ++i)
            m_latinIndex.try_emplace(withoutAuthorship(m_taxa[i].latin), i);
    std::vector<uint32_t> parent(m_taxa.size(), kTop);
    // A taxon whose name stands for no taxon ("Incertae sedis") makes no level: its children
    // hang from its parent.
    std::vector<char> placeholder(m_taxa.size(), 0);
    // Each half of the taxa finds its parents on a thread of its own, counting in notes of
    // its own.
    ReadingNotes halfNotes[2];
    inHalves(m_taxa.size(), m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        ReadingNotes& notes = halfNotes[half];
        // The parents a few taxa on are fetched from the index while this one's is found.
        constexpr size_t kAhead = 8;
        for (size_t i = from; i < to; ++i) {
            if (i + kAhead < to && !m_byName) {
                const std::string_view ahead = m_taxa[i + kAhead].parent;
                m_byId.prefetch(ahead);
                for (const auto& part : m_laterIds) part.first.prefetch(ahead);
            }
            const Taxon& t = m_taxa[i];
            placeholder[i] = isPlaceholder(t.latin);
            // A taxon that is its own parent is a root, as the top of many files says.
            if (t.parent.empty() || t.parent == t.id) {
                ++notes.parentEmpty;
                continue;
            }
            bool synonym, known;
            uint32_t p = find(t.parent, synonym, known);
            if (p == i) {
                ++notes.parentEmpty;
                continue;
            }
            // A parent that is not in the file, or not accepted: the taxon hangs under the
            // root.
            if (p == kTop) {
                ++(m_byName ? notes.parentNameUnknown
                            : known ? notes.parentLeftOut : notes.parentMissing);
                continue;
            }
            notes.underSynonym += synonym;
            parent[i] = p;
        }
    });
    for (const ReadingNotes& n : halfNotes) m_notes.absorb(n);
    // Depth of every taxon, each walk stopping at a taxon already measured, so the whole
    // costs one step per taxon; a walk that meets itself is a cycle. Most files give a
    // parent before its children: while they do, a taxon's walk is the taxon alone, and
    // the first pass measures it without walking.
    std::vector<int32_t> depth(m_taxa.size(), -1);
    uint32_t measured = 0;
    for (; measured < m_taxa.size(); ++measured) {
        const uint32_t p = parent[measured];
        if (p != kTop && p >= measured) break;
        const int32_t d = p == kTop ? 0 : depth[p] + 1;
        if (d >= kMaxClassificationDepth) {
            importFailure(label, linePlace(m_taxa[measured].line),
                          "taxa nested deeper than " + std::to_string(kMaxClassificationDepth) +
                              " levels");
            return false;
        }
        depth[measured] = d;
    }
    std::vector<uint32_t> walk;
    constexpr int32_t kOnWalk = -2;
    for (uint32_t i = measured; i < m_taxa.size(); ++i) {
        walk.clear();
        uint32_t at = i;
        while (at != kTop && depth[at] == -1) {
            depth[at] = kOnWalk;
            walk.push_back(at);
            at = parent[at];
        }
        if (at != kTop && depth[at] == kOnWalk) {
            // A cycle of parents: broken at the link of its taxon given first, most likely
            // the one meant to stand above the others, which hangs under the root; the walk
            // is then made again.
            uint32_t first = at;
            for (uint32_t k = parent[at]; k != at; k = parent[k]) first = std::min(first, k);
            const Taxon& t = m_taxa[first];
            consolePrintf("%s: line %zu: %.*s is its own ancestor (a cycle of parents): its "
                          "link to its parent %.*s is broken, and it hangs under the root\n",
                          label.c_str(), t.line, static_cast<int>(t.latin.size()),
                          t.latin.data(), static_cast<int>(t.parent.size()), t.parent.data());
            parent[first] = kTop;
            for (uint32_t k : walk) depth[k] = -1;
            --i;
            continue;
        }
        int32_t d = at == kTop ? 0 : depth[at] + 1;
        for (size_t k = walk.size(); k-- > 0; ++d) {
            depth[walk[k]] = d;
            if (d >= kMaxClassificationDepth) {
                importFailure(label, linePlace(m_taxa[walk[k]].line),
                              "taxa nested deeper than " +
                                  std::to_string(kMaxClassificationDepth) + " levels");
                return false;
            }
        }
    }
    // The walks up from placeholders end, the cycles having been broken above.
    const uint32_t count = static_cast<uint32_t>(m_taxa.size());
    uint32_t tops = 0, taxa = 0;
    std::vector<uint32_t> children(count, 0);
    for (uint32_t i = 0; i < count; ++i) {
        while (parent[i] != kTop && placeholder[parent[i]]) parent[i] = parent[parent[i]];
        if (placeholder[i]) continue;
        ++taxa;
        ++(parent[i] == kTop ? tops : children[parent[i]]);
    }
    // Most files give the taxa in the order of a walk of the tree: each after its parent, and
    // a taxon's descendants before its next sibling. Then the rows' order numbers the tree,
    // each taxon's level is the length of the path of taxa above it, and the nodes get both
    // as they are made instead of in a walk of the finished tree. (The levels stand in
    // `depth` from here.)
    const bool madeRoot = tops != 1;
    std::vector<int32_t> number(count, 0);
    bool inOrder = true;
    {
        std::vector<uint32_t> path;
        int32_t next = madeRoot;
        for (uint32_t i = 0; i < count && inOrder; ++i) {
            if (placeholder[i]) continue;
            while (!path.empty() && path.back() != parent[i]) path.pop_back();
            const auto level = static_cast<int32_t>(path.size()) + madeRoot;
            inOrder = (parent[i] == kTop || !path.empty()) && level < kMaxClassificationDepth;
            depth[i] = level;
            number[i] = next++;
            path.push_back(i);
        }
    }
    TreeBuilder builder(0);
    std::vector<TreeNode*> nodes(count, nullptr);
    struct HalfCount {
        int32_t taxa = 0, leaves = 0;
        RankSet ranks;
    } halves[2];
    inHalves(count, m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        HalfCount& made = halves[half];
        for (size_t i = from; i < to; ++i) {
            const Taxon& t = m_taxa[i];
            if (placeholder[i]) continue;
            auto* n = new TreeNode;
            nodes[i] = n;
            const std::string_view rank = m_ranks[t.rank], common = m_commons[t.common].name;
            n->latinName = newName(t.latin.data(), t.latin.size());
            n->rankName = newName(rank.data(), rank.size());
            n->commonName = newName(common.data(), common.size());
            n->children.reserve(children[i]);
            if (!inOrder) continue;
            n->number = number[i];
            n->level = depth[i];
            const int shared = sharedRankOf(n->rankName);
            if (shared >= 0) rankColor(shared, n->color);
            else applyRankColor(*n);
            ++made.taxa;
            made.leaves += children[i] == 0;
            made.ranks.add(n->rankName);
        }
    });
    if (inOrder) {
        for (const char* r : halves[1].ranks.list()) halves[0].ranks.add(r);
        builder.numberedAlready(halves[0].taxa + halves[1].taxa,
                                halves[0].leaves + halves[1].leaves, halves[0].ranks);
    }
    if (FactsCollector* facts = collectingFacts())
        facts->bindLinked(nodes, [this](size_t i) -> std::string_view { return m_taxa[i].id; });
    // Children in the order of their rows.
    for (size_t i = 0; i < count; ++i)
        if (nodes[i]) (parent[i] == kTop ? builder.top() : nodes[parent[i]])->addChild(nodes[i]);
    if (!builder.finish(tree, label, fileSize)) return false;
    m_notes.report(label);
    if (m_notes.parentsGiven && readsFlat(taxa, tops))
        warnFlat(label, taxa, tops, flatReason(m_notes, taxa));
    return true;
}

}  // namespace imp
