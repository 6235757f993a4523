// The arithmetic of the panel drawing, checked without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "RenderMath.h"
#include "TestSupport.h"

namespace {

// A tree panel as the view lays it out in a window of the given size.
void setTreePanel(ViewPanel& p, int clientW, int clientH) {
    p.viewX = -0.5;
    p.viewY = -0.1;
    p.viewW = 0.45;
    p.viewH = 0.6;
    p.worldX = -0.05;
    p.worldY = -0.05;
    p.worldW = 1.1;
    p.worldH = 1.1;
    p.pixelW = static_cast<int32_t>(clientW * p.viewW);
    p.pixelH = static_cast<int32_t>(clientH * p.viewH);
}

void setLegendStrip(ViewPanel& p, int clientW, int clientH) {
    p.viewX = -0.05;
    p.viewY = -0.1;
    p.viewW = 0.1;
    p.viewH = 0.6;
    p.kind = 2;
    p.pixelW = static_cast<int32_t>(clientW * p.viewW);
    p.pixelH = static_cast<int32_t>(clientH * p.viewH);
}

void setSquare(TreeNode& n, double x, double y, double side) {
    n.x = x;
    n.y = y;
    n.width = side;
    n.height = side;
}

}  // namespace

TEST(PixelScaleTest, TreePanelScaleIsTruncatedStripScaleIsNot) {
    ViewPanel p;
    setTreePanel(p, 1024, 700);
    EXPECT_EQ(p.pixelW, 460);
    const PixelScale s = PanelPixelScale(p);
    EXPECT_EQ(s.ppuX, 1022.0);  // 460 / 0.45 = 1022.2...
    EXPECT_EQ(s.ppuY, 700.0);
    EXPECT_DOUBLE_EQ(s.px(100), 100.0 / 1022.0);

    ViewPanel strip;
    setLegendStrip(strip, 1024, 700);
    strip.pixelW = 101;
    EXPECT_DOUBLE_EQ(StripPixelScale(strip).ppuX, 101 / 0.1);

    // Not sized yet: no finite pixel length, so no label can pass a threshold.
    ViewPanel unsized;
    setTreePanel(unsized, 0, 0);
    const PixelScale zero = PanelPixelScale(unsized);
    EXPECT_EQ(zero.ppuX, 0.0);
    EXPECT_EQ(ChooseLabel(0.5, zero), LabelKind::None);
    unsized.viewW = 0;
    unsized.pixelW = 10;
    EXPECT_EQ(PanelPixelScale(unsized).ppuX, 0.0);
}

TEST(NodeTestsTest, TinyAndVisibleBoundaries) {
    ViewPanel p;
    setTreePanel(p, 1000, 700);
    p.worldX = 0;
    p.worldY = 0;
    p.worldW = 1;
    p.worldH = 1;
    TreeNode n;
    setSquare(n, 0.5, 0.5, 0.004);  // area 1.6e-5 of the window
    EXPECT_FALSE(IsTinyNode(n, p));
    setSquare(n, 0.5, 0.5, 0.003);  // 9e-6
    EXPECT_TRUE(IsTinyNode(n, p));
    // Exactly at the threshold a node is still drawn as a disc; just below, a point. A
    // window of area 0.25 and a node of area 0.25e-5 give the ratio 0.00001 to the bit.
    p.worldW = p.worldH = 0.5;
    n.width = 0.00001 / 4;
    n.height = 1;
    ASSERT_EQ((n.width * n.height) / (p.worldW * p.worldH), 0.00001);
    EXPECT_FALSE(IsTinyNode(n, p));
    n.width = std::nextafter(n.width, 0.0);
    EXPECT_TRUE(IsTinyNode(n, p));
    setSquare(n, 0.5, 0.5, 0.003);
    // Zooming in makes the same node large again.
    p.worldW = p.worldH = 0.1;
    EXPECT_FALSE(IsTinyNode(n, p));

    // Visibility: radius + half diagonal against the centre distance, with values
    // exact in binary. Window 1.5 x 2: half diagonal 1.25; radius 0.25; touching at a
    // centre distance of 1.5.
    p.worldX = p.worldY = 0;
    p.worldW = 1.5;
    p.worldH = 2;
    setSquare(n, 2.0, 0.75, 0.5);
    EXPECT_TRUE(IsNodeVisible(n, p));
    n.x += 1.0 / 1024;
    EXPECT_FALSE(IsNodeVisible(n, p));
    p.worldW = p.worldH = 1;
    // A node far away is invisible however large its descendants would be; one that
    // holds the whole window is visible.
    setSquare(n, 5, 5, 0.5);
    EXPECT_FALSE(IsNodeVisible(n, p));
    setSquare(n, -10, -10, 20);
    EXPECT_TRUE(IsNodeVisible(n, p));
}

