#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "ChangeReport.h"
#include "ReportSections.h"

namespace {

// Bars of the chart; the groups past them are summed up in one more.
constexpr size_t kChartBars = 30;

// The ancestor of a node at a depth below the root (the node itself at its own depth), for
// many nodes in the order of a walk: the answer for the last parent asked about is kept, so
// that the species of one genus ask the way up once.
class DepthAncestors {
public:
    explicit DepthAncestors(int depth) : m_depth(depth) {}
    const TreeNode* of(const TreeNode* node) {
        if (!node) return nullptr;
        if (node->parent == m_parent && m_parent) {
            // A sibling of the last node: one level below its parent.
            return m_parentDepth + 1 == m_depth ? node : m_parentDepth + 1 > m_depth ? m_found : nullptr;
        }
        m_parent = node->parent;
        m_up.clear();
        for (const TreeNode* n = m_parent; n; n = n->parent) m_up.push_back(n);
        // m_up.back() is the root, at depth 0.
        m_parentDepth = static_cast<int>(m_up.size()) - 1;
        m_found = m_parentDepth >= m_depth ? m_up[static_cast<size_t>(m_parentDepth - m_depth)] : nullptr;
        return m_parentDepth + 1 == m_depth ? node : m_parentDepth + 1 > m_depth ? m_found : nullptr;
    }

private:
    int m_depth;
    const TreeNode* m_parent = nullptr;
    const TreeNode* m_found = nullptr;  // the parent's ancestor at the depth
    int m_parentDepth = -1;
    std::vector<const TreeNode*> m_up;
};

// Per taxon name, the changes within it by kind, in the order first met, and a taxon of that
// name in each tree. Rows are added by their taxon; taxa of one name are one group.
struct Groups {
    std::unordered_map<const TreeNode*, size_t> byTaxon;
    void add(const TreeNode* taxon, ChangeRowKind kind, const TreeNode* taxon1 = nullptr,
             const TreeNode* taxon2 = nullptr) {
        const auto [it, fresh] = byTaxon.try_emplace(taxon, 0);
        if (fresh) {
            add(std::string(taxon->latinName), kind, taxon1, taxon2);
            it->second = place[taxon->latinName];
            return;
        }
        ++counts[it->second][static_cast<int>(kind)];
        auto& [one, two] = taxa[it->second];
        if (!one) one = taxon1;
        if (!two) two = taxon2;
    }
    std::vector<std::string> names;
    std::vector<std::array<uint32_t, kChangeRowKinds>> counts;
    std::vector<std::pair<const TreeNode*, const TreeNode*>> taxa;
    std::unordered_map<std::string, size_t> place;

    void add(const std::string& name, ChangeRowKind kind, const TreeNode* taxon1 = nullptr,
             const TreeNode* taxon2 = nullptr) {
        const auto [it, fresh] = place.try_emplace(name, names.size());
        if (fresh) {
            names.push_back(name);
            counts.emplace_back();
            taxa.emplace_back();
        }
        ++counts[it->second][static_cast<int>(kind)];
        auto& [one, two] = taxa[it->second];
        if (!one) one = taxon1;
        if (!two) two = taxon2;
    }
    uint32_t total(size_t i) const {
        uint32_t sum = 0;
        for (uint32_t n : counts[i]) sum += n;
        return sum;
    }
};

// The changes by the taxon at `depth` below the root that holds them.
Groups groupsAtDepth(const ChangeList& list, int depth) {
    Groups groups;
    DepthAncestors ancestors(depth);
    // Where a row's two taxa lie under taxa of other names (a species moved to another genus),
    // only the one of the group's name is its taxon there.
    auto named = [&ancestors](const TreeNode* node, const char* name) -> const TreeNode* {
        const TreeNode* taxon = ancestors.of(node);
        return taxon && std::strcmp(taxon->latinName, name) == 0 ? taxon : nullptr;
    };
    for (const ChangeRow& row : list.rows())
        if (const TreeNode* taxon = ancestors.of(row.pathOf))
            groups.add(taxon, row.kind, named(row.node1, taxon->latinName),
                       named(row.node2, taxon->latinName));
    return groups;
}

}  // namespace

std::vector<PicturedTaxon> taxaWithMostChanges(const ChangeList& list, size_t count) {
    Groups groups = groupsAtDepth(list, 1);
    if (groups.names.size() < count) {
        Groups deeper = groupsAtDepth(list, 2);
        if (deeper.names.size() > groups.names.size()) groups = std::move(deeper);
    }
    std::vector<size_t> order(groups.names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return groups.total(a) > groups.total(b); });
    std::vector<PicturedTaxon> out;
    for (size_t i = 0; i < order.size() && i < count; ++i) {
        const size_t g = order[i];
        out.push_back({groups.names[g], groups.taxa[g].first, groups.taxa[g].second});
    }
    return out;
}

