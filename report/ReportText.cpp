#include "ChangeReport.h"

#include <QList>
#include <QString>

namespace {

// U+FFFD, for what no page may hold.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The characters of markup, escaped; false for any other.
bool appendEscaped(std::string& out, char c) {
    switch (c) {
        case '&': out += "&amp;"; return true;
        case '<': out += "&lt;"; return true;
        case '>': out += "&gt;"; return true;
        case '"': out += "&quot;"; return true;
        case '\'': out += "&#39;"; return true;
        default: return false;
    }
}

bool isControl(unsigned c) { return (c < 0x20 && c != '\t' && c != '\n') || (c >= 0x7F && c < 0xA0); }

}  // namespace

void appendHtmlLatin1(std::string& out, std::string_view latin1) {
    for (const char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (appendEscaped(out, ch)) continue;
        if (isControl(c)) {
            out += kReplacement;
        } else if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

void appendHtmlUtf8(std::string& out, std::string_view utf8) {
    // Through Qt's decoder, which turns broken sequences into U+FFFD.
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (const char32_t u : text.toUcs4()) {
        if (u < 0x80 && appendEscaped(out, static_cast<char>(u))) continue;
        if (isControl(u)) out += kReplacement;
        else out += QString::fromUcs4(&u, 1).toStdString();
    }
}
