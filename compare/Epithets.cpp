// The evidence words, and how authorships and epithets are compared.
#include <algorithm>
#include <cctype>

#include "Epithets.h"
#include "Renames.h"

namespace {
bool isLetter(unsigned char c) { return std::isalpha(c) || c >= 0xC0; }
}  // namespace

const char* renameEvidenceName(RenameEvidence evidence) {
    switch (evidence) {
        case RenameEvidence::Id: return "id";
        case RenameEvidence::Synonym: return "synonym";
        case RenameEvidence::Epithet: return "epithet";
        case RenameEvidence::Ending: return "ending";
    }
    return "";
}

bool renameEvidenceFromName(std::string_view name, RenameEvidence& evidence) {
    for (RenameEvidence e : {RenameEvidence::Id, RenameEvidence::Synonym,
                             RenameEvidence::Epithet, RenameEvidence::Ending})
        if (name == renameEvidenceName(e)) {
            evidence = e;
            return true;
        }
    return false;
}

std::string normaliseAuthorship(std::string_view text) {
    std::string out, word;
    auto flush = [&] {
        size_t letters = 0;
        for (char c : word) letters += isLetter(static_cast<unsigned char>(c));
        const bool digits = !word.empty() && std::isdigit(static_cast<unsigned char>(word[0]));
        // Initials ("G", "K", "-P") and the words that join authors go.
        if ((digits || letters > 1) && word != "and" && word != "et" && word != "ex" &&
            word != "in") {
            if (!out.empty()) out += ' ';
            out += word;
        }
        word.clear();
    };
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ' ' || c == ',' || c == '(' || c == ')' || c == '&' || c == '.' || c == '\t')
            flush();
        else
            word += static_cast<char>(c < 0x80 ? std::tolower(c) : c);
    }
    flush();
    return out;
}

bool sameAuthorship(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) return true;
    // The year, if any, is the last word of digits.
    auto split = [](std::string_view s, std::string_view& names, std::string_view& year) {
        const size_t blank = s.rfind(' ');
        std::string_view last = blank == std::string_view::npos ? s : s.substr(blank + 1);
        const bool digits = !last.empty() && std::all_of(last.begin(), last.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
        names = digits ? (blank == std::string_view::npos ? std::string_view() : s.substr(0, blank))
                       : s;
        year = digits ? last : std::string_view();
    };
    std::string_view n1, y1, n2, y2;
    split(a, n1, y1);
    split(b, n2, y2);
    if (!y1.empty() && !y2.empty() && y1 != y2) return false;
    return n1 == n2 || n1.empty() || n2.empty();
}

bool genderVariants(std::string_view a, std::string_view b) {
    if (a == b) return false;
    bool found = false;
    endingReadings(a, [&](size_t g, std::string_view stem) {
        endingReadings(b, [&](size_t h, std::string_view other) {
            found |= g == h && stem == other;
        });
    });
    return found;
}

