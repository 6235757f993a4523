// Lineage tables into a tree: each line's path of prefixed names, found or made level by
// level, so that the many genomes of one species make one taxon.
#include "Lineages.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "Console.h"
#include "NameCleaning.h"
#include "RankPrefixes.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The column holding the lineage, by the header's name for it; 1 without a header.
size_t lineageColumn(const std::vector<std::string_view>& header) {
    for (size_t i = 1; i < header.size(); ++i) {
        const std::string key = headerKey(header[i]);
        if (key == "taxon" || key == "taxonomy" || key == "lineage" || key == "gtdbtaxonomy" ||
            key == "classification")
            return i;
    }
    return 1;
}

void splitTabs(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos) return;
        from = tab + 1;
    }
}

// Calls each(line, number) for every line of `bytes`, without its line end.
template <class Each>
bool forEachLine(std::string_view bytes, Each&& each) {
    size_t number = 0, from = 0;
    while (from < bytes.size()) {
        size_t end = bytes.find('\n', from);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!each(line, ++number)) return false;
        from = end + 1;
    }
    return true;
}

class LineageReader {
public:
    explicit LineageReader(TreeBuilder& builder) : m_builder(builder) {}

    FileResult read(const LineageText& file) {
        m_lastPath.clear();
        std::vector<std::string_view> fields;
        size_t column = 1;
        bool headerSeen = false;
        FileResult result;
        forEachLine(file.bytes, [&](std::string_view line, size_t number) {
            if (trimmed(line).empty()) return true;
            if (line.front() == '#') {
                ++m_notes;
                return true;
            }
            splitTabs(line, fields);
            if (!headerSeen) {
                headerSeen = true;
                // A header names its columns: no lineage in it. (A first feature that is
                // unassigned, taken for one, loses nothing.)
                if (fields.size() >= 2 && fields[1].find("__") == std::string_view::npos) {
                    column = lineageColumn(fields);
                    return true;
                }
            }
            if (fields.size() <= column) {
                result = FileResult::failed(file.label, linePlace(number),
                                            "no lineage after the identifier (a tab expected)");
                return false;
            }
            std::string fault;
            if (!path(trimmed(fields[column]), fault)) {
                result = FileResult::failed(file.label, linePlace(number), fault);
                return false;
            }
            return true;
        });
        return result;
    }

    void report(const std::string& label) const {
        if (m_unassigned)
            consolePrintf("%s: %zu lines without a lineage (unassigned) left out\n", label.c_str(),
                          m_unassigned);
        if (m_notes)
            consolePrintf("%s: %zu lines beginning with # skipped (notes, not taxa)\n",
                          label.c_str(), m_notes);
    }

private:
    // The taxa of one lineage, found or made; false with `fault` set when it is malformed.
    bool path(std::string_view lineage, std::string& fault) {
        if (lineage.find("__") == std::string_view::npos && lineage.find(';') == lineage.npos) {
            ++m_unassigned;  // "Unassigned", "Unclassified", or nothing
            return true;
        }
        // Many genomes share a lineage: written the same, it adds no taxon (nor any fault).
        if (!m_seen.insert(lineage).second) return true;
        TreeNode* node = m_builder.top();
        const RankPrefix* last = nullptr;
        std::string_view genusName;
        size_t depth = 0;
        bool same = true;  // every level so far as on the line before
        size_t from = 0;
        while (from <= lineage.size()) {
            size_t end = lineage.find(';', from);
            if (end == std::string_view::npos) end = lineage.size();
            const std::string_view level = trimmed(lineage.substr(from, end - from));
            from = end + 1;
            if (level.empty()) continue;  // "...; s__;" or a trailing ';'
            const char letter = prefixLetter(level);
            const RankPrefix* prefix = letter ? rankPrefix(letter) : nullptr;
            if (!prefix) {
                fault = letter ? "unknown rank prefix " + std::string(level.substr(0, 3)) +
                                     " in \"" + std::string(level) + "\""
                               : "a level without a rank prefix: \"" + std::string(level) + "\"";
                return false;
            }
            if (last && prefix->rank.order <= last->rank.order) {
                fault = "ranks out of order: " + std::string(level.substr(0, 3)) + " after " +
                        std::string(1, last->letter) + "__";
                return false;
            }
            last = prefix;
            std::string_view raw = level.substr(3);
            if (trimmed(raw).empty()) continue;  // an empty level: left out of the path
            if (same && depth < m_lastPath.size() && m_lastPath[depth].raw == level) {
                node = m_lastPath[depth].node;
                if (letter == 'g') genusName = m_lastPath[depth].name;
                ++depth;
                continue;
            }
            same = false;
            cleanName(raw, m_name);
            if (isPlaceholder(m_name)) continue;
            // A species given by its epithet alone ("s__coli" below "g__Escherichia").
            if (letter == 's' && isEpithet(m_name) && !genusName.empty()) {
                m_joined.assign(genusName).append(" ").append(m_name);
                m_name.swap(m_joined);
            }
            node = m_builder.child(node, m_name, prefix->rank.name);
            if (letter == 'g') genusName = node->latinName;
            if (m_lastPath.size() <= depth) m_lastPath.resize(depth + 1);
            m_lastPath[depth] = {level, node, node->latinName};
            ++depth;
        }
        m_lastPath.resize(std::min(m_lastPath.size(), depth));
        return true;
    }

