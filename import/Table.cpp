// Rank-column tables: one row per taxon, one column per rank, the row's path read from the
// highest rank down and its own taxon at the end.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "Console.h"
#include "Delimited.h"
#include "Facts.h"
#include "FlatReading.h"
#include "KeptThread.h"
#include "SynonymLists.h"
#include "Importers.h"
#include "ImportFailure.h"
#include "StatusWords.h"
#include "TableHeader.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

constexpr size_t kNone = SIZE_MAX;
const int kGenusOrder = rankOf("Genus").order;
const int kSpeciesOrder = rankOf("Species").order;

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
    auto half = [](const char* p) {
        uint32_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (n >= 8 && n <= 16)
        return word(a.data()) == word(b.data()) && word(a.data() + n - 8) == word(b.data() + n - 8);
    if (n >= 4 && n < 8)
        return half(a.data()) == half(b.data()) && half(a.data() + n - 4) == half(b.data() + n - 4);
    if (n < 4) {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    return std::memcmp(a.data(), b.data(), n) == 0;
}

// A taxon of a row's path. Its name is not copied: it lies in a cell of the rank columns or
// in a text the row made (a joined epithet, the row's own name), both kept until the row's
// taxa are found or made.
struct Step {
    int order;
    int twenty;  // the rank's Rank value, or -1
    const std::string* rank;
    std::string_view name;
};

class TableReader {
    struct Path;

public:
    // With `facts`, the identifiers, authorship and synonyms of the rows go there.
    TableReader(const Columns& c, TreeBuilder& builder, TaxonFacts* facts = nullptr)
        : m_c(c), m_builder(builder), m_facts(c.facts ? facts : nullptr) {
        for (Path& p : m_paths) {
            p.path.resize(c.ranks.size() + 4);
            p.stepsAfter.resize(c.ranks.size());
        }
        m_cells.resize(c.ranks.size());
    }

    // A row's taxa are found or made one row late: the first lookup of its path is known,
    // so its place in the index is fetched from memory while the next row is parsed.
    bool row(const Row& r) {
        bool taxa = path(r);
        if (m_pending) descend(*m_pending);
        m_pending = nullptr;
        m_before = nullptr;
        if (taxa) {
            m_pending = m_cur;
            m_before = m_cur;
            m_cur = m_cur == &m_paths[0] ? &m_paths[1] : &m_paths[0];
            prefetch(*m_pending);
        } else {
            // The row may have changed cells the names of m_last lie in, and the next row
            // may change them again: the next path is found from the top.
            m_lastSteps = 0;
        }
        return true;
    }
    // The status and rank words the rows had that nobody knows.
    StatusTally& statuses() { return m_statuses; }
    RankTally& ranks() { return m_ranks; }
    // The last row's taxa.
    void flush() {
        if (m_pending) descend(*m_pending);
        m_pending = nullptr;
    }

private:
    // The row's path into *m_cur; false when it names no taxon.
    bool path(const Row& r) {
        if (m_c.status != kNone && !m_statuses.accepted(unlessNull(r.field(m_c.status)))) {
            if (m_facts && isSynonymStatus(r.field(m_c.status))) synonymRow(r);
            return false;
        }
        Path& p = *m_cur;
        p.steps = 0;
        p.made = 0;
        p.joinedFrom = kNone;
        p.copied = 0;
        const size_t columns = m_c.ranks.size();
        size_t k = 0;
        if (m_before) {
            // The rank columns that repeat the row above, up to the first that changed, give
            // the steps they gave it, unless a step was made or moved after them.
            const Path& b = *m_before;
            while (k < columns && k < b.joinedFrom && r.sameAsBefore(m_c.ranks[k].column) &&
                   b.stepsAfter[k] <= b.untouched)
                ++k;
            if (k) {
                p.steps = p.copied = b.stepsAfter[k - 1];
                std::copy_n(b.path.begin(), p.steps, p.path.begin());
                std::copy_n(b.stepsAfter.begin(), k, p.stepsAfter.begin());
            }
        }
        for (; k < columns; ++k) {
            rankCell(r, k);
            p.stepsAfter[k] = p.steps;
        }
        p.untouched = p.steps;
        joinEpithet(r, m_c.epithet, Species, Genus, m_speciesName);
        joinEpithet(r, m_c.infraEpithet, Subspecies, Species, m_subspeciesName);
        if (m_c.scientific != kNone) ownTaxon(r);
        if (m_cur->steps == 0) return false;  // nothing but placeholders
        addWordRanks();
        if (m_facts) rowFacts(r);
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

    // The step of rank column k, if its cell names a taxon.
    void rankCell(const Row& r, size_t k) {
        const auto& rc = m_c.ranks[k];
        // The higher ranks' cells mostly repeat the row above: cleaned once.
        Cell& cell = m_cells[k];
        std::string_view raw = r.field(rc.column);
        if (!cell.known ||
            (!(m_before && r.sameAsBefore(rc.column)) && !sameText(raw, cell.raw))) {
            // The row read before may still point at the name: it goes into the other slot.
            cell.known = true;
            cell.raw.assign(raw.data(), raw.size());
            cell.slot ^= 1;
            std::string& name = cell.names[cell.slot];
            cleanName(raw, name);
            cell.placeholder = isPlaceholder(name);
            if (!cell.placeholder && rc.rank.order < kSpeciesOrder) usualCase(name);
            cell.epithet = isEpithet(name);
        }
        if (cell.placeholder) return;
        Step& s = next(rc.rank.order, rc.rank.twenty, &rc.rank.name);
        s.name = cell.names[cell.slot];
        int twenty = rc.rank.twenty;
        if ((twenty == Species || twenty == Subspecies) && cell.epithet) {
            // "leo" below the genus Panthera is Panthera leo
            const Step* above = find(twenty == Species ? Genus : Species);
            if (above) {
                s.name = joined(above->name, s.name);
                if (m_cur->joinedFrom == kNone) m_cur->joinedFrom = k;
            }
        }
    }

    // The steps of `p` that repeat the last row's path: their taxa are found without hashing
    // or reading the taxa themselves. A name of an unchanged cell is the very text the last
    // row pointed at.
    size_t repeated(const Path& p) const {
        // The steps taken over from the last row, where none was put before them since.
        size_t i = std::min({p.copied, p.untouched, m_lastSteps});
        auto same = [](std::string_view a, std::string_view b) {
            return (a.data() == b.data() && a.size() == b.size()) || sameText(a, b);
        };
        while (i < p.steps && i < m_lastSteps && same(m_last[i].name, p.path[i].name) &&
               (m_last[i].rank == p.path[i].rank || *m_last[i].rank == *p.path[i].rank))
            ++i;
        return i;
    }

    // Called when the last row's taxa are in m_last: what it finds holds until descend(p).
    void prefetch(Path& p) const {
        p.repeated = repeated(p);
        if (p.repeated < p.steps) {
            const TreeNode* parent = p.repeated ? m_last[p.repeated - 1].node : m_builder.top();
            p.hashed = m_builder.indexed(parent);
            if (p.hashed) {
                p.hash = TreeBuilder::hash(parent, p.path[p.repeated].name);
                m_builder.prefetch(p.hash);
            }
        }
    }

    // The views of m_last stay valid until the next row's repeated(): a cell keeps the text
    // of the row before in its other slot, and the rows' own texts are in two Paths.
    void descend(const Path& p) {
        size_t i = p.repeated;
        TreeNode* node = i ? m_last[i - 1].node : m_builder.top();
        if (m_last.size() < p.steps) m_last.resize(p.steps);
        for (size_t k = 0; k < i; ++k) {
            m_last[k].name = p.path[k].name;
            m_last[k].rank = p.path[k].rank;
        }
        for (; i < p.steps; ++i) {
            const Step& s = p.path[i];
            Last& last = m_last[i];
            node = i == p.repeated && p.hashed ? m_builder.child(node, s.name, *s.rank, p.hash)
                                               : m_builder.child(node, s.name, *s.rank);
            last.node = node;
            last.name = s.name;
            last.rank = s.rank;
        }
        m_lastSteps = p.steps;
        if (!p.common.empty()) TreeBuilder::setCommon(node, p.common);
        if (m_facts) {
            m_facts->add(node, p.id, p.authorship);
            if (!p.synonyms.empty()) addListedSynonyms(*m_facts, node, p.synonyms);
        }
    }

    // The identifier and authorship of the row's own taxon, for descend().
    void rowFacts(const Row& r) {
        Path& p = *m_cur;
        cleanName(m_c.id == kNone ? std::string_view() : r.field(m_c.id), p.id);
        if (isPlaceholder(p.id)) p.id.clear();
        p.authorship.clear();
        for (size_t column : m_c.authorFacts) {
            cleanName(r.field(column), m_scratch);
            if (isPlaceholder(m_scratch)) continue;
            if (!p.authorship.empty()) p.authorship += ", ";
            p.authorship += m_scratch;
        }
        p.synonyms.clear();
        if (m_c.synonymList != kNone) {
            cleanName(r.field(m_c.synonymList), p.synonyms);
            if (isPlaceholder(p.synonyms)) p.synonyms.clear();
        }
    }

    // A row that is a synonym of the taxon it names by identifier or by name.
    void synonymRow(const Row& r) {
        if (m_c.scientific == kNone) return;
        std::string name, author, acceptedId, acceptedName;
        cleanName(r.field(m_c.scientific), name, true);
        for (size_t column : m_c.authorFacts) {
            cleanName(r.field(column), m_scratch);
            if (isPlaceholder(m_scratch)) continue;
            if (!author.empty()) author += ", ";
            author += m_scratch;
        }
        if (m_c.authorship != kNone) {
            cleanName(r.field(m_c.authorship), m_scratch);
            if (!m_scratch.empty() && name.size() > m_scratch.size() &&
                name.compare(name.size() - m_scratch.size(), m_scratch.size(), m_scratch) == 0)
                cleanName(std::string(name, 0, name.size() - m_scratch.size()), name);
        }
        if (m_c.accepted != kNone) cleanName(r.field(m_c.accepted), acceptedId);
        if (m_c.acceptedName != kNone) cleanName(r.field(m_c.acceptedName), acceptedName, true);
        if (isPlaceholder(name)) return;
        m_facts->addPendingSynonym(isPlaceholder(acceptedId) ? "" : acceptedId,
                                   isPlaceholder(acceptedName) ? "" : acceptedName, name, author);
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
    void insert(int order, int twenty, const std::string* rank, std::string_view name) {
        size_t at = 0;
        while (at < m_cur->steps && m_cur->path[at].order <= order) ++at;
        m_cur->untouched = std::min(m_cur->untouched, at);
        next(order, twenty, rank);
        std::rotate(m_cur->path.begin() + static_cast<ptrdiff_t>(at),
                    m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps) - 1,
                    m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps));
        m_cur->path[at].name = name;
    }

    // A text made for this row's path, kept as long as its Path.
    std::string& made() {
        Path& p = *m_cur;
        if (p.made == p.texts.size()) p.texts.emplace_back(std::make_unique<std::string>());
        return *p.texts[p.made++];
    }
    std::string_view joined(std::string_view above, std::string_view epithet) {
        std::string& s = made();
        s.assign(above);
        s += ' ';
        s += epithet;
        return s;
    }

    void joinEpithet(const Row& r, size_t column, int rank, int above, const std::string& rankText) {
        if (column == kNone || find(rank)) return;
        cleanName(r.field(column), m_scratch);
        if (isPlaceholder(m_scratch)) return;
        const Step* a = find(above);
        std::string_view name;
        if (a) {
            name = joined(a->name, m_scratch);
        } else {
            std::string& s = made();
            s.swap(m_scratch);
            name = s;
        }
        insert(rankOf(rankText).order, rank, &rankText, name);
    }

    // The row's own taxon from the scientific-name column, at the end of its path.
    void ownTaxon(const Row& r) {
        std::string& own = made();
        cleanName(r.field(m_c.scientific), own, true);
        if (isPlaceholder(own)) return;
        if (m_c.authorship != kNone) {
            cleanName(r.field(m_c.authorship), m_common);
            if (!m_common.empty() && own.size() > m_common.size() &&
                own.compare(own.size() - m_common.size(), m_common.size(), m_common) == 0) {
                m_scratch.assign(own, 0, own.size() - m_common.size());
                cleanName(m_scratch, own);
            }
        }
        const RankInfo* rank = &m_species;
        if (m_c.rank != kNone) {
            std::string_view written = r.field(m_c.rank);
            if (!m_lastRankKnown || written != m_lastRankText) {
                m_lastRankKnown = true;
                m_lastRankText = written;
                cleanName(written, m_common);
                m_lastRank = isPlaceholder(m_common) || isNullMarker(m_common) ? m_species
                                                                               : rankOf(m_common);
            }
            rank = &m_lastRank;
            if (rank->unknown()) m_ranks.unknown(written);
        }
        if (rank->order < kSpeciesOrder) usualCase(own);
        // The row names a taxon of its path (an order's own row): that taxon, not a child.
        size_t keep = 0;
        const std::vector<Step>& path = m_cur->path;
        while (keep < m_cur->steps && path[keep].order < rank->order) ++keep;
        if (keep < m_cur->steps && path[keep].order == rank->order && path[keep].name == own &&
            *path[keep].rank == rank->name) {
            m_cur->steps = keep + 1;
            m_cur->untouched = std::min(m_cur->untouched, m_cur->steps);
            return;
        }
        m_cur->steps = keep;
        m_cur->untouched = std::min(m_cur->untouched, keep);
        m_cur->ownRank = rank->name;
        next(rank->order, rank->twenty, &m_cur->ownRank).name = own;
    }

    // Without a genus above it, a species's genus is the first word of its name, and a
    // subspecies's species its first two words.
    void addWordRanks() {
        const Step& last = m_cur->path[m_cur->steps - 1];
        bool subspecies = last.twenty == Subspecies;
        if (!subspecies && last.twenty != Species) return;
        if (find(Genus) && (!subspecies || find(Species))) return;  // the usual row: no copy
        std::string_view name = last.name;  // in a cell or a made text: not moved by insert()
        size_t first = name.find(' ');
        if (first == std::string::npos) return;
        if (subspecies && !find(Species)) {
            size_t second = name.find(' ', first + 1);
            if (second != std::string::npos)
                insert(kSpeciesOrder, Species, &m_speciesName, name.substr(0, second));
        }
        if (!find(Genus)) insert(kGenusOrder, Genus, &m_genusName, name.substr(0, first));
    }

    // A copy of its own: the columns are read for every row by both threads, and the first
    // thread writes next to where the caller keeps them.
    const Columns m_c;
    TreeBuilder& m_builder;
    TaxonFacts* m_facts;
    struct Last {
        TreeNode* node = nullptr;
        std::string_view name;
        const std::string* rank = nullptr;
    };
    std::vector<Last> m_last;  // the last row's path
    size_t m_lastSteps = 0;
    struct Path {
        std::vector<Step> path;
        size_t steps = 0;
        std::string ownRank;  // the rank of the row's own taxon, when it has one
        std::string common;
        // Of the row's own taxon, when facts are collected.
        std::string id, authorship, synonyms;
        size_t repeated = 0;  // steps that repeat the path of the row before
        size_t hash = 0;      // of the first step that does not, when its parent is
        bool hashed = false;  // found through the index
        // Texts made for the path: joined epithets, the row's own name. Each on the heap, so
        // that a view of one stays put while more are made.
        std::vector<std::unique_ptr<std::string>> texts;
        size_t made = 0;
        // For the row after: the steps there were after each rank column, the rank column
        // whose step is a joined name, and the steps left as the rank columns gave them.
        std::vector<size_t> stepsAfter;
        size_t joinedFrom = kNone;
        size_t untouched = 0;
        size_t copied = 0;  // leading steps taken over from the row before
    };
    Path m_paths[2];
    Path* m_cur = &m_paths[0];  // being read
    Path* m_pending = nullptr;  // read, its taxa not yet found or made
    Path* m_before = nullptr;   // the row just before's, when it named taxa
    struct Cell {
        bool known = false;
        std::string raw;       // as the file has it
        std::string names[2];  // cleaned, capitals made usual: this row's and the last
        int slot = 0;          // this row's
        bool placeholder = true;
        bool epithet = false;
    };
    std::vector<Cell> m_cells;  // by rank column, from the last row that had it
    std::string m_scratch, m_common;
    const RankInfo m_species = rankOf("Species");
    StatusTally m_statuses;
    RankTally m_ranks;
    RankInfo m_lastRank;
    bool m_lastRankKnown = false;
    std::string m_lastRankText;
    const std::string m_genusName = "Genus", m_speciesName = "Species",
                      m_subspeciesName = "Subspecies";
};

}  // namespace

