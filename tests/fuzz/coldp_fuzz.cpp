// The Catalogue of Life Data Package importer on a zip in memory (or the files of one, see
// fuzz::filesOf). The archive reading is the Darwin Core target's; the seeds and the
// dictionary are a package's, so that the fuzzing starts from NameUsage.tsv and
// VernacularName.tsv.
#include <cstddef>
#include <cstdint>

#include "ImportFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::importArchiveInput(data, size);
}
