// Synthetic NCBI taxdumps of any size, shaped like the real one: millions of species under a
// hundred thousand genera, with NCBI's rankless inner nodes (clades, "no rank" groups of
// unclassified and environmental species), strains and subspecies below some species,
// common names for a few taxa, and the merged and deleted tax_ids of earlier releases.
#pragma once

#include <cstdint>
#include <string>

struct SyntheticTaxdumpOptions {
    int64_t nodes = 2600000;  // nodes of the first release, the root included
    uint32_t seed = 1;
};

// Writes two releases of one taxonomy into the folders `folderA` and `folderB` (made if
// missing), each as nodes.dmp, names.dmp, merged.dmp and delnodes.dmp: the second merges a
// share of the first's species into others of their genus (listed in its merged.dmp),
// deletes some (its delnodes.dmp) and adds new ones. False when a file could not be written.
bool writeSyntheticTaxdumps(const std::string& folderA, const std::string& folderB,
                            const SyntheticTaxdumpOptions& options);
