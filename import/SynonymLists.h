// A table column that lists a taxon's synonyms in one cell, such as a checklist's "nominal
// names": "bruijnii (Peters & Doria, 1876)|tridactyla (Dubois, 1884) [nomen novum]". Most
// entries are bare epithets, named in whatever genus they were first described; a few are
// whole names. Either way they are what lets a species renamed between two releases be
// recognised under the name it had.
#pragma once

#include <string_view>

#include "TaxonFacts.h"

namespace imp {

// Each entry of `cell` (entries apart by "|" or ";") as a synonym of `accepted`: an epithet
// alone ("tridactyla"), or a name from its capitalised genus on ("Tachyglossus bruijnii"),
// with the authorship that follows it, parentheses and bracketed notes left out.
void addListedSynonyms(TaxonFacts& facts, const TreeNode* accepted, std::string_view cell);

}  // namespace imp
