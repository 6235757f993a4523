#include "PainterCanvas.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <vector>

#include "Render.h"

namespace {

// An 8-bit channel as a colour float is stored in the frame.
int channel(float f) {
    return std::clamp(static_cast<int>(std::lround(f * 255.0f)), 0, 255);
}

}  // namespace

PainterCanvas::PainterCanvas(QPainter& painter, int width, int height, bool clipByHand)
    : m_painter(painter), m_width(width), m_height(height), m_clipByHand(clipByHand) {}

PainterCanvas::Clip PainterCanvas::clipOf(const QRectF& bounds) const {
    if (!m_clip) return Clip::Inside;
    if (m_clip->contains(bounds)) return Clip::Inside;
    if (!m_clip->intersects(bounds)) return Clip::Outside;
    return Clip::Crossing;
}

void PainterCanvas::fillCut(const QPainterPath& path, const QColor& c) {
    QPainterPath box;
    box.addRect(*m_clip);
    const QPainterPath cut = path.intersected(box);
    if (cut.isEmpty()) return;
    fillWith(c);
    m_painter.drawPath(cut);
}

void PainterCanvas::strokeCut(const QPainterPath& path, const QColor& c) {
    QPainterPathStroker stroker;
    stroker.setWidth(m_lineWidth);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    fillCut(stroker.createStroke(path), c);
}

