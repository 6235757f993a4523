// The relations of the higher taxa on synthetic pairs of 625,000 and 2,500,000 taxa a side,
// combined as every load leaves them: the relations themselves, and the report that
// `cladorama-cli relate` prints from them. The two sizes show how the time grows.
//   relate_bench [FOLDER [TAXA]]   (default bench/out; the pairs are generated there once and
//   reused; with TAXA only a pair of that size)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Combine.h"
#include "Compare.h"
#include "Console.h"
#include "NameOrder.h"
#include "Synthetic.h"
#include "TaxonRelations.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;

struct Figures {
    int64_t taxa = 0;
    double relateWall = 0, relateCpu = 0, reportWall = 0;
};

bool pairOf(const std::filesystem::path& folder, int64_t taxa, std::string& a, std::string& b) {
    const std::string stem = "synthetic_" + std::to_string(taxa) + "_1_";
    a = (folder / (stem + "A.xml")).string();
    b = (folder / (stem + "B.xml")).string();
    if (std::filesystem::exists(a) && std::filesystem::exists(b)) return true;
    std::printf("generating %s and %s ...\n", a.c_str(), b.c_str());
    SyntheticOptions o;
    o.taxa = taxa;
    o.seed = 1;
    return writeSyntheticPair(a, b, o);
}

bool measure(const std::filesystem::path& folder, int64_t size, Figures& f) {
    std::string a, b;
    if (!pairOf(folder, size, a, b)) return false;
    ClassificationTree t1, t2;
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    const bool read = readClassification(t1, a.c_str()) && readClassification(t2, b.c_str());
    setConsoleStream(nullptr);
    std::fclose(devnull);
    if (!read) return false;
    t1.treeId = 1;
    t2.treeId = 2;
    compareTrees(t1, t2);
    compareTrees(t2, t1);
    countDescendants(t1);
    countDescendants(t2);
    graftUnique(&t1, &t2, 1, 2);
    graftUnique(&t2, &t1, 2, 1);
    sortChildrenByLatinName(&t1);
    sortChildrenByLatinName(&t2);
    f.taxa = int64_t(t1.nodeCount) + t2.nodeCount;

    std::vector<double> wall, cpu, report;
    size_t relations = 0, bytes = 0, verdicts[kVerdictCount] = {};
    for (int run = 0; run < kRuns; ++run) {
        const double c0 = processorSeconds();
        const auto t0 = Clock::now();
        const TaxonRelations rel(t1, t2);
        wall.push_back(secondsSince(t0));
        cpu.push_back(processorSeconds() - c0);
        // The lines relate prints, into a buffer emptied at each megabyte as relate's is.
        const auto r0 = Clock::now();
        std::string text;
        bytes = 0;
        for (const TaxonRelation& r : rel.relations()) {
            appendRelationLine(text, rel, r);
            if (text.size() >= (1u << 20)) {
                bytes += text.size();
                text.clear();
            }
        }
        bytes += text.size();
        report.push_back(secondsSince(r0));
        relations = rel.relations().size();
        if (run == 0)
            for (const TaxonVerdict& v : rel.taxa())
                if (v.side == 1 || v.verdict == Verdict::OnlyIn2) ++verdicts[int(v.verdict)];
    }
    f.relateWall = median(wall);
    f.relateCpu = median(cpu);
    f.reportWall = median(report);
    std::printf("%lld taxa in the two classifications; %zu report lines (%.1f MB)\n",
                static_cast<long long>(f.taxa), relations, bytes / 1e6);
    std::printf("  verdicts:");
    for (int k = 0; k < kVerdictCount; ++k)
        std::printf(" %s %zu;", verdictName(Verdict(k)), verdicts[k]);
    std::printf(
        "\n  relations %.3f s wall, %.3f s cpu; report lines %.3f s; %.0f ns per taxon"
        " (median of %d)\n",
        f.relateWall, f.relateCpu, f.reportWall, 1e9 * f.relateWall / double(f.taxa), kRuns);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    std::filesystem::create_directories(folder);
    Figures small, large;
    if (argc > 2) return measure(folder, std::stoll(argv[2]), small) ? 0 : 1;
    if (!measure(folder, 625000, small) || !measure(folder, 2500000, large)) {
        std::fprintf(stderr, "relate_bench: cannot read or write the pairs in %s\n",
                     folder.c_str());
        return 1;
    }
    std::printf("time per taxon, 2,500,000 against 625,000 a side: %.2f\n",
                (large.relateWall / double(large.taxa)) / (small.relateWall / double(small.taxa)));
    return 0;
}
