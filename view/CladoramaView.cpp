#include "CladoramaView.h"

#include <array>
#include <cmath>

#include "CladoramaDoc.h"
#include "OverviewState.h"

namespace {

void setRect(ViewPanel& p, double x, double y, double w, double h) {
    p.viewX = x;
    p.viewY = y;
    p.viewW = w;
    p.viewH = h;
}

void setWorld(ViewPanel& p, double x, double y, double w, double h) {
    p.worldX = x;
    p.worldY = y;
    p.worldW = w;
    p.worldH = h;
}

}  // namespace

CCladoramaView::CCladoramaView() {
    setRect(m_panel1, -0.5, -0.1, 0.45, 0.6);
    setWorld(m_panel1, m_homeWindow[0], m_homeWindow[1], m_homeWindow[2], m_homeWindow[3]);
    m_panel1.kind = 0;
    setRect(m_panel2, 0.05, -0.1, 0.45, 0.6);
    setWorld(m_panel2, m_homeWindow[0], m_homeWindow[1], m_homeWindow[2], m_homeWindow[3]);
    m_panel2.kind = 0;
    setRect(m_legendPanel, -0.05, -0.1, 0.1, 0.6);
    setWorld(m_legendPanel, 0, 0, 1, 1);
    m_legendPanel.kind = 2;
    setRect(m_overview, -0.5, -0.5, 1.0, 0.4);
    setWorld(m_overview, 0, 0, 1, 1);
    m_overview.kind = 1;
    m_overview.overviewStyle = 1;
    m_overview.hovering = 0;
    m_overview.hoverNode = nullptr;
    m_overview.cacheDirty = 1;
}

int CCladoramaView::OnCreate(CCladoramaDoc* doc) {
    if (!doc) return -1;
    m_pDocument = doc;
    m_panel1.tree = &doc->m_tree1;
    m_panel2.tree = &doc->m_tree2;
    for (ViewPanel* p : {&m_panel1, &m_panel2}) {
        p->root = p->tree;
        p->focus = p->tree;
    }
    m_overview.tree = &doc->m_tree1;
    m_overview.targetPanel = &m_panel1;
    m_overview.pickTree = &doc->m_tree1;
    return 0;
}

void CCladoramaView::OnShowWindow(bool bShow, ViewSurface* surface, void* context) {
    if (bShow) {
        m_hDC = surface;
        m_hRC = context;
        if (m_pDocument) m_pDocument->m_pView = this;
    } else {
        m_hDC = nullptr;
        m_hRC = nullptr;
    }
}

void CCladoramaView::OnSize(int cx, int cy) {
    m_clientWidth = cx;
    m_clientHeight = cy;
    // Tree panel 2 takes the size computed from panel 1's fractions; both are the same.
    m_panel1.pixelH = static_cast<int32_t>(cy * m_panel1.viewH);
    m_panel2.pixelH = m_panel1.pixelH;
    m_panel1.pixelW = static_cast<int32_t>(cx * m_panel1.viewW);
    m_panel2.pixelW = m_panel1.pixelW;
    m_legendPanel.pixelH = static_cast<int32_t>(cy * m_legendPanel.viewH);
    m_legendPanel.pixelW = static_cast<int32_t>(cx * m_legendPanel.viewW);
    m_overview.pixelW = static_cast<int32_t>(cx * m_overview.viewW);
    m_overview.pixelH = static_cast<int32_t>(cy * m_overview.viewH);
    m_overview.cacheDirty = 1;
    if (m_hDC && m_hDC->MakeCurrent(m_hRC)) m_hDC->SetViewport(cx, cy);
    Invalidate();
}

CCladoramaView::RoundWindows::RoundWindows(CCladoramaView& view) : m_view(view) {
    if (!view.m_roundDiscs) return;
    ViewPanel* panels[2] = {&view.m_panel1, &view.m_panel2};
    for (int i = 0; i < 2; ++i) {
        ViewPanel& p = *panels[i];
        Saved& s = m_saved[i];
        s.square = {p.worldX, p.worldY, p.worldW, p.worldH};
        // The panel's shape on screen, against the world window's: the window is widened
        // along the longer side, about its centre, so that a unit is as many pixels across
        // as up. Panels within 2 % of their window's shape are drawn as they are.
        if (p.pixelW <= 0 || p.pixelH <= 0 || p.worldW <= 0 || p.worldH <= 0) continue;
        const double screen = static_cast<double>(p.pixelW) / p.pixelH;
        const double world = p.worldW / p.worldH;
        const double ratio = screen / world;
        if (std::fabs(ratio - 1) <= 0.02) continue;
        if (ratio > 1) {
            const double w = p.worldW * ratio;
            p.worldX -= (w - p.worldW) / 2;
            p.worldW = w;
        } else {
            const double h = p.worldH / ratio;
            p.worldY -= (h - p.worldH) / 2;
            p.worldH = h;
        }
        s.widened = {p.worldX, p.worldY, p.worldW, p.worldH};
        s.ratio = ratio;
        s.active = true;
    }
}

