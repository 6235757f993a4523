#include "SharedOverview.h"

#include <algorithm>

#include "Overview.h"
#include "ViewPanel.h"

namespace {

bool sameMapping(const PixelMapping& a, const PixelMapping& b) {
    return a.known == b.known && a.whole == b.whole && a.shiftX == b.shiftX &&
           a.scaleX == b.scaleX && a.shiftY == b.shiftY && a.scaleY == b.scaleY &&
           a.windowW == b.windowW && a.windowH == b.windowH;
}

// Everything of the panel that the overview's primitives depend on, besides the taxa
// (which a series of pictures does not change).
SharedOverview keyOf(const ViewPanel& overview, const PixelMapping& mapping) {
    SharedOverview key;
    key.tree = overview.tree;
    key.style = overview.overviewStyle;
    key.pixelW = overview.pixelW;
    key.pixelH = overview.pixelH;
    const double place[8] = {overview.viewX,  overview.viewY,  overview.viewW,  overview.viewH,
                             overview.worldX, overview.worldY, overview.worldW, overview.worldH};
    std::copy(place, place + 8, key.place);
    std::copy(overview.color, overview.color + 3, key.colour);
    key.mapping = mapping;
    return key;
}

bool sameKey(const SharedOverview& a, const SharedOverview& b) {
    return a.tree == b.tree && a.style == b.style && a.pixelW == b.pixelW &&
           a.pixelH == b.pixelH && std::equal(a.place, a.place + 8, b.place) &&
           std::equal(a.colour, a.colour + 3, b.colour) && sameMapping(a.mapping, b.mapping);
}

}  // namespace

void DrawOverviewInFull(Canvas& canvas, const ViewPanel& overview, SharedOverview& shared) {
    SharedOverview key = keyOf(overview, canvas.mapping());
    if (!shared.drawn.empty() && sameKey(shared, key)) {
        shared.drawn.replay(canvas);
        return;
    }
    RecordingCanvas recording(canvas, key.drawn);
    DrawOverviewInFull(recording, overview);
    shared = std::move(key);
}
