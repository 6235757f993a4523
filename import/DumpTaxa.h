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

#include "TreeNode.h"

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
        return n < 0 ? m_other[id] : atNumber(static_cast<size_t>(n));
    }
    // The value of the identifier that is the small number `n` (smallNumber's, with this
    // table's limit).
    T& atNumber(size_t n) {
        if (n >= m_dense.size())
            m_dense.resize(std::max(n + 1, std::min(m_limit, m_dense.size() * 2)));
        return m_dense[n];
    }
    const T* findNumber(size_t n) const { return n < m_dense.size() ? &m_dense[n] : nullptr; }
    size_t limit() const { return m_limit; }
    T* find(std::string_view id) {
        return const_cast<T*>(static_cast<const ByIdentifier*>(this)->find(id));
    }
    template <class F>
    void forEach(F&& f) {
        for (T& v : m_dense) f(v);
        for (auto& [id, v] : m_other) f(v);
    }
    const T* find(std::string_view id) const {
        const int64_t n = smallNumber(id, m_limit);
        if (n >= 0) return findNumber(static_cast<size_t>(n));
        auto it = m_other.find(id);
        return it == m_other.end() ? nullptr : &it->second;
    }

private:
    size_t m_limit;
    std::vector<T> m_dense;
    std::unordered_map<std::string_view, T> m_other;
};

// The table limit for a reading of `bytes` bytes of rows: a row takes some bytes, so more
// identifiers than a fraction of them are not to be had, bar the numbers' own gaps. A small
// dump whose identifiers are large numbers (a subset of NCBI's, whose ids run to millions)
// keeps them in the hash instead of a table of megabytes, mostly empty.
inline size_t identifierLimit(size_t bytes) { return (size_t{1} << 16) + bytes / 4; }

// The taxa of a dump, built straight from its rows: each row gives its taxon's names as it is
// read, its parent by identifier; once all are read the links are resolved row to row, mended
// where they are broken (a dump is one tree under the one taxon that is its own parent, or
// has none: a taxon whose parent is missing, or which is its own ancestor, is hung under that
// root rather than made a root of its own), one subtree is chosen if asked for, and the
// nodes are made, in the order of a walk of the tree, so that the walks that follow (the
// comparison, the combining, the layout) find each node near the one before.
class DumpTaxa {
public:
    // `idLimit`: see identifierLimit.
    explicit DumpTaxa(size_t idLimit) : m_rowOf(idLimit) {}
    ~DumpTaxa();
    DumpTaxa(const DumpTaxa&) = delete;
    DumpTaxa& operator=(const DumpTaxa&) = delete;

    // The names of the taxon of the next row (made by newName, owned from here on), its
    // identifier, its parent's (a view of the file, which outlives the reading) and its
    // line. False when the identifier was given before: `clash` is then the line of the row
    // that gave it first, and the names are freed.
    struct Names {
        char* latin;
        char* rank;
    };
    bool add(Names names, std::string_view id, std::string_view parent, size_t line,
             size_t& clash);
    // The same for a row whose identifier and parent's are the small numbers `id` and
    // `parent` (see number()); `parent` == `id` for a row without a parent. Such a row
    // keeps no view of the file.
    bool add(Names names, uint32_t id, uint32_t parent, size_t line, size_t& clash);
    // The small number identifier `id` stands for in these tables, or -1 when it is no
    // such number or not below kMaxNumber.
    int64_t number(std::string_view id) const {
        return smallNumber(id, std::min<size_t>(m_rowOf.limit(), kMaxNumber));
    }
    static constexpr size_t kMaxNumber = size_t{1} << 31;
    size_t rows() const { return m_names.size(); }
    // Room for `rows` rows, so that millions of them are not copied as the tables grow.
    void reserve(size_t rows);
    // The row of identifier `id`, or SIZE_MAX.
    size_t rowOf(std::string_view id) const {
        const uint32_t* r = m_rowOf.find(id);
        return r && *r ? *r - 1 : SIZE_MAX;
    }
    // Gives row `row` a common name unless it has one.
    void setCommon(size_t row, std::string_view common);

    // Once every row is added: links each row to its parent's, hangs the rows whose parent
    // is no row under the root, and breaks each cycle of parents at the row of it given
    // first, which is hung under the root too, with a console line naming it and `label`.
    void link(const std::string& label);
    // Keeps only the subtree of row `root`, which becomes the root.
    void choose(size_t root);
    // Rows whose parent was not among the rows.
    size_t orphans() const { return m_orphans; }
    // Joins the nodes kept into a tree and hands it to `tree` (see TreeBuilder::finish);
    // `each(node, row)` is told each node kept first. False after a diagnostic naming
    // `label` when the tree is empty or too deep.
    bool build(ClassificationTree& tree, const std::string& label, int64_t fileSize,
               const std::function<void(const TreeNode*, size_t row)>& each = {});

private:
    static constexpr uint32_t kNone = UINT32_MAX;  // no parent row: a root
    ByIdentifier<uint32_t> m_rowOf;  // row + 1; 0: none
    std::vector<Names> m_names;  // owned until build()
    std::unordered_map<uint32_t, char*> m_commons;  // by row, owned until build()
    // Each row's parent: a small number below kMaxNumber, kRootRef for none, or
    // kViewRef + the place of its identifier in m_parentViews.
    static constexpr uint64_t kRootRef = UINT64_MAX, kViewRef = uint64_t{1} << 32;
    uint64_t parentRef(std::string_view id, std::string_view parent);
    // Takes the row of a taxon whose row slot is `row` (zero: none yet); false, with the line
    // of the first in `clash`, when the identifier was given before.
    bool take(uint32_t& row, Names names, uint64_t parent, size_t line, size_t& clash);
    std::vector<uint64_t> m_parentRefs;
    std::vector<std::string_view> m_parentViews;
    std::vector<uint32_t> m_lines;
    std::vector<uint32_t> m_parent;  // kNone for a root
    std::vector<uint8_t> m_kept;     // empty: every row
    size_t m_root = SIZE_MAX, m_chosen = SIZE_MAX, m_orphans = 0;
};

}  // namespace imp