void CCladoramaView::RoundWindows::Restore() {
    ViewPanel* panels[2] = {&m_view.m_panel1, &m_view.m_panel2};
    for (int i = 0; i < 2; ++i) {
        Saved& s = m_saved[i];
        if (!s.active) continue;
        s.active = false;
        ViewPanel& p = *panels[i];
        // A flight started inside the frame has set windows of its own: they stand.
        if (std::array<double, 4>{p.worldX, p.worldY, p.worldW, p.worldH} != s.widened) continue;
        p.worldX = s.square[0];
        p.worldY = s.square[1];
        p.worldW = s.square[2];
        p.worldH = s.square[3];
    }
}

void CCladoramaView::RoundWindows::Unwiden() {
    ViewPanel* panels[2] = {&m_view.m_panel1, &m_view.m_panel2};
    for (int i = 0; i < 2; ++i) {
        Saved& s = m_saved[i];
        if (!s.active) continue;
        ViewPanel& p = *panels[i];
        if (std::array<double, 4>{p.worldX, p.worldY, p.worldW, p.worldH} == s.widened) continue;
        // Moved while widened: the same centre, the widened side narrowed back.
        s.active = false;
        if (s.ratio > 1) {
            const double w = p.worldW / s.ratio;
            p.worldX += (p.worldW - w) / 2;
            p.worldW = w;
        } else {
            const double h = p.worldH * s.ratio;
            p.worldY += (p.worldH - h) / 2;
            p.worldH = h;
        }
    }
    Restore();
}

void CCladoramaView::SetChangesShown(bool on) {
    m_changesLayer.on = on;
    if (!on) {
        m_changesLayer.drawnLinks.clear();
        m_changesLayer.drawnMarks.clear();
    }
    Invalidate();
}

void CCladoramaView::HighlightChange(int64_t row) {
    m_changesLayer.highlightedRow = row;
    Invalidate();
}

void CCladoramaView::SetRoundDiscs(bool on) {
    m_roundDiscs = on;
    Invalidate();
}

std::string CCladoramaView::ChangeTextAt(int x, int y) const {
    if (!m_changesLayer.on || !m_pDocument || m_clientWidth <= 0 || m_clientHeight <= 0) return {};
    double nx, ny;
    ClientToNormalized(x, y, nx, ny);
    const double px = 4.0 / m_clientWidth, py = 4.0 / m_clientHeight;
    const ChangesLayer& layer = m_changesLayer;
    const int64_t link = layer.LinkAt(nx, ny, px, py);
    if (link >= 0 && static_cast<size_t>(link) < layer.links().size())
        return ChangesLayer::Describe(m_pDocument->m_changes, layer.links()[link].row);
    const int64_t mark = layer.MarkAt(nx, ny, px, py);
    if (mark >= 0 && static_cast<size_t>(mark) < layer.marks().size())
        return ChangesLayer::Describe(m_pDocument->m_changes, layer.marks()[mark].row);
    return {};
}

bool CCladoramaView::TreesLoaded() const {
    return m_pDocument && !m_pDocument->m_tree1.children.empty() &&
           !m_pDocument->m_tree2.children.empty();
}

