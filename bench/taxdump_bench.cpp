// Reading NCBI taxdumps: one of 2,600,000 nodes, against a rank-column table of the same
// taxonomy's ranked taxa; and a pair of releases to the first frame.
//   taxdump_bench [FOLDER] [--nodes N] [--runs R] [--only read|table|pair|tablepair]
//   (default bench/out, 2,600,000 nodes, 5 runs, all three)
//
// Two synthetic releases are written once into FOLDER/taxdump-a and FOLDER/taxdump-b
// (cladorama_gen --taxdump), and beside them taxdump-a.csv: a row per leaf, its ranked
// ancestors under the columns of their ranks. Each reading runs in a fresh process (after one
// warming run), which reports its time and its peak resident memory; the medians are printed,
// memory per taxon read. Targets: the taxdump read in 2 s or less, at no more memory per taxon
// than the table; the pair, read, compared, combined and laid out as File > Open does
// (ReloadTrees: what the first frame waits for), in 5 s or less. For comparison, the pair of
// tables of the two releases' ranked taxa (taxdump-b.csv written beside) to the first frame.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CladoramaDoc.h"
#include "Console.h"
#include "Import.h"
#include "SyntheticTaxdump.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;

bool writeTable(const ClassificationTree& tree, const std::string& path) {
    std::vector<int> columnOf(kRankCount, -1), ranks;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        const int r = rankFromName(n->rankName);
        if (r >= 0 && r < kRankCount) columnOf[r] = 0;
    });
    for (int r = 0; r < kRankCount; ++r)
        if (columnOf[r] == 0) {
            columnOf[r] = static_cast<int>(ranks.size());
            ranks.push_back(r);
        }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    for (size_t i = 0; i < ranks.size(); ++i) std::fprintf(f, "%s%s", i ? "," : "", rankName(ranks[i]));
    std::fprintf(f, ",vernacularName\n");
    std::vector<const TreeNode*> cells(ranks.size());
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        if (!n->children.empty()) return;
        std::fill(cells.begin(), cells.end(), nullptr);
        for (const TreeNode* a = n; a; a = a->parent) {
            const int r = rankFromName(a->rankName);
            if (r >= 0 && r < kRankCount) cells[static_cast<size_t>(columnOf[r])] = a;
        }
        for (size_t i = 0; i < cells.size(); ++i)
            std::fprintf(f, "%s%s", i ? "," : "", cells[i] ? cells[i]->latinName : "");
        std::fprintf(f, ",%s\n", n->commonName);
    });
    return std::fclose(f) == 0;
}

struct Run {
    double seconds = 0;
    double taxa = 0;
    double peak = 0;  // bytes
    bool ok = false;
};

// Runs `work` in a fresh process, which prints its taxa and seconds; the peak is the
// process's.
template <class Work>
Run inChild(Work&& work) {
    int pipeFd[2];
    Run run;
    if (pipe(pipeFd) != 0) return run;
    const pid_t pid = fork();
    if (pid < 0) return run;
    if (pid == 0) {
        close(pipeFd[0]);
        std::FILE* quiet = std::fopen("/dev/null", "w");
        setConsoleStream(quiet);
        const auto start = std::chrono::steady_clock::now();
        const double taxa = work();
        const double seconds = secondsSince(start);
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%f %f\n", taxa, seconds);
        if (write(pipeFd[1], line, static_cast<size_t>(n)) != n) _exit(1);
        _exit(taxa > 0 ? 0 : 1);  // the teardown is not what is measured
    }
    close(pipeFd[1]);
    char buffer[64] = {};
    const ssize_t got = read(pipeFd[0], buffer, sizeof buffer - 1);
    close(pipeFd[0]);
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid || got <= 0) return run;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
             std::sscanf(buffer, "%lf %lf", &run.taxa, &run.seconds) == 2;
    run.peak = static_cast<double>(ru.ru_maxrss) * 1024;
    return run;
}

