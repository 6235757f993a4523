#include "Combine.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Sets field on every node to the number of nodes below it: one pre-order walk, then the
// nodes in reverse, so every child is summed before its parent and no recursion is needed.
void countBelow(TreeNode* root, int32_t TreeNode::*field) {
    std::vector<TreeNode*> order;
    forEachNode(root, [&](TreeNode* n) { order.push_back(n); });
    for (size_t k = order.size(); k-- > 0;) {
        TreeNode* n = order[k];
        int32_t count = 0;
        for (const TreeNode* c : n->children) count += c->*field + 1;
        n->*field = count;
    }
}

TreeNode* copyOf(const TreeNode* from, TreeNode* parent) {
    auto* n = new TreeNode;
    n->latinName = newName(from->latinName);
    n->commonName = newName(from->commonName);
    n->rankName = newName(from->rankName);
    n->level = from->level;
    std::copy(from->color, from->color + 3, n->color);
    n->onlyInTree = from->onlyInTree;
    n->descendantCount = from->descendantCount;
    parent->addChild(n);
    return n;
}

}  // namespace

void countDescendants(ClassificationTree& tree) { countBelow(&tree, &TreeNode::descendantCount); }

void countCombinedDescendants(ClassificationTree& tree) {
    countBelow(&tree, &TreeNode::combinedDescendantCount);
}

void graftUnique(TreeNode* a, TreeNode* b, uint8_t own, uint8_t other) {
    // Pairs still to graft. Each pair writes only below its own a, and the a's of
    // different pairs head disjoint subtrees, so an explicit stack in any order gives the
    // same trees as the depth-first recursion, without its depth limit.
    std::vector<std::pair<TreeNode*, const TreeNode*>> pending{{a, b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        const size_t ca = x->children.size();
        const size_t cb = y->children.size();
        for (size_t i = 0; i < cb; ++i) {
            const TreeNode* from = y->children[i];
            if (from->onlyInTree == other) pending.emplace_back(copyOf(from, x), from);
        }
        // Partners stand at equal indexes. The comparison marks the left-over children
        // of the longer list only in the pass where that list's tree is compared against
        // the other, and the second pass may reorder tree 1's lists, so a child of x
        // beyond y's children can be unmarked: it has no partner and is left alone.
        const size_t paired = std::min(ca, cb);
        for (size_t i = 0; i < paired; ++i)
            if (x->children[i]->onlyInTree != own) pending.emplace_back(x->children[i], y->children[i]);
    }
}

void numberChildren(ClassificationTree& tree) {
    tree.number = 0;
    forEachNode(static_cast<TreeNode*>(&tree), [](TreeNode* n) {
        for (size_t i = 0; i < n->children.size(); ++i)
            n->children[i]->number = n->number + static_cast<int32_t>(i) + 1;
    });
}
