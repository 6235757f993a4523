// The classification reader's parser: the grammar of the tag format over the byte scanner,
// for a whole file or, on a second thread, for the part of it from some byte on.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ByteScanner.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "MappingGuard.h"
#include "FileResult.h"
#include "TreeNode.h"

namespace model {

// "%lf %% loading\n" of the position.
inline size_t formatProgress(char* out, size_t position, size_t size) {
    size_t length =
        formatFixed6(out, static_cast<double>(position) / static_cast<double>(size) * 100);
    std::memcpy(out + length, " % loading\n", 11);
    return length + 11;
}
constexpr size_t kProgressLineRoom = 340;

struct Span {
    const char* text;
    size_t length;
    bool is(const char* tag, size_t tagLength) const {
        return length == tagLength && std::memcmp(text, tag, tagLength) == 0;
    }
};

constexpr char kBranch[] = "<branch>";
constexpr char kLeaf[] = "<leaf>";
constexpr char kEndBranch[] = "</branch>";

// Files smaller than this are read by one thread: a second one would not pay its start.
constexpr size_t kSplitMinimum = size_t{4} << 20;

// What the parsing of one part of the file has gathered.
//
// The reading of a whole file starts with the root and ends when it closes. The reading of
// a tail part (from some byte on, on a second thread) starts with no open branch: it
// hangs what it reads under a holder node standing for whatever branch is open where the
// part begins, with levels counted from there, and notes where a </branch> closes a branch
// opened before the part. The first thread, on reaching the part's first token, grafts
// what was gathered onto its own open branches.
class Parser {
public:
    // Whole file: `tree` receives the root and every node.
    Parser(const char* path, const unsigned char* data, size_t size, ClassificationTree& tree,
           const MappingGuard* guard)
        : m_path(path), m_data(data), m_size(size), m_scan(data, size), m_rankNames(tree.rankNames),
          m_tree(&tree), m_guard(guard), m_flushEachLine(consoleIsInteractive()) {}

    // Tail part from byte `start`: quiet (a failure is for the first thread to find and
    // report, if its reading gets there at all), console lines kept in memory.
    Parser(const unsigned char* data, size_t size, size_t start, const std::atomic<bool>& stop)
        : m_path(nullptr), m_data(data), m_size(size), m_scan(data, size), m_pos(start),
          m_rankNames(m_ownRankNames), m_tree(nullptr), m_stop(&stop) {}

    // A reading that stopped half-way hands every node read to the open branches, so that
    // the tree (or, for a tail part, the holder) owns and frees them.
    ~Parser() {
        if (m_tree) flushConsole();
        attachPending();
        for (char* s : m_ownRankNames) freeName(s);
    }

    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Where and why the reading of a whole file stopped, once it has.
    const Failure& failure() const { return m_failure; }

    // Reads the whole file; `tail` (may be null) is a tail part being read meanwhile.
    bool readWhole(class TailReading* tail);
    // Reads the tail part to the end of the file.
    bool readTail();

private:
    friend class TailReading;

    __attribute__((noinline, cold)) bool fail(size_t at, const char* expected) {
        // A file that changed under us is reported as such by the caller, not by what its
        // zeros looked like.
        if (!m_path || (m_guard && m_guard->changed())) return false;
        flushConsole();  // progress lines come before the failure is told
        m_failure = Failure{m_path, bytePlace(at), std::string("expected ") + expected, {}};
        return false;
    }

    // Names are zero-terminated everywhere after the reading: a NUL would silently cut one.
    bool failNul(size_t at) {
        m_pos = at;
        return fail(at, "a value byte other than NUL");
    }

    // Next token: skips whitespace, then takes the maximal run of other bytes.
    __attribute__((always_inline)) bool token(Span& out, const char* expected) {
        size_t start = tokenStart();
        if (start == m_size) {
            m_pos = m_size;
            return fail(m_size, expected);
        }
        size_t end;
        uint64_t ws = m_scan.window(start).ws;
        if (ws) {
            unsigned length = static_cast<unsigned>(__builtin_ctzll(ws));
            end = std::min(start + length, m_size);
            // Where the next token starts, while the bits are at hand.
            uint64_t after = ~ws >> length;
            if (after) setNextToken(end, end + static_cast<size_t>(__builtin_ctzll(after)));
        } else {
            end = m_scan.nextWhitespace(start);
        }
        if (end - start > kMaxNameLength)
            return fail(start, "whitespace ending a token of at most 32767 bytes");
        out = {reinterpret_cast<const char*>(m_data + start), end - start};
        m_pos = end;
        return true;
    }

    // The first non-whitespace byte from the current position. A search that has just looked
    // at the bytes there leaves it behind, which saves searching them again.
    size_t tokenStart() {
        return m_pos == m_nextTokenFrom ? m_nextToken : m_scan.nextNonWhitespace(m_pos);
    }
    void setNextToken(size_t from, size_t at) {
        m_nextTokenFrom = from;
        m_nextToken = at;
    }

