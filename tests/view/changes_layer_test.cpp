// The changes layer's model: links and rings made once per list, the lines and rings of a
// frame found under the mouse, and the round discs of panels far from square.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "ViewFixture.h"

namespace {

struct Quiet : DocFramework {
    void UpdateAllViews() override {}
    void MessageBox(const char*) override {}
    bool PromptForFile(std::string&) override { return false; }
    void SetSliderRange(int, int) override {}
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override { return nullptr; }
    void TreesReplaced() override {}
    void TitleChanged(const char*) override {}
};

// The windows the panels are drawn with, not those they keep.
struct DrawnWindows : RecordingSurface {
    std::vector<WorldWindow> drawn1, drawn2;
    void DrawPanel(ViewPanel& panel) override {
        RecordingSurface::DrawPanel(panel);
        (&panel == &view->m_panel1 ? drawn1 : drawn2)
            .push_back({panel.worldX, panel.worldY, panel.worldW, panel.worldH});
    }
};

struct PlacedPair : ViewFixture {
    DrawnWindows drawn;
    PlacedPair() {
        placedNode(&doc.m_tree1, "A", 0.1, 0.1, 0.5);
        placedNode(&doc.m_tree2, "A", 0.1, 0.1, 0.5);
        drawn.view = &view;
        view.OnShowWindow(true, &drawn, &context);
    }
};

}  // namespace

TEST(ChangesLayer, LinksAndRingsFollowTheListGenerationByGeneration) {
    Quiet quiet;
    CCladoramaDoc doc(&quiet);
    TempDir dir;
    ASSERT_TRUE(doc.ReloadTrees(dir.write("a.csv", changedChecklistA()),
                                dir.write("b.csv", changedChecklistB())));
    ChangesLayer layer;
    EXPECT_FALSE(layer.Sync(doc));  // not found yet: nothing to draw
    EXPECT_TRUE(layer.links().empty());
    ASSERT_TRUE(doc.FindChangesNow());
    const std::vector<ChangeRow>& rows = doc.m_changes.rows();
    ASSERT_FALSE(rows.empty());
    ASSERT_TRUE(layer.Sync(doc));
    EXPECT_FALSE(layer.Sync(doc));  // the same list: nothing made again

    size_t paired = 0;
    std::array<int, kChangeShades> counts{};
    for (const ChangeRow& r : rows) {
        paired += r.node1 && r.node2;
        ++counts[static_cast<int>(changeShadeOf(r.kind))];
    }
    EXPECT_EQ(layer.counts(), counts);
    ASSERT_EQ(layer.links().size(), paired);
    ASSERT_GT(paired, 0u);
    for (const ChangeLink& l : layer.links()) {
        const ChangeRow& r = rows[l.row];
        EXPECT_EQ(l.node1, r.node1);
        EXPECT_EQ(l.node2, r.node2);
        EXPECT_EQ(l.shade, changeShadeOf(r.kind));
        // Ends at the discs' centres, from the layout.
        EXPECT_DOUBLE_EQ(l.x1, r.node1->x + r.node1->width / 2);
        EXPECT_DOUBLE_EQ(l.y2, r.node2->y + r.node2->height / 2);
        EXPECT_DOUBLE_EQ(l.r2, r.node2->width / 2);
    }
    // Every changed taxon is ringed once, in the panel of its tree.
    for (const ChangeMark& m : layer.marks()) {
        const ChangeRow& r = rows[m.row];
        EXPECT_EQ(m.node, m.side == 1 ? r.node1 : r.node2);
    }
    const std::string text = ChangesLayer::Describe(doc.m_changes, layer.links()[0].row);
    EXPECT_EQ(text.rfind(std::string(changeRowKindName(rows[layer.links()[0].row].kind)) + ": " +
                             rows[layer.links()[0].row].node1->latinName + " to ",
                         0),
              0u)
        << text;

    // The list emptied (a new load under way): nothing to draw, nothing pointed at.
    layer.drawnLinks.push_back({0, 0, 1, 1, 0});
    doc.m_changes.clear();
    EXPECT_TRUE(layer.Sync(doc));
    EXPECT_TRUE(layer.links().empty());
    EXPECT_TRUE(layer.marks().empty());
    EXPECT_TRUE(layer.drawnLinks.empty());
    EXPECT_EQ(layer.counts(), (std::array<int, kChangeShades>{}));
}

TEST(ChangesLayer, TheLineOrRingUnderTheMouseIsTheNearestWithinAFewPixels) {
    ChangesLayer layer;
    // Pixels of 0.001 across and 0.002 up.
    const double px = 0.004, py = 0.008;
    layer.drawnLinks = {{-0.4, 0.0, 0.4, 0.0, 7}, {-0.4, 0.1, 0.4, 0.3, 9}};
    EXPECT_EQ(layer.LinkAt(0.0, 0.003, px, py), 7);
    EXPECT_EQ(layer.LinkAt(0.0, -0.0079, px, py), 7);  // within 4 px upwards
    EXPECT_EQ(layer.LinkAt(0.0, -0.0081, px, py), -1);
    EXPECT_EQ(layer.LinkAt(0.403, 0.0, px, py), 7);  // past the end, within the tolerance
    EXPECT_EQ(layer.LinkAt(0.41, 0.0, px, py), -1);
    EXPECT_EQ(layer.LinkAt(0.0, 0.2, px, py), 9);
    EXPECT_EQ(layer.LinkAt(0.0, 0.15, px, py), -1);
    // The ring, not the disc inside it.
    layer.drawnMarks = {{0.1, 0.1, 0.3, 0.3, 4}};
    EXPECT_EQ(layer.MarkAt(0.3, 0.2, px, py), 4);
    EXPECT_EQ(layer.MarkAt(0.2, 0.1 + 0.005, px, py), 4);
    EXPECT_EQ(layer.MarkAt(0.2, 0.2, px, py), -1);
    EXPECT_EQ(layer.MarkAt(0.35, 0.2, px, py), -1);
}

