// The viewer as a user drives it, with real input events on the real window and the
// bundled sample: zooming and panning with the mouse, keys, searching, picking a flag,
// the style and link buttons, and the name browser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <functional>

#include "GuiFixture.h"
#include "NodeListDlgQt.h"
#include "Picking.h"
#include "SearchBar.h"

namespace {

// Window point (logical pixels) of a window-normalised point, as the view converts back.
QPoint windowPoint(CGLViewWindow& w, double nx, double ny) {
    const double cw = w.width() * w.devicePixelRatio() + 1, ch = w.height() * w.devicePixelRatio() + 1;
    return QPoint(static_cast<int>(std::lround((nx + 0.5) * cw / w.devicePixelRatio())),
                  static_cast<int>(std::lround((ch - (ny + 0.5) * ch) / w.devicePixelRatio())));
}

// A key typed where the keyboard focus is, as a user types it.
void typeKey(Qt::Key key) {
    if (QWidget* w = QApplication::focusWidget()) QTest::keyClick(w, key);
    else if (QWindow* win = QGuiApplication::focusWindow()) QTest::keyClick(win, key);
}

struct Journey : SampleApp {
    CGLViewWindow* window = nullptr;
    CSearchBar* bar = nullptr;
    Journey() {
        if (!available) return;
        window = &running->window();
        bar = running->app->MainFrame()->m_wndDlgBar;
        CMainFrame* frame = running->app->MainFrame();
        frame->activateWindow();
        (void)QTest::qWaitForWindowActive(frame, 3000);
    }
    CCladoramaView& view() { return running->view(); }
    CCladoramaDoc& doc() { return running->doc(); }
};

#define START_JOURNEY(j)                                   \
    Journey j;                                             \
    if (!j.available) GTEST_SKIP() << "no sample data";    \
    CCladoramaView& v = j.view();                          \
    CCladoramaDoc& doc = j.doc();                          \
    (void)v;                                               \
    (void)doc

}  // namespace

TEST(Journey, HoldToZoomHomeZoomOutAndDrag) {
    START_JOURNEY(j);
    ViewPanel& p1 = v.m_panel1;
    const QPoint at = windowPoint(*j.window, -0.3, 0.25);
    QTest::mousePress(j.window, Qt::LeftButton, {}, at);
    const double ax = p1.toWorldX(v.m_mouseX), ay = p1.toWorldY(v.m_mouseY);
    const long pressed = j.window->FrameCount();
    ASSERT_TRUE(waitFor([&] { return j.window->FrameCount() >= pressed + 5; }));
    const long steps = j.window->FrameCount() - pressed;  // one zoom step per frame
    QTest::mouseRelease(j.window, Qt::LeftButton, {}, at);
    QApplication::processEvents();
    EXPECT_NEAR(p1.worldW, 1.1 * std::pow(0.9, static_cast<double>(steps)), 1e-12);
    EXPECT_NEAR(p1.toWorldX(v.m_mouseX), ax, 1e-9);
    EXPECT_NEAR(p1.toWorldY(v.m_mouseY), ay, 1e-9);

    // H, typed into the window: home again.
    QTest::mouseClick(j.window, Qt::RightButton, {}, at);  // a click: no frame in between
    typeKey(Qt::Key_H);
    EXPECT_DOUBLE_EQ(p1.worldW, 1.1);
    EXPECT_DOUBLE_EQ(p1.worldX, -0.05);

    // The right button held zooms out no further than home.
    QTest::mousePress(j.window, Qt::LeftButton, {}, at);
    const long zoomIn = j.window->FrameCount();
    waitFor([&] { return j.window->FrameCount() >= zoomIn + 3; });
    QTest::mouseRelease(j.window, Qt::LeftButton, {}, at);
    QTest::mousePress(j.window, Qt::RightButton, {}, at);
    const long zoomOut = j.window->FrameCount();
    waitFor([&] { return j.window->FrameCount() >= zoomOut + 20; });
    QTest::mouseRelease(j.window, Qt::RightButton, {}, at);
    EXPECT_DOUBLE_EQ(p1.worldW, 1.1);
    EXPECT_GE(p1.worldX, -0.05);

    // The middle button drags the picture with the cursor, exactly.
    QTest::mousePress(j.window, Qt::MiddleButton, {}, at);
    const double wx = p1.toWorldX(v.m_mouseX), wy = p1.toWorldY(v.m_mouseY);
    QTest::mouseMove(j.window, at + QPoint(40, 25));
    EXPECT_NE(p1.worldX, -0.05);
    EXPECT_NEAR(p1.toWorldX(v.m_mouseX), wx, 1e-12);
    EXPECT_NEAR(p1.toWorldY(v.m_mouseY), wy, 1e-12);
    QTest::mouseRelease(j.window, Qt::MiddleButton, {}, at + QPoint(40, 25));
    EXPECT_EQ(v.m_mouseMode, Idle);
}

