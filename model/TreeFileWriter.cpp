// Writing the binary tree file: through a temporary file that takes the place of the old one
// only once complete, one file or a pair.
#include "TreeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

#include "Console.h"
#include "TreeFileFormat.h"

namespace {

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
    if (reportFailure(written)) return 0;
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
    auto notInPlace = [](const char* path, int error) {
        return writeFailure(path, std::string("cannot take the place of what is there: ") +
                                      std::strerror(error));
    };
    if (int error = putInPlace(staged1.c_str(), path1, exchanged1)) {
        ::unlink(staged1.c_str());
        ::unlink(staged2.c_str());
        return notInPlace(path1, error);
    }
    if (int error = putInPlace(staged2.c_str(), path2, exchanged2)) {
        takeBack(staged1.c_str(), path1, exchanged1);
        ::unlink(staged1.c_str());
        ::unlink(staged2.c_str());
        return notInPlace(path2, error);
    }
    // The staging names now hold the files replaced, if there were any.
    if (exchanged1) ::unlink(staged1.c_str());
    if (exchanged2) ::unlink(staged2.c_str());
    return {};
}
