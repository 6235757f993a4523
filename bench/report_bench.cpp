// The change report of a synthetic pair of 2,500,000 taxa a side: loaded and compared as the
// viewer does, the changes found, then the page written (pictures, counts, chart, rows
// summed up by family past 50,000) as `cladorama-cli report` writes it.
//   report_bench [FOLDER [TAXA]]   (default bench/out and 2500000; the pair is generated
//   there once and reused)
#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "Census.h"
#include "Console.h"
#include "ReportSections.h"
#include "Summaries.h"
#include "Synthetic.h"

namespace {

using namespace bench;

constexpr int kRuns = 3;

bool pairOf(const std::filesystem::path& folder, int64_t taxa, std::string& a, std::string& b) {
    const std::string stem = "synthetic_" + std::to_string(taxa) + "_1_";
    a = (folder / (stem + "A.xml")).string();
    b = (folder / (stem + "B.xml")).string();
    if (std::filesystem::exists(a) && std::filesystem::exists(b)) return true;
    std::printf("generating %s and %s ...\n", a.c_str(), b.c_str());
    std::filesystem::create_directories(folder);
    SyntheticOptions o;
    o.taxa = taxa;
    o.seed = 1;
    return writeSyntheticPair(a, b, o);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    const int64_t taxa = argc > 2 ? std::stoll(argv[2]) : 2500000;
    std::string a, b;
    if (!pairOf(folder, taxa, a, b)) {
        std::fprintf(stderr, "report_bench: cannot write the pair into %s\n", folder.c_str());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "report_bench";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    CCladoramaDoc doc;
    auto t0 = Clock::now();
    const bool loaded = doc.ReloadTrees(a, b);
    const double load = secondsSince(t0);
    t0 = Clock::now();
    const bool found = loaded && doc.FindChangesNow();
    const double changes = secondsSince(t0);
    setConsoleStream(nullptr);
    std::fclose(devnull);
    if (!found) {
        std::fprintf(stderr, "report_bench: the pair could not be read\n");
        return 1;
    }
    const size_t rows = doc.m_changes.rows().size();
    std::printf("2 x %lld taxa: loaded and compared in %.2f s, changes found in %.2f s (%zu rows)\n",
                static_cast<long long>(taxa), load, changes, rows);

    // The parts of the page's text, one by one.
    {
        std::string text;
        auto p0 = Clock::now();
        const auto census = rankCensus(doc.m_tree1).size() + rankCensus(doc.m_tree2).size();
        const double tCensus = secondsSince(p0);
        p0 = Clock::now();
        const auto diff = summariseDiff(doc.m_tree1, doc.m_tree2, doc.m_partners.pairs).table();
        const double tDiff = secondsSince(p0);
        p0 = Clock::now();
        const auto relations = relationSummary(doc.m_relations, ranksOfOneTree(doc.m_relations, doc.m_ranksLeftOut));
        const double tRelations = secondsSince(p0);
        p0 = Clock::now();
        appendChart(text, doc.m_changes);
        const double tChart = secondsSince(p0);
        p0 = Clock::now();
        appendRows(text, doc.m_changes, kReportRowLimit);
        const double tRows = secondsSince(p0);
        p0 = Clock::now();
        const auto taxa = taxaWithMostChanges(doc.m_changes);
        const double tTaxa = secondsSince(p0);
        std::printf("text: census %.2f s, diff summary %.2f s, relate summary %.2f s, chart %.2f s, "
                    "rows %.2f s; taxa pictured %.2f s (%zu ranks, %zu rows of counts, %zu taxa)\n",
                    tCensus, tDiff, tRelations, tChart, tRows, tTaxa, census,
                    diff.size() + relations.rows.size(), taxa.size());
    }
    const std::string out = (folder / "report_bench.html").string();
    ReportOptions options;
    options.sides[0].file = a;
    options.sides[1].file = b;
    std::vector<double> whole, pictures, page;
    size_t bytes = 0, figureBytes = 0;
    for (int run = 0; run < kRuns; ++run) {
        // The parts, then the whole as the command writes it.
        auto p0 = Clock::now();
        std::vector<ReportFigure> figures;
        std::string why;
        if (!drawReportFigures(doc, taxaWithMostChanges(doc.m_changes), 1000, 700, figures, why)) {
            std::fprintf(stderr, "report_bench: %s\n", why.c_str());
            return 1;
        }
        pictures.push_back(secondsSince(p0));
        figureBytes = 0;
        for (const ReportFigure& f : figures) figureBytes += f.svg.size();
        p0 = Clock::now();
        bytes = changeReportHtml(doc, options, figures).size();
        page.push_back(secondsSince(p0));

        p0 = Clock::now();
        if (!writeChangeReport(doc, out, options, why)) {
            std::fprintf(stderr, "report_bench: %s\n", why.c_str());
            return 1;
        }
        whole.push_back(secondsSince(p0));
    }
    std::printf("report: %.2f s (median of %d; target 10 s), of which pictures %.2f s (%.1f MB "
                "of SVG) and page %.2f s; %.1f MB written to %s\n",
                median(whole), kRuns, median(pictures), figureBytes / 1e6, median(page),
                bytes / 1e6, out.c_str());
    return 0;
}
