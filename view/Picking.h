// Finding nodes: under a point of a tree panel (by the flag squares drawn beside the labels
// of differing taxa), under a point of the overview (by the overview boxes), and by Latin
// name. All three search depth first, a node before its children, children in order, and
// return the first match; none changes a node.
#pragma once

#include "TreeNode.h"
#include "ViewPanel.h"

// The node of node's subtree whose flag square holds the window-normalised point (mx, my)
// in `panel`. Only nodes marked with `treeId` carry a flag; a subtree whose square, mapped
// into the panel, does not hold the point is not searched. Edges count as inside.
TreeNode* PickNode(TreeNode* node, double mx, double my, int treeId, const ViewPanel& panel);

// Whether the node's layout square, mapped into the panel (not clipped to it), holds the
// point; edges count as inside.
bool NodeSquareOnScreenContains(const TreeNode* node, double mx, double my,
                                const ViewPanel& panel);

// The node whose overview box holds the point: a node's own box is tested before its
// children, and only children whose x-range holds the point and that do not lie below it
// are searched.
TreeNode* PickOverviewNode(TreeNode* node, double mx, double my);

// The first node whose Latin name equals `text` without regard to the case of ASCII
// letters, starting at `node` and descending only into children marked 0 or `key`. Prints
// "There is NAME in the data set" on the console when one is found (unless `sayFound` is
// false: a figure that flies to a taxon of its own accord says nothing).
TreeNode* FindNodeByLatinName(TreeNode* node, const char* text, int key, bool sayFound = true);

// Equality of two names when ASCII letters are folded to one case; every other byte must
// match exactly, whatever the locale says of it.
bool EqualIgnoringAsciiCase(const char* a, const char* b);

// Flag squares belong to the frame that drew them. A panel's frame begins by emptying the
// squares its previous frame wrote, so that a flag that is no longer drawn (zoomed away,
// its label too small, scrolled out) cannot be picked where it used to be.
void BeginPickFrame(ViewPanel& panel);
void SetPickBox(ViewPanel& panel, TreeNode& node, double left, double right, double bottom,
                double top);
// Gives the node the empty square that holds no point, as it has before it is first drawn.
void ClearPickBox(TreeNode& node);