QFont PainterCanvas::FontFor(int fontIndex) {
    QFont f;
    switch (fontIndex) {
        case 0:
            f.setFamily(QStringLiteral("Courier"));
            f.setStyleHint(QFont::TypeWriter);
            f.setPixelSize(13);
            break;
        case 2:
            f.setFamily(QStringLiteral("Helvetica"));
            f.setStyleHint(QFont::SansSerif);
            f.setPixelSize(12);
            break;
        case 3:
            f.setFamily(QStringLiteral("Times"));
            f.setStyleHint(QFont::Serif);
            f.setPixelSize(10);
            break;
        default:
            f.setFamily(QStringLiteral("Helvetica"));
            f.setStyleHint(QFont::SansSerif);
            f.setPixelSize(10);
            break;
    }
    // Glyphs of the sizes the bitmaps have, without hinting that would move them.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

QColor PainterCanvas::colourOf(const float rgb[3]) {
    return QColor(channel(rgb[0]), channel(rgb[1]), channel(rgb[2]));
}

QPointF PainterCanvas::at(double x, double y) const {
    return {(x + 0.5) * m_width, (0.5 - y) * m_height};
}

QRectF PainterCanvas::box(double x0, double y0, double x1, double y1) const {
    return QRectF(at(x0, y0), at(x1, y1)).normalized();
}

void PainterCanvas::fillWith(const QColor& c) {
    if (m_mode == Mode::Fill && m_modeColour == c) return;
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(c);
    m_mode = Mode::Fill;
    m_modeColour = c;
}

void PainterCanvas::strokeWith(const QColor& c) {
    if (m_mode == Mode::Stroke && m_modeColour == c && m_modeWidth == m_lineWidth) return;
    // Lines of the frame end square at their end points and do not join.
    QPen pen(c, m_lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    m_mode = Mode::Stroke;
    m_modeColour = c;
    m_modeWidth = m_lineWidth;
}

void PainterCanvas::setColour(float r, float g, float b) {
    const float rgb[3] = {r, g, b};
    m_colour = colourOf(rgb);
}

void PainterCanvas::setLineWidth(float width) { m_lineWidth = width; }

void PainterCanvas::fillPolygon(const CanvasPoint* corners, int count) {
    if (count != 3 && count != 4) return;
    QPolygonF polygon;
    for (int i = 0; i < count; ++i) polygon << at(corners[i].x, corners[i].y);
    const Clip clip = clipOf(polygon.boundingRect());
    if (clip == Clip::Outside) return;
    if (clip == Clip::Crossing) {
        QPainterPath path;
        path.addPolygon(polygon);
        path.closeSubpath();
        fillCut(path, m_colour);
        return;
    }
    fillWith(m_colour);
    if (count == 4) {
        // An upright box is written as a rectangle.
        const bool upright = (corners[0].x == corners[3].x && corners[1].x == corners[2].x &&
                              corners[0].y == corners[1].y && corners[2].y == corners[3].y) ||
                             (corners[0].y == corners[3].y && corners[1].y == corners[2].y &&
                              corners[0].x == corners[1].x && corners[2].x == corners[3].x);
        if (upright) {
            m_painter.drawRect(box(corners[0].x, corners[0].y, corners[2].x, corners[2].y));
            return;
        }
    }
    m_painter.drawPolygon(polygon);
}

void PainterCanvas::strokeLoop(const CanvasPoint* corners, int count) {
    QPolygonF polygon;
    for (int i = 0; i < count; ++i) polygon << at(corners[i].x, corners[i].y);
    const qreal m = m_lineWidth;
    const Clip clip = clipOf(polygon.boundingRect().adjusted(-m, -m, m, m));
    if (clip == Clip::Outside) return;
    if (clip == Clip::Crossing) {
        QPainterPath path;
        path.addPolygon(polygon);
        path.closeSubpath();
        strokeCut(path, m_colour);
        return;
    }
    strokeWith(m_colour);
    m_painter.drawPolygon(polygon);
}

void PainterCanvas::taggedLine(const CanvasPoint* points, int count, const float rgb[3],
                               float alpha, float width, const char* kind, const char* title) {
    if (count < 2) return;
    if (m_tagged) {
        const QColor c = colourOf(rgb);
        QString d;
        for (int i = 0; i < count; ++i) {
            const QPointF p = at(points[i].x, points[i].y);
            d += QStringLiteral("%1%2 %3").arg(i ? QStringLiteral(" L") : QStringLiteral("M"))
                     .arg(p.x(), 0, 'f', 2)
                     .arg(p.y(), 0, 'f', 2);
        }
        QString path = QStringLiteral("<path class=\"%1\" d=\"%2\" fill=\"none\" stroke=\"%3\" "
                                      "stroke-opacity=\"%4\" stroke-width=\"%5\">"
                                      "<title>%6</title></path>\n")
                           .arg(QString::fromLatin1(kind).toHtmlEscaped(), d, c.name())
                           .arg(alpha, 0, 'g', 3)
                           .arg(width, 0, 'g', 3)
                           .arg(QString::fromLatin1(title).toHtmlEscaped());
        *m_tagged += path.toUtf8().toStdString();
        return;
    }
    QColor c = colourOf(rgb);
    c.setAlphaF(alpha);
    const QColor kept = m_colour;
    const float keptWidth = m_lineWidth;
    m_colour = c;
    m_lineWidth = width;
    for (int i = 1; i < count; ++i) line(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
    m_colour = kept;
    m_lineWidth = keptWidth;
    setLineWidth(1.0f);
}

void PainterCanvas::line(double xa, double ya, double xb, double yb) {
    const QPointF a = at(xa, ya), b = at(xb, yb);
    const qreal m = m_lineWidth;
    const Clip clip = clipOf(QRectF(a, b).normalized().adjusted(-m, -m, m, m));
    if (clip == Clip::Outside) return;
    if (clip == Clip::Crossing) {
        QPainterPath path(a);
        path.lineTo(b);
        strokeCut(path, m_colour);
        return;
    }
    strokeWith(m_colour);
    m_painter.drawLine(a, b);
}

void PainterCanvas::fillEllipse(double x0, double y0, double x1, double y1, int) {
    const QRectF r = box(x0, y0, x1, y1);
    const Clip clip = clipOf(r);
    if (clip == Clip::Outside) return;
    if (clip == Clip::Crossing) {
        QPainterPath path;
        path.addEllipse(r);
        fillCut(path, m_colour);
        return;
    }
    fillWith(m_colour);
    m_painter.drawEllipse(r);
}

void PainterCanvas::strokeEllipse(double x0, double y0, double x1, double y1, int) {
    const QRectF r = box(x0, y0, x1, y1);
    const qreal m = m_lineWidth;
    const Clip clip = clipOf(r.adjusted(-m, -m, m, m));
    if (clip == Clip::Outside) return;
    if (clip == Clip::Crossing) {
        QPainterPath path;
        path.addEllipse(r);
        strokeCut(path, m_colour);
        return;
    }
    strokeWith(m_colour);
    m_painter.drawEllipse(r);
}

void PainterCanvas::text(double x, double y, const char* text, int fontIndex) {
    if (!text || !*text || fontIndex < 0 || fontIndex >= kBitmapFontCount) return;
    // The frame drops a text whose start lies outside the window.
    if (!(x >= -0.5 && x <= 0.5 && y >= -0.5 && y <= 0.5)) return;
    if (m_font != fontIndex) {
        m_painter.setFont(FontFor(fontIndex));
        m_font = fontIndex;
    }
    if (m_clip) {
        const QFontMetricsF metrics(m_painter.font());
        const QString s = QString::fromLatin1(text);
        const QPointF start = at(x, y);
        const QRectF bounds(start.x(), start.y() - metrics.ascent(), metrics.horizontalAdvance(s),
                            metrics.ascent() + metrics.descent());
        const Clip clip = clipOf(bounds);
        if (clip == Clip::Outside) return;
        if (clip == Clip::Crossing) {
            QPainterPath path;
            path.addText(start, m_painter.font(), s);
            fillCut(path, m_colour);
            return;
        }
    }
    // Text is drawn with the pen's colour.
    m_painter.setPen(m_colour);
    m_mode = Mode::None;
    m_painter.drawText(at(x, y), QString::fromLatin1(text));
}

void PainterCanvas::points(const ColouredPoint* points, size_t count) {
    // A point lights the pixel that holds it; of the points on one pixel the last shows.
    // What shows is written colour by colour, a row's neighbouring pixels as one box.
    std::unordered_map<int64_t, QRgb> shown;
    for (size_t i = 0; i < count; ++i) {
        const double wx = (points[i].x + 0.5) * m_width, wy = (points[i].y + 0.5) * m_height;
        const int64_t px = static_cast<int64_t>(std::floor(wx));
        const int64_t row = m_height - 1 - static_cast<int64_t>(std::floor(wy));
        if (clipOf(QRectF(px, row, 1, 1)) != Clip::Inside) continue;
        shown[row * (int64_t{1} << 32) + (px + (int64_t{1} << 31))] =
            colourOf(points[i].rgb).rgb();
    }
    std::map<QRgb, std::vector<int64_t>> byColour;
    for (const auto& [pixel, rgb] : shown) byColour[rgb].push_back(pixel);
    for (auto& [rgb, pixels] : byColour) {
        std::sort(pixels.begin(), pixels.end());
        QPainterPath path;
        for (size_t i = 0; i < pixels.size();) {
            size_t j = i + 1;
            while (j < pixels.size() && pixels[j] == pixels[j - 1] + 1) ++j;
            const int64_t row = pixels[i] >> 32;
            const int64_t px = (pixels[i] & 0xffffffff) - (int64_t{1} << 31);
            path.addRect(QRectF(px, row, static_cast<double>(j - i), 1));
            i = j;
        }
        fillWith(QColor::fromRgb(rgb));
        m_painter.drawPath(path);
    }
}

void PainterCanvas::fillDiscs(const ColouredDisc* discs, size_t count, int) {
    const QColor keep = m_colour;
    for (size_t i = 0; i < count; ++i) {
        m_colour = colourOf(discs[i].rgb);
        const ScreenBox& b = discs[i].box;
        fillEllipse(b.x0, b.y0, b.x1, b.y1, 0);
    }
    m_colour = keep;
}

void PainterCanvas::fillQuads(const ColouredQuad* quads, size_t count) {
    const QColor keep = m_colour;
    for (size_t i = 0; i < count; ++i) {
        m_colour = colourOf(quads[i].rgb);
        fillPolygon(quads[i].corner, 4);
    }
    m_colour = keep;
}

void PainterCanvas::lines(const ColouredLine* lines, size_t count) {
    const QColor keep = m_colour;
    for (size_t i = 0; i < count; ++i) {
        m_colour = colourOf(lines[i].rgb);
        line(lines[i].a.x, lines[i].a.y, lines[i].b.x, lines[i].b.y);
    }
    m_colour = keep;
}

PixelRect PainterCanvas::beginClip(double x0, double y0, double x1, double y1) {
    // The window's pixels counted from the bottom, as the frame's scissor box has them.
    const PixelRect r = ScissorFromCorners((x0 + 0.5) * m_width, (y0 + 0.5) * m_height,
                                           (x1 + 0.5) * m_width, (y1 + 0.5) * m_height);
    const QRect pixels(r.x, m_height - r.y - std::max(r.height, 0), std::max(r.width, 0),
                       std::max(r.height, 0));
    if (m_clipByHand) m_clip = QRectF(pixels);
    else m_painter.setClipRect(pixels);
    return r;
}

void PainterCanvas::endClip() {
    if (m_clipByHand) m_clip.reset();
    else m_painter.setClipping(false);
}

PixelMapping PainterCanvas::mapping() const {
    PixelMapping m;
    m.known = m.whole = m_width > 0 && m_height > 0;
    m.shiftX = 0.5 * m_width;
    m.scaleX = m_width;
    m.shiftY = 0.5 * m_height;
    m.scaleY = m_height;
    m.windowW = m_width;
    m.windowH = m_height;
    return m;
}
