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
#include "TaxonRelations.h"
#include "TreeNode.h"

constexpr const char* kPartnersFile = "Partners.jmp";

class DocPartners {
public:
    RenamePairs pairs;
    TaxonFacts facts[2];  // of tree 1 and tree 2 as last loaded
    // The relations of the higher taxa, where the file beside the trees held them or a build
    // found them to write it (`hasRelations`): the document takes them instead of finding
    // them again.
    TaxonRelations relations;
    bool hasRelations = false;

    // The options to read a tree with: `base`, collecting the facts of tree `treeId` (1 or 2)
    // for the next prepare().
    ImportOptions optionsFor(const ImportOptions& base, int treeId);
    // Two tree files at these paths were just read: the next prepare() takes the pairs kept
    // beside the first when that file was written with these two files. Nothing is read
    // here: the file is checked against the trees' bytes, which takes a pass over both, by
    // the work that finds the changes after the first frame.
    void expectBeside(const std::string& path1, const std::string& path2);
    // The pairs of the trees as just loaded: those read beside them, else found now, with the
    // facts the readers gave. Does nothing more until the next reading. A file beside the
    // trees that cannot be taken leaves its console line in notice().
    void prepare(const ClassificationTree& tree1, const ClassificationTree& tree2);
    // The console line of the last prepare() that could not take the file beside the trees
    // (written with other tree files, or damaged), or empty.
    const std::string& notice() const { return m_notice; }
    // What the file beside two tree files keeps: the pairs (prepare()) and the relations of
    // the higher taxa. Only reads the trees.
    void findForFile(const ClassificationTree& tree1, const ClassificationTree& tree2);
    // Writes the file beside the two tree files just written at these paths, through a
    // temporary file that takes its place in one step. False after a console line.
    bool writeBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                     const std::string& path1, const std::string& path2);

private:
    TaxonFacts m_pending[2];
    std::string m_beside[2];  // the tree files whose pairs may lie beside them
    std::string m_notice;
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
// returns 0 on success, 1 when the stamps are not those given, 2 when the bytes are damaged.
// With `relations`, the relations of the higher taxa go into the file too; reading gives them
// back where the file holds them (`hasRelations`). A file written under other pairing rules
// (kPairingRulesVersion) reads as written for other tree files.
std::string partnersFileBytes(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const FileStamp& stamp1, const FileStamp& stamp2,
                              const RenamePairs& pairs, const TaxonFacts facts[2],
                              const TaxonRelations* relations = nullptr);
int readPartnersFileBytes(const std::string& bytes, const ClassificationTree& tree1,
                          const ClassificationTree& tree2, const FileStamp& stamp1,
                          const FileStamp& stamp2, std::vector<RenamePair>& pairs,
                          TaxonFacts facts[2], TaxonRelations* relations = nullptr,
                          bool* hasRelations = nullptr);
