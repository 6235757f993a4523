// A package that keeps its names apart from its taxa (ColDP's Name and Taxon files): the two
// files read at once, one on each thread, the taxa keeping the identifier of their name until
// both are read and their names are looked up, in halves. Read in turn, each file would be
// split in two and its halves joined: the joins, and the wait for the slower half, are what
// this saves.
#include <array>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "Facts.h"
#include "KeptThread.h"
#include "NameShape.h"
#include "Packages.h"

namespace imp {

bool LinkedTaxa::nameTaxa(const NameOf& nameOf) {
    // What each half makes on its own thread: texts the file does not hold, and the list of
    // ranks its taxa point into, appended to the first half's afterwards.
    struct alignas(64) Half {
        TextArena text;
        std::vector<std::string_view> ranks;
        std::string scratch;
        size_t from = 0;
        bool named = true;
    };
    std::array<Half, 2> halves;
    inHalves(m_taxa.size(), m_twoThreadsFrom, [&](size_t from, size_t to, int h) {
        Half& half = halves[h];
        half.from = from;
        std::string_view latin, rank;
        for (size_t i = from; i < to; ++i) {
            Taxon& t = m_taxa[i];
            if (!nameOf(t.latin, latin, rank, half.scratch, h)) {
                half.named = false;
                return;
            }
            t.latin = keep(latin, half.text);
            // Siblings mostly share a rank.
            if (half.ranks.empty() || rank != half.ranks.back())
                half.ranks.push_back(keep(rank, half.text));
            t.rank = static_cast<uint32_t>(half.ranks.size() - 1);
        }
    });
    if (!halves[0].named || !halves[1].named) return false;
    m_ranks = std::move(halves[0].ranks);
    if (!halves[1].ranks.empty()) {
        const auto shift = static_cast<uint32_t>(m_ranks.size());
        for (size_t i = halves[1].from; i < m_taxa.size(); ++i) m_taxa[i].rank += shift;
        m_ranks.insert(m_ranks.end(), halves[1].ranks.begin(), halves[1].ranks.end());
    }
    for (Half& half : halves) m_text.absorb(half.text);
    return true;
}

bool LinkedTaxa::indexDeferred() {
    m_deferIndex = false;
    // An identifier given twice: the taxa are read again in turn, which tells it.
    return m_byId.insertAll(static_cast<uint32_t>(m_taxa.size()), false, idOf(),
                            [](uint32_t, uint32_t) { return false; });
}

void NameTable::indexDeferred() {
    m_deferred = false;
    // From the last name to the first: an ID keeps the last name given it, and its earlier
    // records take that name too, so that a taxon finding one of them by its place (the
    // hint of find()) finds what the index gives.
    m_index.insertAll(
        static_cast<uint32_t>(m_names.size()), true, [this](uint32_t i) { return m_names[i].id(); },
        [this](uint32_t earlier, uint32_t last) {
            m_names[earlier].nameAs(m_names[last]);
            return true;
        });
}

void LinkedTaxa::startAgain() {
    LinkedTaxa fresh;
    fresh.m_twoThreadsFrom = m_twoThreadsFrom;
    fresh.m_idlessMark = m_idlessMark;
    fresh.m_notes.quotesAsText = m_notes.quotesAsText;
    *this = std::move(fresh);
}

Beside readNamesBeside(DelimitedReader& nameRows, const TaxonColumns& nameColumns,
                       NameTable& names, DelimitedReader& taxonRows,
                       const TaxonColumns& taxonColumns, LinkedTaxa& taxa,
                       size_t twoThreadsFrom) {
    // Taxa placed by the columns of their higher ranks need their names while they are
    // read, and facts are collected on one thread.
    if (!taxonColumns.names || !taxonColumns.classification.empty() || taxonColumns.byName ||
        collectingFacts())
        return Beside::NotTried;
    // Two files of about one size keep two threads busy; a large file beside a small one
    // is read faster in halves, in turn.
    const size_t nameBytes = nameRows.size() - nameRows.position(),
                 taxonBytes = taxonRows.size() - taxonRows.position();
    if (nameBytes + taxonBytes < twoThreadsFrom || nameBytes > 3 * taxonBytes ||
        taxonBytes > 3 * nameBytes)
        return Beside::NotTried;
    // Each thread's failure is kept, and told (the names' first) once both are read.
    nameRows.setQuiet();
    taxonRows.setQuiet();
    TaxonColumns later = taxonColumns;
    later.namesLater = true;
    // The taxa keep the names that lie in the Name file where they lie: they ask where that
    // is while the names are read.
    names.keepInPlace(nameRows.input());
    // Each thread only reads; both indexes are made afterwards, one on each thread, faster
    // than a key inserted per row (see IdIndex::insertAll).
    names.deferIndex();
    taxa.deferIndex();
    bool namesRead = false;
    std::exception_ptr namesFailed;
    std::optional<KeptThread> thread;
    try {
        thread.emplace([&] {
            try {
                namesRead = readNames(nameRows, nameColumns, names, SIZE_MAX);
            } catch (const std::bad_alloc&) {
                nameRows.fail(nameRows.line(), "out of memory");
            } catch (...) {
                namesFailed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {  // no second thread to be had: in turn
        return Beside::NotTried;
    }
    bool taxaRead = false;
    try {
        taxaRead = readTaxa(taxonRows, later, taxa, SIZE_MAX);
    } catch (const std::bad_alloc&) {  // read again in turn, when the names are in
    } catch (...) {
        thread->join();
        throw;
    }
    thread->join();
    if (namesFailed) std::rethrow_exception(namesFailed);
    if (!namesRead) {
        nameRows.report(0);
        return Beside::Failed;
    }
    inHalves(2, 2, [&](size_t, size_t, int half) {
        if (half == 0) names.indexDeferred();
        else if (taxaRead) taxaRead = taxa.indexDeferred();
    });
    struct alignas(64) Finder {
        RankWords words;
        RankTally unknown;
        size_t hint = 0;
    };
    std::array<Finder, 2> finders;
    const int species = rankOf("Species").order;
    auto nameOf = [&](std::string_view key, std::string_view& latin, std::string_view& rank,
                      std::string& scratch, int half) {
        Finder& f = finders[static_cast<size_t>(half)];
        NameOfId n;
        if (!names.find(key, f.hint, n) || n.latin.empty()) return false;
        const RankInfo* given = &f.words.of(n.rank);
        // A rank left empty (not "no rank") is what the name's shape says, where it says any.
        if (given->name.empty() && isEmptyRank(n.rank)) {
            const std::string_view shaped = rankByShape(n.latin);
            if (!shaped.empty()) given = &f.words.of(shaped);
        }
        const RankInfo& info = *given;
        if (info.unknown()) f.unknown.unknown(n.rank);
        latin = info.order < species ? inUsualCase(n.latin, scratch) : n.latin;
        rank = info.name;
        return true;
    };
    // A taxon without a name, or a failure of the taxa, is for a reading in turn to handle
    // and tell as it does.
    if (taxaRead && taxa.nameTaxa(nameOf)) {
        for (const Finder& f : finders) taxa.notes().ranks.absorb(f.unknown);
        return Beside::Read;
    }
    taxa.startAgain();
    return Beside::NamesOnly;
}

}  // namespace imp
