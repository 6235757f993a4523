// Reading speed of the classification reader against `cat FILE >/dev/null` on the same
// file, a synthetic 2,500,000-taxon classification.
//   read_bench [FOLDER]   (default bench/out; the pair is generated there once and reused)
//
// Each run times cat, then the reader in this process (whose heap has the memory of the
// earlier runs to reuse, as a program that reloads does), the reader held to one thread,
// and the reader in a fresh process (which must fault in all the memory it fills).
//   read_bench --once FILE   (one read, seconds on standard output; used for the last)
// The reader classifies bytes with the widest vector instructions the processor has;
// CLADORAMA_SIMD=avx2 or sse2 in the environment measures a narrower path (the fresh
// processes inherit it).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "Synthetic.h"

namespace {

using namespace bench;

constexpr int64_t kTaxa = 2500000;
constexpr uint32_t kSeed = 1;
constexpr int kRuns = 5;

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--once") {
        setConsoleStream(std::fopen("/dev/null", "w"));
        ClassificationTree tree;
        auto t0 = std::chrono::steady_clock::now();
        if (!readClassification(tree, argv[2])) return 1;
        std::printf("%.6f\n", secondsSince(t0));
        std::fflush(stdout);
        std::_Exit(0);  // freeing is not part of reading
    }
    std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    std::filesystem::create_directories(folder);
    std::string a = (folder / "synthetic_2500000_1_A.xml").string();
    std::string b = (folder / "synthetic_2500000_1_B.xml").string();
    if (!std::filesystem::exists(a) || !std::filesystem::exists(b)) {
        std::printf("generating %s and %s ...\n", a.c_str(), b.c_str());
        auto t0 = std::chrono::steady_clock::now();
        SyntheticOptions o;
        o.taxa = kTaxa;
        o.seed = kSeed;
        if (!writeSyntheticPair(a, b, o)) {
            std::fprintf(stderr, "read_bench: cannot write into %s\n", folder.c_str());
            return 1;
        }
        std::printf("generated in %.2f s\n", secondsSince(t0));
    }
    double megabytes = static_cast<double>(std::filesystem::file_size(a)) / 1e6;

    // The progress lines (one per branch) go to /dev/null.
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);

    std::string cat = "cat '" + a + "' >/dev/null";
    std::string fresh = "'/proc/" + std::to_string(getpid()) + "/exe' --once '" + a + "'";
    std::vector<double> catTimes, readTimes, oneThreadTimes, freshTimes;
    // Processor time (user + system) beside the wall clock, which on a shared machine
    // also counts other programs' turns: cat's, and the reading's by one thread.
    std::vector<double> catCpu, oneThreadCpu;
    auto childrenSeconds = [] {
        struct rusage ru;
        getrusage(RUSAGE_CHILDREN, &ru);
        return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    };
    int32_t nodes = 0;
    double lastCpu = 0;  // processor time of the last timeRead
    auto timeRead = [&](size_t split) {
        auto tree = std::make_unique<ClassificationTree>();
        const double cpuStart = processorSeconds();
        auto t0 = std::chrono::steady_clock::now();
        int ok = split == SIZE_MAX ? readClassification(*tree, a.c_str())
                                   : readClassificationSplitAt(*tree, a.c_str(), split);
        if (!ok) std::exit(1);
        double r = secondsSince(t0);
        lastCpu = processorSeconds() - cpuStart;
        nodes = tree->nodeCount;
        tree.reset();  // freeing is not part of reading
        return r;
    };
    auto timeFreshProcess = [&] {
        FILE* p = popen(fresh.c_str(), "r");
        double seconds = -1;
        if (!p || std::fscanf(p, "%lf", &seconds) != 1 || pclose(p) != 0) std::exit(1);
        return seconds;
    };
    // Run 0 of each kind warms the page cache and the heap. The kinds are not interleaved:
    // a read by one thread leaves its freed memory where a read by two would not reuse it.
    for (int run = 0; run <= kRuns; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        const double catCpuStart = childrenSeconds();
        if (std::system(cat.c_str()) != 0) return 1;
        double c = secondsSince(t0);
        if (run > 0) catCpu.push_back(childrenSeconds() - catCpuStart);
        double r = timeRead(SIZE_MAX);
        if (run > 0) {
            catTimes.push_back(c);
            readTimes.push_back(r);
        }
    }
    for (int run = 0; run <= kRuns; ++run) {
        double f = timeFreshProcess();
        if (run > 0) freshTimes.push_back(f);
    }
    for (int run = 0; run <= kRuns; ++run) {
        double one = timeRead(0);
        if (run > 0) {
            oneThreadTimes.push_back(one);
            oneThreadCpu.push_back(lastCpu);
        }
    }
    setConsoleStream(nullptr);
    std::fclose(devnull);

    double c = median(catTimes), r = median(readTimes), one = median(oneThreadTimes),
           f = median(freshTimes);
    std::printf("file %s: %.1f MB, %d taxa, medians of %d runs, byte classifier %s\n", a.c_str(),
                megabytes, nodes, kRuns, readerSimdName(readerSimd()));
    auto line = [&](const char* what, double t) {
        std::printf("%-42s %.3f s (%5.0f MB/s)  speed / cat's = %.2f\n", what, t, megabytes / t,
                    c / t);
    };
    line("cat >/dev/null", c);
    line("readClassification", r);
    line("readClassification, one thread", one);
    line("readClassification, fresh process", f);
    std::printf("processor time: cat %.3f s, readClassification by one thread %.3f s "
                "(speed / cat's = %.2f)\n",
                median(catCpu), median(oneThreadCpu), median(catCpu) / median(oneThreadCpu));
    std::printf("target: readClassification's speed at least 0.30 of cat's\n");
    return 0;
}