TEST(LabelTest, ThresholdsAreStrictAbove) {
    ViewPanel p;
    setTreePanel(p, 1024, 700);
    const PixelScale s = PanelPixelScale(p);
    EXPECT_EQ(ChooseLabel(s.px(100), s), LabelKind::Short);
    EXPECT_EQ(ChooseLabel(std::nextafter(s.px(100), 1.0), s), LabelKind::Full);
    EXPECT_EQ(ChooseLabel(s.px(28), s), LabelKind::None);
    EXPECT_EQ(ChooseLabel(std::nextafter(s.px(28), 1.0), s), LabelKind::Short);
    EXPECT_EQ(ChooseLabel(-s.px(200), s), LabelKind::None);  // a mirrored square
    EXPECT_EQ(LabelFont(LabelKind::Full), 1);
    EXPECT_EQ(LabelFont(LabelKind::Short), 3);
}

TEST(LabelTest, ComposesFullAndShortTexts) {
    ClassificationTree tree;
    nameRoot(tree, "Animalia", "Kingdom", "animals");
    TreeNode* g = addNode(&tree, "Canis", "Genus", "");
    g->descendantCount = 12;
    tree.descendantCount = 4096;
    char buf[kNodeLabelSize];
    size_t n = ComposeNodeLabel(tree, LabelKind::Full, buf, sizeof buf);
    EXPECT_STREQ(buf, "Animalia, animals, Kingdom, 4096");
    EXPECT_EQ(n, std::strlen(buf));
    // An empty common name leaves two separators next to each other.
    ComposeNodeLabel(*g, LabelKind::Full, buf, sizeof buf);
    EXPECT_STREQ(buf, "Canis, , Genus, 12");
    n = ComposeNodeLabel(*g, LabelKind::Short, buf, sizeof buf);
    EXPECT_STREQ(buf, "Canis");
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(ComposeNodeLabel(*g, LabelKind::None, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
}

TEST(LabelTest, LongNamesAreCutAtTheBuffer) {
    const std::string huge(40000, 'a');
    ClassificationTree tree;
    nameRoot(tree, huge.c_str(), "Kingdom", huge.c_str());
    // The label buffer followed by a guard zone that must stay untouched.
    std::vector<char> memory(kNodeLabelSize + 64, '#');
    for (LabelKind kind : {LabelKind::Full, LabelKind::Short}) {
        const size_t n = ComposeNodeLabel(tree, kind, memory.data(), kNodeLabelSize);
        EXPECT_EQ(n, kNodeLabelSize - 1);
        EXPECT_EQ(memory[kNodeLabelSize - 1], 0);
        EXPECT_EQ(std::strlen(memory.data()), kNodeLabelSize - 1);
        EXPECT_EQ(std::string(memory.data(), 8), "aaaaaaaa");
        for (size_t i = kNodeLabelSize; i < memory.size(); ++i) ASSERT_EQ(memory[i], '#');
    }
    // The cut falls anywhere in the composed text: here in the middle of the rank.
    TreeNode n;
    const std::string latin(245, 'b');
    n.latinName = newName(latin.c_str());
    n.commonName = newName("c");
    n.rankName = newName("Subspecies");
    char small[256];
    ComposeNodeLabel(n, LabelKind::Full, small, sizeof small);
    EXPECT_EQ(std::string(small), latin + ", c, Subsp");
    // A one-byte buffer holds only the terminator.
    char one[1] = {'x'};
    EXPECT_EQ(ComposeNodeLabel(n, LabelKind::Full, one, 1), 0u);
    EXPECT_EQ(one[0], 0);
}

TEST(LabelTest, LabelAndFlagSquarePlacement) {
    ViewPanel p;
    setTreePanel(p, 1000, 700);
    const PixelScale s = PanelPixelScale(p);
    const ScreenBox disc{-0.3, -0.05, -0.1, 0.15};
    const TextOrigin at = PlaceNodeLabel(disc, 10, s);
    // Centred by 10 * 5 px on the disc, baseline 8 px under the square.
    EXPECT_DOUBLE_EQ(at.x + s.px(25), -0.2);
    EXPECT_DOUBLE_EQ(disc.y0 - at.y, s.py(8));

    const HitBox f = FlagSquare(at, s);
    EXPECT_NEAR(f.right - f.left, s.px(7), 1e-15);
    EXPECT_NEAR(f.top - f.bottom, s.py(7), 1e-15);
    EXPECT_NEAR(at.x - f.right, s.px(3), 1e-15);  // 3 px before the text
    EXPECT_EQ(f.bottom, at.y);
}

TEST(NodeMappingTest, WorldSquareToPanel) {
    ViewPanel p;
    setTreePanel(p, 1000, 700);
    TreeNode root;  // a node with the root's square
    setSquare(root, 0.05, 0.05, 0.9);
    ScreenBox b = MapNodeSquare(root, p);
    // The home window puts the root's centre at the panel's centre.
    EXPECT_NEAR((b.x0 + b.x1) / 2, p.viewX + p.viewW / 2, 1e-12);
    EXPECT_NEAR((b.y0 + b.y1) / 2, p.viewY + p.viewH / 2, 1e-12);
    EXPECT_NEAR(b.x1 - b.x0, 0.9 / 1.1 * 0.45, 1e-12);
    EXPECT_NEAR(b.y1 - b.y0, 0.9 / 1.1 * 0.6, 1e-12);
    // The world window's corners land on the panel's corners.
    p.worldX = 0.05;
    p.worldY = 0.05;
    p.worldW = p.worldH = 0.9;
    b = MapNodeSquare(root, p);
    EXPECT_NEAR(b.x0, p.viewX, 1e-12);
    EXPECT_NEAR(b.y1, p.viewY + p.viewH, 1e-12);
}

TEST(ScissorTest, EachValueTruncatedOnItsOwn) {
    const PixelRect r = ScissorFromCorners(10.9, 20.7, 460.2, 440.9);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    EXPECT_EQ(r.width, 449);   // trunc(449.3), not 460 - 10
    EXPECT_EQ(r.height, 420);  // trunc(420.2)
    const PixelRect n = ScissorFromCorners(-3.5, 0, 1e300, NAN);
    EXPECT_EQ(n.x, -3);
    EXPECT_EQ(n.width, 2147483647);
    EXPECT_EQ(n.height, -2147483647);
}

TEST(EllipseTest, VertexCountsAndPositions) {
    for (int segments : {30, 50}) {
        std::vector<std::pair<double, double>> v;
        ForEachEllipseVertex(0.0, 0.0, 2.0, 1.0, segments,
                             [&](double x, double y) { v.emplace_back(x, y); });
        ASSERT_EQ(v.size(), static_cast<size_t>(segments));
        // Starts at angle 0 on the right edge; no centre vertex; all on the ellipse.
        EXPECT_DOUBLE_EQ(v[0].first, 2.0);
        EXPECT_DOUBLE_EQ(v[0].second, 0.5);
        for (auto [x, y] : v) EXPECT_NEAR((x - 1) * (x - 1) + (y - 0.5) * (y - 0.5) * 4, 1.0, 1e-12);
        // Counter-clockwise: the second vertex lies above the first.
        EXPECT_GT(v[1].second, v[0].second);
    }
    // Corners given in reverse order draw the same shape, starting on the opposite side.
    std::vector<double> xs;
    ForEachEllipseVertex(2.0, 1.0, 0.0, 0.0, 50, [&](double x, double) { xs.push_back(x); });
    ASSERT_EQ(xs.size(), 50u);
    EXPECT_DOUBLE_EQ(xs[0], 0.0);
    int none = 0;
    ForEachEllipseVertex(0, 0, 1, 1, 0, [&](double, double) { ++none; });
    ForEachEllipseVertex(0, 0, 1, 1, -5, [&](double, double) { ++none; });
    EXPECT_EQ(none, 0);
}

TEST(LegendGeometryTest, RowsTileTheStripFromTheTop) {
    ViewPanel s;
    setLegendStrip(s, 1000, 700);
    const PixelScale sc = StripPixelScale(s);
    EXPECT_DOUBLE_EQ(LegendRowHeight(s), 0.6 / 21);
    EXPECT_DOUBLE_EQ(LegendRowBox(s, 0).top, 0.5);
    for (int i = 0; i + 1 < kLegendRows; ++i) {
        const RowBox a = LegendRowBox(s, i), b = LegendRowBox(s, i + 1);
        EXPECT_NEAR(a.bottom, b.top, 1e-15) << i;  // rows touch without a gap
        EXPECT_NEAR(LegendRowCentre(s, i), (a.top + a.bottom) / 2, 1e-15);
    }
    EXPECT_NEAR(LegendRowBox(s, 20).bottom, 0.5 - s.viewH, 1e-12);
    const RowBox r = LegendRowBox(s, 5);
    EXPECT_DOUBLE_EQ(r.left, s.viewX + 2 / sc.ppuX);
    EXPECT_DOUBLE_EQ(r.right, s.viewX + s.viewW - 2 / sc.ppuX);

    const RowBox d = DifferenceInnerBox(s), dr = LegendRowBox(s, Difference);
    EXPECT_NEAR(d.left - dr.left, 10 / sc.ppuX, 1e-15);
    EXPECT_NEAR(dr.right - d.right, 10 / sc.ppuX, 1e-15);
    EXPECT_NEAR(dr.top - d.top, 0.1 * LegendRowHeight(s), 1e-15);
    EXPECT_NEAR(dr.top - d.bottom, 0.9 * LegendRowHeight(s), 1e-15);

    // "Species" (7 characters): centred on x = 0, a third of a row above the bottom.
    const TextOrigin name = LegendNamePosition(s, Species, 7);
    EXPECT_DOUBLE_EQ(name.x, -35 / sc.ppuX / 2);
    EXPECT_NEAR(name.y - LegendRowBox(s, Species).bottom, LegendRowHeight(s) / 3, 1e-15);
}

TEST(LegendGeometryTest, PathMarkers) {
    ViewPanel s;
    setLegendStrip(s, 1000, 700);
    const PixelScale sc = StripPixelScale(s);
    // Tree 1's disc: 8 by 8 px, centred 9 px in from the left edge on the row's centre.
    const ScreenBox d = LegendDiscBox(s, Genus);
    EXPECT_NEAR(d.x1 - d.x0, 8 / sc.ppuX, 1e-15);
    EXPECT_NEAR(d.y0 - d.y1, 8 / sc.ppuY, 1e-15);
    EXPECT_NEAR((d.x0 + d.x1) / 2, s.viewX + 9 / sc.ppuX, 1e-15);
    EXPECT_NEAR((d.y0 + d.y1) / 2, LegendRowCentre(s, Genus), 1e-15);
    // Tree 2's triangle: apex 10 px in from the right edge, base 4 px under the centre.
    const TriangleMarker t = LegendTriangle(s, Genus);
    EXPECT_NEAR(t.f, s.viewX + s.viewW - 10 / sc.ppuX, 1e-15);
    EXPECT_NEAR(LegendRowCentre(s, Genus) - t.g, 4 / sc.ppuY, 1e-15);
    // A rank that is no rank (-1) sits half a row above the window's top edge.
    EXPECT_NEAR(LegendRowCentre(s, -1), 0.5 + LegendRowHeight(s) / 2, 1e-15);
    EXPECT_GT(LegendDiscBox(s, -1).y1, 0.5);
}
