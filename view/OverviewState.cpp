#include "OverviewState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "Picking.h"

void LayoutOverview(ClassificationTree* tree, OverviewPanel& overview) {
    if (!tree) return;
    // A tree whose depth was never computed is laid out as if it had one level.
    const int bands = tree->maxLevel >= 0 ? tree->maxLevel + 1 : 1;
    tree->overviewX = -0.45;
    tree->overviewWidth = 0.9;
    tree->overviewY = overview.viewY + 0.95 * overview.viewH;
    tree->overviewHeight = 0.9 * overview.viewH / bands;

    // Before the first resize the pixel width is unknown: no gaps then.
    const double pixelGap =
        overview.pixelW > 0 ? 1.0 / overview.pixelW : std::numeric_limits<double>::infinity();
    forEachNode(static_cast<TreeNode*>(tree), [&](TreeNode* n) {
        const size_t count = n->children.size();
        if (count == 0) return;
        double gap = pixelGap;
        double total = count > 1 ? (count - 1) * gap : 0;
        if (total > n->overviewWidth) gap = total = 0;
        // The counts of a consistent tree add up: a node's combined count is the sum over
        // its children of their counts plus one. A hand-made or damaged tree whose count is
        // not positive shares by that sum instead of dividing by zero.
        double share = n->combinedDescendantCount;
        if (!(share > 0)) {
            share = 0;
            for (const TreeNode* k : n->children) share += k->combinedDescendantCount + 1.0;
        }
        double offset = 0;
        for (TreeNode* k : n->children) {
            k->overviewX = n->overviewX + offset;
            k->overviewY = n->overviewY - n->overviewHeight;
            k->overviewWidth = (n->overviewWidth - total) * (k->combinedDescendantCount + 1) / share;
            k->overviewHeight = n->overviewHeight;
            offset = offset + k->overviewWidth + gap;
        }
    });
}

void UpdateOverviewHover(OverviewPanel& overview, double x, double y) {
    overview.hoverX = x;
    overview.hoverY = y;
    TreeNode* node = PickOverviewNode(overview.pickTree, x, y);
    if (node) {
        overview.hovering = 1;
        overview.hoverNode = node;
    } else if (overview.hovering) {
        overview.hoverNode = nullptr;
        overview.hovering = 0;
    }
}

size_t ComposeHoverLabel(const TreeNode& node, char* buffer, size_t size) {
    if (size == 0) return 0;
    char suffix[24];
    const int s = std::snprintf(suffix, sizeof suffix, ", %zu", node.children.size());
    const size_t suffixLength = std::min(static_cast<size_t>(s > 0 ? s : 0), size - 1);
    const char* name = node.latinName ? node.latinName : "";
    const size_t nameLength = std::min(std::strlen(name), size - 1 - suffixLength);
    std::memcpy(buffer, name, nameLength);
    std::memcpy(buffer + nameLength, suffix, suffixLength);
    buffer[nameLength + suffixLength] = 0;
    return nameLength + suffixLength;
}

void ConsumeNodeListSelection(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                              CCladoramaDoc& doc) {
    if (!doc.m_bNodeSelected) return;
    CCladoramaView* view = doc.m_pView;
    const int i = doc.m_pNodeListDlg ? doc.m_pNodeListDlg->GetCurSel() : -1;
    // After key D the list still shows lines whose results are gone.
    if (i >= 0 && static_cast<size_t>(i) < doc.m_searchResults.size()) {
        TreeNode* m = doc.m_searchResults[i];
        if (view) view->SetZoomLink(false);
        if (m->onlyInTree == 1) {
            panel1.focus = m;
            if (view) {
                view->m_activePanel = &panel1;
                view->m_otherPanel = &panel2;
            }
            overview.targetPanel = &panel1;
        } else if (m->onlyInTree == 2) {
            panel2.focus = m;
            if (view) {
                view->m_activePanel = &panel2;
                view->m_otherPanel = &panel1;
            }
            overview.targetPanel = &panel2;
        } else if (overview.targetPanel) {
            overview.targetPanel->focus = m;
        }
    }
    // Lowered before the flight: its frames come back here and must not start it again.
    doc.m_bNodeSelected = false;
    if (view) view->FlyToFocus();
}