    struct Level {
        std::string_view raw;  // as the line writes it, prefix and all
        TreeNode* node = nullptr;
        std::string_view name;
    };
    TreeBuilder& m_builder;
    std::vector<Level> m_lastPath;  // the last lineage's taxa, level by level
    std::unordered_set<std::string_view> m_seen;  // the lineages read, as written
    std::string m_name, m_joined;
    size_t m_unassigned = 0, m_notes = 0;
};

}  // namespace

bool looksLikeLineages(const char* data, size_t size) {
    const std::string_view head(data, std::min<size_t>(size, 1 << 16));
    std::vector<std::string_view> fields;
    bool header = true, found = false;
    size_t column = 1;
    forEachLine(head, [&](std::string_view line, size_t number) {
        if (number > 50) return false;
        if (trimmed(line).empty() || line.front() == '#') return true;
        splitTabs(line, fields);
        if (header) {
            header = false;
            if (fields.size() >= 2 && fields[1].find("__") == std::string_view::npos) {
                column = lineageColumn(fields);
                return true;
            }
        }
        if (fields.size() <= column) return false;
        const std::string_view lineage = trimmed(fields[column]);
        // QIIME writes "Unassigned" for features it could not place: the next line decides.
        if (lineage.find("__") == std::string_view::npos && lineage.find(';') == lineage.npos)
            return true;
        found = lineage.starts_with("d__") || lineage.starts_with("k__");
        return false;
    });
    return found;
}

std::vector<std::string> gtdbTaxonomyFiles(const std::vector<std::string>& names) {
    auto isTaxonomy = [](const std::string& name, bool& gz) {
        std::string b = baseName(name);
        for (char& c : b) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
        gz = b.ends_with(".gz");
        if (gz) b.resize(b.size() - 3);
        if (!b.ends_with(".tsv")) return false;
        for (const char* stem : {"bac120_taxonomy", "ar53_taxonomy", "ar122_taxonomy"})
            if (b.starts_with(stem)) return true;
        return false;
    };
    std::vector<std::string> found;
    for (const std::string& n : names) {
        bool gz = false;
        if (!isTaxonomy(n, gz)) continue;
        if (gz) {
            const std::string plain = n.substr(0, n.size() - 3);
            bool plainGz = false;
            bool hasPlain = false;
            for (const std::string& m : names)
                hasPlain |= m == plain && isTaxonomy(m, plainGz) && !plainGz;
            if (hasPlain) continue;
        }
        found.push_back(n);
    }
    return found;
}

FileResult readLineages(ClassificationTree& tree, const std::vector<LineageText>& files,
                        const std::string& label) {
    TreeBuilder builder;
    LineageReader reader(builder);
    int64_t bytes = 0;
    for (const LineageText& file : files) {
        FileResult r = reader.read(file);
        if (!r) return r;
        bytes += static_cast<int64_t>(file.bytes.size());
    }
    if (builder.top()->children.empty())
        return FileResult::failed(label, {}, "no lineages found");
    // The levels are at most the eight prefixes deep: finishing cannot fail.
    if (!builder.finish(tree, label, bytes)) return FileResult::failed(label, {}, "no taxa found");
    reader.report(label);
    return {};
}

}  // namespace imp
