// Lineage tables and Newick or NEXUS trees, from what finding their kind took in.
#include "BioFiles.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Gzip.h"
#include "Lineages.h"
#include "Newick.h"
#include "Packages.h"

namespace imp {

namespace {

// The text of a loaded file, inflated when it is gzip-compressed; false with `error` set.
bool textOf(const FileData& file, const ImportOptions& options, std::string& inflated,
            std::string_view& text, std::string& error) {
    if (!looksLikeGzip(file.data(), file.size())) {
        text = std::string_view(file.data(), file.size());
        return true;
    }
    if (!gunzip(file.data(), file.size(), zipLimit(options, file.size()), inflated, error))
        return false;
    text = inflated;
    return true;
}

// A file that another program shortened while it was read gave zeros for the rest: what
// was made of them is undone, and the change is the failure told.
FileResult unlessChanged(ClassificationTree& tree, FileResult read, const FileData& file,
                         const std::string& path) {
    if (!file.changed()) return read;
    if (read.ok()) {
        ClassificationTree fresh;
        keepCallerFields(fresh, tree);
        tree.swapContents(fresh);
    }
    return FileResult::failed(path, bytePlace(file.changedAt()),
                              "the file changed while it was read (it was shortened)");
}

}  // namespace

bool isTreeTextExtension(const std::string& e) {
    return e == ".nwk" || e == ".newick" || e == ".tree" || e == ".tre" || e == ".trees" ||
           e == ".nex" || e == ".nexus" || e == ".treefile";
}

FileResult importLineageInput(ClassificationTree& tree, const InputFile& input,
                              const ImportOptions& options) {
    const std::string& path = input.path;
    if (!input.opened) return FileResult::failed(path, {}, "not opened");
    OpenedInput& opened = *input.opened;
    if (opened.what == OpenedInput::Folder) {
        // Bacteria and archaea, each in a file of its own: one classification.
        const std::vector<std::string> names = gtdbTaxonomyFiles(opened.package.names());
        std::vector<FileData> files(names.size());
        std::vector<std::string> inflated(names.size());
        std::vector<LineageText> texts;
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string file = path + (path.ends_with('/') ? "" : "/") + names[i];
            std::string error = files[i].load(file);
            std::string_view text;
            if (!error.empty() || !textOf(files[i], options, inflated[i], text, error))
                return FileResult::failed(file, bytePlace(0), error);
            texts.push_back({file, text});
        }
        if (texts.empty()) return FileResult::failed(path, {}, "no taxonomy files in the folder");
        FileResult r = readLineages(tree, texts, path);
        for (size_t i = 0; i < files.size(); ++i)
            r = unlessChanged(tree, std::move(r), files[i], texts[i].label);
        return r;
    }
    if (!opened.loadError.empty()) return FileResult::failed(path, bytePlace(0), opened.loadError);
    std::string inflated, error;
    std::string_view text;
    if (!textOf(opened.file, options, inflated, text, error))
        return unlessChanged(tree, FileResult::failed(path, bytePlace(0), error), opened.file,
                             path);
    return unlessChanged(tree, readLineages(tree, {{path, text}}, path), opened.file, path);
}

FileResult importTreeText(ClassificationTree& tree, const InputFile& input) {
    const std::string& path = input.path;
    FileData loaded;
    const FileData& file = input.opened ? input.opened->file : loaded;
    const std::string error = input.opened ? input.opened->loadError : loaded.load(path);
    if (!error.empty()) return FileResult::failed(path, bytePlace(0), error);
    const std::string_view text(file.data(), file.size());
    return unlessChanged(tree,
                         input.kind == InputKind::Nexus ? readNexus(tree, text, path)
                                                        : readNewick(tree, text, path),
                         file, path);
}

}  // namespace imp

std::string gtdbOtherDomain(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path chosen(path);
    const std::string own = chosen.filename().string();
    if (imp::gtdbTaxonomyFiles({own}).empty() || !fs::is_regular_file(chosen, ec)) return {};
    // Both domains of one release, and nothing else the folder would be read for.
    const fs::path folder = chosen.parent_path().empty() ? fs::path(".") : chosen.parent_path();
    const InputFile whole = openInput(folder.string(), ImportOptions());
    if (whole.kind != InputKind::Lineages || !whole.opened) return {};
    const std::vector<std::string> files = imp::gtdbTaxonomyFiles(whole.opened->package.names());
    if (files.size() != 2 || (files[0] != own && files[1] != own)) return {};
    const std::string& other = files[0] == own ? files[1] : files[0];
    // Its domain's stem, and the rest of the name less any ".gz": the release
    // ("bac120_taxonomy_r220.tsv" and "ar53_taxonomy_r220.tsv.gz" go together).
    auto domainAndRelease = [](std::string name) {
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
        if (name.ends_with(".gz")) name.resize(name.size() - 3);
        const size_t stem = name.find("_taxonomy");
        return std::pair{name.substr(0, stem), name.substr(stem)};
    };
    const auto [ownDomain, ownRelease] = domainAndRelease(own);
    const auto [otherDomain, otherRelease] = domainAndRelease(other);
    if ((ownDomain == "bac120") == (otherDomain == "bac120") || ownRelease != otherRelease)
        return {};
    return (folder / other).string();
}