namespace {

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
        : data(data), size(size), expected(expected), table(columns, builder, &facts),
          reader(data, size, dialect, label) {
        reader.setQuiet();
        reader.keepColumns(columns.used());
    }
    void run() {
        try {
            populatePages(data, size);
            builder.reserve(expected);  // here, while the first thread sizes its own
            ok = reader.rows([this](const Row& r) { return table.row(r); });
            table.flush();
        } catch (const std::bad_alloc&) {
            ok = false;
            reader.fail(reader.line(), "out of memory");
        }
        std::unique_lock<std::mutex> lock(mutex);
        rowsRead = true;
        changed.notify_all();
        changed.wait(lock, [this] { return told; });
        if (!number) return;
        lock.unlock();
        try {
            builder.numberPart();
        } catch (const std::bad_alloc&) {  // left unnumbered: the joined tree is walked
        }
    }
    // Called by the first thread: waits until these rows are read.
    void waitForRows() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return rowsRead; });
    }
    // Then lets the second thread number its taxa, or end.
    void tell(bool numberThem) {
        std::lock_guard<std::mutex> lock(mutex);
        if (told) return;
        told = true;
        number = numberThem;
        changed.notify_all();
    }

    const char* data;
    size_t size;
    size_t expected;
    std::mutex mutex;
    std::condition_variable changed;
    bool rowsRead = false, told = false, number = false;
    TreeBuilder builder;
    TaxonFacts facts;  // its rows' own, taken over with its taxa
    TableReader table;
    DelimitedReader reader;
    bool ok = false;
};

}  // namespace

