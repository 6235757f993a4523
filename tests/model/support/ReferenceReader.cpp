// The straightforward one-thread reader, kept verbatim as the behaviour every faster
// reader must reproduce byte for byte.
#include "ReferenceReader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Console.h"

namespace {

// The whole file in memory: mapped when the system allows it, read into a buffer
// otherwise. Scanning one contiguous block with memchr is what keeps the reader near
// the speed of a plain copy of the file.
class FileBytes {
public:
    ~FileBytes() {
        if (m_mapped) munmap(m_mapped, m_size);
        std::free(m_buffer);
    }
    // Returns an empty string on success, else why the file could not be taken in.
    std::string load(const char* path) {
        // Non-blocking, so that opening a FIFO does not wait for a writer; the check for a
        // regular file below then turns it away.
        int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
        std::string error = loadFrom(fd);
        ::close(fd);  // the mapping, if any, outlives the descriptor
        return error;
    }
    const unsigned char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    std::string loadFrom(int fd) {
        struct stat st;
        if (fstat(fd, &st) != 0) return std::string("cannot stat: ") + std::strerror(errno);
        // Only regular files have a size to measure progress against; a directory has
        // no bytes, and a device or pipe might never end.
        if (S_ISDIR(st.st_mode)) return "is a directory";
        if (!S_ISREG(st.st_mode)) return "not a regular file";
        m_size = static_cast<size_t>(st.st_size);
        if (m_size == 0) {
            m_data = reinterpret_cast<const unsigned char*>("");
            return {};
        }
        void* p = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            m_mapped = p;
            m_data = static_cast<const unsigned char*>(p);
            madvise(p, m_size, MADV_SEQUENTIAL);
            return {};
        }
        m_buffer = static_cast<unsigned char*>(std::malloc(m_size));
        if (!m_buffer) return "file too large for memory";
        size_t got = 0;
        while (got < m_size) {
            ssize_t n = ::read(fd, m_buffer + got, m_size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return std::string("read error: ") + std::strerror(errno);
            if (n == 0) break;  // shrank while being read: scan what is there
            got += static_cast<size_t>(n);
        }
        m_size = got;
        m_data = m_buffer;
        return {};
    }

    void* m_mapped = nullptr;
    unsigned char* m_buffer = nullptr;
    const unsigned char* m_data = nullptr;
    size_t m_size = 0;
};

// The whitespace of formatted input in the C locale: blank, tab, line feed, vertical
// tab, form feed, carriage return.
struct WhitespaceTable {
    bool ws[256] = {};
    constexpr WhitespaceTable() {
        ws[' '] = ws['\t'] = ws['\n'] = ws['\v'] = ws['\f'] = ws['\r'] = true;
    }
};
constexpr WhitespaceTable kWhitespace;

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

class Reader {
public:
    Reader(const char* path, const unsigned char* data, size_t size, ClassificationTree& tree)
        : m_path(path), m_begin(data), m_pos(data), m_end(data + size), m_tree(tree) {}

    bool read();

private:
    bool parse();

    bool fail(const unsigned char* at, const char* expected) {
        diagnostic("%s: byte %zu: expected %s", m_path, static_cast<size_t>(at - m_begin),
                   expected);
        return false;
    }

    // Next token: skips whitespace, then takes the maximal run of other bytes.
    bool token(Span& out, const char* expected) {
        const unsigned char* p = m_pos;
        while (p < m_end && kWhitespace.ws[*p]) ++p;
        if (p == m_end) {
            m_pos = p;
            return fail(p, expected);
        }
        const unsigned char* start = p;
        const unsigned char* limit =
            m_end - start > static_cast<ptrdiff_t>(kMaxNameLength) ? start + kMaxNameLength + 1
                                                                   : m_end;
        while (p < limit && !kWhitespace.ws[*p]) ++p;
        if (p - start > static_cast<ptrdiff_t>(kMaxNameLength))
            return fail(start, "whitespace ending a token of at most 32767 bytes");
        out = {reinterpret_cast<const char*>(start), static_cast<size_t>(p - start)};
        m_pos = p;
        return true;
    }

    // Skips up to and including the next line feed, which must exist.
    bool skipLine(const char* expected) {
        const void* lf = std::memchr(m_pos, '\n', static_cast<size_t>(m_end - m_pos));
        if (!lf) {
            m_pos = m_end;
            return fail(m_end, expected);
        }
        m_pos = static_cast<const unsigned char*>(lf) + 1;
        return true;
    }

    // One value line: two tokens and eight bytes skipped, the value up to the next
    // double quote, the rest of the line dropped.
    bool valueLine(char*& out) {
        Span ignored;
        if (!token(ignored, "the first word of a value line")) return false;
        if (!token(ignored, "the second word of a value line")) return false;
        if (m_end - m_pos < 8) {
            m_pos = m_end;
            return fail(m_end, "eight bytes before a value");
        }
        m_pos += 8;
        size_t room = static_cast<size_t>(m_end - m_pos);
        size_t window = room < kMaxNameLength + 1 ? room : kMaxNameLength + 1;
        const void* quote = std::memchr(m_pos, '"', window);
        if (!quote) {
            return fail(window == room ? m_end : m_pos,
                        window == room ? "a double quote closing the value"
                                       : "a double quote within 32767 bytes of the value's start");
        }
        const unsigned char* q = static_cast<const unsigned char*>(quote);
        // A NUL would cut the name once stored: the file is refused at the NUL instead.
        if (const void* nul = std::memchr(m_pos, 0, static_cast<size_t>(q - m_pos)))
            return fail(static_cast<const unsigned char*>(nul), "a value byte other than NUL");
        out = newName(reinterpret_cast<const char*>(m_pos), static_cast<size_t>(q - m_pos));
        m_pos = q + 1;
        return skipLine("a line feed ending the value line");
    }

