#include "Combine.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Sets field on every node to the number of nodes below it, children before their parent:
// a walk in post-order with a stack as deep as the tree, not a list of every node (both trees
// are counted at once, and at millions of taxa such lists are tens of megabytes each).
void countBelow(TreeNode* root, int32_t TreeNode::*field) {
    struct Frame {
        TreeNode* node;
        size_t next;  // the child to go down to next
    };
    std::vector<Frame> stack{{root, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const std::vector<TreeNode*>& children = top.node->children;
        if (top.next < children.size()) {
            TreeNode* child = children[top.next++];
            stack.push_back({child, 0});  // `top` is not used after this
            continue;
        }
        int32_t count = 0;
        for (const TreeNode* c : children) count += c->*field + 1;
        top.node->*field = count;
        stack.pop_back();
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
