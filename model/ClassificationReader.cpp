#include "ClassificationReader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Console.h"
#include "MappedFile.h"

// ---------------------------------------------------------------------------------------
// Choice of the byte classifier

bool readerSimdSupported(ReaderSimd simd) {
#if defined(__x86_64__)
    if (simd == ReaderSimd::Avx512) return __builtin_cpu_supports("avx512bw");
    if (simd == ReaderSimd::Avx2) return __builtin_cpu_supports("avx2");
#endif
    return simd == ReaderSimd::Baseline;
}

namespace {

// The widest classifier the processor has, or the narrower one CLADORAMA_SIMD names.
ReaderSimd initialReaderSimd() {
    ReaderSimd widest = readerSimdSupported(ReaderSimd::Avx512) ? ReaderSimd::Avx512
                        : readerSimdSupported(ReaderSimd::Avx2) ? ReaderSimd::Avx2
                                                                 : ReaderSimd::Baseline;
    const char* asked = std::getenv("CLADORAMA_SIMD");
    if (!asked) return widest;
    for (ReaderSimd simd : {ReaderSimd::Baseline, ReaderSimd::Avx2, ReaderSimd::Avx512})
        if (std::strcmp(asked, readerSimdName(simd)) == 0)
            return std::min(simd, widest);
    return widest;
}

std::atomic<ReaderSimd>& currentReaderSimd() {
    static std::atomic<ReaderSimd> current{initialReaderSimd()};
    return current;
}

}  // namespace

ReaderSimd readerSimd() { return currentReaderSimd().load(std::memory_order_relaxed); }

bool setReaderSimd(ReaderSimd simd) {
    if (!readerSimdSupported(simd)) return false;
    currentReaderSimd().store(simd, std::memory_order_relaxed);
    return true;
}

const char* readerSimdName(ReaderSimd simd) {
    switch (simd) {
        case ReaderSimd::Avx512: return "avx512";
        case ReaderSimd::Avx2: return "avx2";
        case ReaderSimd::Baseline: break;
    }
    return "sse2";
}

namespace {

// The whitespace of formatted input in the C locale: blank, tab, line feed, vertical
// tab, form feed, carriage return.
struct WhitespaceTable {
    bool ws[256] = {};
    constexpr WhitespaceTable() {
        for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) ws[c] = true;
    }
};
constexpr WhitespaceTable kWhitespace;

// Finds the next whitespace, non-whitespace, double quote or line feed from a position.
// The file is classified into three bit masks (one bit per byte) a few kilobytes at a time
// in a tight vector loop; a search then looks at the 64 bytes from its position with two
// shifts and a bit scan, without a loop or a branch on where the bytes fall. The reader
// spends most of its time in these searches (a dozen per taxon), and a branch that could
// go either way on every one of them cost more than the classification itself.
class Scanner {
public:
    Scanner(const unsigned char* data, size_t size)
        : m_data(data), m_size(size), m_simd(readerSimd()) {}

    size_t nextNonWhitespace(size_t pos) { return next<NonWhitespace>(pos); }
    size_t nextWhitespace(size_t pos) { return std::min(next<Whitespace>(pos), m_size); }
    size_t nextQuote(size_t pos) { return next<Quote>(pos); }
    size_t nextLineFeed(size_t pos) { return next<LineFeed>(pos); }

    // The whitespace, double quote, line feed and NUL bits of the 64 bytes from pos, which
    // must lie in the file; bytes past the end read as blanks.
    struct Window {
        uint64_t ws, quote, lf, nul;
    };
    __attribute__((always_inline)) Window window(size_t pos) {
        size_t i = (pos >> 6) - m_base;
        if (i >= kChunkBlocks) [[unlikely]] {
            fill(pos >> 6);
            i = 0;
        }
        unsigned offset = pos & 63;
        auto from = [i, offset](const uint64_t* bits) {
            return (bits[i] >> offset) | ((bits[i + 1] << 1) << (63 - offset));
        };
        return {from(m_ws), from(m_quote), from(m_lf), from(m_nul)};
    }

private:
    enum Kind { NonWhitespace, Whitespace, Quote, LineFeed };
    static constexpr size_t kChunkBlocks = 64;  // blocks of 64 bytes classified at once

