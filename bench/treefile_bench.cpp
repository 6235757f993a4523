// Binary tree file: time to write and to read back two large trees, and the memory a read
// tree occupies.
//
//   treefile_bench [--taxa N] [--runs R] [--dir FOLDER]
//
// Makes two classifications of N taxa each (default 2,500,000) with the synthetic
// generator and reads them (or, without the generator, builds random trees in memory),
// writes them with writeTreeFile, then reads both files R times (default 5) into fresh
// trees and prints the median. The resident memory per taxon is measured in a child
// process that does nothing but read the two files, so that nothing else it did earlier
// blurs the figure. With --dir FOLDER and TREEFILE_BENCH_REUSE=1 in the environment, the
// T1.jm2 and T2.jm2 already in FOLDER are read instead of making new ones.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "Census.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "TreeFile.h"
#if __has_include("Synthetic.h")
#include "Synthetic.h"
#define HAVE_SYNTHETIC 1
#endif

namespace {

using namespace bench;

long residentBytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    std::fclose(f);
    return resident * sysconf(_SC_PAGESIZE);
}

// Random tree shaped roughly like a checklist: a few wide levels down to species.
void randomTree(ClassificationTree& t, int64_t taxa, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* const ranks[] = {"Kingdom", "Phylum", "Class", "Order", "Family",
                                        "Genus", "Species", "Subspecies"};
    t.latinName = newName("Root");
    t.commonName = newName("");
    t.rankName = newName("Kingdom");
    for (const char* r : ranks) t.rankNames.push_back(newName(r));
    std::vector<TreeNode*> frontier{&t};
    int64_t made = 1;
    char name[64];
    while (made < taxa) {
        TreeNode* parent = frontier[rng() % frontier.size()];
        if (parent->level >= 7) continue;
        auto* n = new TreeNode;
        std::snprintf(name, sizeof name, "Taxon%08u species%u", unsigned(rng() % 100000000),
                      unsigned(made));
        n->latinName = newName(name);
        n->commonName = newName(rng() % 5 == 0 ? "common name" : "");
        n->rankName = newName(ranks[parent->level + 1]);
        applyRankColor(*n);
        n->level = parent->level + 1;
        n->number = static_cast<int32_t>(made);
        n->x = n->y = 0.5;
        n->width = n->height = 0.001;
        parent->addChild(n);
        frontier.push_back(n);
        ++made;
    }
    t.nodeCount = static_cast<int32_t>(made);
    t.maxLevel = 7;
}

