// The changes panel as a user drives it on the bundled sample: opened with its shortcut,
// filtered with its own widgets, a row chosen with the mouse, the rows exported through the
// file dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <utility>

#include "ChangesPanel.h"
#include "GuiFixture.h"

namespace {

// Runs `act` once `ready` gives what it needs (a popup or a dialog that a click is about to
// open and wait in), trying for a few seconds.
template <class T>
void whenOpen(std::function<T*()> ready, std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0), seen = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        T* open = ready();
        // Shown, and given a moment to take input.
        if (open && !open->isVisible()) open = nullptr;
        if (open && ++*seen < 4) return;
        if (!open && ++*tries < 200) return;
        timer->stop();
        timer->deleteLater();
        if (open) act(open);
    });
    timer->start(25);
}

// Opens the kinds menu with a click and clicks its entry `text`.
void chooseKind(CChangesPanel& panel, const QString& text) {
    bool clicked = false;
    whenOpen<QMenu>([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                    [&](QMenu* menu) {
                        for (QAction* a : menu->actions())
                            if (a->text() == text) {
                                QTest::mouseClick(menu, Qt::LeftButton, {},
                                                  menu->actionGeometry(a).center());
                                clicked = true;
                                return;
                            }
                        menu->close();
                    });
    QTest::mouseClick(panel.m_btnKinds, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_TRUE(clicked) << text.toStdString();
}

void chooseRank(CChangesPanel& panel, const char* rank) {
    panel.m_comboRank->setFocus();
    QTest::keyClicks(panel.m_comboRank, QString::fromLatin1(rank));
    ASSERT_EQ(panel.m_comboRank->currentText(), QString::fromLatin1(rank));
}

void clickRow(CChangesPanel& panel, int row) {
    QTableView* table = panel.m_table;
    const QRect cell = table->visualRect(table->model()->index(row, 2));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QApplication::processEvents();
}

const ChangeRow& shownRow(const CCladoramaDoc& doc, int row) {
    return doc.m_changes.rows()[doc.m_changes.shown()[static_cast<size_t>(row)]];
}

}  // namespace

TEST(ChangesPanel, FilterChooseFlyFrameAndExport) {
    SampleApp sample;
    if (!sample.available) GTEST_SKIP() << "no sample data";
    CCladoramaApp& app = *sample->app;
    CCladoramaDoc& doc = sample->doc();
    CCladoramaView& view = sample->view();
    CMainFrame& frame = *app.MainFrame();
    frame.activateWindow();
    (void)QTest::qWaitForWindowActive(&frame, 3000);
    CChangesPanel& panel = *frame.m_changesPanel;
    ASSERT_FALSE(panel.isVisible());
    ASSERT_FALSE(doc.m_changes.rows().empty());

    QTest::keyClick(&frame, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(waitFor([&] { return panel.isVisible(); }));
    EXPECT_EQ(panel.m_table->model()->rowCount(), static_cast<int>(doc.m_changes.rows().size()));

    // Renamed species.
    chooseKind(panel, QStringLiteral("No kinds"));
    EXPECT_EQ(panel.m_table->model()->rowCount(), 0);
    chooseKind(panel, QStringLiteral("renamed"));
    chooseRank(panel, "Species");
    const int renamed = panel.m_table->model()->rowCount();
    ASSERT_GT(renamed, 0);
    EXPECT_EQ(renamed, doc.m_changes.counts()[static_cast<int>(ChangeRowKind::Renamed)]);
    EXPECT_TRUE(panel.m_summary->text().contains(QStringLiteral("%1 renamed").arg(renamed)))
        << panel.m_summary->text().toStdString();
    const ChangeRow& pair = shownRow(doc, renamed / 2);
    ASSERT_TRUE(pair.node1 && pair.node2);
    EXPECT_STRNE(pair.node1->latinName, pair.node2->latinName);
    view.SetZoomLink(true);
    clickRow(panel, renamed / 2);
    EXPECT_EQ(view.m_panel1.focus, pair.node1);
    EXPECT_EQ(view.m_panel2.focus, pair.node2);
    EXPECT_FALSE(view.m_zoomLink);
    // Both panels are where their taxon is.
    EXPECT_NEAR(view.m_panel1.worldW, pair.node1->width * 1.1, 1e-9);
    EXPECT_NEAR(view.m_panel2.worldW, pair.node2->width * 1.1, 1e-9);
    maybeSave(panel.grab().toImage(), "changes_renamed");

    // A genus split in two: the species it shares with the chosen part are framed.
    chooseKind(panel, QStringLiteral("renamed"));
    chooseKind(panel, QStringLiteral("split"));
    chooseRank(panel, "Genus");
    ASSERT_GT(panel.m_table->model()->rowCount(), 0);
    const ChangeRow& split = shownRow(doc, 0);
    EXPECT_EQ(split.kind, ChangeRowKind::Split);
    clickRow(panel, 0);
    EXPECT_EQ(view.m_panel1.focus, split.node1);
    EXPECT_EQ(view.m_panel2.focus, split.node2);
    const std::vector<const TreeNode*> framed = view.m_overview.framedNodes;
    ASSERT_FALSE(framed.empty());
    EXPECT_EQ(framed, doc.m_changes.sharedSpecies(split));
    for (const TreeNode* species : framed) {
        EXPECT_STREQ(species->rankName, "Species");
        const TreeNode* up = species;
        while (up && up != split.node1) up = up->parent;
        EXPECT_EQ(up, split.node1) << species->latinName;
    }
    // Fewer than the genus holds: the other part got the rest.
    size_t species1 = 0;
    for (const TreeNode* child : split.node1->children) species1 += child->onlyInTree != 2;
    EXPECT_LT(framed.size(), species1);
    if (std::getenv("CLADORAMA_TEST_SCREENSHOTS")) {
        const QString dir = QStringLiteral(CLADORAMA_BINARY_DIR);
        (void)app.SaveScreenshot(dir + QStringLiteral("/changes_split.png"));
    }

    // The rows shown, through the panel's button and the file dialog.
    TempDir out;
    const QString path = QString::fromStdString(out.file("split.csv"));
    bool typed = false;
    whenOpen<QFileDialog>([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                          [&](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            dialog->reject();
            return;
        }
        name->selectAll();
        QTest::keyClicks(name, path);
        QTest::keyClick(name, Qt::Key_Return);
        typed = true;
    });
    QTest::mouseClick(panel.m_btnExport, Qt::LeftButton);
    ASSERT_TRUE(typed);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), panel.m_table->model()->rowCount() + 1);
    EXPECT_EQ(lines[0], QStringLiteral("Change,Rank,Name in tree 1,Name in tree 2,Evidence or relation,Path"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("split,Genus,%1,%2,\"")
                                        .arg(QString::fromLatin1(split.node1->latinName),
                                             QString::fromLatin1(split.node2->latinName))))
        << lines[1].toStdString();

    // The place of the panel is the window's to remember; other tests start without it.
    panel.hide();
    QSettings().remove(QStringLiteral("Window/State"));
}

