#include "RecordingCanvas.h"

#include <string>
#include <variant>

namespace {

struct SetColour { float rgb[3]; };
struct SetLineWidth { float width; };
struct Polygon { bool fill; std::vector<CanvasPoint> corners; };
struct Line { double xa, ya, xb, yb; };
struct Ellipse { bool fill; double x0, y0, x1, y1; int segments; };
struct Text { double x, y; std::string text; int font; };
struct Points { std::vector<ColouredPoint> items; };
struct Discs { std::vector<ColouredDisc> items; int segments; };
struct Quads { std::vector<ColouredQuad> items; };
struct Lines { std::vector<ColouredLine> items; bool blended; float alpha; };
struct Tagged {
    std::vector<CanvasPoint> points;
    float rgb[3];
    float alpha, width;
    std::string kind, title;
};
struct Clip { double x0, y0, x1, y1; };
struct EndClip {};

}  // namespace

struct CanvasRecording::Op {
    std::variant<SetColour, SetLineWidth, Polygon, Line, Ellipse, Text, Points, Discs, Quads, Lines,
                 Tagged, Clip, EndClip>
        what;
};

CanvasRecording::CanvasRecording() = default;
CanvasRecording::~CanvasRecording() = default;
CanvasRecording::CanvasRecording(CanvasRecording&&) noexcept = default;
CanvasRecording& CanvasRecording::operator=(CanvasRecording&&) noexcept = default;

bool CanvasRecording::empty() const { return m_ops.empty(); }
void CanvasRecording::clear() { m_ops.clear(); }

namespace {

struct Replay {
    Canvas& c;
    void operator()(const SetColour& o) const { c.setColour(o.rgb); }
    void operator()(const SetLineWidth& o) const { c.setLineWidth(o.width); }
    void operator()(const Polygon& o) const {
        const int count = static_cast<int>(o.corners.size());
        if (o.fill) c.fillPolygon(o.corners.data(), count);
        else c.strokeLoop(o.corners.data(), count);
    }
    void operator()(const Line& o) const { c.line(o.xa, o.ya, o.xb, o.yb); }
    void operator()(const Ellipse& o) const {
        if (o.fill) c.fillEllipse(o.x0, o.y0, o.x1, o.y1, o.segments);
        else c.strokeEllipse(o.x0, o.y0, o.x1, o.y1, o.segments);
    }
    void operator()(const Text& o) const { c.text(o.x, o.y, o.text.c_str(), o.font); }
    void operator()(const Points& o) const { c.points(o.items.data(), o.items.size()); }
    void operator()(const Discs& o) const {
        c.fillDiscs(o.items.data(), o.items.size(), o.segments);
    }
    void operator()(const Quads& o) const { c.fillQuads(o.items.data(), o.items.size()); }
    void operator()(const Lines& o) const {
        if (o.blended) c.blendedLines(o.items.data(), o.items.size(), o.alpha);
        else c.lines(o.items.data(), o.items.size());
    }
    void operator()(const Tagged& o) const {
        c.taggedLine(o.points.data(), static_cast<int>(o.points.size()), o.rgb, o.alpha, o.width,
                     o.kind.c_str(), o.title.c_str());
    }
    void operator()(const Clip& o) const { c.beginClip(o.x0, o.y0, o.x1, o.y1); }
    void operator()(const EndClip&) const { c.endClip(); }
};

Polygon polygonOf(bool fill, const CanvasPoint* corners, int count) {
    return {fill, {corners, corners + (count > 0 ? count : 0)}};
}

}  // namespace

void CanvasRecording::replay(Canvas& target) const {
    const Replay replay{target};
    for (const Op& op : m_ops) std::visit(replay, op.what);
}

void RecordingCanvas::setColour(float r, float g, float b) {
    m_target.setColour(r, g, b);
    m_into.m_ops.push_back({SetColour{{r, g, b}}});
}

void RecordingCanvas::setLineWidth(float width) {
    m_target.setLineWidth(width);
    m_into.m_ops.push_back({SetLineWidth{width}});
}

void RecordingCanvas::fillPolygon(const CanvasPoint* corners, int count) {
    m_target.fillPolygon(corners, count);
    m_into.m_ops.push_back({polygonOf(true, corners, count)});
}

void RecordingCanvas::strokeLoop(const CanvasPoint* corners, int count) {
    m_target.strokeLoop(corners, count);
    m_into.m_ops.push_back({polygonOf(false, corners, count)});
}

void RecordingCanvas::line(double xa, double ya, double xb, double yb) {
    m_target.line(xa, ya, xb, yb);
    m_into.m_ops.push_back({Line{xa, ya, xb, yb}});
}

void RecordingCanvas::fillEllipse(double x0, double y0, double x1, double y1, int segments) {
    m_target.fillEllipse(x0, y0, x1, y1, segments);
    m_into.m_ops.push_back({Ellipse{true, x0, y0, x1, y1, segments}});
}

void RecordingCanvas::strokeEllipse(double x0, double y0, double x1, double y1, int segments) {
    m_target.strokeEllipse(x0, y0, x1, y1, segments);
    m_into.m_ops.push_back({Ellipse{false, x0, y0, x1, y1, segments}});
}

void RecordingCanvas::text(double x, double y, const char* text, int fontIndex) {
    m_target.text(x, y, text, fontIndex);
    m_into.m_ops.push_back({Text{x, y, text ? text : "", fontIndex}});
}

void RecordingCanvas::points(const ColouredPoint* points, size_t count) {
    m_target.points(points, count);
    m_into.m_ops.push_back({Points{{points, points + count}}});
}

void RecordingCanvas::fillDiscs(const ColouredDisc* discs, size_t count, int segments) {
    m_target.fillDiscs(discs, count, segments);
    m_into.m_ops.push_back({Discs{{discs, discs + count}, segments}});
}

void RecordingCanvas::fillQuads(const ColouredQuad* quads, size_t count) {
    m_target.fillQuads(quads, count);
    m_into.m_ops.push_back({Quads{{quads, quads + count}}});
}

void RecordingCanvas::lines(const ColouredLine* lines, size_t count) {
    m_target.lines(lines, count);
    m_into.m_ops.push_back({Lines{{lines, lines + count}, false, 1.0f}});
}

void RecordingCanvas::blendedLines(const ColouredLine* batch, size_t count, float alpha) {
    m_target.blendedLines(batch, count, alpha);
    m_into.m_ops.push_back({Lines{{batch, batch + count}, true, alpha}});
}

void RecordingCanvas::taggedLine(const CanvasPoint* points, int count, const float rgb[3],
                                 float alpha, float width, const char* kind, const char* title) {
    m_target.taggedLine(points, count, rgb, alpha, width, kind, title);
    m_into.m_ops.push_back({Tagged{{points, points + (count > 0 ? count : 0)},
                                   {rgb[0], rgb[1], rgb[2]},
                                   alpha,
                                   width,
                                   kind ? kind : "",
                                   title ? title : ""}});
}

PixelRect RecordingCanvas::beginClip(double x0, double y0, double x1, double y1) {
    m_into.m_ops.push_back({Clip{x0, y0, x1, y1}});
    return m_target.beginClip(x0, y0, x1, y1);
}

void RecordingCanvas::endClip() {
    m_target.endClip();
    m_into.m_ops.push_back({EndClip{}});
}