void CCladoramaView::OnDraw() {
    if (!m_hDC || !m_hDC->MakeCurrent(m_hRC)) return;
    const long started = m_framesPresented;
    m_hDC->BeginFrame();
    if (TreesLoaded()) {
        RoundWindows round(*this);
        // The panel the user last acted on is drawn first.
        m_hDC->DrawPanel(*m_activePanel);
        m_hDC->DrawPanel(*m_otherPanel);
        m_hDC->DrawRankStrip(m_legendPanel, m_panel1, m_panel2);
        m_hDC->DrawOverview(m_overview, m_panel1, m_panel2, *m_pDocument);
        // Over the overview too, whose changed taxa it outlines; a flight the overview
        // started has drawn frames of its own, and this one is not shown.
        if (m_changesLayer.on && m_hDC) {
            m_changesLayer.Sync(*m_pDocument);
            m_hDC->DrawChanges(m_changesLayer, m_panel1, m_panel2, m_legendPanel, m_overview);
        }
        round.Restore();
        // A held zoom button zooms once per frame: ZoomStep requests the next frame.
        if (m_mouseMode == Zooming) ZoomStep(m_mouseX, m_mouseY, m_zoomAction);
    }
    // The surface may have been dropped by a nested frame's handler; draw to what is held.
    // A frame inside which a flight presented frames of its own (a node-list selection
    // taken by the overview) is not presented: what it drew before the flight is stale,
    // and the flight's last frame already shows the picture as it is now.
    if (m_hDC && m_framesPresented == started) {
        m_hDC->SwapBuffers();
        ++m_framesPresented;
    }
}

void CCladoramaView::OnUpdate() {
    if (m_pDocument) {
        LayoutOverview(&m_pDocument->m_tree1, m_overview);
        LayoutOverview(&m_pDocument->m_tree2, m_overview);
    }
    m_overview.cacheDirty = 1;
    Invalidate();
}

void CCladoramaView::OnTreesReplaced() {
    // The tree objects themselves survive a reload (only their contents are exchanged), so
    // the roots stay valid; everything below them is about to be freed.
    m_changesLayer.Clear();
    m_pickedLink = -1;
    for (ViewPanel* p : {&m_panel1, &m_panel2}) {
        // Their pick boxes are freed with them.
        p->pickBoxNodes.clear();
        if (!p->tree) continue;
        p->root = p->tree;
        p->focus = p->tree;
        p->picked = p->tree;
    }
    if (m_overview.tree) m_overview.hoverNode = m_overview.tree;
    m_overview.framedNodes.clear();
}

void CCladoramaView::ZoomStep(double mx, double my, int32_t action) {
    // With round discs the point under the mouse is found in the window as drawn.
    RoundWindows round(*this);
    ViewPanel& p = *m_activePanel;
    const double ax = (mx - p.viewX) * p.worldW / p.viewW + p.worldX;
    const double ay = (my - p.viewY) * p.worldH / p.viewH + p.worldY;
    if (action == ZoomIn || action == ZoomOut) {
        const double factor = action == ZoomIn ? 0.9 : 1.1;
        p.worldW = factor * p.worldW;
        p.worldH = factor * p.worldH;
        p.worldX = ax - (mx - p.viewX) * p.worldW / p.viewW;
        p.worldY = ay - (my - p.viewY) * p.worldH / p.viewH;
    }
    if (action == ZoomOut) {
        // Only the lower-left corner and the size are limited; the upper-right corner may
        // pass the home window's.
        if (p.worldX < m_homeWindow[0]) p.worldX = m_homeWindow[0];
        if (p.worldY < m_homeWindow[1]) p.worldY = m_homeWindow[1];
        if (p.worldW > m_homeWindow[2]) p.worldW = m_homeWindow[2];
        if (p.worldH > m_homeWindow[3]) p.worldH = m_homeWindow[3];
    }
    round.Unwiden();
    if (m_zoomLink) CopyWorldToOther(&p);
    UpdateFocusFromWindow();
    Invalidate();
}

void CCladoramaView::UpdateFocusFromWindow() {
    ViewPanel& p = *m_activePanel;
    if (!p.root || !p.tree) return;
    TreeNode* n = FindEnclosingNode(p.root, &p, p.tree->treeId);
    if (n == p.focus) return;
    p.focus = n;
    if (m_zoomLink && n && n->onlyInTree == 0) m_otherPanel->focus = n;
}

TreeNode* CCladoramaView::FindEnclosingNode(TreeNode* node, const ViewPanel* panel,
                                            int treeId) const {
    const double mx = node->width / 5, my = node->height / 5;
    const bool covers = node->x - mx <= panel->worldX &&
                        node->x + node->width + mx >= panel->worldX + panel->worldW &&
                        node->y - my <= panel->worldY &&
                        node->y + node->height + my >= panel->worldY + panel->worldH;
    if (!covers) return node->level == 0 ? node : nullptr;
    for (TreeNode* child : node->children) {
        if (child->onlyInTree != 0 && child->onlyInTree != treeId) continue;
        if (TreeNode* found = FindEnclosingNode(child, panel, treeId)) return found;
    }
    return node;
}

