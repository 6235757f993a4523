// The files of bioinformatics once their kind is found: lineage tables (a file, gzip-
// compressed or not, or a folder of GTDB taxonomy files) and Newick or NEXUS trees.
#pragma once

#include "Import.h"

namespace imp {

FileResult importLineageInput(ClassificationTree& tree, const InputFile& input,
                              const ImportOptions& options);
FileResult importTreeText(ClassificationTree& tree, const InputFile& input);

// The extensions under which Newick and NEXUS trees are published (".nwk", ".tree", ...),
// in lower case: such a file is read as one, whatever its first bytes.
bool isTreeTextExtension(const std::string& lowerExtension);

}  // namespace imp
