// cladorama-cli read FILE...: reads checklists of every kind the viewer opens, one by one,
// and prints what it found in each.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ClassificationReader.h"
#include "Commands.h"
#include "Compare.h"
#include "Console.h"
#include "Census.h"
#include "CladoramaDoc.h"
#include "Import.h"
#include "TerminalText.h"
#include "TreeFile.h"

namespace {

const char kUsage[] = "usage: cladorama-cli read FILE... [--common-name COLUMN] [--root NAME|TAXID]\n";

void readUsage(FILE* out) {
    std::fputs(kUsage, out);
    std::fputs(
        "Reads each file in turn: tag-format classification files (.xml), tree files (.jm2),\n"
        "CSV or TSV tables with one column per rank, Darwin Core Archives, Catalogue of Life\n"
        "Data Packages, NCBI taxdumps and Open Tree taxonomies. Prints the reader's progress\n"
        "lines (classification files), the number of taxa of each rank, and one summary line:\n"
        "  FILE: nodeCount N, leafCount N, maxLevel N\n"
        "The census of a tree file counts its own taxa, not the copies grafted in from the\n"
        "other tree: tree 2's for a file named T2.jm2, tree 1's for any other.\n"
        "Names are written in the locale's character set. --common-name takes the common\n"
        "names of tables from the column of that header. --root reads only the subtree of\n"
        "the taxon of that name or identifier from a taxdump or an Open Tree taxonomy.\n"
        "Stops at the first file that cannot be read (exit status 1).\n",
        out);
}

// Reads one file, its kind found already, into a fresh tree, with the console lines its
// reader prints; false after the reader's failure line when it could not be read.
bool readOne(ClassificationTree& tree, const InputFile& input, const ImportOptions& options) {
    const std::string& path = input.path;
    if (input.kind == InputKind::Unknown) {
        std::fflush(consoleStream());
        std::fprintf(stderr,
                     "%s: no file Cladorama can read: a tree file (.jm2), a classification "
                     "file (.xml), a table (.csv, .tsv), a Darwin Core Archive, a "
                     "Catalogue of Life Data Package, an NCBI taxdump or an Open Tree "
                     "taxonomy\n",
                     path.c_str());
        return false;
    }
    if (input.kind == InputKind::TreeFile) {
        // A tree file holds a combined tree; its census counts its own taxa, not the
        // copies grafted in from the other tree. Which tree it was is not in the file:
        // T2.jm2 is tree 2's, as the viewer names it, any other tree 1's. The reader
        // prints the census itself.
        const size_t slash = path.find_last_of('/');
        tree.treeId = path.substr(slash == std::string::npos ? 0 : slash + 1) == kTreeFile2 ? 2 : 1;
    }
    if (reportFailure(loadAnyClassification(tree, input, options))) return true;
    if (input.kind == InputKind::Classification)
        consolePrintf("Reading classification xml file has been failed!\n");
    return false;
}

}  // namespace

int cmdRead(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        readUsage(stdout);
        return 0;
    }
    std::vector<std::string> files;
    ImportOptions options;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--common-name") && i + 1 < argc && argv[i + 1][0]) {
            options.commonNameColumn = argv[++i];
        } else if (!std::strcmp(argv[i], "--root") && i + 1 < argc && argv[i + 1][0]) {
            options.root = argv[++i];
        } else if (argv[i][0] == '-' || !argv[i][0]) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    TerminalConsole console(stdout);
    for (const std::string& path : files) {
        ClassificationTree tree;
        const InputFile input = openInput(path, options);
        const bool binary = input.kind == InputKind::TreeFile;
        if (!readOne(tree, input, options)) return 1;
        // Freshly read, every mark is 0, so the census counts every node.
        if (!binary) {
            tree.treeId = 1;
            printRankCensus(tree);
        }
        computeMaxLevel(tree);
        // The path is the file system's bytes, written as they are, not a name to convert.
        console.flush();
        std::printf("%s: nodeCount %d, leafCount %d, maxLevel %d\n", path.c_str(), tree.nodeCount,
                    tree.leafCount, tree.maxLevel);
        std::fflush(stdout);
    }
    return 0;
}
