// The changes drawn into the picture: a line from each changed taxon of panel 1 to its
// partner in panel 2, and a ring in the change's colour round the disc of every changed
// taxon. The layer reads the document's list of changes only, which may come after the
// first frame or not at all: until it holds rows, the layer has nothing to draw.
//
// What follows a load (the links, their ends in layout coordinates) is made once per
// generation of the list; what follows a frame (the segments drawn, for the mouse) is
// written by the drawing and lives here beside it, never in the nodes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ChangeList.h"
#include "TreeNode.h"

class CCladoramaDoc;

// The seven colours of the layer; the list's kinds of taxa one tree alone holds share one.
enum class ChangeShade : uint8_t { Renamed, Moved, Rank, Split, Lumped, Reshuffled, OneTree };
constexpr int kChangeShades = 7;
// "renamed", "moved", "rank", "split", "lumped", "reshuffled", "one tree": the key's words.
const char* changeShadeName(ChangeShade shade);
ChangeShade changeShadeOf(ChangeRowKind kind);
// Red, green, blue 0..1.
std::array<float, 3> changeShadeColour(ChangeShade shade);

// A pair of partners: ends as layout squares' centres and half sides.
struct ChangeLink {
    const TreeNode* node1 = nullptr;  // tree 1's own taxon, shown in panel 1
    const TreeNode* node2 = nullptr;  // its partner, shown in panel 2
    uint32_t row = 0;                 // index into ChangeList::rows()
    ChangeShade shade = ChangeShade::Renamed;
    uint32_t shared = 0;  // species the two share, for a split, lump or reshuffle; else 0
    double x1 = 0, y1 = 0, r1 = 0, x2 = 0, y2 = 0, r2 = 0;
};

// A changed taxon of one panel, ringed in its change's colour.
struct ChangeMark {
    const TreeNode* node = nullptr;
    uint8_t side = 1;  // the panel: 1 or 2
    uint32_t row = 0;
    ChangeShade shade = ChangeShade::Renamed;
    double x = 0, y = 0, r = 0;  // the layout square's centre and half side
};

// Items placed in the layout's unit square (links by their end in panel 1, marks by their
// centre), found by the window a panel shows and the least size it draws: a frame visits
// the cells under its window, largest items first, and stops in each cell at the first
// item too small to show. Items larger than a cell, few in any tree, are kept apart and
// always visited.
class ChangeGrid {
public:
    static constexpr int kCells = 128;
    // Items by index 0..n-1, with their centres and sizes (diameters); one of negative size
    // is left out.
    void build(size_t n, const std::vector<double>& x, const std::vector<double>& y,
               const std::vector<double>& size);
    void clear();
    // Calls f(index) for each item of size at least `least` whose centre lies in a cell
    // under the window x0..x1, y0..y1 (the caller widens it by half a cell for items drawn
    // beyond their centre), and for every large item. The caller tests what it is given.
    template <class F>
    void visit(double x0, double y0, double x1, double y1, double least, F&& f) const;

private:
    static int cellOf(double v) {
        const int c = static_cast<int>(v * kCells);
        return c < 0 ? 0 : c >= kCells ? kCells - 1 : c;
    }
    std::vector<uint32_t> m_start;  // kCells * kCells + 1 offsets into m_items
    std::vector<uint32_t> m_items;  // by cell, largest first
    std::vector<float> m_size;      // beside m_items
    std::vector<uint32_t> m_large;
};

// A line as the latest frame drew it, in window-normalised coordinates.
struct DrawnLink {
    double ax = 0, ay = 0, bx = 0, by = 0;
    uint32_t link = 0;  // index into links()
};

class ChangesLayer {
public:
    bool on = false;
    // The row whose line is drawn highlighted (index into ChangeList::rows()); -1 none.
    int64_t highlightedRow = -1;

    // Makes the links and marks anew when the document's list is of another generation
    // than the one they were made from; none while the changes are not ready. True when
    // they were made anew.
    bool Sync(const CCladoramaDoc& doc);
    // Nothing to draw (the trees the links point into are about to go).
    void Clear();

    const std::vector<ChangeLink>& links() const { return m_links; }
    const std::vector<ChangeMark>& marks() const { return m_marks; }
    // Per shade, the rows of the list.
    const std::array<int, kChangeShades>& counts() const { return m_counts; }
    // The links by their end in panel 1; the marks of each panel (side 1, side 2).
    const ChangeGrid& linkGrid() const { return m_linkGrid; }
    const ChangeGrid& markGrid(int side) const { return m_markGrid[side == 1 ? 0 : 1]; }
    // Tree 1's marks by the width of their boxes in the overview, widest first.
    const std::vector<uint32_t>& overviewOrder() const { return m_overviewOrder; }

    // Written by each frame that draws the layer: its lines, and the marks it ringed.
    std::vector<DrawnLink> drawnLinks;
    struct DrawnMark {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the ring's box
        uint32_t mark = 0;
    };
    std::vector<DrawnMark> drawnMarks;

    // The link of the latest frame within `px` by `py` (window-normalised lengths of a few
    // pixels) of (x, y), the nearest; -1 none.
    int64_t LinkAt(double x, double y, double px, double py) const;
    // The ringed disc of the latest frame whose ring passes within those lengths of (x, y);
    // -1 none.
    int64_t MarkAt(double x, double y, double px, double py) const;
    // The change a row tells, as ISO-8859-1: "renamed: Herpestes to Urva (= 1 shared; ...)".
    static std::string Describe(const ChangeList& list, uint32_t row);

private:
    uint64_t m_generation = 0;
    bool m_made = false;
    std::vector<ChangeLink> m_links;
    std::vector<ChangeMark> m_marks;
    std::array<int, kChangeShades> m_counts{};
    ChangeGrid m_linkGrid, m_markGrid[2];
    std::vector<uint32_t> m_overviewOrder;
};

template <class F>
void ChangeGrid::visit(double x0, double y0, double x1, double y1, double least, F&& f) const {
    for (uint32_t i : m_large) f(i);
    if (m_start.empty() || !(x0 <= x1 && y0 <= y1)) return;
    if (x1 < 0 || y1 < 0 || x0 > 1 || y0 > 1) return;
    const int cx0 = cellOf(x0), cx1 = cellOf(x1), cy0 = cellOf(y0), cy1 = cellOf(y1);
    const float floor = static_cast<float>(least);
    for (int cy = cy0; cy <= cy1; ++cy) {
        for (int cx = cx0; cx <= cx1; ++cx) {
            const size_t cell = static_cast<size_t>(cy) * kCells + cx;
            for (uint32_t k = m_start[cell]; k < m_start[cell + 1] && m_size[k] >= floor; ++k)
                f(m_items[k]);
        }
    }
}
