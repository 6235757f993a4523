// The evidence words, and how authorships and epithets are compared.
#include <algorithm>
#include <cctype>
#include <vector>

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
        case RenameEvidence::Spelling: return "spelling";
    }
    return "";
}

bool renameEvidenceFromName(std::string_view name, RenameEvidence& evidence) {
    for (RenameEvidence e : {RenameEvidence::Id, RenameEvidence::Synonym,
                             RenameEvidence::Epithet, RenameEvidence::Ending,
                             RenameEvidence::Spelling})
        if (name == renameEvidenceName(e)) {
            evidence = e;
            return true;
        }
    return false;
}

std::string normaliseAuthorship(std::string_view text) {
    // Particles of surnames, which one release writes and the next leaves out ("von Schreber",
    // "Schreber").
    static constexpr std::string_view kParticles[] = {"von", "van", "de", "da", "du", "der",
                                                      "den", "del", "della", "di", "dos", "das",
                                                      "la", "le", "zu"};
    std::string out, word;
    bool inWork = false;  // after "in": the authors of the work the name was published in
    auto flush = [&] {
        size_t letters = 0;
        for (char c : word) letters += isLetter(static_cast<unsigned char>(c));
        const bool digits = !word.empty() && std::isdigit(static_cast<unsigned char>(word[0]));
        if (word == "in") inWork = true;
        const bool particle = std::find(std::begin(kParticles), std::end(kParticles), word) !=
                              std::end(kParticles);
        // Initials ("G", "K", "-P") and the words that join authors go.
        if ((digits || (letters > 1 && !inWork && !particle)) && word != "and" && word != "et" &&
            word != "ex" && word != "in") {
            if (!out.empty()) out += ' ';
            out += word;
        }
        word.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // Apostrophes part "d'Orbigny" as the initial and the name, in ASCII, ISO-8859-1's
        // neighbours and UTF-8 alike.
        const bool curly = c == 0xE2 && i + 2 < text.size() &&
                           static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                           static_cast<unsigned char>(text[i + 2]) == 0x99;
        if (c == ' ' || c == ',' || c == '(' || c == ')' || c == '&' || c == '.' || c == '\t' ||
            c == '\'' || c == 0x92 || c == 0xB4 || c == '`' || curly) {
            flush();
            if (curly) i += 2;
        } else {
            word += static_cast<char>(c < 0x80 ? std::tolower(c) : c);
        }
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
    // A year a release corrects by one (the date a part was really issued) is the same work;
    // years further apart are not.
    if (!y1.empty() && !y2.empty() && y1 != y2) {
        if (y1.size() > 9 || y2.size() > 9) return false;
        const long d = std::stol(std::string(y1)) - std::stol(std::string(y2));
        if (d < -1 || d > 1) return false;
    }
    // The first author stands for the rest: lists of co-authors are spelt out, cut short and
    // reordered from release to release.
    // A surname misspelt in one ("Buchannan", "Prentiss") is still the same.
    auto first = [](std::string_view names) { return names.substr(0, names.find(' ')); };
    return n1.empty() || n2.empty() || spellingVariants(first(n1), first(n2));
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


bool spellingVariants(std::string_view a, std::string_view b) {
    constexpr size_t kMost = 2, kShortest = 5;
    if (a == b) return true;
    if (std::min(a.size(), b.size()) < kShortest) return false;
    if (a.size() > b.size() + kMost || b.size() > a.size() + kMost) return false;
    // Edit distance, row by row.
    std::vector<size_t> row(b.size() + 1), next(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        next[0] = i;
        size_t least = next[0];
        for (size_t j = 1; j <= b.size(); ++j) {
            next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] != b[j - 1])});
            least = std::min(least, next[j]);
        }
        if (least > kMost) return false;
        row.swap(next);
    }
    return row[b.size()] <= kMost;
}
