#include "Render.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Overview.h"
#include "Picking.h"
#include "RenderMath.h"

namespace {

void fillQuad(Canvas& c, double left, double bottom, double right, double top) {
    const CanvasPoint corners[4] = {{left, bottom}, {right, bottom}, {right, top}, {left, top}};
    c.fillPolygon(corners, 4);
}

// State of one panel's tree drawing: where pixels can land, what is painted over anyway,
// and the batches being drawn. Millions of nodes make each primitive's own cost count: a
// glBegin/glEnd per point costs more than the point, and 50 glVertex2d calls per disc more
// than its triangles. Points and triangles are independent primitives, so a run of
// consecutive points becomes one batch of points and a run of consecutive discs one batch
// of discs, in the same order, with the same pixels. Within a run of points, a point whose
// pixel a later point of the run paints again shows nothing and is left out. A figure
// drawn as vectors leaves out the same: what the frame does not show is not in the file.
struct TreeDrawing {
    Canvas* canvas = nullptr;
    // The clipping box widened by a few pixels, in window-normalised coordinates. A
    // primitive whose bounding box lies wholly outside it has no pixel in the box; the
    // margin covers point and line rasterisation, which can reach a pixel beyond the
    // vertices. Infinite (nothing culled) when the mapping is not a plain scale and shift.
    double left = -HUGE_VAL, right = HUGE_VAL, bottom = -HUGE_VAL, top = HUGE_VAL;
    // Window pixel = scale * coordinate + shift, per axis, when known.
    bool mapped = false;
    double shiftX = 0, scaleX = 0, shiftY = 0, scaleY = 0;
    int windowW = 0, windowH = 0;

    struct Point {
        ColouredPoint p;
        int32_t pixel;  // window pixel it surely paints, -1 if not certain
    };
    std::vector<Point>& run = runStorage();
    float lastRgb[3] = {0, 0, 0};
    bool colourPending = false;
    // Nodes drawn before the first one that shows (see firstShownNode) draw nothing.
    bool hidden = false;
    // Points and discs are batched; off, each is drawn at once on its own (DrawCircleNode
    // called on its own, outside a panel's drawing).
    bool batch = false;
    // Whether the pick boxes of flagged nodes are written.
    bool picks = true;
    // The clipping box widened by two pixels, in window-normalised coordinates; empty
    // (left > right) when unknown.
    double coverLeft = 1, coverRight = 0, coverBottom = 1, coverTop = 0;

    // What the disc FillEllipse draws in `box` comes to when it is smaller than a pixel or
    // two: the GL fills the pixels whose centres it holds, so a disc that holds no pixel
    // centre paints nothing, and one that can hold a single centre only, and holds it well
    // inside, paints that pixel alone, as a point there would. The margins (a twentieth of
    // a pixel) are far wider than the GL's rounding of the vertices.
    enum class Footprint { Nothing, OnePixel, Disc };
    Footprint footprint(const ScreenBox& box, double& pointX, double& pointY) const {
        if (!mapped) return Footprint::Disc;
        constexpr double m = 0.05;
        const double X0 = shiftX + scaleX * std::min(box.x0, box.x1);
        const double X1 = shiftX + scaleX * std::max(box.x0, box.x1);
        const double Y0 = shiftY + scaleY * std::min(box.y0, box.y1);
        const double Y1 = shiftY + scaleY * std::max(box.y0, box.y1);
        if (!(X1 - X0 < 4 && Y1 - Y0 < 4)) return Footprint::Disc;
        // Pixel columns k whose centre k + 0.5 may lie in [X0, X1], and rows likewise.
        const double kx0 = std::ceil(X0 - 0.5 - m), kx1 = std::floor(X1 - 0.5 + m);
        const double ky0 = std::ceil(Y0 - 0.5 - m), ky1 = std::floor(Y1 - 0.5 + m);
        if (kx0 > kx1 || ky0 > ky1) return Footprint::Nothing;
        if (kx0 != kx1 || ky0 != ky1) return Footprint::Disc;
        // The 50-gon holds the ellipse shrunk by cos(pi / 50) (0.998).
        const double ax = (X1 - X0) / 2 * 0.998 - m, ay = (Y1 - Y0) / 2 * 0.998 - m;
        if (!(ax > 0 && ay > 0)) return Footprint::Disc;
        const double dx = (kx0 + 0.5 - (X0 + X1) / 2) / ax, dy = (ky0 + 0.5 - (Y0 + Y1) / 2) / ay;
        if (!(dx * dx + dy * dy <= 1)) return Footprint::Disc;
        pointX = (kx0 + 0.5 - shiftX) / scaleX;
        pointY = (ky0 + 0.5 - shiftY) / scaleY;
        return Footprint::OnePixel;
    }

