// What the readers of NCBI's taxdump and of the Open Tree taxonomy share: tables by
// identifier that cost a few bytes a taxon where the identifiers are numbers (as all of both
// projects' are), and the choice of one subtree of the whole (--root).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace imp {

// The number an identifier of digits alone stands for, when it is small enough to index a
// table of `limit` entries; else -1.
inline int64_t smallNumber(std::string_view id, size_t limit) {
    if (id.empty() || id.size() > 10) return -1;
    uint64_t v = 0;
    for (char c : id) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    // "007" and "7" are two identifiers.
    if (id.size() > 1 && id[0] == '0') return -1;
    return v < limit ? static_cast<int64_t>(v) : -1;
}

// Values of type T (default-constructed: none) by identifier: in a table indexed by the
// number of identifiers that are small numbers, in a hash table for the others. The table
// grows to at most `limit` entries, so that a file of a few rows cannot ask for gigabytes.
template <class T>
class ByIdentifier {
public:
    explicit ByIdentifier(size_t limit) : m_limit(limit) {}
    T& at(std::string_view id) {
        const int64_t n = smallNumber(id, m_limit);
        if (n < 0) return m_other[id];
        const auto i = static_cast<size_t>(n);
        if (i >= m_dense.size()) m_dense.resize(std::max(i + 1, std::min(m_limit, m_dense.size() * 2)));
        return m_dense[i];
    }
    const T* find(std::string_view id) const {
        const int64_t n = smallNumber(id, m_limit);
        if (n >= 0) return static_cast<size_t>(n) < m_dense.size() ? &m_dense[static_cast<size_t>(n)] : nullptr;
        auto it = m_other.find(id);
        return it == m_other.end() ? nullptr : &it->second;
    }

private:
    size_t m_limit;
    std::vector<T> m_dense;
    std::unordered_map<std::string_view, T> m_other;
};

// The table limit for a reading of `bytes` bytes of rows: a row takes some bytes, so more
// identifiers than a fraction of them are not to be had, bar the numbers' own gaps.
inline size_t identifierLimit(size_t bytes) { return (size_t{1} << 20) + bytes / 4; }

// How the taxa of a dump are linked, row by row (rows numbered from 0 in file order), so that
// the links can be mended before the taxa are built: a dump is one tree under the one taxon
// that is its own parent (or has none), and a taxon whose parent is missing, or which is its
// own ancestor, is hung under that root rather than made a root of its own. One subtree of it
// may be chosen too.
class DumpLinks {
public:
    explicit DumpLinks(size_t idLimit) : m_rowOf(idLimit) {}
    // The first pass over the rows: each row's identifier and line. The first row of an
    // identifier given twice is the one its children name.
    void row(std::string_view id, size_t line);
    size_t rows() const { return m_lines.size(); }
    // The row of identifier `id`, or SIZE_MAX.
    size_t rowOf(std::string_view id) const {
        const uint32_t* r = m_rowOf.find(id);
        return r && *r ? *r - 1 : SIZE_MAX;
    }
    // The second pass: the parent of each row, in the same order.
    void parent(size_t row, std::string_view id, std::string_view parentId);
    // Once every row's parent is known: finds the root, hangs the rows whose parent is no row
    // under it, and breaks each cycle of parents at the row of it given first, which is hung
    // under it too, with a console line naming it (`nameOf(row)`) and its parent.
    void mend(const std::string& label, const std::function<std::string(size_t row)>& nameOf);
    // Keeps only the subtree of row `root`, which becomes the root.
    void choose(size_t root);
    bool keeps(size_t row) const { return m_in.empty() || m_in[row] == kIn; }

    // What parent a row's taxon gets: the one its row gives, none (a root), or the root's.
    enum class Link { AsGiven, None, Root };
    Link link(size_t row) const;
    // The identifier of the root, for the rows hung under it (empty: there is none).
    std::string_view rootId() const { return m_rootId; }
    size_t orphans() const { return m_orphans; }

private:
    static constexpr uint32_t kNone = UINT32_MAX;  // no parent row: a root, or missing
    enum : uint8_t { kUnknown, kIn, kOut, kWalking };
    ByIdentifier<uint32_t> m_rowOf;  // row + 1; 0: none
    std::vector<uint32_t> m_lines;
    std::vector<uint32_t> m_parent;  // kNone for a root and for a missing parent
    std::vector<uint8_t> m_missing;  // 1: a parent was named and is no row; 2: a cycle broken
    std::vector<uint8_t> m_in;
    size_t m_root = SIZE_MAX, m_chosen = SIZE_MAX, m_orphans = 0;
    std::string m_rootId;
};

}  // namespace imp
