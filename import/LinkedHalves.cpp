// Large files of linked taxa read on two threads: the rows after the middle into taxa of
// their own, taken over once both halves are read, so that the taxa, the diagnostics and
// their lines are those of one reading from the top.
#include <new>
#include <system_error>
#include <thread>

#include "Packages.h"

namespace imp {

bool readInHalves(DelimitedReader& reader, LinkedTaxa& taxa, size_t twoThreadsFrom,
                  const ReadPart& read) {
    const size_t size = reader.size();
    if (size - reader.position() < twoThreadsFrom) return read(reader, taxa, SIZE_MAX);
    const size_t split = reader.middleOfRest();
    if (split >= size) return read(reader, taxa, SIZE_MAX);
    std::unique_ptr<DelimitedReader> laterRows = reader.partFrom(split);
    LinkedTaxa later;
    bool laterOk = false;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                laterOk = read(*laterRows, later, SIZE_MAX);
            } catch (const std::bad_alloc&) {
                laterOk = false;
                laterRows->fail(laterRows->line(), "out of memory");
            }
        });
    } catch (const std::system_error&) {  // no second thread to be had: one reads it all
        return read(reader, taxa, SIZE_MAX);
    }
    struct Join {
        std::thread& thread;
        ~Join() {
            if (thread.joinable()) thread.join();
        }
    } join{thread};  // also when this thread's reading throws
    const bool ok = read(reader, taxa, split);
    thread.join();
    if (!ok) return false;
    // The middle lay inside a quoted field after all: this thread reads on.
    if (!reader.atRecordStart() || reader.position() != split) return read(reader, taxa, SIZE_MAX);

    const size_t linesBefore = reader.line() - 1;
    auto duplicate = [&](const LinkedTaxa::Clash& c) {
        reader.fail(c.line, "taxon " + c.id + " was given already on line " +
                                std::to_string(c.first) + " (duplicate identifier)");
        return false;
    };
    // The later half stopped at its first failure; an identifier of the first half given
    // again before it is told first.
    LinkedTaxa::Clash within = later.lastClash(), clash;
    if (!taxa.absorb(later, linesBefore, clash)) return duplicate(clash);
    if (laterOk) return true;
    if (within.id.empty()) {
        laterRows->report(linesBefore);
        return false;
    }
    within.line += linesBefore;
    within.first += linesBefore;
    return duplicate(within);
}

}  // namespace imp
