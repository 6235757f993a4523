// Speed of the nested-circle layout, on its own for a synthetic 2,500,000-taxon
// classification and against the circle packing of d3-hierarchy (run with node) on a
// smaller synthetic classification that node handles comfortably.
//   layout_bench [FOLDER] [COMPARE_TAXA]
// Run from the source folder (it uses bench/d3/pack.js; `npm ci` is run in bench/d3 when
// its node_modules is missing). FOLDER defaults to bench/out, where the classifications
// are generated once and reused; COMPARE_TAXA defaults to 500000.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "Layout.h"
#include "Synthetic.h"

namespace {

using namespace bench;

constexpr int64_t kLargeTaxa = 2500000;
constexpr uint32_t kSeed = 1;
constexpr int kRuns = 7;
constexpr int kPackRuns = 5;

// The first classification of a synthetic pair of about `taxa` taxa, generated on first use.
std::unique_ptr<ClassificationTree> loadSynthetic(const std::filesystem::path& folder,
                                                  int64_t taxa) {
    const std::string stem = "synthetic_" + std::to_string(taxa) + "_" + std::to_string(kSeed);
    const std::string a = (folder / (stem + "_A.xml")).string();
    const std::string b = (folder / (stem + "_B.xml")).string();
    if (!std::filesystem::exists(a) || !std::filesystem::exists(b)) {
        std::printf("generating %s ...\n", a.c_str());
        SyntheticOptions o;
        o.taxa = taxa;
        o.seed = kSeed;
        if (!writeSyntheticPair(a, b, o)) {
            std::fprintf(stderr, "layout_bench: cannot write into %s\n", folder.c_str());
            return nullptr;
        }
    }
    auto tree = std::make_unique<ClassificationTree>();
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);  // the reader's progress lines are not wanted here
    const bool ok = readClassification(*tree, a.c_str()) == 1;
    setConsoleStream(nullptr);
    if (devnull) std::fclose(devnull);
    if (!ok) return nullptr;
    return tree;
}

// Median time of laying out the whole tree.
double timeLayout(ClassificationTree& tree) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        layoutCircles(&tree);
        times.push_back(secondsSince(t0));
    }
    return median(times);
}

// The tree as nested {"children": [...]} objects, {"value": 1} for a leaf. Written with
// an explicit stack so that depth costs no call stack.
bool exportJson(const TreeNode* root, const std::string& path) {
    std::string out;
    out.reserve(1 << 20);
    struct Frame {
        const TreeNode* node;
        size_t next;
    };
    std::vector<Frame> stack{{root, 0}};
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    while (!stack.empty()) {
        Frame& top = stack.back();
        const TreeNode* n = top.node;
        if (n->children.empty()) {
            out += "{\"value\":1}";
            stack.pop_back();
        } else if (top.next == 0 && top.next < n->children.size()) {
            out += "{\"children\":[";
            stack.push_back({n->children[top.next++], 0});
            continue;
        } else if (top.next < n->children.size()) {
            out += ',';
            stack.push_back({n->children[top.next++], 0});
            continue;
        } else {
            out += "]}";
            stack.pop_back();
        }
        if (out.size() > (1u << 20)) {
            ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
            out.clear();
        }
    }
    ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

// Runs pack.js on `json` and returns its median in seconds, or a negative value.
double timeD3Pack(const std::string& json) {
    if (!std::filesystem::exists("bench/d3/pack.js")) {
        std::fprintf(stderr, "layout_bench: run from the source folder (bench/d3/pack.js)\n");
        return -1;
    }
    if (!std::filesystem::exists("bench/d3/node_modules/d3-hierarchy")) {
        std::printf("installing d3-hierarchy in bench/d3 ...\n");
        if (std::system("cd bench/d3 && npm ci --no-audit --no-fund --silent") != 0) {
            std::fprintf(stderr, "layout_bench: npm ci in bench/d3 failed\n");
            return -1;
        }
    }
    const std::string command =
        "node --max-old-space-size=8192 bench/d3/pack.js '" + json + "' " + std::to_string(kPackRuns);
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    double ms = -1;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        std::printf("  node: %s", line);
        std::sscanf(line, "pack median ms: %lf", &ms);
    }
    if (pclose(p) != 0) return -1;
    return ms < 0 ? -1 : ms / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    const int64_t compareTaxa = argc > 2 ? std::atoll(argv[2]) : 500000;
    std::filesystem::create_directories(folder);

    auto large = loadSynthetic(folder, kLargeTaxa);
    if (!large) return 1;
    const double largeTime = timeLayout(*large);
    std::printf("layoutCircles, %d taxa: median of %d %.3f s (%.1f ns per taxon)\n",
                large->nodeCount, kRuns, largeTime, largeTime * 1e9 / large->nodeCount);
    large.reset();

    auto tree = loadSynthetic(folder, compareTaxa);
    if (!tree) return 1;
    const double ours = timeLayout(*tree);
    std::printf("layoutCircles, %d taxa: median of %d %.4f s\n", tree->nodeCount, kRuns, ours);

    const std::string json = (folder / ("layout_tree_" + std::to_string(compareTaxa) + ".json")).string();
    if (!exportJson(tree.get(), json)) {
        std::fprintf(stderr, "layout_bench: cannot write %s\n", json.c_str());
        return 1;
    }
    const double theirs = timeD3Pack(json);
    if (theirs < 0) {
        std::fprintf(stderr, "layout_bench: d3 pack run failed\n");
        return 1;
    }
    std::printf("d3-hierarchy pack(), same tree: median of %d %.4f s\n", kPackRuns, theirs);
    std::printf("pack / layoutCircles = %.0f (goal >= 100)\n", theirs / ours);
    return 0;
}
