// The change report: one self-contained HTML5 page of a comparison that anyone can open
// from disk, with no network: the two classifications and their counts by rank, the changes
// counted by kind and rank, a chart of where they lie, pictures of both panels with the
// changes drawn in, and every change as a row, grouped by kind, that the page sorts and
// filters. Text is UTF-8; the names, kept as ISO-8859-1, are converted on output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ChangeList.h"

class CCladoramaDoc;

// Past this many changes the rows are summed up by family (or the next rank up that brings
// them under it): a browser stays responsive with tables of this size.
constexpr size_t kReportRowLimit = 50000;

// One classification as the page names it. UTF-8.
struct ReportSide {
    std::string title;  // empty: the file's name without its folder and suffix
    std::string file;
};

// A picture of the page: an SVG document as the figures code writes it.
struct ReportFigure {
    std::string caption;  // ISO-8859-1, like the names in it
    std::string svg;
};

struct ReportOptions {
    std::string title;  // UTF-8; empty: the two classifications' titles
    ReportSide sides[2];
    std::string date;   // empty: the day it is written, as YYYY-MM-DD
    size_t rowLimit = kReportRowLimit;
};

// Text as HTML needs it, in UTF-8: ISO-8859-1 bytes, or UTF-8 (whose broken sequences
// become U+FFFD). The characters of markup are escaped; control characters, which no page
// may hold, become U+FFFD too (tabs and line breaks stay).
void appendHtmlLatin1(std::string& out, std::string_view latin1);
void appendHtmlUtf8(std::string& out, std::string_view utf8);

// A taxon pictured: its Latin name (ISO-8859-1) and the taxa of that name in the two
// combined trees where the changes name them (one of them may be null).
struct PicturedTaxon {
    std::string name;
    const TreeNode* node1 = nullptr;  // in tree 1's combined tree
    const TreeNode* node2 = nullptr;  // in tree 2's
};

// The taxa of the combined trees whose pictures the report shows: of those one level below
// the root (or, where fewer than `count` of them hold changes, of those one level further
// down), the `count` that hold the most changes, most first.
std::vector<PicturedTaxon> taxaWithMostChanges(const ChangeList& list, size_t count = 10);

// The page but its pictures, in two parts: what comes before them and what after.
struct ReportPageParts {
    std::string before, after;
};
ReportPageParts changeReportParts(const CCladoramaDoc& doc, const ReportOptions& options);
// The pictures as the page shows them.
void appendReportFigures(std::string& out, const std::vector<ReportFigure>& figures);

// The page. The document's changes must be ready.
std::string changeReportHtml(const CCladoramaDoc& doc, const ReportOptions& options,
                             const std::vector<ReportFigure>& figures);

// The pictures of the page, drawn without a window: both panels at home with the changes
// shown, then both flown to each of `taxa`, at width x height pixels. Needs a
// QGuiApplication. False, with the reason in `why`, when one could not be drawn.
bool drawReportFigures(CCladoramaDoc& doc, const std::vector<PicturedTaxon>& taxa, int width,
                       int height, std::vector<ReportFigure>& figures, std::string& why);

// Finds the changes when nobody has, draws the pictures (while another thread writes the
// rest of the page) and writes the page as `path`, whole or not at all. False, with one line saying why in `why`, when it could not.
bool writeChangeReport(CCladoramaDoc& doc, const std::string& path, const ReportOptions& options,
                       std::string& why);
