// A canvas that passes every primitive on to another and keeps a copy, so that what one
// picture drew can be drawn again onto the next without walking the trees a second time:
// a figure has no pixels to cache, and a series of figures of one view (the report's)
// would otherwise draw the same overview of millions of taxa for each.
#pragma once

#include <memory>
#include <vector>

#include "Canvas.h"

// The primitives drawn, in order, with the state they set.
class CanvasRecording {
public:
    CanvasRecording();
    ~CanvasRecording();
    CanvasRecording(CanvasRecording&&) noexcept;
    CanvasRecording& operator=(CanvasRecording&&) noexcept;

    bool empty() const;
    void clear();
    // Draws the kept primitives onto `target` in the order they were drawn.
    void replay(Canvas& target) const;

private:
    friend class RecordingCanvas;
    struct Op;
    std::vector<Op> m_ops;
};

class RecordingCanvas final : public Canvas {
public:
    // Appends to `into` what is drawn on `target` through this canvas.
    RecordingCanvas(Canvas& target, CanvasRecording& into) : m_target(target), m_into(into) {}

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
    PixelMapping mapping() const override { return m_target.mapping(); }
    // The primitives are drawn as the target draws them; what is kept is only the primitives,
    // never the pick boxes or pixels a window's frame makes of them.
    bool keepsPickBoxes() const override { return m_target.keepsPickBoxes(); }
    bool hasPixels() const override { return m_target.hasPixels(); }

private:
    Canvas& m_target;
    CanvasRecording& m_into;
};
