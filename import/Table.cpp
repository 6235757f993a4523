// Rank-column tables: one row per taxon, one column per rank, the row's path read from the
// highest rank down and its own taxon at the end.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "Console.h"
#include "ImportInternal.h"

namespace imp {

namespace {

constexpr size_t kNone = SIZE_MAX;
const int kGenusOrder = rankOf("Genus").order;
const int kSpeciesOrder = rankOf("Species").order;

// Which column holds what, from the header.
struct Columns {
    struct RankColumn {
        size_t column;
        RankInfo rank;
    };
    std::vector<RankColumn> ranks;  // from the highest rank down
    size_t scientific = kNone, authorship = kNone, rank = kNone, status = kNone;
    size_t common = kNone, epithet = kNone, infraEpithet = kNone;
    bool commonIsList = false;  // "Common names (Eng)": the first of a comma-separated list

    std::vector<size_t> used() const {
        std::vector<size_t> u{scientific, authorship, rank, status, common, epithet, infraEpithet};
        for (const RankColumn& r : ranks) u.push_back(r.column);
        return u;
    }
};

// Recognised headers, compared as headerKey forms them (case, blanks, underscores and
// hyphens ignored).
bool readHeader(const std::vector<std::string>& header, const ImportOptions& options,
                Columns& c, std::string& error) {
    std::vector<std::string> keys;
    keys.reserve(header.size());
    for (const std::string& h : header) keys.push_back(headerKey(h));
    // The leftmost column of each name looked for, found in one pass: a header line may hold
    // hundreds of columns.
    static constexpr std::string_view kNames[] = {
        "scientificname", "sciname",        "scientificnameauthorship", "authorship",
        "authority",      "author",         "taxonrank",                "rank",
        "taxonomicstatus", "status",        "specificepithet",          "infraspecificepithet",
        "vernacularname", "maincommonname", "commonname",               "commonnames(eng)"};
    static const auto* const kSlot = [] {
        auto* slots = new std::unordered_map<std::string_view, size_t>;
        for (size_t i = 0; i < std::size(kNames); ++i) slots->emplace(kNames[i], i);
        return slots;
    }();
    std::array<size_t, std::size(kNames)> leftmost;
    leftmost.fill(kNone);
    for (size_t i = 0; i < keys.size(); ++i) {
        auto at = kSlot->find(keys[i]);
        if (at != kSlot->end() && leftmost[at->second] == kNone) leftmost[at->second] = i;
    }
    auto find = [&](std::initializer_list<std::string_view> names) {
        for (std::string_view name : names)
            if (size_t i = leftmost[kSlot->at(name)]; i != kNone) return i;
        return kNone;
    };
    for (size_t i = 0; i < keys.size(); ++i) {
        RankInfo r;
        if (!rankColumn(keys[i], r)) continue;
        bool seen = false;
        for (const auto& known : c.ranks) seen |= known.rank.order == r.order;
        if (!seen) c.ranks.push_back({i, r});
    }
    std::stable_sort(c.ranks.begin(), c.ranks.end(),
                     [](const auto& a, const auto& b) { return a.rank.order < b.rank.order; });
    c.scientific = find({"scientificname", "sciname"});
    c.authorship = find({"scientificnameauthorship", "authorship", "authority", "author"});
    c.rank = find({"taxonrank", "rank"});
    c.status = find({"taxonomicstatus", "status"});
    c.epithet = find({"specificepithet"});
    c.infraEpithet = find({"infraspecificepithet"});
    if (!options.commonNameColumn.empty()) {
        for (size_t i = 0; i < header.size() && c.common == kNone; ++i)
            if (header[i] == options.commonNameColumn) c.common = i;
        for (size_t i = 0; i < header.size() && c.common == kNone; ++i)
            if (keys[i] == headerKey(options.commonNameColumn)) c.common = i;
        if (c.common == kNone) {
            error = "no column named \"" + options.commonNameColumn + "\" for the common names";
            return false;
        }
    } else {
        c.common = find({"vernacularname", "maincommonname", "commonname"});
        for (size_t i = 0; i < keys.size() && c.common == kNone; ++i)
            if (keys[i].rfind("englishname", 0) == 0) c.common = i;
        if (c.common == kNone) {
            c.common = find({"commonnames(eng)"});
            c.commonIsList = c.common != kNone;
        }
    }
    if (c.ranks.empty()) {
        error = "no rank columns (a header naming a rank, such as Order, Family or Genus)";
        return false;
    }
    return true;
}

// Equality of two short texts without a call: the names compared row after row are mostly
// equal and a dozen bytes long.
inline bool sameText(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    auto word = [](const char* p) {
        uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (n >= 8 && n <= 16)
        return word(a.data()) == word(b.data()) && word(a.data() + n - 8) == word(b.data() + n - 8);
    return std::memcmp(a.data(), b.data(), n) == 0;
}

struct Step {
    int order;
    int twenty;  // the rank's Rank value, or -1
    const std::string* rank;
    std::string name;
};

class TableReader {
    struct Path;

public:
    TableReader(const Columns& c, TreeBuilder& builder) : m_c(c), m_builder(builder) {
        for (Path& p : m_paths) p.path.resize(c.ranks.size() + 4);
        m_cells.resize(c.ranks.size());
    }

    // A row's taxa are found or made one row late: the first lookup of its path is known,
    // so its place in the index is fetched from memory while the next row is parsed.
    bool row(const Row& r) {
        bool taxa = path(r);
        if (m_pending) descend(*m_pending);
        m_pending = nullptr;
        if (taxa) {
            m_pending = m_cur;
            m_cur = m_cur == &m_paths[0] ? &m_paths[1] : &m_paths[0];
            prefetch(*m_pending);
        }
        return true;
    }
    // The last row's taxa.
    void flush() {
        if (m_pending) descend(*m_pending);
        m_pending = nullptr;
    }

private:
    // The row's path into *m_cur; false when it names no taxon.
    bool path(const Row& r) {
        if (m_c.status != kNone && !isAcceptedStatus(r.field(m_c.status))) return false;
        m_cur->steps = 0;
        for (size_t k = 0; k < m_c.ranks.size(); ++k) {
            const auto& rc = m_c.ranks[k];
            // The higher ranks' cells mostly repeat the row above: cleaned once.
            Cell& cell = m_cells[k];
            std::string_view raw = r.field(rc.column);
            if (!cell.known || !sameText(raw, cell.raw)) {
                cell.known = true;
                cell.raw.assign(raw.data(), raw.size());
                cleanName(raw, cell.name);
                cell.placeholder = isPlaceholder(cell.name);
                if (!cell.placeholder && rc.rank.order < kSpeciesOrder) usualCase(cell.name);
            }
            if (cell.placeholder) continue;
            Step& s = next(rc.rank.order, rc.rank.twenty, &rc.rank.name);
            s.name = cell.name;
            int twenty = rc.rank.twenty;
            if ((twenty == Species || twenty == Subspecies) && isEpithet(s.name)) {
                // "leo" below the genus Panthera is Panthera leo
                const Step* above = find(twenty == Species ? Genus : Species);
                if (above) s.name = above->name + ' ' + s.name;
            }
        }
        joinEpithet(r, m_c.epithet, Species, Genus, m_speciesName);
        joinEpithet(r, m_c.infraEpithet, Subspecies, Species, m_subspeciesName);
        if (m_c.scientific != kNone) ownTaxon(r);
        if (m_cur->steps == 0) return false;  // nothing but placeholders
        addWordRanks();
        std::string& common = m_cur->common;
        common.clear();
        if (m_c.common != kNone) {
            cleanName(r.field(m_c.common), common);
            if (m_c.commonIsList) {
                size_t comma = common.find(',');
                if (comma != std::string::npos) cleanName(common.substr(0, comma), common);
            }
            if (isPlaceholder(common)) common.clear();
        }
        return true;
    }

    // The steps of `p` that repeat the last row's path: their taxa are found without hashing
    // or reading the taxa themselves.
    size_t repeated(const Path& p) const {
        size_t i = 0;
        while (i < p.steps && i < m_lastSteps && sameText(m_last[i].name, p.path[i].name) &&
               sameText(m_last[i].rank, *p.path[i].rank))
            ++i;
        return i;
    }

    // Called when the last row's taxa are in m_last: what it finds holds until descend(p).
    void prefetch(Path& p) const {
        p.repeated = repeated(p);
        if (p.repeated < p.steps) {
            const TreeNode* parent = p.repeated ? m_last[p.repeated - 1].node : m_builder.top();
            p.hash = TreeBuilder::hash(parent, p.path[p.repeated].name);
            m_builder.prefetch(p.hash);
        }
    }

    void descend(const Path& p) {
        size_t i = p.repeated;
        TreeNode* node = i ? m_last[i - 1].node : m_builder.top();
        if (m_last.size() < p.steps) m_last.resize(p.steps);
        for (; i < p.steps; ++i) {
            const Step& s = p.path[i];
            Last& last = m_last[i];
            size_t h = i == p.repeated ? p.hash : TreeBuilder::hash(node, s.name);
            node = m_builder.child(node, s.name, *s.rank, h);
            last.node = node;
            last.name = s.name;
            last.rank = *s.rank;
        }
        m_lastSteps = p.steps;
        if (!p.common.empty()) TreeBuilder::setCommon(node, p.common);
    }

    Step& next(int order, int twenty, const std::string* rank) {
        if (m_cur->steps == m_cur->path.size()) m_cur->path.emplace_back();
        Step& s = m_cur->path[m_cur->steps++];
        s.order = order;
        s.twenty = twenty;
        s.rank = rank;
        return s;
    }
    const Step* find(int twenty) const {
        for (size_t i = 0; i < m_cur->steps; ++i)
            if (m_cur->path[i].twenty == twenty) return &m_cur->path[i];
        return nullptr;
    }
    // Inserts a step in rank order.
    void insert(int order, int twenty, const std::string* rank, const std::string& name) {
        size_t at = 0;
        while (at < m_cur->steps && m_cur->path[at].order <= order) ++at;
        next(order, twenty, rank);
        std::rotate(m_cur->path.begin() + static_cast<ptrdiff_t>(at),
                    m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps) - 1,
                    m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps));
        m_cur->path[at].name = name;
    }