    // Skips up to and including the next line feed, which must exist.
    __attribute__((always_inline)) bool skipLine(const char* expected) {
        size_t lf = m_scan.nextLineFeed(m_pos);
        if (lf == m_size) {
            m_pos = m_size;
            return fail(m_size, expected);
        }
        m_pos = lf + 1;
        return true;
    }

    // One value line: two tokens and eight bytes skipped, the value up to the next
    // double quote, the rest of the line dropped.
    __attribute__((always_inline)) bool valueLine(char*& out) {
        // Nearly every value line has its two words, the eight bytes and the value's
        // closing quote within 64 bytes of its first word: found from one window of bits.
        // Anything else takes the token by token way below, with the same result.
        size_t start = tokenStart();
        if (start < m_size) {
            auto [ws, quotes, lineFeeds, nuls] = m_scan.window(start);
            if (ws) {
                unsigned end1 = static_cast<unsigned>(__builtin_ctzll(ws));
                uint64_t afterFirst = ~ws >> end1;
                if (afterFirst) {
                    unsigned start2 = end1 + static_cast<unsigned>(__builtin_ctzll(afterFirst));
                    uint64_t afterSecond = ws >> start2;
                    if (afterSecond) {
                        unsigned value = start2 + static_cast<unsigned>(__builtin_ctzll(afterSecond)) + 8;
                        uint64_t closing = value < 64 ? quotes >> value : 0;
                        if (closing) {
                            unsigned quote = value + static_cast<unsigned>(__builtin_ctzll(closing));
                            uint64_t inValue = (nuls >> value) & ((uint64_t{1} << (quote - value)) - 1);
                            if (inValue) [[unlikely]]
                                return failNul(start + value + static_cast<size_t>(__builtin_ctzll(inValue)));
                            out = newName(reinterpret_cast<const char*>(m_data + start + value),
                                          quote - value);
                            // The line feed and the next line's first token, when they are
                            // among the same 64 bytes.
                            uint64_t feeds = quote + 1 < 64 ? lineFeeds >> (quote + 1) : 0;
                            if (!feeds) {
                                m_pos = start + quote + 1;
                                return skipLine("a line feed ending the value line");
                            }
                            unsigned next = quote + 2 + static_cast<unsigned>(__builtin_ctzll(feeds));
                            m_pos = start + next;
                            uint64_t token = next < 64 ? ~ws >> next : 0;
                            if (token) setNextToken(m_pos, m_pos + static_cast<size_t>(__builtin_ctzll(token)));
                            return true;
                        }
                    }
                }
            }
        }
        Span ignored;
        if (!token(ignored, "the first word of a value line")) return false;
        if (!token(ignored, "the second word of a value line")) return false;
        if (m_size - m_pos < 8) {
            m_pos = m_size;
            return fail(m_size, "eight bytes before a value");
        }
        m_pos += 8;
        size_t room = m_size - m_pos;
        size_t window = std::min(room, kMaxNameLength + 1);
        size_t quote = m_scan.nextQuote(m_pos);
        if (quote - m_pos >= window) {
            return fail(window == room ? m_size : m_pos,
                        window == room ? "a double quote closing the value"
                                       : "a double quote within 32767 bytes of the value's start");
        }
        if (const void* nul = std::memchr(m_data + m_pos, 0, quote - m_pos))
            return failNul(static_cast<size_t>(static_cast<const unsigned char*>(nul) - m_data));
        out = newName(reinterpret_cast<const char*>(m_data + m_pos), quote - m_pos);
        m_pos = quote + 1;
        return skipLine("a line feed ending the value line");
    }

    bool values(TreeNode& node) {
        return valueLine(node.latinName) && valueLine(node.commonName) &&
               valueLine(node.rankName);
    }

    // Adds the node's rank name to the rank names if new, and gives the node the colour of
    // its rank (worked out once per distinct name: the same result as applyRankColor on
    // every node, without comparing each node's rank against the whole rank table).
    void addRankName(TreeNode& node) {
        const char* rank = node.rankName;
        int shared = sharedRankOf(rank);
        if (shared >= 0 && m_sharedRankAt[shared] > 0) {  // met before: no comparisons
            std::memcpy(node.color, m_ranks[m_sharedRankAt[shared] - 1].color, 3);
            return;
        }
        size_t length = std::strlen(rank);
        size_t i = findRank(rank, length);
        if (i == m_ranks.size()) {
            applyRankColor(node);
            addRank(newName(rank, length), {length, {node.color[0], node.color[1], node.color[2]}});
        } else {
            std::memcpy(node.color, m_ranks[i].color, 3);
        }
        if (shared >= 0) m_sharedRankAt[shared] = static_cast<uint32_t>(i + 1);
    }

