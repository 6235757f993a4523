// The classification reader with a second thread reading from a split the input chooses:
// its first two bytes (little-endian, modulo the rest's size plus one) give the split, the
// rest is the file. Whatever the split, the reading must equal the one-thread reading of
// the same bytes: return value, console lines, and on success the whole tree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ClassificationReader.h"
#include "FuzzSupport.h"

namespace {

// Empty when both trees hold the same nodes with the same fields in the same places.
std::string difference(const ClassificationTree& x, const ClassificationTree& y) {
    if (x.nodeCount != y.nodeCount || x.leafCount != y.leafCount || x.fileSize != y.fileSize)
        return "counts";
    if (x.rankNames.size() != y.rankNames.size()) return "rank name count";
    for (size_t i = 0; i < x.rankNames.size(); ++i)
        if (std::strcmp(x.rankNames[i], y.rankNames[i]) != 0) return "rank names";
    std::vector<std::pair<const TreeNode*, const TreeNode*>> stack{{&x, &y}};
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        if (std::strcmp(a->latinName, b->latinName) != 0 ||
            std::strcmp(a->commonName, b->commonName) != 0 ||
            std::strcmp(a->rankName, b->rankName) != 0)
            return std::string("names at ") + a->latinName;
        if (a->level != b->level || a->number != b->number ||
            std::memcmp(a->color, b->color, 3) != 0 || a->children.size() != b->children.size())
            return std::string("fields at ") + a->latinName;
        for (size_t i = 0; i < a->children.size(); ++i)
            stack.emplace_back(a->children[i], b->children[i]);
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char* text = reinterpret_cast<const char*>(data + 2);
    const size_t length = size - 2;
    const size_t split = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % (length + 1);
    fuzz::console().take();
    ClassificationTree one, two;
    const int oneOk = readClassificationBytesSplitAt(one, text, length, "input", 0);
    const std::string oneConsole = fuzz::console().take();
    const int twoOk = readClassificationBytesSplitAt(two, text, length, "input", split);
    const std::string twoConsole = fuzz::console().take();
    if (oneOk != twoOk) fuzz::fail("the split changed the outcome at", std::to_string(split));
    if (oneConsole != twoConsole) fuzz::fail("the split changed the console at", std::to_string(split));
    if (twoOk) {
        std::string problem = validate(two);
        if (!problem.empty()) fuzz::fail("validate:", problem);
        problem = difference(one, two);
        if (!problem.empty()) fuzz::fail("the split changed the tree:", problem);
    }
    return 0;
}
