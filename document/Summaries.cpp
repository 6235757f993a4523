#include "Summaries.h"

#include <algorithm>
#include <array>

void SummaryTable::appendTsv(std::string& out) const {
    auto line = [&out](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i) out += '\t';
            out += cells[i];
        }
        out += '\n';
    };
    line(header);
    for (const auto& row : rows) line(row);
}

DiffSummary summariseDiff(const ClassificationTree& tree1, const ClassificationTree& tree2,
                          const RenamePairs& partners) {
    const DiffLines changes(tree1, tree2, partners);
    DiffSummary counts;
    DiffLines::Told told;
    std::vector<const TreeNode*> stack{&tree1};
    while (!stack.empty()) {
        const TreeNode* node = stack.back();
        stack.pop_back();
        for (size_t i = node->children.size(); i-- > 0;) stack.push_back(node->children[i]);
        if (changes.tell(*node, told)) counts.add(node->rankName, told.kind);
    }
    return counts;
}

std::vector<OneTreeRank> ranksOfOneTree(const TaxonRelations& relations,
                                        const std::vector<RankLeftOut>& leftOut) {
    std::vector<OneTreeRank> all = relations.oneTreeRanks();
    const std::vector<std::string>& shared = relations.ranks();
    for (const RankLeftOut& l : leftOut) {
        const int value = rankFromName(l.rank.c_str());
        uint32_t before = static_cast<uint32_t>(shared.size());
        if (value >= 0) {
            for (uint32_t r = 0; r < shared.size(); ++r) {
                const int v = rankFromName(shared[r].c_str());
                if (v > value) {
                    before = r;
                    break;
                }
            }
        }
        all.push_back({l.rank, static_cast<uint8_t>(l.tree), static_cast<uint32_t>(l.taxa), before});
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const OneTreeRank& a, const OneTreeRank& b) { return a.before < b.before; });
    return all;
}

SummaryTable relationSummary(const TaxonRelations& relations, const std::vector<OneTreeRank>& alone,
                             int rank, const std::string& rankName) {
    std::vector<std::array<uint32_t, kVerdictCount>> counts(relations.ranks().size());
    for (const TaxonVerdict& v : relations.taxa()) {
        // Tree 2's taxa are counted only where they have no counterpart: every other change
        // is counted once, on tree 1's side.
        if (v.side == 2 && v.verdict != Verdict::OnlyIn2) continue;
        ++counts[v.rank][static_cast<int>(v.verdict)];
    }
    SummaryTable table;
    table.header.push_back("rank");
    for (int k = 0; k < kVerdictCount; ++k) table.header.push_back(verdictName(Verdict(k)));
    auto row = [&table](const std::string& name, const std::array<uint32_t, kVerdictCount>& n) {
        std::vector<std::string> cells{name};
        for (uint32_t c : n) cells.push_back(std::to_string(c));
        table.rows.push_back(std::move(cells));
    };
    // A rank one tree alone uses is a row of its own, in its place from the top: all its taxa
    // are that tree's only.
    size_t next = 0;
    auto aloneRows = [&](size_t before) {
        for (; next < alone.size() && alone[next].before <= before; ++next) {
            const OneTreeRank& a = alone[next];
            if (!rankName.empty() && a.name != rankName) continue;
            std::array<uint32_t, kVerdictCount> n{};
            n[static_cast<int>(a.side == 1 ? Verdict::OnlyIn1 : Verdict::OnlyIn2)] = a.taxa;
            row(a.name, n);
        }
    };
    for (size_t r = 0; r < counts.size(); ++r) {
        aloneRows(r);
        if (rank >= 0 && static_cast<int>(r) != rank) continue;
        row(relations.ranks()[r], counts[r]);
    }
    aloneRows(counts.size());
    return table;
}