    template <Kind kind>
    uint64_t bitsOf(size_t i) const {
        if constexpr (kind == NonWhitespace) return ~m_ws[i];
        if constexpr (kind == Whitespace) return m_ws[i];
        if constexpr (kind == Quote) return m_quote[i];
        return m_lf[i];
    }

    // First position >= pos of the kind, or the size when there is none (a search for
    // whitespace may stop in the blanks that pad the end; the caller clamps it).
    template <Kind kind>
    __attribute__((always_inline)) size_t next(size_t pos) {
        size_t i = (pos >> 6) - m_base;
        if (i >= kChunkBlocks) [[unlikely]] {
            if (pos >= m_size) return m_size;
            fill(pos >> 6);
            i = 0;
        }
        unsigned offset = pos & 63;
        // The 64 bytes from pos: the rest of block i and the start of block i + 1 (the
        // double shift is a shift by 64 - offset that is also right for offset 0).
        uint64_t bits = (bitsOf<kind>(i) >> offset) | ((bitsOf<kind>(i + 1) << 1) << (63 - offset));
        if (bits) [[likely]] return pos + static_cast<size_t>(__builtin_ctzll(bits));
        return far<kind>(pos + 64);
    }

    // The search goes on beyond the first 64 bytes: long values, lines and preambles.
    template <Kind kind>
    __attribute__((noinline)) size_t far(size_t pos) {
        while (pos < m_size) {
            size_t i = (pos >> 6) - m_base;
            if (i >= kChunkBlocks) {
                fill(pos >> 6);
                i = 0;
            }
            uint64_t bits = bitsOf<kind>(i) >> (pos & 63);
            if (bits) return pos + static_cast<size_t>(__builtin_ctzll(bits));
            pos = (pos | 63) + 1;
        }
        return m_size;
    }

    // Classifies the blocks from `first` on, one more than the chunk holds so that a search
    // near the chunk's end sees 64 bytes ahead.
    __attribute__((noinline)) void fill(size_t first) {
        m_base = first;
        size_t whole = m_size >> 6;  // blocks entirely inside the file
        for (size_t i = 0; i <= kChunkBlocks; ++i) {
            size_t block = first + i;
            if (block < whole) {
                if (i + 8 <= kChunkBlocks)
                    __builtin_prefetch(m_data + ((block + kChunkBlocks) << 6));
                classifyBlock(m_data + (block << 6), i);
            } else if (block == whole && (m_size & 63)) {
                // The last, partial block: the bytes past the end read as blanks, which no
                // search for a non-blank, quote or line feed can stop at.
                unsigned char padded[64];
                std::memset(padded, ' ', sizeof padded);
                std::memcpy(padded, m_data + (block << 6), m_size & 63);
                classifyBlock(padded, i);
            } else {
                m_ws[i] = ~uint64_t{0};
                m_quote[i] = m_lf[i] = m_nul[i] = 0;
            }
        }
    }

    void classifyBlock(const unsigned char* p, size_t i) {
#if defined(__x86_64__)
        // The choice was made when the scanner was made, so it never changes mid-file and
        // the branch always goes the same way.
        if (m_simd == ReaderSimd::Avx512)
            return classifyAvx512(p, m_ws[i], m_quote[i], m_lf[i], m_nul[i]);
        if (m_simd == ReaderSimd::Avx2)
            return classifyAvx2(p, m_ws[i], m_quote[i], m_lf[i], m_nul[i]);
#endif
        classify(p, m_ws[i], m_quote[i], m_lf[i], m_nul[i]);
    }

#if defined(__x86_64__)
    // Processors with 64-byte vector compares classify a block in a handful of
    // instructions.
    __attribute__((target("avx512bw"))) static void classifyAvx512(const unsigned char* p,
                                                                   uint64_t& ws, uint64_t& quote,
                                                                   uint64_t& lf, uint64_t& nul) {
        __m512i v = _mm512_loadu_si512(p);
        __mmask64 blank = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' '));
        // Tab to carriage return are 9..13: v - 9 is at most 4 as an unsigned byte.
        __mmask64 control =
            _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('\t')), _mm512_set1_epi8(4));
        ws = blank | control;
        quote = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('"'));
        lf = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
        nul = _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512());
    }

    // Most x86 processors without those have 32-byte compares: two halves, half the
    // instructions of the 16-byte path.
    __attribute__((target("avx2"))) static void classifyAvx2(const unsigned char* p,
                                                             uint64_t& wsOut, uint64_t& quoteOut,
                                                             uint64_t& lfOut, uint64_t& nulOut) {
        const __m256i blank = _mm256_set1_epi8(' ');
        const __m256i tab = _mm256_set1_epi8('\t');
        const __m256i four = _mm256_set1_epi8(4);
        const __m256i quote = _mm256_set1_epi8('"');
        const __m256i lf = _mm256_set1_epi8('\n');
        const __m256i zero = _mm256_setzero_si256();
        uint64_t bits[2][4];
        for (int half = 0; half < 2; ++half) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
            __m256i fromTab = _mm256_sub_epi8(v, tab);
            __m256i control = _mm256_cmpeq_epi8(_mm256_min_epu8(fromTab, four), fromTab);
            __m256i ws = _mm256_or_si256(control, _mm256_cmpeq_epi8(v, blank));
            bits[half][0] = static_cast<uint32_t>(_mm256_movemask_epi8(ws));
            bits[half][1] = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, quote)));
            bits[half][2] = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf)));
            bits[half][3] = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero)));
        }
        wsOut = bits[0][0] | bits[1][0] << 32;
        quoteOut = bits[0][1] | bits[1][1] << 32;
        lfOut = bits[0][2] | bits[1][2] << 32;
        nulOut = bits[0][3] | bits[1][3] << 32;
    }
