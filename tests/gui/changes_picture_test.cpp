// The changes layer in the real window on the bundled sample: what its pixels show, round
// discs beside the docked list, and a user's journey with real input events.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <cmath>

#include "ChangesDrawing.h"
#include "ChangesPanel.h"
#include "RenderMath.h"
#include "GuiFixture.h"

namespace {

QPoint windowPoint(CGLViewWindow& w, double nx, double ny) {
    const double cw = w.width() * w.devicePixelRatio() + 1, ch = w.height() * w.devicePixelRatio() + 1;
    return QPoint(static_cast<int>(std::lround((nx + 0.5) * cw / w.devicePixelRatio())),
                  static_cast<int>(std::lround((ch - (ny + 0.5) * ch) / w.devicePixelRatio())));
}

QRgb colourOf(ChangeShade shade) {
    const auto c = changeShadeColour(shade);
    return qRgb(static_cast<int>(std::lround(c[0] * 255)), static_cast<int>(std::lround(c[1] * 255)),
                static_cast<int>(std::lround(c[2] * 255)));
}

double distanceToSegment(double x, double y, const DrawnLink& d, double sx, double sy) {
    const double ax = (d.ax - x) * sx, ay = (d.ay - y) * sy, bx = (d.bx - x) * sx, by = (d.by - y) * sy;
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0;
    return std::hypot(ax + t * dx, ay + t * dy);
}

// A point on a drawn renamed line, in the strip below the key, at least 8 pixels from any
// other line and every ring: the line alone is under it.
struct LonePoint {
    size_t drawn = 0;
    double x = 0, y = 0;
};
bool loneRenamedPoint(const CCladoramaView& v, int width, int height, LonePoint& found) {
    const ChangesLayer& layer = v.m_changesLayer;
    const ViewPanel& strip = v.m_legendPanel;
    const double keyBottom = ChangeKeyRow(strip, ChangeShade::OneTree).bottom;
    for (size_t i = 0; i < layer.drawnLinks.size(); ++i) {
        const DrawnLink& d = layer.drawnLinks[i];
        if (layer.links()[d.link].shade != ChangeShade::Renamed) continue;
        for (double t = 0.05; t < 1; t += 0.05) {
            const double x = d.ax + t * (d.bx - d.ax), y = d.ay + t * (d.by - d.ay);
            if (x < strip.viewX + 0.01 || x > strip.viewX + strip.viewW - 0.01 || y > keyBottom - 0.02 ||
                y < strip.viewY + 0.02)
                continue;
            bool alone = true;
            for (size_t k = 0; k < layer.drawnLinks.size() && alone; ++k)
                alone = k == i || distanceToSegment(x, y, layer.drawnLinks[k], width, height) > 8;
            if (alone) {
                found = {i, x, y};
                return true;
            }
        }
    }
    return false;
}

struct Layer : SampleApp {
    CMainFrame* frame = nullptr;
    Layer() {
        if (!available) return;
        QSettings().remove(QStringLiteral("View/ShowChanges"));
        frame = running->app->MainFrame();
        frame->activateWindow();
        (void)QTest::qWaitForWindowActive(frame, 3000);
    }
    ~Layer() {
        if (!available) return;
        // Other tests start with the layer off and the list hidden where it was.
        frame->m_actShowChanges->setChecked(false);
        frame->m_changesPanel->hide();
        QSettings().remove(QStringLiteral("View/ShowChanges"));
        QSettings().remove(QStringLiteral("Window/State"));
    }
};

}  // namespace

