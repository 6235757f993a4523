// Ranks from the shape of a name: the words of a Latin name after its genus.
#include "NameShape.h"

#include <array>

#include "NameCleaning.h"

namespace imp {

namespace {

bool isUpper(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
bool isLower(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 0xDF && c != 0xF7); }

// A genus: a capital and then lower-case letters (a hyphen inside allowed).
bool isGenusWord(std::string_view w) {
    if (w.size() < 2 || !isUpper(static_cast<unsigned char>(w[0]))) return false;
    for (size_t i = 1; i < w.size(); ++i) {
        auto c = static_cast<unsigned char>(w[i]);
        if (!isLower(c) && !(c == '-' && i + 1 < w.size())) return false;
    }
    return true;
}

// An epithet: lower-case letters, hyphens inside ("novae-angliae").
bool isEpithetWord(std::string_view w) {
    if (w.empty() || !isLower(static_cast<unsigned char>(w[0]))) return false;
    for (size_t i = 1; i < w.size(); ++i) {
        auto c = static_cast<unsigned char>(w[i]);
        if (!isLower(c) && !(c == '-' && i + 1 < w.size())) return false;
    }
    return true;
}

// The connecting words of infraspecific names and the ranks they stand for.
struct Marker {
    std::string_view word, rank;
};
constexpr std::array<Marker, 8> kMarkers{{{"subsp.", "Subspecies"},
                                          {"ssp.", "Subspecies"},
                                          {"var.", "Variety"},
                                          {"subvar.", "Subvariety"},
                                          {"f.", "Form"},
                                          {"fo.", "Form"},
                                          {"forma", "Form"},
                                          {"subf.", "Subform"}}};

}  // namespace

std::string_view rankByShape(std::string_view name) {
    std::array<std::string_view, 8> words{};
    size_t count = 0, from = 0;
    while (from < name.size() && count < words.size()) {
        while (from < name.size() && name[from] == ' ') ++from;
        size_t to = name.find(' ', from);
        if (to == std::string_view::npos) to = name.size();
        if (to > from) words[count++] = name.substr(from, to - from);
        from = to;
    }
    if (count < 2 || !isGenusWord(words[0])) return "";
    size_t at = 1;
    // "Canis (Canis) lupus": the subgenus says nothing of the rank.
    if (words[at].size() > 2 && words[at].front() == '(' && words[at].back() == ')') ++at;
    size_t epithets = 0;
    std::string_view marked;  // the rank a connecting word gave
    for (; at < count; ++at) {
        std::string_view w = words[at];
        const Marker* marker = nullptr;
        for (const Marker& m : kMarkers)
            if (w == m.word) marker = &m;
        if (marker) {
            // A connecting word stands between epithets.
            if (epithets == 0 || at + 1 >= count || !isEpithetWord(words[at + 1])) return "";
            marked = marker->rank;
            ++epithets;
            ++at;
            continue;
        }
        if (!isEpithetWord(w)) break;  // the authorship begins
        if (!marked.empty()) return "";
        ++epithets;
    }
    if (!marked.empty()) return marked;
    if (epithets == 1) return "Species";
    if (epithets == 2) return "Subspecies";
    return "";
}

bool isEmptyRank(std::string_view written) {
    size_t from = written.find_first_not_of(" \t\r");
    if (from == std::string_view::npos) return true;
    size_t to = written.find_last_not_of(" \t\r");
    return isNullMarker(written.substr(from, to + 1 - from));
}

}  // namespace imp
