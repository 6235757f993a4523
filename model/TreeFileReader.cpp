#include "TreeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Census.h"
#include "Console.h"

namespace {

// Fixed part of a node record: five reals, four int32, four bytes and three string lengths.
constexpr size_t kMinRecordSize = 62;
constexpr size_t kMaxStringLength = 32767;

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
void decodeTree(Decoder& in, ClassificationTree& tree, const std::atomic<bool>* stop) {
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

    // The header's node count is only a hint here (grafted copies make the file hold more
    // nodes than it says, a damaged file anything), so the indexes are trimmed afterwards.
    size_t hint = tree.nodeCount > 0 ? static_cast<size_t>(tree.nodeCount) : 0;
    hint = std::min(hint, in.remaining() / kMinRecordSize);
    tree.latinIndex.reserve(hint);

    struct Frame {
        TreeNode* node;
        int32_t pending;  // children still to read
    };
    std::vector<Frame> stack;
    int32_t count = readRecord(in, tree, tree, 0, 0);
    if (count < 0) return;
    tree.children.reserve(static_cast<size_t>(count));
    if (count > 0) stack.push_back({&tree, count});
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
        promised += static_cast<size_t>(childCount) * kMinRecordSize;
        child->children.reserve(static_cast<size_t>(childCount));
        if (childCount > 0) stack.push_back({child, childCount});
    }
    if (in.remaining() != 0)
        return in.fail("bytes follow the root record", in.offset());
    tree.latinIndex.shrink_to_fit();
    tree.commonIndex.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------
// Writing

// Little-endian encoder into a large buffer that is flushed to the file descriptor, or
// appended to a string, in big blocks.
class Encoder {
public:
    explicit Encoder(int fd) : m_fd(fd), m_buffer(new uint8_t[kBufferSize]) {}
    explicit Encoder(std::string& out) : m_fd(-1), m_out(&out), m_buffer(new uint8_t[kBufferSize]) {}

    bool ok() const { return m_ok; }
    int savedErrno() const { return m_errno; }

    void u8(uint8_t v) { put(v); }
    void i16(int16_t v) { put(static_cast<uint16_t>(v)); }
    void i32(int32_t v) { put(static_cast<uint32_t>(v)); }
    void f64(double d) { put(std::bit_cast<uint64_t>(d)); }
    // The caller has checked that the length fits in 15 bits.
    void string(const char* s, size_t length) {
        i16(static_cast<int16_t>(length));
        while (length > 0) {
            reserve(1);
            size_t n = std::min(length, kBufferSize - m_used);
            std::memcpy(m_buffer.get() + m_used, s, n);
            m_used += n;
            s += n;
            length -= n;
        }
    }
    bool flush() {
        if (m_out) {
            m_out->append(reinterpret_cast<const char*>(m_buffer.get()), m_used);
            m_used = 0;
            return true;
        }
        size_t done = 0;
        while (m_ok && done < m_used) {
            ssize_t n = ::write(m_fd, m_buffer.get() + done, m_used - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                m_errno = errno;
                m_ok = false;
            } else {
                done += static_cast<size_t>(n);
            }
        }
        m_used = 0;
        return m_ok;
    }

private:
    static constexpr size_t kBufferSize = size_t(1) << 20;

    void reserve(size_t n) {
        if (kBufferSize - m_used < n) flush();
    }

    // Little-endian bytes of `v`, written at once: stored one by one through the buffer
    // pointer, each byte could alias the fill count and forced it back to memory.
    template <typename Unsigned>
    void put(Unsigned v) {
        reserve(sizeof v);
        uint8_t* p = m_buffer.get() + m_used;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(p, &v, sizeof v);
        } else {
            for (size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
        }
        m_used += sizeof v;
    }

