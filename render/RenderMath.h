// The arithmetic behind the panel drawing, kept apart from GL so that it can be checked
// without a display: which nodes are drawn, where labels and marks go, how big a pixel
// is, and the legend strip's rows.
#pragma once

#include <cmath>
#include <cstddef>

#include "TreeNode.h"
#include "ViewPanel.h"

// Pixels per window-normalised unit. A length of k px is k / ppuX along x and
// k / ppuY along y.
struct PixelScale {
    double ppuX = 0, ppuY = 0;
    double px(double k) const { return k / ppuX; }
    double py(double k) const { return k / ppuY; }
};

// Tree panels and the overview: pixelW / viewW and pixelH / viewH, each truncated toward
// zero. A panel that has not been sized yet (or has no extent) gets 0, which makes every
// pixel length infinite: no label passes its threshold.
PixelScale PanelPixelScale(const ViewPanel& panel);
// The legend strip: the same ratios without truncation.
PixelScale StripPixelScale(const ViewPanel& strip);

// A box in window-normalised coordinates by two corners; x0 > x1 or y0 > y1 is allowed.
struct ScreenBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The node's layout square mapped into the panel.
ScreenBox MapNodeSquare(const TreeNode& node, const ViewPanel& panel);

// The node covers less than 0.00001 of the world window's area: drawn as a point, its
// subtree not visited.
bool IsTinyNode(const TreeNode& node, const ViewPanel& panel);

// The node's circle may reach the world window (taken as the circle through its
// corners); equality counts as reaching it.
bool IsNodeVisible(const TreeNode& node, const ViewPanel& panel);

// Whether the panel of tree `treeId` descends into `child`.
inline bool ShouldDrawChild(const TreeNode& child, int treeId) {
    return child.onlyInTree == 0 || child.onlyInTree == treeId;
}

enum class LabelKind { None, Short, Full };

// By the disc's width on screen: wider than 100 px the full label, wider than 28 px the
// Latin name only, else none.
LabelKind ChooseLabel(double discWidth, const PixelScale& scale);
// Index into kBitmapFonts of a label kind (1 full, 3 short).
int LabelFont(LabelKind kind);

// Size of the buffer in which a node label is composed.
constexpr size_t kNodeLabelSize = 256;

// Full: "latin, common, rank, descendantCount"; short: "latin". A text that does not fit
// `size` bytes (terminator included) is cut short. Returns the length written.
size_t ComposeNodeLabel(const TreeNode& node, LabelKind kind, char* buffer, size_t size);

// Baseline start of a label of `length` characters under a disc: centred by the
// estimated width (5 px per character), 8 px below the bottom of the disc's square.
struct TextOrigin {
    double x = 0, y = 0;
};
TextOrigin PlaceNodeLabel(const ScreenBox& disc, size_t length, const PixelScale& scale);

// The 7 by 7 px flag square in front of a label starting at `label`, ending 3 px before
// the text; it is also the node's pick box.
struct HitBox {
    double left = 0, right = 0, bottom = 0, top = 0;
};
HitBox FlagSquare(const TextOrigin& label, const PixelScale& scale);

// Window pixels of the scissor box from the panel's projected corners; each value
// truncated toward zero on its own.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};
PixelRect ScissorFromCorners(double wx0, double wy0, double wx1, double wy1);

// The vertices of an ellipse inscribed in a box, as FillEllipse and StrokeEllipse emit
// them: angles 0, step, 2 step ... while below 6.283185308, the angle accumulated by
// addition so that 30 and 50 segments give exactly 30 and 50 vertices. A segment count
// below 1 gives no vertex.
template <class F>
void ForEachEllipseVertex(double x0, double y0, double x1, double y1, int segments, F&& emit);

// Legend strip rows: row r (0..20) spans 0.5 - r b down to 0.5 - (r + 1) b with
// b = viewH / 21, from 2 px inside the strip's left edge to 2 px inside its right edge.
constexpr int kLegendRows = 21;
struct RowBox {
    double left = 0, right = 0, top = 0, bottom = 0;
};
RowBox LegendRowBox(const ViewPanel& strip, int row);
double LegendRowHeight(const ViewPanel& strip);
double LegendRowCentre(const ViewPanel& strip, int row);
// The white box inside the grey "Difference" row: 10 px in from the row's sides, from
// a tenth to nine tenths of the row's height below its top.
RowBox DifferenceInnerBox(const ViewPanel& strip);
// Baseline start of a rank name of `length` characters: centred on x = 0, a third of a
// row above the row's bottom.
TextOrigin LegendNamePosition(const ViewPanel& strip, int row, size_t length);
// Tree 1's 8 px disc marker in row `row` (x0, y0 top-left, x1, y1 bottom-right), 5 px
// from the strip's left edge.
ScreenBox LegendDiscBox(const ViewPanel& strip, int row);
// Tree 2's triangle marker in row `row`: apex x (`f`, 10 px from the right edge) and
// base line (`g`, 4 px below the row's centre line); base 8 px wide, apex 8 px above.
struct TriangleMarker {
    double f = 0, g = 0;
};
TriangleMarker LegendTriangle(const ViewPanel& strip, int row);

// Calls visit(node) for the focus and its ancestors up to the root: level + 1 nodes,
// fewer if the parent chain ends early. A null focus visits nothing.
template <class F>
void ForEachOnFocusPath(const TreeNode* focus, F&& visit) {
    if (!focus) return;
    const TreeNode* q = focus;
    for (int i = 0; i <= focus->level && q; ++i, q = q->parent) visit(q);
}

// ---------------------------------------------------------------------------------

template <class F>
void ForEachEllipseVertex(double x0, double y0, double x1, double y1, int segments, F&& emit) {
    if (segments < 1) return;
    constexpr double kFullTurn = 6.283185308;
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double rx = (x1 - x0) / 2, ry = (y1 - y0) / 2;
    const double step = kFullTurn / segments;
    for (double t = 0; t < kFullTurn; t += step) emit(cx + rx * std::cos(t), cy + ry * std::sin(t));
}
