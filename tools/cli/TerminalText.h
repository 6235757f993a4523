// The command line speaks the terminal's language: names are kept as ISO-8859-1 bytes, a
// terminal reads and types the character set of the user's locale (LC_CTYPE, LC_ALL,
// LANG). These convert at the tool's edges: what a subcommand prints, and the text
// arguments it is given (never file names, which are bytes the file system keeps).
//
// The locale is looked up once and used only for these conversions; the process keeps
// the C locale, so that nothing else (number formats, the readers' byte classes) changes
// with it. A locale without a character set of its own (C, POSIX: plain ASCII) is taken
// as UTF-8, as terminals today are: ASCII would lose every accented name.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The character set text is converted to and from, as iconv names it ("UTF-8",
// "ISO-8859-15", ...).
const char* terminalCharacterSet();

// ISO-8859-1 bytes in the terminal's character set. A character the set lacks is written
// as the locale spells it without (ñ as n, or ?).
std::string latin1ToTerminal(std::string_view latin1);

// An argument typed in the terminal's character set, as names are kept. False when it
// holds a character that ISO-8859-1 lacks (no name can contain it); `latin1` is then
// empty. Bytes that are no text in the terminal's set are taken as ISO-8859-1 as they
// stand, as the importers take them.
bool terminalToLatin1(std::string_view typed, std::string& latin1);

// A stream whose ISO-8859-1 bytes reach `target` in the terminal's character set, for
// console lines that carry names. Line-buffered when `target` is a terminal, so that
// progress shows as it comes. Closing it flushes it; the target stays open.
class TerminalStream {
public:
    explicit TerminalStream(FILE* target);
    ~TerminalStream();
    TerminalStream(const TerminalStream&) = delete;
    TerminalStream& operator=(const TerminalStream&) = delete;
    // The converting stream (the target itself when no conversion is needed).
    FILE* get() const { return m_stream; }

private:
    FILE* m_target;
    FILE* m_stream;
};

// The console's lines (progress, census) go through a TerminalStream to `target` while
// this lives; the console's previous stream comes back after.
class TerminalConsole {
public:
    explicit TerminalConsole(FILE* target);
    ~TerminalConsole();
    TerminalConsole(const TerminalConsole&) = delete;
    TerminalConsole& operator=(const TerminalConsole&) = delete;
    // Writes out what waits in the stream, before anything else reaches the same target.
    void flush();

private:
    TerminalStream m_stream;
    FILE* m_previous;
};
