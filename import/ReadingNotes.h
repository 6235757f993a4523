// What a reading of linked taxa left out or hung elsewhere than its file said, told on the
// console once the file is read: a warning each, never a refusal.
#pragma once

#include <cstddef>
#include <string>

#include "StatusWords.h"

namespace imp {

struct ReadingNotes {
    StatusTally statuses;   // status words not known, read as accepted
    RankTally ranks;        // rank words not known, kept as written
    size_t shortRows = 0;   // rows with fewer fields than the header, read as far as they go
    size_t nameless = 0;    // rows without a name in any column, skipped
    size_t noteLines = 0;   // lines beginning with '#' after the header: notes, not taxa
    size_t idless = 0;      // taxa without an identifier: read, but no row can name them
    bool quotesAsText = false;  // a quote never closed: the file's quotes read as text
    size_t underSynonym = 0;   // taxa whose parent is a synonym: hung under its accepted taxon
    size_t parentLeftOut = 0;  // taxa whose parent's row is no accepted taxon: under the root
    size_t parentMissing = 0;  // taxa whose parent is not in the file: under the root
    size_t parentNameUnknown = 0;  // a core linked by names: the parent name unknown
    // For the warning of a flat reading (FlatReading.h): the file gives its taxa parents,
    // by identifier, by name or in columns of higher ranks; taxa whose parent is empty.
    bool parentsGiven = false;
    bool parentsInRankColumns = false;
    size_t parentEmpty = 0;
    size_t rankColumnsEmpty = 0;  // rows whose columns of higher ranks are all empty

    // Adds the notes of a reading of the rows that follow this one's.
    void absorb(const ReadingNotes& later);
    // One console line per kind of row that was skipped or re-hung, naming `label`.
    void report(const std::string& label) const;
};

}  // namespace imp
