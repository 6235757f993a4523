#include "TerminalText.h"

#include "Console.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* kNames = "ISO-8859-1";

// The user's locale, looked up without making it the process's.
locale_t userLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

std::string lookUpCharacterSet() {
    const char* set = userLocale() ? nl_langinfo_l(CODESET, userLocale()) : "";
    // glibc calls ASCII "ANSI_X3.4-1968"; other libraries "US-ASCII" or nothing at all.
    if (!set || !*set || !std::strcmp(set, "ANSI_X3.4-1968") || !strcasecmp(set, "US-ASCII") ||
        !strcasecmp(set, "ASCII"))
        return "UTF-8";
    return set;
}

bool isNamesSet(const char* set) {
    return !strcasecmp(set, "ISO-8859-1") || !strcasecmp(set, "ISO8859-1") ||
           !strcasecmp(set, "LATIN1");
}

// Runs iconv in the user's locale (its transliteration tables) on the calling thread.
class Conversion {
public:
    Conversion(const std::string& to, const char* from) {
        m_cd = iconv_open(to.c_str(), from);
    }
    ~Conversion() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
    }
    bool usable() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`; at a character it cannot convert, calls `stuck` with the rest
    // of the input, which skips what it likes (returns the bytes skipped, 0 to give up)
    // and may append to `out`. False when it gave up.
    template <typename Stuck>
    bool run(std::string_view in, std::string& out, Stuck stuck) {
        const locale_t previous = uselocale(userLocale());
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        bool ok = true;
        char buffer[4096];
        while (srcLeft) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
            const size_t skip = stuck(std::string_view(src, srcLeft), out);
            if (!skip) {
                ok = false;
                break;
            }
            src += skip;
            srcLeft -= skip;
        }
        if (ok) {  // the closing shift sequence of a stateful set
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
        }
        uselocale(previous);
        return ok;
    }

private:
    iconv_t m_cd;
};

}  // namespace

const char* terminalCharacterSet() {
    static const std::string set = lookUpCharacterSet();
    return set.c_str();
}

std::string latin1ToTerminal(std::string_view latin1) {
    const char* set = terminalCharacterSet();
    if (isNamesSet(set)) return std::string(latin1);
    // One per thread: a descriptor carries its conversion state.
    thread_local Conversion toTerminal(std::string(set) + "//TRANSLIT", kNames);
    if (!toTerminal.usable()) return std::string(latin1);
    std::string out;
    out.reserve(latin1.size() + latin1.size() / 8);
    // Every byte is a character of ISO-8859-1: one the set cannot spell becomes '?'.
    toTerminal.run(latin1, out, [](std::string_view, std::string& text) {
        text += '?';
        return size_t{1};
    });
    return out;
}

bool terminalToLatin1(std::string_view typed, std::string& latin1) {
    latin1.clear();
    const char* set = terminalCharacterSet();
    if (isNamesSet(set)) {
        latin1.assign(typed);
        return true;
    }
    Conversion toNames(kNames, set);
    if (!toNames.usable()) {
        latin1.assign(typed);
        return true;
    }
    if (toNames.run(typed, latin1, [](std::string_view, std::string&) { return size_t{0}; }))
        return true;
    // Either a character ISO-8859-1 lacks, or bytes that are no text in this set.
    std::string unused;
    Conversion check("UTF-8", set);
    const bool text = check.usable() &&
                      check.run(typed, unused, [](std::string_view, std::string&) { return size_t{0}; });
    if (text) {
        latin1.clear();
        return false;
    }
    latin1.assign(typed);
    return true;
}

namespace {

ssize_t writeConverted(void* cookie, const char* data, size_t size) {
    FILE* target = static_cast<FILE*>(cookie);
    const std::string text = latin1ToTerminal(std::string_view(data, size));
    if (std::fwrite(text.data(), 1, text.size(), target) != text.size()) return -1;
    std::fflush(target);
    return static_cast<ssize_t>(size);
}

}  // namespace

TerminalStream::TerminalStream(FILE* target) : m_target(target), m_stream(target) {
    if (isNamesSet(terminalCharacterSet())) return;
    cookie_io_functions_t io{};
    io.write = writeConverted;
    FILE* stream = fopencookie(target, "w", io);
    if (!stream) return;
    const int fd = fileno(target);
    std::setvbuf(stream, nullptr, fd >= 0 && isatty(fd) ? _IOLBF : _IOFBF, 1 << 16);
    m_stream = stream;
}

TerminalStream::~TerminalStream() {
    if (m_stream != m_target) std::fclose(m_stream);
}

TerminalConsole::TerminalConsole(FILE* target) : m_stream(target), m_previous(consoleStream()) {
    setConsoleStream(m_stream.get());
}

TerminalConsole::~TerminalConsole() {
    flush();
    setConsoleStream(m_previous);
}

void TerminalConsole::flush() { std::fflush(m_stream.get()); }
