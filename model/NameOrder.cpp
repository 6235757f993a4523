#include "NameOrder.h"

#include <algorithm>
#include <cstring>

namespace {

// strcmp compares as unsigned char and puts a prefix first, which is exactly the name
// order; it never looks at the locale.
inline bool nameBefore(const char* a, const char* b) { return std::strcmp(a, b) < 0; }

}  // namespace

int compareLatinNames(const TreeNode* a, const TreeNode* b) {
    return nameBefore(a->latinName, b->latinName) ? -1 : 1;
}

int compareCommonNames(const TreeNode* a, const TreeNode* b) {
    return nameBefore(a->commonName, b->commonName) ? -1 : 1;
}

// The comparisons answer +1 for equal names, so they are not a strict ordering on their
// own; the sorts take a before b only when the comparison says -1.
void sortLatinIndex(ClassificationTree& tree) {
    std::sort(tree.latinIndex.begin(), tree.latinIndex.end(),
              [](const TreeNode* a, const TreeNode* b) { return compareLatinNames(a, b) == -1; });
}

void sortCommonIndex(ClassificationTree& tree) {
    std::sort(tree.commonIndex.begin(), tree.commonIndex.end(),
              [](const TreeNode* a, const TreeNode* b) { return compareCommonNames(a, b) == -1; });
}

void sortChildrenByLatinName(TreeNode* node) {
    // forEachNode hands over a node before it pushes the children, so each list is
    // sorted before it is walked; the walk itself keeps no recursion.
    forEachNode(node, [](TreeNode* n) {
        if (n->children.size() < 2) return;
        std::sort(n->children.begin(), n->children.end(),
                         [](const TreeNode* a, const TreeNode* b) {
                             return compareLatinNames(a, b) == -1;
                         });
    });
}
