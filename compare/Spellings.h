// Other spellings of one epithet, as releases of a checklist correct them ("tianshanica",
// "tianschanica"; "neobritannicus", "neobrittanicus"): how close two spellings are, which
// words and names can be told apart so at all, and the keys under which close spellings meet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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
// The hash is polynomial, so that a word with letters dropped is hashed from the prefix
// hashes of the whole in a few steps, not letter by letter.
template <class F>
void deletionKeys(std::string_view word, F&& f) {
    constexpr uint64_t kBase = 0x100000001B3ull;
    constexpr size_t kLongest = 64;
    if (word.size() >= kLongest) {  // no epithet is so long: the word alone
        uint64_t h = 0;
        for (char c : word) h = h * kBase + static_cast<unsigned char>(c) + 1;
        f(h);
        return;
    }
    const size_t n = word.size();
    uint64_t pre[kLongest + 1], power[kLongest + 1];
    pre[0] = 0;
    power[0] = 1;
    for (size_t i = 0; i < n; ++i) {
        pre[i + 1] = pre[i] * kBase + static_cast<unsigned char>(word[i]) + 1;
        power[i + 1] = power[i] * kBase;
    }
    // The hash of word[from, to).
    auto part = [&](size_t from, size_t to) { return pre[to] - pre[from] * power[to - from]; };
    f(pre[n]);
    for (size_t i = 0; i < n; ++i) {
        // Dropping either letter of a doubled pair makes the same word: once is enough.
        if (i > 0 && word[i] == word[i - 1]) continue;
        const uint64_t head = pre[i];
        f(head * power[n - i - 1] + part(i + 1, n));
        for (size_t j = i + 1; j < n; ++j) {
            if (j > i + 1 && word[j] == word[j - 1]) continue;
            f((head * power[j - i - 1] + part(i + 1, j)) * power[n - j - 1] + part(j + 1, n));
        }
    }
}

