// Shared by the fuzz targets of the taxdump and Open Tree readers: an input lists the dump's
// files as text (see fuzz::filesOf), or is a tar archive of them, gzip-compressed or not.
#pragma once

#include <unordered_set>

#include "ImportFuzz.h"
#include "Taxonomies.h"

namespace fuzz {

inline int importTaxonomyInput(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    auto files = filesOf(data, size);
    if (files.empty()) {
        std::string error;
        // A small bound on what the archive may unpack to, so that a bomb costs little.
        if (!imp::readTar(reinterpret_cast<const char*>(data), size, imp::isTaxonomyEntry,
                          1 << 16, files, error) ||
            files.empty())
            return 0;
    }
    ImportOptions options;
    TaxonFacts facts;
    // Half the inputs are read with the facts of their taxa, as a comparison reads them; one
    // in four for a subtree: of the taxon with identifier 2, or of the one named Bacteria.
    if (hash & 32) options.facts = &facts;
    if (hash % 8 == 1) options.root = "2";
    if (hash % 8 == 5) options.root = "Bacteria";
    console().take();
    ClassificationTree tree;
    const FileResult r = imp::importTaxonomyFiles(tree, std::move(files), "input", options);
    console().take();
    if (!r) {
        if (tree.nodeCount != 0 || !tree.children.empty()) fail("a failed reading left taxa");
        if (r.failure().line().find('\n') != std::string::npos) fail("a failure of two lines");
        return 0;
    }
    checkFacts(tree, facts);
    std::unordered_set<const TreeNode*> nodes;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) { nodes.insert(n); });
    facts.forEachFormerId([&](const TreeNode* n, const char* id) {
        if (!nodes.count(n) || !id || !*id) fail("a former identifier of no taxon of the tree");
    });
    checkImportedAndAligned(tree);
    return 0;
}

}  // namespace fuzz
