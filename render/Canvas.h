// The drawing target of the panels, the legend strip and the overview: a handful of
// primitives in window-normalised coordinates (the client area is -0.5..0.5 on both
// axes, y upwards). The window draws them with OpenGL (GlCanvas); a figure written to a
// file draws them as vectors. Whatever the target, a primitive is drawn as the window's
// frame would show it: the same colours, line widths in pixels of the frame, text in the
// bitmap fonts' sizes, and clipping to the same pixel boxes.
//
// State is the current colour and line width, which every single primitive uses; the
// batches carry a colour per element and leave the current colour undefined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "RenderMath.h"

struct CanvasPoint {
    double x = 0, y = 0;
};

// A point with its own colour (one pixel in the frame).
struct ColouredPoint {
    double x = 0, y = 0;
    float rgb[3] = {0, 0, 0};
};

// A filled disc inscribed in `box`, with its own colour.
struct ColouredDisc {
    ScreenBox box;
    float rgb[3] = {0, 0, 0};
};

// A filled quadrilateral through four corners in order, with its own colour.
struct ColouredQuad {
    CanvasPoint corner[4];
    float rgb[3] = {0, 0, 0};
};

// A line segment with its own colour, at the current line width.
struct ColouredLine {
    CanvasPoint a, b;
    float rgb[3] = {0, 0, 0};
};

// How window-normalised coordinates land on the frame's pixels: pixel = shift + scale *
// coordinate on each axis. `known` is false when the target cannot say (a GL transform
// that is not a plain scale and shift), and then nothing may be left out for lying
// outside. `whole` adds that the pixels counted so are the window's own, windowW by
// windowH from (0, 0) at the lower left, so that a primitive's pixels can be told.
struct PixelMapping {
    bool known = false;
    bool whole = false;
    double shiftX = 0, scaleX = 0, shiftY = 0, scaleY = 0;
    int windowW = 0, windowH = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void setColour(float r, float g, float b) = 0;
    void setColour(const float rgb[3]) { setColour(rgb[0], rgb[1], rgb[2]); }
    // In pixels of the frame.
    virtual void setLineWidth(float width) = 0;

    // A filled convex polygon of 3 or 4 corners, and a closed outline through them.
    virtual void fillPolygon(const CanvasPoint* corners, int count) = 0;
    virtual void strokeLoop(const CanvasPoint* corners, int count) = 0;
    virtual void line(double xa, double ya, double xb, double yb) = 0;
    // Ellipse inscribed in the box with corners (x0, y0) and (x1, y1); in the frame a
    // polygon of `segments` vertices (see ForEachEllipseVertex).
    virtual void fillEllipse(double x0, double y0, double x1, double y1, int segments) = 0;
    virtual void strokeEllipse(double x0, double y0, double x1, double y1, int segments) = 0;
    // Zero-terminated ISO-8859-1 bytes with the baseline starting at (x, y), in font
    // fontIndex of kBitmapFonts (Render.h); an index outside 0..3 draws nothing. A text
    // whose start lies outside the window is not drawn at all, as the frame discards it.
    virtual void text(double x, double y, const char* text, int fontIndex) = 0;

    // Batches, drawn in order, each element in its own colour.
    virtual void points(const ColouredPoint* points, size_t count) = 0;
    // Discs drawn as fillEllipse draws them with `segments` vertices.
    virtual void fillDiscs(const ColouredDisc* discs, size_t count, int segments) = 0;
    virtual void fillQuads(const ColouredQuad* quads, size_t count) = 0;
    virtual void lines(const ColouredLine* lines, size_t count) = 0;

    // Like lines(), at opacity `alpha` over what is drawn: many lines of the changes layer
    // in one batch where no line need carry its kind (the window's frames).
    virtual void blendedLines(const ColouredLine* batch, size_t count, float alpha) {
        (void)alpha;
        lines(batch, count);
    }

    // A line of the changes layer through `count` points, `width` pixels wide, in `rgb` at
    // opacity `alpha` (1 opaque), over what is drawn. It carries the change's kind (one
    // word) and its text, which a vector figure keeps with the line so that a reader can
    // find and restyle it. Leaves the current colour undefined and the line width 1.
    virtual void taggedLine(const CanvasPoint* points, int count, const float rgb[3], float alpha,
                            float width, const char* kind, const char* title);

    // Clips everything to the frame's pixels that the rectangle (x0, y0)-(x1, y1) covers,
    // as the window's scissor box does: each edge's pixel position truncated toward zero.
    // Returns that pixel box. endClip lifts the clipping.
    virtual PixelRect beginClip(double x0, double y0, double x1, double y1) = 0;
    virtual void endClip() = 0;

    virtual PixelMapping mapping() const = 0;

    // Whether drawing writes the pick boxes of the nodes it flags: true for the window,
    // whose frame the mouse picks in, false for a figure.
    virtual bool keepsPickBoxes() const { return false; }

    // The overview's pixel cache, for targets that have pixels: readPixels copies the
    // frame's pixels from (0, 0) on, four bytes (RGBA) a pixel, rows from the bottom up;
    // drawPixels puts such a copy back with its lower-left corner at (x, y). A target
    // without pixels draws the overview in full every time.
    virtual bool hasPixels() const { return false; }
    virtual void readPixels(int, int, std::vector<uint8_t>&) {}
    virtual void drawPixels(double, double, int, int, const std::vector<uint8_t>&) {}
};

// The OpenGL target of the current context: what the window's frames are drawn with.
Canvas& WindowCanvas();

// Shapes that the panels share, in the canvas's current colour.
// The panel's rectangle filled in panel.color.
void FillPanelBackground(Canvas& canvas, const ViewPanel& panel);
// Upward filled triangle: base from (cx - s/2, baseY) to (cx + s/2, baseY), apex 1.3 s
// above the base.
void FillMarkerTriangle(Canvas& canvas, double cx, double baseY, double s);