#endif

    static void classify(const unsigned char* p, uint64_t& wsOut, uint64_t& quoteOut,
                         uint64_t& lfOut, uint64_t& nulOut) {
        uint64_t wsBits = 0, quoteBits = 0, lfBits = 0, nulBits = 0;
#ifdef __SSE2__
        const __m128i blank = _mm_set1_epi8(' ');
        const __m128i tab = _mm_set1_epi8('\t');
        const __m128i four = _mm_set1_epi8(4);
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i lf = _mm_set1_epi8('\n');
        for (int i = 0; i < 4; ++i) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            __m128i fromTab = _mm_sub_epi8(v, tab);
            __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, four), fromTab);
            __m128i ws = _mm_or_si128(control, _mm_cmpeq_epi8(v, blank));
            int shift = 16 * i;
            auto bitsOf = [](__m128i m) {
                return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m)));
            };
            wsBits |= bitsOf(ws) << shift;
            quoteBits |= bitsOf(_mm_cmpeq_epi8(v, quote)) << shift;
            lfBits |= bitsOf(_mm_cmpeq_epi8(v, lf)) << shift;
            nulBits |= bitsOf(_mm_cmpeq_epi8(v, _mm_setzero_si128())) << shift;
        }
#else
        for (int i = 0; i < 64; ++i) {
            uint64_t bit = uint64_t{1} << i;
            if (kWhitespace.ws[p[i]]) wsBits |= bit;
            if (p[i] == '"') quoteBits |= bit;
            if (p[i] == '\n') lfBits |= bit;
            if (p[i] == 0) nulBits |= bit;
        }
#endif
        wsOut = wsBits;
        quoteOut = quoteBits;
        lfOut = lfBits;
        nulOut = nulBits;
    }

    const unsigned char* m_data;
    size_t m_size;
    ReaderSimd m_simd;
    size_t m_base = SIZE_MAX / 2;  // first block of the chunk; none classified yet
    uint64_t m_ws[kChunkBlocks + 1];
    uint64_t m_quote[kChunkBlocks + 1];
    uint64_t m_lf[kChunkBlocks + 1];
    uint64_t m_nul[kChunkBlocks + 1];
};

