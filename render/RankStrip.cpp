#include <GL/gl.h>

#include <cstring>

#include "Render.h"
#include "RenderMath.h"

std::array<uint8_t, 3> RankColor(int rank) {
    std::array<uint8_t, 3> rgb{0, 0, 0};
    rankColor(rank, rgb.data());
    return rgb;
}

namespace {

void fillRow(const RowBox& b) {
    glBegin(GL_QUADS);
    glVertex2d(b.left, b.top);
    glVertex2d(b.right, b.top);
    glVertex2d(b.right, b.bottom);
    glVertex2d(b.left, b.bottom);
    glEnd();
}

void line(double xa, double ya, double xb, double yb) {
    glBegin(GL_LINES);
    glVertex2d(xa, ya);
    glVertex2d(xb, yb);
    glEnd();
}

// Row of a node's rank; -1 (above the window) for a name that is no rank.
int rowOf(const TreeNode* node) {
    return node->rankName ? rankFromName(node->rankName) : -1;
}

}  // namespace

void DrawRankStrip(const ViewPanel& strip, const ViewPanel& panel1, const ViewPanel& panel2) {
    for (int i = 0; i < kLegendRows; ++i) {
        char name[64] = "";
        rankToName(i, name);
        const RowBox row = LegendRowBox(strip, i);
        if (i < Difference) {
            const std::array<uint8_t, 3> c = RankColor(i);
            glColor3f(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f);
            fillRow(row);
        } else {
            glColor3f(0.3f, 0.3f, 0.3f);
            fillRow(row);
            glColor3f(1.0f, 1.0f, 1.0f);
            fillRow(DifferenceInnerBox(strip));
        }
        glColor3f(0.0f, 0.0f, 0.0f);
        const TextOrigin at = LegendNamePosition(strip, i, std::strlen(name));
        DrawBitmapText(at.x, at.y, name, 3);
    }

    glColor3f(1.0f, 1.0f, 0.6f);
    bool first = true;
    double prevX = 0, prevY = 0;
    ForEachOnFocusPath(panel1.focus, [&](const TreeNode* q) {
        const ScreenBox d = LegendDiscBox(strip, rowOf(q));
        FillEllipse(d.x0, d.y0, d.x1, d.y1, 30);
        const double cx = (d.x0 + d.x1) / 2, cy = (d.y0 + d.y1) / 2;
        if (!first) line(prevX, prevY, cx, cy);
        first = false;
        prevX = cx;
        prevY = cy;
    });

    glColor3f(1.0f, 1.0f, 0.6f);
    const PixelScale s = StripPixelScale(strip);
    first = true;
    ForEachOnFocusPath(panel2.focus, [&](const TreeNode* q) {
        const TriangleMarker t = LegendTriangle(strip, rowOf(q));
        glBegin(GL_TRIANGLES);
        glVertex2d(t.f + s.px(4), t.g);
        glVertex2d(t.f - s.px(4), t.g);
        glVertex2d(t.f, t.g + s.py(8));
        glEnd();
        if (!first) line(prevX, prevY + s.py(2), t.f, t.g + s.py(2));
        first = false;
        prevX = t.f;
        prevY = t.g;
    });
}
