// Drawing of the overview: the whole of tree 1 as boxes in bands or as the links between
// them, drawn in full only after a change and otherwise copied from its pixel cache, with
// the search matches, both focus paths and the hover label drawn over it every frame.
// Same conventions as Render.h: window-normalised coordinates onto a Canvas, or into the
// window through OpenGL where no canvas is given; afterwards the line width is 1.
#pragma once

#include "Canvas.h"
#include "TreeNode.h"
#include "ViewPanel.h"

class CCladoramaDoc;
struct SharedOverview;

// Boxes style: every node's box, white for a taxon of one tree only, else in its rank
// colour; a box one pixel wide or less as its outline. Node first, then its children.
void DrawOverviewBoxes(TreeNode* node, const ViewPanel& overview);
void DrawOverviewBoxes(Canvas& canvas, TreeNode* node, const ViewPanel& overview);
// Lines style: a line from every node's box centre to each child's, white, red below a
// taxon of tree 1 only, blue below one of tree 2 only.
void DrawOverviewLines(TreeNode* node, const ViewPanel& overview);
void DrawOverviewLines(Canvas& canvas, TreeNode* node, const ViewPanel& overview);

// The overview drawn in full: its background, then the tree in its style.
void DrawOverviewInFull(Canvas& canvas, const ViewPanel& overview);

// The frame's overview: the full drawing read back into the cache when it is stale, the
// cache copied to the window, then the frames of the search matches, a pending node-list
// selection (which may fly the tree panels, drawing frames of its own), both focus paths
// and the hover label.
void DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                  CCladoramaDoc& doc);
// The same onto a canvas; one without pixels gets the overview drawn in full.
void DrawOverview(Canvas& canvas, OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                  CCladoramaDoc& doc);
// The overview as the latest frame shows it, drawn in full and changing nothing: no cache,
// and a pending node-list selection is left for the next frame. With `shared`, its taxa come
// from there when a picture before drew them alike (see SharedOverview.h).
void DrawOverviewStill(Canvas& canvas, const OverviewPanel& overview, const ViewPanel& panel1,
                       const ViewPanel& panel2, const CCladoramaDoc& doc,
                       SharedOverview* shared = nullptr);

// The rank path of one focus node over the overview: discs for tree 1 (which 0), triangles
// for tree 2 (which 1), in the style's way.
void DrawFocusPath(const TreeNode* focus, const OverviewPanel& overview, int which);
void DrawFocusPath(Canvas& canvas, const TreeNode* focus, const OverviewPanel& overview, int which);
// "latin, N" at (x, y), with the node's box outlined.
void DrawHoverLabel(const TreeNode* node, const OverviewPanel& overview, double x, double y);
void DrawHoverLabel(Canvas& canvas, const TreeNode* node, const OverviewPanel& overview, double x,
                    double y);
