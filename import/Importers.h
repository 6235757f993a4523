// The importers of each format, behind the entry points of Import.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Import.h"
#include "Packages.h"

namespace imp {

// Tables of at least `twoThreadsFrom` bytes are read on two threads, each half into a tree
// of its own, the second half's then merged into the first's.
constexpr size_t kTwoThreadsFrom = size_t{8} << 20;
// `splitPlain` off: every line through libcsv, and no field known to repeat the row above
// (to hold the shortcuts of grouped tables to the plain reading).
bool importTable(ClassificationTree& tree, const char* data, size_t size,
                 const std::string& label, const ImportOptions& options, int64_t fileSize,
                 size_t twoThreadsFrom = kTwoThreadsFrom, bool splitPlain = true);
// A Darwin Core Archive: a zip, a folder with meta.xml, or a core taxon file on its own.
bool importDarwinCore(ClassificationTree& tree, const std::string& path,
                      const ImportOptions& options);
// A ColDP: a zip or a folder with NameUsage.tsv, or that file itself.
bool importColDP(ClassificationTree& tree, const std::string& path, const ImportOptions& options);
// The same from an opened zip or folder; `label` names it in diagnostics and a made root.
bool importDarwinCore(ClassificationTree& tree, Package& package, const std::string& label);
// A Darwin Core taxon file on its own, loaded.
bool importTaxonFile(ClassificationTree& tree, const FileData& file, const std::string& path);
bool importColDP(ClassificationTree& tree, Package& package, const std::string& label);
// A zip archive in memory, a Darwin Core Archive or a ColDP as its entries tell.
bool importZip(ClassificationTree& tree, const char* data, size_t size, const std::string& label,
               const ImportOptions& options);
// An opened package of either kind, as its files tell.
bool importPackage(ClassificationTree& tree, Package& package, const std::string& label);
// A zip file, mapped, read by importZip.
bool importZipFile(ClassificationTree& tree, const std::string& path, const ImportOptions& options);
// The readings of a table file or zip file once loaded, apart so that tests can shorten the
// file in between: a read error, not a signal, when it shrank meanwhile.
bool importTableFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                     const ImportOptions& options);
bool importZipFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                   const ImportOptions& options);

}  // namespace imp
