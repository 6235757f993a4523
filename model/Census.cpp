#include "Census.h"

#include <cstring>

#include "Console.h"

void printRankCensus(const ClassificationTree& tree) {
    // One walk per rank name, as the census is defined; the number of distinct ranks is
    // small (twenty at most in real files).
    for (const char* rank : tree.rankNames) {
        int count = 0;
        std::vector<const TreeNode*> stack{&tree};
        while (!stack.empty()) {
            const TreeNode* n = stack.back();
            stack.pop_back();
            if (std::strcmp(n->rankName, rank) == 0) ++count;
            for (const TreeNode* c : n->children)
                if (c->onlyInTree == 0 || c->onlyInTree == tree.treeId) stack.push_back(c);
        }
        consolePrintf("%s : %i \n", rank, count);
    }
}
