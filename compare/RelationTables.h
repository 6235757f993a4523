// The hash tables behind the relations of higher taxa: species names to species classes,
// and pairs of taxa to the species they share. Used by TaxonRelations.cpp only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace relation_tables {

constexpr uint32_t kNone = UINT32_MAX;

// A species met in a walk: its name and the name's hash, its class once given, and where its
// ancestors above Species lie in its side's list of them (siblings share one copy).
struct SpeciesOccurrence {
    const char* name;
    uint64_t hash;
    uint32_t cls, first, count;
};

inline uint64_t nameHash(const char* name) { return XXH3_64bits(name, std::strlen(name)); }

// Species classes: one per Latin name held at rank Species by either tree, merged by the
// extra pairs (union-find). Names are looked up in an open-addressing table of their hashes,
// a few names ahead of the one being placed so that the table's memory is on its way.
class SpeciesClasses {
public:
    // Gives every occurrence of both sides its class, tree 1's first, so that classes are
    // numbered in the order tree 1 meets its species.
    void assign(std::vector<SpeciesOccurrence>* sides[2]) {
        // Tree 2 mostly names again what tree 1 names: sized for tree 1's and a few more,
        // doubled when half full.
        resize(2 * (sides[0]->size() + sides[1]->size() / 8) + 16);
        // The hashes were taken during the walks: the table's slot is fetched well ahead, the
        // name of the class found in it a little less far ahead.
        constexpr size_t kSlotAhead = 16, kNameAhead = 8;
        for (int s = 0; s < 2; ++s) {
            std::vector<SpeciesOccurrence>& occ = *sides[s];
            for (size_t i = 0; i < occ.size(); ++i) {
                if (i + kSlotAhead < occ.size())
                    __builtin_prefetch(&m_slots[occ[i + kSlotAhead].hash & m_mask]);
                if (i + kNameAhead < occ.size()) {
                    const Slot& ahead = m_slots[occ[i + kNameAhead].hash & m_mask];
                    if (ahead.cls != kNone) __builtin_prefetch(m_name[ahead.cls]);
                }
                occ[i].cls = insert(occ[i].name, occ[i].hash);
                m_held[occ[i].cls] |= static_cast<uint8_t>(s + 1);
            }
        }
    }
    uint32_t find(const char* name) const {
        const uint64_t h = hash(name);
        for (size_t at = h & m_mask;; at = (at + 1) & m_mask) {
            const Slot& slot = m_slots[at];
            if (slot.cls == kNone) return kNone;
            if (slot.tag == tag(h) && !std::strcmp(m_name[slot.cls], name)) return slot.cls;
        }
    }
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

private:
    // The slot's place comes from the hash's low bits, its tag from the high ones: names
    // are compared only when the tags agree.
    struct Slot {
        uint32_t tag;
        uint32_t cls;
    };
    static uint64_t hash(const char* name) { return nameHash(name); }
    static uint32_t tag(uint64_t h) { return static_cast<uint32_t>(h >> 32); }
    void resize(size_t slots) {
        size_t n = 16;
        while (n < slots) n *= 2;
        m_slots.assign(n, Slot{0, kNone});
        m_mask = n - 1;
        for (uint32_t c = 0; c < m_name.size(); ++c) {
            const uint64_t h = hash(m_name[c]);
            size_t at = h & m_mask;
            while (m_slots[at].cls != kNone) at = (at + 1) & m_mask;
            m_slots[at] = {tag(h), c};
        }
    }
    uint32_t insert(const char* name, uint64_t h) {
        for (size_t at = h & m_mask;; at = (at + 1) & m_mask) {
            Slot& slot = m_slots[at];
            if (slot.cls == kNone) {
                slot = {tag(h), static_cast<uint32_t>(m_parent.size())};
                m_parent.push_back(slot.cls);
                m_held.push_back(0);
                m_name.push_back(name);
                const uint32_t cls = slot.cls;
                if (2 * m_name.size() > m_slots.size()) resize(2 * m_slots.size());
                return cls;
            }
            if (slot.tag == tag(h) && !std::strcmp(m_name[slot.cls], name)) return slot.cls;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    std::vector<const char*> m_name;  // of each class, as first met
    std::vector<uint32_t> m_parent;
    std::vector<uint8_t> m_held;  // 1 tree 1, 2 tree 2
};

// Pair counts by (taxon of tree 1, taxon of tree 2), open addressing.
class PairCounts {
public:
    explicit PairCounts(size_t expected) {
        size_t slots = 16;
        while (slots < 2 * expected) slots *= 2;
        m_keys.assign(slots, kEmpty);
        m_counts.assign(slots, 0);
        m_mask = slots - 1;
    }
    void add(uint32_t x, uint32_t y, uint32_t n) {
        if (2 * (m_used + 1) > m_keys.size()) grow();
        const uint64_t key = uint64_t(x) << 32 | y;
        size_t at = slotOf(key);
        if (m_keys[at] == kEmpty) {
            m_keys[at] = key;
            ++m_used;
        }
        m_counts[at] += n;
    }
    template <class F>
    void forEach(F&& f) const {
        for (size_t i = 0; i < m_keys.size(); ++i)
            if (m_keys[i] != kEmpty)
                f(static_cast<uint32_t>(m_keys[i] >> 32), static_cast<uint32_t>(m_keys[i]),
                  m_counts[i]);
    }
    size_t size() const { return m_used; }

private:
    static constexpr uint64_t kEmpty = UINT64_MAX;
    size_t slotOf(uint64_t key) const {
        size_t at = XXH3_64bits(&key, sizeof key) & m_mask;
        while (m_keys[at] != kEmpty && m_keys[at] != key) at = (at + 1) & m_mask;
        return at;
    }
    void grow() {
        std::vector<uint64_t> keys(m_keys.size() * 2, kEmpty);
        std::vector<uint32_t> counts(keys.size(), 0);
        keys.swap(m_keys);
        counts.swap(m_counts);
        m_mask = m_keys.size() - 1;
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] != kEmpty) {
                const size_t at = slotOf(keys[i]);
                m_keys[at] = keys[i];
                m_counts[at] = counts[i];
            }
    }
    std::vector<uint64_t> m_keys;
    std::vector<uint32_t> m_counts;
    size_t m_mask = 0, m_used = 0;
};

}  // namespace relation_tables
