#include "Overview.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include "CladoramaDoc.h"
#include "OverviewState.h"
#include "RenderMath.h"
#include "SharedOverview.h"

namespace {

struct Point {
    double x, y;
};

Point boxCentre(const TreeNode& n) {
    return {n.overviewX + n.overviewWidth / 2, n.overviewY - n.overviewHeight / 2};
}

void boxCorners(const TreeNode& n, CanvasPoint corners[4]) {
    corners[0] = {n.overviewX, n.overviewY};
    corners[1] = {n.overviewX + n.overviewWidth, n.overviewY};
    corners[2] = {n.overviewX + n.overviewWidth, n.overviewY - n.overviewHeight};
    corners[3] = {n.overviewX, n.overviewY - n.overviewHeight};
}

void outlineBox(Canvas& c, const TreeNode& n) {
    CanvasPoint corners[4];
    boxCorners(n, corners);
    c.strokeLoop(corners, 4);
}

// Black lines 1.5 px beyond the box's right and lower edges: its shadow.
void boxShadow(Canvas& c, const TreeNode& n, const PixelScale& s) {
    const double left = n.overviewX, right = n.overviewX + n.overviewWidth;
    const double top = n.overviewY, bottom = n.overviewY - n.overviewHeight;
    c.setLineWidth(1.0f);
    c.setColour(0.0f, 0.0f, 0.0f);
    c.line(right + s.px(1.5), top, right + s.px(1.5), bottom);
    c.line(left, bottom - s.py(1.5), right, bottom - s.py(1.5));
}

void refreshCache(Canvas& c, OverviewPanel& overview) {
    DrawOverviewInFull(c, overview);
    const size_t bytes = overview.pixelW > 0 && overview.pixelH > 0
                             ? static_cast<size_t>(overview.pixelW) * overview.pixelH * 4
                             : 0;
    // A new buffer every time: the old one is dropped, never resized in place.
    std::vector<uint8_t> cache(bytes);
    if (bytes > 0) c.readPixels(overview.pixelW, overview.pixelH, cache);
    overview.pixelCache = std::move(cache);
    overview.cacheDirty = 0;
}

void drawCache(Canvas& c, const OverviewPanel& overview) {
    if (overview.pixelCache.empty()) return;
    c.drawPixels(-0.5, -0.5, overview.pixelW, overview.pixelH, overview.pixelCache);
}

void drawSearchMatches(Canvas& c, const OverviewPanel& overview, const CCladoramaDoc& doc) {
    const PixelScale s = PanelPixelScale(overview);
    auto frame = [&](const TreeNode* m) {
        c.setLineWidth(4.0f);
        c.setColour(0.0f, 0.0f, 0.0f);
        outlineBox(c, *m);
        boxShadow(c, *m, s);
    };
    for (const TreeNode* m : doc.m_searchResults) frame(m);
    for (const TreeNode* m : overview.framedNodes) frame(m);
}

void drawPathsAndHover(Canvas& c, const OverviewPanel& overview, const ViewPanel& panel1,
                       const ViewPanel& panel2) {
    DrawFocusPath(c, panel1.focus, overview, 0);
    DrawFocusPath(c, panel2.focus, overview, 1);
    if (overview.hovering)
        DrawHoverLabel(c, overview.hoverNode, overview, overview.hoverX, overview.hoverY);
}

// Boxes and links go to the canvas in runs of this many: a run is one batch of independent
// primitives, drawn as one per box or link would be.
constexpr size_t kRun = 4096;

// A canvas without pixels (a figure) would get one element for each of millions of boxes
// and links that share a few pixels. What the frame shows of them is kept instead: the
// boxes of one pixel or less, which a band holds side by side without overlap, as the
// colour of the last one drawn in each pixel column of each band, runs of equal colour
// as one box; and of the links whose ends fall on the same pixels, the last one drawn.
struct PixelKey {
    int64_t a, b, c, d;
    auto operator<=>(const PixelKey&) const = default;
};

int64_t pixelOfX(const PixelMapping& m, double x) {
    return static_cast<int64_t>(std::floor(m.shiftX + m.scaleX * x));
}
int64_t pixelOfY(const PixelMapping& m, double y) {
    return static_cast<int64_t>(std::floor(m.shiftY + m.scaleY * y));
}

void drawThinBoxes(Canvas& canvas, const PixelMapping& m,
                   const std::map<PixelKey, std::array<float, 3>>& columns) {
    // Key: band top and bottom (as the coordinates' bits), column; sorted so that the
    // columns of a band follow each other.
    std::vector<ColouredQuad> run;
    auto it = columns.begin();
    while (it != columns.end()) {
        auto end = std::next(it);
        while (end != columns.end() && end->first.a == it->first.a && end->first.b == it->first.b &&
               end->first.c == std::prev(end)->first.c + 1 && end->second == it->second)
            ++end;
        double top = 0, bottom = 0;
        std::memcpy(&top, &it->first.a, sizeof top);
        std::memcpy(&bottom, &it->first.b, sizeof bottom);
        const double left = (static_cast<double>(it->first.c) - m.shiftX) / m.scaleX;
        const double right = (static_cast<double>(std::prev(end)->first.c) + 1 - m.shiftX) / m.scaleX;
        ColouredQuad q;
        q.corner[0] = {left, top};
        q.corner[1] = {right, top};
        q.corner[2] = {right, bottom};
        q.corner[3] = {left, bottom};
        std::copy(it->second.begin(), it->second.end(), q.rgb);
        run.push_back(q);
        it = end;
    }
    canvas.fillQuads(run.data(), run.size());
}

}  // namespace

