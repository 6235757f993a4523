// The frame: its order, when it stays black, the zoom step it makes while zooming, and
// the flights that draw one frame per step.
#include <gtest/gtest.h>

#include <cmath>

#include "ViewFixture.h"

namespace {

struct LoadedTrees : ViewFixture {
    TreeNode *a1, *a2, *small1, *small2, *only2;
    LoadedTrees() {
        a1 = placedNode(&doc.m_tree1, "A", 0.1, 0.1, 0.5);
        a2 = placedNode(&doc.m_tree2, "A", 0.1, 0.1, 0.5);
        // A tenth of the home window's size once framed: 0.1 * 1.1 / 1.1.
        small1 = placedNode(a1, "S", 0.3, 0.2, 0.1);
        small2 = placedNode(a2, "S", 0.3, 0.2, 0.1);
        only2 = placedNode(a2, "T", 0.15, 0.45, 0.05, 2);
    }
};

bool near(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b)); }

}  // namespace

TEST(FrameLoop, FrameIsBlackUntilBothTreesHaveChildren) {
    ViewFixture f;
    f.view.m_mouseMode = Zooming;
    f.view.OnDraw();
    EXPECT_EQ(f.surface.joined(), "current begin swap");
    addNode(&f.doc.m_tree1, "A");
    f.surface.calls.clear();
    f.view.OnDraw();
    EXPECT_EQ(f.surface.joined(), "current begin swap");
    // No zoom step happened although the mode is Zooming.
    EXPECT_DOUBLE_EQ(f.view.m_panel1.worldW, 1.1);
    EXPECT_EQ(f.surface.invalidations, 0);
}

TEST(FrameLoop, PanelsAreDrawnActiveFirstThenStripAndOverview) {
    LoadedTrees f;
    f.view.OnDraw();
    EXPECT_EQ(f.surface.joined(),
              "current begin panel1 panel2 strip(legend,panel1,panel2) "
              "overview(overview,panel1,panel2) swap");
    f.view.m_activePanel = &f.view.m_panel2;
    f.view.m_otherPanel = &f.view.m_panel1;
    f.surface.calls.clear();
    f.view.OnDraw();
    // The strip and the overview always get panel 1 and panel 2 in that order.
    EXPECT_EQ(f.surface.joined(),
              "current begin panel2 panel1 strip(legend,panel1,panel2) "
              "overview(overview,panel1,panel2) swap");
}

TEST(FrameLoop, WithoutAContextNothingIsDrawnOrSwapped) {
    LoadedTrees f;
    f.surface.hasContext = false;
    f.view.m_mouseMode = Zooming;
    f.view.OnDraw();
    EXPECT_EQ(f.surface.joined(), "current");
    EXPECT_DOUBLE_EQ(f.view.m_panel1.worldW, 1.1);
    f.view.OnShowWindow(false, nullptr, nullptr);
    f.view.OnDraw();  // hidden: no window at all
    EXPECT_EQ(f.surface.joined(), "current");
}

TEST(FrameLoop, ZoomingMakesOneStepPerFrameAtTheMousePosition) {
    LoadedTrees f;
    f.view.m_mouseMode = Zooming;
    f.view.m_zoomAction = ZoomIn;
    f.view.m_mouseX = -0.2;
    f.view.m_mouseY = 0.3;
    const double ax = f.view.m_panel1.toWorldX(-0.2);
    for (int i = 0; i < 3; ++i) f.view.OnDraw();
    EXPECT_TRUE(near(f.view.m_panel1.worldW, 1.1 * 0.9 * 0.9 * 0.9));
    EXPECT_TRUE(near(f.view.m_panel1.toWorldX(-0.2), ax));
    EXPECT_EQ(f.surface.invalidations, 3);  // each step asks for the next frame
    // The step comes after the overview and before the swap.
    EXPECT_EQ(f.surface.activeAtFrame[1].w, 1.1 * 0.9);
    f.view.m_mouseMode = Idle;
    f.view.OnDraw();
    EXPECT_EQ(f.surface.invalidations, 3);
}

TEST(FrameLoop, UpdateStalesTheOverviewAndAsksForAFrame) {
    ViewFixture f;
    f.view.m_overview.cacheDirty = 0;
    f.view.OnUpdate();
    EXPECT_EQ(f.view.m_overview.cacheDirty, 1);
    EXPECT_EQ(f.surface.invalidations, 1);
    EXPECT_EQ(f.surface.frames(), 0);  // a request, never a frame drawn at once
}

TEST(Flight, NearbyTargetFliesLinearlyInTwentyStepsPlusAFinalFrame) {
    LoadedTrees f;
    f.view.m_panel1.focus = f.a1;  // framed: 0.075, 0.075, 0.55 wide; ratio 0.5 / 1.1 * 1.1
    f.view.m_panel1.worldX = f.view.m_panel1.worldY = 0;
    f.view.m_panel1.worldW = f.view.m_panel1.worldH = 0.7;
    f.view.FlyToFocus();
    EXPECT_EQ(f.surface.frames(), 21);
    const auto& w = f.surface.activeAtFrame;
    ASSERT_EQ(w.size(), 21u);
    EXPECT_DOUBLE_EQ(w[0].x, 0);  // step 0 draws the start window
    EXPECT_DOUBLE_EQ(w[0].w, 0.7);
    for (int i = 0; i < 20; ++i) {
        const double fr = i / 19.0;
        EXPECT_TRUE(near(w[i].x, (1 - fr) * 0 + fr * 0.075)) << i;
        EXPECT_TRUE(near(w[i].w, (1 - fr) * 0.7 + fr * 0.55)) << i;
    }
    EXPECT_TRUE(near(w[19].x, 0.075));
    EXPECT_TRUE(near(w[20].w, 0.55));
    // Zoom Link: the other panel shows the same window in every frame.
    for (size_t i = 0; i < w.size(); ++i) EXPECT_EQ(f.surface.otherAtFrame[i].x, w[i].x);
    // The flight changes no focus.
    EXPECT_EQ(f.view.m_panel1.focus, f.a1);
    EXPECT_EQ(f.view.m_panel2.focus, &f.doc.m_tree2);
}