    void joinEpithet(const Row& r, size_t column, int rank, int above, const std::string& rankText) {
        if (column == kNone || find(rank)) return;
        cleanName(r.field(column), m_scratch);
        if (isPlaceholder(m_scratch)) return;
        const Step* a = find(above);
        if (a) m_scratch = a->name + ' ' + m_scratch;
        insert(rankOf(rankText).order, rank, &rankText, m_scratch);
    }

    // The row's own taxon from the scientific-name column, at the end of its path.
    void ownTaxon(const Row& r) {
        cleanName(r.field(m_c.scientific), m_scratch, true);
        if (isPlaceholder(m_scratch)) return;
        if (m_c.authorship != kNone) {
            cleanName(r.field(m_c.authorship), m_common);
            if (!m_common.empty() && m_scratch.size() > m_common.size() &&
                m_scratch.compare(m_scratch.size() - m_common.size(), m_common.size(),
                                  m_common) == 0) {
                m_scratch.resize(m_scratch.size() - m_common.size());
                cleanName(std::string(m_scratch), m_scratch);
            }
        }
        const RankInfo* rank = &m_species;
        if (m_c.rank != kNone) {
            std::string_view written = r.field(m_c.rank);
            if (!m_lastRankKnown || written != m_lastRankText) {
                m_lastRankKnown = true;
                m_lastRankText = written;
                cleanName(written, m_common);
                m_lastRank = isPlaceholder(m_common) ? m_species : rankOf(m_common);
            }
            rank = &m_lastRank;
        }
        if (rank->order < kSpeciesOrder) usualCase(m_scratch);
        // The row names a taxon of its path (an order's own row): that taxon, not a child.
        size_t keep = 0;
        const std::vector<Step>& path = m_cur->path;
        while (keep < m_cur->steps && path[keep].order < rank->order) ++keep;
        if (keep < m_cur->steps && path[keep].order == rank->order && path[keep].name == m_scratch &&
            *path[keep].rank == rank->name) {
            m_cur->steps = keep + 1;
            return;
        }
        m_cur->steps = keep;
        m_cur->ownRank = rank->name;
        next(rank->order, rank->twenty, &m_cur->ownRank).name = m_scratch;
    }