void DrawOverviewInFull(Canvas& canvas, const ViewPanel& overview) {
    FillPanelBackground(canvas, overview);
    if (overview.overviewStyle != 0) DrawOverviewBoxes(canvas, overview.tree, overview);
    else DrawOverviewLines(canvas, overview.tree, overview);
}

void DrawOverviewBoxes(TreeNode* node, const ViewPanel& overview) {
    DrawOverviewBoxes(WindowCanvas(), node, overview);
}

void DrawOverviewBoxes(Canvas& canvas, TreeNode* node, const ViewPanel& overview) {
    if (!node) return;
    const double onePixel = 1.0 / overview.pixelW;
    const PixelMapping m = canvas.mapping();
    const bool merge = !canvas.hasPixels() && m.known;
    std::map<PixelKey, std::array<float, 3>> columns;
    static std::vector<ColouredQuad> run;
    run.clear();
    auto flush = [&] {
        canvas.fillQuads(run.data(), run.size());
        run.clear();
    };
    forEachNode(node, [&](TreeNode* n) {
        float rgb[3] = {1.0f, 1.0f, 1.0f};
        if (n->onlyInTree == 0) {
            rgb[0] = n->color[0] / 255.0f;
            rgb[1] = n->color[1] / 255.0f;
            rgb[2] = n->color[2] / 255.0f;
        }
        if (n->overviewWidth <= onePixel && merge) {
            PixelKey key{0, 0, pixelOfX(m, n->overviewX), 0};
            const double top = n->overviewY, bottom = n->overviewY - n->overviewHeight;
            std::memcpy(&key.a, &top, sizeof top);
            std::memcpy(&key.b, &bottom, sizeof bottom);
            columns[key] = {rgb[0], rgb[1], rgb[2]};
            return;
        }
        if (n->overviewWidth <= onePixel) {
            flush();
            canvas.setColour(rgb);
            outlineBox(canvas, *n);
            return;
        }
        ColouredQuad q;
        boxCorners(*n, q.corner);
        std::copy(rgb, rgb + 3, q.rgb);
        run.push_back(q);
        if (run.size() == kRun) flush();
    });
    flush();
    if (merge) drawThinBoxes(canvas, m, columns);
}

void DrawOverviewLines(TreeNode* node, const ViewPanel& overview) {
    DrawOverviewLines(WindowCanvas(), node, overview);
}

void DrawOverviewLines(Canvas& canvas, TreeNode* node, const ViewPanel&) {
    if (!node) return;
    // Each parent-to-child link as the child is reached, a node before its children.
    static std::vector<ColouredLine> run;
    run.clear();
    const PixelMapping m = canvas.mapping();
    const bool merge = !canvas.hasPixels() && m.known;
    std::map<PixelKey, std::pair<size_t, ColouredLine>> lastOnPixels;
    size_t sequence = 0;
    forEachNode(node, [&](TreeNode* n) {
        if (n == node) return;
        const TreeNode* p = n->parent;
        ColouredLine l;
        if (p->onlyInTree == 1) l.rgb[0] = 1.0f;
        else if (p->onlyInTree == 2) l.rgb[2] = 1.0f;
        else l.rgb[0] = l.rgb[1] = l.rgb[2] = 1.0f;
        const Point a = boxCentre(*p), b = boxCentre(*n);
        l.a = {a.x, a.y};
        l.b = {b.x, b.y};
        if (merge) {
            lastOnPixels[{pixelOfX(m, a.x), pixelOfY(m, a.y), pixelOfX(m, b.x), pixelOfY(m, b.y)}] =
                {sequence++, l};
            return;
        }
        run.push_back(l);
        if (run.size() == kRun) {
            canvas.lines(run.data(), run.size());
            run.clear();
        }
    });
    if (merge) {
        std::vector<std::pair<size_t, ColouredLine>> kept;
        kept.reserve(lastOnPixels.size());
        for (const auto& [key, last] : lastOnPixels) kept.push_back(last);
        std::sort(kept.begin(), kept.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
        for (const auto& [order, l] : kept) run.push_back(l);
    }
    canvas.lines(run.data(), run.size());
    run.clear();
}

void DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                  CCladoramaDoc& doc) {
    DrawOverview(WindowCanvas(), overview, panel1, panel2, doc);
}

