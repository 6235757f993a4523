// Finding nodes under a point of a tree panel or of the overview, and by Latin name.
#include <gtest/gtest.h>

#include "Picking.h"
#include "ViewFixture.h"

namespace {

void setBox(TreeNode* n, double left, double right, double bottom, double top) {
    n->hitLeft = left;
    n->hitRight = right;
    n->hitBottom = bottom;
    n->hitTop = top;
}

void setOverviewBox(TreeNode* n, double x, double top, double w, double h) {
    n->overviewX = x;
    n->overviewY = top;
    n->overviewWidth = w;
    n->overviewHeight = h;
}

// A panel that shows world (0..1, 0..1) in the window rectangle (0..1, 0..1): world and
// window coordinates coincide.
struct IdentityPanel : ViewPanel {
    IdentityPanel() {
        viewX = viewY = 0;
        viewW = viewH = 1;
        worldX = worldY = 0;
        worldW = worldH = 1;
    }
};

}  // namespace

TEST(PickNode, FlagBoxesOfThePanelsOwnTreeOnlyEdgesIncludedFirstInChildOrder) {
    ClassificationTree tree;
    nameRoot(tree, "Root");
    tree.x = tree.y = 0;
    tree.width = tree.height = 1;
    TreeNode* common = placedNode(&tree, "Common", 0.1, 0.1, 0.5, 0);
    TreeNode* mine = placedNode(common, "Mine", 0.2, 0.2, 0.1, 1);
    TreeNode* overlapping = placedNode(common, "Later", 0.2, 0.2, 0.1, 1);
    TreeNode* theirs = placedNode(&tree, "Theirs", 0.7, 0.7, 0.2, 2);
    const IdentityPanel panel;

    // The common node's own box is never a pick, even where it holds the point.
    setBox(common, 0.3, 0.4, 0.3, 0.4);
    EXPECT_EQ(PickNode(&tree, 0.35, 0.35, 1, panel), nullptr);
    // A flagged node below a common one is found; on the box's edges and corners too.
    setBox(mine, 0.3, 0.4, 0.3, 0.4);
    setBox(overlapping, 0.3, 0.4, 0.3, 0.4);
    for (auto [x, y] : {std::pair{0.3, 0.3}, {0.4, 0.4}, {0.3, 0.4}, {0.35, 0.3}})
        EXPECT_EQ(PickNode(&tree, x, y, 1, panel), mine) << x << "," << y;
    EXPECT_EQ(PickNode(&tree, 0.4000001, 0.35, 1, panel), nullptr);
    // Of two overlapping boxes the first in child order wins.
    ClearPickBox(*mine);
    EXPECT_EQ(PickNode(&tree, 0.35, 0.35, 1, panel), overlapping);
    // A node of the other tree carries no flag in this panel.
    setBox(theirs, 0.75, 0.8, 0.75, 0.8);
    EXPECT_EQ(PickNode(&tree, 0.78, 0.78, 1, panel), nullptr);
    EXPECT_EQ(PickNode(&tree, 0.78, 0.78, 2, panel), theirs);
    // A box outside its ancestors' squares is out of reach: the search stops at a square
    // that does not hold the point.
    setBox(overlapping, 0.62, 0.64, 0.3, 0.4);
    EXPECT_EQ(PickNode(&tree, 0.63, 0.35, 1, panel), nullptr);
    EXPECT_EQ(PickNode(common, 0.63, 0.35, 1, panel), nullptr);
}

