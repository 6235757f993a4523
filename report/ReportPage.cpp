#include <QByteArray>

#include <algorithm>
#include <ctime>

#include "Census.h"
#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "ReportSections.h"
#include "Summaries.h"

namespace {

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// The file's name without its folder and suffix.
std::string stem(const std::string& file) {
    std::string name = file.substr(file.find_last_of('/') == std::string::npos ? 0 : file.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string titleOf(const ReportSide& side, int tree) {
    if (!side.title.empty()) return side.title;
    if (!side.file.empty()) return stem(side.file);
    return "Tree " + std::to_string(tree);
}

// A table of counts: the first column names, the others numbers; a last row named "total"
// stands out.
void appendCounts(std::string& out, const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows, const char* id) {
    out += std::string("<table class=\"counts\" id=\"") + id + "\"><thead><tr>";
    for (const std::string& h : header) {
        out += "<th scope=\"col\">";
        appendHtmlLatin1(out, h);
        out += "</th>";
    }
    out += "</tr></thead><tbody>\n";
    for (const auto& row : rows) {
        out += !row.empty() && row[0] == "total" ? "<tr class=\"total\">" : "<tr>";
        for (const std::string& cell : row) {
            out += "<td>";
            appendHtmlLatin1(out, cell);
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody></table>\n";
}

// Both trees' taxa by rank: tree 1's ranks in its order, tree 2's others after the rank
// they follow there.
void appendCensus(std::string& out, const CCladoramaDoc& doc, const std::string titles[2],
                  const ReportOptions& options) {
    const auto census1 = rankCensus(doc.m_tree1);
    const auto census2 = rankCensus(doc.m_tree2);
    // The twenty in their order; any other rank just below the rank it follows in its tree.
    std::vector<std::pair<double, std::string>> ranks;
    for (const auto* census : {&census1, &census2}) {
        double key = -1;
        for (const auto& [rank, n] : *census) {
            const int known = rankFromName(rank.c_str());
            key = known >= 0 ? known : key + 0.01;
            bool seen = false;
            for (const auto& r : ranks) seen = seen || r.second == rank;
            if (!seen) ranks.emplace_back(key, rank);
        }
    }
    std::stable_sort(ranks.begin(), ranks.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto countOf = [](const std::vector<std::pair<std::string, int>>& census, const std::string& rank) {
        int n = 0;
        for (const auto& [r, c] : census)
            if (r == rank) n = c;
        return n;
    };
    out += "<table class=\"counts\" id=\"census\"><thead><tr><th scope=\"col\">rank</th>";
    for (int t = 0; t < 2; ++t) {
        out += "<th scope=\"col\">";
        appendHtmlUtf8(out, titles[t]);
        if (!options.sides[t].file.empty()) {
            out += "<br><span class=\"file\">";
            appendHtmlUtf8(out, options.sides[t].file);
            out += "</span>";
        }
        out += "</th>";
    }
    out += "</tr></thead><tbody>\n";
    for (const auto& [key, rank] : ranks) {
        const int n1 = countOf(census1, rank), n2 = countOf(census2, rank);
        if (!n1 && !n2) continue;
        out += "<tr><td>";
        appendHtmlLatin1(out, rank);
        out += "</td><td>" + std::to_string(n1) + "</td><td>" + std::to_string(n2) + "</td></tr>\n";
    }
    out += "</tbody></table>\n";
}

}  // namespace

void appendReportFigures(std::string& out, const std::vector<ReportFigure>& figures) {
    if (figures.empty()) return;
    out += "<section id=\"pictures\"><h2>Pictures</h2>\n<p class=\"note\">Tree 1 on the left, "
           "tree 2 on the right, with the changes drawn in: a line from each changed taxon to "
           "its partner, rings in the colour of the change.</p>\n<div class=\"figures\">\n";
    for (size_t i = 0; i < figures.size(); ++i) {
        const ReportFigure& f = figures[i];
        out += i == 0 ? "<figure class=\"home\">" : "<figure>";
        out += "<img decoding=\"async\" alt=\"";
        appendHtmlLatin1(out, f.caption);
        out += "\" src=\"data:image/svg+xml;base64,";
        out += QByteArray::fromRawData(f.svg.data(), static_cast<qsizetype>(f.svg.size()))
                   .toBase64()
                   .toStdString();
        out += "\"><figcaption>";
        appendHtmlLatin1(out, f.caption);
        out += "</figcaption></figure>\n";
    }
    out += "</div></section>\n";
}

ReportPageParts changeReportParts(const CCladoramaDoc& doc, const ReportOptions& options) {
    const std::string titles[2] = {titleOf(options.sides[0], 1), titleOf(options.sides[1], 2)};
    const std::string title =
        !options.title.empty() ? options.title : "Changes from " + titles[0] + " to " + titles[1];
    const std::string date = options.date.empty() ? today() : options.date;
    const ChangeList& list = doc.m_changes;

    ReportPageParts parts;
    std::string& out = parts.before;
    out.reserve(1 << 20);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"Cladorama\">\n<title>";
    appendHtmlUtf8(out, title);
    out += "</title>\n<style>";
    out += kReportStyle;
    out += "</style>\n</head>\n<body>\n<header><h1>";
    appendHtmlUtf8(out, title);
    out += "</h1>\n<p class=\"written\">Written <time datetime=\"";
    appendHtmlUtf8(out, date);
    out += "\">";
    appendHtmlUtf8(out, date);
    out += "</time> by Cladorama.</p></header>\n";

    out += "<section id=\"classifications\"><h2>The two classifications</h2>\n"
           "<p>Tree 1 is <strong>";
    appendHtmlUtf8(out, titles[0]);
    out += "</strong>, tree 2 <strong>";
    appendHtmlUtf8(out, titles[1]);
    out += "</strong>. Their taxa by rank:</p>\n";
    appendCensus(out, doc, titles, options);
    out += "</section>\n";

    out += "<section id=\"summary\"><h2>The changes counted</h2>\n"
           "<h3>Taxa one classification alone holds, by what became of them</h3>\n";
    const DiffSummary diff = summariseDiff(doc.m_tree1, doc.m_tree2, doc.m_partners.pairs);
    const auto diffTable = diff.table();
    appendCounts(out, diffTable.front(), {diffTable.begin() + 1, diffTable.end()}, "by-change");
    out += "<h3>Higher taxa, by the species they hold</h3>\n";
    const SummaryTable relations =
        relationSummary(doc.m_relations, ranksOfOneTree(doc.m_relations, doc.m_ranksLeftOut));
    appendCounts(out, relations.header, relations.rows, "by-relation");
    out += "<h3>Where the changes lie</h3>\n";
    appendChart(out, list);
    out += "</section>\n";

    std::string& tail = parts.after;
    tail.reserve(1 << 20);
    tail += "<section id=\"changes\"><h2>Every change</h2>\n";
    appendRows(tail, list, options.rowLimit);
    tail += "</section>\n<footer>Written by Cladorama from ";
    appendHtmlUtf8(tail, options.sides[0].file.empty() ? titles[0] : options.sides[0].file);
    tail += " and ";
    appendHtmlUtf8(tail, options.sides[1].file.empty() ? titles[1] : options.sides[1].file);
    tail += ".</footer>\n<script>";
    tail += kReportScript;
    tail += "</script>\n</body>\n</html>\n";
    return parts;
}

std::string changeReportHtml(const CCladoramaDoc& doc, const ReportOptions& options,
                             const std::vector<ReportFigure>& figures) {
    ReportPageParts parts = changeReportParts(doc, options);
    std::string page = std::move(parts.before);
    appendReportFigures(page, figures);
    page += parts.after;
    return page;
}

