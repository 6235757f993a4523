#include "FlatReading.h"

#include <algorithm>

#include "Console.h"

namespace imp {

namespace {
constexpr size_t kFewest = 10;
}

bool readsFlat(size_t taxa, size_t tops) {
    return taxa >= kFewest && tops >= 2 && tops * 10 > taxa * 9;
}

void warnFlat(const std::string& label, size_t taxa, size_t tops, const std::string& reason) {
    consolePrintf("%s: %zu of %zu taxa hang directly under the root although the file gives "
                  "their parents, a flat tree: %s\n",
                  label.c_str(), tops, taxa, reason.c_str());
}

std::string flatReason(const ReadingNotes& n, size_t taxa) {
    const std::string rows = " rows";
    if (n.parentsInRankColumns)
        return "the columns of the higher ranks are empty in " +
               std::to_string(n.rankColumnsEmpty) + rows;
    // The kind of parent that failed most rows.
    const size_t most =
        std::max({n.parentEmpty, n.parentMissing, n.parentLeftOut, n.parentNameUnknown});
    if (most == n.parentEmpty)
        return "the parent column is empty in " + std::to_string(n.parentEmpty) + rows;
    const size_t named = taxa > n.parentEmpty ? taxa - n.parentEmpty : 0;
    if (most == n.parentMissing)
        return n.parentMissing >= named
                   ? "the parent column never matched an identifier of the file"
                   : "the parent column names no identifier of the file in " +
                         std::to_string(n.parentMissing) + rows;
    if (most == n.parentLeftOut)
        return "the parent column names a synonym or another name that is no accepted taxon "
               "in " + std::to_string(n.parentLeftOut) + rows;
    return n.parentNameUnknown >= named
               ? "the parent names never matched an accepted taxon's name"
               : "the parent names match no accepted taxon's name in " +
                     std::to_string(n.parentNameUnknown) + rows;
}

}  // namespace imp
