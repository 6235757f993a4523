// The view's record: initial values, binding to the document, resizing, zooming and the
// focus that follows the world window.
#include <gtest/gtest.h>

#include <cmath>

#include "ViewFixture.h"

namespace {

void expectRect(const ViewPanel& p, double x, double y, double w, double h) {
    EXPECT_DOUBLE_EQ(p.viewX, x);
    EXPECT_DOUBLE_EQ(p.viewY, y);
    EXPECT_DOUBLE_EQ(p.viewW, w);
    EXPECT_DOUBLE_EQ(p.viewH, h);
}

void expectWorld(const ViewPanel& p, double x, double y, double w, double h) {
    EXPECT_DOUBLE_EQ(p.worldX, x);
    EXPECT_DOUBLE_EQ(p.worldY, y);
    EXPECT_DOUBLE_EQ(p.worldW, w);
    EXPECT_DOUBLE_EQ(p.worldH, h);
}

}  // namespace

TEST(ViewSetup, ConstructorLaysOutFourPanelsAndTheStartState) {
    CCladoramaView v;
    expectRect(v.m_panel1, -0.5, -0.1, 0.45, 0.6);
    expectRect(v.m_panel2, 0.05, -0.1, 0.45, 0.6);
    expectRect(v.m_legendPanel, -0.05, -0.1, 0.1, 0.6);
    expectRect(v.m_overview, -0.5, -0.5, 1.0, 0.4);
    expectWorld(v.m_panel1, -0.05, -0.05, 1.1, 1.1);
    expectWorld(v.m_panel2, -0.05, -0.05, 1.1, 1.1);
    expectWorld(v.m_legendPanel, 0, 0, 1, 1);
    expectWorld(v.m_overview, 0, 0, 1, 1);
    EXPECT_EQ(v.m_panel1.kind, 0);
    EXPECT_EQ(v.m_panel2.kind, 0);
    EXPECT_EQ(v.m_legendPanel.kind, 2);
    EXPECT_EQ(v.m_overview.kind, 1);
    const ViewPanel* panels[] = {&v.m_panel1, &v.m_panel2, &v.m_legendPanel, &v.m_overview};
    for (const ViewPanel* p : panels) {
        for (float c : p->color) EXPECT_EQ(c, 0.78431374f);
    }
    EXPECT_EQ(v.m_activePanel, &v.m_panel1);
    EXPECT_EQ(v.m_otherPanel, &v.m_panel2);
    EXPECT_TRUE(v.m_zoomLink);
    EXPECT_EQ(v.m_mouseMode, Idle);
    EXPECT_EQ(v.m_homeWindow[0], -0.05);
    EXPECT_EQ(v.m_homeWindow[2], 1.1);
    EXPECT_EQ(v.m_overview.overviewStyle, 1);
    EXPECT_EQ(v.m_overview.hovering, 0);
    EXPECT_EQ(v.m_overview.hoverNode, nullptr);
    EXPECT_TRUE(v.m_overview.pixelCache.empty());
    EXPECT_EQ(v.m_overview.cacheDirty, 1);
    EXPECT_EQ(v.m_overview.tree, nullptr);
    EXPECT_EQ(v.m_hDC, nullptr);
    EXPECT_EQ(v.m_hRC, nullptr);
}

TEST(ViewSetup, CreationBindsPanelsToTheDocumentTreesBeforeAnythingIsLoaded) {
    CCladoramaDoc doc;
    CCladoramaView v;
    EXPECT_EQ(v.OnCreate(nullptr), -1);
    ASSERT_EQ(v.OnCreate(&doc), 0);
    EXPECT_EQ(v.m_panel1.tree, &doc.m_tree1);
    EXPECT_EQ(v.m_panel2.tree, &doc.m_tree2);
    EXPECT_EQ(v.m_panel1.root, &doc.m_tree1);
    EXPECT_EQ(v.m_panel1.focus, &doc.m_tree1);
    EXPECT_EQ(v.m_panel2.root, &doc.m_tree2);
    EXPECT_EQ(v.m_panel2.focus, &doc.m_tree2);
    EXPECT_EQ(v.m_overview.tree, &doc.m_tree1);
    EXPECT_EQ(v.m_overview.targetPanel, &v.m_panel1);
    EXPECT_EQ(v.m_overview.pickTree, &doc.m_tree1);
    // The document learns of the view only when it is shown.
    EXPECT_EQ(doc.m_pView, nullptr);
    RecordingSurface s;
    int ctx = 0;
    v.OnShowWindow(true, &s, &ctx);
    EXPECT_EQ(doc.m_pView, &v);
    EXPECT_EQ(v.m_hDC, &s);
    v.OnShowWindow(false, nullptr, nullptr);
    EXPECT_EQ(v.m_hDC, nullptr);
    EXPECT_EQ(v.m_hRC, nullptr);
}

