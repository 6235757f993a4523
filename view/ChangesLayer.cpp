#include "ChangesLayer.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "CladoramaDoc.h"

const char* changeShadeName(ChangeShade shade) {
    static const char* const names[kChangeShades] = {
        "renamed", "moved", "rank", "split", "lumped", "reshuffled", "one tree"};
    return names[static_cast<int>(shade)];
}

ChangeShade changeShadeOf(ChangeRowKind kind) {
    switch (kind) {
        case ChangeRowKind::Renamed: return ChangeShade::Renamed;
        case ChangeRowKind::Moved: return ChangeShade::Moved;
        case ChangeRowKind::Rank: return ChangeShade::Rank;
        case ChangeRowKind::Split: return ChangeShade::Split;
        case ChangeRowKind::Lumped: return ChangeShade::Lumped;
        case ChangeRowKind::Reshuffled: return ChangeShade::Reshuffled;
        default: return ChangeShade::OneTree;
    }
}

std::array<float, 3> changeShadeColour(ChangeShade shade) {
    // Saturated hues told apart by hue and lightness alike; the lines are cased in black,
    // so that one stands out on a disc of a like colour.
    static const std::array<float, 3> colours[kChangeShades] = {
        {1.00f, 0.00f, 0.75f},  // renamed: pink
        {0.00f, 0.35f, 1.00f},  // moved: blue
        {1.00f, 0.50f, 0.00f},  // rank: orange
        {0.85f, 0.00f, 0.00f},  // split: red
        {0.00f, 0.60f, 0.15f},  // lumped: green
        {0.45f, 0.10f, 0.60f},  // reshuffled: violet
        {0.15f, 0.15f, 0.15f},  // only in one tree: near black
    };
    return colours[static_cast<int>(shade)];
}

void ChangeGrid::clear() {
    m_start.clear();
    m_items.clear();
    m_size.clear();
    m_large.clear();
}

void ChangeGrid::build(size_t n, const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<double>& size) {
    clear();
    constexpr double kLarge = 1.0 / kCells;
    std::vector<uint32_t> cellOfItem(n);
    m_start.assign(static_cast<size_t>(kCells) * kCells + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        if (size[i] < 0) {  // never to be visited: not kept
            cellOfItem[i] = UINT32_MAX;
            continue;
        }
        if (size[i] > kLarge) {
            m_large.push_back(static_cast<uint32_t>(i));
            cellOfItem[i] = UINT32_MAX;
            continue;
        }
        cellOfItem[i] = static_cast<uint32_t>(cellOf(y[i]) * kCells + cellOf(x[i]));
        ++m_start[cellOfItem[i] + 1];
    }
    for (size_t c = 1; c < m_start.size(); ++c) m_start[c] += m_start[c - 1];
    m_items.resize(m_start.back());
    std::vector<uint32_t> fill(m_start.begin(), m_start.end() - 1);
    for (size_t i = 0; i < n; ++i)
        if (cellOfItem[i] != UINT32_MAX) m_items[fill[cellOfItem[i]]++] = static_cast<uint32_t>(i);
    for (size_t c = 0; c + 1 < m_start.size(); ++c)
        std::sort(m_items.begin() + m_start[c], m_items.begin() + m_start[c + 1],
                  [&](uint32_t a, uint32_t b) { return size[a] > size[b]; });
    m_size.resize(m_items.size());
    for (size_t k = 0; k < m_items.size(); ++k) m_size[k] = static_cast<float>(size[m_items[k]]);
}

void ChangesLayer::Clear() {
    m_linkGrid.clear();
    m_markGrid[0].clear();
    m_markGrid[1].clear();
    m_overviewOrder.clear();
    m_links.clear();
    m_marks.clear();
    m_counts.fill(0);
    drawnLinks.clear();
    drawnMarks.clear();
    highlightedRow = -1;
    m_made = false;
}

