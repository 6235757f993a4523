#include "TableHeader.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>

namespace imp {

namespace {
constexpr size_t kNone = SIZE_MAX;
}

namespace {

// The column of a header given on the command line: by its exact text, else as headerKey
// forms it.
size_t namedColumn(const std::vector<std::string>& header, const std::vector<std::string>& keys,
                   std::string_view name) {
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return i;
    for (size_t i = 0; i < header.size(); ++i)
        if (keys[i] == headerKey(name)) return i;
    return kNone;
}

template <class Find>
bool factColumns(const std::vector<std::string>& header, const std::vector<std::string>& keys,
                 const ImportOptions& options, Find&& find, Columns& c, std::string& error) {
    if (!options.idColumn.empty()) {
        c.id = namedColumn(header, keys, options.idColumn);
        if (c.id == kNone) {
            error = "no column named \"" + options.idColumn + "\" for the identifiers";
            return false;
        }
    } else {
        c.id = find({"taxonid", "id"});
    }
    c.accepted = find({"acceptednameusageid"});
    c.acceptedName = find({"acceptednameusage", "acceptedname"});
    c.synonymList = find({"nominalnames", "synonyms"});
    if (options.authorshipColumn.empty()) {
        if (c.authorship != kNone) {
            c.authorFacts.push_back(c.authorship);
        } else if (const size_t author = find({"authorityspeciesauthor"}); author != kNone) {
            // The Mammal Diversity Database gives the authors and the year apart.
            c.authorFacts.push_back(author);
            if (const size_t year = find({"authorityspeciesyear"}); year != kNone)
                c.authorFacts.push_back(year);
        }
        return true;
    }
    // "author,year": several columns read as one authorship.
    std::string_view list = options.authorshipColumn;
    for (size_t at = 0; at <= list.size();) {
        size_t comma = list.find(',', at);
        if (comma == std::string_view::npos) comma = list.size();
        std::string_view name = list.substr(at, comma - at);
        size_t column = namedColumn(header, keys, name);
        if (column == kNone) column = namedColumn(header, keys, options.authorshipColumn);
        if (column == kNone) {
            error = "no column named \"" + std::string(name) + "\" for the authorship";
            return false;
        }
        c.authorFacts.push_back(column);
        if (header[column] == options.authorshipColumn) break;  // one header with a comma in it
        at = comma + 1;
    }
    return true;
}

}  // namespace

bool readHeader(const std::vector<std::string>& header, const ImportOptions& options,
                Columns& c, std::string& error) {
    std::vector<std::string> keys;
    keys.reserve(header.size());
    for (const std::string& h : header) keys.push_back(headerKey(h));
    // The leftmost column of each name looked for, found in one pass: a header line may hold
    // hundreds of columns.
    static constexpr std::string_view kNames[] = {
        "scientificname", "sciname",        "scientificnameauthorship", "authorship",
        "authority",      "author",         "taxonrank",                "rank",
        "taxonomicstatus", "status",        "specificepithet",          "infraspecificepithet",
        "vernacularname", "maincommonname", "commonname",               "commonnames(eng)",
        "taxonid",        "id",             "acceptednameusageid",      "acceptednameusage",
        "acceptedname",   "nominalnames",   "synonyms",                 "authorityspeciesauthor",
        "authorityspeciesyear"};
    static const auto* const kSlot = [] {
        auto* slots = new std::unordered_map<std::string_view, size_t>;
        for (size_t i = 0; i < std::size(kNames); ++i) slots->emplace(kNames[i], i);
        return slots;
    }();
    std::array<size_t, std::size(kNames)> leftmost;
    leftmost.fill(kNone);
    for (size_t i = 0; i < keys.size(); ++i) {
        auto at = kSlot->find(keys[i]);
        if (at != kSlot->end() && leftmost[at->second] == kNone) leftmost[at->second] = i;
    }
    auto find = [&](std::initializer_list<std::string_view> names) {
        for (std::string_view name : names)
            if (size_t i = leftmost[kSlot->at(name)]; i != kNone) return i;
        return kNone;
    };
    for (size_t i = 0; i < keys.size(); ++i) {
        RankInfo r;
        if (!rankColumn(keys[i], r)) continue;
        bool seen = false;
        for (const auto& known : c.ranks) seen |= known.rank.order == r.order;
        if (!seen) c.ranks.push_back({i, r});
    }
    std::stable_sort(c.ranks.begin(), c.ranks.end(),
                     [](const auto& a, const auto& b) { return a.rank.order < b.rank.order; });
    c.scientific = find({"scientificname", "sciname"});
    c.authorship = find({"scientificnameauthorship", "authorship", "authority", "author"});
    c.rank = find({"taxonrank", "rank"});
    c.status = find({"taxonomicstatus", "status"});
    c.epithet = find({"specificepithet"});
    c.infraEpithet = find({"infraspecificepithet"});
    if (!options.commonNameColumn.empty()) {
        for (size_t i = 0; i < header.size() && c.common == kNone; ++i)
            if (header[i] == options.commonNameColumn) c.common = i;
        for (size_t i = 0; i < header.size() && c.common == kNone; ++i)
            if (keys[i] == headerKey(options.commonNameColumn)) c.common = i;
        if (c.common == kNone) {
            error = "no column named \"" + options.commonNameColumn + "\" for the common names";
            return false;
        }
    } else {
        c.common = find({"vernacularname", "maincommonname", "commonname"});
        for (size_t i = 0; i < keys.size() && c.common == kNone; ++i)
            if (keys[i].rfind("englishname", 0) == 0) c.common = i;
        if (c.common == kNone) {
            c.common = find({"commonnames(eng)"});
            c.commonIsList = c.common != kNone;
        }
    }
    if (c.facts && !factColumns(header, keys, options, find, c, error)) return false;
    if (c.ranks.empty()) {
        error = "no rank columns (a header naming a rank, such as Order, Family or Genus)";
        return false;
    }
    return true;
}

}  // namespace imp
