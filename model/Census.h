// Rank census: how many taxa of each rank a tree holds. It lives beside the records
// because the binary reader prints it after every load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "TreeNode.h"

// For each entry of `rankNames`, in order, prints "%s : %i \n" with the number of nodes of
// that rank. Subtrees marked with the other tree's id (grafted copies) are not counted.
void printRankCensus(const ClassificationTree& tree);
// Prints counts as printRankCensus does.
void printCensusLines(const std::vector<std::pair<std::string, int>>& counts);

// The same counts: for each entry of `rankNames`, in order, the rank and its number of nodes.
std::vector<std::pair<std::string, int>> rankCensus(const ClassificationTree& tree);

// The census counted while a tree is being read, record by record, instead of by a walk
// of the tree afterwards: at a whole catalogue the walk is a fifth of a second of
// scattered reads per tree on the start-up's path. Which subtrees are grafted copies
// depends on the tree's id, which a reading on a thread of its own does not know yet, so
// the counts are kept for every id at once (a mark is 0, 1 or 2; any other id counts the
// unmarked nodes alone, as id 0 does).
class RankTally {
public:
    // Ids under which a node with this mark is one of the tree's own taxa, as a mask.
    static unsigned ownUnder(unsigned mark) { return mark == 0 ? 7u : mark <= 2 ? 1u << mark : 0u; }

    explicit RankTally(const std::vector<char*>& rankNames);
    RankTally(const RankTally&) = delete;  // its index looks into its own names
    RankTally& operator=(const RankTally&) = delete;
    RankTally(RankTally&&) = default;
    RankTally& operator=(RankTally&&) = default;
    // One node of rank `rank`, its own taxon under the ids of `idMask` (its own mask and
    // its ancestors' together).
    void add(const char* rank, unsigned idMask);
    // What rankCensus gives for the tree read, once it has `treeId`.
    std::vector<std::pair<std::string, int>> counts(uint8_t treeId) const;

private:
    struct Count {
        std::string rank;
        int byId[3] = {0, 0, 0};
    };
    std::vector<Count> m_counts;                        // one per distinct rank name
    std::vector<size_t> m_countOf;                      // for each entry of rankNames
    std::unordered_map<std::string_view, size_t> m_at;  // into m_counts, by name
    const char* m_lastRank = nullptr;
    Count* m_last = nullptr;  // the last rank's count, or none
};
