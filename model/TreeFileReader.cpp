// Reading the binary tree file: a fixed buffer through the file, every count and length
// checked against what remains of it.
#include "TreeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Census.h"
#include "Console.h"
#include "TreeFileFormat.h"

namespace {


// ---------------------------------------------------------------------------------------
// Reading

// Decodes little-endian fields from the file, which it reads through a fixed buffer: the
// file is read once, front to back, and never held in memory as a whole (a tree file of
// millions of taxa is hundreds of megabytes, and the tree it holds needs memory enough).
// Every read checks what remains of the file, so a short or lying file ends in a failure
// with the offset where it went wrong, never in an overrun.
class Decoder {
public:
    Decoder(int fd, size_t fileSize)
        : m_fd(fd), m_fileSize(fileSize), m_buffer(new uint8_t[kBufferSize]),
          m_base(m_buffer.get()), m_p(m_base), m_end(m_base) {}
    // Bytes already in memory: all of them are at hand, so nothing is ever refilled.
    Decoder(const uint8_t* data, size_t size)
        : m_fd(-1), m_fileSize(size), m_base(data), m_p(data), m_end(data + size) {}

    size_t offset() const { return m_bufferOffset + static_cast<size_t>(m_p - m_base); }
    size_t remaining() const { return m_fileSize - offset(); }
    bool failed() const { return m_error != nullptr; }
    const char* error() const { return m_error; }
    size_t errorOffset() const { return m_errorOffset; }

    // Records the first failure only: it is the one that explains the file.
    void fail(const char* what, size_t at) {
        if (!m_error) {
            m_error = what;
            m_errorOffset = at;
        }
    }

    uint8_t u8() {
        if (!need(1)) return 0;
        return *m_p++;
    }
    int16_t i16() {
        if (!need(2)) return 0;
        uint16_t v = static_cast<uint16_t>(m_p[0] | (m_p[1] << 8));
        m_p += 2;
        return static_cast<int16_t>(v);
    }
    int32_t i32() {
        if (!need(4)) return 0;
        uint32_t v = static_cast<uint32_t>(m_p[0]) | static_cast<uint32_t>(m_p[1]) << 8 |
                     static_cast<uint32_t>(m_p[2]) << 16 | static_cast<uint32_t>(m_p[3]) << 24;
        m_p += 4;
        return static_cast<int32_t>(v);
    }
    double f64() {
        if (!need(8)) return 0;
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | m_p[i];
        m_p += 8;
        double d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
    // A length-prefixed string as an owned name; null after a failure.
    char* string() {
        size_t at = offset();
        int16_t length = i16();
        if (failed()) return nullptr;
        if (length < 0) {
            fail("negative string length", at);
            return nullptr;
        }
        if (!need(static_cast<size_t>(length))) return nullptr;
        // Names are zero-terminated once read: a NUL would silently cut this one short.
        const void* nul = length > 0 ? std::memchr(m_p, 0, static_cast<size_t>(length)) : nullptr;
        if (nul) {
            fail("a name holds a NUL byte", offset() + static_cast<size_t>(
                                                          static_cast<const uint8_t*>(nul) - m_p));
            return nullptr;
        }
        char* s = newName(reinterpret_cast<const char*>(m_p), static_cast<size_t>(length));
        m_p += length;
        return s;
    }

private:
    // Large enough for the longest field, a string of 32767 bytes and its length.
    static constexpr size_t kBufferSize = size_t(1) << 20;

    bool need(size_t n) {
        if (m_error) return false;
        if (static_cast<size_t>(m_end - m_p) >= n) return true;
        if (remaining() < n) {
            fail("file ends early", offset());
            return false;
        }
        return refill(n);
    }

    // Moves the unread bytes to the front and reads until `n` bytes are at hand.
    bool refill(size_t n) {
        size_t kept = static_cast<size_t>(m_end - m_p);
        m_bufferOffset = offset();
        std::memmove(m_buffer.get(), m_p, kept);
        m_base = m_p = m_buffer.get();
        m_end = m_p + kept;
        size_t want = std::min(kBufferSize, m_fileSize - m_bufferOffset);
        while (kept < want) {
            ssize_t got = ::read(m_fd, m_buffer.get() + kept, want - kept);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                fail(std::strerror(errno), m_bufferOffset + kept);
                return false;
            }
            if (got == 0) break;  // the file shrank while being read
            kept += static_cast<size_t>(got);
        }
        m_end = m_p + kept;
        if (kept < n) {
            fail("file ends early", m_bufferOffset + kept);
            return false;
        }
        return true;
    }