// "%lf %% loading\n" of the position.
size_t formatProgress(char* out, size_t position, size_t size) {
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

    // Reads the whole file; `tail` (may be null) is a tail part being read meanwhile.
    bool readWhole(class TailReading* tail);
    // Reads the tail part to the end of the file.
    bool readTail();

private:
    friend class TailReading;

    bool fail(size_t at, const char* expected) {
        // A file that changed under us is reported as such by the caller, not by what its
        // zeros looked like.
        if (!m_path || (m_guard && m_guard->changed())) return false;
        flushConsole();  // progress lines come before the diagnostic
        diagnostic("%s: byte %zu: expected %s", m_path, at, expected);
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

// The tail part's reading as a job that whichever thread comes first runs: the worker
// below, or the first thread itself when it needs the part and nobody has started it. Shared,
// so that a worker that comes too late finds it taken even once the reading is over.
struct TailJob {
    std::atomic<int> state{0};  // 0 waiting, 1 running, 2 done
    std::function<bool()> read;
    bool ok = false;
    std::mutex mutex;
    std::condition_variable finished;

    // Runs the job if nobody has yet; true if this call ran it.
    bool claimAndRun() {
        int waiting = 0;
        if (!state.compare_exchange_strong(waiting, 1)) return false;
        bool result = read();
        std::lock_guard<std::mutex> lock(mutex);
        ok = result;
        state.store(2);
        finished.notify_all();
        return true;
    }
    bool wait() {
        claimAndRun();
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [this] { return state.load() == 2; });
        return ok;
    }
};

// One thread kept for the tail parts: starting a thread for every reading costs more than
// reading a small file, and waiting for a sleeping thread to wake costs as much again; so the
// job is offered to the worker, and the first thread takes it back if the worker has not
// started it by the time the first thread's own reading gets there.
class TailWorker {
public:
    // Offers the job; false if the worker is busy with another.
    static bool offer(const std::shared_ptr<TailJob>& job) {
        static TailWorker* worker = start();  // lives as long as the process
        if (!worker) return false;
        std::lock_guard<std::mutex> lock(worker->m_mutex);
        if (worker->m_job) return false;
        worker->m_job = job;
        worker->m_taken = false;
        worker->m_wake.notify_one();
        return true;
    }

    // Called once the job is done: takes it back if the worker never woke for it, or waits
    // for the worker to let go of it (it has nothing left to do with it then). So the job
    // goes when its reading does, not whenever a late worker gets round to dropping it.
    static void release(const std::shared_ptr<TailJob>& job) {
        TailWorker* worker = s_worker.load(std::memory_order_acquire);
        if (!worker) return;
        std::unique_lock<std::mutex> lock(worker->m_mutex);
        if (worker->m_job != job) return;
        if (!worker->m_taken) {
            worker->m_job.reset();
            return;
        }
        worker->m_idle.wait(lock, [&] { return worker->m_job != job; });
    }

private:
    static TailWorker* start() {
        auto* worker = new TailWorker;
        try {
            std::thread([worker] { worker->run(); }).detach();
        } catch (const std::system_error&) {
            delete worker;
            return nullptr;
        }
        s_worker.store(worker, std::memory_order_release);
        return worker;
    }
    [[noreturn]] void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_job != nullptr && !m_taken; });
            m_taken = true;
            std::shared_ptr<TailJob> job = m_job;
            lock.unlock();
            job->claimAndRun();
            job.reset();
            lock.lock();
            m_job.reset();  // free for the next reading only once this one is done
            m_idle.notify_all();
        }
    }
    static inline std::atomic<TailWorker*> s_worker{nullptr};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::shared_ptr<TailJob> m_job;
    bool m_taken = false;  // the worker has woken for m_job
};

// A tail part read on a second thread.
class TailReading {
public:
    // `file`, when the bytes are a file's, is told which pages the part will read.
    TailReading(const unsigned char* data, size_t size, size_t start, const MappedFile* file)
        : m_parser(data, size, start, m_stop), m_job(std::make_shared<TailJob>()) {
        // The first thread recognises the part's start when its own reading takes a token
        // from this very byte: from there on both read the same bytes the same way.
        m_firstToken = Scanner(data, size).nextNonWhitespace(start);
        m_job->read = [this, file, start, size] {
            if (file) file->populate(start, size);
            return m_parser.readTail();
        };
        // A large part that the worker cannot take gets a thread of its own; a small one is
        // read by the first thread when it gets there.
        if (!TailWorker::offer(m_job) && size >= kSplitMinimum)
            m_thread = std::thread([job = m_job] { job->claimAndRun(); });
    }
    ~TailReading() { finish(); }

    size_t firstToken() const { return m_firstToken; }
    void abandon() { m_stop.store(true, std::memory_order_relaxed); }
    // Waits for the part to be read (reading it here if nobody has started); true if it was
    // read to the end of the file.
    bool finish() {
        bool ok = m_job->wait();
        if (m_thread.joinable()) m_thread.join();
        TailWorker::release(m_job);
        return ok;
    }
    Parser& parser() { return m_parser; }

private:
    std::atomic<bool> m_stop{false};
    Parser m_parser;
    std::shared_ptr<TailJob> m_job;
    size_t m_firstToken = 0;
    std::thread m_thread;  // when the worker was busy
};

