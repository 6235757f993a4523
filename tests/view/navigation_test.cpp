// The view's mouse gestures and keys, driven through its handlers in client pixels.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "Console.h"
#include "OverviewState.h"
#include "Picking.h"
#include "ViewFixture.h"

namespace {

// A client area of 999 x 744 pixels: w = 1000 and h = 745 in the conversion.
struct NavFixture : ViewFixture {
    ButtonFramework framework;
    TreeNode *carnivora1, *felis1, *lynx1, *alius1, *carnivora2, *felis2;
    NavFixture() {
        doc.m_pFramework = &framework;
        view.OnSize(999, 744);
        carnivora1 = placedNode(&doc.m_tree1, "Carnivora", 0.1, 0.1, 0.8, 0, "Order");
        felis1 = placedNode(carnivora1, "Felis", 0.2, 0.2, 0.2, 1);
        lynx1 = placedNode(carnivora1, "Lynx", 0.5, 0.5, 0.2, 1);
        alius1 = placedNode(&doc.m_tree1, "Alius", 0.9, 0.9, 0.05, 2, "Order");  // grafted copy
        carnivora2 = placedNode(&doc.m_tree2, "Carnivora", 0.1, 0.1, 0.8, 0, "Order");
        felis2 = placedNode(carnivora2, "felis", 0.2, 0.2, 0.2, 2);
        placedNode(&doc.m_tree2, "Alius", 0.9, 0.9, 0.05, 2, "Order");
        for (ClassificationTree* t : {&doc.m_tree1, &doc.m_tree2}) {
            t->maxLevel = 2;
            t->combinedDescendantCount = 4;
        }
        carnivora1->combinedDescendantCount = 2;
        carnivora2->combinedDescendantCount = 1;
        doc.m_tree2.combinedDescendantCount = 3;
        view.OnUpdate();
        framework.log.clear();
    }
    ~NavFixture() { view.OnShowWindow(false, nullptr, nullptr); }
    // Client pixel of a window-normalised point.
    static int px(double nx) { return static_cast<int>(std::lround((nx + 0.5) * 1000)); }
    static int py(double ny) { return static_cast<int>(std::lround(745 - (ny + 0.5) * 745)); }
    void frames(int n) {
        for (int i = 0; i < n; ++i) view.OnDraw();
    }
};

}  // namespace

TEST(Navigation, ClientPixelsToTheNormalisedSquare) {
    NavFixture f;
    double nx, ny;
    f.view.ClientToNormalized(0, 0, nx, ny);
    EXPECT_DOUBLE_EQ(nx, -0.5);
    EXPECT_DOUBLE_EQ(ny, 0.5);
    f.view.ClientToNormalized(999, 744, nx, ny);
    EXPECT_DOUBLE_EQ(nx, 999 / 1000.0 - 0.5);
    EXPECT_DOUBLE_EQ(ny, 1 / 745.0 - 0.5);
}