    // Whether the disc FillEllipse draws in `box` paints every pixel of the clipping box.
    // Its 50-gon holds the ellipse shrunk by cos(pi / 50) (0.998); the box's corners must
    // lie within it shrunk to 0.99, and a disc so large that single-precision vertices
    // could lose its shape is not trusted at all.
    bool discCoversBox(const ScreenBox& box) const {
        if (!mapped || !(coverLeft < coverRight && coverBottom < coverTop)) return false;
        const double cx = (box.x0 + box.x1) / 2, cy = (box.y0 + box.y1) / 2;
        const double rx = std::fabs(box.x1 - box.x0) / 2 * 0.99;
        const double ry = std::fabs(box.y1 - box.y0) / 2 * 0.99;
        if (!(rx > 0 && ry > 0) || rx * scaleX > 1e5 || ry * scaleY > 1e5) return false;
        for (double x : {coverLeft, coverRight}) {
            for (double y : {coverBottom, coverTop}) {
                const double dx = (x - cx) / rx, dy = (y - cy) / ry;
                if (!(dx * dx + dy * dy <= 1)) return false;
            }
        }
        return true;
    }

    static std::vector<Point>& runStorage() {
        static std::vector<Point> points;  // kept from frame to frame
        return points;
    }
    static std::vector<int32_t>& lastOfPixel() {
        static std::vector<int32_t> last;
        return last;
    }
    static std::vector<ColouredPoint>& shownPoints() {
        static std::vector<ColouredPoint> shown;
        return shown;
    }
    static std::vector<ColouredDisc>& discRun() {
        static std::vector<ColouredDisc> discs;
        return discs;
    }

