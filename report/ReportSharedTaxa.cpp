#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "ReportSections.h"

namespace {

struct PairHash {
    size_t operator()(const std::pair<const TreeNode*, const TreeNode*>& p) const {
        return std::hash<const void*>()(p.first) * 31 + std::hash<const void*>()(p.second);
    }
};

bool isSpecies(const TreeNode& node) { return std::strcmp(node.rankName, "Species") == 0; }

}  // namespace

std::unordered_map<uint32_t, SharedSpecies> sharedSpeciesOfRows(const ChangeList& list,
                                                                const std::vector<uint32_t>& rows,
                                                                size_t named) {
    // Walking under each row's taxon would visit the species of a divided order or class once
    // per taxon it went to. Each species below the rows' taxa is visited once instead: its
    // ancestors, matched at equal rank with the ancestors of the same species in tree 2, name
    // the rows that count it.
    std::unordered_map<std::pair<const TreeNode*, const TreeNode*>, uint32_t, PairHash> rowOf;
    std::unordered_set<const TreeNode*> taxa1;
    std::unordered_map<uint32_t, SharedSpecies> out;
    for (uint32_t i : rows) {
        const ChangeRow& row = list.rows()[i];
        if (!row.node1 || !row.node2) continue;
        rowOf.emplace(std::pair{row.node1, row.node2}, i);
        taxa1.insert(row.node1);
        out[i];
    }
    if (rowOf.empty()) return out;
    // Walks begin at the rows' taxa that no other row's taxon holds.
    std::vector<const TreeNode*> stack;
    for (const TreeNode* taxon : taxa1) {
        bool under = false;
        for (const TreeNode* up = taxon->parent; up && !under; up = up->parent) under = taxa1.count(up);
        if (!under) stack.push_back(taxon);
    }
    std::vector<const TreeNode*> chain2;
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        // Tree 1's own taxa: not the copies grafted in from tree 2.
        for (size_t k = n->children.size(); k-- > 0;)
            if (n->children[k]->onlyInTree != 2) stack.push_back(n->children[k]);
        if (!isSpecies(*n)) continue;
        const TreeNode* there = list.speciesIn2(*n);
        if (!there) continue;
        chain2.clear();
        for (const TreeNode* up = there->parent; up; up = up->parent) chain2.push_back(up);
        for (const TreeNode* up = n->parent; up; up = up->parent) {
            if (!taxa1.count(up)) continue;
            for (const TreeNode* other : chain2) {
                if (std::strcmp(other->rankName, up->rankName)) continue;
                const auto it = rowOf.find({up, other});
                if (it == rowOf.end()) continue;
                SharedSpecies& shared = out[it->second];
                if (shared.named.size() < named) shared.named.push_back(n);
                ++shared.count;
            }
        }
    }
    return out;
}