    // Without a genus above it, a species's genus is the first word of its name, and a
    // subspecies's species its first two words.
    void addWordRanks() {
        const Step& last = m_cur->path[m_cur->steps - 1];
        bool subspecies = last.twenty == Subspecies;
        if (!subspecies && last.twenty != Species) return;
        if (find(Genus) && (!subspecies || find(Species))) return;  // the usual row: no copy
        std::string name = last.name;
        size_t first = name.find(' ');
        if (first == std::string::npos) return;
        if (subspecies && !find(Species)) {
            size_t second = name.find(' ', first + 1);
            if (second != std::string::npos)
                insert(kSpeciesOrder, Species, &m_speciesName, name.substr(0, second));
        }
        if (!find(Genus)) insert(kGenusOrder, Genus, &m_genusName, name.substr(0, first));
    }

    const Columns& m_c;
    TreeBuilder& m_builder;
    std::vector<Step> m_path;
    struct Last {
        TreeNode* node = nullptr;
        std::string name, rank;
    };
    std::vector<Last> m_last;  // the last row's path
    size_t m_lastSteps = 0;
    struct Path {
        std::vector<Step> path;
        size_t steps = 0;
        std::string ownRank;  // the rank of the row's own taxon, when it has one
        std::string common;
        size_t repeated = 0;  // steps that repeat the path of the row before
        size_t hash = 0;      // of the first step that does not
    };
    Path m_paths[2];
    Path* m_cur = &m_paths[0];  // being read
    Path* m_pending = nullptr;  // read, its taxa not yet found or made
    struct Cell {
        bool known = false;
        std::string raw;   // as the file has it
        std::string name;  // cleaned, capitals made usual
        bool placeholder = true;
    };
    std::vector<Cell> m_cells;  // by rank column, from the last row that had it
    std::string m_scratch, m_common;
    const RankInfo m_species = rankOf("Species");
    RankInfo m_lastRank;
    bool m_lastRankKnown = false;
    std::string m_lastRankText;
    const std::string m_genusName = "Genus", m_speciesName = "Species",
                      m_subspeciesName = "Subspecies";
};

}  // namespace

