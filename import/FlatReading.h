// A file that gives its taxa parents, by identifier, by name or in columns of higher ranks,
// and still reads as a flat tree, nearly every taxon hung straight under the root: the
// picture would mean nothing, so the console says so, with the reason the reading can see.
#pragma once

#include <cstddef>
#include <string>

#include "ReadingNotes.h"

namespace imp {

// More than nine in ten of `taxa` are `tops`, hung directly under the root. A handful of
// taxa is left alone: a few unrelated names are a list, not a hierarchy lost.
bool readsFlat(size_t taxa, size_t tops);
// One console line naming `label`, the counts and `reason`.
void warnFlat(const std::string& label, size_t taxa, size_t tops, const std::string& reason);
// The reason a reading of linked taxa came out flat, from what it noted of the parents.
std::string flatReason(const ReadingNotes& notes, size_t taxa);

}  // namespace imp
