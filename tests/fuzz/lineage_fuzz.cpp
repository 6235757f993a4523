// The lineage reader on any bytes. The first byte's low bit splits the rest at its middle
// line into two files read as one classification, as a folder of GTDB's bacteria and archaea
// files is; its second bit takes the rest as gzip-compressed, inflated within a small bound
// first. A tree read must hold together, before and after aligning its levels with another
// checklist's; a refusal must name the file and leave the tree as built.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Gzip.h"
#include "ImportFuzz.h"
#include "Lineages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool split = data[0] & 1;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string inflated, error;
    if ((data[0] & 2) && imp::looksLikeGzip(text.data(), text.size())) {
        if (!imp::gunzip(text.data(), text.size(), 1 << 20, inflated, error)) {
            if (error.empty()) fuzz::fail("a failed inflation without a reason");
            return 0;
        }
        text = inflated;
    }
    std::vector<imp::LineageText> files;
    if (split) {
        size_t middle = text.find('\n', text.size() / 2);
        middle = middle == std::string_view::npos ? text.size() : middle + 1;
        files = {{"bac120_taxonomy.tsv", text.substr(0, middle)},
                 {"ar53_taxonomy.tsv", text.substr(middle)}};
    } else {
        files = {{"taxonomy.tsv", text}};
    }
    (void)imp::looksLikeLineages(text.data(), text.size());
    fuzz::console().take();
    ClassificationTree tree;
    const FileResult read = imp::readLineages(tree, files, "gtdb");
    if (!read) {
        if (read.failure().file.empty() || read.failure().fault.empty())
            fuzz::fail("a refusal that names no file or fault", read.failure().line());
        if (tree.nodeCount != 0 || !tree.children.empty() || tree.latinName)
            fuzz::fail("a refused reading left taxa in the tree");
        return 0;
    }
    fuzz::checkImportedAndAligned(tree);
    return 0;
}
