// The flight to a taxon and its counterpart, for a change chosen from a list rather than a
// flag picked in a panel.
#include <cstring>

#include "CladoramaView.h"

namespace {

// The taxon of `tree` that stands where `node` (held by both trees, in the other tree)
// stands: the same Latin names and ranks from the root down.
TreeNode* sameTaxonIn(ClassificationTree* tree, const TreeNode* node) {
    if (!tree || !node) return nullptr;
    std::vector<const TreeNode*> up;
    for (const TreeNode* q = node; q && q->parent; q = q->parent) up.push_back(q);
    TreeNode* at = tree;
    for (size_t i = up.size(); i-- > 0;) {
        TreeNode* next = nullptr;
        for (TreeNode* child : at->children) {
            if (child->onlyInTree == 0 && std::strcmp(child->latinName, up[i]->latinName) == 0 &&
                std::strcmp(child->rankName, up[i]->rankName) == 0) {
                next = child;
                break;
            }
        }
        if (!next) return at;
        at = next;
    }
    return at;
}

}  // namespace

void CCladoramaView::FlyToTaxa(TreeNode* node1, TreeNode* node2,
                               std::vector<const TreeNode*> framed) {
    m_overview.framedNodes = std::move(framed);
    if (!node1 && !node2) {
        Invalidate();
        return;
    }
    m_activePanel = node1 ? &m_panel1 : &m_panel2;
    m_otherPanel = node1 ? &m_panel2 : &m_panel1;
    ViewPanel& a = *m_activePanel;
    ViewPanel& o = *m_otherPanel;
    if (node1 && node2) {
        SetZoomLink(false);
        m_panel1.focus = node1;
        m_panel2.focus = node2;
    } else {
        TreeNode* f = node1 ? node1 : node2;
        a.focus = f;
        SetZoomLink(true);
        TreeNode* q = f->parent;
        while (q && q->parent && q->onlyInTree != 0) q = q->parent;
        if (q) o.focus = sameTaxonIn(o.tree, q);
    }
    m_overview.targetPanel = m_activePanel;
    FlyToFocus();
    Invalidate();
}
