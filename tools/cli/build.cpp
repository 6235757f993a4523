// cladorama-cli build: the viewer's build-mode pipeline in the current directory.
#include <cstdio>

#include "CladoramaDoc.h"
#include "Commands.h"

namespace {
const char kUsage[] =
    "usage: cladorama-cli build\n"
    "  Reads classif_A_03-01-31.xml and classif_B_03-01-31.xml in the current directory,\n"
    "  compares, combines and lays out both trees and writes T1.jm2 and T2.jm2. Standard\n"
    "  output carries the pipeline's console lines only. Exit status 0, or 1 when a file\n"
    "  could not be read or written.\n";
}

int cmdBuild(int argc, char** argv) {
    if (int status = takesNoArguments(argc, argv, kUsage); status >= 0) return status;
    CCladoramaDoc doc;
    return doc.LoadHierarchiesIn<LoadMode::Build>() ? 0 : 1;
}