TEST(ViewSetup, ResizeGivesPixelSizesFromTheFractionsAndStalesTheOverview) {
    ViewFixture f;
    f.view.m_overview.cacheDirty = 0;
    f.view.OnSize(1000, 700);
    EXPECT_EQ(f.view.m_panel1.pixelW, 450);
    EXPECT_EQ(f.view.m_panel1.pixelH, 420);
    EXPECT_EQ(f.view.m_panel2.pixelW, 450);
    EXPECT_EQ(f.view.m_panel2.pixelH, 420);
    EXPECT_EQ(f.view.m_legendPanel.pixelW, 100);
    EXPECT_EQ(f.view.m_legendPanel.pixelH, 420);
    EXPECT_EQ(f.view.m_overview.pixelW, 1000);
    EXPECT_EQ(f.view.m_overview.pixelH, 280);
    EXPECT_EQ(f.view.m_overview.cacheDirty, 1);
    EXPECT_EQ(f.surface.viewportW, 1000);
    EXPECT_EQ(f.surface.viewportH, 700);
    EXPECT_EQ(f.surface.invalidations, 1);

    // Products are truncated toward zero, and panel 2 copies panel 1's sizes.
    f.view.m_panel2.viewW = 0.3;
    f.view.OnSize(1024, 333);
    EXPECT_EQ(f.view.m_panel1.pixelW, 460);
    EXPECT_EQ(f.view.m_panel2.pixelW, 460);
    EXPECT_EQ(f.view.m_panel1.pixelH, 199);  // 199.8
    EXPECT_EQ(f.view.m_legendPanel.pixelW, 102);
    EXPECT_EQ(f.view.m_overview.pixelH, 133);  // 133.2
}

TEST(ViewSetup, ResizeWithoutAContextStillSizesThePanels) {
    ViewFixture f;
    f.surface.hasContext = false;
    f.view.OnSize(800, 600);
    EXPECT_EQ(f.view.m_panel1.pixelW, 360);
    EXPECT_EQ(f.surface.viewportW, -1);
}

TEST(ZoomStep, KeepsTheWorldPointUnderTheMouseAndScalesByTheFactor) {
    ViewFixture f;
    f.view.m_zoomLink = false;
    ViewPanel& p = f.view.m_panel1;
    const double mx = -0.3, my = 0.25;
    const double ax = p.toWorldX(mx), ay = p.toWorldY(my);
    f.view.ZoomStep(mx, my, ZoomIn);
    EXPECT_NEAR(p.worldW, 1.1 * 0.9, 1e-15);
    EXPECT_NEAR(p.worldH, 1.1 * 0.9, 1e-15);
    EXPECT_NEAR(p.toWorldX(mx), ax, 1e-14);
    EXPECT_NEAR(p.toWorldY(my), ay, 1e-14);
    f.view.ZoomStep(mx, my, ZoomOut);
    EXPECT_NEAR(p.worldW, 1.1 * 0.9 * 1.1, 1e-15);
    EXPECT_NEAR(p.toWorldX(mx), ax, 1e-14);
    EXPECT_NEAR(p.toWorldY(my), ay, 1e-14);
    // Without Zoom Link the other panel stays home; every step asks for a frame.
    EXPECT_DOUBLE_EQ(f.view.m_panel2.worldW, 1.1);
    EXPECT_EQ(f.surface.invalidations, 2);

    // Zooming in has no limit.
    for (int i = 0; i < 400; ++i) f.view.ZoomStep(mx, my, ZoomIn);
    EXPECT_LT(p.worldW, 1e-15);
    EXPECT_GT(p.worldW, 0);
}

