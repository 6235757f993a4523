#include "RandomTrees.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

const char* const kRanks[] = {"Genus", "Species", "Family", "Tribe"};

void setNames(TreeNode* n, const std::string& latin, const char* rank, int id) {
    n->latinName = newName(latin);
    n->commonName = newName("#" + std::to_string(id));
    n->rankName = newName(rank);
    applyRankColor(*n);
}

TreeNode* copyNode(const TreeNode* from, TreeNode* parent) {
    auto* n = new TreeNode;
    n->latinName = newName(from->latinName);
    n->commonName = newName(from->commonName);
    n->rankName = newName(from->rankName);
    std::memcpy(n->color, from->color, 3);
    n->level = from->level;
    n->number = from->number;
    n->onlyInTree = from->onlyInTree;
    n->descendantCount = from->descendantCount;
    n->combinedDescendantCount = from->combinedDescendantCount;
    parent->addChild(n);
    return n;
}

}  // namespace

void buildRandomTree(ClassificationTree& tree, std::mt19937& rng, const RandomTreeShape& shape) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int id = 0;
    setNames(&tree, "R", kRanks[pick(shape.ranks)], id++);
    std::vector<TreeNode*> stack{&tree};
    while (!stack.empty()) {
        TreeNode* n = stack.back();
        stack.pop_back();
        if (n->level >= shape.maxDepth) continue;
        const bool wide = std::uniform_real_distribution<double>(0, 1)(rng) < shape.wideShare;
        const int count = wide ? shape.wideChildren : pick(shape.maxChildren + 1);
        std::vector<std::string> names;
        for (int i = 0; i < count && id < shape.maxNodes; ++i) {
            std::string latin;
            if (shape.distinctSiblings)
                latin = "S" + std::to_string(i);
            else
                latin = std::string(1, static_cast<char>('A' + pick(shape.alphabet)));
            names.push_back(latin);
        }
        if (shape.distinctSiblings) std::shuffle(names.begin(), names.end(), rng);
        for (const std::string& latin : names) {
            auto* c = new TreeNode;
            c->level = n->level + 1;
            setNames(c, latin, kRanks[pick(shape.ranks)], id++);
            n->addChild(c);
            stack.push_back(c);
        }
    }
}

void buildRevision(const ClassificationTree& from, ClassificationTree& to, std::mt19937& rng,
                   double rate, int& freshNames) {
    std::uniform_real_distribution<double> chance(0, 1);
    int id = 0;
    setNames(&to, from.latinName, from.rankName, id++);
    std::vector<std::pair<const TreeNode*, TreeNode*>> stack{{&from, &to}};
    while (!stack.empty()) {
        auto [src, dst] = stack.back();
        stack.pop_back();
        for (const TreeNode* c : src->children) {
            if (chance(rng) < rate) continue;  // dropped with everything below
            auto* n = new TreeNode;
            n->level = dst->level + 1;
            std::string latin = c->latinName;
            const char* rank = c->rankName;
            if (chance(rng) < rate) latin = "N" + std::to_string(freshNames++);
            if (chance(rng) < rate) rank = std::strcmp(rank, "Genus") == 0 ? "Species" : "Genus";
            setNames(n, latin, rank, id++);
            dst->addChild(n);
            stack.emplace_back(c, n);
        }
        if (chance(rng) < rate) {
            auto* n = new TreeNode;
            n->level = dst->level + 1;
            setNames(n, "N" + std::to_string(freshNames++), "Genus", id++);
            dst->addChild(n);
        }
    }
    // Shuffle some sibling lists so partners rarely start at equal indexes.
    forEachNode(static_cast<TreeNode*>(&to), [&](TreeNode* n) {
        if (chance(rng) < 0.5) std::shuffle(n->children.begin(), n->children.end(), rng);
    });
}

void cloneTree(const ClassificationTree& from, ClassificationTree& to) {
    to.latinName = newName(from.latinName);
    to.commonName = newName(from.commonName);
    to.rankName = newName(from.rankName);
    std::memcpy(to.color, from.color, 3);
    to.onlyInTree = from.onlyInTree;
    to.treeId = from.treeId;
    to.number = from.number;
    to.descendantCount = from.descendantCount;
    to.combinedDescendantCount = from.combinedDescendantCount;
    std::vector<std::pair<const TreeNode*, TreeNode*>> stack{{&from, &to}};
    while (!stack.empty()) {
        auto [src, dst] = stack.back();
        stack.pop_back();
        for (const TreeNode* c : src->children) stack.emplace_back(c, copyNode(c, dst));
    }
}

std::string structureDifference(const TreeNode* x, const TreeNode* y) {
    std::vector<std::pair<const TreeNode*, const TreeNode*>> stack{{x, y}};
    while (!stack.empty()) {
        auto [p, q] = stack.back();
        stack.pop_back();
        const std::string where = std::string(p->latinName) + p->commonName + " / " + q->latinName +
                                  q->commonName;
        if (std::strcmp(p->latinName, q->latinName) != 0 ||
            std::strcmp(p->commonName, q->commonName) != 0 ||
            std::strcmp(p->rankName, q->rankName) != 0)
            return "different nodes " + where;
        if (p->onlyInTree != q->onlyInTree)
            return "marks " + std::to_string(p->onlyInTree) + " and " +
                   std::to_string(q->onlyInTree) + " at " + where;
        if (p->children.size() != q->children.size()) return "child counts differ at " + where;
        for (size_t i = 0; i < p->children.size(); ++i)
            stack.emplace_back(p->children[i], q->children[i]);
    }
    return {};
}