    int m_fd;
    size_t m_fileSize;
    std::unique_ptr<uint8_t[]> m_buffer;
    const uint8_t* m_base;      // the buffer, or the caller's bytes
    size_t m_bufferOffset = 0;  // file offset of m_base
    const uint8_t* m_p;
    const uint8_t* m_end;
    const char* m_error = nullptr;
    size_t m_errorOffset = 0;
};

// Reads one node record up to and including its child count into `node`, appending the
// node to the indexes. Returns the child count, or -1 after a failure. `level` is the
// level the record must hold, that of its place in the nesting; `promised` the bytes the
// records still owed to the enclosing nodes need at least, so that the counts of all open
// nodes together must fit the file, not each one alone (else nested counts could each
// reserve memory for the whole file).
int32_t readRecord(Decoder& in, ClassificationTree& tree, TreeNode& node, int32_t level,
                   size_t promised) {
    node.latinName = in.string();
    if (in.failed()) return -1;
    tree.latinIndex.push_back(&node);
    node.x = in.f64();
    node.y = in.f64();
    node.width = in.f64();
    node.height = in.f64();
    size_t levelAt = in.offset();
    node.level = in.i32();
    node.descendantCount = in.i32();
    node.combinedDescendantCount = in.i32();
    node.commonName = in.string();
    if (in.failed()) return -1;
    if (node.commonName[0] != 0) tree.commonIndex.push_back(&node);
    node.rankName = in.string();
    node.color[0] = in.u8();
    node.color[1] = in.u8();
    node.color[2] = in.u8();
    size_t markAt = in.offset();
    node.onlyInTree = in.u8();
    node.number = in.i32();
    size_t countAt = in.offset();
    int32_t count = in.i32();
    if (in.failed()) return -1;
    // The level and mark are checked because the rest of the program relies on them (the
    // overview bands, the panels' filters); a file that breaks them is not one we wrote.
    if (node.level != level) {
        in.fail("level does not match the nesting", levelAt);
        return -1;
    }
    if (node.onlyInTree > 2) {
        in.fail("comparison mark is not 0, 1 or 2", markAt);
        return -1;
    }
    if (count < 0) {
        in.fail("negative child count", countAt);
        return -1;
    }
    size_t room = in.remaining() >= promised ? in.remaining() - promised : 0;
    if (static_cast<size_t>(count) > room / kMinRecordSize) {
        in.fail("child count does not fit the file", countAt);
        return -1;
    }
    return count;
}

// Decodes a whole file image into `tree` (a fresh tree). Depth first without recursion:
// the nesting depth is the file's to choose, the stack is not.
void decodeTree(Decoder& in, ClassificationTree& tree, std::optional<RankTally>& tally,
                const std::atomic<bool>* stop) {
    tree.nodeCount = in.i32();
    tree.leafCount = in.i32();
    tree.maxLevel = in.i32();
    size_t rankCountAt = in.offset();
    int16_t rankCount = in.i16();
    if (in.failed()) return;
    if (rankCount < 0) return in.fail("negative rank name count", rankCountAt);
    if (static_cast<size_t>(rankCount) > in.remaining() / 2)
        return in.fail("rank name count does not fit the file", rankCountAt);
    tree.rankNames.reserve(static_cast<size_t>(rankCount));
    for (int i = 0; i < rankCount; ++i) {
        char* name = in.string();
        if (!name) return;
        tree.rankNames.push_back(name);
    }
    tally.emplace(tree.rankNames);

    // The header's node count is only a hint here (grafted copies make the file hold more
    // nodes than it says, a damaged file anything), so the indexes are trimmed afterwards.
    size_t hint = tree.nodeCount > 0 ? static_cast<size_t>(tree.nodeCount) : 0;
    hint = std::min(hint, in.remaining() / kMinRecordSize);
    tree.latinIndex.reserve(hint);

    struct Frame {
        TreeNode* node;
        int32_t pending;  // children still to read
        unsigned own;     // ids under which the node is one of the tree's own taxa
    };
    std::vector<Frame> stack;
    int32_t count = readRecord(in, tree, tree, 0, 0);
    if (count < 0) return;
    tally->add(tree.rankName, RankTally::ownUnder(0));  // the root, whatever its mark
    tree.children.reserve(static_cast<size_t>(count));
    if (count > 0) stack.push_back({&tree, count, RankTally::ownUnder(0)});
    size_t promised = static_cast<size_t>(count) * kMinRecordSize;
    uint32_t sinceLook = 0;
    while (!stack.empty()) {
        if (stop && ++sinceLook == 4096) {
            sinceLook = 0;
            if (stop->load(std::memory_order_relaxed))
                return in.fail("reading abandoned", in.offset());
        }
        Frame& top = stack.back();
        if (top.pending == 0) {
            stack.pop_back();
            continue;
        }
        --top.pending;
        TreeNode* parent = top.node;
        // Depth of the child about to be read equals the stack size.
        if (stack.size() > static_cast<size_t>(kMaxTreeFileDepth))
            return in.fail("nesting deeper than the supported depth", in.offset());
        auto* child = new TreeNode;
        parent->addChild(child);  // owned by the tree from here on, even if the read fails
        promised -= kMinRecordSize;
        int32_t childCount = readRecord(in, tree, *child, parent->level + 1, promised);
        if (childCount < 0) return;  // a half-read node is still destructible
        const unsigned own = top.own & RankTally::ownUnder(child->onlyInTree);
        if (own) tally->add(child->rankName, own);
        promised += static_cast<size_t>(childCount) * kMinRecordSize;
        child->children.reserve(static_cast<size_t>(childCount));
        if (childCount > 0) stack.push_back({child, childCount, own});
    }
    if (in.remaining() != 0)
        return in.fail("bytes follow the root record", in.offset());
    tree.latinIndex.shrink_to_fit();
    tree.commonIndex.shrink_to_fit();
}

}  // namespace

