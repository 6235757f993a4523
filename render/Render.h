// Drawing inside the view's panels: the tree panels as nested discs and the rank legend
// strip, onto a Canvas (Canvas.h). The functions without a canvas draw into the window
// through OpenGL (WindowCanvas()), as do the primitives and the font table.
//
// Everything here draws in window-normalised coordinates (the client area is -0.5..0.5
// on both axes, y upwards). For the window, the caller's GL context is current and the
// frame's projection set:
//     glMatrixMode(GL_PROJECTION); glLoadIdentity(); gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
// with the model-view matrix left at the identity and the viewport covering the client
// area. glutInit must have been called once before the first label is drawn.
//
// Use from the frame loop, in this order:
//     DrawPanel(*m_activePanel);
//     DrawPanel(*m_otherPanel);
//     DrawRankStrip(m_legendPanel, m_panel1, m_panel2);
//     ... then the overview.
//
// Only the current colour, the line width, the raster position and the scissor test
// with its box are changed; after each call the scissor test is off and the line width 1.
#pragma once

#include <array>
#include <cstdint>

#include "Canvas.h"
#include "TreeNode.h"
#include "ViewPanel.h"

// GLUT bitmap font handles, by index: 0 8x13, 1 Helvetica 10 (full node labels, hover
// label), 2 Helvetica 12, 3 Times Roman 10 (short node labels, legend rank names).
constexpr int kBitmapFontCount = 4;
extern void* const kBitmapFonts[kBitmapFontCount];

// Panel background (a quadrilateral in panel.color), then its content by kind: a tree
// panel (kind 0) draws panel.tree, the overview (kind 1) its boxes or lines by
// overviewStyle. The legend strip (kind 2) is drawn by DrawRankStrip and gets no
// background here.
void DrawPanel(ViewPanel& panel);
void DrawPanel(Canvas& canvas, ViewPanel& panel);

// The whole tree, clipped to the panel's rectangle by a scissor box. The pick boxes of
// the panel's previous frame are emptied first.
void DrawTreeInPanel(ClassificationTree* tree, ViewPanel& panel);
void DrawTreeInPanel(Canvas& canvas, ClassificationTree* tree, ViewPanel& panel);

// One node and its visible subtree (depth first, node before children). Children whose
// onlyInTree is neither 0 nor treeId are skipped with their subtrees. Writes the pick
// box (hitLeft..hitTop) of every flagged node whose label is drawn, on a canvas that keeps
// pick boxes.
void DrawCircleNode(TreeNode* node, ViewPanel& panel, int treeId);

// Ellipse inscribed in the box with corners (x0, y0) and (x1, y1), as `segments`
// vertices: outline (line loop) and filled (triangle fan). Current colour/line width.
void StrokeEllipse(double x0, double y0, double x1, double y1, int segments);
void FillEllipse(double x0, double y0, double x1, double y1, int segments);

// Upward filled triangle: base from (cx - s/2, baseY) to (cx + s/2, baseY), apex 1.3 s
// above the base.
void FillMarkerTriangle(double cx, double baseY, double s);

// Zero-terminated bytes from raster position (x, y) in font kBitmapFonts[fontIndex]
// (an index outside 0..3 draws nothing). Not measured, not clipped here.
void DrawBitmapText(double x, double y, const char* text, int fontIndex);

// The rank colour key (21 rows, "Kingdom" at the top of the window down to "Difference")
// and the rank paths of panel1's focus (discs, left edge) and panel2's focus
// (triangles, right edge). Reads strip.viewX/viewW/viewH/pixelW/pixelH only.
void DrawRankStrip(const ViewPanel& strip, const ViewPanel& panel1, const ViewPanel& panel2);
void DrawRankStrip(Canvas& canvas, const ViewPanel& strip, const ViewPanel& panel1,
                   const ViewPanel& panel2);

// Red, green, blue bytes of the taxonomic rank 0..19; black for any other value.
std::array<uint8_t, 3> RankColor(int rank);