// Child mode: read the two files once and report memory.
int measureMemory(const char* p1, const char* p2) {
    setConsoleStream(std::fopen("/dev/null", "w"));
    long before = residentBytes();
    ClassificationTree t1, t2;
    t1.treeId = 1;
    t2.treeId = 2;
    double cpuStart = processorSeconds();
    auto start = Clock::now();
    if (!readTreeFile(t1, p1) || !readTreeFile(t2, p2)) return 1;
    double wall = secondsSince(start), cpu = processorSeconds() - cpuStart;
    long after = residentBytes();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    size_t nodes = t1.latinIndex.size() + t2.latinIndex.size();
    std::printf("%zu %ld %ld %ld %f %f\n", nodes, before, after, ru.ru_maxrss * 1024, wall, cpu);
    // Where the bytes go: heap chunk sizes (usable size plus glibc's 8-byte header).
    // The empty name and the rank names are shared static copies, not heap blocks.
    auto chunk = [](const void* p) {
        return p && !isSharedName(static_cast<const char*>(p))
                   ? malloc_usable_size(const_cast<void*>(p)) + 8
                   : 0;
    };
    double node = 0, latin = 0, common = 0, rank = 0, kids = 0, index = 0;
    for (ClassificationTree* t : {&t1, &t2}) {
        for (TreeNode* n : t->latinIndex) {
            if (n != t) node += chunk(n);
            latin += chunk(n->latinName);
            if (n->commonName[0]) common += chunk(n->commonName);
            rank += chunk(n->rankName);
            if (n->children.capacity()) kids += chunk(n->children.data());
        }
        index += 8.0 * double(t->latinIndex.capacity() + t->commonIndex.capacity());
    }
    double k = double(nodes);
    std::printf("node %.1f latin %.1f common %.1f rank %.1f children %.1f indexes %.1f\n",
                node / k, latin / k, common / k, rank / k, kids / k, index / k);
    std::fflush(stdout);
    std::_Exit(0);  // the trees' teardown is not what is measured
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--memory") == 0) return measureMemory(argv[2], argv[3]);

    int64_t taxa = 2500000;
    int runs = 5;
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--taxa")) taxa = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
    }
    bool ownDir = dir.empty();
    if (ownDir) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "treefile-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 1;
        dir = tmpl;
    }
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    std::string t1Path = dir + "/T1.jm2", t2Path = dir + "/T2.jm2";

    bool reuse = !ownDir && std::filesystem::exists(t1Path) && std::filesystem::exists(t2Path) &&
                 std::getenv("TREEFILE_BENCH_REUSE");
    if (reuse) std::printf("reusing %s and %s\n", t1Path.c_str(), t2Path.c_str());
    if (!reuse) {
        ClassificationTree a, b;
        a.treeId = 1;
        b.treeId = 2;
        bool built = false;
#ifdef HAVE_SYNTHETIC
        std::string pa = dir + "/classif_A.xml", pb = dir + "/classif_B.xml";
        SyntheticOptions options;
        options.taxa = taxa;
        auto start = Clock::now();
        if (writeSyntheticPair(pa, pb, options) && readClassification(a, pa.c_str()) &&
            readClassification(b, pb.c_str())) {
            built = true;
            std::printf("synthetic pair generated and read: %.2f s\n", secondsSince(start));
        }
        std::filesystem::remove(pa);
        std::filesystem::remove(pb);
#endif
        if (!built) {
            ClassificationTree empty1, empty2;
            a.swapContents(empty1);
            b.swapContents(empty2);
            a.treeId = 1;
            b.treeId = 2;
            randomTree(a, taxa, 1);
            randomTree(b, taxa, 2);
            std::printf("random trees built in memory\n");
        }
        auto writeStart = Clock::now();
        if (!writeTreeFile(a, t1Path.c_str()) || !writeTreeFile(b, t2Path.c_str())) return 1;
        std::printf("write of both files: %.3f s (%.1f MB and %.1f MB, %d and %d taxa)\n",
                    secondsSince(writeStart), std::filesystem::file_size(t1Path) / 1e6,
                    std::filesystem::file_size(t2Path) / 1e6, a.nodeCount, b.nodeCount);
        // A rebuild writes over the files of the build before, which file systems may
        // treat differently from new files.
        writeStart = Clock::now();
        if (!writeTreeFile(a, t1Path.c_str()) || !writeTreeFile(b, t2Path.c_str())) return 1;
        std::printf("write of both files again, over the first two: %.3f s\n",
                    secondsSince(writeStart));
    }

    // Wall time is what the user waits for; processor time (user + system) is printed too
    // because on a shared machine the wall clock also counts other programs' turns. The
    // census the reader prints is timed on its own as well, to show its share.
    std::vector<double> times, cpu, census, censusCpu;
    for (int r = 0; r < runs; ++r) {
        ClassificationTree t1, t2;
        t1.treeId = 1;
        t2.treeId = 2;
        double cpuStart = processorSeconds();
        auto start = Clock::now();
        if (!readTreeFile(t1, t1Path.c_str()) || !readTreeFile(t2, t2Path.c_str())) return 1;
        times.push_back(secondsSince(start));
        cpu.push_back(processorSeconds() - cpuStart);
        start = Clock::now();
        cpuStart = processorSeconds();
        printRankCensus(t1);
        printRankCensus(t2);
        census.push_back(secondsSince(start));
        censusCpu.push_back(processorSeconds() - cpuStart);
    }
    std::printf("read of both files: median %.3f s wall, %.3f s processor, over %d runs "
                "(wall min %.3f, max %.3f)\n  of which the two rank censuses: median %.3f s wall, "
                "%.3f s processor\n",
                median(times), median(cpu), runs, *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median(census), median(censusCpu));

    // Memory, in a process of its own.
    std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() +
                          "' --memory '" + t1Path + "' '" + t2Path + "'";
    if (FILE* child = popen(command.c_str(), "r")) {
        size_t nodes = 0;
        long before = 0, after = 0, peak = 0;
        double wall = 0, cpu = 0;
        if (std::fscanf(child, "%zu %ld %ld %ld %lf %lf", &nodes, &before, &after, &peak, &wall,
                        &cpu) == 6 && nodes) {
            std::printf("read of both files in a fresh process: %.3f s wall, %.3f s processor\n",
                        wall, cpu);
            std::printf("resident after reading both: %.1f bytes per taxon (%zu taxa, %.1f MB; "
                        "peak %.1f bytes per taxon)\n",
                        double(after - before) / double(nodes), nodes, (after - before) / 1e6,
                        double(peak - before) / double(nodes));
        }
        char line[256];
        if (std::fgets(line, sizeof line, child) && std::fgets(line, sizeof line, child))
            std::printf("  heap bytes per taxon: %s", line);
        pclose(child);
    }
    if (ownDir) std::filesystem::remove_all(dir);
    return 0;
}
