// Trees in Newick and NEXUS text whose inner nodes are named: the named nodes are the taxa,
// nested as the parentheses nest them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "FileResult.h"
#include "TreeNode.h"

namespace imp {

// Newick: the first thing but blanks and [comments] is '('. NEXUS: the text begins with
// "#NEXUS". Neither holds a zero byte in its first bytes.
bool looksLikeNewick(const char* data, size_t size);
bool looksLikeNexus(const char* data, size_t size);

// Passes blanks and [comments] (nested ones too) from `at`, counting the lines passed in
// `line`. False when a comment is never closed; `opened` is then the line it began on.
bool skipBlanksAndComments(std::string_view text, size_t& at, size_t& line, size_t& opened);

// NEXUS's TRANSLATE table: the tokens a tree writes for the names they stand for.
using Translation = std::unordered_map<std::string, std::string>;

// Reads the first tree of a Newick text into `tree` (freshly built). Quoted labels ('...',
// '' for a quote) are read as written; in unquoted ones an underscore is a blank. Comments
// and branch lengths are passed over. A label may carry a support value before a colon and
// one or more prefixed names ("'0.98:p__Firmicutes;c__Bacilli'", a node standing for
// several ranks): ranks come from the prefixes, names without one are ranked by their
// shapes. In a tree with prefixes, leaves without one and not shaped as a species's name
// are specimens (genome accessions), not taxa.
// Unnamed inner nodes make no level. Refused, naming the file and line, when parentheses
// do not balance, a quote or comment is never closed, or no inner node has a name.
FileResult readNewick(ClassificationTree& tree, std::string_view text, const std::string& label);

// The first tree of the TREES block of a NEXUS file, its leaves' tokens translated.
FileResult readNexus(ClassificationTree& tree, std::string_view text, const std::string& label);

// The tree written from byte `from` (on line `line`) of `text`, its labels looked up in
// `translate` when given: readNewick's reading, for a NEXUS TREE command.
FileResult readNewickAt(ClassificationTree& tree, std::string_view text, size_t from, size_t line,
                        const Translation* translate, const std::string& label);

}  // namespace imp
