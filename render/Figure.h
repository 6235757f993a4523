// A still picture of the view: the frame as the window shows it now, drawn onto any
// canvas without changing the view (no overview cache, no pick boxes, no pending
// selection taken, no zoom step).
#pragma once

#include "Canvas.h"
#include "SharedOverview.h"

class CCladoramaView;

// Black background, then, once both trees are loaded, the panel acted on last, the other
// tree panel, the legend strip and the overview, as a frame draws them; with the changes
// layer on, the layer over them. With `shared`, the overview's taxa may come from a picture
// drawn before (see SharedOverview.h).
void DrawViewStill(Canvas& canvas, CCladoramaView& view, SharedOverview* shared = nullptr);
