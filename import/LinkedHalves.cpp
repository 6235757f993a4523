// Large files of linked taxa and of names read on two threads: the rows after the middle
// into a part of their own, taken over once both halves are read, so that the taxa, the
// diagnostics and their lines are those of one reading from the top.
#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "KeptThread.h"
#include "Packages.h"

namespace imp {

bool readHalves(DelimitedReader& reader, size_t twoThreadsFrom, const ReadThis& readThis,
                const ReadLater& readLater, Halves& halves) {
    halves = Halves();
    const size_t size = reader.size();
    if (size - reader.position() < twoThreadsFrom) return readThis(reader, SIZE_MAX);
    const size_t split = reader.middleOfRest();
    if (split >= size) return readThis(reader, SIZE_MAX);
    halves.later = reader.partFrom(split);
    DelimitedReader& laterRows = *halves.later;
    std::optional<KeptThread> thread;  // joined also when this thread's reading throws
    try {
        thread.emplace([&] {
            try {
                halves.laterOk = readLater(laterRows);
            } catch (const std::bad_alloc&) {
                halves.laterOk = false;
                laterRows.fail(laterRows.line(), "out of memory");
            }
        });
    } catch (const std::system_error&) {  // no second thread to be had: one reads it all
        return readThis(reader, SIZE_MAX);
    }
    const bool ok = readThis(reader, split);
    thread->join();
    if (!ok) return false;
    // The middle lay inside a quoted field after all: this thread reads on.
    if (!reader.atRecordStart() || reader.position() != split) return readThis(reader, SIZE_MAX);
    halves.split = true;
    halves.linesBefore = reader.line() - 1;
    return true;
}

bool readInHalves(DelimitedReader& reader, LinkedTaxa& taxa, size_t twoThreadsFrom,
                  const ReadPart& read) {
    // The later part numbers the rows without identifiers from its own start: its mark
    // tells them from this part's, and from those of a file read before into `taxa` (a core
    // split over several files), which was split too.
    LinkedTaxa later;
    later.markIdlessAs(madeUpKey('\3') + std::to_string(taxa.size()) + "\3");
    Halves h;
    const bool ok = readHalvesInto(reader, twoThreadsFrom, taxa, later, read, h);
    if (!ok || !h.split) return ok;
    auto duplicate = [&](const LinkedTaxa::Clash& c) {
        reader.fail(c.line, "taxon " + c.id + " was given already on line " +
                                std::to_string(c.first) + " (duplicate identifier)");
        return false;
    };
    // The later half stopped at its first failure; an identifier of the first half given
    // again before it is told first.
    LinkedTaxa::Clash within = later.lastClash(), clash;
    if (!taxa.absorb(later, h.linesBefore, clash)) return duplicate(clash);
    if (h.laterOk) return true;
    if (within.id.empty()) {
        h.later->report(h.linesBefore);
        return false;
    }
    within.line += h.linesBefore;
    within.first += h.linesBefore;
    return duplicate(within);
}

namespace {
std::atomic<bool> splitAlways{false};
}

size_t splitFrom(size_t usual) { return splitAlways.load(std::memory_order_relaxed) ? 0 : usual; }

void splitReadingsAlways(bool on) { splitAlways.store(on, std::memory_order_relaxed); }

void inHalves(size_t count, size_t twoThreadsFrom,
              const std::function<void(size_t from, size_t to, int half)>& each) {
    if (count < std::max<size_t>(twoThreadsFrom, 2)) return each(0, count, 0);
    const size_t middle = count / 2;
    std::exception_ptr failed;
    std::optional<KeptThread> thread;  // joined also when this half throws
    try {
        thread.emplace([&] {
            try {
                each(middle, count, 1);
            } catch (...) {
                failed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {  // no second thread to be had: one does it all
        return each(0, count, 0);
    }
    each(0, middle, 0);
    thread->join();
    if (failed) std::rethrow_exception(failed);
}

void NameTable::absorb(NameTable& later, size_t twoThreadsFrom) {
    // The later half's ranks follow this half's, its records' places in them shifted so.
    const auto shift = static_cast<uint32_t>(m_ranks.size());
    m_ranks.insert(m_ranks.end(), later.m_ranks.begin(), later.m_ranks.end());
    for (Record& n : later.m_names) n.rank += shift;
    // A name of both halves is the later half's, wherever it is found. The later half's IDs
    // are unique among themselves, so each record of this half is given at most one name
    // again, on one thread; its ID, which the lookups of the other read, stays.
    inHalves(later.m_names.size(), twoThreadsFrom, [&](size_t from, size_t to, int) {
        for (size_t k = from; k < to; ++k) {
            const Record& n = later.m_names[k];
            const uint32_t at = m_index.find(n.id(), [this](uint32_t i) { return m_names[i].id(); });
            if (at == IdIndex::kNone) continue;
            m_names[at].nameAs(n);
        }
    });
    const auto first = static_cast<uint32_t>(m_names.size());
    m_names.insert(m_names.end(), later.m_names.begin(), later.m_names.end());
    m_laterIds.emplace_back(std::move(later.m_index), first);
    m_text.absorb(later.m_text);
    later = NameTable();
}

}  // namespace imp
