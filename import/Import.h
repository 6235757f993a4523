// Readers of the checklist formats other than the program's own: rank-column tables (CSV or
// TSV), Darwin Core Archives and Catalogue of Life Data Packages, lineage tables (GTDB's
// among them), Newick and NEXUS trees. Each fills a freshly built ClassificationTree exactly
// as the classification reader does (names, ranks, colours, levels, numbers in reading order,
// parents, nodeCount, leafCount, rankNames in order of first appearance), so that everything
// after it works on it unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FileResult.h"
#include "TaxonFacts.h"
#include "TreeNode.h"

// What a file holds, told by its extension and, where that says nothing, its first bytes.
enum class InputKind {
    Classification,     // the tag format of the classification reader
    TreeFile,           // a binary tree file (.jm2)
    Table,              // a CSV or TSV table with one column per rank
    DarwinCoreArchive,  // a zip with meta.xml (or a Darwin Core taxon file on its own)
    ColDP,              // a Catalogue of Life Data Package: a zip or a folder with NameUsage.tsv
    Taxdump,            // NCBI's taxdump: a folder, zip or tar.gz with nodes.dmp and names.dmp
    OpenTreeTaxonomy,   // the Open Tree taxonomy: a folder or tar.gz with taxonomy.tsv
    Lineages,           // identifiers and rank-prefixed lineages (GTDB's taxonomy files), or
                        // a folder holding GTDB's bacteria and archaea files
    Newick,             // a Newick tree whose inner nodes are named
    Nexus,              // a NEXUS file with a TREES block
    Unknown
};
InputKind detectInputKind(const std::string& path);

namespace imp {
struct OpenedInput;
}
// A file whose kind was found, with what finding it took in (a zip's bytes and listing, a
// folder's listing), so that its reading goes on from there instead of finding it again.
struct InputFile {
    std::string path;
    InputKind kind = InputKind::Unknown;
    std::shared_ptr<imp::OpenedInput> opened;  // null when finding the kind opened nothing
};
// "classification file", "tree file", "table", "Darwin Core Archive", "Catalogue of Life
// Data Package", "NCBI taxdump", "Open Tree taxonomy", "lineage table", "Newick tree",
// "NEXUS file", "unknown".
const char* inputKindName(InputKind kind);

// Whether the file or folder at `path` is a taxdump or an Open Tree taxonomy, of which a
// subtree may be read (ImportOptions::root), told from its name and its folder's files alone:
// nodes.dmp, taxonomy.tsv, a tar archive, a folder or zip named after a taxdump.
bool offersSubtrees(const std::string& path);

// Where `path` is one domain's taxonomy file of a GTDB release (bacteria or archaea) and its
// folder holds the other domain's file and no other taxonomy file, that other file's path:
// the folder, read as one classification, is the whole release. Empty otherwise.
std::string gtdbOtherDomain(const std::string& path);

struct ImportOptions {
    // The header of the column to take common names from; empty: the recognised ones.
    std::string commonNameColumn;
    // The most bytes an archive may inflate to; 0: a hundred times the archive's size, at
    // least 256 MB and at most 8 GB.
    uint64_t maxUncompressedBytes = 0;
    // The header of a table's column of identifiers; empty: taxonID, ID or id.
    std::string idColumn;
    // The header of a table's column of authorship; empty: the recognised ones. Several
    // headers joined by commas (an author column and a year column) are read as one text.
    std::string authorshipColumn;
    // When set, receives (replacing what it held) the identifiers, authorship and synonyms
    // the file gives, for the taxa of the tree read. Left empty when the reading fails.
    TaxonFacts* facts = nullptr;
    // Of a taxdump or an Open Tree taxonomy, only the subtree of the taxon of this
    // identifier or name; empty: the whole tree.
    std::string root;
};

// Reads a table, archive or package at `path` into `tree`, which must be freshly built. On
// any failure returns false, prints one line on standard error naming the file, the line
// (or byte) and what was wrong, and leaves `tree` as freshly built. Classification files
// and tree files are not read here.
bool importClassification(ClassificationTree& tree, const std::string& path,
                           const ImportOptions& options = {});

// Finds what the file at `path` is, once (see detectInputKind); a zip is read with the
// limit of `options`.
InputFile openInput(const std::string& path, const ImportOptions& options = {});

// The same reading of a file whose kind was found already, with the outcome as a value and
// no diagnostic: importClassification is openInput, this and reportFailure.
FileResult importInput(ClassificationTree& tree, const InputFile& input,
                       const ImportOptions& options = {});

// Reads a table held in memory as importClassification reads a table file; `label` stands
// for the file's name in messages and in a made root. For fuzzing and for tests.
bool importTableFromMemory(ClassificationTree& tree, const char* data, size_t size,
                           const std::string& label, const ImportOptions& options = {});

// Reads a zip archive held in memory, a Darwin Core Archive or a Catalogue of Life Data
// Package as its entries tell, as importClassification reads such a zip file; `label` stands
// for the file's name. For fuzzing and for tests.
bool importZipFromMemory(ClassificationTree& tree, const char* data, size_t size,
                         const std::string& label, const ImportOptions& options = {});

// Reads a file of any kind but a tree file: the classification reader for the tag format,
// importClassification for the rest. Same contract as importClassification.
bool readAnyClassification(ClassificationTree& tree, const std::string& path,
                            const ImportOptions& options = {});
// A file of the kind found already, of any kind the program reads (a tree file too: its
// rank census is printed), with the outcome as a value and no diagnostic. `tree` must be
// freshly built, with its treeId set for a tree file.
FileResult loadAnyClassification(ClassificationTree& tree, const InputFile& input,
                                  const ImportOptions& options = {});

// Pairs compare like with like: the levels of a rank that only one of two imported trees
// uses are left out of it (their children hang from the level above), with one console
// line per tree that lost any, naming the ranks. Levels, counts and rankNames are brought
// up to date. Call only for two imported trees, never for tag-format files or tree files.
// `leftOut`, when given, is told each rank left out and how many taxa it held.
struct RankLeftOut {
    int tree = 1;  // 1 or 2
    std::string rank;
    size_t taxa = 0;
};
void alignRankLevels(ClassificationTree& tree1, ClassificationTree& tree2,
                     std::vector<RankLeftOut>* leftOut = nullptr);
