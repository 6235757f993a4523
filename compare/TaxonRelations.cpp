#include "TaxonRelations.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_map>

const char* relationSymbol(Relation relation) {
    switch (relation) {
        case Relation::Equal: return "=";
        case Relation::Within: return "<";
        case Relation::Contains: return ">";
        case Relation::Overlap: return "><";
        default: return "!";
    }
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Same: return "same";
        case Verdict::Renamed: return "renamed";
        case Verdict::Split: return "split";
        case Verdict::Lumped: return "lumped";
        case Verdict::Reshuffled: return "reshuffled";
        case Verdict::OnlyIn1: return "only in tree 1";
        default: return "only in tree 2";
    }
}

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// Rank names seen in either tree, as slots: 0..19 the twenty ranks, then the others in the
// order met. A slot's place from the top: the twenty's value, or for another rank, just
// below the nearest of the twenty above its first taxon.
class RankSlots {
public:
    static constexpr int kNotRank = -1;

    int slotOf(const char* name) {
        int r = sharedRankOf(name);
        if (r >= 0) return r;
        if (name == m_lastName) return m_lastSlot;
        r = rankFromName(name);
        if (r < 0 || r >= kRankCount) {
            r = -1;
            for (size_t i = 0; i < m_other.size() && r < 0; ++i)
                if (m_other[i] == name) r = kRankCount + static_cast<int>(i);
        }
        m_lastName = name;
        m_lastSlot = r;
        return r;  // -1: a rank not yet given a slot
    }
    int addOther(const char* name, int knownAbove) {
        m_other.emplace_back(name);
        m_place.push_back(knownAbove);
        m_lastName = nullptr;
        return kRankCount + static_cast<int>(m_other.size() - 1);
    }
    int count() const { return kRankCount + static_cast<int>(m_other.size()); }
    std::string name(int slot) const {
        return slot < kRankCount ? rankName(slot) : m_other[slot - kRankCount];
    }
    // Twice the place from the top, so that another rank sits between two of the twenty.
    int order(int slot) const {
        return slot < kRankCount ? 2 * slot : 2 * m_place[slot - kRankCount] + 1;
    }

private:
    std::vector<std::string> m_other;
    std::vector<int> m_place;
    const char* m_lastName = nullptr;
    int m_lastSlot = -1;
};

// One classification's own taxa: those above Species (each with its slot) and, for every
// species, the taxa above it.
struct Side {
    std::vector<const TreeNode*> taxa;  // above Species, depth first
    std::vector<uint16_t> slot;         // by taxon
    std::vector<uint32_t> species;      // |S(taxon)|
    // Each species met: its class, and where its ancestors above Species lie in `above`.
    struct Occurrence {
        uint32_t cls, first, count;
    };
    std::vector<Occurrence> occurrences;
    std::vector<uint32_t> above;
    std::vector<bool> rankUsed;  // by slot
};

// Species classes: one per Latin name held at rank Species by either tree, merged by the
// extra pairs (union-find).
class SpeciesClasses {
public:
    uint32_t classOf(std::string_view name) {
        auto [it, added] = m_byName.try_emplace(name, static_cast<uint32_t>(m_parent.size()));
        if (added) {
            m_parent.push_back(it->second);
            m_held.push_back(0);
        }
        return it->second;
    }
    uint32_t find(std::string_view name) const {
        auto it = m_byName.find(name);
        return it == m_byName.end() ? kNone : it->second;
    }
    void hold(uint32_t cls, int side) { m_held[cls] |= static_cast<uint8_t>(side); }
    uint32_t root(uint32_t c) {
        while (m_parent[c] != c) c = m_parent[c] = m_parent[m_parent[c]];
        return c;
    }
    void join(uint32_t a, uint32_t b) {
        a = root(a);
        b = root(b);
        if (a == b) return;
        if (b < a) std::swap(a, b);  // the earlier class stays the root
        m_parent[b] = a;
        m_held[a] |= m_held[b];
    }
    bool paired(uint32_t rootClass) const { return m_held[rootClass] == 3; }
    size_t size() const { return m_parent.size(); }
    void reserve(size_t n) { m_byName.reserve(n); }

private:
    std::unordered_map<std::string_view, uint32_t> m_byName;
    std::vector<uint32_t> m_parent;
    std::vector<uint8_t> m_held;  // 1 tree 1, 2 tree 2
};

