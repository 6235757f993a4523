// The overview's layout of boxes in bands, its hover test and label, and the hand-over of
// a node-list selection to the tree panels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "OverviewState.h"
#include "ViewFixture.h"

namespace {

double bottom(const TreeNode* n) { return n->overviewY - n->overviewHeight; }
double right(const TreeNode* n) { return n->overviewX + n->overviewWidth; }

// The worked example: a root with a leaf A and a node B with two leaves.
struct SmallTree {
    ClassificationTree tree;
    TreeNode *a, *b, *b1, *b2;
    SmallTree() {
        nameRoot(tree, "Root");
        tree.maxLevel = 2;
        a = addNode(&tree, "A");
        b = addNode(&tree, "B");
        b1 = addNode(b, "B1");
        b2 = addNode(b, "B2");
        tree.combinedDescendantCount = 4;
        b->combinedDescendantCount = 2;
    }
};

// A window whose overview drawing takes a pending node-list selection, as the real one does.
struct HandOverSurface : RecordingSurface {
    void DrawOverview(OverviewPanel& ov, ViewPanel& p1, ViewPanel& p2, CCladoramaDoc& doc) override {
        RecordingSurface::DrawOverview(ov, p1, p2, doc);
        ConsumeNodeListSelection(ov, p1, p2, doc);
    }
};

}  // namespace

TEST(OverviewLayout, BandsOfEqualHeightInTheMiddleOfTheOverview) {
    ViewFixture f;
    TreeNode* n = &f.doc.m_tree1;
    for (int level = 1; level <= 8; ++level) n = addNode(n, ("L" + std::to_string(level)).c_str());
    f.doc.m_tree1.maxLevel = 8;
    f.doc.m_tree2.maxLevel = 0;
    f.view.OnUpdate();  // lays out both trees
    const TreeNode& root = f.doc.m_tree1;
    EXPECT_DOUBLE_EQ(root.overviewX, -0.45);
    EXPECT_DOUBLE_EQ(right(&root), 0.45);
    EXPECT_NEAR(root.overviewY, -0.12, 1e-15);
    EXPECT_NEAR(bottom(&root), -0.16, 1e-15);
    EXPECT_NEAR(bottom(n), -0.48, 1e-15);
    EXPECT_NEAR(n->overviewHeight, 0.04, 1e-15);
    EXPECT_NEAR(bottom(&f.doc.m_tree2), -0.48, 1e-15);  // one band: the whole height
    EXPECT_EQ(f.view.m_overview.cacheDirty, 1);
}

TEST(OverviewLayout, ChildrenShareTheParentsWidthByTheirCountsLessOnePixelGaps) {
    OverviewPanel ov;
    ov.viewY = -0.5;
    ov.viewH = 0.4;

    // Width unknown (before the first resize): no gaps, the shares exactly.
    SmallTree s;
    LayoutOverview(&s.tree, ov);
    EXPECT_DOUBLE_EQ(s.a->overviewWidth, 0.225);
    EXPECT_DOUBLE_EQ(s.b->overviewWidth, 0.675);
    EXPECT_DOUBLE_EQ(s.b1->overviewWidth, 0.3375);
    EXPECT_DOUBLE_EQ(s.b2->overviewX, s.b1->overviewX + 0.3375);
    EXPECT_DOUBLE_EQ(s.b->overviewY, bottom(&s.tree));

    // 1000 pixels: siblings one pixel apart, the last one ending on its parent's edge.
    ov.pixelW = 1000;
    LayoutOverview(&s.tree, ov);
    EXPECT_DOUBLE_EQ(s.a->overviewWidth, (0.9 - 0.001) * 1 / 4);
    EXPECT_DOUBLE_EQ(s.b->overviewX, -0.45 + s.a->overviewWidth + 0.001);
    EXPECT_DOUBLE_EQ(s.b1->overviewWidth, (s.b->overviewWidth - 0.001) / 2);
    EXPECT_DOUBLE_EQ(s.b2->overviewX, right(s.b1) + 0.001);
    EXPECT_NEAR(right(s.b2), right(s.b), 1e-15);
    EXPECT_NEAR(right(s.b), 0.45, 1e-15);

    // Eight pixels: eight children leave seven gaps of 0.125 in 0.9; nine would need 1.0.
    for (int children : {8, 9}) {
        ClassificationTree t;
        nameRoot(t, "Root");
        t.maxLevel = 1;
        t.combinedDescendantCount = children;
        for (int i = 0; i < children; ++i) addNode(&t, "Leaf");
        ov.pixelW = 8;
        LayoutOverview(&t, ov);
        const TreeNode* second = t.children[1];
        if (children == 8) {
            EXPECT_DOUBLE_EQ(second->overviewWidth, (0.9 - 0.875) / 8);
            EXPECT_DOUBLE_EQ(second->overviewX, -0.45 + (0.9 - 0.875) / 8 + 0.125);
        } else {
            EXPECT_DOUBLE_EQ(second->overviewWidth, 0.1);
            EXPECT_DOUBLE_EQ(second->overviewX, -0.35);
        }
    }

    // An only child before the first resize, and counts never computed: finite boxes.
    ClassificationTree t;
    nameRoot(t, "Root");
    TreeNode* only = addNode(addNode(&t, "Only"), "Leaf");
    ov.pixelW = 0;
    LayoutOverview(&t, ov);
    EXPECT_TRUE(std::isfinite(only->overviewX) && std::isfinite(only->overviewWidth));
    EXPECT_DOUBLE_EQ(only->overviewWidth, 0.9);
}

