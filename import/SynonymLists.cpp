#include "SynonymLists.h"

#include <string>

namespace imp {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isLower(unsigned char c) { return (c >= 'a' && c <= 'z') || c >= 0x80; }
bool isUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The next word of `s` from `at`, `at` moved past it.
std::string_view word(std::string_view s, size_t& at) {
    while (at < s.size() && isBlank(s[at])) ++at;
    const size_t from = at;
    while (at < s.size() && !isBlank(s[at])) ++at;
    return s.substr(from, at - from);
}

// An epithet: lower-case letters, perhaps joined by hyphens ("nigro-aculeatus").
bool isEpithet(std::string_view w) {
    if (w.empty() || !isLower(static_cast<unsigned char>(w.front()))) return false;
    for (char ch : w) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (!isLower(c) && c != '-') return false;
    }
    return true;
}

void addEntry(TaxonFacts& facts, const TreeNode* accepted, std::string_view given) {
    // Notes in brackets ("[preoccupied]") say what became of the name, not who made it.
    if (size_t note = given.find('['); note != std::string_view::npos) given = given.substr(0, note);
    // Some lists write names as their files write them elsewhere: "Genus_species".
    std::string text(trimmed(given));
    for (char& c : text)
        if (c == '_') c = ' ';
    const std::string_view entry = text;
    size_t at = 0;
    std::string_view first = word(entry, at);
    std::string name;
    if (isEpithet(first)) {
        name = first;
    } else if (first.size() > 1 && isUpper(static_cast<unsigned char>(first.front()))) {
        // A whole name: the genus, a subgenus in parentheses, and the epithets after it.
        name = first;
        for (size_t next = at;;) {
            std::string_view w = word(entry, next);
            const bool subgenus = w.size() > 2 && w.front() == '(' && w.back() == ')' &&
                                  isUpper(static_cast<unsigned char>(w[1]));
            if (!subgenus && !isEpithet(w)) break;
            if (!subgenus) (name += ' ') += w;
            at = next;
        }
        if (name.size() == first.size()) return;  // a genus alone is no synonym of a species
    } else {
        return;
    }
    std::string authorship;
    for (char c : entry.substr(at))
        if (c != '(' && c != ')') authorship += c;
    facts.addSynonym(accepted, name, trimmed(authorship));
}

}  // namespace

void addListedSynonyms(TaxonFacts& facts, const TreeNode* accepted, std::string_view cell) {
    for (size_t at = 0; at <= cell.size();) {
        size_t end = cell.find_first_of("|;", at);
        if (end == std::string_view::npos) end = cell.size();
        addEntry(facts, accepted, cell.substr(at, end - at));
        at = end + 1;
    }
}

}  // namespace imp
