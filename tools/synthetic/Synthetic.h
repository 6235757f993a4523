// Synthetic classification pairs of any size, shaped like real checklists, for benchmarks
// and tests.
#pragma once

#include <cstdint>
#include <string>

struct SyntheticOptions {
    int64_t taxa = 1000;          // taxa in the first classification, root included
    uint32_t seed = 1;
    double differenceRate = 0.2;  // share of taxa that the second classification changes
    // Share of the renamed species whose new name is their epithet misspelt (one or two
    // letters doubled, dropped, changed or swapped). 0 leaves the files as they were before
    // there was such a share, byte for byte.
    double misspeltShare = 0;
};

// Writes two classification files in the tag format: the first with about `taxa` taxa, the
// second a revision of it (renamed, moved, removed, added and re-ranked taxa; a renamed
// species mostly keeps its epithet in another genus of its family, or changes only its
// ending). Returns
// false when a file could not be written.
bool writeSyntheticPair(const std::string& pathA, const std::string& pathB,
                        const SyntheticOptions& options);
