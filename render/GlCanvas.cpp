#include "GlCanvas.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include "BitmapGlyphs.h"
#include "Render.h"

// freeglut's handles for the four fonts; whatever they are, only GLUT interprets them.
void* const kBitmapFonts[kBitmapFontCount] = {
    GLUT_BITMAP_8_BY_13,
    GLUT_BITMAP_HELVETICA_10,
    GLUT_BITMAP_HELVETICA_12,
    GLUT_BITMAP_TIMES_ROMAN_10,
};

namespace {

// The unit circle as the ellipse primitives step round it, for the segment counts in use;
// the angles are accumulated exactly as ForEachEllipseVertex does, so the vertices are
// the same to the last bit.
struct CircleSteps {
    int segments = 0;
    std::vector<double> cosines, sines;
};

const CircleSteps* circleSteps(int segments) {
    static CircleSteps cached[2];
    for (CircleSteps& c : cached) {
        if (c.segments == segments) return &c;
        if (c.segments == 0) {
            ForEachEllipseVertex(-1.0, -1.0, 1.0, 1.0, segments, [&](double x, double y) {
                c.cosines.push_back(x);
                c.sines.push_back(y);
            });
            c.segments = segments;
            return &c;
        }
    }
    return nullptr;
}

template <class Emit>
void ellipseVertices(double x0, double y0, double x1, double y1, int segments, Emit&& emit) {
    const CircleSteps* steps = segments >= 1 ? circleSteps(segments) : nullptr;
    if (!steps) {
        ForEachEllipseVertex(x0, y0, x1, y1, segments, emit);
        return;
    }
    // cx + rx * cos(t) as ForEachEllipseVertex computes it: the unit table holds cos(t)
    // itself (0 + 1 * cos(t)).
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double rx = (x1 - x0) / 2, ry = (y1 - y0) / 2;
    const size_t n = steps->cosines.size();
    for (size_t i = 0; i < n; ++i) emit(cx + rx * steps->cosines[i], cy + ry * steps->sines[i]);
}

// Triangles of a run of discs, kept from frame to frame.
std::vector<float>& discVertices() {
    static std::vector<float> xy;
    return xy;
}
std::vector<float>& discColours() {
    static std::vector<float> rgb;
    return rgb;
}

void flushDiscs() {
    std::vector<float>& xy = discVertices();
    if (xy.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, xy.data());
    glColorPointer(3, GL_FLOAT, 0, discColours().data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(xy.size() / 2));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    xy.clear();
    discColours().clear();
}

void vertices(const CanvasPoint* corners, int count) {
    for (int i = 0; i < count; ++i) glVertex2d(corners[i].x, corners[i].y);
}

}  // namespace

Canvas& WindowCanvas() {
    static GlCanvas canvas;
    return canvas;
}

void GlCanvas::setColour(float r, float g, float b) { glColor3f(r, g, b); }

void GlCanvas::setLineWidth(float width) { glLineWidth(width); }

void GlCanvas::fillPolygon(const CanvasPoint* corners, int count) {
    if (count != 3 && count != 4) return;
    glBegin(count == 4 ? GL_QUADS : GL_TRIANGLES);
    vertices(corners, count);
    glEnd();
}

void GlCanvas::strokeLoop(const CanvasPoint* corners, int count) {
    glBegin(GL_LINE_LOOP);
    vertices(corners, count);
    glEnd();
}

void GlCanvas::line(double xa, double ya, double xb, double yb) {
    glBegin(GL_LINES);
    glVertex2d(xa, ya);
    glVertex2d(xb, yb);
    glEnd();
}

void GlCanvas::fillEllipse(double x0, double y0, double x1, double y1, int segments) {
    glBegin(GL_TRIANGLE_FAN);
    ellipseVertices(x0, y0, x1, y1, segments, [](double x, double y) { glVertex2d(x, y); });
    glEnd();
}

void GlCanvas::strokeEllipse(double x0, double y0, double x1, double y1, int segments) {
    glBegin(GL_LINE_LOOP);
    ellipseVertices(x0, y0, x1, y1, segments, [](double x, double y) { glVertex2d(x, y); });
    glEnd();
}

void GlCanvas::text(double x, double y, const char* text, int fontIndex) {
    if (!text || fontIndex < 0 || fontIndex >= kBitmapFontCount) return;
    glRasterPos2d(x, y);
    // Without a display GLUT cannot be started; its glyphs are then drawn from its tables
    // the way glutBitmapCharacter draws them.
    if (!glutGet(GLUT_INIT_STATE)) {
        DrawGlyphsWithoutGlut(text, fontIndex);
        return;
    }
    void* font = kBitmapFonts[fontIndex];
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        glutBitmapCharacter(font, *p);
}

void GlCanvas::points(const ColouredPoint* points, size_t count) {
    if (count == 0) return;
    glBegin(GL_POINTS);
    for (size_t i = 0; i < count; ++i) {
        glColor3f(points[i].rgb[0], points[i].rgb[1], points[i].rgb[2]);
        glVertex2d(points[i].x, points[i].y);
    }
    glEnd();
}

