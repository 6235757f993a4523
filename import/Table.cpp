// Rank-column tables: the header read, the rows read by TableReader (a large table's later
// half on a second thread, into a tree of its own, joined afterwards), the tree finished.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>

#include "Console.h"
#include "Facts.h"
#include "FlatReading.h"
#include "ImportFailure.h"
#include "Importers.h"
#include "KeptThread.h"
#include "TableReader.h"

namespace imp {

namespace {

const int kSpeciesOrder = rankOf("Species").order;

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
            table.noteLines() += later->table.noteLines();
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
    if (table.noteLines())
        consolePrintf("%s: %zu lines beginning with # skipped (notes, not taxa)\n", label.c_str(),
                      table.noteLines());
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
