// Importing a checklist of linked taxa (a Darwin Core Archive, a ColDP package as NameUsage
// and as Name + Taxon) against importing a rank-column table of the same classification.
//   archive_bench [FOLDER [FORM...]]   (default bench/out; the files are made there once and
//   reused; FORM, one of table, dwca, usage, normal, limits the imports to those forms)
//
// A synthetic classification of 2,500,000 taxa is written as each of the four; each is
// imported three times after one warming run and the medians of the time per taxon are
// printed. Target: the linked forms no slower per taxon than the table.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "Import.h"
#include "Synthetic.h"
#include "TreeNode.h"

namespace {

using namespace bench;

constexpr int64_t kTaxa = 2500000;
constexpr int kRuns = 3;

bool writeFiles(const ClassificationTree& tree, const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    for (const char* d : {"dwca", "usage", "normal"}) fs::create_directories(folder / d);
    FILE* meta = std::fopen((folder / "dwca/meta.xml").c_str(), "wb");
    if (!meta) return false;
    std::fprintf(meta,
                 "<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n <core fieldsTerminatedBy="
                 "\"\\t\" ignoreHeaderLines=\"1\" rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
                 "  <files><location>Taxon.txt</location></files><id index=\"0\"/>\n"
                 "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/parentNameUsageID\"/>\n"
                 "  <field index=\"2\" term=\"http://rs.tdwg.org/dwc/terms/scientificName\"/>\n"
                 "  <field index=\"3\" term=\"http://rs.tdwg.org/dwc/terms/taxonRank\"/>\n"
                 "  <field index=\"4\" term=\"http://rs.tdwg.org/dwc/terms/taxonomicStatus\"/>\n"
                 " </core>\n</archive>\n");
    std::fclose(meta);
    FILE* dwca = std::fopen((folder / "dwca/Taxon.txt").c_str(), "wb");
    FILE* usage = std::fopen((folder / "usage/NameUsage.tsv").c_str(), "wb");
    FILE* names = std::fopen((folder / "normal/Name.tsv").c_str(), "wb");
    FILE* taxa = std::fopen((folder / "normal/Taxon.tsv").c_str(), "wb");
    if (!dwca || !usage || !names || !taxa) return false;
    std::fprintf(dwca, "taxonID\tparentNameUsageID\tscientificName\ttaxonRank\ttaxonomicStatus\n");
    std::fprintf(usage, "ID\tparentID\tstatus\trank\tscientificName\n");
    std::fprintf(names, "ID\tscientificName\trank\n");
    std::fprintf(taxa, "ID\tparentID\tnameID\n");
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        const int id = n->number, parent = n->parent ? n->parent->number : -1;
        std::string p = parent < 0 ? std::string() : std::to_string(parent);
        std::fprintf(dwca, "%d\t%s\t%s\t%s\taccepted\n", id, p.c_str(), n->latinName, n->rankName);
        std::fprintf(usage, "%d\t%s\taccepted\t%s\t%s\n", id, p.c_str(), n->rankName, n->latinName);
        std::fprintf(names, "n%d\t%s\t%s\n", id, n->latinName, n->rankName);
        std::fprintf(taxa, "%d\t%s\tn%d\n", id, p.c_str(), id);
    });
    bool ok = true;
    for (FILE* f : {dwca, usage, names, taxa}) ok = std::fclose(f) == 0 && ok;
    return ok;
}

// One row per leaf with the names of its ranked ancestors, as import_bench writes it.
bool writeTable(const ClassificationTree& tree, const std::string& path) {
    std::vector<int> columnOf(kRankCount, -1), ranks;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        int r = rankFromName(n->rankName);
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
    std::fprintf(f, "\n");
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
        std::fprintf(f, "\n");
    });
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = argc > 1 ? argv[1] : "bench/out";
    folder /= "archive_bench_" + std::to_string(kTaxa);
    const std::string table = (folder / "table.csv").string();
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    if (!std::filesystem::exists(table)) {
        std::printf("generating %s ...\n", folder.c_str());
        std::filesystem::create_directories(folder);
        SyntheticOptions o;
        o.taxa = kTaxa;
        ClassificationTree t;
        std::string a = (folder / "A.xml").string(), b = (folder / "B.xml").string();
        if (!writeSyntheticPair(a, b, o) || !readClassification(t, a.c_str()) ||
            !writeFiles(t, folder) || !writeTable(t, table)) {
            std::fprintf(stderr, "archive_bench: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    const struct {
        const char *form, *what;
        std::string path;
    } inputs[] = {
        {"table", "table", table},
        {"dwca", "Darwin Core Archive", (folder / "dwca").string()},
        {"usage", "ColDP NameUsage", (folder / "usage").string()},
        {"normal", "ColDP Name + Taxon", (folder / "normal").string()},
    };
    auto chosen = [&](const char* form) {
        if (argc <= 2) return true;
        for (int a = 2; a < argc; ++a)
            if (std::strcmp(argv[a], form) == 0) return true;
        return false;
    };
    std::printf("medians of %d runs\n", kRuns);
    for (const auto& [form, what, path] : inputs) {
        if (!chosen(form) || !std::filesystem::exists(path)) continue;
        std::vector<double> times;
        int32_t taxa = 0;
        for (int run = 0; run <= kRuns; ++run) {
            auto t = std::make_unique<ClassificationTree>();
            auto t0 = Clock::now();
            if (!importClassification(*t, path)) {
                std::printf("%-20s not read\n", what);
                break;
            }
            if (run > 0) times.push_back(secondsSince(t0));
            taxa = t->nodeCount;
        }
        if (times.empty()) continue;
        double s = median(times);
        std::printf("%-20s %9d taxa %.3f s %7.1f ns/taxon\n", what, taxa, s, s * 1e9 / taxa);
    }
    setConsoleStream(nullptr);
    return 0;
}
