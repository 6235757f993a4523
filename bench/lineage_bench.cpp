// Reading a lineage table of GTDB's size and shape against importing the same paths as a
// rank-column table.
//   lineage_bench [lineages|table]   (one of the two readings alone, for a profiler)
//
// 600,000 genomes over 110,000 species (a GTDB release's bacteria file, about), one line each
// in an order that has nothing to do with the taxonomy (GTDB sorts by accession), are made in
// memory: once as lineages ("d__Bacteria;p__...;s__Genus epithet"), once as a tab-separated
// table with one column per rank. Each is read three times after a warming run; the medians
// and the ratio of the lines read per second are printed. No target: the lineage reader is
// one thread where the table import splits a large file in two.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Console.h"
#include "Import.h"
#include "Lineages.h"

namespace {

using namespace bench;

constexpr int kGenomes = 600000;
constexpr int kSpecies = 110000, kGenera = 40000, kFamilies = 10000, kOrders = 3000,
              kClasses = 800, kPhyla = 200;
constexpr int kRuns = 3;

struct Texts {
    std::string lineages, table;
};

Texts make() {
    Texts t;
    t.table = "Superkingdom\tPhylum\tClass\tOrder\tFamily\tGenus\tSpecies\n";
    std::mt19937 random(39);
    std::uniform_int_distribution<int> species(0, kSpecies - 1);
    char line[256];
    for (int i = 0; i < kGenomes; ++i) {
        // Every genome's path follows from its species alone, so the paths form a tree.
        const int s = species(random), g = s % kGenera, f = g % kFamilies, o = f % kOrders,
                  c = o % kClasses, p = c % kPhyla;
        const char* domain = p % 20 == 0 ? "Archaea" : "Bacteria";
        std::snprintf(line, sizeof line,
                      "RS_GCF_%09d.1\td__%s;p__Phylum%d;c__Class%d;o__Order%d;f__Family%d;"
                      "g__Genus%d;s__Genus%d sp%d\n",
                      i, domain, p, c, o, f, g, g, s);
        t.lineages += line;
        std::snprintf(line, sizeof line,
                      "%s\tPhylum%d\tClass%d\tOrder%d\tFamily%d\tGenus%d\tGenus%d sp%d\n", domain,
                      p, c, o, f, g, g, s);
        t.table += line;
    }
    return t;
}

template <class Read>
double timeRuns(const char* what, Read&& read) {
    std::vector<double> runs;
    for (int run = 0; run <= kRuns; ++run) {
        const Clock::time_point start = Clock::now();
        ClassificationTree tree;
        if (!read(tree)) {
            std::fprintf(stderr, "%s: reading failed\n", what);
            return 0;
        }
        const double s = secondsSince(start);
        if (run > 0) runs.push_back(s);  // the first run warms the allocator and the caches
        if (run == kRuns)
            std::printf("%-10s %d taxa, median %.3f s, %.0f lines/s\n", what, tree.nodeCount,
                        median(runs), kGenomes / median(runs));
    }
    return median(runs);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const Texts t = make();
    std::printf("%d genomes: lineages %.1f MB, table %.1f MB\n", kGenomes,
                double(t.lineages.size()) / 1e6, double(t.table.size()) / 1e6);
    FILE* quiet = std::fopen("/dev/null", "w");
    setConsoleStream(quiet);
    double lineages = 0, table = 0;
    if (only != "table")
        lineages = timeRuns("lineages", [&](ClassificationTree& tree) {
            return imp::readLineages(tree, {{"bac120_taxonomy.tsv", t.lineages}}, "gtdb").ok();
        });
    if (only != "lineages")
        table = timeRuns("table", [&](ClassificationTree& tree) {
            return importTableFromMemory(tree, t.table.data(), t.table.size(), "gtdb.tsv");
        });
    setConsoleStream(nullptr);
    std::fclose(quiet);
    if (lineages > 0 && table > 0)
        std::printf("lineages read at %.2f times the table import's speed\n", table / lineages);
    return 0;
}
