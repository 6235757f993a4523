#include "ChangesDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct Rect {
    double x0, y0, x1, y1;
    bool holds(double x, double y) const { return x0 <= x && x <= x1 && y0 <= y && y <= y1; }
};

Rect rectOf(const ViewPanel& p) { return {p.viewX, p.viewY, p.viewX + p.viewW, p.viewY + p.viewH}; }

// Lines whose ends fall in the same cells of this many pixels, of one shade, are drawn as
// one, wider.
constexpr double kBundleCell = 4;
// From this many lines in a frame on, lines are translucent: where they cross, the
// crowding shows as depth of colour.
constexpr size_t kCrowd = 60;

struct Bundle {
    CanvasPoint a, b;
    uint32_t link;  // the first line of the bundle
    uint32_t lines = 0;
    uint32_t shared = 0;  // the widest relation's species
    bool arrow = false;
};

float lineWidth(const Bundle& b, bool crowded) {
    // A relation is as wide as the species it shares make it, a bundle as its lines; where
    // they crowd, a pixel each, translucent, so that they do not cover the picture and their
    // number shows as depth of colour.
    if (crowded) return 1.0f;
    float w = 1.5f;
    if (b.shared > 1) w += static_cast<float>(std::log2(static_cast<double>(b.shared)));
    if (b.lines > 1) w += static_cast<float>(std::log2(static_cast<double>(b.lines)));
    return std::min(w, 8.0f);
}

// Chords of about three pixels: a ring a few pixels wide is as round with a dozen as with
// fifty, and a software renderer pays for each.
int ringSegments(double pixelsAcross) {
    // Bounded before it becomes an integer: a ring around a deep zoom is millions of pixels.
    const double chords = std::ceil(pixelsAcross * 3.14159265 / 3);
    return chords > 12 ? (chords < 50 ? static_cast<int>(chords) : 50) : 12;
}

void arrowhead(Canvas& c, const CanvasPoint& from, const CanvasPoint& tip, const PixelScale& s) {
    // In pixels, so that the head keeps its shape in any window.
    const double dx = (tip.x - from.x) * s.ppuX, dy = (tip.y - from.y) * s.ppuY;
    const double len = std::hypot(dx, dy);
    if (len < 1) return;
    const double ux = dx / len, uy = dy / len;
    constexpr double kLength = 9, kHalf = 4;
    const CanvasPoint corners[3] = {
        tip,
        {tip.x + s.px(-ux * kLength - uy * kHalf), tip.y + s.py(-uy * kLength + ux * kHalf)},
        {tip.x + s.px(-ux * kLength + uy * kHalf), tip.y + s.py(-uy * kLength - ux * kHalf)}};
    c.fillPolygon(corners, 3);
}

}  // namespace

RowBox ChangeKeyRow(const ViewPanel& strip, ChangeShade shade) {
    return LegendRowBox(strip, static_cast<int>(shade));
}

RowBox ChangeKeySwatch(const ViewPanel& strip, ChangeShade shade) {
    const RowBox row = ChangeKeyRow(strip, shade);
    const PixelScale s = StripPixelScale(strip);
    const double h = row.top - row.bottom;
    return {row.left + s.px(3), row.left + s.px(13), row.top - 0.2 * h, row.bottom + 0.2 * h};
}

