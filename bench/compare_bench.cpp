// Both comparison passes, then the combining chain (counts, both grafts, sorting, combined
// counts, numbering), on a synthetic pair of 2,500,000-taxon classifications; and both
// passes over hostile roots of 50,000 same-named children a side.
//   compare_bench [FOLDER]   (default bench/out; the pair is generated there once and reused)
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Combine.h"
#include "Compare.h"
#include "Console.h"
#include "NameOrder.h"
#include "Synthetic.h"

namespace {

using namespace bench;

constexpr int64_t kTaxa = 2500000;
constexpr uint32_t kSeed = 1;
constexpr int kRuns = 5;

void copyFields(const TreeNode* from, TreeNode* to) {
    to->latinName = newName(from->latinName);
    to->commonName = newName(from->commonName);
    to->rankName = newName(from->rankName);
    std::memcpy(to->color, from->color, 3);
    to->level = from->level;
    to->number = from->number;
}

// Each run needs the trees as read, since the comparison reorders and marks them; copying
// is much cheaper than reading the files again.
std::unique_ptr<ClassificationTree> copyTree(const ClassificationTree& from) {
    auto to = std::make_unique<ClassificationTree>();
    copyFields(&from, to.get());
    to->nodeCount = from.nodeCount;
    to->leafCount = from.leafCount;
    std::vector<std::pair<const TreeNode*, TreeNode*>> stack{{&from, to.get()}};
    while (!stack.empty()) {
        auto [src, dst] = stack.back();
        stack.pop_back();
        dst->children.reserve(src->children.size());
        for (const TreeNode* c : src->children) {
            auto* n = new TreeNode;
            copyFields(c, n);
            dst->addChild(n);
            stack.emplace_back(c, n);
        }
    }
    return to;
}

// Two roots with `width` children each, nearly all named alike: the whole list is one run of
// namesakes, with a few other names scattered in so that runs also lose and gain positions.
void namesakeRoots(ClassificationTree& t1, ClassificationTree& t2, int width) {
    for (ClassificationTree* t : {&t1, &t2}) {
        t->latinName = newName("R");
        t->commonName = newName("");
        t->rankName = newName("Class");
        uint32_t state = t == &t1 ? 1 : 2;
        for (int i = 0; i < width; ++i) {
            state = state * 1103515245u + 12345u;
            auto* n = new TreeNode;
            n->latinName = newName((state >> 16) % 50 ? "Namesake" : "Other");
            n->commonName = newName("");
            n->rankName = newName("Genus");
            t->addChild(n);
        }
    }
    t1.treeId = 1;
    t2.treeId = 2;
}

size_t widestList(TreeNode* root) {
    size_t w = 0;
    forEachNode(root, [&](TreeNode* n) { w = std::max(w, n->children.size()); });
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    {
        constexpr int kNamesakes = 50000;
        std::vector<double> wall, cpu;
        for (int run = 0; run < kRuns; ++run) {
            ClassificationTree t1, t2;
            namesakeRoots(t1, t2, kNamesakes);
            const double c0 = processorSeconds();
            const auto t0 = Clock::now();
            compareTrees(t1, t2);
            compareTrees(t2, t1);
            wall.push_back(secondsSince(t0));
            cpu.push_back(processorSeconds() - c0);
        }
        std::printf("%-44s %12.3f %12.3f   (wall s, cpu s, median of %d)\n",
                    "both passes, 50,000 namesakes a side", median(wall), median(cpu), kRuns);
    }
    std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    std::filesystem::create_directories(folder);
    const std::string a = (folder / "synthetic_2500000_1_A.xml").string();
    const std::string b = (folder / "synthetic_2500000_1_B.xml").string();
    if (!std::filesystem::exists(a) || !std::filesystem::exists(b)) {
        std::printf("generating %s and %s ...\n", a.c_str(), b.c_str());
        SyntheticOptions o;
        o.taxa = kTaxa;
        o.seed = kSeed;
        if (!writeSyntheticPair(a, b, o)) {
            std::fprintf(stderr, "compare_bench: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);  // the reader's progress lines are not measured here
    ClassificationTree read1, read2;
    if (!readClassification(read1, a.c_str()) || !readClassification(read2, b.c_str())) return 1;
    setConsoleStream(nullptr);
    std::fclose(devnull);
    std::printf("tree 1: %d taxa, widest sibling list %zu; tree 2: %d taxa, widest %zu\n",
                read1.nodeCount, widestList(&read1), read2.nodeCount, widestList(&read2));

    // Wall time and this thread's processor time of every step; the processor time is
    // the steadier figure on a machine shared with other work.
    struct Step {
        const char* label;
        std::vector<double> wall, cpu;
    };
    Step steps[] = {{"both comparison passes", {}, {}},
                    {"  same, sorted-position alignment only", {}, {}},
                    {"countDescendants, both trees", {}, {}},
                    {"both grafts", {}, {}},
                    {"sortChildrenByLatinName, both trees", {}, {}},
                    {"countCombinedDescendants, both trees", {}, {}},
                    {"numberChildren, both trees", {}, {}},
                    {"counts + grafts + sort + counts + numbers", {}, {}}};
    auto timed = [&](Step& step, auto&& work) {
        const double c0 = processorSeconds();
        const auto t0 = Clock::now();
        work();
        step.wall.push_back(secondsSince(t0));
        step.cpu.push_back(processorSeconds() - c0);
    };
    int marked1 = 0, marked2 = 0, combined = 0;
    for (int run = 0; run < kRuns; ++run) {
        {
            auto t1 = copyTree(read1);
            auto t2 = copyTree(read2);
            t1->treeId = 1;
            t2->treeId = 2;
            timed(steps[1], [&] {
                compareTrees(*t1, *t2, 0);
                compareTrees(*t2, *t1, 0);
            });
        }
        auto t1 = copyTree(read1);
        auto t2 = copyTree(read2);
        t1->treeId = 1;
        t2->treeId = 2;
        timed(steps[0], [&] {
            compareTrees(*t1, *t2);
            compareTrees(*t2, *t1);
        });
        const double c0 = processorSeconds();
        const auto t0 = Clock::now();
        timed(steps[2], [&] {
            countDescendants(*t1);
            countDescendants(*t2);
        });
        timed(steps[3], [&] {
            graftUnique(t1.get(), t2.get(), 1, 2);
            graftUnique(t2.get(), t1.get(), 2, 1);
        });
        timed(steps[4], [&] {
            sortChildrenByLatinName(t1.get());
            sortChildrenByLatinName(t2.get());
        });
        timed(steps[5], [&] {
            countCombinedDescendants(*t1);
            countCombinedDescendants(*t2);
        });
        timed(steps[6], [&] {
            numberChildren(*t1);
            numberChildren(*t2);
        });
        steps[7].wall.push_back(secondsSince(t0));
        steps[7].cpu.push_back(processorSeconds() - c0);

        marked1 = marked2 = 0;
        forEachNode(static_cast<TreeNode*>(t1.get()), [&](TreeNode* n) {
            marked1 += n->onlyInTree == 1;
            marked2 += n->onlyInTree == 2;
        });
        combined = t1->combinedDescendantCount + 1;
        std::fprintf(stderr, "run %d of %d done\n", run + 1, kRuns);
    }
    std::printf("combined tree 1: %d taxa (%d marked 1, %d marked 2)\n", combined, marked1,
                marked2);
    std::printf("%-44s %12s %12s   (median of %d)\n", "", "wall s", "cpu s", kRuns);
    for (const Step& step : steps)
        std::printf("%-44s %12.3f %12.3f\n", step.label, median(step.wall), median(step.cpu));
    return 0;
}
