// The overview of the real window on the bundled sample: both styles, the search frames,
// the focus paths, the hover label, the pixel cache, and a pick in the node list that flies
// the tree panels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTest>
#include <QToolButton>
#include <cstring>
#include <functional>

#include "GuiFixture.h"
#include "NodeListDlgQt.h"
#include "OverviewState.h"
#include "Render.h"
#include "SearchBar.h"

namespace {

constexpr QRgb kPale = qRgb(255, 255, 153);  // (1, 1, 0.6)

double centreX(const TreeNode* n) { return n->overviewX + n->overviewWidth / 2; }
double centreY(const TreeNode* n) { return n->overviewY - n->overviewHeight / 2; }

// The first node of the tree, depth first, that `want` accepts.
TreeNode* findNode(TreeNode* root, const std::function<bool(const TreeNode*)>& want) {
    TreeNode* found = nullptr;
    forEachNode(root, [&](TreeNode* n) {
        if (!found && want(n)) found = n;
    });
    return found;
}

QRgb rankColour(const TreeNode* n) {
    const auto c = rankColourOf(n->rankName);
    return qRgb(c[0], c[1], c[2]);
}

// Pixels of the overview's rectangle (the bottom rows of the frame) that differ.
int overviewDifferences(const QImage& a, const QImage& b, int rows) {
    int differ = 0;
    for (int y = a.height() - rows; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differ += a.pixel(x, y) != b.pixel(x, y);
    return differ;
}

// Pixels of `colour` in the box of (nx, ny) extended by the offsets in pixels.
int countColour(const QImage& img, double nx, double ny, int dx0, int dy0, int dx1, int dy1,
                QRgb colour) {
    int n = 0;
    for (int dy = dy0; dy <= dy1; ++dy)
        for (int dx = dx0; dx <= dx1; ++dx) n += pixelAt(img, nx, ny, dx, dy) == colour;
    return n;
}

#define START_SAMPLE(s)                                   \
    SampleApp s;                                          \
    if (!s.available) GTEST_SKIP() << "no sample data";   \
    CCladoramaView& v = s->view();                        \
    CCladoramaDoc& doc = s->doc();                        \
    (void)v;                                              \
    (void)doc

}  // namespace

TEST(Overview, BoxesInRankColoursAndWhiteWhereOneTreeOnlyLinesRedAndBlue) {
    START_SAMPLE(s);
    OverviewPanel& ov = v.m_overview;
    const double px = 1.0 / ov.pixelW;
    TreeNode* root = &doc.m_tree1;
    QImage img = s->frame();
    maybeSave(img, "gui-overview-boxes");
    // The root's band in the root's rank colour, away from the focus marker at its centre.
    EXPECT_EQ(rgbText(pixelAt(img, -0.3, centreY(root))), rgbText(rankColour(root)));
    TreeNode* marked = findNode(root, [&](const TreeNode* n) {
        return n->onlyInTree != 0 && n->overviewWidth > 6 * px;
    });
    TreeNode* common = findNode(root, [&](const TreeNode* n) {
        return n->level >= 2 && n->onlyInTree == 0 && n->overviewWidth > 6 * px;
    });
    ASSERT_TRUE(marked && common);
    EXPECT_EQ(rgbText(pixelAt(img, centreX(marked), centreY(marked))), rgbText(255, 255, 255));
    EXPECT_EQ(rgbText(pixelAt(img, centreX(common), centreY(common))), rgbText(rankColour(common)));

    // Lines: no boxes, only links; red below taxa of tree 1 only, blue below tree 2's.
    v.SetOverviewStyle(0);
    ov.cacheDirty = 1;
    img = s->frame();
    maybeSave(img, "gui-overview-lines");
    int red = 0, blue = 0, white = 0;
    for (int y = img.height() - ov.pixelH; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            red += c == qRgb(255, 0, 0);
            blue += c == qRgb(0, 0, 255);
            white += c == qRgb(255, 255, 255);
        }
    }
    EXPECT_GT(red, 50);
    EXPECT_GT(blue, 50);
    EXPECT_GT(white, 50);
    EXPECT_EQ(rgbText(pixelAt(img, -0.3, centreY(root))), rgbText(200, 200, 200));
}

