#include "Picking.h"

#include <vector>

#include "Console.h"

// The searches walk with an explicit stack, children pushed in reverse so that they come
// off in order: the first node met is the one a recursive search in child order would
// return, and a file nested thousands of levels deep cannot exhaust the call stack.

TreeNode* PickNode(TreeNode* node, double mx, double my, int treeId, const ViewPanel& panel) {
    if (!node) return nullptr;
    std::vector<TreeNode*> pending{node};
    while (!pending.empty()) {
        TreeNode* n = pending.back();
        pending.pop_back();
        if (n->onlyInTree == treeId && n->hitLeft <= mx && mx <= n->hitRight &&
            n->hitBottom <= my && my <= n->hitTop)
            return n;
        if (!NodeSquareOnScreenContains(n, mx, my, panel)) continue;
        for (size_t i = n->children.size(); i-- > 0;) pending.push_back(n->children[i]);
    }
    return nullptr;
}

bool NodeSquareOnScreenContains(const TreeNode* node, double mx, double my,
                                const ViewPanel& panel) {
    const double sx0 = (node->x - panel.worldX) * panel.viewW / panel.worldW + panel.viewX;
    const double sx1 =
        ((node->x + node->width) - panel.worldX) * panel.viewW / panel.worldW + panel.viewX;
    const double sy0 = (node->y - panel.worldY) * panel.viewH / panel.worldH + panel.viewY;
    const double sy1 =
        ((node->y + node->height) - panel.worldY) * panel.viewH / panel.worldH + panel.viewY;
    return sx0 <= mx && mx <= sx1 && sy0 <= my && my <= sy1;
}

TreeNode* PickOverviewNode(TreeNode* node, double mx, double my) {
    if (!node) return nullptr;
    std::vector<TreeNode*> pending{node};
    while (!pending.empty()) {
        TreeNode* n = pending.back();
        pending.pop_back();
        if (n->overviewX <= mx && mx <= n->overviewX + n->overviewWidth &&
            n->overviewY - n->overviewHeight <= my && my <= n->overviewY)
            return n;
        for (size_t i = n->children.size(); i-- > 0;) {
            TreeNode* k = n->children[i];
            if (k->overviewX <= mx && mx <= k->overviewX + k->overviewWidth && my <= k->overviewY)
                pending.push_back(k);
        }
    }
    return nullptr;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    auto fold = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
    };
    for (;; ++a, ++b) {
        const unsigned char ca = fold(static_cast<unsigned char>(*a));
        const unsigned char cb = fold(static_cast<unsigned char>(*b));
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

TreeNode* FindNodeByLatinName(TreeNode* node, const char* text, int key, bool sayFound) {
    if (!node || !text) return nullptr;
    TreeNode* found = nullptr;
    std::vector<TreeNode*> pending{node};
    while (!pending.empty()) {
        TreeNode* n = pending.back();
        pending.pop_back();
        if (n->latinName && EqualIgnoringAsciiCase(n->latinName, text)) {
            found = n;
            break;
        }
        for (size_t i = n->children.size(); i-- > 0;) {
            TreeNode* k = n->children[i];
            if (k->onlyInTree == 0 || k->onlyInTree == key) pending.push_back(k);
        }
    }
    if (found && sayFound) consolePrintf("There is %s in the data set\n", found->latinName);
    return found;
}

void ClearPickBox(TreeNode& node) {
    node.hitLeft = kNoPickBox;
    node.hitRight = -kNoPickBox;
    node.hitBottom = kNoPickBox;
    node.hitTop = -kNoPickBox;
}

void BeginPickFrame(ViewPanel& panel) {
    for (TreeNode* n : panel.pickBoxNodes) ClearPickBox(*n);
    panel.pickBoxNodes.clear();
}

void SetPickBox(ViewPanel& panel, TreeNode& node, double left, double right, double bottom,
                double top) {
    node.hitLeft = left;
    node.hitRight = right;
    node.hitBottom = bottom;
    node.hitTop = top;
    panel.pickBoxNodes.push_back(&node);
}
