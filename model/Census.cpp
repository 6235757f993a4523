#include "Census.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "Console.h"

std::vector<std::pair<std::string, int>> rankCensus(const ClassificationTree& tree) {
    // One walk counts every rank at once: a walk per rank name would pass over the
    // whole hierarchy twenty times, and on millions of taxa that walk is the cost. The walk
    // leaves the other tree's copies out itself, so every node it meets counts under any id.
    RankTally tally(tree.rankNames);
    std::vector<const TreeNode*> stack{&tree};
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        tally.add(n->rankName, RankTally::ownUnder(0));
        // Copies grafted in from the other tree are not this tree's taxa.
        for (const TreeNode* c : n->children)
            if (c->onlyInTree == 0 || c->onlyInTree == tree.treeId) stack.push_back(c);
    }
    return tally.counts(tree.treeId);
}

void printRankCensus(const ClassificationTree& tree) { printCensusLines(rankCensus(tree)); }

void printCensusLines(const std::vector<std::pair<std::string, int>>& counts) {
    for (const auto& [rank, count] : counts) consolePrintf("%s : %i \n", rank.c_str(), count);
}

RankTally::RankTally(const std::vector<char*>& rankNames) {
    // Names first, views into them after: the vector does not move once filled.
    std::unordered_map<std::string_view, size_t> seen;
    for (const char* rank : rankNames) {
        auto [it, fresh] = seen.emplace(rank, m_counts.size());
        if (fresh) m_counts.push_back({rank});
        m_countOf.push_back(it->second);
    }
    for (size_t i = 0; i < m_counts.size(); ++i) m_at.emplace(m_counts[i].rank, i);
}

void RankTally::add(const char* rank, unsigned idMask) {
    // Siblings mostly share their rank, and readers mostly give a rank's nodes one shared
    // string: the last rank found is tried first, by its address and then by its bytes.
    if (rank != m_lastRank && (!m_lastRank || std::strcmp(rank, m_lastRank) != 0)) {
        m_lastRank = rank;
        const auto it = m_at.find(rank);
        m_last = it == m_at.end() ? nullptr : &m_counts[it->second];
    }
    if (!m_last) return;
    for (int id = 0; id < 3; ++id)
        if (idMask & (1u << id)) ++m_last->byId[id];
}

std::vector<std::pair<std::string, int>> RankTally::counts(uint8_t treeId) const {
    const int id = treeId <= 2 ? treeId : 0;
    std::vector<std::pair<std::string, int>> out;
    out.reserve(m_countOf.size());
    for (size_t c : m_countOf) out.emplace_back(m_counts[c].rank, m_counts[c].byId[id]);
    return out;
}
