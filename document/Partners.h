// The partners of renamed taxa of the document's two trees (see Renames.h), found after every
// load, and the file beside the tree files that keeps what a build found beyond the trees: the
// pairs and the identifiers and authorship of the taxa that could be paired. Tree files carry
// no identifiers, authorship or synonyms, so without that file a load of tree files finds
// only what the epithets and their endings tell.
#pragma once

#include <string>
#include <vector>

#include "Import.h"
#include "Renames.h"
#include "TaxonFacts.h"
#include "TreeNode.h"

constexpr const char* kPartnersFile = "Partners.jmp";

class DocPartners {
public:
    RenamePairs pairs;
    TaxonFacts facts[2];  // of tree 1 and tree 2 as last loaded

    // The options to read a tree with: `base`, collecting the facts of tree `treeId` (1 or 2)
    // for the next prepare().
    ImportOptions optionsFor(const ImportOptions& base, int treeId);
    // Two tree files at these paths were just read: the pairs kept beside the first are taken
    // by the next prepare() when that file was written with these two files (else one console
    // line says why it is not taken).
    void readBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                    const std::string& path1, const std::string& path2);
    // The pairs of the trees as just loaded: those read beside them, else found now, with the
    // facts the readers gave. Does nothing more until the next reading.
    void prepare(const ClassificationTree& tree1, const ClassificationTree& tree2);
    // Writes the file beside the two tree files just written at these paths, through a
    // temporary file that takes its place in one step. False after a console line.
    bool writeBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                     const std::string& path1, const std::string& path2);

private:
    TaxonFacts m_pending[2];
    std::vector<RenamePair> m_pendingPairs;
    bool m_fromFile = false;
    bool m_done = false;
};

// The file of partners that belongs beside the tree file at `treePath`.
std::string partnersPathBeside(const std::string& treePath);

// What identifies a file's contents: its size and a hash of its bytes. False when it cannot
// be read.
struct FileStamp {
    uint64_t size = 0, hash = 0;
    bool operator==(const FileStamp&) const = default;
};
bool stampFile(const std::string& path, FileStamp& stamp);

// The partners file's bytes for two trees as they stand in the two tree files of these
// stamps, and the reading back of such bytes into pairs and facts of two such trees. Reading
// returns 0 on success, 1 when the stamps are not those given, 2 when the bytes are damaged,
// 3 when they were written under other rules for renamed taxa.
std::string partnersFileBytes(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const FileStamp& stamp1, const FileStamp& stamp2,
                              const RenamePairs& pairs, const TaxonFacts facts[2]);
int readPartnersFileBytes(const std::string& bytes, const ClassificationTree& tree1,
                          const ClassificationTree& tree2, const FileStamp& stamp1,
                          const FileStamp& stamp2, std::vector<RenamePair>& pairs,
                          TaxonFacts facts[2]);
