// The level-by-level comparison transcribed step by step, quadratic scans and recursion
// included: the yardstick the fast comparison is measured against.
#pragma once

#include "TreeNode.h"

void referenceCompareTrees(ClassificationTree& t, ClassificationTree& u);