    // Reads the node's values, numbers it and hangs it under the innermost open branch.
    TreeNode* newNode(bool branch) {
        TreeNode* parent = m_open.back().node;
        auto* n = new TreeNode;
        n->parent = parent;
        m_pending.push_back(n);  // owned from here on, so a failure below frees it
        if (!values(*n)) return nullptr;
        n->level = parent->level + 1;
        n->number = m_nodeCount++;
        addRankName(*n);
        if (branch) {
            m_open.push_back({n, m_pending.size()});
            progress();
        } else {
            ++m_leafCount;
        }
        if (!m_tree) {
            if (parent == &m_holder) m_topLevelAt.push_back(m_nodes.size());
            m_nodes.push_back(n);
        }
        return n;
    }

    void attachPending() {
        while (!m_open.empty()) close();
    }

    void close() {
        OpenBranch b = m_open.back();
        m_open.pop_back();
        b.node->children.assign(m_pending.begin() + static_cast<ptrdiff_t>(b.firstChild),
                                m_pending.end());
        m_pending.resize(b.firstChild);
    }

    // Progress lines are gathered and written a few thousand at a time, unless someone
    // watches the console: a write per line costs as much as parsing the line's branch. A
    // tail part's lines wait until the first thread takes the part over.
    void progress() {
        char line[kProgressLineRoom];
        m_console.append(line, formatProgress(line, m_pos, m_size));
        if (m_tree && (m_console.size() >= kConsoleChunk || m_flushEachLine)) flushConsole();
    }

    void flushConsole() {
        consoleWrite(m_console.data(), m_console.size());
        m_console.clear();
    }

    bool takeOver(TailReading& tail);

    const char* m_path;  // null for a tail part, which reports nothing itself
    Failure m_failure;
    const unsigned char* m_data;
    size_t m_size;
    Scanner m_scan;
    size_t m_pos = 0;
    size_t m_nextTokenFrom = SIZE_MAX;  // see tokenStart
    size_t m_nextToken = 0;
    std::vector<char*>& m_rankNames;
    std::vector<char*> m_ownRankNames;
    ClassificationTree* m_tree;
    const MappingGuard* m_guard = nullptr;
    const std::atomic<bool>* m_stop = nullptr;
    struct RankInfo {
        size_t length;
        uint8_t color[3];
    };
    std::vector<RankInfo> m_ranks;  // for m_rankNames, same order
    uint32_t m_sharedRankAt[kRankCount] = {};  // 1 + index in m_ranks of a shared rank name
    // A file may give a new rank on every node: past a few, rank names are looked up by hash
    // instead of compared with every one before.
    static constexpr size_t kComparedRanks = 16;
    std::unordered_map<std::string_view, size_t> m_rankIndex;

    // The index in m_ranks of a rank name, or m_ranks.size() when it is new.
    size_t findRank(const char* name, size_t length) {
        if (m_ranks.size() <= kComparedRanks) {
            size_t i = 0;
            while (i < m_ranks.size() &&
                   !(m_ranks[i].length == length && std::memcmp(m_rankNames[i], name, length) == 0))
                ++i;
            return i;
        }
        if (m_rankIndex.empty())
            for (size_t i = 0; i < m_ranks.size(); ++i)
                m_rankIndex.emplace(std::string_view(m_rankNames[i], m_ranks[i].length), i);
        auto at = m_rankIndex.find(std::string_view(name, length));
        return at == m_rankIndex.end() ? m_ranks.size() : at->second;
    }
    // Takes `name` over as a new rank name.
    void addRank(char* name, RankInfo info) {
        m_rankNames.push_back(name);
        m_ranks.push_back(info);
        if (!m_rankIndex.empty())
            m_rankIndex.emplace(std::string_view(name, info.length), m_ranks.size() - 1);
    }
    // Children of the open branches are gathered here, innermost branch's last, and each
    // branch gets its children array in one allocation when it closes: growing the arrays
    // one child at a time costs more than the rest of the reading on wide lists.
    struct OpenBranch {
        TreeNode* node;
        size_t firstChild;  // in m_pending
    };
    std::vector<OpenBranch> m_open;
    std::vector<TreeNode*> m_pending;
    int32_t m_nodeCount = 0;
    int32_t m_leafCount = 0;

    // Tail part only.
    TreeNode m_holder;                // stands for the branch open where the part begins
    std::vector<TreeNode*> m_nodes;   // every node, in file order
    std::vector<size_t> m_topLevelAt;  // index in m_nodes of each node hung on the holder
    std::vector<size_t> m_outerCloses;  // for each </branch> closing a branch opened before
                                        // the part: how many top-level nodes preceded it
    int m_deepest = 0;  // most branches open at once beyond those open where the part began
    std::string m_console;  // progress lines not yet written
    bool m_flushEachLine = false;
    static constexpr size_t kConsoleChunk = 64 * 1024;
};

}  // namespace model