template <class Work>
bool measure(const char* what, int runs, double target, Work&& work, double* perTaxon = nullptr) {
    std::vector<double> times, peaks;
    double taxa = 0;
    for (int i = 0; i <= runs; ++i) {
        const Run r = inChild(work);
        if (!r.ok) {
            std::fprintf(stderr, "taxdump_bench: %s failed\n", what);
            return false;
        }
        if (i == 0) continue;  // warming
        times.push_back(r.seconds);
        peaks.push_back(r.peak / r.taxa);
        taxa = r.taxa;
    }
    std::printf("%-36s %9.0f taxa  median %6.3f s (min %.3f, max %.3f)%s  peak %6.0f bytes/taxon\n",
                what, taxa, median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()),
                target > 0 ? (", target <= " + std::to_string(target).substr(0, 3) + " s").c_str() : "",
                median(peaks));
    if (perTaxon) *perTaxon = median(peaks);
    return true;
}

// The trees are left to the process's end, which does not wait for their teardown.
double readFile(const std::string& path) {
    auto* tree = new ClassificationTree;
    return importClassification(*tree, path) ? tree->nodeCount : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = "bench/out";
    SyntheticTaxdumpOptions options;
    int runs = 5;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--nodes") && i + 1 < argc) options.nodes = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        else folder = argv[i];
    }
    const std::string suffix =
        options.nodes == SyntheticTaxdumpOptions().nodes ? "" : "-" + std::to_string(options.nodes);
    const std::string a = folder + "/taxdump-a" + suffix, b = folder + "/taxdump-b" + suffix,
                      table = folder + "/taxdump-a" + suffix + ".csv",
                      tableB = folder + "/taxdump-b" + suffix + ".csv";
    if (!fs::exists(a + "/nodes.dmp") || !fs::exists(b + "/nodes.dmp")) {
        std::printf("writing %s and %s ...\n", a.c_str(), b.c_str());
        if (!writeSyntheticTaxdumps(a, b, options)) {
            std::fprintf(stderr, "taxdump_bench: cannot write the taxdumps\n");
            return 1;
        }
    }
    // In a process of its own: the readers' kept threads would not follow this process
    // into the children it forks after.
    for (const auto& [dump, csv] : {std::pair{a, table}, std::pair{b, tableB}}) {
        if (fs::exists(csv)) continue;
        const std::string from = dump, to = csv;
        if (!inChild([&] {
                 ClassificationTree tree;
                 return importClassification(tree, from) && writeTable(tree, to) ? 1.0 : 0.0;
             }).ok) {
            std::fprintf(stderr, "taxdump_bench: cannot write %s\n", to.c_str());
            return 1;
        }
    }
    auto pair = [](const std::string& first, const std::string& second) {
        auto* doc = new CCladoramaDoc;
        return doc->ReloadTrees(first, second)
                   ? double(doc->m_tree1.nodeCount) + doc->m_tree2.nodeCount
                   : 0.0;
    };
    double dumpPeak = 0, tablePeak = 0;
    auto wanted = [&](const char* what) { return only.empty() || only == what; };
    bool ok = (!wanted("read") ||
               measure("taxdump read", runs, 2.0, [&] { return readFile(a); }, &dumpPeak)) &&
              (!wanted("table") || measure("table of its ranked taxa read", runs, 0,
                                           [&] { return readFile(table); }, &tablePeak)) &&
              (!wanted("pair") ||
               measure("pair to the first frame", runs, 5.0, [&] { return pair(a, b); })) &&
              (!wanted("tablepair") || measure("pair of tables to the first frame", runs, 0,
                                               [&] { return pair(table, tableB); }));
    if (!ok) return 1;
    if (dumpPeak > 0 && tablePeak > 0)
        std::printf("memory per taxon, taxdump / table: %.2f (target <= 1)\n", dumpPeak / tablePeak);
    return 0;
}