TEST(Flight, TenfoldZoomIsGeometricInTwentyThreeEqualSteps) {
    LoadedTrees f;
    f.view.m_panel1.focus = f.small1;  // framed 0.11 wide from 1.1: ratio 0.1
    f.view.FlyToFocus();
    EXPECT_EQ(f.surface.frames(), 24);
    const auto& w = f.surface.activeAtFrame;
    ASSERT_EQ(w.size(), 24u);
    const double s = std::pow(0.1, 1.0 / 23);
    // Step i shows the start size times the factor to the power i + 1.
    for (int i = 0; i < 23; ++i) {
        EXPECT_TRUE(near(w[i].w, 1.1 * std::pow(s, i + 1))) << i;
        EXPECT_TRUE(near(w[i].h, w[i].w)) << i;
        if (i > 0) {
            EXPECT_TRUE(near(w[i].w / w[i - 1].w, s)) << i;
        }
        // The gaps to the target's edges keep the proportion of the start (until both
        // vanish at the last step).
        if (i == 22) continue;
        const double left = 0.295 - w[i].x, right = (w[i].x + w[i].w) - 0.405;
        const double dL = 0.295 + 0.05, dR = 1.05 - 0.405;
        EXPECT_TRUE(near(left / right, dL / dR)) << i;
    }
    EXPECT_TRUE(near(w[22].x, 0.295));
    EXPECT_TRUE(near(w[22].y, 0.195));
    EXPECT_TRUE(near(w[22].w, 0.11));
    EXPECT_TRUE(near(w[23].w, 0.11));  // the last frame repeats the target
}

// The linear range is open at both ends: a target framed at exactly 0.7 or 1.5 times the
// window's size is reached geometrically, in trunc(|ln 0.7| * 10) = 3 and
// trunc(ln 1.5 * 10) = 4 steps, each followed by its frame, plus the final frame.
TEST(Flight, RatiosOfExactlySevenTenthsAndThreeHalvesAreGeometric) {
    for (const double ratio : {0.7, 1.5}) {
        SCOPED_TRACE("ratio " + std::to_string(ratio));
        LoadedTrees f;
        // A focus framed 0.55 wide (0.5 and a tenth of it), and a start window of the size
        // that makes the ratio come out exactly.
        ViewPanel& p = f.view.m_panel1;
        p.focus = f.a1;
        const double framed = f.a1->width + f.a1->width / 10;
        double start = framed / ratio;
        while (framed / start > ratio) start = std::nextafter(start, 10.0);
        while (framed / start < ratio) start = std::nextafter(start, 0.0);
        ASSERT_EQ(framed / start, ratio);
        p.worldX = p.worldY = 0.05;
        p.worldW = p.worldH = start;
        f.view.FlyToFocus();
        EXPECT_EQ(f.surface.frames(), ratio < 1 ? 4 : 5);
        EXPECT_TRUE(near(p.worldW, framed));
        EXPECT_TRUE(near(p.worldX, 0.075));
    }
}

TEST(Flight, WithoutZoomLinkTheOtherPanelFliesLinearlyToItsOwnFocus) {
    LoadedTrees f;
    f.view.m_zoomLink = false;
    f.view.m_panel1.focus = f.small1;
    f.view.m_panel2.focus = f.only2;  // framed: 0.1475, 0.4475, 0.055
    f.view.FlyToFocus();
    const auto& o = f.surface.otherAtFrame;
    ASSERT_EQ(o.size(), 24u);
    for (int i = 0; i < 23; ++i) {
        const double fr = i / 22.0;
        EXPECT_TRUE(near(o[i].x, (1 - fr) * -0.05 + fr * 0.1475)) << i;
        EXPECT_TRUE(near(o[i].w, (1 - fr) * 1.1 + fr * 0.055)) << i;
    }
    EXPECT_TRUE(near(f.view.m_panel2.worldY, 0.4475));
}

TEST(Flight, ZoomingOutFarIsGeometricToo) {
    LoadedTrees f;
    ViewPanel& p = f.view.m_panel1;
    p.worldX = p.worldY = 0.3;
    p.worldW = p.worldH = 0.011;  // the root framed is 0.99 wide: ratio 90
    p.focus = &f.doc.m_tree1;
    f.view.FlyToFocus();
    EXPECT_EQ(f.surface.frames(), static_cast<int>(std::log(90.0) * 10) + 1);
    EXPECT_TRUE(near(p.worldX, 0.005));
    EXPECT_TRUE(near(p.worldW, 0.99));
}

TEST(Flight, ANodeWithoutExtentGivesOneFrameAndNoFlight) {
    LoadedTrees f;
    TreeNode* flat = placedNode(f.a1, "Flat", 0.2, 0.2, 0);
    f.view.m_panel1.focus = flat;
    f.view.FlyToFocus();
    EXPECT_EQ(f.surface.frames(), 1);
    EXPECT_DOUBLE_EQ(f.view.m_panel1.worldW, 1.1);
}