void DrawChangesLayer(Canvas& c, ChangesLayer& layer, const ViewPanel& p1, const ViewPanel& p2,
                      const ViewPanel& strip, const OverviewPanel& overview) {
    layer.drawnLinks.clear();
    layer.drawnMarks.clear();
    const Rect r1 = rectOf(p1), r2 = rectOf(p2);
    const PixelScale s1 = PanelPixelScale(p1), s2 = PanelPixelScale(p2);
    if (!(s1.ppuX > 0 && s1.ppuY > 0 && s2.ppuX > 0 && s2.ppuY > 0)) return;

    // Rings, panel by panel, colour by colour.
    const std::vector<ChangeMark>& marks = layer.marks();
    for (int side = 1; side <= 2; ++side) {
        const ViewPanel& p = side == 1 ? p1 : p2;
        const Rect r = side == 1 ? r1 : r2;
        const PixelScale& s = side == 1 ? s1 : s2;
        std::vector<uint32_t> shown[kChangeShades];
        const double least = kChangeMinDiscPixels / (p.viewW / p.worldW * s.ppuX);
        const double half = 0.5 / ChangeGrid::kCells;
        layer.markGrid(side).visit(p.worldX - half, p.worldY - half, p.worldX + p.worldW + half,
                                   p.worldY + p.worldH + half, least, [&](uint32_t i) {
            const ChangeMark& m = marks[i];
            if (m.side != side) return;
            const double x0 = p.toViewX(m.x - m.r), x1 = p.toViewX(m.x + m.r);
            const double y0 = p.toViewY(m.y - m.r), y1 = p.toViewY(m.y + m.r);
            if ((x1 - x0) * s.ppuX < kChangeMinDiscPixels) return;
            if (x1 < r.x0 || x0 > r.x1 || y1 < r.y0 || y0 > r.y1) return;
            shown[static_cast<int>(m.shade)].push_back(i);
        });
        c.beginClip(r.x0, r.y0, r.x1, r.y1);
        c.setLineWidth(2.5f);
        for (int k = 0; k < kChangeShades; ++k) {
            if (shown[k].empty()) continue;
            const auto rgb = changeShadeColour(static_cast<ChangeShade>(k));
            c.setColour(rgb[0], rgb[1], rgb[2]);
            for (uint32_t i : shown[k]) {
                const ChangeMark& m = marks[i];
                const double x0 = p.toViewX(m.x - m.r), x1 = p.toViewX(m.x + m.r);
                const double y0 = p.toViewY(m.y - m.r), y1 = p.toViewY(m.y + m.r);
                c.strokeEllipse(x0, y0, x1, y1, ringSegments((x1 - x0) * s.ppuX));
                layer.drawnMarks.push_back({x0, y0, x1, y1, i});
            }
        }
        c.setLineWidth(1.0f);
        c.endClip();
    }

    // Lines from the discs panel 1 shows at a few pixels or more, bundled by screen place.
    const std::vector<ChangeLink>& links = layer.links();
    std::vector<Bundle> bundles;
    std::unordered_map<uint64_t, uint32_t> byPlace;
    Bundle highlighted{};
    bool hasHighlight = false;
    auto cell = [](double v, double ppu) {
        return static_cast<uint64_t>(static_cast<int64_t>(std::floor(v * ppu / kBundleCell)) & 0x7FFF);
    };
    const double least1 = kChangeMinDiscPixels / (p1.viewW / p1.worldW * s1.ppuX);
    std::vector<uint32_t> seen;
    layer.linkGrid().visit(p1.worldX, p1.worldY, p1.worldX + p1.worldW, p1.worldY + p1.worldH,
                           least1, [&](uint32_t i) { seen.push_back(i); });
    // In the order of the list, whatever the order of the cells.
    std::sort(seen.begin(), seen.end());
    for (uint32_t i : seen) {
        const ChangeLink& l = links[i];
        const double ax = p1.toViewX(l.x1), ay = p1.toViewY(l.y1);
        if (!r1.holds(ax, ay)) continue;
        if (2 * l.r1 * p1.viewW / p1.worldW * s1.ppuX < kChangeMinDiscPixels) continue;
        double bx = p2.toViewX(l.x2), by = p2.toViewY(l.y2);
        bool arrow = false;
        if (!r2.holds(bx, by)) {
            // Outside its panel's view: the line stops at the panel's edge, nearest the
            // partner, with an arrowhead.
            bx = std::clamp(bx, r2.x0, r2.x1);
            by = std::clamp(by, r2.y0, r2.y1);
            arrow = true;
        }
        Bundle b{{ax, ay}, {bx, by}, i, 1, l.shared, arrow};
        if (static_cast<int64_t>(l.row) == layer.highlightedRow) {
            highlighted = b;
            hasHighlight = true;
        }
        const uint64_t key = cell(ax, s1.ppuX) | cell(ay, s1.ppuY) << 15 | cell(bx, s2.ppuX) << 30 |
                             cell(by, s2.ppuY) << 45 | static_cast<uint64_t>(l.shade) << 60;
        auto [it, added] = byPlace.emplace(key, static_cast<uint32_t>(bundles.size()));
        if (added) {
            bundles.push_back(b);
        } else {
            Bundle& into = bundles[it->second];
            ++into.lines;
            into.shared = std::max(into.shared, l.shared);
            into.arrow = into.arrow || arrow;
        }
        layer.drawnLinks.push_back({ax, ay, bx, by, i});
    }
    const bool crowded = bundles.size() >= kCrowd;
    const float alpha = crowded ? 0.55f : 1.0f;
    c.beginClip(r1.x0, r1.y0, r2.x1, r1.y1);
    auto draw = [&](const Bundle& b, float a, float extra) {
        const ChangeLink& l = links[b.link];
        const auto rgb = changeShadeColour(l.shade);
        const CanvasPoint ends[2] = {b.a, b.b};
        const char* kind = changeShadeName(l.shade);
        const std::string title = std::string(kind) + ": " + l.node1->latinName + " to " +
                                  l.node2->latinName;
        c.taggedLine(ends, 2, rgb.data(), a, lineWidth(b, crowded && extra == 0) + extra, kind,
                     title.c_str());
    };
    // A dark casing first, a pixel wider on each side: a line stays visible on a disc of its
    // own colour. Crowded lines show by their number and go without.
    if (!crowded) {
        c.setColour(0.0f, 0.0f, 0.0f);
        for (const Bundle& b : bundles) {
            c.setLineWidth(lineWidth(b, false) + 2);
            c.line(b.a.x, b.a.y, b.b.x, b.b.y);
        }
        c.setLineWidth(1.0f);
    }
    if (c.hasPixels()) {
        // The window's frame: the lines in a batch per width (a few widths in all), each
        // batch in the list's order. Figures below keep a path per line with its kind.
        std::map<float, std::vector<ColouredLine>> byWidth;
        for (const Bundle& b : bundles) {
            const auto rgb = changeShadeColour(links[b.link].shade);
            ColouredLine line{b.a, b.b, {rgb[0], rgb[1], rgb[2]}};
            byWidth[lineWidth(b, crowded)].push_back(line);
        }
        for (const auto& [width, batch] : byWidth) {
            c.setLineWidth(width);
            c.blendedLines(batch.data(), batch.size(), alpha);
        }
        c.setLineWidth(1.0f);
    } else {
        for (const Bundle& b : bundles) draw(b, alpha, 0);
    }
    if (hasHighlight) {
        // The chosen change above the rest: a white casing, then its line.
        const CanvasPoint ends[2] = {highlighted.a, highlighted.b};
        const float white[3] = {1, 1, 1};
        c.taggedLine(ends, 2, white, 1.0f, lineWidth(highlighted, false) + 5, "highlight", "");
        draw(highlighted, 1.0f, 2);
    }
    c.setLineWidth(1.0f);
    c.endClip();

    // The key, over the strip's top rows.
    const PixelScale ss = StripPixelScale(strip);
    for (int k = 0; k < kChangeShades; ++k) {
        const ChangeShade shade = static_cast<ChangeShade>(k);
        const RowBox row = ChangeKeyRow(strip, shade);
        c.setColour(0.97f, 0.97f, 0.97f);
        const CanvasPoint back[4] = {{row.left, row.bottom}, {row.right, row.bottom},
                                     {row.right, row.top}, {row.left, row.top}};
        c.fillPolygon(back, 4);
        const RowBox sw = ChangeKeySwatch(strip, shade);
        const auto rgb = changeShadeColour(shade);
        c.setColour(rgb[0], rgb[1], rgb[2]);
        const CanvasPoint swatch[4] = {{sw.left, sw.bottom}, {sw.right, sw.bottom},
                                       {sw.right, sw.top}, {sw.left, sw.top}};
        c.fillPolygon(swatch, 4);
        char text[64];
        std::snprintf(text, sizeof text, "%s %d", changeShadeName(shade), layer.counts()[k]);
        c.setColour(0.0f, 0.0f, 0.0f);
        c.text(sw.right + ss.px(3), row.bottom + (row.top - row.bottom) / 3, text, 3);
    }

    // The arrowheads of lines whose partner is out of view, over the key: where a line ends
    // at the panel's edge beside the strip's top, its head still shows.
    c.beginClip(r1.x0, r1.y0, r2.x1, r1.y1);
    for (const Bundle& b : bundles) {
        if (!b.arrow) continue;
        const auto rgb = changeShadeColour(links[b.link].shade);
        c.setColour(rgb[0], rgb[1], rgb[2]);
        arrowhead(c, b.a, b.b, s2);
    }
    c.endClip();

    // Tree 1's changed taxa in the overview, outlined in their colours where their boxes
    // show.
    const PixelScale so = PanelPixelScale(overview);
    if (so.ppuX > 0 && so.ppuY > 0) {
        c.setLineWidth(2.0f);
        for (uint32_t i : layer.overviewOrder()) {
            const ChangeMark& m = marks[i];
            const TreeNode& n = *m.node;
            if (n.overviewWidth * so.ppuX < 2) break;  // the rest are narrower still
            if (n.overviewHeight * so.ppuY < 2) continue;
            const auto rgb = changeShadeColour(m.shade);
            c.setColour(rgb[0], rgb[1], rgb[2]);
            const CanvasPoint corners[4] = {{n.overviewX, n.overviewY},
                                            {n.overviewX + n.overviewWidth, n.overviewY},
                                            {n.overviewX + n.overviewWidth, n.overviewY - n.overviewHeight},
                                            {n.overviewX, n.overviewY - n.overviewHeight}};
            c.strokeLoop(corners, 4);
        }
        c.setLineWidth(1.0f);
    }
}

void DrawChangesLayer(ChangesLayer& layer, const ViewPanel& panel1, const ViewPanel& panel2,
                      const ViewPanel& strip, const OverviewPanel& overview) {
    DrawChangesLayer(WindowCanvas(), layer, panel1, panel2, strip, overview);
}