TEST(Journey, SearchAGenusChooseAMatchAndTheViewKeysWorkAgainAfterTheTextBox) {
    START_JOURNEY(j);
    QLineEdit* box = j.bar->m_comboSearch->lineEdit();
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, "Panthera");
    EXPECT_EQ(box->text().toStdString(), "Panthera");  // H typed here would be text
    QTest::mouseClick(j.bar->m_btnSearch, Qt::LeftButton);
    auto* dlg = dynamic_cast<CQtNodeListDlg*>(doc.m_pNodeListDlg.get());
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(waitFor([&] { return dlg->Window()->isVisible(); }));
    const int n = static_cast<int>(doc.m_searchResults.size());
    ASSERT_GE(n, 2);
    EXPECT_EQ(dlg->Window()->windowTitle().toStdString(), "Node list - " + std::to_string(n) + " item");
    EXPECT_EQ(dlg->List()->count(), n);
    EXPECT_EQ(dlg->List()->item(1)->text().toStdString(), doc.m_searchResults[1]->latinName);
    EXPECT_EQ(j.bar->m_comboSearch->count(), 1);  // the history

    QListWidget* list = dlg->List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    TreeNode* chosen = doc.m_searchResults[1];
    ASSERT_TRUE(waitFor([&] { return !doc.m_bNodeSelected; }));
    ViewPanel& panel = chosen->onlyInTree == 2 ? v.m_panel2 : v.m_panel1;
    EXPECT_EQ(panel.focus, chosen);
    EXPECT_NEAR(panel.worldW, chosen->width * 1.1, 1e-9);
    EXPECT_FALSE(j.bar->m_btnZoomLink->isChecked());

    // Into the text box, then into a tree panel: the view's keys reach the view again.
    j.running->app->MainFrame()->activateWindow();
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->hasFocus());
    // Enter in the box searches as SEARCH does, and the text goes into the history again.
    doc.m_searchResults.clear();
    typeKey(Qt::Key_Return);  // where a user's key goes: the combo box, which hands it on
    EXPECT_EQ(static_cast<int>(doc.m_searchResults.size()), n);
    EXPECT_EQ(j.bar->m_comboSearch->count(), 2);
    j.running->app->MainFrame()->activateWindow();
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->hasFocus());
    QTest::mouseClick(j.window, Qt::LeftButton, {}, windowPoint(*j.window, 0.3, 0.45));
    QApplication::processEvents();
    EXPECT_FALSE(box->hasFocus());
    typeKey(Qt::Key_D);
    EXPECT_TRUE(doc.m_searchResults.empty());
    typeKey(Qt::Key_H);
    EXPECT_DOUBLE_EQ(v.m_activePanel->worldW, 1.1);
    EXPECT_EQ(box->text().toStdString(), "Panthera");
}

TEST(Journey, ClickingTheFlagOfATaxonThatMovedFliesToItsNamesake) {
    START_JOURNEY(j);
    // A taxon of tree 1 only whose name tree 2 holds elsewhere, and a parent big enough
    // to be flown to.
    TreeNode* moved = nullptr;
    TreeNode* namesake = nullptr;
    {
        ConsoleCapture quiet;
        forEachNode(static_cast<TreeNode*>(&doc.m_tree1), [&](TreeNode* n) {
            if (moved || n->onlyInTree != 1 || !n->parent || n->parent->onlyInTree != 0) return;
            if (TreeNode* c = FindNodeByLatinName(&doc.m_tree2, n->latinName, 2)) {
                moved = n;
                namesake = c;
            }
        });
    }
    ASSERT_TRUE(moved) << "the sample has a taxon that moved";
    v.m_activePanel = &v.m_panel1;
    v.m_otherPanel = &v.m_panel2;
    v.m_panel1.focus = moved->parent;
    v.FlyToFocus();
    j.running->frame();
    ASSERT_LT(moved->hitLeft, moved->hitRight) << moved->latinName << "'s flag is drawn";
    const QPoint flag = windowPoint(*j.window, (moved->hitLeft + moved->hitRight) / 2,
                                    (moved->hitBottom + moved->hitTop) / 2);
    ConsoleCapture console;
    QTest::mousePress(j.window, Qt::LeftButton, {}, flag);
    EXPECT_EQ(v.m_mouseMode, NodePick);
    QTest::mouseRelease(j.window, Qt::LeftButton, {}, flag);
    EXPECT_EQ(console.text(), std::string("There is ") + namesake->latinName + " in the data set\n");
    EXPECT_EQ(v.m_panel1.focus, moved);
    EXPECT_EQ(v.m_panel2.focus, namesake);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_FALSE(j.bar->m_btnZoomLink->isChecked());
    EXPECT_NEAR(v.m_panel2.worldW, namesake->width * 1.1, 1e-9);
}