bool ChangesLayer::Sync(const CCladoramaDoc& doc) {
    const ChangeList& list = doc.m_changes;
    // Until the changes are found (on the worker, which owns the relations meanwhile) the
    // layer has nothing; once they are, they are made into links at the next frame.
    if (!doc.ChangesReady()) {
        if (!m_made) return false;
        Clear();
        return true;
    }
    if (m_made && list.generation() == m_generation) return false;
    Clear();
    m_made = true;
    m_generation = list.generation();
    const std::vector<TaxonRelation>& relations = doc.m_relations.relations();
    const std::vector<ChangeRow>& rows = list.rows();
    std::unordered_set<const TreeNode*> marked;
    marked.reserve(2 * rows.size());
    m_marks.reserve(2 * rows.size());
    m_links.reserve(rows.size());
    for (uint32_t i = 0; i < rows.size(); ++i) {
        const ChangeRow& row = rows[i];
        const ChangeShade shade = changeShadeOf(row.kind);
        ++m_counts[static_cast<int>(shade)];
        for (const TreeNode* n : {row.node1, row.node2}) {
            if (!n || !marked.insert(n).second) continue;
            m_marks.push_back({n, static_cast<uint8_t>(n == row.node1 ? 1 : 2), i, shade,
                               n->x + n->width / 2, n->y + n->height / 2, n->width / 2});
        }
        if (!row.node1 || !row.node2) continue;
        ChangeLink link;
        link.node1 = row.node1;
        link.node2 = row.node2;
        link.row = i;
        link.shade = shade;
        // A relation's row holds its place among the relations.
        if (row.ofRelation && row.detail < relations.size() &&
            (shade == ChangeShade::Split || shade == ChangeShade::Lumped ||
             shade == ChangeShade::Reshuffled))
            link.shared = relations[row.detail].shared;
        // The layout stays as the load left it: the ends are taken once, here.
        link.x1 = row.node1->x + row.node1->width / 2;
        link.y1 = row.node1->y + row.node1->height / 2;
        link.r1 = row.node1->width / 2;
        link.x2 = row.node2->x + row.node2->width / 2;
        link.y2 = row.node2->y + row.node2->height / 2;
        link.r2 = row.node2->width / 2;
        m_links.push_back(link);
    }

    // The places frames look them up by.
    std::vector<double> xs, ys, sizes;
    for (const ChangeLink& l : m_links) {
        xs.push_back(l.x1);
        ys.push_back(l.y1);
        sizes.push_back(2 * l.r1);
    }
    m_linkGrid.build(m_links.size(), xs, ys, sizes);
    for (int side = 1; side <= 2; ++side) {
        xs.clear();
        ys.clear();
        sizes.clear();
        for (uint32_t i = 0; i < m_marks.size(); ++i) {
            const ChangeMark& m = m_marks[i];
            // Marks of the other side are given no size: left out.
            xs.push_back(m.x);
            ys.push_back(m.y);
            sizes.push_back(m.side == side ? 2 * m.r : -1.0);
        }
        m_markGrid[side - 1].build(m_marks.size(), xs, ys, sizes);
    }
    // Widest first, and in the list's order where widths are equal. The widths are read
    // from the nodes once: a sort that read them at each comparison would wait on memory.
    std::vector<std::pair<double, uint32_t>> byWidth;
    for (uint32_t i = 0; i < m_marks.size(); ++i)
        if (m_marks[i].side == 1) byWidth.emplace_back(-m_marks[i].node->overviewWidth, i);
    std::sort(byWidth.begin(), byWidth.end());
    m_overviewOrder.reserve(byWidth.size());
    for (const auto& [width, i] : byWidth) m_overviewOrder.push_back(i);
    return true;
}

int64_t ChangesLayer::LinkAt(double x, double y, double px, double py) const {
    int64_t best = -1;
    double bestD = 1;
    for (const DrawnLink& d : drawnLinks) {
        // Distance in units of the tolerance, so that it is the same number of pixels along
        // both axes whatever the window's shape.
        const double ax = (d.ax - x) / px, ay = (d.ay - y) / py;
        const double bx = (d.bx - x) / px, by = (d.by - y) / py;
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? -(ax * dx + ay * dy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double cx = ax + t * dx, cy = ay + t * dy;
        const double dist = std::sqrt(cx * cx + cy * cy);
        if (dist <= bestD) {
            bestD = dist;
            best = d.link;
        }
    }
    return best;
}

int64_t ChangesLayer::MarkAt(double x, double y, double px, double py) const {
    int64_t best = -1;
    double bestD = 1;
    for (const DrawnMark& m : drawnMarks) {
        const double cx = (m.x0 + m.x1) / 2, cy = (m.y0 + m.y1) / 2;
        const double rx = std::fabs(m.x1 - m.x0) / 2, ry = std::fabs(m.y1 - m.y0) / 2;
        if (rx <= 0 || ry <= 0) continue;
        // How far off the ring, in tolerances, measured along the ray from the centre.
        const double u = (x - cx) / rx, v = (y - cy) / ry;
        const double r = std::sqrt(u * u + v * v);
        if (r == 0) continue;
        const double offX = (x - (cx + u / r * rx)) / px, offY = (y - (cy + v / r * ry)) / py;
        const double dist = std::sqrt(offX * offX + offY * offY);
        if (dist <= bestD) {
            bestD = dist;
            best = m.mark;
        }
    }
    return best;
}

std::string ChangesLayer::Describe(const ChangeList& list, uint32_t row) {
    const std::vector<ChangeRow>& rows = list.rows();
    if (row >= rows.size()) return {};
    const ChangeRow& r = rows[row];
    std::string text = changeRowKindName(r.kind);
    text += ": ";
    if (r.node1) text += r.node1->latinName;
    if (r.node1 && r.node2) text += " to ";
    if (r.node2) text += r.node2->latinName;
    const std::string detail = list.detailOf(r);
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}