TEST(Overview, SearchFramesAndBothFocusPaths) {
    START_SAMPLE(s);
    OverviewPanel& ov = v.m_overview;
    const double px = 1.0 / ov.pixelW;
    TreeNode* match = findNode(&doc.m_tree1, [&](const TreeNode* n) {
        return n->level == 2 && n->overviewWidth > 30 * px;
    });
    ASSERT_TRUE(match);
    // Tree 1's focus three levels down in one order, tree 2's in another.
    TreeNode* f1 = findNode(&doc.m_tree1, [&](const TreeNode* n) {
        return n->level == 3 && n->onlyInTree != 2 && n->overviewWidth > 12 * px &&
               n->parent->parent != match->parent;
    });
    ASSERT_TRUE(f1);
    TreeNode* f2 = findNode(&doc.m_tree2, [&](const TreeNode* n) {
        return n->level == 3 && n->onlyInTree != 1 && n->overviewWidth > 12 * px &&
               std::strcmp(n->parent->parent->latinName, f1->parent->parent->latinName) != 0 &&
               std::strcmp(n->parent->parent->latinName, match->parent->latinName) != 0;
    });
    ASSERT_TRUE(f2);
    const QImage plain = s->frame();
    doc.m_searchResults = {match};
    v.m_panel1.focus = f1;
    v.m_panel2.focus = f2;
    const QImage img = s->frame();
    maybeSave(img, "gui-overview-overlays");

    // The match: a black frame four pixels wide on its edges, a shadow 1.5 px beyond its
    // right edge, none inside.
    const double my = centreY(match);
    EXPECT_EQ(pixelAt(img, match->overviewX, my), qRgb(0, 0, 0));
    EXPECT_EQ(pixelAt(img, match->overviewX + match->overviewWidth, my), qRgb(0, 0, 0));
    EXPECT_EQ(pixelAt(img, centreX(match), my), pixelAt(plain, centreX(match), my));
    EXPECT_GE(countColour(img, match->overviewX + match->overviewWidth + 1.5 * px, my, -1, -2, 1, 2,
                          qRgb(0, 0, 0)),
              5);
    // Tree 1's path: a pale disc with a black rim at each centre, pale box frames.
    for (const TreeNode* q : {f1, f1->parent}) {
        EXPECT_EQ(rgbText(pixelAt(img, centreX(q), centreY(q))), rgbText(kPale)) << q->latinName;
        EXPECT_GE(countColour(img, centreX(q), centreY(q), -5, 0, 5, 0, qRgb(0, 0, 0)), 1);
        EXPECT_GE(countColour(img, centreX(q) - 5 * px, q->overviewY, 0, -1, 0, 1, kPale), 1);
    }
    // Tree 2's path: a pale triangle on its own boxes, its base line black 2 px below.
    EXPECT_EQ(rgbText(pixelAt(img, centreX(f2), centreY(f2))), rgbText(kPale));
    EXPECT_GE(countColour(img, centreX(f2), centreY(f2), -2, 1, 2, 3, qRgb(0, 0, 0)), 3);
    EXPECT_EQ(countColour(plain, centreX(f2), centreY(f2), -2, 1, 2, 3, qRgb(0, 0, 0)), 0);
}

TEST(Overview, HoverLabelFollowsTheMouseAndGoesOnEmptySpace) {
    START_SAMPLE(s);
    OverviewPanel& ov = v.m_overview;
    const double px = 1.0 / ov.pixelW;
    TreeNode* order = findNode(&doc.m_tree1, [&](const TreeNode* n) {
        return n->level == 1 && n->onlyInTree == 0 && n->overviewWidth > 150 * px;
    });
    ASSERT_TRUE(order);
    const double x = order->overviewX + 10 * px, y = centreY(order);
    const QImage before = s->frame();
    UpdateOverviewHover(ov, x, y);
    ASSERT_EQ(ov.hoverNode, order);
    const QImage hovered = s->frame();
    maybeSave(hovered, "gui-overview-hover");
    const QRgb black = qRgb(0, 0, 0);
    EXPECT_EQ(countColour(before, x, y, 0, -8, 60, 0, black), 0);
    EXPECT_GT(countColour(hovered, x, y, 0, -8, 60, 0, black), 10);  // the text, from the mouse on
    // The hovered box is framed in the pale colour.
    EXPECT_GE(countColour(hovered, centreX(order), order->overviewY, 0, -1, 0, 1, kPale), 1);
    // Off every box the label goes.
    UpdateOverviewHover(ov, -0.48, -0.3);
    EXPECT_EQ(ov.hovering, 0);
    EXPECT_EQ(countColour(s->frame(), x, y, 0, -8, 60, 0, black), 0);
}