void CCladoramaView::CopyWorldToOther(const ViewPanel* panel) {
    m_otherPanel->worldX = panel->worldX;
    m_otherPanel->worldY = panel->worldY;
    m_otherPanel->worldW = panel->worldW;
    m_otherPanel->worldH = panel->worldH;
}

void CCladoramaView::FlyToFocus() {
    ViewPanel& a = *m_activePanel;
    ViewPanel& o = *m_otherPanel;
    if (!a.focus || !o.focus) return;

    struct Window {
        double x, y, w, h;
    };
    auto target = [](const TreeNode* f) {
        return Window{f->x - f->width / 20, f->y - f->height / 20, f->width + f->width / 10,
                      f->height + f->height / 10};
    };
    const Window t = target(a.focus);
    const Window to = m_zoomLink ? t : target(o.focus);
    const Window a0{a.worldX, a.worldY, a.worldW, a.worldH};
    const Window o0{o.worldX, o.worldY, o.worldW, o.worldH};

    // A node without an extent (never laid out) gives no window to fly to: the ratios
    // below would be zero or infinite and the step count meaningless.
    if (!(t.w > 0 && t.h > 0 && a0.w > 0 && a0.h > 0 && std::isfinite(t.w / a0.w) &&
          std::isfinite(t.h / a0.h))) {
        OnDraw();
        return;
    }

    const double dL = t.x - a0.x;
    const double dR = (a0.x + a0.w) - (t.x + t.w);
    const double dB = t.y - a0.y;
    const double dT = (a0.y + a0.h) - (t.y + t.h);
    const double rw = t.w / a0.w, rh = t.h / a0.h;
    const bool linear = 0.7 < rw && rw < 1.5 && 0.7 < rh && rh < 1.5;
    int count = 20;
    double sw = 1, sh = 1;
    if (!linear) {
        count = static_cast<int>(std::fabs(std::log(rw)) * 10);
        if (count > 0) {
            sw = std::pow(rw, 1.0 / count);
            sh = std::pow(rh, 1.0 / count);
        }
    }

    for (int i = 0; i < count; ++i) {
        // A single step lands on the target (i / (count - 1) would be 0 / 0).
        const double f = count > 1 ? static_cast<double>(i) / (count - 1) : 1.0;
        if (linear) {
            a.worldX = (1 - f) * a0.x + f * t.x;
            a.worldY = (1 - f) * a0.y + f * t.y;
            a.worldW = (1 - f) * a0.w + f * t.w;
            a.worldH = (1 - f) * a0.h + f * t.h;
        } else {
            a.worldW = a.worldW * sw;
            a.worldH = a.worldH * sh;
            // The edge gaps shrink in the same proportion on both sides.
            a.worldX = (t.x * dR - (a.worldW - (t.x + t.w)) * dL) / (dR + dL);
            a.worldY = (t.y * dT - (a.worldH - (t.y + t.h)) * dB) / (dT + dB);
        }
        if (m_zoomLink) {
            CopyWorldToOther(&a);
        } else {
            o.worldX = (1 - f) * o0.x + f * to.x;
            o.worldY = (1 - f) * o0.y + f * to.y;
            o.worldW = (1 - f) * o0.w + f * to.w;
            o.worldH = (1 - f) * o0.h + f * to.h;
        }
        OnDraw();
    }
    OnDraw();
}

void CCladoramaView::OnHome() {
    ViewPanel& a = *m_activePanel;
    setWorld(a, m_homeWindow[0], m_homeWindow[1], m_homeWindow[2], m_homeWindow[3]);
    a.focus = a.root;
    if (m_zoomLink) {
        CopyWorldToOther(&a);
        m_otherPanel->focus = m_otherPanel->root;
    }
    Invalidate();
}

void CCladoramaView::OnZoomLink() { SetZoomLink(true); }

void CCladoramaView::SetZoomLink(bool on) {
    m_zoomLink = on;
    if (m_pDocument && m_pDocument->m_pFramework) m_pDocument->m_pFramework->CheckZoomLinkButton(on);
}

void CCladoramaView::SetOverviewStyle(int style) {
    m_overview.overviewStyle = static_cast<uint8_t>(style);
    if (m_pDocument && m_pDocument->m_pFramework) m_pDocument->m_pFramework->CheckStyleButtons(style);
}

void CCladoramaView::Invalidate() {
    if (m_hDC) m_hDC->Invalidate();
}
