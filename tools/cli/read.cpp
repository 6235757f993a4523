// cladorama-cli read FILE...: reads classification files as the viewer's build mode
// does, and prints what it found.
#include <cstdio>

#include "ClassificationReader.h"
#include "Commands.h"
#include "Compare.h"
#include "Console.h"

namespace {

const char kUsage[] = "usage: cladorama-cli read FILE...\n";

void readUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(
        "Reads each classification file in turn and prints the reader's progress lines,\n"
        "the number of taxa of each rank, and one summary line:\n"
        "  FILE: nodeCount N, leafCount N, maxLevel N\n"
        "Stops at the first file that cannot be read (exit status 1).\n",
        out);
}

}  // namespace

int cmdRead(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        readUsage(stdout);
        return 0;
    }
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        ClassificationTree tree;
        if (!readClassification(tree, argv[i])) {
            consolePrintf("Reading classification xml file has been failed!\n");
            return 1;
        }
        // Freshly read, every mark is 0, so the census counts every node.
        tree.treeId = 1;
        printRankCensus(tree);
        computeMaxLevel(tree);
        consolePrintf("%s: nodeCount %d, leafCount %d, maxLevel %d\n", argv[i], tree.nodeCount,
                      tree.leafCount, tree.maxLevel);
    }
    return 0;
}
