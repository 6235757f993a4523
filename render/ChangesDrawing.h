// The changes layer drawn over the picture: rings round the changed taxa's discs in both
// tree panels, lines from panel 1's changed taxa to their partners in panel 2 across the
// legend strip, the key of the colours over the strip's top rows, and the changed taxa of
// tree 1 outlined in the overview. Writes the layer's lines and rings of this frame, for
// the mouse.
#pragma once

#include "Canvas.h"
#include "ChangesLayer.h"
#include "RenderMath.h"
#include "ViewPanel.h"

// Discs narrower than this many pixels get neither a ring nor a line.
constexpr double kChangeMinDiscPixels = 3;

void DrawChangesLayer(ChangesLayer& layer, const ViewPanel& panel1, const ViewPanel& panel2,
                      const ViewPanel& strip, const OverviewPanel& overview);
void DrawChangesLayer(Canvas& canvas, ChangesLayer& layer, const ViewPanel& panel1,
                      const ViewPanel& panel2, const ViewPanel& strip,
                      const OverviewPanel& overview);

// The key's row of a shade: the strip's row of the same number from the top, and in it the
// colour's swatch.
RowBox ChangeKeyRow(const ViewPanel& strip, ChangeShade shade);
RowBox ChangeKeySwatch(const ViewPanel& strip, ChangeShade shade);