TEST(ChangesLayer, LinesRingsKeyAndRoundDiscsInTheFrame) {
    Layer s;
    if (!s.available) GTEST_SKIP() << "no sample data";
    RunningApp& r = *s.running;
    CCladoramaView& v = r.view();
    ASSERT_FALSE(s.frame->m_actShowChanges->isChecked());
    const QImage off = r.frame();

    s.frame->m_actShowChanges->setChecked(true);
    const QImage on = r.frame();
    ASSERT_EQ(on.size(), off.size());
    ASSERT_FALSE(v.m_changesLayer.drawnLinks.empty());
    ASSERT_FALSE(v.m_changesLayer.drawnMarks.empty());
    maybeSave(on, "changes_layer");

    // The key: every kind's swatch in its colour, where the strip had its rank rows.
    for (int k = 0; k < kChangeShades; ++k) {
        const RowBox sw = ChangeKeySwatch(v.m_legendPanel, static_cast<ChangeShade>(k));
        const QRgb got = pixelAt(on, (sw.left + sw.right) / 2, (sw.top + sw.bottom) / 2);
        EXPECT_EQ(rgbText(got), rgbText(colourOf(static_cast<ChangeShade>(k)))) << k;
        EXPECT_NE(rgbText(pixelAt(off, (sw.left + sw.right) / 2, (sw.top + sw.bottom) / 2)),
                  rgbText(got));
    }
    // A renamed pair's line: its colour along the segment between the two discs, where the
    // frame without the layer had none of it.
    LonePoint lone;
    ASSERT_TRUE(loneRenamedPoint(v, on.width(), on.height(), lone));
    const DrawnLink& d = v.m_changesLayer.drawnLinks[lone.drawn];
    int coloured = 0, samples = 0;
    for (double t = 0.1; t <= 0.9; t += 0.02) {
        const double x = d.ax + t * (d.bx - d.ax), y = d.ay + t * (d.by - d.ay);
        const QRgb p = pixelAt(on, x, y), before = pixelAt(off, x, y);
        ++samples;
        // Pink over whatever lies below: red and blue well above green.
        coloured += p != before && qRed(p) > qGreen(p) + 60 && qBlue(p) > qGreen(p) + 60;
    }
    EXPECT_GT(coloured, samples * 3 / 4) << coloured << " of " << samples;
    // With the layer off again, the frame is today's.
    s.frame->m_actShowChanges->setChecked(false);
    EXPECT_TRUE(r.frame() == off);

    // The list docked below makes the panels wide and low: discs stay round. Tree 1's root
    // disc is measured from the panel's grey on all four sides.
    s.frame->m_changesPanel->show();
    ASSERT_TRUE(waitFor([&] { return s.frame->m_changesPanel->isVisible(); }));
    QApplication::processEvents();
    const QImage docked = r.frame();
    const ViewPanel& p = v.m_panel1;
    ASSERT_GT(p.pixelW, p.pixelH * 1.1) << p.pixelW << "x" << p.pixelH;
    // From the disc's centre outwards to the first pixel of the panel's grey, each way: the
    // discs inside it and the root's own colour are passed over, the label below is not
    // reached.
    const QRgb grey = qRgb(200, 200, 200);
    const ScreenBox root = MapNodeSquare(*p.root, p);
    const int cx = static_cast<int>(((root.x0 + root.x1) / 2 + 0.5) * docked.width());
    const int cy = static_cast<int>((0.5 - (root.y0 + root.y1) / 2) * docked.height());
    auto reach = [&](int dx, int dy) {
        int x = cx, y = cy, n = 0;
        while (x > 0 && y > 0 && x < docked.width() - 1 && y < docked.height() - 1 &&
               docked.pixel(x, y) != grey) {
            x += dx;
            y += dy;
            ++n;
        }
        return n;
    };
    const int width = reach(-1, 0) + reach(1, 0), height = reach(0, -1) + reach(0, 1);
    EXPECT_GT(height, 50);
    EXPECT_LE(std::abs(width - height), 1) << width << " wide, " << height << " high";
    maybeSave(docked, "changes_docked");
}