TEST(Navigation, HeldButtonsZoomOncePerFrameAboutTheCursorMiddleDragPans) {
    NavFixture f;
    CCladoramaView& v = f.view;
    ViewPanel& p1 = v.m_panel1;
    const int x = 225, y = 149;  // (-0.275, 0.3) in tree panel 1
    // A press and release with no frame between them does not zoom.
    v.OnLButtonDown(MK_LBUTTON, x, y);
    EXPECT_EQ(v.m_mouseMode, Zooming);
    v.OnLButtonUp(0, x, y);
    EXPECT_EQ(v.m_mouseMode, Idle);
    EXPECT_DOUBLE_EQ(p1.worldW, 1.1);

    v.OnLButtonDown(MK_LBUTTON, x, y);
    const double ax = p1.toWorldX(v.m_mouseX), ay = p1.toWorldY(v.m_mouseY);
    f.frames(3);
    v.OnLButtonUp(0, x, y);
    f.frames(2);  // released: no more steps
    EXPECT_NEAR(p1.worldW, 1.1 * 0.9 * 0.9 * 0.9, 1e-12);
    EXPECT_NEAR(p1.toWorldX(v.m_mouseX), ax, 1e-12);
    EXPECT_NEAR(p1.toWorldY(v.m_mouseY), ay, 1e-12);
    EXPECT_DOUBLE_EQ(v.m_panel2.worldW, p1.worldW);  // linked

    // The right button zooms out to the home limits and no further; in the legend strip it
    // does nothing, not even a repaint.
    const int before = f.surface.invalidations;
    v.OnRButtonDown(MK_RBUTTON, 500, y);
    EXPECT_EQ(v.m_mouseMode, Idle);
    EXPECT_EQ(f.surface.invalidations, before);
    v.OnRButtonDown(MK_RBUTTON, 775, y);  // tree panel 2
    EXPECT_EQ(v.m_activePanel, &v.m_panel2);
    f.frames(40);
    v.OnRButtonUp(0, 775, y);
    EXPECT_DOUBLE_EQ(v.m_panel2.worldW, 1.1);
    EXPECT_GE(v.m_panel2.worldX, -0.05);

    // The middle button drags the content with the cursor, exactly.
    v.OnMButtonDown(MK_MBUTTON, x, y);
    EXPECT_EQ(v.m_activePanel, &p1);
    const double wx = p1.toWorldX(v.m_mouseX), wy = p1.toWorldY(v.m_mouseY);
    v.OnMouseMove(MK_MBUTTON, x + 37, y - 21);
    EXPECT_NEAR(p1.toWorldX(v.m_mouseX), wx, 1e-12);
    EXPECT_NEAR(p1.toWorldY(v.m_mouseY), wy, 1e-12);
    EXPECT_DOUBLE_EQ(v.m_panel2.worldX, p1.worldX);
    v.OnMButtonUp(0, x + 37, y - 21);
    EXPECT_EQ(v.m_mouseMode, Idle);
}

TEST(Navigation, FlagPickFliesToTheNamesakeOrFollowsTheCommonAncestor) {
    NavFixture f;
    CCladoramaView& v = f.view;
    double mx, my;
    v.ClientToNormalized(225, 149, mx, my);
    SetPickBox(v.m_panel1, *f.felis1, mx - 0.01, mx + 0.01, my - 0.01, my + 0.01);
    {
        ConsoleCapture console;
        v.OnLButtonDown(MK_LBUTTON, 225, 149);
        EXPECT_EQ(v.m_mouseMode, NodePick);
        const int framesBefore = f.surface.frames();
        v.OnLButtonUp(0, 225, 149);
        EXPECT_EQ(console.text(), "There is felis in the data set\n");
        EXPECT_GT(f.surface.frames(), framesBefore + 1);  // flown
    }
    EXPECT_EQ(v.m_panel1.focus, f.felis1);
    EXPECT_EQ(v.m_panel2.focus, f.felis2);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_EQ(f.framework.log, "link:off ");
    EXPECT_EQ(v.m_mouseMode, Idle);

    // Lynx has no namesake: the link goes on and panel 2 follows Carnivora.
    BeginPickFrame(v.m_panel1);
    v.OnHome();
    v.m_panel2.focus = v.m_panel2.root;
    SetPickBox(v.m_panel1, *f.lynx1, mx - 0.01, mx + 0.01, my - 0.01, my + 0.01);
    ConsoleCapture console;
    v.OnLButtonDown(MK_LBUTTON, 225, 149);
    v.OnLButtonUp(0, 225, 149);
    EXPECT_EQ(console.text(), "");
    EXPECT_TRUE(v.m_zoomLink);
    EXPECT_EQ(v.m_panel1.focus, f.lynx1);
    EXPECT_EQ(v.m_panel2.focus, f.carnivora1);
}

