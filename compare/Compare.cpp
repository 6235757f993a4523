#include "Compare.h"

void computeMaxLevel(ClassificationTree& tree) {
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        if (!n->children.empty() && n->children[0]->level > tree.maxLevel)
            tree.maxLevel = n->children[0]->level;
    });
}
