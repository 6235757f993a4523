#include "Overview.h"

#include <GL/gl.h>

#include "CladoramaDoc.h"
#include "OverviewState.h"
#include "Render.h"
#include "RenderMath.h"

namespace {

struct Point {
    double x, y;
};

Point boxCentre(const TreeNode& n) {
    return {n.overviewX + n.overviewWidth / 2, n.overviewY - n.overviewHeight / 2};
}

void boxCorners(const TreeNode& n) {
    glVertex2d(n.overviewX, n.overviewY);
    glVertex2d(n.overviewX + n.overviewWidth, n.overviewY);
    glVertex2d(n.overviewX + n.overviewWidth, n.overviewY - n.overviewHeight);
    glVertex2d(n.overviewX, n.overviewY - n.overviewHeight);
}

void outlineBox(const TreeNode& n) {
    glBegin(GL_LINE_LOOP);
    boxCorners(n);
    glEnd();
}

void line(double xa, double ya, double xb, double yb) {
    glBegin(GL_LINES);
    glVertex2d(xa, ya);
    glVertex2d(xb, yb);
    glEnd();
}

// Black lines 1.5 px beyond the box's right and lower edges: its shadow.
void boxShadow(const TreeNode& n, const PixelScale& s) {
    const double left = n.overviewX, right = n.overviewX + n.overviewWidth;
    const double top = n.overviewY, bottom = n.overviewY - n.overviewHeight;
    glLineWidth(1.0f);
    glColor3f(0.0f, 0.0f, 0.0f);
    line(right + s.px(1.5), top, right + s.px(1.5), bottom);
    line(left, bottom - s.py(1.5), right, bottom - s.py(1.5));
}

void refreshCache(OverviewPanel& overview) {
    DrawPanel(overview);
    const size_t bytes = overview.pixelW > 0 && overview.pixelH > 0
                             ? static_cast<size_t>(overview.pixelW) * overview.pixelH * 4
                             : 0;
    // A new buffer every time: the old one is dropped, never resized in place.
    std::vector<uint8_t> cache(bytes);
    if (bytes > 0) {
        // Four bytes a pixel, as the framebuffer keeps them: drawing them back every frame
        // is a plain copy, where three would be converted pixel by pixel. The fourth byte
        // is not drawn (the framebuffer has no alpha and blending is off).
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, overview.pixelW, overview.pixelH, GL_RGBA, GL_UNSIGNED_BYTE,
                     cache.data());
    }
    overview.pixelCache = std::move(cache);
    (void)glGetError();
    overview.cacheDirty = 0;
}

void drawCache(const OverviewPanel& overview) {
    if (overview.pixelCache.empty()) return;
    glRasterPos2d(-0.5, -0.5);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glDrawPixels(overview.pixelW, overview.pixelH, GL_RGBA, GL_UNSIGNED_BYTE,
                 overview.pixelCache.data());
}

}  // namespace

void DrawOverviewBoxes(TreeNode* node, const ViewPanel& overview) {
    if (!node) return;
    const double onePixel = 1.0 / overview.pixelW;
    // Consecutive filled boxes share one GL_QUADS batch: quadrilaterals are independent
    // primitives, so the pixels are those of one batch per box, in the same order.
    bool inQuads = false;
    forEachNode(node, [&](TreeNode* n) {
        const bool outline = n->overviewWidth <= onePixel;
        if (outline && inQuads) {
            glEnd();
            inQuads = false;
        }
        if (n->onlyInTree != 0) glColor3f(1.0f, 1.0f, 1.0f);
        else glColor3f(n->color[0] / 255.0f, n->color[1] / 255.0f, n->color[2] / 255.0f);
        if (outline) {
            outlineBox(*n);
            return;
        }
        if (!inQuads) {
            glBegin(GL_QUADS);
            inQuads = true;
        }
        boxCorners(*n);
    });
    if (inQuads) glEnd();
}

