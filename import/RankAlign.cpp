// Two imported checklists compared on the ranks both use: the comparison pairs taxa level
// by level, so a level only one of them has would set every taxon below it apart.
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "Console.h"
#include "NameCleaning.h"
#include "Import.h"
#include "TreeBuilder.h"

namespace {

// The ranks of one tree and not of the other, in the tree's order. A file may give a new rank
// on every line: looked up by hash, not compared with every one of the other tree.
std::vector<const char*> onlyIn(const ClassificationTree& tree, const ClassificationTree& other) {
    std::unordered_set<std::string_view> others(other.rankNames.begin(), other.rankNames.end());
    std::vector<const char*> only;
    for (const char* r : tree.rankNames)
        if (!others.contains(r)) only.push_back(r);
    return only;
}

// Siblings of one parent, by name and rank.
struct SiblingKey {
    std::string_view latin, rank;
    bool operator==(const SiblingKey&) const = default;
};
struct SiblingHash {
    size_t operator()(const SiblingKey& k) const {
        return std::hash<std::string_view>()(k.latin) * 31 + std::hash<std::string_view>()(k.rank);
    }
};
constexpr size_t kComparedSiblings = 8;

// Takes the taxa of the `dropped` ranks out of `tree` (never its root); returns the ranks
// of which some taxon went, in the tree's order of ranks, each with the taxa that went.
std::vector<std::pair<std::string, size_t>> dropRanks(ClassificationTree& tree,
                                                      const std::vector<const char*>& dropped) {
    std::unordered_map<std::string_view, size_t> droppedAt;
    for (size_t k = 0; k < dropped.size(); ++k) droppedAt.emplace(dropped[k], k);
    std::vector<size_t> wentOut(dropped.size(), 0);
    std::unordered_map<SiblingKey, TreeNode*, SiblingHash> byKey;
    std::vector<TreeNode*> doomed;  // emptied of children, deleted at the end
    std::vector<TreeNode*> stack{&tree};
    std::vector<std::pair<TreeNode*, size_t>> walk;
    std::vector<TreeNode*> flat;
    while (!stack.empty()) {
        TreeNode* n = stack.back();
        stack.pop_back();
        // The children of a dropped child stand in its place, in order, however many
        // dropped levels lie between.
        flat.clear();
        walk.assign(1, {n, 0});
        while (!walk.empty()) {
            auto& [p, i] = walk.back();
            if (i == p->children.size()) {
                walk.pop_back();
                continue;
            }
            TreeNode* c = p->children[i++];
            if (auto at = droppedAt.find(c->rankName); at != droppedAt.end()) {
                ++wentOut[at->second];
                doomed.push_back(c);
                walk.push_back({c, 0});
            } else {
                flat.push_back(c);
            }
        }
        // Siblings that now share name and rank are one taxon: the later one's children
        // go to the first (and are merged in turn when the first is visited).
        // A few siblings are compared with each other; many are hashed, parent by parent.
        n->children.clear();
        const bool hashed = flat.size() > kComparedSiblings;
        if (hashed) byKey.clear();
        for (TreeNode* c : flat) {
            TreeNode* first = nullptr;
            if (hashed) {
                auto [it, added] = byKey.try_emplace(SiblingKey{c->latinName, c->rankName}, c);
                if (!added) first = it->second;
            } else {
                for (TreeNode* s : n->children)
                    if (std::strcmp(s->latinName, c->latinName) == 0 &&
                        std::strcmp(s->rankName, c->rankName) == 0) {
                        first = s;
                        break;
                    }
            }
            if (!first) {
                n->addChild(c);
                continue;
            }
            for (TreeNode* g : c->children) first->addChild(g);
            c->children.clear();
            if (!first->commonName[0] && c->commonName[0]) std::swap(first->commonName, c->commonName);
            doomed.push_back(c);
        }
        for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i]);
    }
    for (TreeNode* d : doomed) {
        d->children.clear();  // its children live on elsewhere
        delete d;
    }
    std::vector<std::pair<std::string, size_t>> out;
    for (size_t k = 0; k < dropped.size(); ++k)
        if (wentOut[k]) out.emplace_back(dropped[k], wentOut[k]);
    return out;
}

}  // namespace

void alignRankLevels(ClassificationTree& tree1, ClassificationTree& tree2,
                     std::vector<RankLeftOut>* leftOut) {
    std::vector<const char*> only1 = onlyIn(tree1, tree2), only2 = onlyIn(tree2, tree1);
    int id = 1;
    for (auto [tree, dropped] : {std::pair{&tree1, &only1}, {&tree2, &only2}}) {
        if (!dropped->empty()) {
            // The names must outlive the tree's rank list, which renumbering makes anew.
            std::vector<std::string> keep(dropped->begin(), dropped->end());
            std::vector<const char*> names;
            for (const std::string& s : keep) names.push_back(s.c_str());
            const std::vector<std::pair<std::string, size_t>> gone = dropRanks(*tree, names);
            imp::renumber(*tree);  // no deeper than before: cannot fail
            if (!gone.empty()) {
                std::string list;
                for (const auto& [g, count] : gone) {
                    list += (list.empty() ? "" : ", ") + g;
                    if (leftOut) leftOut->push_back({id, g, count});
                }
                consolePrintf("Tree %d: ranks left out (the other checklist does not use them): %s\n",
                              id, list.c_str());
            }
        }
        ++id;
    }
}
