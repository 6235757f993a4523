// The view's mouse and keys: zooming with the left and right buttons, panning with the
// middle one, picks of a flag in a tree panel or of a box in the overview, hovering in the
// overview, and the keys D, F, H, L, T and U.
#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "Console.h"
#include "OverviewState.h"
#include "Picking.h"

namespace {

// Tree panels hold the points on their edges; a press on the border between a tree panel
// and the legend strip belongs to the tree panel.
bool inTreePanel(const ViewPanel& p, double mx, double my) {
    return p.viewX <= mx && mx <= p.viewX + p.viewW && p.viewY <= my && my <= p.viewY + p.viewH;
}

bool strictlyInside(const ViewPanel& p, double mx, double my) {
    return p.viewX < mx && mx < p.viewX + p.viewW && p.viewY < my && my < p.viewY + p.viewH;
}

}  // namespace

void CCladoramaView::ClientToNormalized(int x, int y, double& nx, double& ny) const {
    // The client rectangle runs from 0 to its size, both included.
    const double w = m_clientWidth + 1.0, h = m_clientHeight + 1.0;
    nx = x / w - 0.5;
    ny = (h - y) / h - 0.5;
}

void CCladoramaView::OnLButtonDown(unsigned, int x, int y) {
    ClientToNormalized(x, y, m_mouseX, m_mouseY);
    const double mx = m_mouseX, my = m_mouseY;
    m_zoomAction = ZoomIn;
    m_mouseMode = Idle;
    m_pickedLink = -1;
    if (strictlyInside(m_legendPanel, mx, my)) {
        // The strip has no gesture of its own; the lines that cross it can be chosen there.
        if (PressOnLink(mx, my)) m_mouseMode = LinkPick;
        return;
    }

    if (inTreePanel(m_panel1, mx, my)) {
        m_mouseMode = Zooming;
        m_activePanel = &m_panel1;
        m_otherPanel = &m_panel2;
    } else if (inTreePanel(m_panel2, mx, my)) {
        m_mouseMode = Zooming;
        m_activePanel = &m_panel2;
        m_otherPanel = &m_panel1;
    } else if (strictlyInside(m_overview, mx, my)) {
        ViewPanel* target = m_overview.targetPanel ? m_overview.targetPanel : &m_panel1;
        TreeNode* n = PickOverviewNode(m_overview.pickTree, mx, my);
        if (!n || n == target->focus) {
            m_mouseMode = Idle;
        } else {
            if (n->onlyInTree == 1) {
                m_panel1.focus = n;
                target = &m_panel1;
                SetZoomLink(false);
            } else if (n->onlyInTree == 2) {
                m_panel2.focus = n;
                target = &m_panel2;
                SetZoomLink(false);
            } else {
                (target == &m_panel1 ? m_panel1 : m_panel2).focus = n;
            }
            target->focus = n;
            if (m_zoomLink) (target == &m_panel1 ? m_panel2 : m_panel1).focus = n;
            m_mouseMode = OverviewPick;
        }
    }
    m_overview.targetPanel = m_activePanel;

    // Also over the overview: a flag of the active panel's tree may be drawn there.
    ViewPanel& a = *m_activePanel;
    a.picked = a.tree ? PickNode(a.focus, mx, my, a.tree->treeId, a) : nullptr;
    if (a.picked) m_mouseMode = NodePick;
    else if (m_mouseMode == Zooming && PressOnLink(mx, my)) m_mouseMode = LinkPick;
    Invalidate();
}

bool CCladoramaView::PressOnLink(double mx, double my) {
    if (!m_changesLayer.on || m_clientWidth <= 0 || m_clientHeight <= 0) return false;
    m_pickedLink = m_changesLayer.LinkAt(mx, my, 4.0 / m_clientWidth, 4.0 / m_clientHeight);
    return m_pickedLink >= 0;
}

void CCladoramaView::ChooseLink(int64_t link) {
    if (link < 0 || static_cast<size_t>(link) >= m_changesLayer.links().size() || !m_pDocument)
        return;
    const ChangeLink& l = m_changesLayer.links()[link];
    const ChangeList& list = m_pDocument->m_changes;
    m_changesLayer.highlightedRow = l.row;
    std::vector<const TreeNode*> framed;
    if (l.row < list.rows().size()) framed = list.sharedSpecies(list.rows()[l.row]);
    // The view moves its focus nodes; the nodes are the document's own.
    FlyToTaxa(const_cast<TreeNode*>(l.node1), const_cast<TreeNode*>(l.node2), std::move(framed));
    if (m_onChangeChosen) m_onChangeChosen(l.row);
}