void DrawOverviewLines(TreeNode* node, const ViewPanel&) {
    if (!node) return;
    // Separate segments are independent primitives: one batch draws them as one
    // glBegin/glEnd per link would, in the same order (each parent-to-child link as the
    // child is reached, a node before its children).
    glBegin(GL_LINES);
    forEachNode(node, [&](TreeNode* n) {
        if (n == node) return;
        const TreeNode* p = n->parent;
        if (p->onlyInTree == 1) glColor3f(1.0f, 0.0f, 0.0f);
        else if (p->onlyInTree == 2) glColor3f(0.0f, 0.0f, 1.0f);
        else glColor3f(1.0f, 1.0f, 1.0f);
        const Point a = boxCentre(*p), b = boxCentre(*n);
        glVertex2d(a.x, a.y);
        glVertex2d(b.x, b.y);
    });
    glEnd();
}

void DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                  CCladoramaDoc& doc) {
    if (overview.cacheDirty) refreshCache(overview);
    drawCache(overview);

    const PixelScale s = PanelPixelScale(overview);
    for (const TreeNode* m : doc.m_searchResults) {
        glLineWidth(4.0f);
        glColor3f(0.0f, 0.0f, 0.0f);
        outlineBox(*m);
        boxShadow(*m, s);
    }

    ConsumeNodeListSelection(overview, panel1, panel2, doc);

    DrawFocusPath(panel1.focus, overview, 0);
    DrawFocusPath(panel2.focus, overview, 1);
    if (overview.hovering) DrawHoverLabel(overview.hoverNode, overview, overview.hoverX, overview.hoverY);
}

void DrawFocusPath(const TreeNode* focus, const OverviewPanel& overview, int which) {
    const PixelScale s = PanelPixelScale(overview);
    if (overview.overviewStyle != 0) {
        ForEachOnFocusPath(focus, [&](const TreeNode* q) {
            const Point c = boxCentre(*q);
            glColor3f(1.0f, 1.0f, 0.6f);
            if (which == 0) {
                const double x0 = c.x - s.px(4), x1 = x0 + s.px(8);
                const double y0 = c.y + s.py(4), y1 = y0 - s.py(8);
                FillEllipse(x0, y0, x1, y1, 30);
                glColor3f(0.0f, 0.0f, 0.0f);
                StrokeEllipse(x0, y0, x1, y1, 30);
            } else {
                const double size = s.px(6), by = c.y - s.py(2);
                FillMarkerTriangle(c.x, by, size);
                glColor3f(0.0f, 0.0f, 0.0f);
                line(c.x - size / 2, by, c.x + size / 2, by);
                line(c.x + size / 2, by, c.x, by + 1.8 * size);
            }
        });
        ForEachOnFocusPath(focus, [&](const TreeNode* q) {
            glLineWidth(1.5f);
            glColor3f(1.0f, 1.0f, 0.6f);
            outlineBox(*q);
            boxShadow(*q, s);
        });
        return;
    }
    glLineWidth(1.5f);
    bool first = true;
    Point previous{0, 0};
    ForEachOnFocusPath(focus, [&](const TreeNode* q) {
        const Point c = boxCentre(*q);
        glColor3f(0.0f, 1.0f, 0.0f);
        if (which == 0) {
            const double x0 = c.x - s.px(3), x1 = x0 + s.px(6);
            const double y0 = c.y + s.py(3), y1 = y0 - s.py(6);
            FillEllipse(x0, y0, x1, y1, 30);
        } else {
            FillMarkerTriangle(c.x, c.y, s.px(8));
        }
        if (!first) line(previous.x, previous.y, c.x, c.y);
        first = false;
        previous = c;
    });
    glLineWidth(1.0f);
}

void DrawHoverLabel(const TreeNode* node, const OverviewPanel& overview, double x, double y) {
    if (!node) return;
    char text[kHoverLabelSize];
    ComposeHoverLabel(*node, text, sizeof text);
    if (node->onlyInTree != 0) glColor3f(0.1f, 0.1f, 0.06f);
    else glColor3f(1.0f, 1.0f, 0.6f);
    outlineBox(*node);
    glColor3f(0.0f, 0.0f, 0.0f);
    DrawBitmapText(x, y, text, 1);
    if (overview.overviewStyle == 0) {
        const PixelScale s = PanelPixelScale(overview);
        const Point c = boxCentre(*node);
        const double x0 = c.x - s.px(3), x1 = x0 + s.px(6);
        const double y0 = c.y + s.py(3), y1 = y0 - s.py(6);
        FillEllipse(x0, y0, x1, y1, 30);
    }
}
