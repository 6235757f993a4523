// Tree panels drawn into a real GL window and read back pixel by pixel.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <string>
#include <vector>

#include "GlWindow.h"
#include "Render.h"
#include "RenderMath.h"
#include "TestSupport.h"

namespace {

void setSquare(TreeNode* n, double x, double y, double side) {
    n->x = x;
    n->y = y;
    n->width = side;
    n->height = side;
}

// A tree panel at (viewX, viewY) sized like the view's in the test window, showing
// the home window.
void setPanel(ViewPanel& p, ClassificationTree* tree, double viewX, double viewY) {
    p.viewX = viewX;
    p.viewY = viewY;
    p.viewW = 0.45;
    p.viewH = 0.6;
    p.worldX = -0.05;
    p.worldY = -0.05;
    p.worldW = 1.1;
    p.worldH = 1.1;
    p.kind = 0;
    p.pixelW = static_cast<int32_t>(kWindowWidth * p.viewW);
    p.pixelH = static_cast<int32_t>(kWindowHeight * p.viewH);
    p.tree = tree;
    p.root = p.focus = tree;
}

Rgb rankRgb(const char* rank) { return rankColourOf(rank); }

Rgb nodeRgb(const TreeNode* n) { return rankColourOf(n->rankName); }

// Centre of a node's disc in window pixels.
void discCentre(const TreeNode* n, const ViewPanel& p, int& px, int& py) {
    const ScreenBox b = MapNodeSquare(*n, p);
    px = PixelX((b.x0 + b.x1) / 2);
    py = PixelY((b.y0 + b.y1) / 2);
}

// Number of pixels of colour `c` in the window rectangle [x0, x1) x [y0, y1).
int countColour(int x0, int y0, int x1, int y1, const Rgb& c, int tolerance = 1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (Near(PixelAt(x, y), c, tolerance)) ++n;
    return n;
}

const Rgb kGrey200 = {200, 200, 200};
const Rgb kWhite = {255, 255, 255};
const Rgb kBlack = {0, 0, 0};

class PanelPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = OpenGlWindow();
        if (!why.empty()) {
            if (displayRequired()) FAIL() << why;
            GTEST_SKIP() << why;
        }
        BeginFrame();
    }
};

}  // namespace