    bool outside(double x0, double y0, double x1, double y1) const {
        return std::max(x0, x1) < left || std::min(x0, x1) > right || std::max(y0, y1) < bottom ||
               std::min(y0, y1) > top;
    }
    // The pixel a one-pixel point at (x, y) lights: the one whose square holds it. Points
    // within a fiftieth of a pixel of a pixel edge are not placed, so that the GL's own
    // single-precision arithmetic cannot put them in another pixel than this one.
    int32_t pixelOf(double x, double y) const {
        if (!mapped) return -1;
        const double wx = shiftX + scaleX * x, wy = shiftY + scaleY * y;
        const double fx = wx - std::floor(wx), fy = wy - std::floor(wy);
        if (!(fx > 0.02 && fx < 0.98 && fy > 0.02 && fy < 0.98)) return -1;
        if (!(wx >= 0 && wx < windowW && wy >= 0 && wy < windowH)) return -1;
        return static_cast<int32_t>(wy) * windowW + static_cast<int32_t>(wx);
    }
    // A node's colour, set for every node as it is reached: the current colour becomes
    // the last one set as soon as anything is drawn outside the batches.
    void setColour(const float rgb[3]) {
        std::copy(rgb, rgb + 3, lastRgb);
        colourPending = true;
    }
    void point(double x, double y, const float rgb[3]) {
        if (!batch) {
            const ColouredPoint p{x, y, {rgb[0], rgb[1], rgb[2]}};
            canvas->points(&p, 1);
            return;
        }
        flushDiscs();
        setColour(rgb);
        if (outside(x, y, x, y)) return;
        run.push_back({{x, y, {rgb[0], rgb[1], rgb[2]}}, pixelOf(x, y)});
    }
    // A filled disc as FillEllipse draws it (50 segments), batched with the discs that
    // follow it directly.
    void disc(const ScreenBox& box, const float rgb[3]) {
        if (!batch) {
            canvas->setColour(rgb);
            canvas->fillEllipse(box.x0, box.y0, box.x1, box.y1, 50);
            return;
        }
        flushPoints();
        setColour(rgb);
        discRun().push_back({box, {rgb[0], rgb[1], rgb[2]}});
    }
    void flushDiscs() {
        std::vector<ColouredDisc>& discs = discRun();
        if (discs.empty()) return;
        canvas->fillDiscs(discs.data(), discs.size(), 50);
        discs.clear();
        // A batch leaves the current colour undefined.
        colourPending = true;
    }
    // Draws what is batched; the current colour is then the last node's.
    void flush() {
        flushPoints();
        flushDiscs();
        if (colourPending) canvas->setColour(lastRgb);
        colourPending = false;
    }
    void flushPoints() {
        if (run.empty()) return;
        std::vector<int32_t>& last = lastOfPixel();
        if (mapped && last.size() < static_cast<size_t>(windowW) * windowH)
            last.resize(static_cast<size_t>(windowW) * windowH);
        for (size_t i = 0; i < run.size(); ++i)
            if (run[i].pixel >= 0) last[run[i].pixel] = static_cast<int32_t>(i);
        std::vector<ColouredPoint>& shown = shownPoints();
        shown.clear();
        for (size_t i = 0; i < run.size(); ++i) {
            const Point& p = run[i];
            if (p.pixel >= 0 && last[p.pixel] != static_cast<int32_t>(i)) continue;
            shown.push_back(p.p);
        }
        canvas->points(shown.data(), shown.size());
        run.clear();
    }
};

// The culling rectangle of a clipping box, from the canvas's mapping of coordinates to
// pixels; left unbounded unless that mapping is known.
void setCullingRect(TreeDrawing& d, const PixelRect& scissor, const PixelMapping& m) {
    if (!m.known) return;
    const double ax = m.shiftX, ay = m.shiftY, sx = m.scaleX, sy = m.scaleY;
    constexpr double kMargin = 4;  // pixels
    d.left = (scissor.x - kMargin - ax) / sx;
    d.right = (scissor.x + std::max(scissor.width, 0) + kMargin - ax) / sx;
    d.bottom = (scissor.y - kMargin - ay) / sy;
    d.top = (scissor.y + std::max(scissor.height, 0) + kMargin - ay) / sy;
    if (m.whole) {
        d.mapped = true;
        d.shiftX = ax;
        d.scaleX = sx;
        d.shiftY = ay;
        d.scaleY = sy;
        d.windowW = m.windowW;
        d.windowH = m.windowH;
        if (scissor.width > 0 && scissor.height > 0) {
            d.coverLeft = (scissor.x - 2 - ax) / sx;
            d.coverRight = (scissor.x + scissor.width + 2 - ax) / sx;
            d.coverBottom = (scissor.y - 2 - ay) / sy;
            d.coverTop = (scissor.y + scissor.height + 2 - ay) / sy;
        }
    }
}

// The current one for DrawCircleNode; a call from outside DrawTreeInPanel draws into the
// window and culls nothing.
TreeDrawing* g_drawing = nullptr;

// Draws one node: point, or disc with label, flag square and ring. Returns whether its
// children are to be visited.
bool drawOneNode(TreeNode& node, ViewPanel& panel, TreeDrawing& d) {
    Canvas& c = *d.canvas;
    const ScreenBox box = MapNodeSquare(node, panel);
    const float rgb[3] = {node.color[0] / 255.0f, node.color[1] / 255.0f, node.color[2] / 255.0f};
    // Hidden: everything this node draws is painted over (see TreeDrawing::hidden); only
    // its pick box is still kept.
    const bool hidden = d.hidden;

    if (IsTinyNode(node, panel)) {
        if (!hidden) d.point((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2, rgb);
        return false;
    }
    if (!hidden) {
        d.flushPoints();
        d.setColour(rgb);
    }
    if (!IsNodeVisible(node, panel)) return false;

    const PixelScale scale = PanelPixelScale(panel);
    // The culling margin also holds the ring's line width.
    const bool discOutside = hidden || d.outside(box.x0, box.y0, box.x1, box.y1);
    if (!discOutside) {
        double px = 0, py = 0;
        switch (d.batch ? d.footprint(box, px, py) : TreeDrawing::Footprint::Disc) {
            case TreeDrawing::Footprint::Nothing: d.setColour(rgb); break;
            case TreeDrawing::Footprint::OnePixel: d.point(px, py, rgb); break;
            case TreeDrawing::Footprint::Disc: d.disc(box, rgb); break;
        }
    }

    const LabelKind kind = ChooseLabel(box.x1 - box.x0, scale);
    if (kind != LabelKind::None) {
        char text[kNodeLabelSize];
        const size_t length = ComposeNodeLabel(node, kind, text, sizeof text);
        const TextOrigin at = PlaceNodeLabel(box, length, scale);
        if (node.onlyInTree != 0) {
            const HitBox flag = FlagSquare(at, scale);
            if (d.picks) SetPickBox(panel, node, flag.left, flag.right, flag.bottom, flag.top);
            if (!hidden) {
                d.flush();
                c.setColour(0.9f, 0.9f, 0.0f);
            }
            if (!hidden && !d.outside(flag.left, flag.bottom, flag.right, flag.top))
                fillQuad(c, flag.left, flag.bottom, flag.right, flag.top);
        }
        // Text runs to the right of its start and its glyphs reach below and above the
        // baseline: it is drawn unless hidden.
        if (!hidden) {
            d.flush();
            c.setColour(0.0f, 0.0f, 0.0f);
            c.text(at.x, at.y, text, LabelFont(kind));
        }
    }

    if (node.onlyInTree != 0 && !hidden) {
        d.flush();
        c.setColour(1.0f, 1.0f, 1.0f);
        if (!discOutside) {
            c.setLineWidth(2.0f);
            c.strokeEllipse(box.x0, box.y0, box.x1, box.y1, 50);
            c.setLineWidth(1.0f);
        }
    }
    return true;
}

// The node from which on the drawing shows: the deepest on a chain of discs from `root`,
// each drawn, each a child of the one before, that covers every pixel of the clipping box.
// Everything drawn before it in the depth-first order lies in the box and is painted
// over by it. Null when no disc covers the box.
TreeNode* firstShownNode(TreeNode* root, const ViewPanel& panel, int treeId,
                         const TreeDrawing& d) {
    if (!d.mapped) return nullptr;
    auto drawnAsDisc = [&](const TreeNode& n) {
        return !IsTinyNode(n, panel) && IsNodeVisible(n, panel);
    };
    TreeNode* found = nullptr;
    TreeNode* n = root;
    while (n && drawnAsDisc(*n) && d.discCoversBox(MapNodeSquare(*n, panel))) {
        found = n;
        TreeNode* next = nullptr;
        for (TreeNode* c : n->children) {
            if (ShouldDrawChild(*c, treeId) && d.discCoversBox(MapNodeSquare(*c, panel))) {
                next = c;
                break;
            }
        }
        n = next;
    }
    return found;
}

// Depth first with an explicit stack, children pushed in reverse so they are drawn in
// order: a deeply nested tree cannot exhaust the call stack. The stack is kept from frame
// to frame (drawing happens on one thread only).
void drawSubtree(TreeNode* node, ViewPanel& panel, int treeId, TreeDrawing& d) {
    static std::vector<TreeNode*> pending;
    const TreeNode* shown = firstShownNode(node, panel, treeId, d);
    d.hidden = shown != nullptr && shown != node;
    const size_t base = pending.size();
    pending.push_back(node);
    while (pending.size() > base) {
        TreeNode* n = pending.back();
        pending.pop_back();
        if (n == shown) d.hidden = false;
        if (!drawOneNode(*n, panel, d)) continue;
        for (size_t i = n->children.size(); i-- > 0;) {
            TreeNode* child = n->children[i];
            if (ShouldDrawChild(*child, treeId)) pending.push_back(child);
        }
    }
    d.flush();
}

}  // namespace

void DrawPanel(ViewPanel& panel) { DrawPanel(WindowCanvas(), panel); }

void DrawPanel(Canvas& canvas, ViewPanel& panel) {
    if (panel.kind == 1) {
        DrawOverviewInFull(canvas, panel);
        return;
    }
    FillPanelBackground(canvas, panel);
    if (panel.kind == 0) DrawTreeInPanel(canvas, panel.tree, panel);
    // The legend strip (kind 2) is drawn by DrawRankStrip.
}

void DrawTreeInPanel(ClassificationTree* tree, ViewPanel& panel) {
    DrawTreeInPanel(WindowCanvas(), tree, panel);
}

void DrawTreeInPanel(Canvas& canvas, ClassificationTree* tree, ViewPanel& panel) {
    if (!tree) return;
    const PixelRect clip = canvas.beginClip(panel.viewX, panel.viewY, panel.viewX + panel.viewW,
                                            panel.viewY + panel.viewH);
    TreeDrawing drawing;
    drawing.canvas = &canvas;
    drawing.batch = true;
    drawing.picks = canvas.keepsPickBoxes();
    // Only the flags of this frame can be picked.
    if (drawing.picks) BeginPickFrame(panel);
    setCullingRect(drawing, clip, canvas.mapping());
    g_drawing = &drawing;
    drawSubtree(tree, panel, tree->treeId, drawing);
    g_drawing = nullptr;
    canvas.endClip();
}

void DrawCircleNode(TreeNode* node, ViewPanel& panel, int treeId) {
    if (!node) return;
    if (g_drawing) {
        drawSubtree(node, panel, treeId, *g_drawing);
        return;
    }
    TreeDrawing unbounded;
    unbounded.canvas = &WindowCanvas();
    drawSubtree(node, panel, treeId, unbounded);
}

void StrokeEllipse(double x0, double y0, double x1, double y1, int segments) {
    WindowCanvas().strokeEllipse(x0, y0, x1, y1, segments);
}

void FillEllipse(double x0, double y0, double x1, double y1, int segments) {
    WindowCanvas().fillEllipse(x0, y0, x1, y1, segments);
}

void FillMarkerTriangle(double cx, double baseY, double s) {
    FillMarkerTriangle(WindowCanvas(), cx, baseY, s);
}

void DrawBitmapText(double x, double y, const char* text, int fontIndex) {
    WindowCanvas().text(x, y, text, fontIndex);
}
