// Identifiers of linked taxa, looked up by hash: open addressing over the taxa's numbers, the
// keys themselves read from where the caller keeps them, so that a lookup touches one slot
// and the one key whose hash agrees, and growing moves slots, never keys.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace imp {

class IdIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;
    // The number given with `key`, or kNone; `keyOf(number)` is the key given with it.
    template <class KeyOf>
    uint32_t find(std::string_view key, const KeyOf& keyOf) const {
        if (m_slots.empty()) return kNone;
        const uint32_t h = hashOf(key);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.value == kNone) return kNone;
            if (s.hash == h && keyOf(s.value) == key) return s.value;
        }
    }
    // Gives `key` the number `value` unless it has one: then that one, and false.
    template <class KeyOf>
    std::pair<uint32_t, bool> insert(std::string_view key, uint32_t value, const KeyOf& keyOf) {
        if (full(m_count + 1)) grow();
        const int e = expected(key);
        const uint32_t h = e >= 0 ? m_expected[e].hash : hashOf(key);
        if (e >= 0) m_expected[e] = {};
        const size_t mask = m_slots.size() - 1;
        size_t i = h & mask;
        for (;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.value == kNone) break;
            if (s.hash == h && keyOf(s.value) == key) return {s.value, false};
        }
        m_slots[i] = Slot{h, value};
        ++m_count;
        return {value, true};
    }

    // Gives keyOf(0) ... keyOf(count - 1) their numbers, all at once: from the last to the
    // first when `backwards`. A key given again is not inserted twice: `again(number,
    // numberHeld)` is called, and the insertion stops when it returns false (as does this).
    // Fetching the slots well ahead of their keys, a thread that does nothing else inserts
    // several times faster than a reader that inserts a key per row.
    template <class KeyOf, class Again>
    bool insertAll(uint32_t count, bool backwards, const KeyOf& keyOf, const Again& again) {
        reserve(m_count + count);
        const size_t mask = m_slots.size() - 1;
        constexpr uint32_t kAhead = 16;
        uint32_t hashes[kAhead];
        auto nth = [&](uint32_t k) { return backwards ? count - 1 - k : k; };
        auto fetch = [&](uint32_t k) {
            const uint32_t h = hashOf(keyOf(nth(k)));
            __builtin_prefetch(&m_slots[h & mask]);
            hashes[k % kAhead] = h;
        };
        for (uint32_t k = 0; k < std::min(kAhead, count); ++k) fetch(k);
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t h = hashes[k % kAhead], value = nth(k);
            if (k + kAhead < count) fetch(k + kAhead);
            const std::string_view key = keyOf(value);
            size_t i = h & mask;
            bool given = false;
            for (;; i = (i + 1) & mask) {
                const Slot& s = m_slots[i];
                if (s.value == kNone) break;
                if (s.hash == h && keyOf(s.value) == key) {
                    if (!again(value, s.value)) return false;
                    given = true;
                    break;
                }
            }
            if (given) continue;
            m_slots[i] = Slot{h, value};
            ++m_count;
        }
        return true;
    }

    // Starts fetching the memory a find() or insert() of `key` reads first: a lookup in an
    // index of millions of keys is a miss in the cache, which the work done meanwhile hides.
    void prefetch(std::string_view key) const {
        if (!m_slots.empty()) __builtin_prefetch(&m_slots[hashOf(key) & (m_slots.size() - 1)]);
    }
    // prefetch(), for a key about to be inserted: its hash is kept for insert(), so that a
    // reader that fetches ahead for the next row (while it still has this row's key to
    // insert) hashes each identifier once. A key is known by where it lies, so only texts
    // that stay as they are while the index is used (those of the file read) may be given;
    // the two last given are kept.
    void expect(std::string_view key) {
        if (key.empty() || expected(key) >= 0) return;
        Expected& e = m_expected[m_nextExpected];
        m_nextExpected ^= 1;
        e = {key, hashOf(key)};
        if (!m_slots.empty()) __builtin_prefetch(&m_slots[e.hash & (m_slots.size() - 1)]);
    }
    // Room for `count` keys without growing.
    void reserve(size_t count) {
        size_t size = std::max<size_t>(16, m_slots.size());
        while (count * 8 > size * 5) size *= 2;
        if (size > m_slots.size()) resize(size);
    }

private:
    // A slot is eight bytes, so that a probe mostly reads one cache line and the index of
    // millions of taxa stays small; the slots are filled to five eighths at most.
    static uint32_t hashOf(std::string_view key) {
        return static_cast<uint32_t>(XXH3_64bits(key.data(), key.size()));
    }
    // Which of m_expected is `key`, or -1.
    int expected(std::string_view key) const {
        for (int i = 0; i < 2; ++i)
            if (!key.empty() && key.data() == m_expected[i].key.data() &&
                key.size() == m_expected[i].key.size())
                return i;
        return -1;
    }
    bool full(size_t count) const { return count * 8 > m_slots.size() * 5; }
    struct Slot {
        uint32_t hash = 0;
        uint32_t value = kNone;
    };
    void grow() { resize(std::max<size_t>(16, m_slots.size() * 2)); }
    void resize(size_t size) {
        std::vector<Slot> old(size);
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.value == kNone) continue;
            size_t j = s.hash & mask;
            while (m_slots[j].value != kNone) j = (j + 1) & mask;
            m_slots[j] = s;
        }
    }
    std::vector<Slot> m_slots;
    size_t m_count = 0;
    struct Expected {
        std::string_view key;
        uint32_t hash = 0;
    };
    Expected m_expected[2];
    int m_nextExpected = 0;
};

}  // namespace imp
