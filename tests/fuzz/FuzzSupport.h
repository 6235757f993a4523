// Shared by the fuzz targets and by the driver that replays their findings in ordinary test
// builds.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Console.h"

namespace fuzz {

// A finding: says what broke and aborts, which libFuzzer and the replay test both catch.
[[noreturn]] inline void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
    std::abort();
}

// The console as a string that each run empties: progress lines cost no system call, and a
// target can compare what two readings printed.
class CapturedConsole {
public:
    CapturedConsole() {
        cookie_io_functions_t io = {};
        io.write = [](void* self, const char* text, size_t length) -> ssize_t {
            static_cast<std::string*>(self)->append(text, length);
            return static_cast<ssize_t>(length);
        };
        m_stream = fopencookie(&m_text, "w", io);
        if (!m_stream) fail("cannot open the console capture");
        setConsoleStream(m_stream);
    }
    ~CapturedConsole() {
        setConsoleStream(nullptr);
        std::fclose(m_stream);
    }
    // What was printed since the last take.
    std::string take() {
        std::fflush(m_stream);
        std::string text;
        text.swap(m_text);
        return text;
    }

private:
    std::string m_text;
    FILE* m_stream = nullptr;
};

inline CapturedConsole& console() {
    static CapturedConsole captured;
    return captured;
}

}  // namespace fuzz