TEST(Navigation, OverviewClickAimsAPanelHoverOnlyWithNoButtonHeld) {
    NavFixture f;
    CCladoramaView& v = f.view;
    const TreeNode* a = f.alius1;
    const int x = NavFixture::px(a->overviewX + a->overviewWidth / 2);
    const int y = NavFixture::py(a->overviewY - a->overviewHeight / 2);
    // A taxon of tree 2 only: panel 2's focus, link off; the release flies both panels.
    v.OnLButtonDown(MK_LBUTTON, x, y);
    EXPECT_EQ(v.m_mouseMode, OverviewPick);
    EXPECT_EQ(v.m_panel2.focus, f.alius1);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_EQ(v.m_overview.targetPanel, &v.m_panel1);  // aimed back at the active panel
    v.OnLButtonUp(0, x, y);
    EXPECT_EQ(v.m_mouseMode, Idle);
    EXPECT_NEAR(v.m_panel2.worldW, 0.055, 1e-12);

    const TreeNode* c = f.carnivora1;
    const int cx = NavFixture::px(c->overviewX + c->overviewWidth / 2);
    const int cy = NavFixture::py(c->overviewY - c->overviewHeight / 2);
    v.OnMouseMove(MK_LBUTTON, cx, cy);
    EXPECT_EQ(v.m_overview.hovering, 0);
    v.OnMouseMove(0, cx, cy);
    EXPECT_EQ(v.m_overview.hoverNode, f.carnivora1);
    EXPECT_EQ(v.m_overview.hovering, 1);
}

TEST(Navigation, KeysClearSearchGoHomeSwitchLinkAndStyleAndFindByName) {
    NavFixture f;
    CCladoramaView& v = f.view;
    f.doc.m_searchResults = {f.felis1};
    EXPECT_TRUE(v.OnKeyDown('D'));
    EXPECT_TRUE(f.doc.m_searchResults.empty());
    EXPECT_FALSE(v.OnKeyDown('Q'));

    v.m_panel1.worldW = v.m_panel1.worldH = 0.2;
    v.m_panel1.focus = f.felis1;
    v.OnKeyDown('H');
    EXPECT_DOUBLE_EQ(v.m_panel1.worldW, 1.1);
    EXPECT_EQ(v.m_panel1.focus, v.m_panel1.root);

    const int invalidations = f.surface.invalidations;
    v.OnKeyDown('U');
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_EQ(f.surface.invalidations, invalidations);  // no repaint
    v.OnKeyDown('L');
    EXPECT_TRUE(v.m_zoomLink);
    v.m_overview.cacheDirty = 0;
    v.OnKeyDown('T');
    EXPECT_EQ(v.m_overview.overviewStyle, 0);
    EXPECT_EQ(v.m_overview.cacheDirty, 1);
    v.OnKeyDown('T');
    EXPECT_EQ(v.m_overview.overviewStyle, 1);
    EXPECT_EQ(f.framework.log, "link:off link:on style:0 style:1 ");

    // F reads a word from the console and looks it up among tree 1's common taxa.
    char input[] = "  CARNIVORA felis";
    FILE* in = fmemopen(input, sizeof input - 1, "r");
    setConsoleInput(in);
    {
        ConsoleCapture console;
        v.OnKeyDown('F');
        v.OnKeyDown('F');  // Felis is tree 1's own: not looked for
        v.OnKeyDown('F');  // end of input
        EXPECT_EQ(console.text(),
                  "Latin Name:     \nThere is Carnivora in the data set\n"
                  "Latin Name:     \nLatin Name:     \n");
    }
    setConsoleInput(nullptr);
    std::fclose(in);

    // Standard input that is no terminal (a pipe nobody writes to) is not waited for.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedStdin = dup(STDIN_FILENO);
    dup2(pipeEnds[0], STDIN_FILENO);
    char word[64];
    EXPECT_FALSE(consoleReadWord(word, sizeof word));
    dup2(savedStdin, STDIN_FILENO);
    for (int fd : {savedStdin, pipeEnds[0], pipeEnds[1]}) close(fd);
}
