// The Darwin Core Archive importer on a zip in memory (or the files of one, see
// fuzz::filesOf): it must fail cleanly or give a tree that holds together, before and
// after aligning its levels with another checklist's.
#include <cstddef>
#include <cstdint>

#include "ImportFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::importArchiveInput(data, size);
}
