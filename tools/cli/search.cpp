// cladorama-cli search MODE TEXT: the viewer's search over the loaded trees.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "CliFramework.h"
#include "Commands.h"
#include "Console.h"
#include "TerminalText.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli search MODE TEXT\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory (console lines on standard\n"
    "  error) and lists every taxon whose name contains TEXT, exact bytes, case-sensitive.\n"
    "  MODE 0 searches Latin names, 1 common names, 2 both. Standard output: the node list\n"
    "  title, then one line per match: the name as the node list shows it, then, separated\n"
    "  by tabs, the taxon's Latin name, its rank and the tree that holds it (1, 2 or both).\n"
    "  TEXT and the names are in the locale's character set. Exit status 0 when something\n"
    "  matched, 1 when nothing did, 2 on a load failure or bad arguments.\n";

// Which classification holds the taxon, from its comparison mark.
const char* treeOf(const TreeNode& node) {
    return node.onlyInTree == 1 ? "1" : node.onlyInTree == 2 ? "2" : "both";
}

}  // namespace

int cmdSearch(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3 || std::strlen(argv[1]) != 1 || argv[1][0] < '0' || argv[1][0] > '2') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const int mode = argv[1][0] - '0';
    if (!*argv[2]) {
        std::fputs("Type Search String!\n", stderr);
        return 2;
    }

    CliFramework framework;
    CCladoramaDoc doc(&framework);
    TerminalConsole console(stderr);
    if (!doc.LoadHierarchiesIn<LoadMode::Binary>()) return 2;
    console.flush();
    // Typed with a character no name can hold, the text matches nothing.
    std::string text;
    const bool matchable = terminalToLatin1(argv[2], text);
    doc.Search(mode, text.c_str(), matchable);

    // One write: standard output is unbuffered and a search may list millions of lines.
    // Line i of the node list names entry i of the results.
    const std::vector<std::string>& lines = doc.m_pNodeListDlg->lines();
    std::string out = doc.m_pNodeListDlg->title() + "\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i < doc.m_searchResults.size()) {
            const TreeNode& node = *doc.m_searchResults[i];
            out += '\t';
            out += node.latinName;
            out += '\t';
            out += node.rankName;
            out += '\t';
            out += treeOf(node);
        }
        out += '\n';
    }
    out = latin1ToTerminal(out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return doc.m_searchResults.empty() ? 1 : 0;
}