void appendChart(std::string& out, const ChangeList& list) {
    // By order where the trees have orders, else by family, else by the taxa below the root.
    const char* rank = nullptr;
    for (const char* r : {"Order", "Family"}) {
        for (const ChangeRow& row : list.rows())
            if (withinRank(row.pathOf, r)) {
                rank = r;
                break;
            }
        if (rank) break;
    }
    Groups groups;
    std::string outside = "outside any taxon below the root";
    if (rank) outside = std::string("above or outside any ") + (std::strcmp(rank, "Order") ? "family" : "order");
    RankAncestors byRank(rank ? rank : "");
    DepthAncestors byDepth(1);
    for (const ChangeRow& row : list.rows()) {
        const TreeNode* taxon = rank ? byRank.of(row.pathOf) : byDepth.of(row.pathOf);
        if (taxon) groups.add(taxon, row.kind);
        else groups.add(outside, row.kind);
    }
    if (groups.names.empty()) {
        out += "<p class=\"note\">No changes to chart.</p>\n";
        return;
    }
    std::vector<size_t> order(groups.names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return groups.total(a) > groups.total(b); });
    // The bars shown, and the rest summed up in one.
    struct Bar {
        std::string label;
        std::array<uint32_t, kChangeRowKinds> counts{};
        uint32_t total = 0;
    };
    std::vector<Bar> bars;
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t g = order[i];
        if (i < kChartBars || order.size() == kChartBars + 1) {
            bars.push_back({groups.names[g], groups.counts[g], groups.total(g)});
            continue;
        }
        if (i == kChartBars)
            bars.push_back({std::to_string(order.size() - kChartBars) + " more", {}, 0});
        for (int k = 0; k < kChangeRowKinds; ++k) bars.back().counts[k] += groups.counts[g][k];
        bars.back().total += groups.total(g);
    }
    uint32_t most = 1;
    for (const Bar& b : bars) most = std::max(most, b.total);

    constexpr int kLabelWidth = 220, kBarsWidth = 560, kRowHeight = 18, kTop = 30;
    const int height = kTop + static_cast<int>(bars.size()) * kRowHeight + 8;
    const int width = kLabelWidth + kBarsWidth + 70;
    out += "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
           std::to_string(width) + " " + std::to_string(height) + "\"><title>Changes ";
    out += rank ? (std::strcmp(rank, "Order") ? "family by family" : "order by order")
                : "by the taxa below the root";
    out += "</title>\n";
    // The key of the kinds shown.
    int x = 0;
    for (const ChangeRowKind kind : kReportKindOrder) {
        bool any = false;
        for (const Bar& b : bars) any = any || b.counts[static_cast<int>(kind)];
        if (!any) continue;
        out += "<rect x=\"" + std::to_string(x) + "\" y=\"6\" width=\"12\" height=\"12\" fill=\"" +
               kindColour(kind) + "\"/><text x=\"" + std::to_string(x + 16) + "\" y=\"16\">" +
               changeRowKindName(kind) + "</text>\n";
        x += 26 + 7 * static_cast<int>(std::strlen(changeRowKindName(kind)));
    }
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        const int y = kTop + static_cast<int>(i) * kRowHeight;
        out += "<g><text class=\"label\" x=\"" + std::to_string(kLabelWidth - 6) + "\" y=\"" +
               std::to_string(y + 13) + "\">";
        appendHtmlLatin1(out, b.label);
        out += "</text>";
        double left = kLabelWidth;
        for (const ChangeRowKind kind : kReportKindOrder) {
            const uint32_t n = b.counts[static_cast<int>(kind)];
            if (!n) continue;
            const double w = static_cast<double>(n) * kBarsWidth / most;
            char geometry[96];
            std::snprintf(geometry, sizeof geometry, "x=\"%.2f\" y=\"%d\" width=\"%.2f\" height=\"%d\"",
                          left, y + 2, w, kRowHeight - 4);
            out += std::string("<rect ") + geometry + " fill=\"" + kindColour(kind) + "\"><title>";
            appendHtmlLatin1(out, b.label);
            out += ": " + std::to_string(n) + " " + changeRowKindName(kind) + "</title></rect>";
            left += w;
        }
        out += "<text x=\"" + std::to_string(static_cast<int>(left) + 4) + "\" y=\"" +
               std::to_string(y + 13) + "\">" + std::to_string(b.total) + "</text></g>\n";
    }
    out += "</svg>\n";
}
