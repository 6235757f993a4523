// Rank census: how many taxa of each rank a tree holds. It lives beside the records
// because the binary reader prints it after every load.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "TreeNode.h"

// For each entry of `rankNames`, in order, prints "%s : %i \n" with the number of nodes of
// that rank. Subtrees marked with the other tree's id (grafted copies) are not counted.
void printRankCensus(const ClassificationTree& tree);

// The same counts: for each entry of `rankNames`, in order, the rank and its number of nodes.
std::vector<std::pair<std::string, int>> rankCensus(const ClassificationTree& tree);
