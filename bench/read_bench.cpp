// Reading speed of the classification reader against `cat FILE >/dev/null` on the same
// file, a synthetic 2,500,000-taxon classification.
//   read_bench [FOLDER]   (default bench/out; the pair is generated there once and reused)
#include <sys/stat.h>

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

    // The reader prints one progress line per branch, flushed one by one as the console
    // is unbuffered; here they go to /dev/null. A second timing sends them to memory, to
    // show what the hundreds of thousands of console writes cost on their own.
    FILE* devnull = std::fopen("/dev/null", "w");
    char* memory = nullptr;
    size_t memorySize = 0;
    FILE* inMemory = open_memstream(&memory, &memorySize);

    std::string cat = "cat '" + a + "' >/dev/null";
    std::vector<double> catTimes, readTimes, quietTimes;
    int32_t nodes = 0;
    auto timeRead = [&](FILE* console) {
        setConsoleStream(console);
        auto tree = std::make_unique<ClassificationTree>();
        auto t0 = std::chrono::steady_clock::now();
        if (!readClassification(*tree, a.c_str())) std::exit(1);
        double r = secondsSince(t0);
        nodes = tree->nodeCount;
        tree.reset();  // freeing is not part of reading
        return r;
    };
    for (int run = 0; run <= kRuns; ++run) {  // run 0 warms the page cache and the heap
        auto t0 = std::chrono::steady_clock::now();
        if (std::system(cat.c_str()) != 0) return 1;
        double c = secondsSince(t0);
        double r = timeRead(devnull);
        double q = timeRead(inMemory);
        std::rewind(inMemory);
        if (run > 0) {
            catTimes.push_back(c);
            readTimes.push_back(r);
            quietTimes.push_back(q);
        }
    }
    setConsoleStream(nullptr);
    std::fclose(devnull);
    std::fclose(inMemory);
    std::free(memory);

    double c = median(catTimes), r = median(readTimes), q = median(quietTimes);
    std::printf("file %s: %.1f MB, %d taxa\n", a.c_str(), megabytes, nodes);
    std::printf("cat >/dev/null                      median of %d: %.3f s (%.0f MB/s)\n", kRuns, c,
                megabytes / c);
    std::printf("readClassification, console null   median of %d: %.3f s (%.0f MB/s)\n", kRuns, r,
                megabytes / r);
    std::printf("readClassification, console memory median of %d: %.3f s (%.0f MB/s)\n", kRuns, q,
                megabytes / q);
    std::printf("reader speed / cat speed = %.2f (target >= 0.25); with the console in memory %.2f\n",
                c / r, c / q);
    return 0;
}
