// The console: progress lines go to a stream that defaults to standard output and can be
// pointed elsewhere (the command-line tool sends them to standard error for some
// subcommands; tests capture them). Diagnostics always go to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

FILE* consoleStream();
void setConsoleStream(FILE* stream);

// Formatted progress line, written at once (the stream is flushed after each line).
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True when someone watches the console line by line (a terminal): lines must then be
// written the moment they are made, not gathered.
bool consoleIsInteractive();

// Bytes already formatted as one or more whole console lines, written at once (flushed as
// consolePrintf's are).
void consoleWrite(const char* text, size_t length);

// Writes `value` as printf's "%lf" does (six decimals, correctly rounded, ties to even)
// into `out`, which must hold 320 bytes, and returns the length written (no terminating
// zero). Several times faster than printf for the values below a billion that progress
// lines show, which is what matters with one progress line per branch.
size_t formatFixed6(char* out, double value);

// A second place that shows the console (the viewer's console window): it is given every
// byte written to the console, and every diagnostic line, after the stream has it. Null
// to stop.
using ConsoleSink = void (*)(void* context, const char* text, size_t length);
void setConsoleSink(ConsoleSink sink, void* context);
// Where consoleReadWord takes its word from instead of a stream (the console window asks
// for it there): the source fills `word` (at most size - 1 bytes and a zero) and returns
// false when none was given. Null to read streams again.
using ConsoleWordSource = bool (*)(void* context, char* word, size_t size);
void setConsoleWordSource(ConsoleWordSource source, void* context);

// Where console input comes from: standard input unless a stream is set here (null sets
// standard input again).
void setConsoleInput(FILE* stream);
// Reads one whitespace-delimited word of at most size - 1 bytes, as scanf's "%63s" does for
// 64 bytes, leaving the byte after it unread. Standard input is read only when it is a
// terminal: a pipe or a closed input must never make the viewer wait for a word nobody can
// type. False, with `word` empty, when no word could be read.
bool consoleReadWord(char* word, size_t size);

// One diagnostic line on standard error; the newline is added.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// What one thread would write to the console, kept back and written later, in its order,
// from another thread: work run beside other work that prints keeps its lines for their
// turn, and drops them when that turn never comes. While a Scope of it is open on a
// thread, that thread's console lines and diagnostics go into it and nowhere else (no
// stream, no sink); consoleIsInteractive() answers false there, as nobody watches them.
class HeldConsole {
public:
    class Scope {
    public:
        explicit Scope(HeldConsole& held);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HeldConsole* m_outer;
    };

    void add(bool isDiagnostic, const char* text, size_t length);
    // Writes what was held as it would have been written, and forgets it. Not while a
    // Scope of it is open.
    void writeOut();

private:
    struct Piece {
        bool diagnostic;
        std::string text;
    };
    std::vector<Piece> m_pieces;
};
