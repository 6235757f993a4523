// What finding the partners of renamed taxa adds to a diff of two large classifications: the
// synthetic pair (2 x 2,500,000 taxa by default, a few percent of its species renamed by
// genus moves, changed endings and misspelt epithets) read and combined as
// `cladorama-cli diff FILE1 FILE2` reads them, then the partners found again and again on the
// combined trees, by every rule and, in turn, by the rules without spellings and changes of
// priority. Prints the median time of the finding, the time of the whole load for scale, what
// the later rules add to the diff as a ratio to the diff without them, and the memory the
// finding takes above what the loaded trees hold (its high-water mark less the resident size
// before it), per taxon of the two trees.
//
//   renames_bench [--dir DIR] [--taxa N] [--runs R]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CladoramaDoc.h"
#include "Console.h"
#include "Renames.h"
#if __has_include("Synthetic.h")
#include "Synthetic.h"
#define HAVE_SYNTHETIC 1
#endif

namespace {

using bench::Clock;
using bench::secondsSince;

// A line of /proc/self/status in kilobytes ("VmRSS", "VmHWM").
long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key) + 1);
    return -1;
}

// From now on the high-water mark counts from the resident size as it is.
bool resetHighWater() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    long long taxa = 2500000;
    int runs = 5;
    std::string dir = "bench/out";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--taxa")) taxa = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
    }
    std::filesystem::create_directories(dir);
    // A quarter of the renamed species misspelt: the files of the generator's option.
    constexpr double kMisspelt = 0.25;
    const std::string a = dir + "/renames_" + std::to_string(taxa) + "_misspelt_A.xml";
    const std::string b = dir + "/renames_" + std::to_string(taxa) + "_misspelt_B.xml";
    if (!std::filesystem::exists(a) || !std::filesystem::exists(b)) {
#ifdef HAVE_SYNTHETIC
        SyntheticOptions options;
        options.taxa = taxa;
        options.misspeltShare = kMisspelt;
        if (!writeSyntheticPair(a, b, options)) {
            std::fprintf(stderr, "renames_bench: cannot write %s\n", a.c_str());
            return 1;
        }
#else
        std::fprintf(stderr, "renames_bench: no synthetic generator; put %s and %s there\n",
                     a.c_str(), b.c_str());
        return 1;
#endif
    }

    CCladoramaDoc doc;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    setConsoleStream(quiet);
    auto start = Clock::now();
    const double loadStart = bench::processorSeconds();
    if (!doc.ReloadTrees(a, b) || !doc.FindPartnersNow()) return 1;
    const double load = secondsSince(start);
    const double loadProcessor = bench::processorSeconds() - loadStart;
    setConsoleStream(stdout);
    const double taxaBoth = double(doc.m_tree1.nodeCount) + double(doc.m_tree2.nodeCount);
    std::printf("%lld + %lld taxa; %zu pairs found\n",
                static_cast<long long>(doc.m_tree1.nodeCount),
                static_cast<long long>(doc.m_tree2.nodeCount), doc.m_partners.pairs.pairs().size());
    std::printf("reading and combining both files, partners included: %.2f s\n", load);

    std::vector<double> times, walls, todayWalls, todayTimes;
    size_t todayPairs = 0;
    long extraKb = 0;
    for (int r = 0; r < runs; ++r) {
        {
            // The rules without spellings and changes of priority, in turn with all of them.
            RenamePairs today;
            const double t = bench::processorSeconds();
            auto wall = Clock::now();
            today.find(doc.m_tree1, doc.m_tree2, &doc.m_partners.facts[0], &doc.m_partners.facts[1],
                       RenameRules{.spelling = false, .priority = false});
            todayWalls.push_back(secondsSince(wall));
            todayTimes.push_back(bench::processorSeconds() - t);
            todayPairs = today.pairs().size();
        }
        RenamePairs pairs;
        const long before = statusKb("VmRSS:");
        const bool reset = resetHighWater();
        // Processor time too: on a shared machine the wall clock also counts other
        // programs' turns (the two trees are walked on two threads, so it may be the larger).
        const double t = bench::processorSeconds();
        auto wall = Clock::now();
        pairs.find(doc.m_tree1, doc.m_tree2, &doc.m_partners.facts[0], &doc.m_partners.facts[1]);
        walls.push_back(secondsSince(wall));
        times.push_back(bench::processorSeconds() - t);
        const long peak = statusKb("VmHWM:");
        if (reset && before > 0 && peak > 0) extraKb = std::max(extraKb, peak - before);
        if (pairs.pairs().size() != doc.m_partners.pairs.pairs().size()) {
            std::fprintf(stderr, "renames_bench: the pairs differ from run to run\n");
            return 1;
        }
    }
    std::printf("finding the partners: median %.3f s (wall clock), %.3f s of processor time, "
                "in %d runs\n",
                bench::median(walls), bench::median(times), runs);
    // In processor time: the wall clock of a shared machine counts others' turns too.
    const double added = bench::median(times) - bench::median(todayTimes);
    std::printf("without spellings and changes of priority: %zu pairs, median %.3f s (wall "
                "clock), %.3f s of processor time\n",
                todayPairs, bench::median(todayWalls), bench::median(todayTimes));
    std::printf("spellings and changes of priority add %.3f s of processor time to a diff of "
                "%.2f s: %.3f times the diff without them\n",
                added, loadProcessor, loadProcessor / (loadProcessor - added));
    // What diff asks of them: the pair of every taxon held by one tree only, as it walks
    // tree 1's combined tree; less the walk itself, which diff makes anyway.
    std::vector<double> lookups;
    size_t paired = 0;
    for (int r = 0; r < runs; ++r) {
        size_t marked = 0;
        double t = bench::processorSeconds();
        forEachNode(static_cast<const TreeNode*>(&doc.m_tree1),
                    [&](const TreeNode* n) { marked += n->onlyInTree != 0; });
        const double walk = bench::processorSeconds() - t;
        paired = 0;
        t = bench::processorSeconds();
        forEachNode(static_cast<const TreeNode*>(&doc.m_tree1), [&](const TreeNode* n) {
            paired += doc.m_partners.pairs.pairOf(*n) != nullptr;
        });
        lookups.push_back(bench::processorSeconds() - t - walk);
        if (marked == 0) return 1;
    }
    std::printf("looking up the pair of every taxon of tree 1's combined tree (%zu paired), "
                "beyond the walk: median %.3f s of processor time\n",
                paired, bench::median(lookups));
    std::printf("memory above the loaded trees while finding them: %.1f MB, %.1f B/taxon\n",
                double(extraKb) / 1024, double(extraKb) * 1024 / taxaBoth);
    return 0;
}
