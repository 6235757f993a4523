#include "Console.h"

#include <cstdarg>

namespace {
FILE* g_console = nullptr;
}

FILE* consoleStream() { return g_console ? g_console : stdout; }
void setConsoleStream(FILE* stream) { g_console = stream; }

void consolePrintf(const char* format, ...) {
    FILE* out = consoleStream();
    va_list ap;
    va_start(ap, format);
    std::vfprintf(out, format, ap);
    va_end(ap);
    std::fflush(out);
}

void diagnostic(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