// Walks a combined tree's own taxa depth first, keeping the stack of taxa above Species
// over each species.
void walk(const ClassificationTree& tree, int sideId, Side& side, RankSlots& ranks,
          SpeciesClasses& classes) {
    const uint8_t copy = sideId == 1 ? 2 : 1;  // grafted in from the other tree
    struct Entry {
        const TreeNode* node;
        uint32_t stackSize;   // of `stack` at the node's parent
        int16_t knownAbove;   // the lowest of the twenty ranks above it, -1 none
        bool belowSpecies;
    };
    std::vector<Entry> pending{{&tree, 0, -1, false}};
    std::vector<uint32_t> stack;
    while (!pending.empty()) {
        const Entry e = pending.back();
        pending.pop_back();
        const TreeNode* n = e.node;
        if (n->onlyInTree == copy) continue;  // a copy's subtree is all copies
        stack.resize(e.stackSize);
        int slot = ranks.slotOf(n->rankName);
        int knownAbove = e.knownAbove;
        bool belowSpecies = e.belowSpecies;
        // The importers' made root stands for the file, not for a taxon.
        const bool madeRoot = n == &tree && slot < 0 && !std::strcmp(n->rankName, "Root");
        if (slot < 0 && !belowSpecies && !madeRoot) slot = ranks.addOther(n->rankName, knownAbove);
        if (slot == Species) {
            const uint32_t cls = classes.classOf(n->latinName);
            classes.hold(cls, sideId);
            side.occurrences.push_back({cls, static_cast<uint32_t>(side.above.size()),
                                        static_cast<uint32_t>(stack.size())});
            side.above.insert(side.above.end(), stack.begin(), stack.end());
            belowSpecies = true;
        } else if (slot >= 0 && slot < kRankCount) {
            if (slot < Species) {
                stack.push_back(static_cast<uint32_t>(side.taxa.size()));
                side.taxa.push_back(n);
                side.slot.push_back(static_cast<uint16_t>(slot));
            } else {
                belowSpecies = true;  // Subspecies
            }
            knownAbove = static_cast<int16_t>(slot);
        } else if (slot >= kRankCount && !belowSpecies) {
            stack.push_back(static_cast<uint32_t>(side.taxa.size()));
            side.taxa.push_back(n);
            side.slot.push_back(static_cast<uint16_t>(slot));
        }
        const uint32_t size = static_cast<uint32_t>(stack.size());
        for (size_t i = n->children.size(); i-- > 0;)
            pending.push_back({n->children[i], size, static_cast<int16_t>(knownAbove), belowSpecies});
    }
    side.species.assign(side.taxa.size(), 0);
}

// For each class, its occurrences on one side, linked.
struct Links {
    std::vector<uint32_t> head, next;
    void build(Side& side, SpeciesClasses& classes) {
        head.assign(classes.size(), kNone);
        next.assign(side.occurrences.size(), kNone);
        for (size_t i = side.occurrences.size(); i-- > 0;) {
            const uint32_t c = classes.root(side.occurrences[i].cls);
            side.occurrences[i].cls = c;
            next[i] = head[c];
            head[c] = static_cast<uint32_t>(i);
        }
    }
    // The taxa above the class's species on this side: one species' list as it lies, or the
    // union of several.
    std::pair<const uint32_t*, size_t> above(uint32_t cls, const Side& side,
                                             std::vector<uint32_t>& scratch) const {
        const uint32_t first = head[cls];
        if (first == kNone) return {nullptr, 0};
        const Side::Occurrence& o = side.occurrences[first];
        if (next[first] == kNone) return {side.above.data() + o.first, o.count};
        scratch.clear();
        for (uint32_t i = first; i != kNone; i = next[i]) {
            const Side::Occurrence& p = side.occurrences[i];
            scratch.insert(scratch.end(), side.above.begin() + p.first,
                           side.above.begin() + p.first + p.count);
        }
        std::sort(scratch.begin(), scratch.end());
        scratch.erase(std::unique(scratch.begin(), scratch.end()), scratch.end());
        return {scratch.data(), scratch.size()};
    }
};

