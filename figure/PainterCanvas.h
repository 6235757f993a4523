// The vector target of the drawing: Qt's painter on any paint device (an SVG generator, a
// PDF writer, an image), with the window's pixels as its units: (0, 0) the top-left corner
// of a window `width` by `height` pixels. Discs, rings, boxes, lines and triangles become
// shapes and labels become text, in fonts of the bitmap fonts' families and sizes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <optional>
#include <string>

#include "Canvas.h"

class PainterCanvas final : public Canvas {
public:
    // The painter must be active on its device. With `clipByHand`, what crosses a clipping
    // box is cut to it here as shapes (text that crosses it as its glyphs' outlines): for
    // devices that would drop the painter's clipping, as Qt's SVG generator does.
    PainterCanvas(QPainter& painter, int width, int height, bool clipByHand = false);

    // The font drawn for each entry of kBitmapFonts: Courier 13 px, Helvetica 10 px,
    // Helvetica 12 px, Times 10 px.
    static QFont FontFor(int fontIndex);

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
    void taggedLine(const CanvasPoint* points, int count, const float rgb[3], float alpha,
                    float width, const char* kind, const char* title) override;
    PixelRect beginClip(double x0, double y0, double x1, double y1) override;
    void endClip() override;
    PixelMapping mapping() const override;

    // Tagged lines are written here as SVG paths (UTF-8), each with its kind as a class and
    // its text as a title, instead of being painted: the SVG generator cannot tag what it
    // writes. The figure puts them in the file above the rest.
    void KeepTaggedLinesIn(std::string* svg) { m_tagged = svg; }

private:
    QPointF at(double x, double y) const;
    QRectF box(double x0, double y0, double x1, double y1) const;
    // Painter state is changed only when it differs: every change is an element of its own
    // in an SVG file.
    void fillWith(const QColor& c);
    void strokeWith(const QColor& c);
    static QColor colourOf(const float rgb[3]);
    // Under a clipping box kept by hand: Inside when the shape with `bounds` needs no
    // cutting, Outside when none of it shows, else Crossing.
    enum class Clip { Inside, Outside, Crossing };
    Clip clipOf(const QRectF& bounds) const;
    // Fills `path` (in device pixels) cut to the clipping box.
    void fillCut(const QPainterPath& path, const QColor& c);
    void strokeCut(const QPainterPath& path, const QColor& c);

    QPainter& m_painter;
    int m_width, m_height;
    bool m_clipByHand;
    std::optional<QRectF> m_clip;
    QColor m_colour = Qt::black;
    float m_lineWidth = 1;
    enum class Mode { None, Fill, Stroke };
    Mode m_mode = Mode::None;
    QColor m_modeColour;
    float m_modeWidth = 0;
    int m_font = -1;
    std::string* m_tagged = nullptr;
};
