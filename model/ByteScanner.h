// The classification reader's byte classifier: whitespace, quotes, line feeds and NULs found
// a chunk of the file at a time with the widest vector instructions the processor has.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ClassificationReader.h"

namespace model {

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

}  // namespace model