TEST(ZoomStep, ZoomingOutIsClampedAtTheLowerLeftCornerAndSizeOnly) {
    ViewFixture f;
    ViewPanel& p = f.view.m_panel1;
    f.view.ZoomStep(-0.45, -0.05, ZoomOut);  // near the panel's lower-left corner
    EXPECT_DOUBLE_EQ(p.worldW, 1.1);
    EXPECT_DOUBLE_EQ(p.worldH, 1.1);
    EXPECT_DOUBLE_EQ(p.worldX, -0.05);
    EXPECT_DOUBLE_EQ(p.worldY, -0.05);

    // From a small window near the upper right, zooming out lets the right and top edges
    // pass the home window's 1.05 while the size stops at 1.1.
    p.worldX = 0.8;
    p.worldY = 0.8;
    p.worldW = p.worldH = 0.2;
    for (int i = 0; i < 40; ++i) f.view.ZoomStep(-0.49, -0.09, ZoomOut);
    EXPECT_DOUBLE_EQ(p.worldW, 1.1);
    EXPECT_DOUBLE_EQ(p.worldH, 1.1);
    EXPECT_GE(p.worldX, -0.05);
    EXPECT_GT(p.worldX + p.worldW, 1.05);
    EXPECT_GT(p.worldY + p.worldH, 1.05);
    // Zoom Link copies every change to the other panel.
    EXPECT_DOUBLE_EQ(f.view.m_panel2.worldX, p.worldX);
    EXPECT_DOUBLE_EQ(f.view.m_panel2.worldH, p.worldH);
}

TEST(ZoomStep, AnyOtherActionLeavesTheWindowButStillTracksAndRedraws) {
    ViewFixture f;
    ViewPanel& p = f.view.m_panel2;
    f.view.m_activePanel = &p;
    f.view.m_otherPanel = &f.view.m_panel1;
    p.worldX = 0.2;
    p.worldW = 0.3;
    f.view.ZoomStep(0.1, 0.1, Pan);
    EXPECT_DOUBLE_EQ(p.worldX, 0.2);
    EXPECT_DOUBLE_EQ(p.worldW, 0.3);
    EXPECT_DOUBLE_EQ(f.view.m_panel1.worldX, 0.2);  // copied to the other panel
    EXPECT_EQ(f.surface.invalidations, 1);
}

// Tree 1: root, A (common) at 0.1..0.4 holding A1 (common) and A2 (tree 1 only); B only in
// tree 2 at 0.5..0.8.
struct FocusTrees : ::testing::Test, ViewFixture {
    TreeNode *a, *a1, *a2, *b, *a_2;
    FocusTrees() {
        a = placedNode(&doc.m_tree1, "A", 0.1, 0.1, 0.3, 0, "Order");
        a1 = placedNode(a, "A1", 0.15, 0.15, 0.1, 0, "Family");
        a2 = placedNode(a, "A2", 0.26, 0.26, 0.1, 1, "Family");
        b = placedNode(&doc.m_tree1, "B", 0.5, 0.5, 0.3, 2, "Order");
        a_2 = placedNode(&doc.m_tree2, "A", 0.1, 0.1, 0.3, 0, "Order");
    }
    void setWindow(ViewPanel& p, double x, double y, double w) {
        p.worldX = x;
        p.worldY = y;
        p.worldW = p.worldH = w;
    }
};

TEST_F(FocusTrees, EnclosingNodeIsTheDeepestWhoseEnlargedSquareCoversTheWindow) {
    ViewPanel& p = view.m_panel1;
    // The home window is wider than the root's enlarged square: the root is the answer.
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), &doc.m_tree1);
    // A window entirely outside the root's enlarged square still gives the root.
    setWindow(p, 5, 5, 0.1);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), &doc.m_tree1);
    // Inside A: the enlargement by a fifth counts (A spans 0.04..0.46 enlarged).
    setWindow(p, 0.045, 0.045, 0.41);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), a);
    setWindow(p, 0.035, 0.045, 0.41);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), &doc.m_tree1);
    // Deeper: A1 (enlarged 0.13..0.27) and, for a non-root node not covering, null.
    setWindow(p, 0.14, 0.14, 0.12);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), a1);
    EXPECT_EQ(view.FindEnclosingNode(b, &p, 1), nullptr);
    // A2 is tree 1's own and is found in tree 1; B belongs to tree 2 and is skipped there.
    setWindow(p, 0.27, 0.27, 0.08);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), a2);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 2), a);
    setWindow(p, 0.55, 0.55, 0.2);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 1), &doc.m_tree1);
    EXPECT_EQ(view.FindEnclosingNode(&doc.m_tree1, &p, 2), b);
}

