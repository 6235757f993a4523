// The taxonomies of bioinformatics that come as dump files rather than checklists: NCBI's
// taxdump (nodes.dmp, names.dmp, merged.dmp, delnodes.dmp) and the Open Tree taxonomy
// (taxonomy.tsv, synonyms.tsv). Each is found in a folder, a zip, a tar.gz, or by one of its
// files; each reading hands back its tree or its one failure as a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FileResult.h"
#include "Import.h"
#include "Packages.h"

namespace imp {

// The files of these taxonomies, by base name (any case).
bool isTaxdumpFile(const std::string& name);       // nodes.dmp or names.dmp
bool isOpenTreeTaxonomy(const std::string& name);  // taxonomy.tsv
// InputKind::Taxdump or OpenTreeTaxonomy for a listing that holds nodes.dmp or taxonomy.tsv,
// else Unknown.
InputKind taxonomyKind(const std::vector<std::string>& names);
// A file name ending in .tar.gz, .tgz or .tar.
bool isTarName(const std::string& path);

// Reads the files of the tar archive (gzip-compressed or not) at `data` whose base names
// `want` accepts, at most `limit` bytes in all; false with `error` set.
bool readTar(const char* data, size_t size, bool (*want)(const std::string& name), uint64_t limit,
             std::vector<std::pair<std::string, std::string>>& files, std::string& error);
// The files of these taxonomies that a reading of a tar archive takes in.
bool isTaxonomyEntry(const std::string& name);

// The readings, from a package holding the files (a folder, a zip, or a tar's files in
// memory); `label` names it in diagnostics. Failures go through importFailure.
bool importTaxdump(ClassificationTree& tree, Package& package, const std::string& label,
                   const ImportOptions& options);
bool importOpenTree(ClassificationTree& tree, Package& package, const std::string& label,
                    const ImportOptions& options);

// A taxdump or Open Tree taxonomy at `input` (found by openInput), read into `tree`.
FileResult importTaxonomy(ClassificationTree& tree, const InputFile& input,
                          const ImportOptions& options);
// The files of a taxdump or an Open Tree taxonomy given in memory, by name ("nodes.dmp",
// "names.dmp", ...): for fuzzing and for tests.
FileResult importTaxonomyFiles(ClassificationTree& tree,
                               std::vector<std::pair<std::string, std::string>> files,
                               const std::string& label, const ImportOptions& options = {});

}  // namespace imp
