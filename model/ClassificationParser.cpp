#include "ClassificationParser.h"

#include "SplitReading.h"

namespace model {

bool Parser::readWhole(TailReading* tail) {
    Span t{};  // set by token() before any use; the compiler cannot tell
    // Preamble: every line whose first token is not <branch> is dropped whole.
    for (;;) {
        if (!token(t, "<branch> opening the root")) return false;
        if (t.is(kBranch, sizeof kBranch - 1)) break;
        if (!skipLine("a line feed ending a line before the root")) return false;
    }
    ClassificationTree& tree = *m_tree;
    if (!values(tree)) return false;
    tree.number = 0;
    tree.level = 0;
    m_nodeCount = 1;
    addRankName(tree);
    progress();

    // The loop ends when the root closes.
    m_open.push_back({&tree, 0});
    size_t tailStart = tail ? tail->firstToken() : SIZE_MAX;
    while (!m_open.empty()) {
        if (!token(t, "</branch>")) return false;
        size_t at = static_cast<size_t>(reinterpret_cast<const unsigned char*>(t.text) - m_data);
        if (at >= tailStart) {
            tree.nodeCount = m_nodeCount;
            tree.leafCount = m_leafCount;
            if (at == tailStart && takeOver(*tail)) return true;
            // The part began inside something read otherwise (a value, the rest of a value
            // line, a leaf's closing token): read on alone.
            tail->abandon();
            tailStart = SIZE_MAX;
        }
        bool branch = t.is(kBranch, sizeof kBranch - 1);
        bool leaf = !branch && t.is(kLeaf, sizeof kLeaf - 1);
        if (!branch && !leaf) {
            if (t.is(kEndBranch, sizeof kEndBranch - 1)) close();
            continue;  // any other token is ignored on its own
        }
        if (branch && m_open.size() >= static_cast<size_t>(kMaxClassificationDepth)) {
            return fail(at, "</branch> (branches nested deeper than 4096 levels)");
        }
        if (!newNode(branch)) return false;
        if (leaf && !token(t, "a token closing the leaf")) return false;
    }
    tree.nodeCount = m_nodeCount;
    tree.leafCount = m_leafCount;
    return true;
}


}  // namespace model
