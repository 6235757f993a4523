// What diff and relate print: standard output is unbuffered, and a report on two large
// classifications runs to hundreds of thousands of lines, so it is gathered and written in
// large blocks, in the terminal's character set.
#pragma once

#include <cstdio>
#include <string>

#include "TerminalText.h"

class CliOutput {
public:
    ~CliOutput() { flush(); }
    std::string& text() { return m_text; }
    void maybeFlush() {
        if (m_text.size() >= (1u << 20)) flush();
    }
    void flush() {
        const std::string text = latin1ToTerminal(m_text);
        std::fwrite(text.data(), 1, text.size(), stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};
