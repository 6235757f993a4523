#include "Render.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <vector>

#include "Overview.h"
#include "Picking.h"
#include "RenderMath.h"

// freeglut's handles for the four fonts; whatever they are, only GLUT interprets them.
void* const kBitmapFonts[kBitmapFontCount] = {
    GLUT_BITMAP_8_BY_13,
    GLUT_BITMAP_HELVETICA_10,
    GLUT_BITMAP_HELVETICA_12,
    GLUT_BITMAP_TIMES_ROMAN_10,
};

namespace {

void fillQuad(double left, double bottom, double right, double top) {
    glBegin(GL_QUADS);
    glVertex2d(left, bottom);
    glVertex2d(right, bottom);
    glVertex2d(right, top);
    glVertex2d(left, top);
    glEnd();
}

// Draws one node: point, or disc with label, flag square and ring. Returns whether its
// children are to be visited.
bool drawOneNode(TreeNode& node, ViewPanel& panel) {
    const ScreenBox box = MapNodeSquare(node, panel);
    glColor3f(node.color[0] / 255.0f, node.color[1] / 255.0f, node.color[2] / 255.0f);

    if (IsTinyNode(node, panel)) {
        glBegin(GL_POINTS);
        glVertex2d((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2);
        glEnd();
        return false;
    }
    if (!IsNodeVisible(node, panel)) return false;

    const PixelScale scale = PanelPixelScale(panel);
    FillEllipse(box.x0, box.y0, box.x1, box.y1, 50);

    const LabelKind kind = ChooseLabel(box.x1 - box.x0, scale);
    if (kind != LabelKind::None) {
        char text[kNodeLabelSize];
        const size_t length = ComposeNodeLabel(node, kind, text, sizeof text);
        const TextOrigin at = PlaceNodeLabel(box, length, scale);
        if (node.onlyInTree != 0) {
            const HitBox flag = FlagSquare(at, scale);
            SetPickBox(panel, node, flag.left, flag.right, flag.bottom, flag.top);
            glColor3f(0.9f, 0.9f, 0.0f);
            fillQuad(flag.left, flag.bottom, flag.right, flag.top);
        }
        glColor3f(0.0f, 0.0f, 0.0f);
        DrawBitmapText(at.x, at.y, text, LabelFont(kind));
    }

    if (node.onlyInTree != 0) {
        glColor3f(1.0f, 1.0f, 1.0f);
        glLineWidth(2.0f);
        StrokeEllipse(box.x0, box.y0, box.x1, box.y1, 50);
        glLineWidth(1.0f);
    }
    return true;
}

}  // namespace

void DrawPanel(ViewPanel& panel) {
    glColor3fv(panel.color);
    fillQuad(panel.viewX, panel.viewY, panel.viewX + panel.viewW, panel.viewY + panel.viewH);
    if (panel.kind == 0) DrawTreeInPanel(panel.tree, panel);
    if (panel.kind == 1) {
        if (panel.overviewStyle != 0) DrawOverviewBoxes(panel.tree, panel);
        else DrawOverviewLines(panel.tree, panel);
    }
    // The legend strip (kind 2) is drawn by DrawRankStrip.
}

void DrawTreeInPanel(ClassificationTree* tree, ViewPanel& panel) {
    if (!tree) return;
    glEnable(GL_SCISSOR_TEST);
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx0 = 0, wy0 = 0, wz0 = 0, wx1 = 0, wy1 = 0, wz1 = 0;
    gluProject(panel.viewX, panel.viewY, 0, model, projection, viewport, &wx0, &wy0, &wz0);
    gluProject(panel.viewX + panel.viewW, panel.viewY + panel.viewH, 0, model, projection,
               viewport, &wx1, &wy1, &wz1);
    const PixelRect scissor = ScissorFromCorners(wx0, wy0, wx1, wy1);
    // A negative size is a GL error that would leave the previous box in force.
    glScissor(scissor.x, scissor.y, scissor.width < 0 ? 0 : scissor.width,
              scissor.height < 0 ? 0 : scissor.height);
    // Only the flags of this frame can be picked.
    BeginPickFrame(panel);
    DrawCircleNode(tree, panel, tree->treeId);
    glDisable(GL_SCISSOR_TEST);
}

void DrawCircleNode(TreeNode* node, ViewPanel& panel, int treeId) {
    if (!node) return;
    // Depth first with an explicit stack, children pushed in reverse so they are drawn in
    // order: a deeply nested tree cannot exhaust the call stack.
    std::vector<TreeNode*> pending{node};
    while (!pending.empty()) {
        TreeNode* n = pending.back();
        pending.pop_back();
        if (!drawOneNode(*n, panel)) continue;
        for (size_t i = n->children.size(); i-- > 0;) {
            TreeNode* child = n->children[i];
            if (ShouldDrawChild(*child, treeId)) pending.push_back(child);
        }
    }
}

void StrokeEllipse(double x0, double y0, double x1, double y1, int segments) {
    glBegin(GL_LINE_LOOP);
    ForEachEllipseVertex(x0, y0, x1, y1, segments, [](double x, double y) { glVertex2d(x, y); });
    glEnd();
}

void FillEllipse(double x0, double y0, double x1, double y1, int segments) {
    glBegin(GL_TRIANGLE_FAN);
    ForEachEllipseVertex(x0, y0, x1, y1, segments, [](double x, double y) { glVertex2d(x, y); });
    glEnd();
}

void FillMarkerTriangle(double cx, double baseY, double s) {
    glBegin(GL_TRIANGLES);
    glVertex2d(cx + s / 2, baseY);
    glVertex2d(cx - s / 2, baseY);
    glVertex2d(cx, baseY + 1.3 * s);
    glEnd();
}

void DrawBitmapText(double x, double y, const char* text, int fontIndex) {
    if (!text || fontIndex < 0 || fontIndex >= kBitmapFontCount) return;
    void* font = kBitmapFonts[fontIndex];
    glRasterPos2d(x, y);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        glutBitmapCharacter(font, *p);
}