TEST(Overview, CacheCopyIsTheDrawnPictureAndResizeRedrawsOnceWithoutNewLayout) {
    START_SAMPLE(s);
    OverviewPanel& ov = v.m_overview;
    TreeNode* root = &doc.m_tree1;
    ov.cacheDirty = 1;
    const QImage drawn = s->frame();
    EXPECT_EQ(ov.cacheDirty, 0);
    const QImage copied = s->frame();
    EXPECT_EQ(overviewDifferences(drawn, copied, ov.pixelH), 0);

    // Later frames copy: a change nobody announced does not show ...
    const uint8_t saved[3] = {root->color[0], root->color[1], root->color[2]};
    root->color[0] = root->color[1] = root->color[2] = 0;
    QImage img = s->frame();
    EXPECT_EQ(rgbText(pixelAt(img, -0.3, centreY(root))), rgbText(saved[0], saved[1], saved[2]));
    // ... until a resize makes the cache stale; the boxes keep the last update's layout.
    TreeNode* second = root->children[1];
    const double secondX = second->overviewX;
    const int widthBefore = ov.pixelW;
    QElapsedTimer t;
    // A width whose rows are no multiple of four bytes: rows read and drawn with different
    // alignments would then shear the copy more with every row.
    for (int w = 901; w < 905 && (ov.pixelW == widthBefore || ov.pixelW * 3 % 4 == 0); ++w) {
        s->app->MainFrame()->resize(w, 760);
        t.start();
        const int was = ov.pixelW;
        while (ov.pixelW == was && t.elapsed() < 3000) QApplication::processEvents();
    }
    ASSERT_NE(ov.pixelW, widthBefore);
    ASSERT_NE(ov.pixelW * 3 % 4, 0);
    img = s->frame();
    EXPECT_EQ(ov.cacheDirty, 0);
    EXPECT_EQ(ov.pixelCache.size(), static_cast<size_t>(ov.pixelW) * ov.pixelH * 4);
    EXPECT_EQ(rgbText(pixelAt(img, -0.3, centreY(root))), rgbText(0, 0, 0));
    EXPECT_EQ(second->overviewX, secondX);
    const QImage copy = s->frame();
    EXPECT_EQ(overviewDifferences(img, copy, ov.pixelH), 0);
    // The copy shows each box where it was drawn, in its own colour, up to the top band.
    for (const TreeNode* k : root->children) {
        if (k->overviewWidth * ov.pixelW < 8) continue;
        const QRgb want = k->onlyInTree ? qRgb(255, 255, 255) : rankColour(k);
        EXPECT_EQ(rgbText(pixelAt(copy, centreX(k), centreY(k))), rgbText(qRed(want), qGreen(want), qBlue(want)))
            << k->latinName;
    }
    std::copy(saved, saved + 3, root->color);
}

TEST(Overview, PickInTheNodeListFliesThePanelsAndSwitchesTheLinkOff) {
    START_SAMPLE(s);
    MessageBoxCatcher catcher;
    doc.Search(0, "Felis");
    auto* dlg = dynamic_cast<CQtNodeListDlg*>(doc.m_pNodeListDlg.get());
    ASSERT_TRUE(dlg && dlg->List());
    ASSERT_GE(doc.m_searchResults.size(), 2u);
    QListWidget* list = dlg->List();
    QElapsedTimer t;
    t.start();
    while (!list->isVisible() && t.elapsed() < 3000) QApplication::processEvents();
    CSearchBar* bar = s->app->MainFrame()->m_wndDlgBar;
    // The list getting the keyboard focus (its window activated) picks nothing.
    dlg->Window()->activateWindow();
    (void)QTest::qWaitForWindowActive(dlg->Window(), 3000);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_FALSE(doc.m_bNodeSelected);
    ASSERT_TRUE(v.m_zoomLink);
    ASSERT_TRUE(bar->m_btnZoomLink->isChecked());

    const int row = 1;
    TreeNode* target = doc.m_searchResults[row];
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
    ASSERT_EQ(list->currentRow(), row);
    t.restart();
    while (doc.m_bNodeSelected && t.elapsed() < 5000) QApplication::processEvents();
    EXPECT_FALSE(doc.m_bNodeSelected);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_FALSE(bar->m_btnZoomLink->isChecked());
    ViewPanel& panel = target->onlyInTree == 2 ? v.m_panel2 : v.m_panel1;
    EXPECT_EQ(panel.focus, target);
    EXPECT_NEAR(panel.worldW, target->width * 1.1, 1e-9);
    EXPECT_NEAR(panel.worldX, target->x - target->width / 20, 1e-9);
    EXPECT_TRUE(catcher.texts.empty());
}
