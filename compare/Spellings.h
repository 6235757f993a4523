// Other spellings of one epithet, as releases of a checklist correct them ("tianshanica",
// "tianschanica"; "neobritannicus", "neobrittanicus"): how close two spellings are, which
// words and names can be told apart so at all, and the keys under which close spellings meet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Letters added, dropped or changed, two adjacent letters swapped counting as one, up to
// `most`: more than `most` is given as most + 1.
size_t spellingEdits(std::string_view a, std::string_view b, size_t most);

// The shortest epithet whose spellings are compared, and how many edits make another
// spelling of it.
inline constexpr size_t kShortestSpelt = 5;
inline constexpr size_t kMostSpellingEdits = 2;

// An epithet of letters (and hyphens between them, "novae-angliae"): no digits, quotes,
// brackets, periods or hybrid signs.
bool plainEpithet(std::string_view word);
// A name whose spelling says nothing of its taxon: a hybrid formula ("x" or "×" as a word or
// before one) or a name with a quoted or bracketed part (a subgenus in parentheses after the
// genus excepted).
bool unspellableName(std::string_view name);

// Calls f(hash) for the word and every word made of it by dropping up to `kMostSpellingEdits`
// letters. Two spellings within that many edits (a swap of adjacent letters included) share
// one of these, each having dropped at most that many letters: a letter changed or two
// swapped is one dropped on either side, one added is one dropped on the other.
template <class F>
void deletionKeys(std::string_view word, F&& f) {
    auto hash = [](std::string_view w, size_t skip1, size_t skip2) {
        uint64_t h = 1469598103934665603ull;
        for (size_t i = 0; i < w.size(); ++i)
            if (i != skip1 && i != skip2) h = (h ^ static_cast<unsigned char>(w[i])) * 1099511628211ull;
        return h;
    };
    constexpr size_t kNone = SIZE_MAX;
    f(hash(word, kNone, kNone));
    for (size_t i = 0; i < word.size(); ++i) {
        // Dropping either letter of a doubled pair makes the same word: once is enough.
        if (i > 0 && word[i] == word[i - 1]) continue;
        f(hash(word, i, kNone));
        for (size_t j = i + 1; j < word.size(); ++j) {
            if (j > i + 1 && word[j] == word[j - 1]) continue;
            f(hash(word, i, j));
        }
    }
}

// How many words deletionKeys makes of a word of `letters` letters, at most.
inline size_t deletionKeyCount(size_t letters) { return 1 + letters + letters * (letters - 1) / 2; }

// Sorts keys in place, a 16-bit digit at a time from the lowest (digits that all keys share
// are passed over); `scratch` is working space.
void radixSort(std::vector<uint64_t>& keys, std::vector<uint64_t>& scratch);