TEST(ChangesLayer, RoundDiscsWidenTheWindowsForTheFrameOnly) {
    PlacedPair f;
    // Tree panels of 450 by 300 pixels: half as wide again as high.
    f.view.OnSize(1000, 500);
    const WorldWindow home{f.view.m_panel1.worldX, f.view.m_panel1.worldY,
                           f.view.m_panel1.worldW, f.view.m_panel1.worldH};
    f.view.OnDraw();
    ASSERT_EQ(f.drawn.drawn1.size(), 1u);
    EXPECT_DOUBLE_EQ(f.drawn.drawn1[0].w, home.w);  // off: as it is
    f.view.SetRoundDiscs(true);
    f.view.OnDraw();
    for (const std::vector<WorldWindow>* d : {&f.drawn.drawn1, &f.drawn.drawn2}) {
        const WorldWindow w = d->back();
        EXPECT_NEAR(w.w / w.h, 450.0 / 300.0, 1e-12);
        EXPECT_DOUBLE_EQ(w.h, home.h);
        EXPECT_NEAR(w.x + w.w / 2, home.x + home.w / 2, 1e-12);  // about the same centre
    }
    // Kept as it was between frames.
    EXPECT_EQ(f.view.m_panel1.worldW, home.w);
    EXPECT_EQ(f.view.m_panel1.worldX, home.x);

    // A zoom step keeps the point under the mouse where the picture has it.
    const double mx = -0.4, my = 0.3;
    auto under = [&](const WorldWindow& w) {
        const ViewPanel& p = f.view.m_panel1;
        return std::pair{(mx - p.viewX) * w.w / p.viewW + w.x, (my - p.viewY) * w.h / p.viewH + w.y};
    };
    const auto before = under(f.drawn.drawn1.back());
    f.view.ZoomStep(mx, my, ZoomIn);
    EXPECT_NEAR(f.view.m_panel1.worldW, f.view.m_panel1.worldH, 1e-12);
    EXPECT_NEAR(f.view.m_panel1.worldW, 0.9 * home.w, 1e-12);
    f.view.OnDraw();
    const auto after = under(f.drawn.drawn1.back());
    EXPECT_NEAR(after.first, before.first, 1e-12);
    EXPECT_NEAR(after.second, before.second, 1e-12);

    // Within 2 % of square, nothing is widened.
    f.view.OnHome();
    f.view.OnSize(1000, 740);  // 450 by 444
    f.view.OnDraw();
    EXPECT_DOUBLE_EQ(f.drawn.drawn1.back().w, f.drawn.drawn1.back().h);
}

TEST(ChangesLayer, TheGridFindsEveryItemLargeEnoughUnderAWindow) {
    // Random items of every size, many to a cell, against random windows from the whole
    // square down to a part of one cell: nothing the window holds at the least size is
    // missed, and a cell's small items are passed over.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const size_t n = 20000;
    std::vector<double> x(n), y(n), size(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = unit(random);
        y[i] = unit(random);
        size[i] = std::pow(10.0, -5 * unit(random));  // 1e-5 .. 1
    }
    ChangeGrid grid;
    grid.build(n, x, y, size);
    const size_t large = static_cast<size_t>(std::count_if(
        size.begin(), size.end(), [](double s) { return s > 1.0 / ChangeGrid::kCells; }));
    for (int t = 0; t < 200; ++t) {
        const double w = std::pow(10.0, -3 * unit(random));
        const double x0 = unit(random) - w / 2, y0 = unit(random) - w / 2;
        const double least = std::pow(10.0, -4 * unit(random));
        std::vector<char> visited(n, 0);
        size_t visits = 0;
        grid.visit(x0, y0, x0 + w, y0 + w, least, [&](uint32_t i) {
            ++visited[i];
            ++visits;
        });
        size_t wanted = 0;
        for (size_t i = 0; i < n; ++i) {
            EXPECT_LE(visited[i], 1);
            const bool inside = x[i] >= x0 && x[i] <= x0 + w && y[i] >= y0 && y[i] <= y0 + w;
            if (!inside || size[i] < least) continue;
            ++wanted;
            ASSERT_TRUE(visited[i]) << "item " << i << " window " << x0 << "," << y0 << " " << w;
        }
        // Only the large items and what the cells under the window hold.
        const double reach = w + 2.0 / ChangeGrid::kCells;
        EXPECT_LE(visits, large + static_cast<size_t>(2 * n * reach * reach) + 50);
    }
}
