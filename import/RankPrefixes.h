// The rank prefixes of bioinformatics lineages ("d__Bacteria", "p__Firmicutes"), shared by
// lineage tables and the labels of trees.
#pragma once

#include <string_view>

#include "NameCleaning.h"

namespace imp {

struct RankPrefix {
    char letter;
    RankInfo rank;
};

// The letter of a level written "x__Name" (a lower-case letter and two underscores), else 0.
inline char prefixLetter(std::string_view level) {
    if (level.size() < 3 || level[1] != '_' || level[2] != '_') return 0;
    const char c = level[0];
    return c >= 'a' && c <= 'z' ? c : 0;
}

// The rank of a prefix letter, from d__ (domain) and k__ (kingdom) down to s__ (species);
// null for a letter no lineage uses.
const RankPrefix* rankPrefix(char letter);

}  // namespace imp