TEST(Journey, StyleAndLinkKeysKeepTheButtonsInStep) {
    START_JOURNEY(j);
    QTest::mouseClick(j.window, Qt::RightButton, {}, windowPoint(*j.window, 0.0, -0.49));
    const long frames = j.window->FrameCount();
    typeKey(Qt::Key_T);
    EXPECT_EQ(v.m_overview.overviewStyle, 0);
    EXPECT_TRUE(j.bar->m_btnTreeStyle->isChecked());
    EXPECT_FALSE(j.bar->m_btnBarStyle->isChecked());
    typeKey(Qt::Key_T);
    EXPECT_EQ(v.m_overview.overviewStyle, 1);
    EXPECT_TRUE(j.bar->m_btnBarStyle->isChecked());
    EXPECT_FALSE(j.bar->m_btnTreeStyle->isChecked());
    waitFor([&] { return j.window->FrameCount() > frames; });
    typeKey(Qt::Key_U);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_FALSE(j.bar->m_btnZoomLink->isChecked());
    // The main window minimised and restored: the window system shows the bar again, which
    // leaves the link as the view has it.
    CMainFrame* frame = j.running->app->MainFrame();
    frame->setWindowState(Qt::WindowMinimized);
    waitFor([&] { return frame->isMinimized(); });
    frame->setWindowState(Qt::WindowNoState);
    waitFor([&] { return !frame->isMinimized() && j.bar->isVisible(); });
    // Active again, as a user's click on it makes it, so that the keys reach the view.
    frame->activateWindow();
    (void)QTest::qWaitForWindowActive(frame, 5000);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_FALSE(j.bar->m_btnZoomLink->isChecked());
    EXPECT_FALSE(v.m_zoomLink);
    typeKey(Qt::Key_L);
    EXPECT_TRUE(v.m_zoomLink);
    EXPECT_TRUE(j.bar->m_btnZoomLink->isChecked());

    // The buttons themselves: the lines style, then the link off with a click.
    QTest::mouseClick(j.bar->m_btnTreeStyle, Qt::LeftButton);
    EXPECT_EQ(v.m_overview.overviewStyle, 0);
    EXPECT_FALSE(j.bar->m_btnBarStyle->isChecked());
    EXPECT_EQ(v.m_overview.cacheDirty, 1);
    QTest::mouseClick(j.bar->m_btnBarStyle, Qt::LeftButton);
    EXPECT_EQ(v.m_overview.overviewStyle, 1);
    QTest::mouseClick(j.bar->m_btnZoomLink, Qt::LeftButton);
    EXPECT_FALSE(v.m_zoomLink);
}

TEST(Journey, SliderPreviousAndNextBrowseTheNames) {
    START_JOURNEY(j);
    const std::vector<TreeNode*>& latin = doc.m_tree1.latinIndex;
    ASSERT_GT(latin.size(), 300u);
    QSlider* slider = j.bar->m_slider;
    EXPECT_EQ(slider->maximum(), static_cast<int>(latin.size() - 1) / 100);
    auto text = [&] { return j.bar->m_comboSearch->currentText().toStdString(); };
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->value(), 1);
    EXPECT_EQ(text(), latin[100]->latinName);
    QTest::mouseClick(j.bar->m_btnNext, Qt::LeftButton);
    EXPECT_EQ(text(), latin[101]->latinName);
    EXPECT_EQ(slider->value(), 1);
    QTest::mouseClick(j.bar->m_btnPrev, Qt::LeftButton);
    QTest::mouseClick(j.bar->m_btnPrev, Qt::LeftButton);
    EXPECT_EQ(text(), latin[99]->latinName);
    EXPECT_EQ(slider->value(), 0);

    // Common names move one by one; the text stays until the next move.
    j.bar->m_comboMode->setCurrentIndex(1);
    EXPECT_EQ(text(), latin[99]->latinName);
    EXPECT_EQ(slider->maximum(), static_cast<int>(doc.m_combinedByCommon.size()) - 1);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(text(), doc.m_combinedByCommon[1]->commonName);

    // A character the names' encoding lacks matches nothing, and nothing crashes.
    MessageBoxCatcher catcher;
    j.bar->m_comboMode->setCurrentIndex(0);
    j.bar->m_comboSearch->setEditText(QString::fromUtf8("Felis \xE2\x82\xAC"));
    QTest::mouseClick(j.bar->m_btnSearch, Qt::LeftButton);
    EXPECT_TRUE(doc.m_searchResults.empty());
    ASSERT_EQ(catcher.texts.size(), 1u);
    EXPECT_EQ(catcher.texts[0], "No node found with the Latin Name\n Try another name");
    // An empty text asks for one.
    j.bar->m_comboSearch->setEditText(QString());
    QTest::mouseClick(j.bar->m_btnSearch, Qt::LeftButton);
    ASSERT_EQ(catcher.texts.size(), 2u);
    EXPECT_EQ(catcher.texts[1], "Type Search String!");
}
