#include "SplitReading.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace model {

bool Parser::readTail() {
    m_holder.level = -1;  // top-level nodes of the part count as level 0
    m_open.push_back({&m_holder, 0});
    Span t{};  // set by token() before any use; the compiler cannot tell
    while (m_pos < m_size) {
        if (m_stop->load(std::memory_order_relaxed)) return false;
        // Only whitespace left: the part ends here, complete if nothing of it is open.
        if (!token(t, "a token")) return m_pos == m_size && m_open.size() == 1;
        bool branch = t.is(kBranch, sizeof kBranch - 1);
        bool leaf = !branch && t.is(kLeaf, sizeof kLeaf - 1);
        if (!branch && !leaf) {
            if (t.is(kEndBranch, sizeof kEndBranch - 1)) {
                if (m_open.size() > 1) close();
                else m_outerCloses.push_back(m_pending.size());
            }
            continue;
        }
        if (branch) {
            int open = static_cast<int>(m_open.size() - 1) - static_cast<int>(m_outerCloses.size());
            m_deepest = std::max(m_deepest, open + 1);
            // However few branches were open where the part began, at least one was.
            if (open + 1 >= kMaxClassificationDepth) return false;
        }
        if (!newNode(branch)) return false;
        if (leaf && !token(t, "a token closing the leaf")) return false;
    }
    return m_open.size() == 1;
}

// Fewer nodes than this are fixed up by one thread.
constexpr size_t kParallelFixUp = 8192;

// Called by the first thread when its reading takes the tail part's first token: grafts
// the part read by the second thread onto the open branches, if the part turned out to be
// read exactly as this thread would have read it. Returns false, taking nothing, when not.
bool Parser::takeOver(TailReading& tail) {
    bool ok = tail.finish();
    Parser& p = tail.parser();
    size_t open = m_open.size();
    // The whole file must end where the part ended: with the root's </branch> and no node
    // after it (the first thread ignores whatever follows the root; the part does not).
    if (!ok || p.m_outerCloses.size() != open || p.m_outerCloses.back() != p.m_pending.size())
        return false;
    // Some branch of the part would have been one too deep.
    if (open + static_cast<size_t>(p.m_deepest) > static_cast<size_t>(kMaxClassificationDepth))
        return false;

    size_t top = 0;  // next top-level node of the part
    std::vector<int32_t> levelBase(p.m_pending.size());
    for (size_t closesAfter : p.m_outerCloses) {
        for (; top < closesAfter; ++top) {
            TreeNode* n = p.m_pending[top];
            TreeNode* parent = m_open.back().node;
            n->parent = parent;
            m_pending.push_back(n);
            levelBase[top] = parent->level + 1;
        }
        close();
    }
    // Levels and numbers of the part were counted from where it began. The nodes sit far
    // apart in memory, so the fix-up waits on memory more than it computes: both
    // threads share it.
    int32_t numberBase = m_tree->nodeCount;
    auto fixUp = [&p, &levelBase, numberBase](size_t from, size_t to) {
        // The top-level node whose descendants (which follow it in file order) include node
        // `from`.
        size_t top = static_cast<size_t>(
            std::upper_bound(p.m_topLevelAt.begin(), p.m_topLevelAt.end(), from) -
            p.m_topLevelAt.begin() - 1);
        for (size_t i = from; i < to; ++i) {
            while (top + 1 < p.m_topLevelAt.size() && p.m_topLevelAt[top + 1] <= i) ++top;
            TreeNode* d = p.m_nodes[i];
            d->level += levelBase[top];
            d->number += numberBase;
        }
    };
    size_t count = p.m_nodes.size();
    std::thread helper;
    try {
        if (count >= kParallelFixUp) helper = std::thread(fixUp, count / 2, count);
    } catch (const std::system_error&) {  // no second thread to be had: one does it all
    }
    if (helper.joinable()) {
        fixUp(0, count / 2);
        helper.join();
    } else {
        fixUp(0, count);
    }
    p.m_pending.clear();
    p.m_open.clear();  // the holder no longer owns the part's nodes

    m_tree->nodeCount += p.m_nodeCount;
    m_tree->leafCount += p.m_leafCount;
    for (char*& name : p.m_ownRankNames) {
        size_t length = std::strlen(name);
        if (findRank(name, length) < m_ranks.size()) continue;
        RankInfo info{length, {0, 0, 0}};
        rankColor(rankFromName(name), info.color);
        addRank(name, info);
        name = nullptr;
    }
    std::erase(p.m_ownRankNames, nullptr);
    flushConsole();
    consoleWrite(p.m_console.data(), p.m_console.size());
    return true;
}

// The first thread also writes the console and takes the second thread's part over, so it
// reads a little less than half.
constexpr double kFirstThreadShare = 0.46;

// A byte near the middle where a <branch> or <leaf> token starts a line, or 0 if there is
// none close by. Any byte would give the same result (see readClassificationSplitAt); one
// where the first thread's reading will take a token is what lets the two threads share
// the work.
size_t chooseSplit(const unsigned char* data, size_t size) {
    size_t from = static_cast<size_t>(static_cast<double>(size) * kFirstThreadShare);
    size_t limit = std::min(size, from + (size_t{1} << 20));
    Scanner scan(data, size);
    for (size_t at = from; at < limit;) {
        const void* lt = std::memchr(data + at, '<', limit - at);
        if (!lt) break;
        at = static_cast<size_t>(static_cast<const unsigned char*>(lt) - data);
        size_t end = scan.nextWhitespace(at);
        Span t{reinterpret_cast<const char*>(data + at), end - at};
        if (at > 0 && kWhitespace.ws[data[at - 1]] &&
            (t.is(kBranch, sizeof kBranch - 1) || t.is(kLeaf, sizeof kLeaf - 1)))
            return at;
        at = end;
    }
    return 0;
}

}  // namespace model
