#include "Console.h"

#include <unistd.h>

#include <cstdarg>

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

FILE* consoleStream() { return g_console ? g_console : stdout; }
void setConsoleStream(FILE* stream) { g_console = stream; }

void consolePrintf(const char* format, ...) {
    FILE* out = consoleStream();
    va_list ap;
    va_start(ap, format);
    std::vfprintf(out, format, ap);
    va_end(ap);
    if (isInteractive(out)) std::fflush(out);
}

void diagnostic(const char* format, ...) {
    std::fflush(consoleStream());
    std::fflush(stdout);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
