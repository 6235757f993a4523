// The tree file reader on any bytes: it must fail cleanly, or give a tree that holds
// together and that the writer turns back into exactly the bytes read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "TreeFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::console().take();
    ClassificationTree tree;
    tree.treeId = 1 + size % 2;  // the census after the reading skips the other tree's marks
    if (!readTreeFileBytes(tree, reinterpret_cast<const char*>(data), size, "input")) return 0;
    std::string problem = validate(tree);
    if (!problem.empty()) fuzz::fail("validate:", problem);
    std::string written;
    if (!writeTreeFileBytes(tree, written, "input")) fuzz::fail("a tree read cannot be written");
    if (written.size() != size || (size > 0 && std::memcmp(written.data(), data, size) != 0)) {
        size_t at = 0;
        while (at < size && at < written.size() && written[at] == static_cast<char>(data[at])) ++at;
        fuzz::fail("written back differently from byte", std::to_string(at));
    }
    return 0;
}
