#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "ChangeReport.h"
#include "ChangesLayer.h"
#include "DiffLines.h"
#include "ReportSections.h"

const ChangeRowKind kReportKindOrder[kChangeRowKinds] = {
    ChangeRowKind::Renamed, ChangeRowKind::Moved,   ChangeRowKind::Rank,
    ChangeRowKind::Split,   ChangeRowKind::Lumped,  ChangeRowKind::Reshuffled,
    ChangeRowKind::Removed, ChangeRowKind::Added,   ChangeRowKind::OnlyIn1,
    ChangeRowKind::OnlyIn2};

std::string kindSlug(ChangeRowKind kind) {
    std::string slug = changeRowKindName(kind);
    std::replace(slug.begin(), slug.end(), ' ', '-');
    return slug;
}

std::string kindColour(ChangeRowKind kind) {
    // What one tree alone holds shares a near black in the picture; the page tells its four
    // kinds apart by shades of grey.
    switch (kind) {
        case ChangeRowKind::Removed: return "#555555";
        case ChangeRowKind::Added: return "#9a9a9a";
        case ChangeRowKind::OnlyIn1: return "#262626";
        case ChangeRowKind::OnlyIn2: return "#c4c4c4";
        default: break;
    }
    const auto rgb = changeShadeColour(changeShadeOf(kind));
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(rgb[0] * 255 + 0.5f),
                  static_cast<unsigned>(rgb[1] * 255 + 0.5f), static_cast<unsigned>(rgb[2] * 255 + 0.5f));
    return text;
}

const TreeNode* withinRank(const TreeNode* node, const char* rank) {
    for (; node; node = node->parent)
        if (node->rankName && std::strcmp(node->rankName, rank) == 0) return node;
    return nullptr;
}

const TreeNode* RankAncestors::of(const TreeNode* node) {
    if (!node) return nullptr;
    if (node->rankName && std::strcmp(node->rankName, m_rank) == 0) return node;
    if (node->parent != m_parent || !m_parent) {
        m_parent = node->parent;
        m_found = withinRank(m_parent, m_rank);
    }
    return m_found;
}

namespace {

// Of a split, lump or reshuffle, the species named; the rest are counted.
constexpr size_t kSpeciesListed = 100;
// The taxa walked to name them, at most: past it, the largest taxa's rows give the count of
// their evidence alone (a split class of a whole catalogue would be walked once for each
// taxon it went to).
constexpr int64_t kSpeciesWalked = 500000;
// The ranks rows are summed up by, the first that brings them within the limit.
const char* const kSummingRanks[] = {"Family", "Order", "Class", "Phylum", "Kingdom"};

const char* nameOf(const TreeNode* node) { return node ? node->latinName : ""; }

void appendCell(std::string& out, const char* latin1) {
    out += "<td>";
    appendHtmlLatin1(out, latin1);
    out += "</td>";
}

void appendRankCell(std::string& out, const std::string& rank, int key) {
    out += "<td data-k=\"" + std::to_string(key) + "\">";
    appendHtmlLatin1(out, rank);
    out += "</td>";
}

void appendPathCell(std::string& out, const TreeNode* node) {
    std::string path;
    appendPath(path, node);
    appendCell(out, path.c_str());
}

// The species a split, lump or reshuffle moved from one taxon to the other (or, where the
// two have one name, kept).
void appendSpecies(std::string& out, const ChangeRow& row, const SharedSpecies& shared) {
    if (!shared.count) return;
    const bool kept = std::strcmp(row.node1->latinName, row.node2->latinName) == 0;
    out += "<details><summary>" + std::to_string(shared.count) + " species " +
           std::string(kept ? "kept" : "moved") + "</summary>";
    for (size_t i = 0; i < shared.named.size(); ++i) {
        if (i) out += ", ";
        appendHtmlLatin1(out, shared.named[i]->latinName);
    }
    if (shared.count > shared.named.size())
        out += " and " + std::to_string(shared.count - shared.named.size()) + " more";
    out += "</details>";
}

// What the rows of one kind need besides the list.
struct RowContext {
    const std::vector<int>& rankKeys;
    const std::unordered_map<uint32_t, SharedSpecies>& species;
};

void appendRow(std::string& out, const ChangeList& list, uint32_t index, const RowContext& context) {
    const ChangeRow& row = list.rows()[index];
    out += "<tr>";
    appendCell(out, changeRowKindName(row.kind));
    appendRankCell(out, list.ranks()[row.rank], context.rankKeys[row.rank]);
    appendCell(out, nameOf(row.node1));
    appendCell(out, nameOf(row.node2));
    out += "<td>";
    appendHtmlLatin1(out, list.detailOf(row));
    const auto shared = context.species.find(index);
    if (shared != context.species.end()) appendSpecies(out, row, shared->second);
    out += "</td>";
    appendPathCell(out, row.pathOf);
    out += "</tr>\n";
}

// How many rows the page has once the rows within a taxon of `rank` are summed up: one per
// kind and taxon, and every row outside such a taxon.
size_t summedCount(const ChangeList& list, const char* rank) {
    std::unordered_map<const TreeNode*, uint32_t> kinds;
    RankAncestors ancestors(rank);
    size_t count = 0;
    for (const ChangeRow& row : list.rows()) {
        const TreeNode* within = ancestors.of(row.pathOf);
        if (!within) {
            ++count;
            continue;
        }
        uint32_t& seen = kinds[within];
        if (!(seen & changeKindBit(row.kind))) ++count;
        seen |= changeKindBit(row.kind);
    }
    return count;
}

}  // namespace