TEST_F(PanelPixelsTest, BackgroundDiscsMarksAndSkippedTaxa) {
    ClassificationTree tree;
    tree.treeId = 1;
    nameRoot(tree, "Animalia", "Kingdom", "animals");
    TreeNode* here = addNode(&tree, "Chordata", "Phylum", "chordates");
    here->onlyInTree = 1;
    setSquare(here, 0.1, 0.1, 0.3);
    TreeNode* common = addNode(&tree, "Arthropoda", "Order", "");
    setSquare(common, 0.6, 0.1, 0.3);
    TreeNode* other = addNode(&tree, "Mollusca", "Class", "");
    other->onlyInTree = 2;
    setSquare(other, 0.55, 0.55, 0.3);
    // A child of tree 2's taxon that would itself be drawable: skipped with its parent.
    TreeNode* otherChild = addNode(other, "Bivalvia", "Subclass", "");
    setSquare(otherChild, 0.6, 0.6, 0.2);

    ViewPanel panel;
    setPanel(panel, &tree, -0.5, -0.1);
    DrawPanel(panel);

    // Background in the corners, the root's rank colour at the centre.
    EXPECT_PRED3(Near, PixelAtPoint(panel.viewX + 0.003, panel.viewY + 0.003), kGrey200, 1);
    EXPECT_PRED3(Near,
                 PixelAtPoint(panel.viewX + panel.viewW - 0.003, panel.viewY + panel.viewH - 0.003),
                 kGrey200, 1);
    const Rgb centre = PixelAtPoint(panel.viewX + panel.viewW / 2, panel.viewY + panel.viewH / 2);
    EXPECT_PRED3(Near, centre, rankRgb("Kingdom"), 1) << Describe(centre);

    int x = 0, y = 0;
    discCentre(here, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), nodeRgb(here), 1);
    discCentre(common, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), nodeRgb(common), 1);
    // Tree 2's taxon and its child are not drawn in tree 1's panel.
    discCentre(other, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Kingdom"), 1) << Describe(PixelAt(x, y));
    discCentre(otherChild, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Kingdom"), 1);

    // White ring on the flagged disc's rim, none on the common one.
    const ScreenBox hb = MapNodeSquare(*here, panel), cb = MapNodeSquare(*common, panel);
    const int hy = PixelY((hb.y0 + hb.y1) / 2), hx = PixelX(hb.x1);
    EXPECT_GT(countColour(hx - 3, hy - 1, hx + 4, hy + 2, kWhite, 2), 0);
    const int cy = PixelY((cb.y0 + cb.y1) / 2), cx = PixelX(cb.x1);
    EXPECT_EQ(countColour(cx - 3, cy - 1, cx + 4, cy + 2, kWhite, 2), 0);

    // The flag square: its pick box was written and is yellow on screen; 7 by 7 px.
    EXPECT_LT(here->hitLeft, here->hitRight);
    EXPECT_LT(here->hitBottom, here->hitTop);
    EXPECT_PRED3(Near,
                 PixelAtPoint((here->hitLeft + here->hitRight) / 2,
                              (here->hitBottom + here->hitTop) / 2),
                 FromFloat(0.9f, 0.9f, 0.0f), 1);
    const int flagPixels = countColour(PixelX(here->hitLeft) - 3, PixelY(here->hitBottom) - 3,
                                       PixelX(here->hitRight) + 3, PixelY(here->hitTop) + 3,
                                       FromFloat(0.9f, 0.9f, 0.0f));
    EXPECT_EQ(flagPixels, 49);
    // The common node is not flagged: its pick box stays empty.
    EXPECT_GT(common->hitLeft, common->hitRight);
    EXPECT_GT(common->hitBottom, common->hitTop);

    // Labels: black glyphs in the band under each labelled disc, starting where the
    // label is centred (the common node's full label is "Arthropoda, , Order, 0").
    const PixelScale s = PanelPixelScale(panel);
    const TextOrigin at = PlaceNodeLabel(cb, 22, s);
    EXPECT_GT(countColour(PixelX(at.x), PixelY(at.y), PixelX(at.x + s.px(110)),
                          PixelY(at.y + s.py(10)), kBlack, 0),
              20);

    // The drawing leaves the scissor test off and the line width 1.
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    float width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
}

TEST_F(PanelPixelsTest, TreePanelOfTreeTwoSkipsTreeOnesTaxa) {
    ClassificationTree tree;
    tree.treeId = 2;
    nameRoot(tree, "Animalia", "Kingdom");
    TreeNode* one = addNode(&tree, "Chordata", "Phylum");
    one->onlyInTree = 1;
    setSquare(one, 0.1, 0.1, 0.3);
    TreeNode* two = addNode(&tree, "Mollusca", "Class");
    two->onlyInTree = 2;
    setSquare(two, 0.55, 0.55, 0.3);

    ViewPanel panel;
    setPanel(panel, &tree, 0.05, -0.1);
    DrawPanel(panel);
    int x = 0, y = 0;
    discCentre(one, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Kingdom"), 1);
    discCentre(two, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Class"), 1);
    EXPECT_LT(two->hitLeft, two->hitRight);
}

TEST_F(PanelPixelsTest, NothingLeavesThePanelsScissorBox) {
    // A clear colour of its own, so that black labels crossing the edge would show.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const Rgb blue = {0, 0, 255};

    ClassificationTree tree;
    tree.treeId = 1;
    nameRoot(tree, "Animalia", "Kingdom");
    // A disc across the panel's right edge (world 1.05) with a long label centred on it.
    TreeNode* edge = addNode(&tree, "Pseudoscorpionidaexxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
                             "Order", "false scorpions");
    setSquare(edge, 0.85, 0.4, 0.3);
    edge->onlyInTree = 1;
    // A tiny taxon outside the panel still draws its point, which the box removes.
    TreeNode* tiny = addNode(&tree, "Minima", "Genus");
    setSquare(tiny, 1.3, 0.5, 0.001);

    ViewPanel panel;
    setPanel(panel, &tree, -0.5, -0.1);
    DrawPanel(panel);

    const int right = static_cast<int>(std::lround((panel.viewX + panel.viewW + 0.5) * kWindowWidth));
    const int bottom = static_cast<int>(std::lround((panel.viewY + 0.5) * kWindowHeight));
    const int top = static_cast<int>(std::lround((panel.viewY + panel.viewH + 0.5) * kWindowHeight));
    int x = 0, y = 0;
    discCentre(edge, panel, x, y);
    // Drawn up to the edge ...
    EXPECT_PRED3(Near, PixelAt(right - 1, y), nodeRgb(edge), 1);
    // ... and nothing beyond it, neither disc, ring, label nor the tiny point.
    EXPECT_EQ(countColour(right, bottom, right + 110, top, blue, 0), 110 * (top - bottom));
    // Nor below the panel.
    EXPECT_EQ(countColour(0, bottom - 20, right, bottom, blue, 0), right * 20);
}

TEST_F(PanelPixelsTest, TinyAndFarNodesEndTheirBranch) {
    ClassificationTree tree;
    tree.treeId = 1;
    nameRoot(tree, "Animalia", "Kingdom");
    // A tiny node is one point; its (hand-placed, large) child is never visited.
    TreeNode* tiny = addNode(&tree, "Minima", "Phylum");
    setSquare(tiny, 0.3, 0.7, 0.002);
    TreeNode* hidden = addNode(tiny, "Maxima", "Class");
    setSquare(hidden, 0.1, 0.1, 0.3);

    ViewPanel panel;
    setPanel(panel, &tree, -0.5, -0.1);
    DrawPanel(panel);
    int x = 0, y = 0;
    discCentre(tiny, panel, x, y);
    const int tinyPixels = countColour(x - 3, y - 3, x + 4, y + 4, nodeRgb(tiny));
    EXPECT_GE(tinyPixels, 1);
    EXPECT_LE(tinyPixels, 2);
    discCentre(hidden, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Kingdom"), 1);

    // Zoomed into the lower left, a node in the upper right is skipped with its
    // descendants, even one (hand-placed) inside the world window.
    BeginFrame();
    TreeNode* far = addNode(&tree, "Remota", "Order");
    setSquare(far, 0.7, 0.7, 0.2);
    TreeNode* near = addNode(far, "Propinqua", "Family");
    setSquare(near, 0.15, 0.15, 0.1);
    panel.worldX = panel.worldY = 0.05;
    panel.worldW = panel.worldH = 0.3;
    DrawPanel(panel);
    discCentre(near, panel, x, y);
    EXPECT_PRED3(Near, PixelAt(x, y), rankRgb("Kingdom"), 1) << Describe(PixelAt(x, y));
}

TEST_F(PanelPixelsTest, HugeNamesAreShortenedNotOverrun) {
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const Rgb blue = {0, 0, 255};
    const std::string huge(40000, 'W');
    ClassificationTree tree;
    tree.treeId = 2;
    nameRoot(tree, huge.c_str(), "Kingdom", huge.c_str());
    tree.onlyInTree = 2;
    TreeNode* shortLabel = addNode(&tree, huge.c_str(), "Genus", huge.c_str());
    setSquare(shortLabel, 0.4, 0.4, 0.2);  // 45 px wide below: Latin name only
    shortLabel->onlyInTree = 2;

    // The right-hand panel, zoomed out, so that the root's label (255 bytes, estimated
    // 1275 px wide, centred on the disc) still starts inside the window.
    ViewPanel panel;
    setPanel(panel, &tree, 0.05, -0.1);
    panel.worldX = -0.5;
    panel.worldY = -0.5;
    panel.worldW = panel.worldH = 2.0;
    DrawPanel(panel);
    // Both labels were drawn: flagged, so their pick boxes were written.
    EXPECT_LT(tree.hitLeft, tree.hitRight);
    EXPECT_LT(shortLabel->hitLeft, shortLabel->hitRight);
    // The label's estimated width is that of the 255 bytes it keeps.
    const ScreenBox rb = MapNodeSquare(tree, panel);
    const PixelScale s = PanelPixelScale(panel);
    const TextOrigin at = PlaceNodeLabel(rb, kNodeLabelSize - 1, s);
    EXPECT_NEAR(tree.hitLeft, at.x - s.px(10), 1e-12);
    ASSERT_GT(at.x, -0.5);
    // Its text shows across the panel and is cut at the panel's left edge.
    const int left = PixelX(panel.viewX + 0.0005);
    const int y0 = PixelY(rb.y0 - s.py(8)), y1 = PixelY(rb.y0);
    EXPECT_GT(countColour(left, y0, kWindowWidth, y1, kBlack, 0), 200);
    EXPECT_EQ(countColour(0, y0, left, y1, blue, 0), left * (y1 - y0));
}

// What a panel's drawing leaves out because the scissor box would remove it or a later
// disc paint over it anyway, and the batching of its points and discs, must make no
// difference: the same tree drawn through DrawTreeInPanel and drawn in full, primitive by
// primitive, under the same scissor box gives the same window, pixel for pixel, and the
// same pick boxes. The tree sweeps discs,
// flagged rings, labels and runs of points across every edge of the panel, a pixel at a
// time, so that any culling that reaches too far shows.
TEST_F(PanelPixelsTest, LeftOutWorkChangesNoPixel) {
    ClassificationTree tree;
    tree.treeId = 1;
    nameRoot(tree, "Animalia", "Kingdom", "animals");
    ViewPanel panel;
    setPanel(panel, &tree, -0.5, -0.1);
    // Zoomed in on the middle of the layout: much of the tree lies beyond the panel.
    panel.worldX = panel.worldY = 0.35;
    panel.worldW = panel.worldH = 0.3;
    const double px = panel.worldW / panel.pixelW, py = panel.worldH / panel.pixelH;
    // A flagged, labelled taxon painted over by a later disc that covers the whole panel:
    // left out, but its flag is where the user can pick it all the same.
    TreeNode* early = addNode(&tree, "Praecox", "Phylum", "");
    setSquare(early, 0.45, 0.45, 0.1);
    early->onlyInTree = 1;
    TreeNode* cover = addNode(&tree, "Operculum", "Class", "");
    setSquare(cover, 0.2, 0.2, 0.6);
    const char* ranks[] = {"Phylum", "Class", "Order", "Family", "Genus"};
    int made = 0;
    for (int edge = 0; edge < 4; ++edge) {
        for (int k = -6; k <= 6; ++k) {
            // Disc sizes from a label-less few pixels to a labelled 40 pixels.
            const double side = (6 + 3 * ((k + 6) % 12)) * px;
            const double along = 0.36 + 0.021 * (k + 6);
            double x = along, y = along;
            if (edge == 0) x = panel.worldX - side + k * px;           // left edge
            if (edge == 1) x = panel.worldX + panel.worldW + k * px;   // right edge
            if (edge == 2) y = panel.worldY - side + k * py;           // bottom edge
            if (edge == 3) y = panel.worldY + panel.worldH + k * py;   // top edge
            TreeNode* n = addNode(cover, "Edgeward sweep", ranks[made++ % 5], "");
            setSquare(n, x, y, side);
            n->onlyInTree = (k & 1) ? 1 : 0;
            // A run of points (squares too small for a disc) around the disc's corner.
            for (int i = 0; i < 8; ++i) {
                TreeNode* t = addNode(n, "Punctum", "Species", "");
                setSquare(t, x + (i - 4) * px, y + (i % 3 - 1) * py, 0.0005 * panel.worldW);
            }
        }
    }
    // A crowd of points in five colours on a few pixels, and on pixel edges: the last point
    // on a pixel is the one that shows.
    TreeNode* crowd = addNode(cover, "Turba", "Family", "");
    setSquare(crowd, 0.5, 0.5, 0.02);
    const char* crowdRanks[] = {"Species", "Genus", "Order", "Class", "Phylum"};
    for (int i = 0; i < 300; ++i) {
        TreeNode* t = addNode(crowd, "Punctum", crowdRanks[i % 5], "");
        setSquare(t, 0.51 + (i % 7) * 0.37 * px, 0.51 + (i % 11) * 0.25 * py, 1e-5);
    }
    // Discs of one and a half to two and a half pixels at every fraction of a pixel: some
    // can hold a single pixel centre only, some two or more.
    for (int i = 0; i < 120; ++i) {
        TreeNode* small = addNode(cover, "Minimus", crowdRanks[i % 5], "");
        const double fx = std::fmod(i * 0.37, 1.0), fy = std::fmod(i * 0.61, 1.0);
        setSquare(small, 0.4 + ((i % 12) * 7 + fx) * px, 0.6 + ((i / 12) * 7 + fy) * py,
                  (1.45 + 0.009 * i) * px);
    }
    const int w = kWindowWidth, h = kWindowHeight;
    auto readWindow = [&] {
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    };

    DrawPanel(panel);
    const std::vector<uint8_t> drawn = readWindow();
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    const double flag[4] = {early->hitLeft, early->hitRight, early->hitBottom, early->hitTop};
    EXPECT_LT(flag[0], flag[1]);
    early->hitLeft = early->hitBottom = kNoPickBox;
    early->hitRight = early->hitTop = -kNoPickBox;

    BeginFrame();
    glColor3fv(panel.color);
    glBegin(GL_QUADS);
    glVertex2d(panel.viewX, panel.viewY);
    glVertex2d(panel.viewX + panel.viewW, panel.viewY);
    glVertex2d(panel.viewX + panel.viewW, panel.viewY + panel.viewH);
    glVertex2d(panel.viewX, panel.viewY + panel.viewH);
    glEnd();
    glEnable(GL_SCISSOR_TEST);
    glScissor(box[0], box[1], box[2], box[3]);
    DrawCircleNode(&tree, panel, tree.treeId);
    glDisable(GL_SCISSOR_TEST);
    const std::vector<uint8_t> full = readWindow();
    EXPECT_EQ(flag[0], early->hitLeft);
    EXPECT_EQ(flag[1], early->hitRight);
    EXPECT_EQ(flag[2], early->hitBottom);
    EXPECT_EQ(flag[3], early->hitTop);

    size_t differing = 0;
    for (size_t i = 0; i < drawn.size(); i += 4) {
        if (drawn[i] != full[i] || drawn[i + 1] != full[i + 1] || drawn[i + 2] != full[i + 2])
            ++differing;
    }
    EXPECT_EQ(differing, 0u);
    // The sweep reaches into the box: besides the covering disc, a thousand of its pixels.
    const Rgb root = rankRgb("Class");
    int rootPixels = 0;
    for (int y = box[1]; y < box[1] + box[3]; ++y) {
        for (int x = box[0]; x < box[0] + box[2]; ++x) {
            const uint8_t* p = &drawn[(static_cast<size_t>(y) * w + x) * 4];
            if (Rgb{p[0], p[1], p[2]} == root) ++rootPixels;
        }
    }
    EXPECT_GT(rootPixels, box[2] * box[3] / 2);
    EXPECT_LT(rootPixels, box[2] * box[3] - 1000);
}
