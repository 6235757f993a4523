// The file kept beside two tree files (partners of renamed taxa, facts, relations of higher
// taxa) on any bytes, read against two fixed combined trees: it must be refused cleanly, or
// give pairs, facts and relations of those trees that write back to a file reading the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ClassificationReader.h"
#include "CladoramaDoc.h"
#include "FuzzSupport.h"
#include "LoadedRelations.h"
#include "Partners.h"

namespace {

// Two small classifications with a move, a rename by epithet, a split genus and taxa only one
// holds: every section of the file has something to hold.
const char* const kFirst =
    "<branch>\nCarnivora\n\nOrder\n"
    "<branch>\nFelidae\n\nFamily\n"
    "<branch>\nFelis\n\nGenus\n"
    "<leaf>\nFelis catus\n\nSpecies\n</leaf>\n"
    "<leaf>\nFelis manul\n\nSpecies\n</leaf>\n"
    "<leaf>\nFelis chaus\n\nSpecies\n</leaf>\n"
    "</branch>\n"
    "<branch>\nPanthera\n\nGenus\n"
    "<leaf>\nPanthera leo\n\nSpecies\n</leaf>\n"
    "</branch>\n</branch>\n</branch>\n";
const char* const kSecond =
    "<branch>\nCarnivora\n\nOrder\n"
    "<branch>\nFelidae\n\nFamily\n"
    "<branch>\nFelis\n\nGenus\n"
    "<leaf>\nFelis catus\n\nSpecies\n</leaf>\n"
    "<leaf>\nFelis bieti\n\nSpecies\n</leaf>\n"
    "</branch>\n"
    "<branch>\nOtocolobus\n\nGenus\n"
    "<leaf>\nOtocolobus manul\n\nSpecies\n</leaf>\n"
    "</branch>\n"
    "<branch>\nPanthera\n\nGenus\n"
    "<leaf>\nPanthera leo\n\nSpecies\n</leaf>\n"
    "<leaf>\nFelis chaus\n\nSpecies\n</leaf>\n"
    "</branch>\n</branch>\n</branch>\n";

const FileStamp kStamp1{101, 0x1234}, kStamp2{202, 0x5678};

struct Fixture {
    ClassificationTree tree1, tree2;
    Fixture() {
        std::string a = classificationText(kFirst), b = classificationText(kSecond);
        if (!readClassificationBytes(tree1, a.data(), a.size(), "first") ||
            !readClassificationBytes(tree2, b.data(), b.size(), "second"))
            fuzz::fail("the fixture cannot be read");
        buildCombinedTrees(tree1, tree2);
    }
    // The tag format the reader takes, from the lines above (name, common name, rank).
    static std::string classificationText(const char* lines) {
        std::string out;
        const char* p = lines;
        while (*p) {
            const char* end = std::strchr(p, '\n');
            std::string line(p, end);
            p = end + 1;
            if (line == "<branch>" || line == "<leaf>") {
                std::string value[3];
                for (std::string& v : value) {
                    const char* e = std::strchr(p, '\n');
                    v.assign(p, e);
                    p = e + 1;
                }
                out += line + "\n<attr name=\"latin\" value=\"" + value[0] + "\"/>\n" +
                       "<attr name=\"common\" value=\"" + value[1] + "\"/>\n" +
                       "<attr name=\"rank\" value=\"" + value[2] + "\"/>\n";
            } else {
                out += line + "\n";
            }
        }
        return out;
    }
};

bool within(const TreeNode* n, const ClassificationTree& tree) {
    while (n && n->parent) n = n->parent;
    return n == &tree;
}

}  // namespace

// The bytes of a file such as a build writes for the fixture (the seed).
std::string partnersFuzzSeed() {
    fuzz::console().take();
    static Fixture f;
    RenamePairs pairs;
    pairs.find(f.tree1, f.tree2);
    TaxonFacts facts[2];
    const TaxonRelations relations = relateLoadedTrees(f.tree1, f.tree2, speciesPairsOf(pairs));
    return partnersFileBytes(f.tree1, f.tree2, kStamp1, kStamp2, pairs, facts, &relations);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::console().take();
    static Fixture f;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<RenamePair> pairs;
    TaxonFacts facts[2];
    TaxonRelations relations;
    bool hasRelations = false;
    const int result = readPartnersFileBytes(bytes, f.tree1, f.tree2, kStamp1, kStamp2, pairs,
                                             facts, &relations, &hasRelations);
    if (result < 0 || result > 2) fuzz::fail("an unknown result", std::to_string(result));
    if (result != 0) {
        if (!pairs.empty() || hasRelations) fuzz::fail("a refused file left what it read");
        return 0;
    }
    for (const RenamePair& p : pairs)
        if (!within(p.node1, f.tree1) || !within(p.node2, f.tree2))
            fuzz::fail("a pair names a node of neither tree");
    if (hasRelations) {
        for (const TaxonRelation& r : relations.relations()) {
            if ((r.taxon1 && !within(r.taxon1, f.tree1)) || (r.taxon2 && !within(r.taxon2, f.tree2)))
                fuzz::fail("a relation names a node of neither tree");
            if (r.rank >= relations.ranks().size()) fuzz::fail("a relation's rank is out of range");
        }
        for (const TaxonVerdict& v : relations.taxa())
            if (!within(v.node, v.side == 1 ? f.tree1 : f.tree2))
                fuzz::fail("a verdict names a node of the other tree");
    }
    // What was read, written again, reads the same.
    RenamePairs kept;
    kept.assign(pairs);
    const std::string again = partnersFileBytes(f.tree1, f.tree2, kStamp1, kStamp2, kept, facts,
                                                hasRelations ? &relations : nullptr);
    std::vector<RenamePair> pairs2;
    TaxonFacts facts2[2];
    TaxonRelations relations2;
    bool has2 = false;
    if (readPartnersFileBytes(again, f.tree1, f.tree2, kStamp1, kStamp2, pairs2, facts2,
                              &relations2, &has2) != 0)
        fuzz::fail("what was read cannot be read once written again");
    if (pairs2.size() != pairs.size() || has2 != hasRelations ||
        relations2.relations().size() != relations.relations().size() ||
        relations2.taxa().size() != relations.taxa().size())
        fuzz::fail("written again, it reads otherwise");
    for (size_t i = 0; i < pairs.size(); ++i)
        if (pairs2[i].node1 != pairs[i].node1 || pairs2[i].node2 != pairs[i].node2 ||
            pairs2[i].evidence != pairs[i].evidence)
            fuzz::fail("a pair changed on the way");
    return 0;
}
