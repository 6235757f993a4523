// What the words publishers write for a name's status and for a rank stand for: one table of
// each, matched in a folded form (case, blanks, underscores, hyphens and accents ignored).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace imp {

// The form in which status and rank words are compared: ISO-8859-1 letters without their
// accents, in lower case, blanks, underscores and hyphens dropped ("Sinónimo_Heterotípico"
// -> "sinonimoheterotipico").
std::string foldWord(std::string_view written);

enum class NameStatus { Accepted, NotAccepted, Unknown };
// The status a written status word stands for; an empty one is Accepted (a file that says
// nothing of status lists its taxa).
NameStatus statusOf(std::string_view written);

// The rank a rank word stands for when it is an abbreviation or a word of another language
// ("subsp.", "ESPECIE", "Gattung"): the name of a known rank ("Subspecies"), else null.
const char* rankAlias(std::string_view folded);
// A rank word that names no rank ("unranked", "no rank", "incertae sedis"): the taxon makes
// no level of ranks.
bool isRankPlaceholder(std::string_view folded);

// The status words a reading did not know, each with the number of rows that had it: the
// rows are read as accepted and the console is told once per word.
class StatusTally {
public:
    // True when the row is to be read as an accepted taxon. Repeated words cost a compare.
    bool accepted(std::string_view written);
    // Whether the last word given to accepted() named an accepted status outright: neither
    // empty nor unknown.
    bool saidAccepted() const { return m_lastStatus == NameStatus::Accepted && !m_last.empty(); }
    // Adds the words of a reading of the rows that follow this one's.
    void absorb(const StatusTally& later);
    // One console line per unknown word, naming `label`.
    void report(const std::string& label) const;

private:
    std::string m_last;
    bool m_haveLast = false;
    NameStatus m_lastStatus = NameStatus::Accepted;
    std::map<std::string, size_t> m_unknown;
};

// The rank words a reading did not know, each with the number of rows that had it: the
// taxa keep the word as written and the console is told once per word.
class RankTally {
public:
    RankTally() = default;
    // The last word's count is found afresh after a copy or a move.
    RankTally(const RankTally& other) : m_unknown(other.m_unknown) {}
    RankTally(RankTally&& other) noexcept : m_unknown(std::move(other.m_unknown)) {
        other.m_lastRows = nullptr;
    }
    RankTally& operator=(const RankTally& other) {
        m_unknown = other.m_unknown;
        m_lastRows = nullptr;
        return *this;
    }
    RankTally& operator=(RankTally&& other) noexcept {
        m_unknown = std::move(other.m_unknown);
        m_lastRows = nullptr;
        other.m_lastRows = nullptr;
        return *this;
    }
    // A row whose rank word names no known rank. Repeated words cost a compare.
    void unknown(std::string_view written);
    void absorb(const RankTally& later);
    // One console line per unknown word, naming `label`.
    void report(const std::string& label) const;

private:
    std::map<std::string, size_t, std::less<>> m_unknown;
    std::string m_last;
    size_t* m_lastRows = nullptr;
};

}  // namespace imp