void appendRows(std::string& out, const ChangeList& list, size_t limit) {
    const std::vector<ChangeRow>& rows = list.rows();
    std::vector<int> rankKeys(list.ranks().size());
    {
        const std::vector<uint32_t> order = list.ranksTopDown();
        for (size_t i = 0; i < order.size(); ++i) rankKeys[order[i]] = static_cast<int>(i);
    }
    std::vector<std::vector<uint32_t>> byKind(kChangeRowKinds);
    for (uint32_t i = 0; i < rows.size(); ++i) byKind[static_cast<int>(rows[i].kind)].push_back(i);

    const char* sumRank = nullptr;
    if (rows.size() > limit) {
        for (const char* rank : kSummingRanks) {
            sumRank = rank;
            if (summedCount(list, rank) <= limit) break;
        }
    }

    // The species of the splits, lumps and reshuffles that get a row of their own.
    RankAncestors summing(sumRank ? sumRank : "");
    std::vector<uint32_t> relationRows;
    for (const ChangeRowKind kind : {ChangeRowKind::Split, ChangeRowKind::Lumped, ChangeRowKind::Reshuffled})
        for (uint32_t i : byKind[static_cast<int>(kind)])
            if (rows[i].node1 && (!sumRank || !summing.of(rows[i].pathOf))) relationRows.push_back(i);
    std::stable_sort(relationRows.begin(), relationRows.end(), [&rows](uint32_t a, uint32_t b) {
        return rows[a].node1->descendantCount < rows[b].node1->descendantCount;
    });
    int64_t walked = 0;
    size_t named = 0;
    while (named < relationRows.size() &&
           (walked += rows[relationRows[named]].node1->descendantCount + 1) <= kSpeciesWalked)
        ++named;
    relationRows.resize(named);
    const auto species = sharedSpeciesOfRows(list, relationRows, kSpeciesListed);
    const RowContext context{rankKeys, species};

    out += "<div class=\"controls\"><input type=\"search\" id=\"filter\" "
           "placeholder=\"Filter: a name, or part of a path\" aria-label=\"Filter the rows\">\n";
    for (const ChangeRowKind kind : kReportKindOrder) {
        const auto& ofKind = byKind[static_cast<int>(kind)];
        if (ofKind.empty()) continue;
        const std::string slug = kindSlug(kind);
        out += "<label class=\"toggle\"><input type=\"checkbox\" class=\"kind-toggle\" "
               "data-kind=\"" + slug + "\" checked><span class=\"swatch\" style=\"background:" +
               kindColour(kind) + "\"></span>" + changeRowKindName(kind) + " (" +
               std::to_string(ofKind.size()) + ")</label>\n";
    }
    out += "<span id=\"shown\" aria-live=\"polite\"></span></div>\n";
    if (rows.empty()) out += "<p class=\"note\">The two classifications hold no changes.</p>\n";
    if (sumRank) {
        std::string rank = sumRank;
        for (char& c : rank) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += "<p class=\"note\" id=\"summed\">There are " + std::to_string(rows.size()) +
               " changes, more than " + std::to_string(limit) +
               " rows: below, the changes of each kind within one " + rank +
               " are summed up in a row. The TSV export of the changes holds them all, one a "
               "row (File &gt; Export Changes in the viewer, or <code>cladorama-cli diff</code> "
               "and <code>cladorama-cli relate</code>).</p>\n";
    }

    for (const ChangeRowKind kind : kReportKindOrder) {
        const auto& ofKind = byKind[static_cast<int>(kind)];
        if (ofKind.empty()) continue;
        const std::string slug = kindSlug(kind);
        out += "<section class=\"kind\" id=\"kind-" + slug + "\" data-kind=\"" + slug +
               "\"><h3><span class=\"swatch\" style=\"background:" + kindColour(kind) + "\"></span>" +
               changeRowKindName(kind) + " <span class=\"count\">" + std::to_string(ofKind.size()) +
               "</span></h3>\n<table class=\"rows\"><thead><tr>";
        for (int c = 0; c < kChangeColumns; ++c)
            out += std::string("<th scope=\"col\" aria-sort=\"none\">") +
                   changeColumnTitle(static_cast<ChangeColumn>(c)) + "</th>";
        out += "</tr></thead>\n<tbody>\n";
        if (!sumRank) {
            for (uint32_t i : ofKind) appendRow(out, list, i, context);
        } else {
            // The taxa of the summing rank in the order first met, with their rows' count;
            // taxa of one name and path in both trees are one.
            std::unordered_map<const TreeNode*, size_t> counted;
            std::vector<const TreeNode*> met;
            for (uint32_t i : ofKind) {
                const TreeNode* within = summing.of(rows[i].pathOf);
                if (!within) {
                    appendRow(out, list, i, context);
                    continue;
                }
                const auto [it, fresh] = counted.try_emplace(within, 0);
                if (fresh) met.push_back(within);
                ++it->second;
            }
            std::map<std::string, size_t> place;
            std::vector<std::pair<const TreeNode*, size_t>> sums;
            for (const TreeNode* taxon : met) {
                std::string path;
                appendPath(path, taxon);
                const auto [it, fresh] = place.try_emplace(path, sums.size());
                if (fresh) sums.emplace_back(taxon, 0);
                sums[it->second].second += counted[taxon];
            }
            for (const auto& [taxon, count] : sums) {
                out += "<tr class=\"sum\">";
                appendCell(out, changeRowKindName(kind));
                const auto rank = std::find(list.ranks().begin(), list.ranks().end(), sumRank);
                appendRankCell(out, sumRank,
                               rank == list.ranks().end() ? -1 : rankKeys[rank - list.ranks().begin()]);
                appendCell(out, taxon->latinName);
                appendCell(out, "");
                out += "<td>" + std::to_string(count) + (count == 1 ? " change" : " changes") + "</td>";
                appendPathCell(out, taxon);
                out += "</tr>\n";
            }
        }
        out += "</tbody></table></section>\n";
    }
}
