#include "ReadingNotes.h"

#include "Console.h"

namespace imp {

void ReadingNotes::absorb(const ReadingNotes& later) {
    statuses.absorb(later.statuses);
    nameless += later.nameless;
    idless += later.idless;
    quotesAsText = quotesAsText || later.quotesAsText;
    underSynonym += later.underSynonym;
    parentLeftOut += later.parentLeftOut;
    parentMissing += later.parentMissing;
    parentNameUnknown += later.parentNameUnknown;
}

void ReadingNotes::report(const std::string& label) const {
    statuses.report(label);
    const char* l = label.c_str();
    if (quotesAsText)
        consolePrintf("%s: a quoted field never closes; quotes read as part of the text\n", l);
    if (nameless) consolePrintf("%s: %zu rows without a name skipped\n", l, nameless);
    if (idless)
        consolePrintf("%s: %zu taxa without an identifier read; no row can name them as parent\n",
                      l, idless);
    if (underSynonym)
        consolePrintf("%s: %zu taxa whose parent is a synonym hung under its accepted taxon\n",
                      l, underSynonym);
    if (parentLeftOut)
        consolePrintf("%s: %zu taxa whose parent is no accepted taxon hung under the root\n", l,
                      parentLeftOut);
    if (parentMissing)
        consolePrintf("%s: %zu taxa whose parent is missing from the file hung under the root\n",
                      l, parentMissing);
    if (parentNameUnknown)
        consolePrintf("%s: %zu taxa whose parent name is no accepted taxon hung under the root\n",
                      l, parentNameUnknown);
}

}  // namespace imp