TEST(PickNode, SquaresMapThroughTheWorldWindowAndBoxesLiveOneFrame) {
    TreeNode n;
    n.x = 0.25;
    n.y = 0.5;
    n.width = n.height = 0.25;
    ViewPanel p;
    p.viewX = -0.5;
    p.viewY = -0.25;
    p.viewW = 0.5;
    p.viewH = 0.5;
    p.worldX = 0;
    p.worldY = 0;
    p.worldW = 2;  // world 0..2 over 0.5 of the window: a quarter per world unit
    p.worldH = 2;
    // The square (0.25..0.5, 0.5..0.75) lands on x -0.4375..-0.375, y -0.125..-0.0625.
    EXPECT_TRUE(NodeSquareOnScreenContains(&n, -0.4375, -0.125, p));
    EXPECT_TRUE(NodeSquareOnScreenContains(&n, -0.375, -0.0625, p));
    EXPECT_FALSE(NodeSquareOnScreenContains(&n, -0.37, -0.1, p));
    EXPECT_FALSE(NodeSquareOnScreenContains(&n, -0.4, -0.06, p));

    // A node never drawn holds no point, not even the window's centre.
    TreeNode fresh;
    fresh.onlyInTree = 1;
    fresh.width = fresh.height = 1;
    fresh.x = fresh.y = -0.5;
    const IdentityPanel whole;
    EXPECT_EQ(PickNode(&fresh, 0, 0, 1, whole), nullptr);
    // A box belongs to the frame that drew it: once the panel's next frame begins and
    // does not draw the flag again, the node cannot be picked at its old place.
    IdentityPanel panel;
    SetPickBox(panel, fresh, -0.1, 0.1, -0.1, 0.1);
    EXPECT_EQ(PickNode(&fresh, 0, 0, 1, panel), &fresh);
    BeginPickFrame(panel);
    EXPECT_EQ(PickNode(&fresh, 0, 0, 1, panel), nullptr);
    EXPECT_TRUE(panel.pickBoxNodes.empty());
}

TEST(PickOverviewNode, OwnBoxFirstThenOnlyChildrenUnderThePoint) {
    TreeNode root;
    setOverviewBox(&root, -0.45, -0.12, 0.9, 0.1);
    TreeNode* a = addNode(&root, "A");
    TreeNode* b = addNode(&root, "B");
    TreeNode* b1 = addNode(b, "B1");
    setOverviewBox(a, -0.45, -0.22, 0.4, 0.1);
    setOverviewBox(b, -0.04, -0.22, 0.49, 0.1);  // a gap from -0.05 to -0.04
    setOverviewBox(b1, -0.04, -0.32, 0.2, 0.1);
    b->onlyInTree = 2;  // marks play no part

    EXPECT_EQ(PickOverviewNode(&root, 0.0, -0.15), &root);
    EXPECT_EQ(PickOverviewNode(&root, -0.45, -0.12), &root);
    EXPECT_EQ(PickOverviewNode(&root, 0.0, -0.25), b);
    EXPECT_EQ(PickOverviewNode(&root, -0.05, -0.32), a);  // a's right edge
    EXPECT_EQ(PickOverviewNode(&root, -0.045, -0.25), nullptr);  // between siblings
    EXPECT_EQ(PickOverviewNode(&root, 0.1, -0.4), b1);
    EXPECT_EQ(PickOverviewNode(&root, 0.3, -0.4), nullptr);  // below b, beside b1
    EXPECT_EQ(PickOverviewNode(&root, 0.0, -0.05), nullptr);  // above everything
}

TEST(FindNodeByLatinName, AsciiCaseOnlyDescendsByKeyAndReportsOnce) {
    ClassificationTree tree;
    nameRoot(tree, "Mammalia");
    TreeNode* only1 = addNode(&tree, "Solus", "Order");
    only1->onlyInTree = 1;
    TreeNode* inside = addNode(only1, "Felis", "Genus");
    TreeNode* common = addNode(&tree, "Carnivora", "Order");
    TreeNode* felis2 = addNode(common, "Felis", "Genus");
    TreeNode* accented = addNode(common, "\xC9lan", "Genus");

    {
        ConsoleCapture console;
        EXPECT_EQ(FindNodeByLatinName(&tree, "fELIS", 0), felis2);
        EXPECT_EQ(console.text(), "There is Felis in the data set\n");
    }
    {
        ConsoleCapture console;
        EXPECT_EQ(FindNodeByLatinName(&tree, "felis", 1), inside);
        EXPECT_EQ(FindNodeByLatinName(&tree, "\xE9lan", 0), nullptr);  // not an ASCII letter
        EXPECT_EQ(FindNodeByLatinName(&tree, "\xC9LAN", 0), accented);
        EXPECT_EQ(FindNodeByLatinName(&tree, "Felid", 0), nullptr);
        EXPECT_EQ(console.text(),
                  "There is Felis in the data set\nThere is \xC9lan in the data set\n");
    }
    // The starting node is compared whatever its mark; below it only 0 and the key.
    ConsoleCapture quiet;
    EXPECT_EQ(FindNodeByLatinName(only1, "solus", 2), only1);
    EXPECT_EQ(FindNodeByLatinName(&tree, "solus", 2), nullptr);
    EXPECT_EQ(FindNodeByLatinName(&tree, "MAMMALIA", 0), &tree);
}
