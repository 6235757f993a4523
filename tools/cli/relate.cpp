// cladorama-cli relate: how the higher taxa of the two classifications relate as sets of
// species (kept, renamed, split, lumped, reshuffled), and the verdicts counted by rank.
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "CladoramaDoc.h"
#include "CliFramework.h"
#include "CliOutput.h"
#include "Commands.h"
#include "ConceptRelationFile.h"
#include "Console.h"
#include "LoadedRelations.h"
#include "Summaries.h"
#include "TerminalText.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli relate [FILE1 FILE2] [--rank RANK] [--summary] [--coldp DIR]\n"
    "                            [--pairs FILE] [--keep-levels] [--common-name COLUMN]\n"
    "                            [--root NAME|TAXID]\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory, or the two files named (any\n"
    "  kind the viewer opens), with the console lines on standard error. Two species are the\n"
    "  same when they have the same Latin name; a taxon above Species stands for its species\n"
    "  that the other classification holds too. Prints, after a header line, one\n"
    "  tab-separated line per pair of taxa of one rank that share species, and per taxon\n"
    "  that shares none (relation !): rank, name in tree 1, relation (= the same species,\n"
    "  < a part of the other, > holds all of the other and more, >< each holds species the\n"
    "  other lacks), name in tree 2, shared species, species of the taxon in tree 1, species\n"
    "  of the taxon in tree 2. Ranks from the top down, names in name order.\n"
    "  --rank RANK keeps one rank. --summary prints instead, per rank, how many taxa of tree 1\n"
    "  are the same, renamed, split, lumped, reshuffled or only in tree 1, and how many of\n"
    "  tree 2 are only in tree 2; a rank one tree alone uses is a row of its own, all its\n"
    "  taxa counted as only in that tree. --coldp DIR also writes\n"
    "  DIR/TaxonConceptRelation.tsv.\n"
    "  --pairs FILE pairs more species: each line of FILE holds the name of a species in\n"
    "  tree 1, a tab and its name in tree 2 (a rename); lines naming no such species are\n"
    "  skipped, with a count on standard error.\n"
    "  --keep-levels and --common-name read imported checklists as build does.\n"
    "  Exit status 0, 1 when a file could not be read or written, 2 on bad arguments.\n";

// The species pairs of a file of renames: "name in tree 1<TAB>name in tree 2" a line. Names
// are matched byte for byte against each classification's own species.
bool readPairs(const std::string& path, const CCladoramaDoc& doc, SpeciesPairs& pairs) {
    std::unordered_map<std::string_view, const TreeNode*> species[2];
    const ClassificationTree* trees[2] = {&doc.m_tree1, &doc.m_tree2};
    for (int s = 0; s < 2; ++s) {
        const uint8_t copy = s == 0 ? 2 : 1;
        std::vector<const TreeNode*> pending{trees[s]};
        while (!pending.empty()) {
            const TreeNode* n = pending.back();
            pending.pop_back();
            if (n->onlyInTree == copy) continue;
            if (!std::strcmp(n->rankName, "Species")) species[s].emplace(n->latinName, n);
            for (const TreeNode* k : n->children) pending.push_back(k);
        }
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    size_t skipped = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t tab = line.find('\t');
        if (line.empty()) continue;
        if (tab == std::string::npos) {
            ++skipped;
            continue;
        }
        const auto a = species[0].find(std::string_view(line).substr(0, tab));
        const auto b = species[1].find(std::string_view(line).substr(tab + 1));
        if (a == species[0].end() || b == species[1].end())
            ++skipped;
        else
            pairs.emplace_back(a->second, b->second);
    }
    if (skipped)
        std::fprintf(stderr, "cladorama-cli relate: %zu lines of %s name no species of the pair\n",
                     skipped, path.c_str());
    return true;
}

void printRelations(const TaxonRelations& relations, int rank, CliOutput& out) {
    out.text() =
        "rank\tname in tree 1\trelation\tname in tree 2\tshared species\t"
        "species in tree 1\tspecies in tree 2\n";
    for (const TaxonRelation& r : relations.relations()) {
        if (rank >= 0 && static_cast<int>(r.rank) != rank) continue;
        appendRelationLine(out.text(), relations, r);
        out.maybeFlush();
    }
}

}  // namespace

int cmdRelate(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    bool summary = false;
    std::string rankName, coldpDir, pairsFile;
    PairArguments args;
    const bool ok = parsePairArguments(argc, argv, args, [&](int n, char** v, int& i) {
        if (!std::strcmp(v[i], "--summary")) {
            summary = true;
            return true;
        }
        std::string* value = !std::strcmp(v[i], "--rank")    ? &rankName
                             : !std::strcmp(v[i], "--coldp") ? &coldpDir
                             : !std::strcmp(v[i], "--pairs") ? &pairsFile
                                                             : nullptr;
        if (!value || i + 1 >= n || !v[i + 1][0]) return false;
        *value = v[++i];
        return true;
    });
    if (!ok) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    CliFramework framework;
    CCladoramaDoc doc(&framework);
    args.apply(doc);
    TerminalConsole console(stderr);
    if (args.files.empty() ? !doc.LoadHierarchiesIn<LoadMode::Binary>()
                           : !doc.ReloadTrees(args.files[0], args.files[1]))
        return 1;
    doc.FindChangesNow();
    TaxonRelations withPairs;
    if (!pairsFile.empty()) {
        // The partners found by the load pair species as well; the file adds its own.
        SpeciesPairs pairs = speciesPairsOf(doc.m_partners.pairs);
        if (!readPairs(pairsFile, doc, pairs)) {
            std::fprintf(stderr, "cladorama-cli relate: cannot read %s\n", pairsFile.c_str());
            return 1;
        }
        withPairs = TaxonRelations(doc.m_tree1, doc.m_tree2, pairs);
    }
    const TaxonRelations& relations = pairsFile.empty() ? doc.m_relations : withPairs;

    int rank = -1;
    if (!rankName.empty()) {
        for (size_t r = 0; r < relations.ranks().size(); ++r)
            if (relations.ranks()[r] == rankName) rank = static_cast<int>(r);
        if (rank < 0) {
            // Nothing to report at a rank one classification lacks: the header alone.
            std::fprintf(
                stderr,
                "cladorama-cli relate: the two classifications do not both use the rank %s\n",
                rankName.c_str());
            rank = static_cast<int>(relations.ranks().size());
        }
    }
    if (!coldpDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(coldpDir, ec);
        const std::string path =
            (std::filesystem::path(coldpDir) / "TaxonConceptRelation.tsv").string();
        // The files' own identifiers where they gave them; the names stand for the rest.
        auto identifier = [&doc](int side) {
            return [&facts = doc.m_partners.facts[side]](const TreeNode& taxon) {
                const char* id = facts.id(&taxon);
                return std::string(id ? id : "");
            };
        };
        if (!writeConceptRelations(path, relations, identifier(0), identifier(1), rank)) {
            std::fprintf(stderr, "cladorama-cli relate: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    CliOutput out;
    if (summary)
        relationSummary(relations, ranksOfOneTree(relations, doc.m_ranksLeftOut), rank, rankName)
            .appendTsv(out.text());
    else
        printRelations(relations, rank, out);
    return 0;
}
