#include "ReadingNotes.h"

#include "Console.h"

namespace imp {

void ReadingNotes::absorb(const ReadingNotes& later) {
    statuses.absorb(later.statuses);
    ranks.absorb(later.ranks);
    shortRows += later.shortRows;
    nameless += later.nameless;
    noteLines += later.noteLines;
    idless += later.idless;
    quotesAsText = quotesAsText || later.quotesAsText;
    underSynonym += later.underSynonym;
    parentLeftOut += later.parentLeftOut;
    parentMissing += later.parentMissing;
    parentNameUnknown += later.parentNameUnknown;
    parentsGiven = parentsGiven || later.parentsGiven;
    parentsInRankColumns = parentsInRankColumns || later.parentsInRankColumns;
    parentEmpty += later.parentEmpty;
    rankColumnsEmpty += later.rankColumnsEmpty;
}

void ReadingNotes::report(const std::string& label) const {
    statuses.report(label);
    ranks.report(label);
    const char* l = label.c_str();
    if (shortRows)
        consolePrintf("%s: %zu rows with fewer fields than the header read as far as they go\n",
                      l, shortRows);
    if (quotesAsText)
        consolePrintf("%s: a quoted field never closes; quotes read as part of the text\n", l);
    if (nameless) consolePrintf("%s: %zu rows without a name skipped\n", l, nameless);
    if (noteLines)
        consolePrintf("%s: %zu lines beginning with # skipped (notes, not taxa)\n", l, noteLines);
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
