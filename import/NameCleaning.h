// How the importers read names, headers and ranks: cleaning and transliterating names,
// comparing headers, the ranks a written rank name stands for.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace imp {

// `text` (UTF-8) as a name: underscores become blanks when `underscores` is set, characters
// outside ISO-8859-1 are transliterated, the ends are trimmed and every run of whitespace
// becomes one blank. Replaces `out`.
void cleanName(std::string_view text, std::string& out, bool underscores = false);
// The same, without a copy when the name needs no cleaning: `text` itself, else `scratch`
// holding the cleaned name.
std::string_view cleanedName(std::string_view text, std::string& scratch);
// UTF-8 to ISO-8859-1 bytes: kept where ISO-8859-1 has the character, else its usual
// spelling (’ -> ', – -> -), else its decomposition without accents (č -> c), else '?'.
// Bytes that are not UTF-8 are taken as ISO-8859-1 already. Appends to `out`.
void appendLatin1(std::string_view utf8, std::string& out);
// Cleaning turns a zero byte into '?', so no identifier of a file holds one: keys a reading
// makes itself (for rows without an identifier, for the higher taxa of classification
// columns) begin with one, then a byte telling their kind, and never equal a file's.
inline std::string madeUpKey(char kind) { return std::string{'\0', kind}; }
inline bool isMadeUpKey(std::string_view key) { return !key.empty() && key.front() == '\0'; }
// \N, or NULL or NA in any case: what database exports write in a field they leave
// empty. Read as empty where a column holds identifiers, ranks or statuses.
inline bool isNullMarker(std::string_view field) {
    if (field.size() == 2)
        return (field[0] == '\\' && field[1] == 'N') ||
               ((field[0] | 0x20) == 'n' && (field[1] | 0x20) == 'a');
    return field.size() == 4 && (field[0] | 0x20) == 'n' && (field[1] | 0x20) == 'u' &&
           (field[2] | 0x20) == 'l' && (field[3] | 0x20) == 'l';
}
inline std::string_view unlessNull(std::string_view field) {
    return isNullMarker(field) ? std::string_view() : field;
}
// Empty, "NA", "-" or "incertae sedis" in any case: no taxon stands there.
bool isPlaceholder(std::string_view cleaned);
// A name written all in capitals gets the usual capitalisation: "DIDELPHIDAE" -> "Didelphidae".
void usualCase(std::string& name);
// The same without a copy when the name is in that case already: `name` itself, else
// `scratch` holding it so.
std::string_view inUsualCase(std::string_view name, std::string& scratch);
// One word starting with a lower-case letter: an epithet to be joined to its genus.
bool isEpithet(std::string_view name);
// Lower case ASCII with blanks, underscores and hyphens dropped, and a "dwc:"-like prefix
// cut: the form in which column headers and terms are compared.
std::string headerKey(std::string_view header);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Not a status the status words table (StatusWords.h) leaves out: unknown words count.
bool isAcceptedStatus(std::string_view status);
// The last component of a path.
std::string baseName(const std::string& path);

// The rank of a written rank name: its place from the top (the twenty ranks and the common
// ranks between them) and its spelling in the tree. Ranks nobody knows sort below all.
struct RankInfo {
    static constexpr int kUnknownOrder = 1000;
    int order;                // smaller is higher
    std::string name;         // the twenty's spelling, or capitalised
    int twenty;               // Rank value 0..19, or -1
    // A word the rank table does not know, kept as written (not an empty or a "no rank").
    bool unknown() const { return order == kUnknownOrder && !name.empty(); }
};
RankInfo rankOf(std::string_view written);
// rankOf for the rank words of one reading, each distinct word worked out once: a file of
// millions of rows writes a few dozen rank words, and the word changes from row to row
// wherever a genus is followed by its species.
class RankWords {
public:
    const RankInfo& of(std::string_view written);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    // A hostile file may write a new word on every row: past this many, they are not kept.
    static constexpr size_t kKept = 4096;
    std::unordered_map<std::string, RankInfo, Hash, std::equal_to<>> m_known;
    const std::pair<const std::string, RankInfo>* m_last = nullptr;
    RankInfo m_uncached;
};
// The known rank whose header `key` (see headerKey) names a column, or false.
bool rankColumn(const std::string& key, RankInfo& rank);

// Distinct rank names in the order they are first given. A file may give a new rank on every
// line: past a few, names are looked up by hash, not compared with every one before.
class RankSet {
public:
    // True when `rank` was not in the set; the set keeps the pointer, not a copy.
    bool add(const char* rank) {
        if (rank == m_last) return false;  // siblings mostly share a rank
        m_last = rank;
        if (m_list.size() < kCompared) {
            for (const char* r : m_list)  // the twenty ranks' names are shared: the same pointer
                if (r == rank) return false;
            for (const char* r : m_list)
                if (std::strcmp(r, rank) == 0) return false;
        } else {
            if (m_index.empty())
                for (const char* r : m_list) m_index.insert(r);
            if (!m_index.insert(rank).second) return false;
        }
        m_list.push_back(rank);
        return true;
    }
    const std::vector<const char*>& list() const { return m_list; }

private:
    static constexpr size_t kCompared = 16;
    std::vector<const char*> m_list;
    std::unordered_set<std::string_view> m_index;
    const char* m_last = nullptr;
};

}  // namespace imp
