// What the columns of a rank-column table hold, told by its header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Import.h"
#include "NameCleaning.h"

namespace imp {

// Which column holds what, from the header (SIZE_MAX: none).
struct Columns {
    struct RankColumn {
        size_t column;
        RankInfo rank;
    };
    std::vector<RankColumn> ranks;  // from the highest rank down
    size_t scientific = SIZE_MAX, authorship = SIZE_MAX, rank = SIZE_MAX, status = SIZE_MAX;
    size_t common = SIZE_MAX, epithet = SIZE_MAX, infraEpithet = SIZE_MAX;
    bool commonIsList = false;  // "Common names (Eng)": the first of a comma-separated list
    // Read only for a caller that wants the facts of taxa (see Facts.h).
    bool facts = false;
    size_t id = SIZE_MAX, accepted = SIZE_MAX, acceptedName = SIZE_MAX;
    size_t synonymList = SIZE_MAX;  // the row's synonyms in one cell (SynonymLists.h)
    std::vector<size_t> authorFacts;  // joined by ", "

    std::vector<size_t> used() const {
        // The first column too: a line that begins with '#' there is a note, not a taxon.
        std::vector<size_t> u{0, scientific, authorship, rank, status, common, epithet, infraEpithet};
        for (const RankColumn& r : ranks) u.push_back(r.column);
        if (facts) {
            u.insert(u.end(), {id, accepted, acceptedName, synonymList});
            u.insert(u.end(), authorFacts.begin(), authorFacts.end());
        }
        return u;
    }
};

// Recognised headers, compared as headerKey forms them (case, blanks, underscores and
// hyphens ignored). False with `error` set when the header names no rank, or not the column
// asked for the common names (or, with `c.facts` set, for the identifiers or authorship).
bool readHeader(const std::vector<std::string>& header, const ImportOptions& options,
                Columns& c, std::string& error);

}  // namespace imp
