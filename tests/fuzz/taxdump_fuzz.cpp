// The NCBI taxdump reader on the files of a dump in memory (nodes.dmp, names.dmp, merged.dmp,
// delnodes.dmp) or on a tar archive of them. The seeds and the dictionary are a taxdump's.
#include <cstddef>
#include <cstdint>

#include "TaxonomyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::importTaxonomyInput(data, size);
}
