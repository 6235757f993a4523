#include "Spellings.h"

#include <algorithm>
#include <array>

namespace {

bool lowerLetter(unsigned char c) {
    // ISO-8859-1's lower-case letters, less the division sign.
    return (c >= 'a' && c <= 'z') || (c >= 0xDF && c != 0xF7);
}

bool hybridSign(std::string_view word) {
    // "×" in ISO-8859-1 or in UTF-8, standing alone or written onto the name it marks.
    return word == "x" || word == "X" || (!word.empty() && static_cast<unsigned char>(word[0]) == 0xD7) ||
           word.substr(0, 2) == "\xC3\x97";
}

}  // namespace

size_t spellingEdits(std::string_view a, std::string_view b, size_t most) {
    if (a.size() > b.size() + most || b.size() > a.size() + most) return most + 1;
    // The optimal string alignment distance, three rows at a time; words are short.
    constexpr size_t kLongest = 64;
    if (b.size() >= kLongest) return a == b ? 0 : most + 1;
    std::array<size_t, kLongest + 1> before{}, row{}, next{};
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        next[0] = i;
        size_t least = next[0];
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t d = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d = std::min(d, before[j - 2] + 1);
            next[j] = d;
            least = std::min(least, d);
        }
        // A swap reaches back two rows: give up only once both are past the limit.
        if (least > most && *std::min_element(row.begin(), row.begin() + b.size() + 1) > most)
            return most + 1;
        before = row;
        row = next;
    }
    return std::min(row[b.size()], most + 1);
}

bool plainEpithet(std::string_view word) {
    if (word.empty() || word.front() == '-' || word.back() == '-') return false;
    for (size_t i = 0; i < word.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(word[i]);
        if (lowerLetter(c)) continue;
        if (c == '-' && word[i - 1] != '-') continue;
        return false;
    }
    return true;
}

bool unspellableName(std::string_view name) {
    size_t at = 0, word = 0;
    while (at < name.size()) {
        size_t end = name.find(' ', at);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view w = name.substr(at, end - at);
        if (hybridSign(w)) return true;
        // The one parenthesised word allowed: a capitalised subgenus after the genus.
        const bool subgenus = word == 1 && w.size() > 2 && w.front() == '(' && w.back() == ')' &&
                              w[1] >= 'A' && w[1] <= 'Z' &&
                              w.substr(1, w.size() - 2).find_first_of("()[]'\"") == std::string_view::npos;
        if (!subgenus && w.find_first_of("()[]{}'\"`") != std::string_view::npos) return true;
        at = end + 1;
        ++word;
    }
    return false;
}