TEST(ChangesLayer, ToggleHoverClickAndChooseARow) {
    Layer s;
    if (!s.available) GTEST_SKIP() << "no sample data";
    RunningApp& r = *s.running;
    CCladoramaView& v = r.view();
    CCladoramaDoc& doc = r.doc();
    CGLViewWindow& window = r.window();
    CChangesPanel& panel = *s.frame->m_changesPanel;

    // The layer on with its shortcut.
    QTest::keyClick(s.frame, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(s.frame->m_actShowChanges->isChecked());
    EXPECT_TRUE(v.m_changesLayer.on);
    EXPECT_TRUE(QSettings().value(QStringLiteral("View/ShowChanges")).toBool());
    const QImage before = r.frame();

    // Over a renamed line: its change in a tip.
    LonePoint lone;
    ASSERT_TRUE(loneRenamedPoint(v, before.width(), before.height(), lone));
    const DrawnLink drawn = v.m_changesLayer.drawnLinks[lone.drawn];
    const ChangeLink link = v.m_changesLayer.links()[drawn.link];
    const std::string expected = ChangesLayer::Describe(doc.m_changes, link.row);
    const QPoint at = windowPoint(window, lone.x, lone.y);
    QTest::mouseMove(&window, at + QPoint(0, 40));
    QTest::mouseMove(&window, at);
    ASSERT_TRUE(waitFor([] { return QToolTip::isVisible(); }, 3000));
    EXPECT_EQ(QToolTip::text().toStdString(), expected);
    EXPECT_NE(expected.find(link.node1->latinName), std::string::npos);
    EXPECT_NE(expected.find(link.node2->latinName), std::string::npos);

    // A click on it flies both panels to the pair and selects its row.
    v.SetZoomLink(true);
    QTest::mouseClick(&window, Qt::LeftButton, {}, at);
    QApplication::processEvents();
    EXPECT_EQ(v.m_panel1.focus, link.node1);
    EXPECT_EQ(v.m_panel2.focus, link.node2);
    EXPECT_FALSE(v.m_zoomLink);
    EXPECT_NEAR(v.m_panel1.worldW, link.node1->width * 1.1, 1e-9);
    EXPECT_NEAR(v.m_panel2.worldW, link.node2->width * 1.1, 1e-9);
    EXPECT_EQ(v.m_changesLayer.highlightedRow, static_cast<int64_t>(link.row));
    // The list, opened with its shortcut, has the line's row selected.
    QTest::keyClick(s.frame, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(waitFor([&] { return panel.isVisible(); }));
    const QModelIndexList selected = panel.m_table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(doc.m_changes.shown()[static_cast<size_t>(selected[0].row())], link.row);

    // Another row chosen in the list: its line is highlighted, opaque above the rest.
    int other = -1;
    for (size_t i = 0; i < doc.m_changes.shown().size() && other < 0; ++i) {
        const ChangeRow& row = doc.m_changes.rows()[doc.m_changes.shown()[i]];
        if (doc.m_changes.shown()[i] != link.row && row.kind == ChangeRowKind::Moved) other = static_cast<int>(i);
    }
    ASSERT_GE(other, 0);
    const uint32_t otherRow = doc.m_changes.shown()[static_cast<size_t>(other)];
    panel.m_table->scrollTo(panel.m_table->model()->index(other, 2));
    const QRect cell = panel.m_table->visualRect(panel.m_table->model()->index(other, 2));
    QTest::mouseClick(panel.m_table->viewport(), Qt::LeftButton, {}, cell.center());
    QApplication::processEvents();
    EXPECT_EQ(v.m_changesLayer.highlightedRow, static_cast<int64_t>(otherRow));
    const QImage chosen = r.frame();
    maybeSave(chosen, "changes_chosen");
    // Both panels framed the pair: its line runs between the panels' centres, across the
    // strip's middle.
    const ChangeRow& row = doc.m_changes.rows()[otherRow];
    const ViewPanel& strip = v.m_legendPanel;
    const double y1 = v.m_panel1.toViewY(row.node1->y + row.node1->height / 2);
    const double y2 = v.m_panel2.toViewY(row.node2->y + row.node2->height / 2);
    const double x = strip.viewX + strip.viewW / 2;
    const double x1 = v.m_panel1.toViewX(row.node1->x + row.node1->width / 2);
    const double x2 = v.m_panel2.toViewX(row.node2->x + row.node2->width / 2);
    const double y = y1 + (y2 - y1) * (x - x1) / (x2 - x1);
    EXPECT_EQ(rgbText(pixelAt(chosen, x, y)), rgbText(colourOf(ChangeShade::Moved)));

    // Off with the shortcut: no tip, no line.
    QTest::keyClick(s.frame, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(v.m_changesLayer.on);
    EXPECT_FALSE(QSettings().value(QStringLiteral("View/ShowChanges")).toBool());
    EXPECT_EQ(v.ChangeTextAt(at.x(), at.y()), "");
}
