// The Open Tree taxonomy reader on the files of a taxonomy in memory (taxonomy.tsv,
// synonyms.tsv) or on a tar archive of them. The seeds and the dictionary are the Open
// Tree's.
#include <cstddef>
#include <cstdint>

#include "TaxonomyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::importTaxonomyInput(data, size);
}
