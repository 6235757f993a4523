// cladorama-cli build: the viewer's build-mode pipeline, on the fixed classification files
// of the current directory or on two files of any kind.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "Commands.h"

namespace {
const char kUsage[] =
    "usage: cladorama-cli build [FILE1 FILE2] [--output DIR] [--keep-levels]\n"
    "                           [--common-name COLUMN] [--id COLUMN] [--authorship COLUMN]\n"
    "                           [--root NAME|TAXID]\n"
    "  Reads classif_A_03-01-31.xml and classif_B_03-01-31.xml in the current directory,\n"
    "  or FILE1 and FILE2 (tag-format classification files, tree files, CSV or TSV tables,\n"
    "  Darwin Core Archives, Catalogue of Life Data Packages; the two need not be of one\n"
    "  kind), compares, combines and lays out both trees and writes T1.jm2 and T2.jm2 into\n"
    "  DIR (made if missing; the current directory by default). Two imported checklists\n"
    "  that use different ranks are compared on the ranks both use; --keep-levels keeps\n"
    "  every level; --common-name takes the common names of tables from the column of that\n"
    "  header instead of the recognised ones; --root takes only the subtree of the taxon of\n"
    "  that name or identifier from an NCBI taxdump or an Open Tree taxonomy. Beside the tree files goes Partners.jmp: the\n"
    "  renamed taxa paired (see diff), with the identifiers (--id: their column) and\n"
    "  authorship (--authorship) they were paired by. Standard output carries the pipeline's\n"
    "  console lines only. Exit status 0, 1 when a file could not be read or written, 2 on\n"
    "  bad arguments.\n";
}

int cmdBuild(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    PairArguments args;
    std::string output;
    const bool ok = parsePairArguments(argc, argv, args, [&](int n, char** v, int& i) {
        if (std::strcmp(v[i], "--output") || i + 1 >= n || !v[i + 1][0]) return false;
        output = v[++i];
        return true;
    });
    if (!ok) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::string>& files = args.files;
    CCladoramaDoc doc;
    args.apply(doc);
    if (files.empty() && output.empty()) return doc.LoadHierarchiesIn<LoadMode::Build>() ? 0 : 1;
    if (files.empty()) files = {kClassificationFile1, kClassificationFile2};
    return doc.BuildTreeFiles(files[0], files[1], output) ? 0 : 1;
}