void CCladoramaView::OnLButtonUp(unsigned, int x, int y) {
    switch (m_mouseMode) {
        case Zooming:
            m_mouseMode = Idle;
            ClientToNormalized(x, y, m_mouseX, m_mouseY);
            break;
        case OverviewPick:
            m_mouseMode = Idle;
            FlyToFocus();
            break;
        case LinkPick:
            m_mouseMode = Idle;
            ChooseLink(m_pickedLink);
            m_pickedLink = -1;
            break;
        case NodePick: {
            ViewPanel& a = *m_activePanel;
            ViewPanel& o = *m_otherPanel;
            TreeNode* f = a.picked;
            a.focus = f;
            TreeNode* c = f && o.tree ? FindNodeByLatinName(o.root, f->latinName, o.tree->treeId)
                                      : nullptr;
            if (c) {
                SetZoomLink(false);
                o.focus = c;
            } else if (f) {
                // No namesake: the other panel follows the nearest taxon both trees hold.
                SetZoomLink(true);
                TreeNode* q = f->parent;
                for (int i = 0; i < f->level && q; ++i, q = q->parent) {
                    if (q->onlyInTree == 0) {
                        o.focus = q;
                        break;
                    }
                }
            }
            FlyToFocus();
            m_mouseMode = Idle;
            break;
        }
        default:
            break;
    }
    Invalidate();
}

void CCladoramaView::OnRButtonDown(unsigned, int x, int y) {
    ClientToNormalized(x, y, m_mouseX, m_mouseY);
    const double mx = m_mouseX, my = m_mouseY;
    m_mouseMode = Zooming;
    m_zoomAction = ZoomOut;
    if (strictlyInside(m_legendPanel, mx, my)) {
        m_mouseMode = Idle;
        return;
    }
    if (inTreePanel(m_panel1, mx, my)) {
        m_activePanel = &m_panel1;
        m_otherPanel = &m_panel2;
    } else if (inTreePanel(m_panel2, mx, my)) {
        m_activePanel = &m_panel2;
        m_otherPanel = &m_panel1;
    } else if (strictlyInside(m_overview, mx, my)) {
        m_mouseMode = Idle;
    }
    Invalidate();
}

void CCladoramaView::OnRButtonUp(unsigned, int x, int y) {
    if (m_mouseMode != Zooming) return;
    m_mouseMode = Idle;
    ClientToNormalized(x, y, m_mouseX, m_mouseY);
}

void CCladoramaView::OnMButtonDown(unsigned, int x, int y) {
    m_zoomAction = Pan;
    ClientToNormalized(x, y, m_mouseX, m_mouseY);
    if (inTreePanel(m_panel1, m_mouseX, m_mouseY)) {
        m_mouseMode = Panning;
        m_activePanel = &m_panel1;
        m_otherPanel = &m_panel2;
    } else if (inTreePanel(m_panel2, m_mouseX, m_mouseY)) {
        m_mouseMode = Panning;
        m_activePanel = &m_panel2;
        m_otherPanel = &m_panel1;
    }
}

void CCladoramaView::OnMButtonUp(unsigned, int, int) {
    if (m_mouseMode == Panning) m_mouseMode = Idle;
}

void CCladoramaView::OnMouseMove(unsigned flags, int x, int y) {
    double nx, ny;
    ClientToNormalized(x, y, nx, ny);
    ViewPanel& a = *m_activePanel;
    const double dx = (nx - m_mouseX) / a.viewW;
    const double dy = (ny - m_mouseY) / a.viewH;
    m_mouseX = nx;
    m_mouseY = ny;
    if (m_mouseMode == Zooming) {
        Invalidate();
    } else if (m_mouseMode == Panning) {
        // The content follows the cursor exactly, without limit (in the window as drawn).
        RoundWindows round(*this);
        a.worldX = a.worldX - dx * a.worldW;
        a.worldY = a.worldY - dy * a.worldH;
        round.Unwiden();
        UpdateFocusFromWindow();
        if (m_zoomLink) CopyWorldToOther(&a);
        Invalidate();
    } else if (!(flags & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) &&
               strictlyInside(m_overview, nx, ny)) {
        UpdateOverviewHover(m_overview, nx, ny);
        Invalidate();
    }
}

bool CCladoramaView::OnKeyDown(unsigned key) {
    switch (key) {
        case 'D':
            if (m_pDocument) m_pDocument->m_searchResults.clear();
            m_overview.framedNodes.clear();
            Invalidate();
            return true;
        case 'F': {
            consolePrintf("Latin Name:     ");
            char word[64];
            const bool read = consoleReadWord(word, sizeof word);
            consolePrintf("\n");
            if (read && m_pDocument) FindNodeByLatinName(&m_pDocument->m_tree1, word, 0);
            Invalidate();
            return true;
        }
        case 'H':
            OnHome();
            return true;
        case 'L':
            OnZoomLink();
            return true;
        case 'T':
            SetOverviewStyle(m_overview.overviewStyle == 1 ? 0 : 1);
            m_overview.cacheDirty = 1;
            Invalidate();
            return true;
        case 'U':
            SetZoomLink(false);
            return true;
        default:
            return false;
    }
}
