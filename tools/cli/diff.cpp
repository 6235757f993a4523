// cladorama-cli diff: the taxa that only one of the two classifications holds, and what
// became of each.
#include <cstdio>
#include <cstring>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ChangeKinds.h"
#include "CladoramaDoc.h"
#include "CliFramework.h"
#include "Commands.h"
#include "Console.h"
#include "TerminalText.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli diff [--summary] [FILE1 FILE2] [--keep-levels] [--common-name COLUMN]\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory, or the two files named (any\n"
    "  kind the viewer opens), with the console lines on standard error, and prints, after\n"
    "  a header line, one tab-separated line per taxon of tree 1's combined tree that is\n"
    "  marked 1 (only in the first classification) or 2 (only in the second), depth first:\n"
    "  mark; change: moved (the other classification holds the same name and rank under\n"
    "  another parent), rank (the same name at another rank), removed (mark 1) or added\n"
    "  (mark 2) otherwise; rank, Latin name, common name, the path of Latin names from the\n"
    "  root down to the taxon joined by \" > \", and for a move the path of the taxon in the\n"
    "  other classification. --summary prints instead one line per rank with the counts of\n"
    "  each change. --keep-levels and --common-name read imported checklists as build does.\n"
    "  Names are written in the locale's character set.\n"
    "  Exit status 0, 1 when a file could not be read, 2 on bad arguments.\n";

// Flushes to standard output in large blocks: it is unbuffered, and a diff of two big
// classifications runs to hundreds of thousands of lines.
class Output {
public:
    ~Output() { flush(); }
    std::string& text() { return m_text; }
    void maybeFlush() {
        if (m_text.size() >= (1u << 20)) flush();
    }
    void flush() {
        const std::string text = latin1ToTerminal(m_text);
        std::fwrite(text.data(), 1, text.size(), stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};

void appendPath(std::string& t, const TreeNode* node) {
    std::vector<const TreeNode*> up;
    for (const TreeNode* q = node; q; q = q->parent) up.push_back(q);
    for (size_t i = up.size(); i-- > 0;) {
        t += up[i]->latinName;
        if (i) t += " > ";
    }
}

// Counts of each change by rank: the twenty in rank order, then other rank names in the
// order they are met.
class Summary {
public:
    void add(const char* rank, ChangeKind kind) {
        auto [it, fresh] = m_rows.try_emplace(rank);
        if (fresh) m_order.push_back(rank);
        ++it->second[static_cast<int>(kind) - 1];
    }
    void print(std::string& t) const {
        t += "rank\tmoved\trank\tremoved\tadded\n";
        auto row = [&](const std::string& rank) {
            const auto& c = m_rows.at(rank);
            t += rank;
            for (int k : c) t += '\t' + std::to_string(k);
            t += '\n';
        };
        for (int r = 0; r < kRankCount; ++r)
            if (m_rows.count(rankName(r))) row(rankName(r));
        for (const std::string& rank : m_order)
            if (rankFromName(rank.c_str()) < 0) row(rank);
    }

private:
    std::map<std::string, std::array<int, 4>> m_rows;
    std::vector<std::string> m_order;
};

}  // namespace

int cmdDiff(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    bool summary = false;
    PairArguments args;
    const bool ok = parsePairArguments(argc, argv, args, [&](int, char** v, int& i) {
        if (std::strcmp(v[i], "--summary")) return false;
        summary = true;
        return true;
    });
    if (!ok) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::vector<std::string>& files = args.files;

    CliFramework framework;
    CCladoramaDoc doc(&framework);
    args.apply(doc);
    TerminalConsole console(stderr);
    if (files.empty() ? !doc.LoadHierarchiesIn<LoadMode::Binary>()
                      : !doc.ReloadTrees(files[0], files[1]))
        return 1;

    const ChangeClassifier changes(doc.m_tree1, doc.m_tree2);
    Summary counts;
    Output out;
    if (!summary) out.text() = "mark\tchange\trank\tlatin name\tcommon name\tpath\tother path\n";
    // Depth first, a node before its children.
    std::vector<const TreeNode*> stack{&doc.m_tree1};
    while (!stack.empty()) {
        const TreeNode* node = stack.back();
        stack.pop_back();
        for (size_t i = node->children.size(); i-- > 0;) stack.push_back(node->children[i]);
        if (node->onlyInTree != 1 && node->onlyInTree != 2) continue;
        const TreeNode* counterpart = nullptr;
        const ChangeKind kind = changes.classify(*node, &counterpart);
        if (summary) {
            counts.add(node->rankName, kind);
            continue;
        }
        std::string& t = out.text();
        t += static_cast<char>('0' + node->onlyInTree);
        t += '\t';
        t += changeKindName(kind);
        t += '\t';
        t += node->rankName;
        t += '\t';
        t += node->latinName;
        t += '\t';
        t += node->commonName;
        t += '\t';
        appendPath(t, node);
        t += '\t';
        if (counterpart) appendPath(t, counterpart);
        t += '\n';
        out.maybeFlush();
    }
    if (summary) counts.print(out.text());
    return 0;
}
