// The table importer on any bytes. The first byte chooses how: its low two bits a named
// common-name column (none, or one of three headers); its third bit asks for a second
// reading on two threads split at the middle line, which must end as the one-thread reading
// does. A thread costs more than all the rest of a run, so the second reading is done for
// one such input in sixteen only, chosen by a hash of the whole input: a choice by a byte
// alone would soon be made by most of the corpus. One input in eight is read again with every
// line through libcsv, where no row takes over the cells of the row above: the tree must be
// the same. Its fourth bit asks, for the first reading, for the facts of the taxa (identifiers,
// authorship, synonyms) as a comparison does. The rest is the table. A tree read must hold
// together, before and after aligning its levels with another checklist's.
#include <cstddef>
#include <cstdint>

#include "ImportFuzz.h"
#include "ImportInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kCommonColumns[] = {"", "vernacularName", "English_name", "notes"};
    ImportOptions options;
    options.commonNameColumn = kCommonColumns[data[0] & 3];
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    const bool twoThreads = (data[0] & 4) && hash % 16 == 0;
    TaxonFacts facts;
    if (data[0] & 8) options.facts = &facts;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;

    fuzz::console().take();
    ClassificationTree one;
    const bool oneOk = importTableFromMemory(one, text, length, "input.csv", options);
    if (oneOk) {
        if (one.fileSize != static_cast<int64_t>(length)) fuzz::fail("fileSize is not the size");
    }
    if (hash % 8 == 1) {
        ClassificationTree plain;
        const bool plainOk = imp::importTable(plain, text, length, "input.csv", options,
                                              static_cast<int64_t>(length), imp::kTwoThreadsFrom,
                                              false);
        if (oneOk != plainOk) fuzz::fail("reading rows apart changed the outcome");
        if (oneOk && fuzz::describe(one) != fuzz::describe(plain))
            fuzz::fail("reading rows apart changed the tree");
    }
    if (twoThreads) {
        ClassificationTree two;
        const bool twoOk = imp::importTable(two, text, length, "input.csv", options,
                                            static_cast<int64_t>(length), 0);
        if (oneOk != twoOk) fuzz::fail("two threads changed the outcome");
        if (oneOk && fuzz::describe(one) != fuzz::describe(two))
            fuzz::fail("two threads changed the tree");
    }
    if (oneOk) {
        fuzz::checkFacts(one, facts);
        fuzz::checkImportedAndAligned(one);
    }
    return 0;
}
