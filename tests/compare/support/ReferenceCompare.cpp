#include "ReferenceCompare.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

void markSubtree(TreeNode* n, uint8_t id) {
    n->onlyInTree = id;
    for (TreeNode* c : n->children) markSubtree(c, id);
}

// Aligning x within the children of h at position j.
void alignChild(const TreeNode* x, TreeNode* h, size_t j) {
    for (size_t i = 0; i < h->children.size(); ++i)
        if (std::strcmp(h->children[i]->latinName, x->latinName) == 0)
            std::swap(h->children[i], h->children[j]);
}

void compareNodes(const ClassificationTree& t, TreeNode* a, TreeNode* b) {
    if (std::strcmp(a->latinName, b->latinName) != 0)
        a->onlyInTree = t.treeId;
    else if (std::strcmp(a->rankName, b->rankName) != 0)
        a->onlyInTree = t.treeId;
    const size_t na = a->children.size();
    const size_t nb = b->children.size();
    const size_t m = std::min(na, nb);
    if (na == 0) return;
    for (size_t j = 0; j < m; ++j) {
        if (na <= nb)
            alignChild(a->children[j], b, j);
        else
            alignChild(b->children[j], a, j);
    }
    for (size_t j = 0; j < m; ++j) compareNodes(t, a->children[j], b->children[j]);
    for (size_t j = m; j < na; ++j) markSubtree(a->children[j], t.treeId);
}

}  // namespace

void referenceCompareTrees(ClassificationTree& t, ClassificationTree& u) { compareNodes(t, &t, &u); }
