// The rank a scientific name's shape tells, for files that leave a taxon's rank empty.
#pragma once

#include <string_view>

namespace imp {

// "Species" for a genus and an epithet ("Canis lupus"), "Subspecies" for three words
// ("Canis lupus familiaris"), "Variety", "Subspecies" or "Form" where the connecting word
// says so ("Abies alba var. acutifolia", "subsp.", "f."); authorship after the epithets
// ("Canis lupus Linnaeus, 1758") and a subgenus in parentheses are passed over. Empty for
// any other shape: one word, a name that does not begin with a capital, words after the
// genus that are no epithets (an empty text, never a null one: it may go where names go).
std::string_view rankByShape(std::string_view name);

// A rank cell left empty (blank, or a database's null marker), as against one that says
// there is no rank ("no rank", "clade"): only the former is told by the name's shape.
bool isEmptyRank(std::string_view written);

}  // namespace imp
