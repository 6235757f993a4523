// How a taxdump or an Open Tree taxonomy is found and taken in: by its folder, by one of its
// files, in a zip, or in a tar archive as both projects publish them (taxdump.tar.gz,
// ott3.7.tgz). A tar has no listing to read apart from its bytes: the files wanted are read
// out of it while it is looked into, once.
#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "Facts.h"
#include "ImportFailure.h"
#include "Taxonomies.h"

namespace imp {

bool isTaxdumpFile(const std::string& name) {
    const std::string b = baseName(name);
    return equalsIgnoreCase(b, "nodes.dmp") || equalsIgnoreCase(b, "names.dmp");
}

bool isOpenTreeTaxonomy(const std::string& name) {
    return equalsIgnoreCase(baseName(name), "taxonomy.tsv");
}

bool isTaxonomyEntry(const std::string& name) {
    const std::string b = baseName(name);
    return isTaxdumpFile(b) || equalsIgnoreCase(b, "merged.dmp") ||
           equalsIgnoreCase(b, "delnodes.dmp") || isOpenTreeTaxonomy(b) ||
           equalsIgnoreCase(b, "synonyms.tsv");
}

InputKind taxonomyKind(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (equalsIgnoreCase(baseName(n), "nodes.dmp")) return InputKind::Taxdump;
    for (const std::string& n : names)
        if (isOpenTreeTaxonomy(n)) return InputKind::OpenTreeTaxonomy;
    return InputKind::Unknown;
}

bool isTarName(const std::string& path) {
    std::string b = baseName(path);
    for (char& c : b) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return b.ends_with(".tar.gz") || b.ends_with(".tgz") || b.ends_with(".tar");
}

bool readTar(const char* data, size_t size, bool (*want)(const std::string& name), uint64_t limit,
             std::vector<std::pair<std::string, std::string>>& files, std::string& error) {
    struct Closer {
        void operator()(archive* a) const { archive_read_free(a); }
    };
    std::unique_ptr<archive, Closer> a(archive_read_new());
    if (!a) {
        error = "out of memory";
        return false;
    }
    archive_read_support_format_tar(a.get());
    archive_read_support_format_gnutar(a.get());
    archive_read_support_filter_gzip(a.get());
    archive_read_support_filter_none(a.get());
    auto why = [&](const char* what) {
        const char* s = archive_error_string(a.get());
        error = std::string(what) + (s ? s : "unreadable");
        return false;
    };
    if (archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK)
        return why("not a readable tar archive: ");
    archive_entry* entry;
    int r;
    uint64_t total = 0;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        if (archive_entry_filetype(entry) != AE_IFREG || !name || !want(name)) {
            archive_read_data_skip(a.get());
            continue;
        }
        std::pair<std::string, std::string> file{name, {}};
        char block[1 << 16];
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), block, sizeof block);
            if (n == 0) break;
            if (n < 0) return why(("entry " + file.first + ": ").c_str());
            total += static_cast<uint64_t>(n);
            if (total > limit) {
                error = "entry " + file.first + ": the archive unpacks to more than " +
                        std::to_string(limit) + " bytes (refused as an archive bomb)";
                return false;
            }
            file.second.append(block, static_cast<size_t>(n));
        }
        files.push_back(std::move(file));
    }
    if (r != ARCHIVE_EOF) return why("damaged tar archive: ");
    return true;
}

namespace {

bool importTaxonomyPackage(ClassificationTree& tree, InputKind kind, Package& package,
                           const std::string& label, const ImportOptions& options) {
    if (kind == InputKind::OpenTreeTaxonomy) return importOpenTree(tree, package, label, options);
    return importTaxdump(tree, package, label, options);
}

}  // namespace

FileResult importTaxonomy(ClassificationTree& tree, const InputFile& input,
                          const ImportOptions& options) {
    const std::string& path = input.path;
    if (!input.opened) return FileResult::failed(path, {}, "cannot be read");
    OpenedInput& opened = *input.opened;
    if (opened.what != OpenedInput::Folder && !opened.loadError.empty())
        return FileResult::failed(path, bytePlace(0), opened.loadError);
    if (!opened.listError.empty()) return FileResult::failed(path, {}, opened.listError);
    FailureCatch failure;
    FactsScope facts(tree, options);
    FileReading reading(opened.file);
    bool ok = importTaxonomyPackage(tree, input.kind, opened.package, path, options);
    ok = reading.finish(tree, ok, path);
    return failure.result(facts.finish(ok), path);
}

FileResult importTaxonomyFiles(ClassificationTree& tree,
                               std::vector<std::pair<std::string, std::string>> files,
                               const std::string& label, const ImportOptions& options) {
    Package package;
    package.openFiles(std::move(files));
    FailureCatch failure;
    FactsScope facts(tree, options);
    const InputKind kind = taxonomyKind(package.names());
    bool ok = false;
    if (kind == InputKind::Unknown)
        importFailure(label, {}, "neither nodes.dmp nor taxonomy.tsv among the files");
    else
        ok = importTaxonomyPackage(tree, kind, package, label, options);
    return failure.result(facts.finish(ok), label);
}

}  // namespace imp

bool offersSubtrees(const std::string& path) {
    using namespace imp;
    if (isTaxonomyEntry(path) || isTarName(path)) return true;
    std::string b = baseName(path);
    for (char& c : b) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return std::filesystem::exists(std::filesystem::path(path) / "nodes.dmp", ec) ||
               std::filesystem::exists(std::filesystem::path(path) / "taxonomy.tsv", ec);
    return b.ends_with(".zip") && b.find("taxdump") != std::string::npos;
}