    bool values(TreeNode& node) {
        return valueLine(node.latinName) && valueLine(node.commonName) &&
               valueLine(node.rankName);
    }

    // Adds the node's rank name to rankNames if new, and gives the node the colour of its
    // rank (worked out once per distinct name: the same result as applyRankColor on every
    // node, without comparing each node's rank against the whole rank table).
    void addRankName(TreeNode& node) {
        const char* rank = node.rankName;
        size_t length = std::strlen(rank);
        size_t i = 0;
        for (; i < m_ranks.size(); ++i)
            if (m_ranks[i].length == length &&
                std::memcmp(m_tree.rankNames[i], rank, length) == 0)
                break;
        if (i == m_ranks.size()) {
            m_tree.rankNames.push_back(newName(rank, length));
            applyRankColor(node);
            m_ranks.push_back({length, {node.color[0], node.color[1], node.color[2]}});
        } else {
            std::memcpy(node.color, m_ranks[i].color, 3);
        }
    }

    // Hands the children gathered for the open branches to their parents (only needed
    // when reading stops half-way, so that the tree owns and frees every node).
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

    void progress() {
        double position = static_cast<double>(m_pos - m_begin);
        consolePrintf("%lf %% loading\n", position / static_cast<double>(m_end - m_begin) * 100);
    }

    const char* m_path;
    const unsigned char* m_begin;
    const unsigned char* m_pos;
    const unsigned char* m_end;
    ClassificationTree& m_tree;
    struct RankInfo {
        size_t length;
        uint8_t color[3];
    };
    std::vector<RankInfo> m_ranks;  // for m_tree.rankNames, same order
    // Children of the open branches are gathered here, innermost branch's last, and each
    // branch gets its children array in one allocation when it closes: growing the arrays
    // one child at a time costs more than the rest of the reading on wide lists.
    struct OpenBranch {
        TreeNode* node;
        size_t firstChild;  // in m_pending
    };
    std::vector<OpenBranch> m_open;
    std::vector<TreeNode*> m_pending;
};

bool Reader::read() {
    bool ok = parse();
    if (!ok) attachPending();
    return ok;
}

bool Reader::parse() {
    Span t;
    // Preamble: every line whose first token is not <branch> is dropped whole.
    for (;;) {
        if (!token(t, "<branch> opening the root")) return false;
        if (t.is(kBranch, sizeof kBranch - 1)) break;
        if (!skipLine("a line feed ending a line before the root")) return false;
    }
    if (!values(m_tree)) return false;
    m_tree.number = 0;
    m_tree.level = 0;
    m_tree.nodeCount = 1;
    addRankName(m_tree);
    progress();

    // The loop ends when the root closes.
    m_open.push_back({&m_tree, 0});
    while (!m_open.empty()) {
        if (!token(t, "</branch>")) return false;
        bool branch = t.is(kBranch, sizeof kBranch - 1);
        bool leaf = !branch && t.is(kLeaf, sizeof kLeaf - 1);
        if (!branch && !leaf) {
            if (t.is(kEndBranch, sizeof kEndBranch - 1)) close();
            continue;  // any other token is ignored on its own
        }
        if (branch && m_open.size() >= static_cast<size_t>(kMaxClassificationDepth)) {
            return fail(reinterpret_cast<const unsigned char*>(t.text),
                        "</branch> (branches nested deeper than 4096 levels)");
        }
        TreeNode* parent = m_open.back().node;
        auto* n = new TreeNode;
        n->parent = parent;
        m_pending.push_back(n);  // owned from here on, so a failure below frees it
        if (!values(*n)) return false;
        n->level = parent->level + 1;
        n->number = m_tree.nodeCount++;
        addRankName(*n);
        if (branch) {
            m_open.push_back({n, m_pending.size()});
            progress();
        } else {
            ++m_tree.leafCount;
            if (!token(t, "a token closing the leaf")) return false;
        }
    }
    return true;
}

}  // namespace

int referenceReadClassification(ClassificationTree& tree, const char* path) {
    FileBytes file;
    std::string error = file.load(path);
    if (!error.empty()) {
        diagnostic("%s: byte 0: %s", path, error.c_str());
        return 0;
    }
    // Everything is read into a tree of our own and handed over only when complete, so
    // that a failure leaves the caller's tree as it was.
    ClassificationTree fresh;
    Reader reader(path, file.data(), file.size(), fresh);
    if (!reader.read()) return 0;
    fresh.fileSize = static_cast<int64_t>(file.size());
    // Fields the reader does not own keep the caller's values.
    fresh.x = tree.x;
    fresh.y = tree.y;
    fresh.width = tree.width;
    fresh.height = tree.height;
    fresh.overviewX = tree.overviewX;
    fresh.overviewY = tree.overviewY;
    fresh.overviewWidth = tree.overviewWidth;
    fresh.overviewHeight = tree.overviewHeight;
    fresh.hitLeft = tree.hitLeft;
    fresh.hitRight = tree.hitRight;
    fresh.hitBottom = tree.hitBottom;
    fresh.hitTop = tree.hitTop;
    fresh.descendantCount = tree.descendantCount;
    fresh.combinedDescendantCount = tree.combinedDescendantCount;
    fresh.maxLevel = tree.maxLevel;
    fresh.treeId = tree.treeId;
    tree.swapContents(fresh);
    return 1;
}