TEST_F(FocusTrees, FocusFollowsTheWindowAndZoomLinkSharesOnlyCommonNodes) {
    ViewPanel& p1 = view.m_panel1;
    ViewPanel& p2 = view.m_panel2;
    setWindow(p1, 0.14, 0.14, 0.12);
    view.UpdateFocusFromWindow();
    EXPECT_EQ(p1.focus, a1);
    EXPECT_EQ(p2.focus, a1);  // common: shared, although it is tree 1's node

    // A node of tree 1 only becomes panel 1's focus alone.
    p2.focus = &doc.m_tree2;
    setWindow(p1, 0.27, 0.27, 0.08);
    view.UpdateFocusFromWindow();
    EXPECT_EQ(p1.focus, a2);
    EXPECT_EQ(p2.focus, &doc.m_tree2);

    // Without Zoom Link nothing is shared.
    view.m_zoomLink = false;
    setWindow(p1, 0.045, 0.045, 0.41);
    view.UpdateFocusFromWindow();
    EXPECT_EQ(p1.focus, a);
    EXPECT_EQ(p2.focus, &doc.m_tree2);

    // An unchanged focus changes nothing, not even the other panel's.
    view.m_zoomLink = true;
    view.UpdateFocusFromWindow();
    EXPECT_EQ(p2.focus, &doc.m_tree2);
}

TEST_F(FocusTrees, ZoomingIntoANodeMakesItTheFocusOfBothPanels) {
    // Centre the window on A1 and zoom in about the panel's centre until A1's enlarged
    // square (0.14 wide) covers the window.
    ViewPanel& p1 = view.m_panel1;
    setWindow(p1, 0.2 - 0.55, 0.2 - 0.55, 1.1);
    const double mx = p1.viewX + p1.viewW / 2, my = p1.viewY + p1.viewH / 2;
    for (int i = 0; i < 60 && p1.focus != a1; ++i) view.ZoomStep(mx, my, ZoomIn);
    EXPECT_EQ(p1.focus, a1);
    EXPECT_EQ(view.m_panel2.focus, a1);
    EXPECT_LE(p1.worldW, 0.1 * 1.4);
    EXPECT_GT(p1.worldW, 0.1 * 1.4 * 0.9);  // the first step that fits, not later
}

TEST_F(FocusTrees, HomeResetsTheActivePanelAndWithZoomLinkTheOther) {
    setWindow(view.m_panel1, 0.2, 0.2, 0.1);
    setWindow(view.m_panel2, 0.3, 0.3, 0.1);
    view.m_panel1.focus = a1;
    view.m_panel2.focus = a_2;
    view.m_zoomLink = false;
    view.OnHome();
    EXPECT_DOUBLE_EQ(view.m_panel1.worldW, 1.1);
    EXPECT_EQ(view.m_panel1.focus, &doc.m_tree1);
    EXPECT_DOUBLE_EQ(view.m_panel2.worldX, 0.3);
    EXPECT_EQ(view.m_panel2.focus, a_2);
    view.OnZoomLink();
    EXPECT_TRUE(view.m_zoomLink);
    view.OnHome();
    EXPECT_DOUBLE_EQ(view.m_panel2.worldX, -0.05);
    EXPECT_EQ(view.m_panel2.focus, &doc.m_tree2);
}

TEST_F(FocusTrees, ReplacedTreesMoveEveryNodePointerToTheRoots) {
    view.m_panel1.focus = a1;
    view.m_panel1.picked = a2;
    view.m_panel2.focus = a_2;
    view.m_panel2.picked = a_2;
    view.m_overview.hoverNode = b;
    view.OnTreesReplaced();
    EXPECT_EQ(view.m_panel1.root, &doc.m_tree1);
    EXPECT_EQ(view.m_panel1.focus, &doc.m_tree1);
    EXPECT_EQ(view.m_panel1.picked, &doc.m_tree1);
    EXPECT_EQ(view.m_panel2.focus, &doc.m_tree2);
    EXPECT_EQ(view.m_panel2.picked, &doc.m_tree2);
    EXPECT_EQ(view.m_overview.hoverNode, &doc.m_tree1);
}