bool importTable(ClassificationTree& tree, const char* data, size_t size, const std::string& label,
                 const ImportOptions& options, int64_t fileSize, size_t twoThreadsFrom,
                 bool splitPlain) {
    skipBom(data, size);
    if (size == 0) {
        importFailure(label, linePlace(1), "the file is empty");
        return false;
    }
    Dialect dialect = sniffDialect(data, size);
    DelimitedReader reader(data, size, dialect, label);
    reader.splitPlainLines(splitPlain);
    std::vector<std::string> header;
    if (!reader.header(header)) return false;
    Columns columns;
    FactsCollector* facts = collectingFacts();
    columns.facts = facts != nullptr;
    std::string error;
    if (!readHeader(header, options, columns, error)) {
        reader.fail(1, error);
        return false;
    }
    reader.keepColumns(columns.used());
    size_t rowsFrom = reader.position();
    size_t expected = expectedTaxa(data, rowsFrom, size);
    size_t split = size;
    if (size >= twoThreadsFrom) {
        // The second thread maps its part of the pages while this one maps its own.
        populatePages(data + rowsFrom, (size - rowsFrom) / 2);
        split = middleLine(data, rowsFrom, size, dialect.quote);
    }

    std::unique_ptr<LaterRows> later;
    std::optional<KeptThread> thread;
    struct Join {
        std::optional<KeptThread>& thread;
        std::unique_ptr<LaterRows>& later;
        ~Join() {
            if (later) later->tell(false);
            if (thread) thread->join();
        }
    } join{thread, later};  // also when this thread's reading throws
    if (split < size) {
        later = std::make_unique<LaterRows>(data + split, size - split, dialect, label, columns,
                                            expected / 2);
        later->reader.splitPlainLines(splitPlain);
        try {
            thread.emplace([&later] { later->run(); });
        } catch (const std::system_error&) {  // no second thread to be had: one reads it all
            later.reset();
        }
    }
    TreeBuilder builder(later ? expected / 2 + expected / 8 : expected);
    TableReader table(columns, builder, facts ? &facts->facts : nullptr);
    auto each = [&](const Row& r) { return table.row(r); };
    bool ok = reader.rows(each, later ? split : SIZE_MAX);
    table.flush();
    if (later) {
        // While the second thread numbers its taxa, this one numbers its own.
        later->waitForRows();
        bool parts = ok && later->ok && reader.atRecordStart();
        if (parts) builder.planNumbering(later->builder);
        later->tell(parts);
        if (parts) builder.numberPart();
    }
    if (thread) thread->join();
    if (!ok) return false;
    if (later) {
        if (reader.atRecordStart()) {
            if (!later->ok) {
                later->reader.report(reader.line() - 1);
                return false;
            }
            builder.absorb(later->builder);
            if (facts) facts->facts.merge(later->facts);
            table.statuses().absorb(later->table.statuses());
            table.ranks().absorb(later->table.ranks());
        } else {  // the middle lay inside a quoted field after all
            if (!reader.rows(each)) return false;
            table.flush();
        }
    }
    // Rows that name their higher taxa in columns of their own, but leave them empty.
    const size_t tops = builder.top()->children.size();
    if (!builder.finish(tree, label, fileSize)) return false;
    table.statuses().report(label);
    table.ranks().report(label);
    const size_t taxa = static_cast<size_t>(tree.nodeCount) - (tops != 1);
    const bool higherColumns =
        columns.ranks.size() >= 2 || (columns.scientific != kNone && !columns.ranks.empty() &&
                                      columns.ranks[0].rank.order < kSpeciesOrder);
    if (higherColumns && readsFlat(taxa, tops))
        warnFlat(label, taxa, tops, "the columns of the higher ranks are empty in nearly every row");
    return true;
}

}  // namespace imp

bool importTableFromMemory(ClassificationTree& tree, const char* data, size_t size,
                           const std::string& label, const ImportOptions& options) {
    imp::FailureCatch failure;
    imp::FactsScope facts(tree, options);
    const bool ok = facts.finish(
        imp::importTable(tree, data, size, label, options, static_cast<int64_t>(size)));
    return reportFailure(failure.result(ok, label));
}