Relation relate(uint32_t shared, uint32_t s1, uint32_t s2) {
    if (shared == s1) return shared == s2 ? Relation::Equal : Relation::Within;
    return shared == s2 ? Relation::Contains : Relation::Overlap;
}

// What a taxon's relations, read from its own side (`>`: it holds all of the other), say.
struct Tally {
    uint32_t total = 0, equal = 0, within = 0, contains = 0, overlap = 0;
    const TreeNode* equalTo = nullptr;
    void add(Relation r, const TreeNode* other) {
        ++total;
        switch (r) {
            case Relation::Equal: ++equal; equalTo = other; break;
            case Relation::Within: ++within; break;
            case Relation::Contains: ++contains; break;
            default: ++overlap; break;
        }
    }
    // On tree 2's side the roles of split and lumped are exchanged: a taxon that holds
    // several of tree 1's was made by lumping them.
    Verdict verdict(const TreeNode* self, int sideId) const {
        const Verdict holdsOthers = sideId == 1 ? Verdict::Split : Verdict::Lumped;
        const Verdict heldByOne = sideId == 1 ? Verdict::Lumped : Verdict::Split;
        if (total == 0) return sideId == 1 ? Verdict::OnlyIn1 : Verdict::OnlyIn2;
        if (overlap) return Verdict::Reshuffled;
        if (total == 1 && equal == 1)
            return std::strcmp(self->latinName, equalTo->latinName) ? Verdict::Renamed : Verdict::Same;
        if (contains == total) return holdsOthers;
        if (total == 1 && within == 1) return heldByOne;
        return Verdict::Reshuffled;  // several taxa of one rank that overlap on one side
    }
};

}  // namespace

