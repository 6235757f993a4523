#include <cstring>

#include "Render.h"
#include "RenderMath.h"

std::array<uint8_t, 3> RankColor(int rank) {
    std::array<uint8_t, 3> rgb{0, 0, 0};
    rankColor(rank, rgb.data());
    return rgb;
}

namespace {

void fillRow(Canvas& c, const RowBox& b) {
    const CanvasPoint corners[4] = {{b.left, b.top}, {b.right, b.top}, {b.right, b.bottom},
                                    {b.left, b.bottom}};
    c.fillPolygon(corners, 4);
}

// Row of a node's rank; -1 (above the window) for a name that is no rank.
int rowOf(const TreeNode* node) {
    return node->rankName ? rankFromName(node->rankName) : -1;
}

}  // namespace

void DrawRankStrip(const ViewPanel& strip, const ViewPanel& panel1, const ViewPanel& panel2) {
    DrawRankStrip(WindowCanvas(), strip, panel1, panel2);
}

void DrawRankStrip(Canvas& c, const ViewPanel& strip, const ViewPanel& panel1,
                   const ViewPanel& panel2) {
    for (int i = 0; i < kLegendRows; ++i) {
        char name[64] = "";
        rankToName(i, name);
        const RowBox row = LegendRowBox(strip, i);
        if (i < Difference) {
            const std::array<uint8_t, 3> rgb = RankColor(i);
            c.setColour(rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f);
            fillRow(c, row);
        } else {
            c.setColour(0.3f, 0.3f, 0.3f);
            fillRow(c, row);
            c.setColour(1.0f, 1.0f, 1.0f);
            fillRow(c, DifferenceInnerBox(strip));
        }
        c.setColour(0.0f, 0.0f, 0.0f);
        const TextOrigin at = LegendNamePosition(strip, i, std::strlen(name));
        c.text(at.x, at.y, name, 3);
    }

    c.setColour(1.0f, 1.0f, 0.6f);
    bool first = true;
    double prevX = 0, prevY = 0;
    ForEachOnFocusPath(panel1.focus, [&](const TreeNode* q) {
        const ScreenBox d = LegendDiscBox(strip, rowOf(q));
        c.fillEllipse(d.x0, d.y0, d.x1, d.y1, 30);
        const double cx = (d.x0 + d.x1) / 2, cy = (d.y0 + d.y1) / 2;
        if (!first) c.line(prevX, prevY, cx, cy);
        first = false;
        prevX = cx;
        prevY = cy;
    });

    c.setColour(1.0f, 1.0f, 0.6f);
    const PixelScale s = StripPixelScale(strip);
    first = true;
    ForEachOnFocusPath(panel2.focus, [&](const TreeNode* q) {
        const TriangleMarker t = LegendTriangle(strip, rowOf(q));
        const CanvasPoint corners[3] = {
            {t.f + s.px(4), t.g}, {t.f - s.px(4), t.g}, {t.f, t.g + s.py(8)}};
        c.fillPolygon(corners, 3);
        if (!first) c.line(prevX, prevY + s.py(2), t.f, t.g + s.py(2));
        first = false;
        prevX = t.f;
        prevY = t.g;
    });
}
