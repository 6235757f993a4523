// cladorama-cli load: the viewer's start-up load (binary mode) in the current directory.
#include <cstdio>

#include "CladoramaDoc.h"
#include "Commands.h"

namespace {
const char kUsage[] =
    "usage: cladorama-cli load\n"
    "  Loads T1.jm2 and T2.jm2 from the current directory as the viewer does at start-up\n"
    "  and builds its name lists. Standard output carries the console lines only. Exit\n"
    "  status 0, or 1 when a file could not be read.\n";
}

int cmdLoad(int argc, char** argv) {
    if (int status = takesNoArguments(argc, argv, kUsage); status >= 0) return status;
    CCladoramaDoc doc;
    return doc.LoadHierarchiesIn<LoadMode::Binary>() ? 0 : 1;
}
