// The console: progress lines go to a stream that defaults to standard output and can be
// pointed elsewhere (the command-line tool sends them to standard error for some
// subcommands; tests capture them). Diagnostics always go to standard error.
#pragma once

#include <cstdio>

FILE* consoleStream();
void setConsoleStream(FILE* stream);

// Formatted progress line, written at once (the stream is flushed after each line).
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One diagnostic line on standard error; the newline is added.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));