TEST(OverviewHover, BoxUnderTheMouseAndItsLabel) {
    SmallTree s;
    OverviewPanel ov;
    ov.viewY = -0.5;
    ov.viewH = 0.4;
    ov.pixelW = 1000;
    ov.pickTree = &s.tree;
    LayoutOverview(&s.tree, ov);

    const double yB = s.b->overviewY - 0.01;
    UpdateOverviewHover(ov, 0.1, yB);
    EXPECT_EQ(ov.hovering, 1);
    EXPECT_EQ(ov.hoverNode, s.b);
    EXPECT_EQ(ov.hoverX, 0.1);
    EXPECT_EQ(ov.hoverY, yB);
    UpdateOverviewHover(ov, right(s.a) + 0.0005, yB);  // the gap between A and B
    EXPECT_EQ(ov.hovering, 0);
    EXPECT_EQ(ov.hoverNode, nullptr);

    char text[kHoverLabelSize];
    EXPECT_EQ(ComposeHoverLabel(*s.b, text, sizeof text), 4u);
    EXPECT_STREQ(text, "B, 2");
    // A name longer than the buffer is cut; the count stays.
    const std::string longName(100, 'x');
    TreeNode* wordy = addNode(s.b1, longName.c_str());
    for (int i = 0; i < 12; ++i) addNode(wordy, "Leaf");
    EXPECT_EQ(ComposeHoverLabel(*wordy, text, sizeof text), 63u);
    EXPECT_EQ(std::string(text), std::string(59, 'x') + ", 12");
}

TEST(NodeListSelection, FocusesThePanelOfItsTreeSwitchesTheLinkOffAndFlies) {
    ViewFixture f;
    ButtonFramework framework;
    f.doc.m_pFramework = &framework;
    HandOverSurface surface;
    surface.view = &f.view;
    f.view.OnShowWindow(true, &surface, &f.context);
    TreeNode* own1 = placedNode(&f.doc.m_tree1, "Solus", 0.1, 0.1, 0.3, 1);
    TreeNode* common1 = placedNode(&f.doc.m_tree1, "Felis", 0.5, 0.5, 0.3, 0);
    placedNode(&f.doc.m_tree2, "Felis", 0.5, 0.5, 0.3, 0);
    TreeNode* own2 = placedNode(&f.doc.m_tree2, "Alius", 0.5, 0.1, 0.3, 2);
    CNodeListDlg& list = *f.doc.m_pNodeListDlg;
    list.m_pDoc = &f.doc;
    for (const char* line : {"Solus", "Alius", "Felis"}) list.AddString(line);
    f.doc.m_searchResults = {own1, own2, common1};

    // Tree 2's own taxon: panel 2 becomes the active panel with it as its focus.
    list.OnSelChange(1);
    EXPECT_TRUE(f.doc.m_bNodeSelected);
    f.view.OnDraw();
    EXPECT_FALSE(f.doc.m_bNodeSelected);
    EXPECT_FALSE(f.view.m_zoomLink);
    EXPECT_EQ(framework.log, "update link:off ");
    EXPECT_EQ(f.view.m_panel2.focus, own2);
    EXPECT_EQ(f.view.m_activePanel, &f.view.m_panel2);
    EXPECT_EQ(f.view.m_otherPanel, &f.view.m_panel1);
    EXPECT_EQ(f.view.m_overview.targetPanel, &f.view.m_panel2);
    EXPECT_NEAR(f.view.m_panel2.worldW, 0.33, 1e-12);
    EXPECT_NEAR(f.view.m_panel2.worldX, 0.5 - 0.015, 1e-12);
    // The flight's frames are presented, and the frame that started it is not: it was
    // drawn before the panels moved. A flight from 1.1 to 0.33 takes |ln 0.3| * 10 steps.
    EXPECT_EQ(surface.frames(), static_cast<int>(std::fabs(std::log(0.33 / 1.1)) * 10) + 1);

    // A common taxon goes to the panel the overview targets; the active panel stays.
    f.view.m_overview.targetPanel = &f.view.m_panel1;
    list.OnSelChange(2);
    f.view.OnDraw();
    EXPECT_EQ(f.view.m_panel1.focus, common1);
    EXPECT_EQ(f.view.m_activePanel, &f.view.m_panel2);

    // A line with no result behind it (the results were cleared) moves no focus, but the
    // flag is lowered and the panels fly all the same.
    f.doc.m_searchResults.clear();
    framework.log.clear();
    f.view.SetZoomLink(true);
    list.OnSelChange(0);
    const int before = surface.frames();
    f.view.OnDraw();
    EXPECT_FALSE(f.doc.m_bNodeSelected);
    EXPECT_TRUE(f.view.m_zoomLink);
    EXPECT_EQ(framework.log, "link:on update ");
    EXPECT_EQ(f.view.m_panel1.focus, common1);
    EXPECT_EQ(f.view.m_panel2.focus, own2);
    EXPECT_GT(surface.frames(), before + 1);
    f.view.OnShowWindow(false, nullptr, nullptr);
}
