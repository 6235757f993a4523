// How epithets and authorships are compared: the readings of an epithet's Latin ending.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

// Adjectives of three endings (-us/-a/-um, -er/-ra/-rum, -er/-ris/-re) and of two (-is/-e),
// and the genitives of persons' names, whose -ii and -ei are spellings of -i as often as not
// ("brownii", "browni").
inline constexpr std::string_view kEndings[][6] = {
    {"us", "a", "um", "", "", ""},  {"is", "e", "", "", "", ""},
    {"er", "ra", "rum", "", "", ""}, {"er", "ris", "re", "", "", ""},
    {"i", "ii", "ei", "ae", "orum", "arum"}};
inline constexpr size_t kShortestStem = 2;

// The (group, stem) readings of an epithet's ending: "nigra" is group 0 "nigr" and group 2 "nig".
template <class F>
void endingReadings(std::string_view epithet, F&& f) {
    for (size_t g = 0; g < std::size(kEndings); ++g)
        for (std::string_view end : kEndings[g]) {
            if (end.empty() || epithet.size() < end.size() + kShortestStem) continue;
            if (epithet.substr(epithet.size() - end.size()) == end)
                f(g, epithet.substr(0, epithet.size() - end.size()));
        }
}
