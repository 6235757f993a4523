// Importing a checklist of linked taxa (a Darwin Core Archive, a ColDP package as NameUsage
// and as Name + Taxon) against importing a rank-column table of the same classification.
//   archive_bench [FOLDER [FORM...]]   (default bench/out; the files are made there once and
//   reused; FORM, one of table, dwca, usage, normal, limits the imports to those forms)
//
// A synthetic classification of 2,500,000 taxa is written as each of the four. The forms
// are imported in turn, in five rounds after one warming round; the medians of the time per
// taxon are printed, and each linked form's median ratio to the table's time in the same
// round. Target: the linked forms no slower per taxon than the table.
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
constexpr int kRuns = 5;

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
    // The forms take turns, round by round, so that a slower minute of the machine falls on
    // all of them alike; the first round only warms. Each linked form's time per taxon is
    // set against the table's of the same round.
    struct Form {
        const char* what;
        std::string path;
        std::vector<double> perTaxon;
        int32_t taxa = 0;
        bool failed = false;
    };
    std::vector<Form> forms;
    for (const auto& [form, what, path] : inputs)
        if (chosen(form) && std::filesystem::exists(path)) forms.push_back({what, path, {}});
    for (int round = 0; round <= kRuns; ++round)
        for (Form& f : forms) {
            if (f.failed) continue;
            auto t = std::make_unique<ClassificationTree>();
            auto t0 = Clock::now();
            if (!importClassification(*t, f.path)) {
                std::printf("%-20s not read\n", f.what);
                f.failed = true;
                continue;
            }
            const double s = secondsSince(t0);
            f.taxa = t->nodeCount;
            if (round > 0) f.perTaxon.push_back(s * 1e9 / f.taxa);
        }
    const bool againstTable = !forms.empty() && std::strcmp(forms[0].what, inputs[0].what) == 0;
    std::printf("medians of %d rounds%s\n", kRuns,
                againstTable ? "; ratio: the median of each round's time per taxon over the "
                               "table's" : "");
    for (const Form& f : forms) {
        if (f.failed || f.perTaxon.empty()) continue;
        std::printf("%-20s %9d taxa %.3f s %7.1f ns/taxon", f.what, f.taxa,
                    median(f.perTaxon) * f.taxa / 1e9, median(f.perTaxon));
        if (againstTable && &f != &forms[0] && forms[0].perTaxon.size() == f.perTaxon.size()) {
            std::vector<double> ratios;
            for (size_t k = 0; k < f.perTaxon.size(); ++k)
                ratios.push_back(f.perTaxon[k] / forms[0].perTaxon[k]);
            std::printf("  %.2f x table (%.2f-%.2f)", median(ratios),
                        *std::min_element(ratios.begin(), ratios.end()),
                        *std::max_element(ratios.begin(), ratios.end()));
        }
        std::printf("\n");
    }
    setConsoleStream(nullptr);
    return 0;
}
