// cladorama-cli search MODE TEXT: the viewer's search over the loaded trees.
#include <cstdio>
#include <cstring>
#include <string>

#include "CladoramaDoc.h"
#include "CliFramework.h"
#include "Commands.h"
#include "Console.h"

namespace {

const char kUsage[] =
    "usage: cladorama-cli search MODE TEXT\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory (console lines on standard\n"
    "  error) and lists every taxon whose name contains TEXT, exact bytes, case-sensitive.\n"
    "  MODE 0 searches Latin names, 1 common names, 2 both. Standard output: the node list\n"
    "  title, then one line per match. Exit status 0 when something matched, 1 when\n"
    "  nothing did, 2 on a load failure or bad arguments.\n";


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
    const char* text = argv[2];
    if (!*text) {
        std::fputs("Type Search String!\n", stderr);
        return 2;
    }

    CliFramework framework;
    CCladoramaDoc doc(&framework);
    setConsoleStream(stderr);
    if (!doc.LoadHierarchiesIn<LoadMode::Binary>()) return 2;
    doc.Search(mode, text);

    // One write: standard output is unbuffered and a search may list millions of lines.
    std::string out = doc.m_pNodeListDlg->title() + "\n";
    for (const std::string& line : doc.m_pNodeListDlg->lines()) {
        out += line;
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return doc.m_searchResults.empty() ? 1 : 0;
}
