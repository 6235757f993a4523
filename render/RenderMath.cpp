#include "RenderMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A ratio truncated toward zero; 0 where it is not a finite number that an int holds.
double truncatedRatio(int pixels, double extent) {
    const double r = pixels / extent;
    if (!std::isfinite(r) || r <= 0 || r >= 2147483647.0) return 0;
    return std::trunc(r);
}

// Appends `text` to the label being composed, cutting it where the buffer ends.
struct LabelWriter {
    char* buffer;
    size_t size;
    size_t length = 0;

    void append(const char* text) {
        if (!text) return;
        const size_t room = size - 1 - length;
        const size_t n = std::min(std::strlen(text), room);
        std::memcpy(buffer + length, text, n);
        length += n;
        buffer[length] = 0;
    }
};

}  // namespace

PixelScale PanelPixelScale(const ViewPanel& panel) {
    return {truncatedRatio(panel.pixelW, panel.viewW), truncatedRatio(panel.pixelH, panel.viewH)};
}

PixelScale StripPixelScale(const ViewPanel& strip) {
    return {strip.pixelW / strip.viewW, strip.pixelH / strip.viewH};
}

ScreenBox MapNodeSquare(const TreeNode& node, const ViewPanel& panel) {
    return {(node.x - panel.worldX) * panel.viewW / panel.worldW + panel.viewX,
            (node.y - panel.worldY) * panel.viewH / panel.worldH + panel.viewY,
            (node.x + node.width - panel.worldX) * panel.viewW / panel.worldW + panel.viewX,
            (node.y + node.height - panel.worldY) * panel.viewH / panel.worldH + panel.viewY};
}

bool IsTinyNode(const TreeNode& node, const ViewPanel& panel) {
    return (node.width * node.height) / (panel.worldW * panel.worldH) < 0.00001;
}

bool IsNodeVisible(const TreeNode& node, const ViewPanel& panel) {
    const double r = std::max(node.width, node.height) / 2;
    const double d = std::sqrt(panel.worldW * panel.worldW / 4 + panel.worldH * panel.worldH / 4);
    const double dx = (node.x + node.width / 2) - (panel.worldX + panel.worldW / 2);
    const double dy = (node.y + node.height / 2) - (panel.worldY + panel.worldH / 2);
    return !(r + d < std::sqrt(dx * dx + dy * dy));
}

LabelKind ChooseLabel(double discWidth, const PixelScale& scale) {
    if (discWidth > scale.px(100)) return LabelKind::Full;
    if (discWidth > scale.px(28)) return LabelKind::Short;
    return LabelKind::None;
}

int LabelFont(LabelKind kind) {
    return kind == LabelKind::Full ? 1 : 3;
}

size_t ComposeNodeLabel(const TreeNode& node, LabelKind kind, char* buffer, size_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    LabelWriter w{buffer, size};
    if (kind == LabelKind::None) return 0;
    w.append(node.latinName);
    if (kind == LabelKind::Full) {
        char count[16];
        std::snprintf(count, sizeof count, "%d", static_cast<int>(node.descendantCount));
        w.append(", ");
        w.append(node.commonName);
        w.append(", ");
        w.append(node.rankName);
        w.append(", ");
        w.append(count);
    }
    return w.length;
}

TextOrigin PlaceNodeLabel(const ScreenBox& disc, size_t length, const PixelScale& scale) {
    const double width = scale.px(5.0 * static_cast<double>(length));
    return {(disc.x0 + disc.x1) / 2 - width / 2, disc.y0 - scale.py(8)};
}

HitBox FlagSquare(const TextOrigin& label, const PixelScale& scale) {
    HitBox b;
    b.left = label.x - scale.px(10);
    b.bottom = label.y;
    b.right = b.left + scale.px(7);
    b.top = b.bottom + scale.py(7);
    return b;
}

PixelRect ScissorFromCorners(double wx0, double wy0, double wx1, double wy1) {
    // Window pixel coordinates of any sane window fit an int; clamp the rest instead of
    // converting an out-of-range double.
    auto toInt = [](double v) {
        if (!(v > -2147483647.0)) return -2147483647;
        if (!(v < 2147483647.0)) return 2147483647;
        return static_cast<int>(v);
    };
    return {toInt(wx0), toInt(wy0), toInt(wx1 - wx0), toInt(wy1 - wy0)};
}

double LegendRowHeight(const ViewPanel& strip) {
    return strip.viewH / kLegendRows;
}

RowBox LegendRowBox(const ViewPanel& strip, int row) {
    const PixelScale s = StripPixelScale(strip);
    const double b = LegendRowHeight(strip);
    RowBox box;
    box.top = 0.5 - row * b;
    box.bottom = box.top - b;
    box.left = strip.viewX + s.px(2);
    box.right = strip.viewX + strip.viewW - s.px(2);
    return box;
}

double LegendRowCentre(const ViewPanel& strip, int row) {
    const double b = LegendRowHeight(strip);
    return 0.5 - row * b - b / 2;
}

RowBox DifferenceInnerBox(const ViewPanel& strip) {
    const PixelScale s = StripPixelScale(strip);
    const double b = LegendRowHeight(strip);
    const RowBox row = LegendRowBox(strip, Difference);
    return {row.left + s.px(10), row.right - s.px(10), row.top - 0.1 * b, row.top - 0.9 * b};
}

TextOrigin LegendNamePosition(const ViewPanel& strip, int row, size_t length) {
    const PixelScale s = StripPixelScale(strip);
    const double width = s.px(5.0 * static_cast<double>(length));
    return {-width / 2, LegendRowBox(strip, row).bottom + LegendRowHeight(strip) / 3};
}

ScreenBox LegendDiscBox(const ViewPanel& strip, int row) {
    const PixelScale s = StripPixelScale(strip);
    ScreenBox box;
    box.x0 = strip.viewX + s.px(5);
    box.x1 = box.x0 + s.px(8);
    box.y0 = LegendRowCentre(strip, row) + s.py(4);
    box.y1 = box.y0 - s.py(8);
    return box;
}

TriangleMarker LegendTriangle(const ViewPanel& strip, int row) {
    const PixelScale s = StripPixelScale(strip);
    return {strip.viewX + strip.viewW - s.px(10), LegendRowCentre(strip, row) - s.py(4)};
}
