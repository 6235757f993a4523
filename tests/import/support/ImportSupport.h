// What the importers' tests share: a tree as text, checked as every import must leave it,
// a file imported with its one line of failure, a zip written from named files.
#pragma once

#include <map>
#include <string>

#include "Import.h"
#include "TreeNode.h"

// The tree as lines "  name|rank|common", two blanks per level; also checks the invariants
// every successful import must keep.
std::string dump(const ClassificationTree& t);
// The rank names, comma-separated.
std::string ranks(const ClassificationTree& t);

// Imports the file at `path`; on failure `error` is the one stderr line.
struct Imported {
    bool ok;
    std::string error;
};
Imported importFile(ClassificationTree& t, const std::string& path, ImportOptions o = {});

void writeZip(const std::string& path, const std::map<std::string, std::string>& files);
// A zip of `files` imported: the tree as dump() gives it (else the failure line), and what
// the console said.
struct ZipRead {
    std::string tree, console;
};
ZipRead readZip(const std::map<std::string, std::string>& files);