    int m_fd;
    std::string* m_out = nullptr;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_used = 0;
    bool m_ok = true;
    int m_errno = 0;
};

size_t nameLength(const char* s) { return s ? std::strlen(s) : 0; }

// Encodes the tree; returns null on success, else why the tree cannot be stored (and
// sets `badName` to the offending name when there is one).
const char* encodeTree(Encoder& out, const ClassificationTree& tree, const char*& badName) {
    if (tree.rankNames.size() > static_cast<size_t>(INT16_MAX))
        return "too many rank names for the file format";
    out.i32(tree.nodeCount);
    out.i32(tree.leafCount);
    out.i32(tree.maxLevel);
    out.i16(static_cast<int16_t>(tree.rankNames.size()));
    for (const char* r : tree.rankNames) {
        size_t n = nameLength(r);
        if (n > kMaxStringLength) {
            badName = r;
            return "a rank name is longer than 32767 bytes";
        }
        out.string(r, n);
    }

    struct Item {
        const TreeNode* node;
        int depth;
    };
    // Once the trees have been combined and their children sorted, the nodes and names lie
    // scattered over the heap, and a walk that fetched each when it got there would wait
    // on memory several times per node. The stack holds the nodes to come, the next on
    // top: each node is fetched some nodes ahead, its names and children a few nodes
    // later, when its own bytes have arrived.
    constexpr size_t kNodeAhead = 8, kFieldsAhead = 4;
    auto fetchNode = [](const TreeNode* p) {
        const char* bytes = reinterpret_cast<const char*>(p);
        for (size_t at = 0; at < sizeof(TreeNode); at += 64) __builtin_prefetch(bytes + at);
    };
    std::vector<Item> stack{{&tree, 0}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        const size_t waiting = stack.size();
        if (waiting >= kNodeAhead) fetchNode(stack[waiting - kNodeAhead].node);
        if (waiting >= kFieldsAhead) {
            const TreeNode* soon = stack[waiting - kFieldsAhead].node;
            __builtin_prefetch(soon->latinName);
            __builtin_prefetch(soon->commonName);
            __builtin_prefetch(soon->children.data());
        }
        const TreeNode& n = *item.node;
        if (item.depth > kMaxTreeFileDepth) return "the tree nests deeper than the supported depth";
        if (n.children.size() > static_cast<size_t>(INT32_MAX)) return "a node has too many children";
        size_t l1 = nameLength(n.latinName), l2 = nameLength(n.commonName),
               l3 = nameLength(n.rankName);
        if (l1 > kMaxStringLength || l2 > kMaxStringLength || l3 > kMaxStringLength) {
            badName = n.latinName;
            return "a name is longer than 32767 bytes";
        }
        out.string(n.latinName, l1);
        out.f64(n.x);
        out.f64(n.y);
        out.f64(n.width);
        out.f64(n.height);
        out.i32(n.level);
        out.i32(n.descendantCount);
        out.i32(n.combinedDescendantCount);
        out.string(n.commonName, l2);
        out.string(n.rankName, l3);
        out.u8(n.color[0]);
        out.u8(n.color[1]);
        out.u8(n.color[2]);
        out.u8(n.onlyInTree);
        out.i32(n.number);
        out.i32(static_cast<int32_t>(n.children.size()));
        for (size_t i = n.children.size(); i-- > 0;) stack.push_back({n.children[i], item.depth + 1});
        // The first children come next, before the look-ahead above has reached them.
        for (size_t i = 0; i < n.children.size() && i < kNodeAhead; ++i) fetchNode(n.children[i]);
        if (!out.ok()) return nullptr;  // the write error is reported by the caller
    }
    return nullptr;
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
// failure leaves `tree` as it was. Says nothing.
FileResult readQuietly(Decoder& in, ClassificationTree& tree, const char* name,
                    const std::atomic<bool>* stop = nullptr) {
    ClassificationTree fresh;
    fresh.treeId = tree.treeId;
    fresh.fileSize = tree.fileSize;  // not stored; keep what the caller had
    decodeTree(in, fresh, stop);
    if (in.failed()) return readFailure(name, in.errorOffset(), in.error());
    tree.swapContents(fresh);  // on a failure `fresh` and whatever it got go away
    return {};
}

FileResult readQuietly(ClassificationTree& tree, const char* path,
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
        result = readQuietly(in, tree, path, stop);
    }
    ::close(fd);
    return result;
}

// What a reading prints after it: the rank census of a tree read.
FileResult census(FileResult result, const ClassificationTree& tree) {
    if (result) printRankCensus(tree);
    return result;
}

// The text of a diagnostic line, for saying it later or on another thread's behalf.
__attribute__((format(printf, 1, 2))) std::string formatted(const char* format, ...) {
    va_list ap, again;
    va_start(ap, format);
    va_copy(again, ap);
    int length = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

// A failure to write the tree file `name`; `badName` is the name that could not be stored.
Failure writeFailure(const char* name, const std::string& problem, const char* badName = nullptr) {
    std::string fault = badName ? formatted("%s (%.40s...)", problem.c_str(), badName) : problem;
    std::string wording = formatted("Cannot write tree file %s: %s", name, fault.c_str());
    return {name, {}, std::move(fault), std::move(wording)};
}

}  // namespace

FileResult loadTreeFile(ClassificationTree& tree, const char* path) {
    return census(readQuietly(tree, path), tree);
}

int readTreeFile(ClassificationTree& tree, const char* path) {
    return reportFailure(loadTreeFile(tree, path)) ? 1 : 0;
}

int readTreeFileBytes(ClassificationTree& tree, const char* data, size_t size, const char* label) {
    Decoder in(reinterpret_cast<const uint8_t*>(data), size);
    return reportFailure(census(readQuietly(in, tree, label), tree)) ? 1 : 0;
}

TreeFileReading::TreeFileReading(const char* path) : m_path(path) {
    try {
        m_thread = std::thread([this] {
            m_result = readQuietly(m_tree, m_path.c_str(), &m_stop);
            m_read = true;
        });
    } catch (const std::system_error&) {  // no thread to be had: take() reads it
    }
}

TreeFileReading::~TreeFileReading() {
    m_stop.store(true, std::memory_order_relaxed);
    if (m_thread.joinable()) m_thread.join();
}

FileResult TreeFileReading::take(ClassificationTree& tree) {
    if (m_thread.joinable()) m_thread.join();
    if (!m_read) m_result = readQuietly(m_tree, m_path.c_str());
    m_read = true;
    if (m_result) {
        // Read before the caller's fields were known: they are kept as readTreeFile keeps
        // them.
        m_tree.treeId = tree.treeId;
        m_tree.fileSize = tree.fileSize;
        tree.swapContents(m_tree);
    }
    return census(m_result, tree);
}

int TreeFileReading::finish(ClassificationTree& tree) { return reportFailure(take(tree)) ? 1 : 0; }

int writeTreeFileBytes(const ClassificationTree& tree, std::string& out, const char* label) {
    out.clear();
    const char* badName = nullptr;
    const char* problem;
    {
        Encoder encoder(out);
        problem = encodeTree(encoder, tree, badName);
        if (!problem) encoder.flush();
    }
    if (problem) {
        out.clear();
        reportFailure(writeFailure(label, problem, badName));
        return 0;
    }
    return 1;
}

namespace {

// Puts the complete file `staged` in the place of `path`. An existing file is exchanged
// with it in one step rather than renamed over: ext4 (unless mounted noauto_da_alloc)
// starts writing out every page of a file renamed over another before the rename
// returns, which for a tree file of hundreds of megabytes is most of the time the whole
// writing takes, and what is written out then competes with the next file's writing.
// After the exchange `staged` holds the old file (`exchanged`) for the caller to delete,
// or to exchange back. Returns 0 or the errno.
int putInPlace(const char* staged, const char* path, bool& exchanged) {
    exchanged = false;
#ifdef RENAME_EXCHANGE
    struct stat st;
    // A directory in the way stays a failure, as it is for a rename.
    if (::lstat(path, &st) == 0 && !S_ISDIR(st.st_mode)) {
        if (::renameat2(AT_FDCWD, staged, AT_FDCWD, path, RENAME_EXCHANGE) == 0) {
            exchanged = true;
            return 0;
        }
        // A file system without exchanges, or the file gone meanwhile: a plain rename.
    }
#endif
    return ::rename(staged, path) == 0 ? 0 : errno;
}

// Takes back what putInPlace did: the old file returns, or `path` is gone again if there
// was none; the new file is then at `staged`.
void takeBack(const char* staged, const char* path, bool exchanged) {
#ifdef RENAME_EXCHANGE
    if (exchanged) {
        ::renameat2(AT_FDCWD, staged, AT_FDCWD, path, RENAME_EXCHANGE);
        return;
    }
#endif
    ::rename(path, staged);
}

// The mode a plain create would give a new file. The mask can only be read by setting it,
// so this must not run on two threads at once.
mode_t createMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// writeTreeFile without a word.
FileResult writeQuietly(const ClassificationTree& tree, const char* path, mode_t mode) {
    std::string temp = std::string(path) + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return writeFailure(path, formatted("cannot create %s: %s", temp.c_str(), std::strerror(errno)));
    // mkstemp creates the file private to its owner.
    ::fchmod(fd, mode);

    const char* badName = nullptr;
    const char* problem = nullptr;
    int writeErrno = 0;
    {
        Encoder out(fd);
        problem = encodeTree(out, tree, badName);
        if (!problem && !out.flush()) writeErrno = out.savedErrno();
    }
    if (::close(fd) != 0 && !problem && writeErrno == 0) writeErrno = errno;
    bool exchanged = false;
    if (!problem && writeErrno == 0) writeErrno = putInPlace(temp.c_str(), path, exchanged);
    if (exchanged) ::unlink(temp.c_str());  // the file replaced
    if (problem || writeErrno != 0) {
        ::unlink(temp.c_str());
        return problem ? writeFailure(path, problem, badName)
                       : writeFailure(path, std::strerror(writeErrno));
    }
    return {};
}

}  // namespace

FileResult saveTreeFile(const ClassificationTree& tree, const char* path) {
    return writeQuietly(tree, path, createMode());
}

int writeTreeFile(const ClassificationTree& tree, const char* path) {
    return reportFailure(saveTreeFile(tree, path)) ? 1 : 0;
}

int writeTreeFilePair(const ClassificationTree& tree1, const char* path1,
                      const ClassificationTree& tree2, const char* path2) {
    const FileResult written = saveTreeFilePair(tree1, path1, tree2, path2);
    if (written) return 0;
    // A file that could not be put in place has no line of its own.
    if (!written.failure().fault.empty()) reportFailure(written);
    return written.failure().file == path1 ? 1 : 2;
}

FileResult saveTreeFilePair(const ClassificationTree& tree1, const char* path1,
                         const ClassificationTree& tree2, const char* path2) {
    const std::string staged1 = std::string(path1) + ".new";
    const std::string staged2 = std::string(path2) + ".new";
    // The two files are written at once: the walk over a tree whose nodes lie scattered
    // over the heap mostly waits for memory, and two such waits overlap.
    const mode_t mode = createMode();
    FileResult written2;
    bool tried2 = false;
    std::thread second;
    try {
        second = std::thread([&] {
            written2 = writeQuietly(tree2, staged2.c_str(), mode);
            tried2 = true;
        });
    } catch (const std::system_error&) {  // no thread to be had: one after the other
    }
    const FileResult written1 = writeQuietly(tree1, staged1.c_str(), mode);
    if (second.joinable()) second.join();
    // A failure names the file it is for: the staged file's failure is told as it stands.
    auto failedFor = [](const char* path, FileResult outcome) {
        Failure f = outcome.failure();
        f.file = path;
        return FileResult(std::move(f));
    };
    if (!written1) {
        // Tree 2's file, written or not, is not spoken of: tree 1's failure comes first.
        if (tried2 && written2) ::unlink(staged2.c_str());
        return failedFor(path1, written1);
    }
    if (!tried2) written2 = writeQuietly(tree2, staged2.c_str(), mode);
    if (!written2) {
        ::unlink(staged1.c_str());
        return failedFor(path2, written2);
    }
    bool exchanged1 = false, exchanged2 = false;
    if (putInPlace(staged1.c_str(), path1, exchanged1) != 0) {
        ::unlink(staged1.c_str());
        ::unlink(staged2.c_str());
        return Failure{path1, {}, {}, {}};
    }
    if (putInPlace(staged2.c_str(), path2, exchanged2) != 0) {
        takeBack(staged1.c_str(), path1, exchanged1);
        ::unlink(staged1.c_str());
        ::unlink(staged2.c_str());
        return Failure{path2, {}, {}, {}};
    }
    // The staging names now hold the files replaced, if there were any.
    if (exchanged1) ::unlink(staged1.c_str());
    if (exchanged2) ::unlink(staged2.c_str());
    return {};
}
