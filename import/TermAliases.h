// The older and alternative names of the Darwin Core terms of taxa that archives still use
// (written before today's terms, or by tools of their own): each stands for today's term.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace imp {

// Today's term (headerKey form) for an older or alternative one ("highertaxonid" ->
// "parentnameusageid"), else null.
const char* currentTerm(std::string_view key);

// Gives each older term of `terms` (keyed in headerKey form) today's name beside its own,
// unless today's is given too: a file that names both means today's.
template <class Value>
void addCurrentTerms(std::map<std::string, Value>& terms) {
    for (auto it = terms.begin(); it != terms.end(); ++it)
        if (const char* current = currentTerm(it->first)) terms.emplace(current, it->second);
}

}  // namespace imp