// A run of discs is one triangle array: each fan as the triangles the GL cuts a fan into,
// (v0, vi, vi+1) in that order, with the vertices in single precision as glVertex2d stores
// them. Triangles are independent primitives, so the pixels are those of a fan per disc.
void GlCanvas::fillDiscs(const ColouredDisc* discs, size_t count, int segments) {
    std::vector<float>& xy = discVertices();
    std::vector<float>& colours = discColours();
    for (size_t k = 0; k < count; ++k) {
        const ColouredDisc& d = discs[k];
        float fan[2 * 64];
        int n = 0;
        ellipseVertices(d.box.x0, d.box.y0, d.box.x1, d.box.y1, segments, [&](double x, double y) {
            if (n < 64) {
                fan[2 * n] = static_cast<float>(x);
                fan[2 * n + 1] = static_cast<float>(y);
            }
            ++n;
        });
        if (n > 64) {  // more vertices than the array takes: drawn on its own
            flushDiscs();
            glColor3f(d.rgb[0], d.rgb[1], d.rgb[2]);
            fillEllipse(d.box.x0, d.box.y0, d.box.x1, d.box.y1, segments);
            continue;
        }
        for (int i = 1; i + 1 < n; ++i) {
            for (int v : {0, i, i + 1}) {
                xy.push_back(fan[2 * v]);
                xy.push_back(fan[2 * v + 1]);
                colours.insert(colours.end(), d.rgb, d.rgb + 3);
            }
        }
    }
    flushDiscs();
}

void GlCanvas::fillQuads(const ColouredQuad* quads, size_t count) {
    if (count == 0) return;
    glBegin(GL_QUADS);
    for (size_t i = 0; i < count; ++i) {
        glColor3f(quads[i].rgb[0], quads[i].rgb[1], quads[i].rgb[2]);
        vertices(quads[i].corner, 4);
    }
    glEnd();
}

void GlCanvas::lines(const ColouredLine* lines, size_t count) {
    if (count == 0) return;
    glBegin(GL_LINES);
    for (size_t i = 0; i < count; ++i) {
        glColor3f(lines[i].rgb[0], lines[i].rgb[1], lines[i].rgb[2]);
        glVertex2d(lines[i].a.x, lines[i].a.y);
        glVertex2d(lines[i].b.x, lines[i].b.y);
    }
    glEnd();
}

void GlCanvas::blendedLines(const ColouredLine* batch, size_t count, float alpha) {
    if (count == 0) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_LINES);
    for (size_t i = 0; i < count; ++i) {
        glColor4f(batch[i].rgb[0], batch[i].rgb[1], batch[i].rgb[2], alpha);
        glVertex2d(batch[i].a.x, batch[i].a.y);
        glVertex2d(batch[i].b.x, batch[i].b.y);
    }
    glEnd();
    glDisable(GL_BLEND);
}

void GlCanvas::taggedLine(const CanvasPoint* points, int count, const float rgb[3], float alpha,
                          float width, const char*, const char*) {
    const bool blend = alpha < 1;
    if (blend) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glLineWidth(width);
    glColor4f(rgb[0], rgb[1], rgb[2], alpha);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < count; ++i) glVertex2d(points[i].x, points[i].y);
    glEnd();
    glLineWidth(1.0f);
    if (blend) glDisable(GL_BLEND);
    glColor4f(rgb[0], rgb[1], rgb[2], 1.0f);
}

PixelRect GlCanvas::beginClip(double x0, double y0, double x1, double y1) {
    glEnable(GL_SCISSOR_TEST);
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLdouble wx0 = 0, wy0 = 0, wz0 = 0, wx1 = 0, wy1 = 0, wz1 = 0;
    gluProject(x0, y0, 0, model, projection, viewport, &wx0, &wy0, &wz0);
    gluProject(x1, y1, 0, model, projection, viewport, &wx1, &wy1, &wz1);
    const PixelRect box = ScissorFromCorners(wx0, wy0, wx1, wy1);
    // A negative size is a GL error that would leave the previous box in force.
    glScissor(box.x, box.y, box.width < 0 ? 0 : box.width, box.height < 0 ? 0 : box.height);
    return box;
}

void GlCanvas::endClip() { glDisable(GL_SCISSOR_TEST); }

PixelMapping GlCanvas::mapping() const {
    PixelMapping m;
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (const GLdouble* a : {model, projection}) {
        if (a[1] != 0 || a[2] != 0 || a[3] != 0 || a[4] != 0 || a[6] != 0 || a[7] != 0 ||
            a[15] != 1)
            return m;
    }
    GLdouble ax = 0, ay = 0, bx = 0, by = 0, z = 0;
    if (!gluProject(0, 0, 0, model, projection, viewport, &ax, &ay, &z) ||
        !gluProject(1, 1, 0, model, projection, viewport, &bx, &by, &z))
        return m;
    const double sx = bx - ax, sy = by - ay;
    if (!(sx > 0 && sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return m;
    m.known = true;
    m.shiftX = ax;
    m.scaleX = sx;
    m.shiftY = ay;
    m.scaleY = sy;
    if (viewport[0] == 0 && viewport[1] == 0 && viewport[2] > 0 && viewport[3] > 0) {
        m.whole = true;
        m.windowW = viewport[2];
        m.windowH = viewport[3];
    }
    return m;
}

void GlCanvas::readPixels(int width, int height, std::vector<uint8_t>& out) {
    if (out.size() < static_cast<size_t>(width) * height * 4) return;
    // Four bytes a pixel, as the framebuffer keeps them: drawing them back every frame is
    // a plain copy, where three would be converted pixel by pixel. The fourth byte is not
    // drawn (the framebuffer has no alpha and blending is off).
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    (void)glGetError();
}

void GlCanvas::drawPixels(double x, double y, int width, int height,
                          const std::vector<uint8_t>& pixels) {
    glRasterPos2d(x, y);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
}
