// The view's panels: a rectangle of the window and the world window it shows.
#pragma once

#include <cstdint>
#include <vector>

#include "TreeNode.h"

// Window-normalised coordinates: the client area is -0.5..0.5 on both axes, y upwards.
// World coordinates: the layout of the nodes (the root square is 0.05, 0.05, 0.9, 0.9).
// The base part inherited from ClassificationTree is constructed empty and not used.
struct ViewPanel : ClassificationTree {
    ClassificationTree* tree = nullptr;  // not owned
    double viewX = 0, viewY = 0, viewW = 0, viewH = 0;
    double worldX = 0, worldY = 0, worldW = 1, worldH = 1;
    float color[3] = {200.0f / 255.0f, 200.0f / 255.0f, 200.0f / 255.0f};
    int32_t kind = 0;  // 0 tree panel, 1 overview, 2 legend strip
    int32_t pixelW = 0, pixelH = 0;
    TreeNode* root = nullptr;
    TreeNode* focus = nullptr;
    TreeNode* picked = nullptr;
    uint8_t overviewStyle = 1;
    // Nodes whose pick boxes the latest frame of this panel wrote (see BeginPickFrame).
    std::vector<TreeNode*> pickBoxNodes;

    // World point to window-normalised point, and back.
    double toViewX(double wx) const { return viewX + (wx - worldX) * viewW / worldW; }
    double toViewY(double wy) const { return viewY + (wy - worldY) * viewH / worldH; }
    double toWorldX(double vx) const { return (vx - viewX) * worldW / viewW + worldX; }
    double toWorldY(double vy) const { return (vy - viewY) * worldH / viewH + worldY; }
};

struct OverviewPanel : ViewPanel {
    uint8_t hovering = 0;
    TreeNode* hoverNode = nullptr;
    std::vector<uint8_t> pixelCache;  // 4 * pixelW * pixelH bytes once allocated
    ViewPanel* targetPanel = nullptr;
    ClassificationTree* pickTree = nullptr;
    uint8_t cacheDirty = 1;
    // Where the last hover test was made; the hover label is drawn there.
    double hoverX = 0, hoverY = 0;
    // Taxa outlined like search matches, beside them: those a chosen change concerns.
    std::vector<const TreeNode*> framedNodes;
};
