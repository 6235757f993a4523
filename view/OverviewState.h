// The overview's state and arithmetic: its layout of boxes in bands, the hover test, the
// hover label's text, and the hand-over of a node-list selection to the tree panels. The
// drawing itself is the renderer's.
#pragma once

#include <cstddef>

#include "TreeNode.h"
#include "ViewPanel.h"

class CCladoramaDoc;

// Lays out the overview boxes of every node of `tree`: the root spans the middle 90 % of
// the window's width and of the overview's height, every level is a band of equal height,
// and the children of a node share its width in proportion to their subtrees, one pixel
// (1 / pixelW) apart unless the gaps would not fit.
void LayoutOverview(ClassificationTree* tree, OverviewPanel& overview);

// Hover test at the window-normalised point (x, y): the node of the pick tree whose box
// holds it becomes the hovered node; no node there ends the hovering. Draws nothing.
void UpdateOverviewHover(OverviewPanel& overview, double x, double y);

// Size of the buffer in which the hover label is composed.
constexpr size_t kHoverLabelSize = 64;
// "latin, N" with N the number of children (grafted copies included). A name too long
// for `size` bytes is cut so that the count still fits. Returns the length written.
size_t ComposeHoverLabel(const TreeNode& node, char* buffer, size_t size);

// A pending selection in the node list (the document's m_bNodeSelected raised): the
// selected search result becomes the focus of the tree panel its mark names (the panel
// the overview targets for a taxon of both trees), Zoom Link is switched off, the flag
// is lowered and both panels fly to their focus nodes. A selection with no search result
// behind it (none, or past the end after the results were cleared) moves no focus but
// still lowers the flag and flies.
void ConsumeNodeListSelection(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                              CCladoramaDoc& doc);