TaxonRelations::TaxonRelations(const ClassificationTree& tree1, const ClassificationTree& tree2,
                               const SpeciesPairs& extraPairs) {
    RankSlots slots;
    SpeciesClasses classes;
    Side sides[2];
    walk(tree1, 1, sides[0], slots, classes);
    walk(tree2, 2, sides[1], slots, classes);
    for (const auto& [a, b] : extraPairs) {
        if (!a || !b || slots.slotOf(a->rankName) != Species || slots.slotOf(b->rankName) != Species)
            continue;
        const uint32_t ca = classes.find(a->latinName), cb = classes.find(b->latinName);
        if (ca != kNone && cb != kNone) classes.join(ca, cb);
    }

    // The ranks both trees use, from the top down.
    const int slotCount = slots.count();
    for (Side& s : sides) {
        s.rankUsed.assign(slotCount, false);
        for (uint16_t sl : s.slot) s.rankUsed[sl] = true;
    }
    std::vector<int> shared;
    for (int sl = 0; sl < slotCount; ++sl)
        if (sides[0].rankUsed[sl] && sides[1].rankUsed[sl]) shared.push_back(sl);
    std::stable_sort(shared.begin(), shared.end(), [&](int a, int b) {
        if (slots.order(a) != slots.order(b)) return slots.order(a) < slots.order(b);
        return slots.name(a) < slots.name(b);
    });
    std::vector<int> rankIndex(slotCount, -1);
    for (size_t i = 0; i < shared.size(); ++i) {
        rankIndex[shared[i]] = static_cast<int>(i);
        m_ranks.push_back(slots.name(shared[i]));
    }

    // Intersections, class by class. Classes are numbered in the order tree 1 meets its
    // species, so neighbouring classes mostly share their taxa: a run of the same pair is
    // counted on the side and handed to the table once.
    Links links[2];
    links[0].build(sides[0], classes);
    links[1].build(sides[1], classes);
    std::unordered_map<uint64_t, uint32_t> counts;
    counts.reserve(sides[0].taxa.size() + sides[1].taxa.size());
    struct Run {
        uint32_t x = kNone, y = kNone, n = 0;
    };
    std::vector<Run> runs(shared.size());
    auto flush = [&](Run& r) {
        if (r.n) counts[uint64_t(r.x) << 32 | r.y] += r.n;
        r.n = 0;
    };
    std::vector<uint32_t> scratch1, scratch2;
    for (uint32_t c = 0; c < classes.size(); ++c) {
        if (classes.root(c) != c || !classes.paired(c)) continue;
        const auto [xs, nx] = links[0].above(c, sides[0], scratch1);
        const auto [ys, ny] = links[1].above(c, sides[1], scratch2);
        for (size_t i = 0; i < nx; ++i) ++sides[0].species[xs[i]];
        for (size_t j = 0; j < ny; ++j) ++sides[1].species[ys[j]];
        for (size_t i = 0; i < nx; ++i) {
            const int rk = rankIndex[sides[0].slot[xs[i]]];
            if (rk < 0) continue;
            for (size_t j = 0; j < ny; ++j) {
                if (sides[1].slot[ys[j]] != shared[rk]) continue;
                Run& r = runs[rk];
                if (r.x != xs[i] || r.y != ys[j]) {
                    flush(r);
                    r.x = xs[i];
                    r.y = ys[j];
                }
                ++r.n;
            }
        }
    }
    for (Run& r : runs) flush(r);

    // The relations, and what they say of each taxon.
    std::vector<Tally> tallies[2] = {std::vector<Tally>(sides[0].taxa.size()),
                                     std::vector<Tally>(sides[1].taxa.size())};
    m_relations.reserve(counts.size());
    for (const auto& [key, n] : counts) {
        const uint32_t x = static_cast<uint32_t>(key >> 32), y = static_cast<uint32_t>(key);
        TaxonRelation r;
        r.taxon1 = sides[0].taxa[x];
        r.taxon2 = sides[1].taxa[y];
        r.rank = static_cast<uint16_t>(rankIndex[sides[0].slot[x]]);
        r.shared = n;
        r.species1 = sides[0].species[x];
        r.species2 = sides[1].species[y];
        r.relation = relate(n, r.species1, r.species2);
        m_relations.push_back(r);
        tallies[0][x].add(r.relation, r.taxon2);
        const Relation mirrored = r.relation == Relation::Within     ? Relation::Contains
                                  : r.relation == Relation::Contains ? Relation::Within
                                                                     : r.relation;
        tallies[1][y].add(mirrored, r.taxon1);
    }
    for (int s = 0; s < 2; ++s) {
        const Side& side = sides[s];
        for (uint32_t t = 0; t < side.taxa.size(); ++t) {
            const int rk = rankIndex[side.slot[t]];
            if (rk < 0) continue;
            TaxonVerdict v;
            v.node = side.taxa[t];
            v.side = static_cast<uint8_t>(s + 1);
            v.rank = static_cast<uint16_t>(rk);
            v.species = side.species[t];
            v.verdict = tallies[s][t].verdict(v.node, s + 1);
            m_taxa.push_back(v);
            if (tallies[s][t].total) continue;
            TaxonRelation r;
            (s == 0 ? r.taxon1 : r.taxon2) = v.node;
            r.rank = v.rank;
            (s == 0 ? r.species1 : r.species2) = v.species;
            m_relations.push_back(r);
        }
    }
    std::sort(m_relations.begin(), m_relations.end(),
              [](const TaxonRelation& a, const TaxonRelation& b) {
                  if (a.rank != b.rank) return a.rank < b.rank;
                  const char* na = a.taxon1 ? a.taxon1->latinName : a.taxon2->latinName;
                  const char* nb = b.taxon1 ? b.taxon1->latinName : b.taxon2->latinName;
                  if (int c = std::strcmp(na, nb)) return c < 0;
                  if (!a.taxon2 || !b.taxon2) return !a.taxon2 && b.taxon2;
                  if (int c = std::strcmp(a.taxon2->latinName, b.taxon2->latinName)) return c < 0;
                  if (!a.taxon1 || !b.taxon1) return a.taxon1 && !b.taxon1;
                  return false;
              });
    m_byNode.reserve(m_taxa.size());
    for (uint32_t i = 0; i < m_taxa.size(); ++i) m_byNode.emplace_back(m_taxa[i].node, i);
    std::sort(m_byNode.begin(), m_byNode.end());
}

bool TaxonRelations::verdictOf(const TreeNode* node, Verdict& verdict) const {
    auto it = std::lower_bound(m_byNode.begin(), m_byNode.end(),
                               std::pair<const TreeNode*, uint32_t>(node, 0));
    if (it == m_byNode.end() || it->first != node) return false;
    verdict = m_taxa[it->second].verdict;
    return true;
}
