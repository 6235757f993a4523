// The prefix letters and their ranks.
#include "RankPrefixes.h"

#include <array>

namespace imp {

const RankPrefix* rankPrefix(char letter) {
    // GTDB's d__ is the rank NCBI calls superkingdom or domain: one rank, spelt as the rank
    // table spells it.
    static const std::array<RankPrefix, 8> table{{{'d', rankOf("Domain")},
                                                  {'k', rankOf("Kingdom")},
                                                  {'p', rankOf("Phylum")},
                                                  {'c', rankOf("Class")},
                                                  {'o', rankOf("Order")},
                                                  {'f', rankOf("Family")},
                                                  {'g', rankOf("Genus")},
                                                  {'s', rankOf("Species")}}};
    for (const RankPrefix& p : table)
        if (p.letter == letter) return &p;
    return nullptr;
}

}  // namespace imp
