// Lineage tables: one line per genome or sequence, its identifier, a tab and the path of its
// taxon from the top, each level a name behind a rank prefix. The taxonomy files of the
// Genome Taxonomy Database ("d__Bacteria;p__Pseudomonadota;...;s__Escherichia coli") and the
// taxonomy tables of microbiome tools ("k__Bacteria; p__Firmicutes; ...; g__; s__") alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "FileResult.h"
#include "TreeNode.h"

namespace imp {

// One file of lineages, in memory.
struct LineageText {
    std::string label;  // names the file in messages
    std::string_view bytes;
};

// The first lines of `data` are lineages: a line (past notes beginning with '#' and a
// header) whose second column begins with the top rank's prefix, d__ or k__.
bool looksLikeLineages(const char* data, size_t size);

// The taxonomy files of the Genome Taxonomy Database among a folder's file names (bacteria
// and archaea, `bac120_taxonomy.tsv`, `ar53_taxonomy_r220.tsv.gz`, ...), in the order given;
// of a file both plain and compressed, the plain one.
std::vector<std::string> gtdbTaxonomyFiles(const std::vector<std::string>& names);

// Reads the lineages of `files` into `tree` (freshly built) as one classification: genomes
// are no taxa, each distinct path of names is. Ranks come from the prefixes; an empty level
// ("g__") is left out of the path; a species given by its epithet alone joins its genus. A
// line whose ranks are out of order, or a level without a known prefix, is refused naming
// the file and line. `label` names a root made above several top taxa.
FileResult readLineages(ClassificationTree& tree, const std::vector<LineageText>& files,
                        const std::string& label);

}  // namespace imp
