// The classification reader, one thread, on any bytes: it must fail cleanly or give a tree
// whose links, levels and names hold together.
#include <cstddef>
#include <cstdint>

#include "ClassificationReader.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::console().take();
    ClassificationTree tree;
    if (readClassificationBytes(tree, reinterpret_cast<const char*>(data), size, "input")) {
        std::string problem = validate(tree);
        if (!problem.empty()) fuzz::fail("validate:", problem);
        if (tree.fileSize != static_cast<int64_t>(size)) fuzz::fail("fileSize is not the size");
        if (tree.nodeCount < 1 || tree.rankNames.empty()) fuzz::fail("no root counted");
    }
    return 0;
}