void DrawOverview(Canvas& canvas, OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                  CCladoramaDoc& doc) {
    if (canvas.hasPixels()) {
        if (overview.cacheDirty) refreshCache(canvas, overview);
        drawCache(canvas, overview);
    } else {
        DrawOverviewInFull(canvas, overview);
    }
    drawSearchMatches(canvas, overview, doc);
    ConsumeNodeListSelection(overview, panel1, panel2, doc);
    drawPathsAndHover(canvas, overview, panel1, panel2);
}

void DrawOverviewStill(Canvas& canvas, const OverviewPanel& overview, const ViewPanel& panel1,
                       const ViewPanel& panel2, const CCladoramaDoc& doc, SharedOverview* shared) {
    if (shared) DrawOverviewInFull(canvas, overview, *shared);
    else DrawOverviewInFull(canvas, overview);
    drawSearchMatches(canvas, overview, doc);
    drawPathsAndHover(canvas, overview, panel1, panel2);
}

void DrawFocusPath(const TreeNode* focus, const OverviewPanel& overview, int which) {
    DrawFocusPath(WindowCanvas(), focus, overview, which);
}

void DrawFocusPath(Canvas& c, const TreeNode* focus, const OverviewPanel& overview, int which) {
    const PixelScale s = PanelPixelScale(overview);
    if (overview.overviewStyle != 0) {
        ForEachOnFocusPath(focus, [&](const TreeNode* q) {
            const Point p = boxCentre(*q);
            c.setColour(1.0f, 1.0f, 0.6f);
            if (which == 0) {
                const double x0 = p.x - s.px(4), x1 = x0 + s.px(8);
                const double y0 = p.y + s.py(4), y1 = y0 - s.py(8);
                c.fillEllipse(x0, y0, x1, y1, 30);
                c.setColour(0.0f, 0.0f, 0.0f);
                c.strokeEllipse(x0, y0, x1, y1, 30);
            } else {
                const double size = s.px(6), by = p.y - s.py(2);
                FillMarkerTriangle(c, p.x, by, size);
                c.setColour(0.0f, 0.0f, 0.0f);
                c.line(p.x - size / 2, by, p.x + size / 2, by);
                c.line(p.x + size / 2, by, p.x, by + 1.8 * size);
            }
        });
        ForEachOnFocusPath(focus, [&](const TreeNode* q) {
            c.setLineWidth(1.5f);
            c.setColour(1.0f, 1.0f, 0.6f);
            outlineBox(c, *q);
            boxShadow(c, *q, s);
        });
        return;
    }
    c.setLineWidth(1.5f);
    bool first = true;
    Point previous{0, 0};
    ForEachOnFocusPath(focus, [&](const TreeNode* q) {
        const Point p = boxCentre(*q);
        c.setColour(0.0f, 1.0f, 0.0f);
        if (which == 0) {
            const double x0 = p.x - s.px(3), x1 = x0 + s.px(6);
            const double y0 = p.y + s.py(3), y1 = y0 - s.py(6);
            c.fillEllipse(x0, y0, x1, y1, 30);
        } else {
            FillMarkerTriangle(c, p.x, p.y, s.px(8));
        }
        if (!first) c.line(previous.x, previous.y, p.x, p.y);
        first = false;
        previous = p;
    });
    c.setLineWidth(1.0f);
}

void DrawHoverLabel(const TreeNode* node, const OverviewPanel& overview, double x, double y) {
    DrawHoverLabel(WindowCanvas(), node, overview, x, y);
}

void DrawHoverLabel(Canvas& c, const TreeNode* node, const OverviewPanel& overview, double x,
                    double y) {
    if (!node) return;
    char text[kHoverLabelSize];
    ComposeHoverLabel(*node, text, sizeof text);
    if (node->onlyInTree != 0) c.setColour(0.1f, 0.1f, 0.06f);
    else c.setColour(1.0f, 1.0f, 0.6f);
    outlineBox(c, *node);
    c.setColour(0.0f, 0.0f, 0.0f);
    c.text(x, y, text, 1);
    if (overview.overviewStyle == 0) {
        const PixelScale s = PanelPixelScale(overview);
        const Point p = boxCentre(*node);
        const double x0 = p.x - s.px(3), x1 = x0 + s.px(6);
        const double y0 = p.y + s.py(3), y1 = y0 - s.py(6);
        c.fillEllipse(x0, y0, x1, y1, 30);
    }
}
