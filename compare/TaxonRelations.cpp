#include "TaxonRelations.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <optional>
#include <thread>

#include "Cancellation.h"
#include "RelationTables.h"

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

void appendRelationLine(std::string& text, const TaxonRelations& relations,
                        const TaxonRelation& r) {
    text += relations.ranks()[r.rank];
    text += '\t';
    if (r.taxon1) text += r.taxon1->latinName;
    text += '\t';
    text += relationSymbol(r.relation);
    text += '\t';
    if (r.taxon2) text += r.taxon2->latinName;
    for (uint32_t n : {r.shared, r.species1, r.species2}) {
        char digits[12];
        digits[0] = '\t';
        const auto end = std::to_chars(digits + 1, digits + sizeof digits, n).ptr;
        text.append(digits, end);
    }
    text += '\n';
}

namespace {

using namespace relation_tables;
// From this many taxa in the two trees on, the work is shared with a second thread.
constexpr int64_t kThreadedTaxa = 200000;

// Rank names seen in either tree, as slots: 0..19 the twenty ranks, then the others in the
// order met. A slot's place from the top: the twenty's value, or for another rank, just
// below the nearest of the twenty above its first taxon.
class RankSlots {
public:
    int slotOf(const char* name) {
        int r = sharedRankOf(name);
        if (r >= 0) return r;
        if (name == m_lastName) return m_lastSlot;
        r = rankFromName(name);
        if (r < 0 || r >= kRankCount) {
            // A file may give a new rank on every line: the others are looked up by hash.
            auto it = m_index.find(name);
            r = it == m_index.end() ? -1 : it->second;
        }
        m_lastName = name;
        m_lastSlot = r;
        return r;  // -1: a rank not yet given a slot
    }
    int addOther(const char* name, int knownAbove) {
        m_other.emplace_back(name);
        m_place.push_back(knownAbove);
        m_lastName = nullptr;
        const int slot = kRankCount + static_cast<int>(m_other.size() - 1);
        m_index.emplace(m_other.back(), slot);
        return slot;
    }
    int count() const { return kRankCount + static_cast<int>(m_other.size()); }
    // The slot here of another table's slot, given one if need be.
    int adopt(const RankSlots& from, int slot) {
        if (slot < kRankCount) return slot;
        const std::string& name = from.m_other[slot - kRankCount];
        auto it = m_index.find(name);
        return it != m_index.end() ? it->second : addOther(name.c_str(), from.m_place[slot - kRankCount]);
    }
    std::string name(int slot) const {
        return slot < kRankCount ? rankName(slot) : m_other[slot - kRankCount];
    }
    // Twice the place from the top, so that another rank sits between two of the twenty.
    int order(int slot) const {
        return slot < kRankCount ? 2 * slot : 2 * m_place[slot - kRankCount] + 1;
    }

private:
    std::deque<std::string> m_other;  // stays where it is: the index views its names
    std::vector<int> m_place;
    std::unordered_map<std::string_view, int> m_index;
    const char* m_lastName = nullptr;
    int m_lastSlot = -1;
};

// One classification's own taxa: those above Species (each with its slot) and, for every
// species, the taxa above it.
struct Side {
    std::vector<const TreeNode*> taxa;  // above Species, depth first
    std::vector<uint32_t> slot;         // by taxon
    std::vector<uint32_t> species;      // |S(taxon)|
    std::vector<SpeciesOccurrence> occurrences;
    std::vector<uint32_t> above;
    std::vector<bool> rankUsed;  // by slot
};

// Walks a combined tree's own taxa depth first, keeping the stack of taxa above Species
// over each species.
void walk(const ClassificationTree& tree, int sideId, Side& side, RankSlots& ranks) {
    const uint8_t copy = sideId == 1 ? 2 : 1;  // grafted in from the other tree
    struct Entry {
        const TreeNode* node;
        uint32_t stackSize;  // of `stack` at the node's parent
        int16_t knownAbove;  // the lowest of the twenty ranks above it, -1 none
        bool belowSpecies;
    };
    std::vector<Entry> pending{{&tree, 0, -1, false}};
    std::vector<uint32_t> stack;
    // Where the stack as it stands was last copied to `above`; cleared when it changes.
    uint32_t snapshot = kNone;
    for (size_t walked = 0; !pending.empty(); ++walked) {
        cancellationPoint(walked);
        const Entry e = pending.back();
        pending.pop_back();
        const TreeNode* n = e.node;
        if (n->onlyInTree == copy) continue;  // a copy's subtree is all copies
        if (stack.size() != e.stackSize) {
            stack.resize(e.stackSize);
            snapshot = kNone;
        }
        int slot = ranks.slotOf(n->rankName);
        int knownAbove = e.knownAbove;
        bool belowSpecies = e.belowSpecies;
        // The importers' made root stands for the file, not for a taxon.
        const bool madeRoot = n == &tree && slot < 0 && !std::strcmp(n->rankName, "Root");
        if (slot < 0 && !belowSpecies && !madeRoot) slot = ranks.addOther(n->rankName, knownAbove);
        if (slot == Species) {
            if (snapshot == kNone) {
                snapshot = static_cast<uint32_t>(side.above.size());
                side.above.insert(side.above.end(), stack.begin(), stack.end());
            }
            side.occurrences.push_back({n->latinName, nameHash(n->latinName), kNone, snapshot,
                                        static_cast<uint32_t>(stack.size())});
            belowSpecies = true;
        } else if (slot >= 0 && slot < kRankCount) {
            if (slot < Species) {
                stack.push_back(static_cast<uint32_t>(side.taxa.size()));
                snapshot = kNone;
                side.taxa.push_back(n);
                side.slot.push_back(static_cast<uint32_t>(slot));
            } else {
                belowSpecies = true;  // Subspecies
            }
            knownAbove = static_cast<int16_t>(slot);
        } else if (slot >= kRankCount && !belowSpecies) {
            stack.push_back(static_cast<uint32_t>(side.taxa.size()));
            snapshot = kNone;
            side.taxa.push_back(n);
            side.slot.push_back(static_cast<uint32_t>(slot));
        }
        const uint32_t size = static_cast<uint32_t>(stack.size());
        for (size_t i = n->children.size(); i-- > 0;)
            pending.push_back(
                {n->children[i], size, static_cast<int16_t>(knownAbove), belowSpecies});
    }
    side.species.assign(side.taxa.size(), 0);
}

// For each class, its occurrences on one side, linked.
struct Links {
    // A class's species on this side: how many, and the ancestors of the first, kept by class
    // so that the classes are read in their order whatever the order of this side's species.
    struct Span {
        uint32_t species = 0, first = 0, count = 0;
    };
    std::vector<Span> spans;
    std::vector<uint32_t> head, next;
    void build(Side& side, SpeciesClasses& classes) {
        spans.assign(classes.size(), Span{});
        head.assign(classes.size(), kNone);
        next.assign(side.occurrences.size(), kNone);
        for (size_t i = side.occurrences.size(); i-- > 0;) {
            SpeciesOccurrence& o = side.occurrences[i];
            const uint32_t c = classes.root(o.cls);
            o.cls = c;
            next[i] = head[c];
            head[c] = static_cast<uint32_t>(i);
            Span& span = spans[c];
            span = {span.species + 1, o.first, o.count};
        }
    }
    // The taxa above the class's species on this side: one species' list as it lies, or the
    // union of several.
    std::pair<const uint32_t*, size_t> above(uint32_t cls, const Side& side,
                                             std::vector<uint32_t>& scratch) const {
        const Span& span = spans[cls];
        if (span.species == 0) return {nullptr, 0};
        if (span.species == 1) return {side.above.data() + span.first, span.count};
        scratch.clear();
        for (uint32_t i = head[cls]; i != kNone; i = next[i]) {
            const SpeciesOccurrence& p = side.occurrences[i];
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
            case Relation::Equal:
                ++equal;
                equalTo = other;
                break;
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
            return std::strcmp(self->latinName, equalTo->latinName) ? Verdict::Renamed
                                                                    : Verdict::Same;
        if (contains == total) return holdsOthers;
        if (total == 1 && within == 1) return heldByOne;
        return Verdict::Reshuffled;  // several taxa of one rank that overlap on one side
    }
};

// The first eight bytes of a name as a number that orders as the bytes do.
uint64_t prefixOf(const char* name) {
    uint64_t key = 0;
    for (int i = 0; i < 8 && name[i]; ++i)
        key |= uint64_t(static_cast<unsigned char>(name[i])) << (56 - 8 * i);
    return key;
}

// The place of every taxon's name in the name order of both sides' taxa together, equal
// names in the same place. The names are read once, in the order the taxa were met (much the
// order in which they lie in memory), and compared through their first bytes where they can.
void rankNames(const std::vector<const TreeNode*>* taxa[2], const std::vector<bool>* keep[2],
               std::vector<uint32_t>* places[2]) {
    struct Key {
        uint64_t prefix;
        uint32_t sideAndTaxon;
    };
    std::vector<Key> keys;
    keys.reserve(taxa[0]->size() + taxa[1]->size());
    for (uint32_t s = 0; s < 2; ++s) {
        const std::vector<const TreeNode*>& list = *taxa[s];
        constexpr size_t kAhead = 8;  // the nodes and their names lie anywhere in memory
        for (size_t t = 0; t < std::min(kAhead, list.size()); ++t) __builtin_prefetch(list[t]);
        for (uint32_t t = 0; t < list.size(); ++t) {
            cancellationPoint(t);
            if (t + kAhead < list.size()) __builtin_prefetch(list[t + kAhead]);
            if (t + kAhead / 2 < list.size()) __builtin_prefetch(list[t + kAhead / 2]->latinName);
            if ((*keep[s])[t]) keys.push_back({prefixOf(list[t]->latinName), s << 31 | t});
        }
    }
    auto name = [&](const Key& k) {
        return (*taxa[k.sideAndTaxon >> 31])[k.sideAndTaxon & 0x7fffffff]->latinName;
    };
    // Most names are held by both sides: runs of one prefix are mostly one name twice, and
    // only runs of several names are put in order by their whole names.
    std::sort(keys.begin(), keys.end(),
              [](const Key& a, const Key& b) { return a.prefix < b.prefix; });
    places[0]->assign(taxa[0]->size(), 0);
    places[1]->assign(taxa[1]->size(), 0);
    auto setPlace = [&](const Key& k, uint32_t place) {
        (*places[k.sideAndTaxon >> 31])[k.sideAndTaxon & 0x7fffffff] = place;
    };
    uint32_t place = 0;
    for (size_t from = 0, to; from < keys.size(); from = to) {
        for (to = from + 1; to < keys.size() && keys[to].prefix == keys[from].prefix;) ++to;
        bool oneName = true;
        for (size_t i = from + 1; i < to && oneName; ++i)
            oneName = !std::strcmp(name(keys[i]), name(keys[from]));
        if (oneName) {
            for (size_t i = from; i < to; ++i) setPlace(keys[i], place);
            ++place;
            continue;
        }
        std::sort(keys.begin() + from, keys.begin() + to,
                  [&](const Key& a, const Key& b) { return std::strcmp(name(a), name(b)) < 0; });
        for (size_t i = from; i < to; ++i) {
            if (i > from && std::strcmp(name(keys[i]), name(keys[i - 1]))) ++place;
            setPlace(keys[i], place);
        }
        ++place;
    }
}

}  // namespace

TaxonRelations::TaxonRelations(const ClassificationTree& tree1, const ClassificationTree& tree2,
                               const SpeciesPairs& extraPairs) {
    RankSlots slots;
    SpeciesClasses classes;
    Side sides[2];
    // Large trees are walked side by side, each side giving other ranks slots of its own,
    // tree 2's then taken over into tree 1's table.
    RankSlots slots2;
    if (int64_t(tree1.nodeCount) + tree2.nodeCount >= kThreadedTaxa) {
        ScopedThread second([&] { walk(tree2, 2, sides[1], slots2); });
        walk(tree1, 1, sides[0], slots);
        second.join();
    } else {
        walk(tree1, 1, sides[0], slots);
        walk(tree2, 2, sides[1], slots2);
    }
    {
        std::vector<int> adopted(slots2.count());
        for (int sl = 0; sl < slots2.count(); ++sl) adopted[sl] = slots.adopt(slots2, sl);
        for (uint32_t& sl : sides[1].slot) sl = static_cast<uint32_t>(adopted[sl]);
    }
    // The ranks both trees use, from the top down.
    const int slotCount = slots.count();
    for (Side& s : sides) {
        s.rankUsed.assign(slotCount, false);
        for (uint32_t sl : s.slot) s.rankUsed[sl] = true;
    }
    std::vector<int> shared;
    for (int sl = 0; sl < slotCount; ++sl)
        if (sides[0].rankUsed[sl] && sides[1].rankUsed[sl]) shared.push_back(sl);
    auto above = [&](int a, int b) {
        if (slots.order(a) != slots.order(b)) return slots.order(a) < slots.order(b);
        return slots.name(a) < slots.name(b);
    };
    std::stable_sort(shared.begin(), shared.end(), above);
    std::vector<int> rankIndex(slotCount, -1);
    for (size_t i = 0; i < shared.size(); ++i) {
        rankIndex[shared[i]] = static_cast<int>(i);
        m_ranks.push_back(slots.name(shared[i]));
    }
    {
        // Each rank one tree alone uses, counted and placed among the shared ones.
        std::vector<int> alone;
        std::vector<uint32_t> taxaAt[2];
        for (int side = 0; side < 2; ++side) {
            taxaAt[side].assign(slotCount, 0);
            for (uint32_t sl : sides[side].slot) ++taxaAt[side][sl];
        }
        for (int sl = 0; sl < slotCount; ++sl)
            if (sides[0].rankUsed[sl] != sides[1].rankUsed[sl]) alone.push_back(sl);
        std::stable_sort(alone.begin(), alone.end(), above);
        for (int sl : alone) {
            const int side = sides[0].rankUsed[sl] ? 0 : 1;
            const auto before = std::lower_bound(shared.begin(), shared.end(), sl, above) -
                                shared.begin();
            m_oneTreeRanks.push_back({slots.name(sl), static_cast<uint8_t>(side + 1),
                                      taxaAt[side][sl], static_cast<uint32_t>(before)});
        }
    }

    // The names' order, found beside the counting.
    std::vector<bool> kept[2];
    std::vector<uint32_t> place[2];
    for (int s = 0; s < 2; ++s) {
        kept[s].resize(sides[s].taxa.size());
        for (size_t t = 0; t < kept[s].size(); ++t) kept[s][t] = rankIndex[sides[s].slot[t]] >= 0;
    }
    const std::vector<const TreeNode*>* taxa[2] = {&sides[0].taxa, &sides[1].taxa};
    const std::vector<bool>* keep[2] = {&kept[0], &kept[1]};
    std::vector<uint32_t>* places[2] = {&place[0], &place[1]};
    std::optional<ScopedThread> naming;
    if (int64_t(tree1.nodeCount) + tree2.nodeCount >= kThreadedTaxa)
        naming.emplace([&] { rankNames(taxa, keep, places); });
    else
        rankNames(taxa, keep, places);

    std::vector<SpeciesOccurrence>* occurrences[2] = {&sides[0].occurrences, &sides[1].occurrences};
    classes.assign(occurrences);
    for (const auto& [a, b] : extraPairs) {
        if (!a || !b || slots.slotOf(a->rankName) != Species ||
            slots.slotOf(b->rankName) != Species)
            continue;
        const uint32_t ca = classes.find(a->latinName), cb = classes.find(b->latinName);
        if (ca != kNone && cb != kNone) classes.join(ca, cb);
    }

    // Intersections, class by class. Classes are numbered in the order tree 1 meets its
    // species, so neighbouring classes mostly share their taxa: a run of the same pair is
    // counted on the side and handed to the table once.
    Links links[2];
    links[0].build(sides[0], classes);
    links[1].build(sides[1], classes);
    PairCounts counts(sides[0].taxa.size() + sides[1].taxa.size());
    struct Run {
        uint32_t x = kNone, y = kNone, n = 0;
    };
    std::vector<Run> runs(shared.size());
    auto flush = [&](Run& r) {
        if (r.n) counts.add(r.x, r.y, r.n);
        r.n = 0;
    };
    std::vector<uint32_t> scratch1, scratch2;
    // The ranks of a class's taxa in tree 2, looked up by the rank of each of its taxa in tree
    // 1; a class with two taxa of one rank above it in tree 2 is matched pair by pair.
    std::vector<uint32_t> yAt(shared.size(), kNone);
    auto apply = [&](const uint32_t* xs, size_t nx, const uint32_t* ys, size_t ny, uint32_t k) {
        for (size_t i = 0; i < nx; ++i) sides[0].species[xs[i]] += k;
        for (size_t j = 0; j < ny; ++j) sides[1].species[ys[j]] += k;
        bool twice = false;
        for (size_t j = 0; j < ny; ++j) {
            const int rk = rankIndex[sides[1].slot[ys[j]]];
            if (rk < 0) continue;
            if (yAt[rk] != kNone) twice = true;
            yAt[rk] = ys[j];
        }
        auto bump = [&](int rk, uint32_t x, uint32_t y) {
            Run& r = runs[rk];
            if (r.x != x || r.y != y) {
                flush(r);
                r.x = x;
                r.y = y;
            }
            r.n += k;
        };
        for (size_t i = 0; i < nx; ++i) {
            const int rk = rankIndex[sides[0].slot[xs[i]]];
            if (rk < 0) continue;
            if (!twice) {
                if (yAt[rk] != kNone) bump(rk, xs[i], yAt[rk]);
                continue;
            }
            for (size_t j = 0; j < ny; ++j)
                if (static_cast<int>(sides[1].slot[ys[j]]) == shared[rk]) bump(rk, xs[i], ys[j]);
        }
        for (size_t j = 0; j < ny; ++j) {
            const int rk = rankIndex[sides[1].slot[ys[j]]];
            if (rk >= 0) yAt[rk] = kNone;
        }
    };
    // Species of one genus in both trees share their lists of taxa above: a run of classes
    // with the same two lists is applied once, counted.
    const uint32_t *runXs = nullptr, *runYs = nullptr;
    size_t runNx = 0, runNy = 0;
    uint32_t pendingClasses = 0;
    for (uint32_t c = 0; c < classes.size(); ++c) {
        cancellationPoint(c);
        if (classes.root(c) != c || !classes.paired(c)) continue;
        const auto [xs, nx] = links[0].above(c, sides[0], scratch1);
        const auto [ys, ny] = links[1].above(c, sides[1], scratch2);
        const bool merged = xs == scratch1.data() || ys == scratch2.data();
        if (!merged && xs == runXs && nx == runNx && ys == runYs && ny == runNy) {
            ++pendingClasses;
            continue;
        }
        if (pendingClasses) apply(runXs, runNx, runYs, runNy, pendingClasses);
        pendingClasses = 0;
        runXs = runYs = nullptr;
        if (merged) {
            apply(xs, nx, ys, ny, 1);  // the merged lists do not outlive this class
        } else {
            runXs = xs, runNx = nx, runYs = ys, runNy = ny;
            pendingClasses = 1;
        }
    }
    if (pendingClasses) apply(runXs, runNx, runYs, runNy, pendingClasses);
    for (Run& r : runs) flush(r);

    // The relations, and what they say of each taxon. Pairs by tree 1's taxon, so that the taxa are
    // visited in the order they were met.
    struct Pair {
        uint32_t x, y, n;
    };
    std::vector<Pair> pairs(counts.size());
    {
        std::vector<uint32_t> start(sides[0].taxa.size() + 1, 0);
        counts.forEach([&](uint32_t x, uint32_t, uint32_t) { ++start[x + 1]; });
        for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
        counts.forEach([&](uint32_t x, uint32_t y, uint32_t n) { pairs[start[x]++] = {x, y, n}; });
    }
    if (naming) naming->join();
    // Each line's place: rank, the first name, a `!` taxon of tree 1 before the pairs, the
    // name in tree 2, a pair before a `!` taxon of tree 2.
    struct Order {
        uint64_t high, low;
        uint32_t line;
    };
    std::vector<Order> order;
    order.reserve(pairs.size() + sides[0].taxa.size() / 8);
    std::vector<TaxonRelation> lines;
    lines.reserve(pairs.size());
    auto addLine = [&](const TaxonRelation& r, uint32_t first, uint32_t second, uint32_t kind) {
        order.push_back({uint64_t(r.rank) << 40 | uint64_t(first) << 1 | (kind != 0),
                         uint64_t(second) << 2 | kind, static_cast<uint32_t>(lines.size())});
        lines.push_back(r);
    };
    std::vector<Tally> tallies[2] = {std::vector<Tally>(sides[0].taxa.size()),
                                     std::vector<Tally>(sides[1].taxa.size())};
    size_t told = 0;
    for (const Pair& p : pairs) {
        cancellationPoint(++told);
        TaxonRelation r;
        r.taxon1 = sides[0].taxa[p.x];
        r.taxon2 = sides[1].taxa[p.y];
        r.rank = static_cast<uint32_t>(rankIndex[sides[0].slot[p.x]]);
        r.shared = p.n;
        r.species1 = sides[0].species[p.x];
        r.species2 = sides[1].species[p.y];
        r.relation = relate(p.n, r.species1, r.species2);
        addLine(r, place[0][p.x], place[1][p.y], 1);
        tallies[0][p.x].add(r.relation, r.taxon2);
        const Relation mirrored = r.relation == Relation::Within     ? Relation::Contains
                                  : r.relation == Relation::Contains ? Relation::Within
                                                                     : r.relation;
        tallies[1][p.y].add(mirrored, r.taxon1);
    }
    for (int s = 0; s < 2; ++s) {
        const Side& side = sides[s];
        for (uint32_t t = 0; t < side.taxa.size(); ++t) {
            if (!kept[s][t]) continue;
            TaxonVerdict v;
            v.node = side.taxa[t];
            v.side = static_cast<uint8_t>(s + 1);
            v.rank = static_cast<uint32_t>(rankIndex[side.slot[t]]);
            v.species = side.species[t];
            v.verdict = tallies[s][t].verdict(v.node, s + 1);
            m_taxa.push_back(v);
            if (tallies[s][t].total) continue;
            TaxonRelation r;
            (s == 0 ? r.taxon1 : r.taxon2) = v.node;
            r.rank = v.rank;
            (s == 0 ? r.species1 : r.species2) = v.species;
            addLine(r, place[s][t], s == 0 ? 0 : place[s][t], s == 0 ? 0 : 2);
        }
    }
    std::sort(order.begin(), order.end(), [](const Order& a, const Order& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    });
    m_relations.reserve(lines.size());
    for (const Order& o : order) m_relations.push_back(lines[o.line]);
    indexTaxa();
}

TaxonRelations TaxonRelations::fromParts(std::vector<std::string> ranks,
                                         std::vector<TaxonRelation> relations,
                                         std::vector<TaxonVerdict> taxa) {
    TaxonRelations out;
    out.m_ranks = std::move(ranks);
    out.m_relations = std::move(relations);
    out.m_taxa = std::move(taxa);
    out.indexTaxa();
    return out;
}

void TaxonRelations::indexTaxa() {
    m_byNode.clear();
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
