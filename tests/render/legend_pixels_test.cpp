// The rank legend strip drawn into a real GL window and read back.
#include <gtest/gtest.h>

#include <string>

#include "GlWindow.h"
#include "Render.h"
#include "TestSupport.h"

namespace {

// The strip as the view lays it out in the 1000 x 700 test window: 100 x 420 pixels,
// x from pixel 450 to 550, 21 rows of 20 pixels from the top of the window.
constexpr int kLeft = 450, kRight = 550, kRowPx = 20;

int rowCentre(int row) {
    return kWindowHeight - row * kRowPx - kRowPx / 2;
}

void setStrip(ViewPanel& s) {
    s.viewX = -0.05;
    s.viewY = -0.1;
    s.viewW = 0.1;
    s.viewH = 0.6;
    s.kind = 2;
    s.pixelW = static_cast<int32_t>(kWindowWidth * s.viewW);
    s.pixelH = static_cast<int32_t>(kWindowHeight * s.viewH);
}

Rgb rowRgb(int row) { return kRankColours[row].rgb; }

const Rgb kPale = FromFloat(1.0f, 1.0f, 0.6f);

// A one-pixel line along a pixel boundary x may fill the column on either side.
bool paleAtBoundary(int x, int y) {
    return Near(PixelAt(x - 1, y), kPale, 1) || Near(PixelAt(x, y), kPale, 1);
}

class LegendPixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = OpenGlWindow();
        if (!why.empty()) {
            if (displayRequired()) FAIL() << why;
            GTEST_SKIP() << why;
        }
        BeginFrame();
        setStrip(strip);
        nameRoot(tree1, "Animalia", "Kingdom");
        nameRoot(tree2, "Animalia", "Kingdom");
        panel1.tree = &tree1;
        panel1.root = panel1.focus = &tree1;
        panel2.tree = &tree2;
        panel2.root = panel2.focus = &tree2;
    }

    ViewPanel strip, panel1, panel2;
    ClassificationTree tree1, tree2;
};

}  // namespace

TEST_F(LegendPixelsTest, RowsInRankColoursWithTheDifferenceRow) {
    DrawRankStrip(strip, panel1, panel2);
    for (int row = 0; row < kRankCount; ++row) {
        // Left of the centred name, right of the 2 px margin.
        EXPECT_PRED3(Near, PixelAt(kLeft + 3, rowCentre(row)), rowRgb(row), 1) << row;
        EXPECT_PRED3(Near, PixelAt(kRight - 3, rowCentre(row) + 5), rowRgb(row), 1) << row;
        // The margins show the clear colour.
        EXPECT_PRED3(Near, PixelAt(kLeft + 1, rowCentre(row)), (Rgb{0, 0, 0}), 0) << row;
        EXPECT_PRED3(Near, PixelAt(kRight - 2, rowCentre(row)), (Rgb{0, 0, 0}), 0) << row;
    }
    // Rows touch: the pixel rows on both sides of a boundary belong to their rows.
    EXPECT_PRED3(Near, PixelAt(kLeft + 3, kWindowHeight - kRowPx), rowRgb(0), 1);
    EXPECT_PRED3(Near, PixelAt(kLeft + 3, kWindowHeight - kRowPx - 1), rowRgb(1), 1);

    // "Difference": grey frame, white box 10 px in, a tenth of the row from the top.
    const int diff = rowCentre(Difference);
    EXPECT_PRED3(Near, PixelAt(kLeft + 6, diff), FromFloat(0.3f, 0.3f, 0.3f), 1);
    EXPECT_PRED3(Near, PixelAt(kLeft + 15, diff), (Rgb{255, 255, 255}), 0);
    EXPECT_PRED3(Near, PixelAt(kRight - 15, diff), (Rgb{255, 255, 255}), 0);
    EXPECT_PRED3(Near, PixelAt(kLeft + 15, diff + kRowPx / 2 - 1), FromFloat(0.3f, 0.3f, 0.3f), 1);
    // Its name in black over the white, centred on the window's middle.
    int black = 0, blackLeft = 0;
    for (int y = diff - kRowPx / 2; y < diff + kRowPx / 2; ++y)
        for (int x = kLeft + 12; x < kRight - 12; ++x)
            if (PixelAt(x, y) == Rgb{0, 0, 0}) {
                ++black;
                if (x < 500) ++blackLeft;
            }
    EXPECT_GT(black, 20);
    EXPECT_GT(blackLeft, black / 4);
    EXPECT_LT(blackLeft, black * 3 / 4);
}

TEST_F(LegendPixelsTest, RankPathsOfBothFocusNodes) {
    // Tree 1: Species under Genus under Family under the root; tree 2: its root.
    TreeNode* family = addNode(&tree1, "Canidae", "Family");
    TreeNode* genus = addNode(family, "Canis", "Genus");
    TreeNode* species = addNode(genus, "Canis lupus", "Species");
    panel1.focus = species;
    DrawRankStrip(strip, panel1, panel2);

    const int discX = kLeft + 9;
    for (int row : {Species, Genus, Family, Kingdom})
        EXPECT_PRED3(Near, PixelAt(discX, rowCentre(row)), kPale, 1) << row;
    // The line from Genus to Family crosses the rows in between; nothing below Species.
    EXPECT_TRUE(paleAtBoundary(discX, rowCentre(Subgenus)));
    EXPECT_TRUE(paleAtBoundary(discX, rowCentre(Tribe)));
    EXPECT_PRED3(Near, PixelAt(discX, rowCentre(Subspecies)), rowRgb(Subspecies), 1);
    // The disc is 8 px wide: 5 px in from the left edge to 13 px.
    EXPECT_PRED3(Near, PixelAt(kLeft + 3, rowCentre(Species)), rowRgb(Species), 1);
    EXPECT_PRED3(Near, PixelAt(kLeft + 15, rowCentre(Species)), rowRgb(Species), 1);

    // Tree 2 at its root: one triangle in row 0 and no line.
    const int f = kRight - 10;
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Kingdom) - 2), kPale, 1);
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Phylum)), rowRgb(Phylum), 1);
    // The triangle's base lies 4 px below the row's centre.
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Kingdom) - 6), rowRgb(Kingdom), 1);
}

TEST_F(LegendPixelsTest, TreeTwoTrianglesJoinedAndUnknownRanksOffTheTop) {
    TreeNode* genus = addNode(&tree2, "Canis", "Genus");
    panel2.focus = genus;
    // Tree 1's focus passes through a node of no rank: placed above the window.
    TreeNode* clade = addNode(&tree1, "Amniota", "Clade");
    TreeNode* order = addNode(clade, "Carnivora", "Order");
    panel1.focus = order;
    DrawRankStrip(strip, panel1, panel2);

    const int f = kRight - 10;
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Genus) - 2), kPale, 1);
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Kingdom) - 2), kPale, 1);
    EXPECT_TRUE(paleAtBoundary(f, rowCentre(Class)));  // the joining line
    EXPECT_PRED3(Near, PixelAt(f, rowCentre(Species)), rowRgb(Species), 1);

    const int discX = kLeft + 9;
    EXPECT_PRED3(Near, PixelAt(discX, rowCentre(Order)), kPale, 1);
    EXPECT_TRUE(paleAtBoundary(discX, rowCentre(Class)));  // line to row -1
    EXPECT_PRED3(Near, PixelAt(discX, rowCentre(Family)), rowRgb(Family), 1);
}
