#include "Census.h"

#include <string_view>
#include <unordered_map>

#include "Console.h"

std::vector<std::pair<std::string, int>> rankCensus(const ClassificationTree& tree) {
    // One walk counts every rank at once: a walk per rank name would pass over the
    // whole hierarchy twenty times, and on millions of taxa that walk is the cost.
    std::unordered_map<std::string_view, int> counts;
    for (const char* rank : tree.rankNames) counts.emplace(rank, 0);
    std::vector<const TreeNode*> stack{&tree};
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        auto it = counts.find(n->rankName);
        if (it != counts.end()) ++it->second;
        // Copies grafted in from the other tree are not this tree's taxa.
        for (const TreeNode* c : n->children)
            if (c->onlyInTree == 0 || c->onlyInTree == tree.treeId) stack.push_back(c);
    }
    std::vector<std::pair<std::string, int>> out;
    out.reserve(tree.rankNames.size());
    for (const char* rank : tree.rankNames) out.emplace_back(rank, counts[rank]);
    return out;
}

void printRankCensus(const ClassificationTree& tree) {
    for (const auto& [rank, count] : rankCensus(tree))
        consolePrintf("%s : %i \n", rank.c_str(), count);
}
