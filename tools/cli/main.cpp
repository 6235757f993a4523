// cladorama-cli: the viewer's pipelines on the command line.
#include <cstdio>
#include <cstring>

#include "CladoramaDoc.h"
#include "Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"read", cmdRead, "read FILE...        read checklists of any kind, print census and depth"},
    {"build", cmdBuild, "build [FILE1 FILE2] [--output DIR]  two classifications to T1.jm2 and T2.jm2"},
    {"load", cmdLoad, "load                load T1.jm2 and T2.jm2 as the viewer does"},
    {"search", cmdSearch, "search MODE TEXT    find taxa (mode 0 Latin, 1 common, 2 both)"},
    {"diff", cmdDiff, "diff [--summary] [FILE1 FILE2]  the changes: renamed, moved, rank, removed, added"},
    {"picture", cmdPicture, "picture [FILE1 FILE2] --output FILE.{svg,pdf,png}  the viewer's picture"},
    {"relate", cmdRelate, "relate [FILE1 FILE2] [--rank RANK] [--summary] [--coldp DIR] [--pairs FILE]  splits, lumps and reshuffles of higher taxa"},
    {"report", cmdReport, "report [FILE1 FILE2] --output FILE.html [--title TEXT]  the comparison as one web page"},
};

void usage(FILE* out) {
    std::fprintf(out, "usage: cladorama-cli COMMAND [ARGS]\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.summary);
}

}  // namespace

bool parsePairArguments(int argc, char** argv, PairArguments& out,
                        const std::function<bool(int argc, char** argv, int& i)>& extra) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--keep-levels")) {
            out.keepLevels = true;
        } else if (!std::strcmp(a, "--root")) {
            if (i + 1 >= argc || !argv[i + 1][0]) return false;
            out.root = argv[++i];
        } else if (!std::strcmp(a, "--common-name") || !std::strcmp(a, "--id") ||
                   !std::strcmp(a, "--authorship")) {
            if (i + 1 >= argc || !argv[i + 1][0]) return false;
            std::string& column = a[2] == 'c' ? out.commonNameColumn
                                  : a[2] == 'i' ? out.idColumn
                                                : out.authorshipColumn;
            column = argv[++i];
        } else if (a[0] == '-' || !a[0]) {
            if (!extra || !extra(argc, argv, i)) return false;
        } else {
            out.files.push_back(a);
        }
    }
    return out.files.empty() || out.files.size() == 2;
}

void PairArguments::apply(CCladoramaDoc& doc) const {
    doc.m_alignRanks = !keepLevels;
    doc.m_importOptions.commonNameColumn = commonNameColumn;
    doc.m_importOptions.idColumn = idColumn;
    doc.m_importOptions.authorshipColumn = authorshipColumn;
    doc.m_importOptions.root = root;
}

bool wantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

int takesNoArguments(int argc, char** argv, const char* usage) {
    if (wantsHelp(argc, argv)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc != 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    return -1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        usage(stdout);
        return 0;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "cladorama-cli: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
