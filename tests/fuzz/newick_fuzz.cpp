// The Newick and NEXUS readers on any bytes: a text that begins with #NEXUS is read as a
// NEXUS file, any other as Newick. A tree read must hold together, before and after
// aligning its levels with another checklist's; a refusal must name the file and leave the
// tree as built.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ImportFuzz.h"
#include "Newick.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool nexus = imp::looksLikeNexus(text.data(), text.size());
    (void)imp::looksLikeNewick(text.data(), text.size());
    fuzz::console().take();
    ClassificationTree tree;
    const FileResult read = nexus ? imp::readNexus(tree, text, "input.nex")
                                  : imp::readNewick(tree, text, "input.nwk");
    if (!read) {
        if (read.failure().file.empty() || read.failure().fault.empty())
            fuzz::fail("a refusal that names no file or fault", read.failure().line());
        if (tree.nodeCount != 0 || !tree.children.empty() || tree.latinName)
            fuzz::fail("a refused reading left taxa in the tree");
        return 0;
    }
    fuzz::checkImportedAndAligned(tree);
    return 0;
}