namespace {

// A failure to read the tree file `name` at byte `offset`, worded as the reader says it.
Failure readFailure(const char* name, size_t offset, const std::string& fault) {
    return {name, bytePlace(offset), fault,
            std::string("Cannot read tree file ") + name + ": " + fault + " at byte offset " +
                std::to_string(offset)};
}

// Decodes into a fresh tree and hands it over only when the whole file was read, so that a
// failure leaves `tree` as it was. Says nothing; the census is counted into `tally`.
FileResult readQuietly(Decoder& in, ClassificationTree& tree, const char* name,
                      std::optional<RankTally>& tally, const std::atomic<bool>* stop = nullptr) {
    ClassificationTree fresh;
    fresh.treeId = tree.treeId;
    fresh.fileSize = tree.fileSize;  // not stored; keep what the caller had
    decodeTree(in, fresh, tally, stop);
    if (in.failed()) return readFailure(name, in.errorOffset(), in.error());
    tree.swapContents(fresh);  // on a failure `fresh` and whatever it got go away
    return {};
}

FileResult readQuietly(ClassificationTree& tree, const char* path, std::optional<RankTally>& tally,
                      const std::atomic<bool>* stop = nullptr) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    const char* cannot = nullptr;
    if (fd < 0) cannot = std::strerror(errno);
    else if (::fstat(fd, &st) != 0) cannot = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) cannot = std::strerror(EISDIR);
    else if (!S_ISREG(st.st_mode)) cannot = "not a regular file";
    if (cannot) {
        if (fd >= 0) ::close(fd);
        return readFailure(path, 0, cannot);
    }
    FileResult result;
    {
        Decoder in(fd, static_cast<size_t>(st.st_size));
        result = readQuietly(in, tree, path, tally, stop);
    }
    ::close(fd);
    return result;
}

// What a reading prints after it: the rank census of the tree read, as printRankCensus
// prints it.
FileResult census(FileResult result, const ClassificationTree& tree,
                  const std::optional<RankTally>& tally) {
    if (result) printCensusLines(tally->counts(tree.treeId));
    return result;
}

}  // namespace

FileResult loadTreeFile(ClassificationTree& tree, const char* path) {
    std::optional<RankTally> tally;
    return census(readQuietly(tree, path, tally), tree, tally);
}

int readTreeFile(ClassificationTree& tree, const char* path) {
    return reportFailure(loadTreeFile(tree, path)) ? 1 : 0;
}

int readTreeFileBytes(ClassificationTree& tree, const char* data, size_t size, const char* label) {
    Decoder in(reinterpret_cast<const uint8_t*>(data), size);
    std::optional<RankTally> tally;
    return reportFailure(census(readQuietly(in, tree, label, tally), tree, tally)) ? 1 : 0;
}

TreeFileReading::TreeFileReading(const char* path) : m_path(path) {
    try {
        m_thread.emplace([this] {
            m_result = readQuietly(m_tree, m_path.c_str(), m_tally, &m_stop);
            m_read = true;
        });
    } catch (const std::system_error&) {  // no thread to be had: take() reads it
    }
}

TreeFileReading::~TreeFileReading() {
    m_stop.store(true, std::memory_order_relaxed);
    m_thread.reset();
}

FileResult TreeFileReading::take(ClassificationTree& tree) {
    m_thread.reset();
    if (!m_read) m_result = readQuietly(m_tree, m_path.c_str(), m_tally);
    m_read = true;
    if (m_result) {
        // Read before the caller's fields were known: they are kept as readTreeFile keeps
        // them.
        m_tree.treeId = tree.treeId;
        m_tree.fileSize = tree.fileSize;
        tree.swapContents(m_tree);
    }
    return census(m_result, tree, m_tally);
}

int TreeFileReading::finish(ClassificationTree& tree) { return reportFailure(take(tree)) ? 1 : 0; }
