// cladorama-cli diff: the taxa that only one of the two classifications holds.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "CladoramaDoc.h"
#include "Commands.h"
#include "Console.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli diff\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory (console lines on standard\n"
    "  error) and prints, after a header line, one tab-separated line per taxon of tree\n"
    "  1's combined tree that is marked 1 (only in classification A) or 2 (only in B),\n"
    "  depth first: mark, rank, Latin name, common name, and the path of Latin names from\n"
    "  the root down to the taxon joined by \" > \". Exit status 0, 1 when a file could\n"
    "  not be read, 2 on bad arguments.\n";

// Flushes to standard output in large blocks: it is unbuffered, and a diff of two big
// classifications runs to hundreds of thousands of lines.
class Output {
public:
    ~Output() { flush(); }
    std::string& text() { return m_text; }
    void maybeFlush() {
        if (m_text.size() >= (1u << 20)) flush();
    }
    void flush() {
        std::fwrite(m_text.data(), 1, m_text.size(), stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};

}  // namespace

int cmdDiff(int argc, char** argv) {
    if (int status = takesNoArguments(argc, argv, kUsage); status >= 0) return status;
    CCladoramaDoc doc;
    setConsoleStream(stderr);
    if (!doc.LoadHierarchiesIn<LoadMode::Binary>()) return 1;

    Output out;
    out.text() = "mark\trank\tlatin name\tcommon name\tpath\n";
    // Depth first, a node before its children; `path` holds the Latin names from the
    // root down to the node being visited.
    std::vector<std::pair<const TreeNode*, size_t>> stack{{&doc.m_tree1, 0}};
    std::vector<const TreeNode*> path;
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        path.resize(depth);
        path.push_back(node);
        if (node->onlyInTree == 1 || node->onlyInTree == 2) {
            std::string& t = out.text();
            t += static_cast<char>('0' + node->onlyInTree);
            t += '\t';
            t += node->rankName;
            t += '\t';
            t += node->latinName;
            t += '\t';
            t += node->commonName;
            t += '\t';
            for (size_t i = 0; i < path.size(); ++i) {
                if (i) t += " > ";
                t += path[i]->latinName;
            }
            t += '\n';
            out.maybeFlush();
        }
        for (size_t i = node->children.size(); i-- > 0;)
            stack.emplace_back(node->children[i], depth + 1);
    }
    return 0;
}
