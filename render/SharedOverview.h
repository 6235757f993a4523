// The overview as a series of still pictures of one view share it: drawn in full for the
// first, then replayed while the overview and the target's mapping stay as they were. The
// overview draws every taxon and is the same in each picture of a series (the report's),
// where the window has its pixel cache for this.
#pragma once

#include "Canvas.h"
#include "RecordingCanvas.h"

struct ClassificationTree;
struct ViewPanel;

struct SharedOverview {
    CanvasRecording drawn;
    const ClassificationTree* tree = nullptr;
    int style = -1, pixelW = 0, pixelH = 0;
    double place[8] = {};
    float colour[3] = {};
    PixelMapping mapping;
};

// The overview's background and taxa, as DrawOverviewInFull draws them, from `shared` when it
// holds this overview drawn on a target of the same mapping, else drawn and kept there.
void DrawOverviewInFull(Canvas& canvas, const ViewPanel& overview, SharedOverview& shared);