namespace {

// The start of a line near the middle of the rows where, by the count of quotes before it,
// no quoted field is open; `size` when there is none. A stray quote inside an unquoted field
// can mislead the count: the caller checks the parser's state when it gets there.
size_t middleLine(const char* data, size_t rowsFrom, size_t size, char quote) {
    size_t at = rowsFrom + (size - rowsFrom) / 2;
    bool open = false;
    auto countQuotes = [&](size_t from, size_t to) {
        if (!quote) return;
        for (const void* q; (q = std::memchr(data + from, quote, to - from)); open = !open)
            from = static_cast<size_t>(static_cast<const char*>(q) - data) + 1;
    };
    countQuotes(0, at);
    while (at < size) {
        const void* lf = std::memchr(data + at, '\n', size - at);
        if (!lf) return size;
        size_t next = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
        countQuotes(at, next);
        at = next;
        if (!open) return at;
    }
    return size;
}

// A guess at the number of taxa, from the length of the first lines, to size the index.
size_t expectedTaxa(const char* data, size_t from, size_t size) {
    size_t sample = std::min<size_t>(size - from, 1 << 16), at = from, lines = 0;
    for (const void* lf; (lf = std::memchr(data + at, '\n', from + sample - at)); ++lines)
        at = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
    if (lines == 0) return 0;
    size_t rows = (size - from) / (sample / lines);
    return rows + rows / 4;
}

// The rows after the middle of a large table, read into a tree of their own on a second
// thread while the first thread reads the rows before.
struct LaterRows {
    LaterRows(const char* data, size_t size, Dialect dialect, const std::string& label,
              const Columns& columns, size_t expected)
        : builder(expected), table(columns, builder), reader(data, size, dialect, label) {
        reader.setQuiet();
        reader.keepColumns(columns.used());
    }
    void run() {
        try {
            ok = reader.rows([this](const Row& r) { return table.row(r); });
            table.flush();
        } catch (const std::bad_alloc&) {
            ok = false;
            reader.fail(reader.line(), "out of memory");
        }
    }

    TreeBuilder builder;
    TableReader table;
    DelimitedReader reader;
    bool ok = false;
};

}  // namespace

bool importTable(ClassificationTree& tree, const char* data, size_t size, const std::string& label,
                 const ImportOptions& options, int64_t fileSize, size_t twoThreadsFrom) {
    skipBom(data, size);
    if (size == 0) {
        importDiagnostic("%s: line 1: the file is empty", label.c_str());
        return false;
    }
    Dialect dialect = sniffDialect(data, size);
    DelimitedReader reader(data, size, dialect, label);
    std::vector<std::string> header;
    if (!reader.header(header)) return false;
    Columns columns;
    std::string error;
    if (!readHeader(header, options, columns, error)) {
        reader.fail(1, error);
        return false;
    }
    reader.keepColumns(columns.used());
    size_t rowsFrom = reader.position();
    size_t expected = expectedTaxa(data, rowsFrom, size);
    size_t split = size >= twoThreadsFrom ? middleLine(data, rowsFrom, size, dialect.quote) : size;

    std::unique_ptr<LaterRows> later;
    std::thread thread;
    struct Join {
        std::thread& thread;
        ~Join() {
            if (thread.joinable()) thread.join();
        }
    } join{thread};  // also when this thread's reading throws
    if (split < size) {
        later = std::make_unique<LaterRows>(data + split, size - split, dialect, label, columns,
                                            expected / 2);
        try {
            thread = std::thread([&later] { later->run(); });
        } catch (const std::system_error&) {  // no second thread to be had: one reads it all
            later.reset();
        }
    }
    TreeBuilder builder(later ? expected / 2 + expected / 8 : expected);
    TableReader table(columns, builder);
    auto each = [&](const Row& r) { return table.row(r); };
    bool ok = reader.rows(each, later ? split : SIZE_MAX);
    table.flush();
    if (thread.joinable()) thread.join();
    if (!ok) return false;
    if (later) {
        if (reader.atRecordStart()) {
            if (!later->ok) {
                later->reader.report(reader.line() - 1);
                return false;
            }
            builder.absorb(later->builder);
        } else {  // the middle lay inside a quoted field after all
            if (!reader.rows(each)) return false;
            table.flush();
        }
    }
    return builder.finish(tree, label, fileSize);
}

}  // namespace imp

bool importTableFromMemory(ClassificationTree& tree, const char* data, size_t size,
                           const std::string& label, const ImportOptions& options) {
    return imp::importTable(tree, data, size, label, options, static_cast<int64_t>(size));
}
