// Importing a rank-column table against reading the same taxa from a classification file.
//   import_bench [FOLDER]   (default bench/out; the files are made there once and reused)
//
// A synthetic classification of 3,200,000 taxa is written in the tag format, and each of its
// leaves, over 2,500,000, as one row of a table holding the leaf's rank path. Both
// are read five times (after one warming run); the medians and the ratio of the taxa read
// per second are printed. Target: the table at no less than a third of the reader's speed.
// Then the same rows in a random order, as a download sorted by anything but its ranks has
// them, three times: no target, but the siblings' search must not make it slower.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "Import.h"
#include "Synthetic.h"

namespace {

using namespace bench;

constexpr int64_t kTaxa = 3200000;  // over 2,500,000 of them leaves
constexpr int kRuns = 5;

// One row per leaf: the names of its ancestors (and its own) under their ranks' columns.
bool writeTable(const ClassificationTree& tree, const std::string& path) {
    std::vector<int> columnOf(kRankCount, -1);
    std::vector<int> ranks;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        int r = rankFromName(n->rankName);
        if (r >= 0 && r < kRankCount && columnOf[r] < 0) columnOf[r] = 0;
    });
    for (int r = 0; r < kRankCount; ++r)
        if (columnOf[r] == 0) {
            columnOf[r] = static_cast<int>(ranks.size());
            ranks.push_back(r);
        }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    for (size_t i = 0; i < ranks.size(); ++i)
        std::fprintf(f, "%s%s", i ? "," : "", rankName(ranks[i]));
    std::fprintf(f, ",vernacularName\n");
    std::vector<const TreeNode*> cells(ranks.size());
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        if (!n->children.empty()) return;
        std::fill(cells.begin(), cells.end(), nullptr);
        for (const TreeNode* a = n; a; a = a->parent) {
            int r = rankFromName(a->rankName);
            if (r >= 0 && r < kRankCount) cells[static_cast<size_t>(columnOf[r])] = a;
        }
        for (size_t i = 0; i < cells.size(); ++i)
            std::fprintf(f, "%s%s", i ? "," : "", cells[i] ? cells[i]->latinName : "");
        std::fprintf(f, ",%s\n", n->commonName);
    });
    return std::fclose(f) == 0;
}

// The table's rows in an order of a fixed random sequence, under its header.
bool writeShuffled(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::vector<std::pair<size_t, size_t>> lines;  // offset and length, line feed included
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.emplace_back(at, end - at);
        at = end;
    }
    if (lines.empty()) return false;
    std::shuffle(lines.begin() + 1, lines.end(), std::mt19937_64(20261208));
    std::ofstream out(to, std::ios::binary);
    for (auto [at, length] : lines) out.write(text.data() + at, static_cast<std::streamsize>(length));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    std::filesystem::create_directories(folder);
    // Named by their size, so that files of another size are not taken for these.
    const std::string stem = "import_bench_" + std::to_string(kTaxa);
    std::string tags = (folder / (stem + "_A.xml")).string();
    std::string other = (folder / (stem + "_B.xml")).string();
    std::string table = (folder / (stem + "_A.csv")).string();
    std::string shuffled = (folder / (stem + "_A_shuffled.csv")).string();
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    if (!std::filesystem::exists(table)) {
        std::printf("generating %s and %s ...\n", tags.c_str(), table.c_str());
        SyntheticOptions o;
        o.taxa = kTaxa;
        ClassificationTree t;
        if (!writeSyntheticPair(tags, other, o) || !readClassification(t, tags.c_str()) ||
            !writeTable(t, table)) {
            std::fprintf(stderr, "import_bench: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    if (!std::filesystem::exists(shuffled)) {
        std::printf("generating %s ...\n", shuffled.c_str());
        if (!writeShuffled(table, shuffled)) {
            std::fprintf(stderr, "import_bench: cannot write %s\n", shuffled.c_str());
            return 1;
        }
    }
    std::vector<double> readTimes, importTimes, shuffledTimes;
    int32_t readTaxa = 0, importTaxa = 0, rows = 0;
    for (int run = 0; run <= kRuns; ++run) {
        auto t = std::make_unique<ClassificationTree>();
        auto t0 = Clock::now();
        if (!readClassification(*t, tags.c_str())) return 1;
        double r = secondsSince(t0);
        readTaxa = t->nodeCount;
        t = std::make_unique<ClassificationTree>();
        t0 = Clock::now();
        if (!importClassification(*t, table)) return 1;
        double i = secondsSince(t0);
        importTaxa = t->nodeCount;
        rows = t->leafCount;
        if (run > 0) {
            readTimes.push_back(r);
            importTimes.push_back(i);
        }
    }
    for (int run = 0; run < 3; ++run) {
        auto t = std::make_unique<ClassificationTree>();
        auto t0 = Clock::now();
        if (!importClassification(*t, shuffled)) return 1;
        shuffledTimes.push_back(secondsSince(t0));
        if (t->nodeCount != importTaxa) {
            std::fprintf(stderr, "import_bench: the shuffled rows gave %d taxa, not %d\n",
                         t->nodeCount, importTaxa);
            return 1;
        }
    }
    setConsoleStream(nullptr);
    double r = median(readTimes), i = median(importTimes);
    double readRate = readTaxa / r, importRate = importTaxa / i;
    std::printf("medians of %d runs\n", kRuns);
    std::printf("readClassification  %-40s %9d taxa %.3f s %6.2f M taxa/s\n", tags.c_str(),
                readTaxa, r, readRate / 1e6);
    std::printf("importClassification %-39s %9d taxa (%d leaf rows) %.3f s %6.2f M taxa/s\n",
                table.c_str(), importTaxa, rows, i, importRate / 1e6);
    std::printf("ratio (import / reader, taxa per second) = %.2f; target at least 0.33\n",
                importRate / readRate);
    std::printf("importClassification, the rows shuffled: median of 3 runs %.3f s\n",
                median(shuffledTimes));
    return 0;
}