bool Parser::readTail() {
    m_holder.level = -1;  // top-level nodes of the part count as level 0
    m_open.push_back({&m_holder, 0});
    Span t;
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

bool Parser::readWhole(TailReading* tail) {
    Span t;
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

// Reads `size` bytes at `data`, a file's (`file`) or a caller's (null); `label` names them in
// the diagnostic.
int readWith(ClassificationTree& tree, const char* label, const unsigned char* data, size_t size,
             const MappedFile* file, size_t splitAt, bool chooseSplitAt) {
    if (chooseSplitAt) {
        splitAt = size >= kSplitMinimum && std::thread::hardware_concurrency() > 1
                      ? chooseSplit(data, size)
                      : 0;
    }
    const MappingGuard* guard = file ? file->guard() : nullptr;
    // Everything is read into a tree of our own and handed over only when complete, so
    // that a failure leaves the caller's tree as it was.
    auto fresh = std::make_unique<ClassificationTree>();
    {
        std::unique_ptr<TailReading> tail;
        try {
            if (splitAt > 0 && splitAt < size)
                tail = std::make_unique<TailReading>(data, size, splitAt, file);
        } catch (const std::system_error&) {  // no second thread to be had: read alone
        }
        if (file) file->populate(0, tail ? splitAt : size);
        Parser reader(label, data, size, *fresh, guard);
        bool ok = reader.readWhole(tail.get());
        if (tail) tail->abandon();
        // The reader's open branches take over their gathered children either way, so
        // that the tree owns every node it was given.
        if (!ok && !(guard && guard->changed())) return 0;
    }
    // Checked once both threads are done with the bytes: what was read from a file that
    // shrank meanwhile is not the file, whether or not it made sense.
    if (guard && guard->changed()) {
        diagnostic("%s: byte %zu: the file changed while it was read (it was shortened)", label,
                   guard->changedAt());
        return 0;
    }
    ClassificationTree& f = *fresh;
    f.fileSize = static_cast<int64_t>(size);
    // Fields the reader does not own keep the caller's values.
    f.x = tree.x;
    f.y = tree.y;
    f.width = tree.width;
    f.height = tree.height;
    f.overviewX = tree.overviewX;
    f.overviewY = tree.overviewY;
    f.overviewWidth = tree.overviewWidth;
    f.overviewHeight = tree.overviewHeight;
    f.hitLeft = tree.hitLeft;
    f.hitRight = tree.hitRight;
    f.hitBottom = tree.hitBottom;
    f.hitTop = tree.hitTop;
    f.descendantCount = tree.descendantCount;
    f.combinedDescendantCount = tree.combinedDescendantCount;
    f.maxLevel = tree.maxLevel;
    f.treeId = tree.treeId;
    tree.swapContents(f);
    return 1;
}

}  // namespace

namespace {

int readFile(ClassificationTree& tree, const char* path, size_t splitAt, bool chooseSplitAt) {
    MappedFile file;
    std::string error = file.load(path);
    if (!error.empty()) {
        diagnostic("%s: byte 0: %s", path, error.c_str());
        return 0;
    }
    return readWith(tree, path, file.bytes(), file.size(), &file, splitAt, chooseSplitAt);
}

const unsigned char* bytesOf(const char* data, size_t size) {
    // A caller with nothing to read may pass no pointer at all.
    return size == 0 ? reinterpret_cast<const unsigned char*>("")
                     : reinterpret_cast<const unsigned char*>(data);
}

}  // namespace

int readClassification(ClassificationTree& tree, const char* path) {
    return readFile(tree, path, 0, true);
}

int readClassificationSplitAt(ClassificationTree& tree, const char* path, size_t splitAt) {
    return readFile(tree, path, splitAt, false);
}

int readClassificationBytes(ClassificationTree& tree, const char* data, size_t size,
                            const char* label) {
    return readWith(tree, label, bytesOf(data, size), size, nullptr, 0, true);
}

int readClassificationBytesSplitAt(ClassificationTree& tree, const char* data, size_t size,
                                   const char* label, size_t splitAt) {
    return readWith(tree, label, bytesOf(data, size), size, nullptr, splitAt, false);
}