TEST(ChangesPanel, SaysTheChangesAreBeingFoundThenFills) {
    RunningApp running;
    ASSERT_TRUE(running.started);
    CCladoramaApp& app = *running.app;
    CCladoramaDoc& doc = running.doc();
    CMainFrame& frame = *app.MainFrame();
    frame.activateWindow();
    (void)QTest::qWaitForWindowActive(&frame, 3000);
    CChangesPanel& panel = *frame.m_changesPanel;
    QTest::keyClick(&frame, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(waitFor([&] { return panel.isVisible(); }));
    EXPECT_FALSE(panel.m_progress->isVisible());

    const std::string a = sourcePath("data/sample/classif_A_03-01-31.xml");
    const std::string b = sourcePath("data/sample/classif_B_03-01-31.xml");
    for (const auto& [first, second] : {std::pair{a, b}, std::pair{b, a}}) {
        {
            ConsoleCapture quiet;
            ASSERT_TRUE(doc.ReloadTrees(first, second));
        }
        // The first frame of the pair starts the work; what it found is taken only on this
        // thread's turn, so until events are processed the panel says it is at work.
        (void)running.window().CaptureFrame();
        ASSERT_EQ(doc.Changes(), ChangesState::Finding);
        EXPECT_TRUE(panel.m_progress->isVisible());
        EXPECT_TRUE(panel.m_summary->text().startsWith(QStringLiteral("Finding the changes")))
            << panel.m_summary->text().toStdString();
        EXPECT_EQ(panel.m_table->model()->rowCount(), 0);
        EXPECT_FALSE(panel.m_btnExport->isEnabled());

        ASSERT_TRUE(waitFor([&] { return doc.ChangesReady(); }));
        EXPECT_FALSE(panel.m_progress->isVisible());
        EXPECT_TRUE(panel.m_btnExport->isEnabled());
        ASSERT_GT(doc.m_changes.rows().size(), 0u);
        EXPECT_EQ(panel.m_table->model()->rowCount(), static_cast<int>(doc.m_changes.shown().size()));
        EXPECT_TRUE(panel.m_summary->text().contains(QStringLiteral("rows shown")))
            << panel.m_summary->text().toStdString();
        // The first row names a taxon of the pair loaded now.
        const ChangeRow& row = shownRow(doc, 0);
        const TreeNode* root = row.node1 ? row.node1 : row.node2;
        while (root && root->parent) root = root->parent;
        EXPECT_TRUE(root == &doc.m_tree1 || root == &doc.m_tree2);
    }
    panel.hide();
    QSettings().remove(QStringLiteral("Window/State"));
}
