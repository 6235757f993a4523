// cladorama-cli diff: the taxa that only one of the two classifications holds, and what
// became of each.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "CliFramework.h"
#include "CliOutput.h"
#include "Commands.h"
#include "Console.h"
#include "TerminalText.h"
#include "DiffLines.h"
#include "Summaries.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli diff [--summary] [FILE1 FILE2] [--keep-levels] [--common-name COLUMN]\n"
    "                          [--id COLUMN] [--authorship COLUMN] [--root NAME|TAXID]\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory, or the two files named (any\n"
    "  kind the viewer opens), with the console lines on standard error, and prints, after\n"
    "  a header line, one tab-separated line per change, for the taxa of tree 1's combined\n"
    "  tree marked 1 (only in the first classification) or 2 (only in the second), depth\n"
    "  first: mark; change; rank; Latin name; common name; the path of Latin names from the\n"
    "  root down to the taxon joined by \" > \"; other; detail. The changes:\n"
    "    renamed  a species or subspecies paired with a taxon of another name (both get a\n"
    "             line): other is the partner's Latin name, detail the evidence (id,\n"
    "             synonym, epithet, ending, spelling);\n"
    "    moved    the second classification holds the taxon under a parent of another name\n"
    "             or rank: one line, mark 1, other is its path there, detail how many of its\n"
    "             descendants moved with it (they get no line of their own);\n"
    "    rank     the second classification holds the name at another rank: one line,\n"
    "             mark 1, other is that rank;\n"
    "    removed  (mark 1) and added (mark 2) otherwise.\n"
    "  --summary prints instead the count of these lines by rank, ranks in rank order, with\n"
    "  a total row. --keep-levels, --common-name, --id (the column of identifiers) and\n"
    "  --authorship (the column of authorship, or two joined by a comma) read imported\n"
    "  checklists as build does; --root takes only the subtree of the taxon of that name or\n"
    "  identifier from an NCBI taxdump or an Open Tree taxonomy (the merged.dmp of FILE2's\n"
    "  taxdump pairs FILE1's taxa under old tax_ids with the taxa they were merged into,\n"
    "  renamed by id). Names are written in the locale's character set.\n"
    "  Exit status 0, 1 when a file could not be read, 2 on bad arguments.\n";

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
    doc.FindPartnersNow();

    CliOutput out;
    if (summary) {
        summariseDiff(doc.m_tree1, doc.m_tree2, doc.m_partners.pairs).print(out.text());
        return 0;
    }
    const DiffLines changes(doc.m_tree1, doc.m_tree2, doc.m_partners.pairs);
    out.text() = "mark\tchange\trank\tlatin name\tcommon name\tpath\tother\tdetail\n";
    std::string other, detail;
    // Depth first, a node before its children.
    std::vector<const TreeNode*> stack{&doc.m_tree1};
    while (!stack.empty()) {
        const TreeNode* node = stack.back();
        stack.pop_back();
        for (size_t i = node->children.size(); i-- > 0;) stack.push_back(node->children[i]);
        ChangeKind kind;
        if (!changes.line(*node, kind, other, detail)) continue;
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
        t += other;
        t += '\t';
        t += detail;
        t += '\n';
        out.maybeFlush();
    }
    return 0;
}
