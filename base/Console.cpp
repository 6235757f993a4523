#include "Console.h"

#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

FILE* g_console = nullptr;

// A person watching a terminal must see every progress line the moment it is written.
// When the console is a file or a pipe nobody watches it line by line, and a flush per
// line (hundreds of thousands of progress lines for a large classification) would cost
// more than reading the file; there the stream's own buffering is kept, and anything
// written to standard error flushes the console first so the two stay in order.
bool isInteractive(FILE* stream) {
    static FILE* s_last = nullptr;
    static bool s_lastTty = false;
    if (stream != s_last) {
        int fd = fileno(stream);
        s_lastTty = fd >= 0 && isatty(fd);
        s_last = stream;
    }
    return s_lastTty;
}

}  // namespace

thread_local HeldConsole* t_held = nullptr;

ConsoleSink g_sink = nullptr;
void* g_sinkContext = nullptr;
ConsoleWordSource g_wordSource = nullptr;
void* g_wordContext = nullptr;

// Formats into `small` when it fits, else into `large`; returns the text and its length.
const char* formatLine(char* small, size_t smallSize, std::string& large, size_t& length,
                       const char* format, va_list ap) {
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(small, smallSize, format, ap);
    if (n < 0) {
        va_end(again);
        length = 0;
        return small;
    }
    length = static_cast<size_t>(n);
    if (length < smallSize) {
        va_end(again);
        return small;
    }
    large.resize(length + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    return large.data();
}

FILE* consoleStream() { return g_console ? g_console : stdout; }
void setConsoleStream(FILE* stream) { g_console = stream; }

void consolePrintf(const char* format, ...) {
    FILE* out = consoleStream();
    va_list ap;
    va_start(ap, format);
    if (t_held) {
        char small[512];
        std::string large;
        size_t length = 0;
        const char* text = formatLine(small, sizeof small, large, length, format, ap);
        va_end(ap);
        t_held->add(false, text, length);
        return;
    }
    if (!g_sink) {
        std::vfprintf(out, format, ap);
    } else {
        char small[512];
        std::string large;
        size_t length = 0;
        const char* text = formatLine(small, sizeof small, large, length, format, ap);
        std::fwrite(text, 1, length, out);
        g_sink(g_sinkContext, text, length);
    }
    va_end(ap);
    if (isInteractive(out)) std::fflush(out);
}

void setConsoleSink(ConsoleSink sink, void* context) {
    g_sink = sink;
    g_sinkContext = context;
}

void setConsoleWordSource(ConsoleWordSource source, void* context) {
    g_wordSource = source;
    g_wordContext = context;
}

bool consoleIsInteractive() { return !t_held && isInteractive(consoleStream()); }

void consoleWrite(const char* text, size_t length) {
    if (t_held) return t_held->add(false, text, length);
    FILE* out = consoleStream();
    std::fwrite(text, 1, length, out);
    if (g_sink) g_sink(g_sinkContext, text, length);
    if (isInteractive(out)) std::fflush(out);
}

size_t formatFixed6(char* out, double value) {
    if (!(value >= 0 && value < 1e9) || std::signbit(value))
        return static_cast<size_t>(std::snprintf(out, 320, "%lf", value));
    // value = m * 2^e exactly, with e below -22 for every value under 2^30; value * 10^6 =
    // m * 10^6 * 2^e, and m * 10^6 fits in 128 bits (m < 2^53, 10^6 < 2^20).
    uint64_t bits = std::bit_cast<uint64_t>(value);
    int exponent = static_cast<int>(bits >> 52);
    uint64_t m = bits & ((uint64_t{1} << 52) - 1);
    int e;
    if (exponent == 0) {
        e = -1074;
    } else {
        m |= uint64_t{1} << 52;
        e = exponent - 1075;
    }
    unsigned __int128 n = static_cast<unsigned __int128>(m) * 1000000u;
    uint64_t q = 0;
    if (-e < 128) {
        int shift = -e;
        q = static_cast<uint64_t>(n >> shift);
        unsigned __int128 rest = n & ((static_cast<unsigned __int128>(1) << shift) - 1);
        unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1))) ++q;
    }  // else below 2^-54: rounds to zero
    uint64_t whole = q / 1000000, fraction = q % 1000000;
    char digits[24];
    int n10 = 0;
    do {
        digits[n10++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole);
    size_t length = 0;
    while (n10) out[length++] = digits[--n10];
    out[length++] = '.';
    for (int i = 5; i >= 0; --i) {
        out[length + static_cast<size_t>(i)] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return length + 6;
}

void diagnostic(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char small[512];
    std::string large;
    size_t length = 0;
    const char* text = formatLine(small, sizeof small, large, length, format, ap);
    va_end(ap);
    if (t_held) return t_held->add(true, text, length);
    std::fflush(consoleStream());
    std::fflush(stdout);
    std::fwrite(text, 1, length, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    if (g_sink) {
        g_sink(g_sinkContext, text, length);
        g_sink(g_sinkContext, "\n", 1);
    }
}

HeldConsole::Scope::Scope(HeldConsole& held) : m_outer(t_held) { t_held = &held; }

HeldConsole::Scope::~Scope() { t_held = m_outer; }

void HeldConsole::add(bool isDiagnostic, const char* text, size_t length) {
    // Console lines written piece by piece join the piece before them.
    if (!isDiagnostic && !m_pieces.empty() && !m_pieces.back().diagnostic)
        m_pieces.back().text.append(text, length);
    else
        m_pieces.push_back({isDiagnostic, std::string(text, length)});
}

void HeldConsole::writeOut() {
    std::vector<Piece> pieces;
    pieces.swap(m_pieces);
    for (const Piece& p : pieces) {
        if (p.diagnostic) diagnostic("%s", p.text.c_str());
        else consoleWrite(p.text.data(), p.text.size());
    }
}

namespace {
FILE* g_consoleInput = nullptr;
}

void setConsoleInput(FILE* stream) { g_consoleInput = stream; }

bool consoleReadWord(char* word, size_t size) {
    if (size == 0) return false;
    word[0] = 0;
    if (g_wordSource) return g_wordSource(g_wordContext, word, size) && word[0];
    FILE* in = g_consoleInput;
    if (!in) {
        // Only a terminal that the viewer has in the foreground: reading one from the
        // background (started with `&`) would stop the whole process with SIGTTIN.
        if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) != getpgrp()) return false;
        in = stdin;
    }
    // The whitespace of formatted input in the C locale.
    auto blank = [](int c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    int c;
    do c = std::getc(in);
    while (c != EOF && blank(c));
    size_t length = 0;
    while (c != EOF && !blank(c)) {
        word[length++] = static_cast<char>(c);
        if (length + 1 == size) break;
        c = std::getc(in);
    }
    if (c != EOF && blank(c)) std::ungetc(c, in);
    word[length] = 0;
    return length > 0;
}
