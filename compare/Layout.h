// Nested-circle layout.
#pragma once

#include <cstdint>

#include "TreeNode.h"

// 5050 points in blocks for 1..100 children; block n starts at point n(n-1)/2.
constexpr int kPlacementPoints = 5050;
extern const float kPlacementTable[kPlacementPoints][2];

// The runtime's classic linear congruential generator; positions of wide sibling lists
// depend on its exact sequence.
struct LcgRandom {
    uint32_t state = 1;
    void seed(uint32_t s) { state = s; }
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 32767u);
    }
};

// Places the children of `node` inside its square, then each child's children, and so on.
void layoutCircles(TreeNode* node);
