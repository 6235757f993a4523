// The OpenGL target of the drawing: GL 1.x immediate mode on the current context, with the
// frame's projection set (gluOrtho2D(-0.5, 0.5, -0.5, 0.5), identity model-view, viewport
// over the client area). Text is drawn in GLUT's bitmap fonts.
#pragma once

#include "Canvas.h"

class GlCanvas final : public Canvas {
public:
    void setColour(float r, float g, float b) override;
    void setLineWidth(float width) override;
    void fillPolygon(const CanvasPoint* corners, int count) override;
    void strokeLoop(const CanvasPoint* corners, int count) override;
    void line(double xa, double ya, double xb, double yb) override;
    void fillEllipse(double x0, double y0, double x1, double y1, int segments) override;
    void strokeEllipse(double x0, double y0, double x1, double y1, int segments) override;
    void text(double x, double y, const char* text, int fontIndex) override;
    void points(const ColouredPoint* points, size_t count) override;
    void fillDiscs(const ColouredDisc* discs, size_t count, int segments) override;
    void fillQuads(const ColouredQuad* quads, size_t count) override;
    void lines(const ColouredLine* lines, size_t count) override;
    void blendedLines(const ColouredLine* batch, size_t count, float alpha) override;
    void taggedLine(const CanvasPoint* points, int count, const float rgb[3], float alpha,
                    float width, const char* kind, const char* title) override;
    PixelRect beginClip(double x0, double y0, double x1, double y1) override;
    void endClip() override;
    PixelMapping mapping() const override;
    bool keepsPickBoxes() const override { return true; }
    bool hasPixels() const override { return true; }
    void readPixels(int width, int height, std::vector<uint8_t>& out) override;
    void drawPixels(double x, double y, int width, int height,
                    const std::vector<uint8_t>& pixels) override;
};
