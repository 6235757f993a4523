// What a file holds, by its name first and its first bytes after, and the entry points that
// send each kind to its reader.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "BioFiles.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "Facts.h"
#include "Gzip.h"
#include "Importers.h"
#include "ImportFailure.h"
#include "Taxonomies.h"
#include "Lineages.h"
#include "Newick.h"
#include "TreeFile.h"

namespace imp {

bool isPackageFile(const std::string& path, std::string_view stem) {
    const std::string b = baseName(path);
    const size_t dot = b.find_last_of('.');
    if (dot == std::string::npos) return false;
    const std::string_view ext = std::string_view(b).substr(dot);
    if (!equalsIgnoreCase(ext, ".tsv") && !equalsIgnoreCase(ext, ".txt") &&
        !equalsIgnoreCase(ext, ".csv"))
        return false;
    std::string plain;
    for (char c : std::string_view(b).substr(0, dot))
        if (c != '-' && c != '_') plain.push_back(c);
    return equalsIgnoreCase(plain, stem);
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

namespace {

std::string firstBytes(const std::string& path, size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string s(count, '\0');
    in.read(s.data(), static_cast<std::streamsize>(count));
    s.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return s;
}

std::string lowerExtension(const std::string& path) {
    std::string base = baseName(path);
    size_t dot = base.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string e = base.substr(dot);
    for (char& c : e) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return e;
}

bool isUsageName(const std::string& name) { return isPackageFile(name, "NameUsage"); }

// ColDP's names and taxa in files of their own: Name and Taxon, and no meta.xml (which would
// make the Taxon file a Darwin Core core).
bool isColDPNormalForm(const std::vector<std::string>& names) {
    auto any = [&](const char* stem) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& n) { return isPackageFile(n, stem); });
    };
    return any("Name") && any("Taxon") &&
           std::none_of(names.begin(), names.end(),
                        [](const std::string& n) { return equalsIgnoreCase(baseName(n), "meta.xml"); });
}

bool isDwcCoreName(const std::string& name) {
    std::string b = baseName(name);
    return equalsIgnoreCase(b, "meta.xml") || equalsIgnoreCase(b, "taxon.txt") ||
           equalsIgnoreCase(b, "taxon.tsv") || equalsIgnoreCase(b, "taxon.csv");
}

// The zip at `path`, loaded and listed once: its kind is what its files make it, and its
// reading goes on from the listing.
InputKind openZipInput(const std::string& path, const ImportOptions& options, OpenedInput& opened) {
    opened.what = OpenedInput::Zip;
    opened.loadError = opened.file.load(path);
    // A damaged archive goes to the archive reader, which says what is wrong with it.
    if (!opened.loadError.empty() ||
        !opened.package.openZip(opened.file.data(), opened.file.size(), options, opened.listError))
        return InputKind::DarwinCoreArchive;
    return packageKind(opened.package.names());
}

// The folder of the file at `path` (meta.xml, NameUsage.tsv), listed as the package the file
// stands for.
void openFolderOf(const std::string& path, OpenedInput& opened) {
    opened.what = OpenedInput::Folder;
    const size_t slash = path.find_last_of('/');
    const std::string where = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    opened.package.openFolder(where, opened.listError);
}

// A table whose header has a taxonID column is a Darwin Core taxon file.
InputKind tableKind(const char* data, size_t size) {
    std::string head(data, std::min<size_t>(size, 1 << 16));
    size_t end = head.find('\n');
    head = head.substr(0, end);
    char delimiter = head.find('\t') != std::string::npos ? '\t' : ',';
    size_t from = 0;
    while (from <= head.size()) {
        size_t to = head.find(delimiter, from);
        if (to == std::string::npos) to = head.size();
        std::string field = head.substr(from, to - from);
        std::erase(field, '"');
        if (headerKey(field) == "taxonid") return InputKind::DarwinCoreArchive;
        from = to + 1;
    }
    return InputKind::Table;
}

// The binary tree file has no signature: its header's three counts must make sense.
bool looksLikeTreeFile(const std::string& head) {
    if (head.size() < 12) return false;
    int32_t v[3];
    std::memcpy(v, head.data(), sizeof v);
    return v[0] > 0 && v[1] >= 0 && v[1] <= v[0] && v[2] >= -999 && v[2] <= v[0];
}

// Open Tree's taxonomy.tsv separates its fields by tab, bar and tab from its header on;
// other tools name their tables taxonomy.tsv too (QIIME's lineages, for one).
bool hasDumpSeparators(const std::string& path) {
    const std::string head = firstBytes(path, 4096);
    return head.substr(0, head.find('\n')).find("\t|\t") != std::string::npos;
}

// A taxdump or Open Tree taxonomy by one of its files (its folder is what is read) or as a tar
// archive, read out while it is looked into; Unknown for anything else.
InputKind openTaxonomyInput(const std::string& path, const std::string& ext,
                            const ImportOptions& options, OpenedInput& opened) {
    if ((ext == ".dmp" && isTaxonomyEntry(path)) ||
        (isOpenTreeTaxonomy(path) && hasDumpSeparators(path))) {
        openFolderOf(path, opened);
        const InputKind k = taxonomyKind(opened.package.names());
        // A file beside which the listing failed is still the kind its name says.
        if (!opened.listError.empty()) return isOpenTreeTaxonomy(path) ? InputKind::OpenTreeTaxonomy
                                                                       : InputKind::Taxdump;
        return k;
    }
    if (!isTarName(path)) return InputKind::Unknown;
    opened.what = OpenedInput::Zip;
    opened.loadError = opened.file.load(path);
    std::vector<std::pair<std::string, std::string>> files;
    if (opened.loadError.empty() &&
        !readTar(opened.file.data(), opened.file.size(), isTaxonomyEntry,
                 zipLimit(options, opened.file.size()), files, opened.listError))
        return InputKind::Taxdump;  // its reading says what is wrong with it
    opened.package.openFiles(std::move(files));
    const InputKind k = taxonomyKind(opened.package.names());
    if (k == InputKind::Unknown && opened.loadError.empty())
        opened.listError = "a tar archive with neither nodes.dmp nor taxonomy.tsv in it";
    return opened.loadError.empty() && k != InputKind::Unknown ? k : InputKind::Taxdump;
}

}  // namespace

InputKind packageKind(const std::vector<std::string>& names) {
    if (std::any_of(names.begin(), names.end(), isUsageName)) return InputKind::ColDP;
    if (isColDPNormalForm(names)) return InputKind::ColDP;
    if (std::any_of(names.begin(), names.end(), isDwcCoreName))
        return InputKind::DarwinCoreArchive;
    return taxonomyKind(names);
}

bool looksLikeZip(const char* data, size_t size) {
    return size >= 4 && (std::memcmp(data, "PK\3\4", 4) == 0 || std::memcmp(data, "PK\5\6", 4) == 0);
}

bool looksLikeZip(const std::string& path) {
    std::string head = firstBytes(path, 4);
    return looksLikeZip(head.data(), head.size());
}

bool importZip(ClassificationTree& tree, const char* data, size_t size, const std::string& label,
               const ImportOptions& options) {
    Package package;
    std::string error;
    if (!package.openZip(data, size, options, error)) {
        importFailure(label, {}, error);
        return false;
    }
    return importPackage(tree, package, label);
}

bool importPackage(ClassificationTree& tree, Package& package, const std::string& label) {
    switch (packageKind(package.names())) {
    case InputKind::ColDP: return importColDP(tree, package, label);
    case InputKind::DarwinCoreArchive: return importDarwinCore(tree, package, label);
    case InputKind::Taxdump: return importTaxdump(tree, package, label, {});
    case InputKind::OpenTreeTaxonomy: return importOpenTree(tree, package, label, {});
    default: break;
    }
    importFailure(label, bytePlace(0), "neither a table, a Darwin Core Archive nor a ColDP package");
    return false;
}

bool importZipFile(ClassificationTree& tree, const std::string& path, const ImportOptions& options) {
    FileData file;
    std::string error = file.load(path);
    if (!error.empty()) {
        importFailure(path, bytePlace(0), error);
        return false;
    }
    return importZipFile(tree, file, path, options);
}

bool importZipFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                   const ImportOptions& options) {
    FileReading reading(file);
    bool ok = importZip(tree, file.data(), file.size(), path, options);
    return reading.finish(tree, ok, path);
}

bool importTableFile(ClassificationTree& tree, const FileData& file, const std::string& path,
                     const ImportOptions& options) {
    FileReading reading(file);
    bool ok = importTable(tree, file.data(), file.size(), path, options,
                          static_cast<int64_t>(file.size()));
    return reading.finish(tree, ok, path);
}

}  // namespace imp

using namespace imp;

InputFile openInput(const std::string& path, const ImportOptions& options) {
    InputFile input;
    input.path = path;
    auto opened = std::make_shared<OpenedInput>();
    auto kind = [&]() -> InputKind {
        if (isFolder(path)) {
            opened->what = OpenedInput::Folder;
            std::string error;
            if (!opened->package.openFolder(path, error)) return InputKind::Unknown;
            input.opened = opened;
            const InputKind package = packageKind(opened->package.names());
            // GTDB's bacteria and archaea files side by side: one classification.
            if (package == InputKind::Unknown &&
                !gtdbTaxonomyFiles(opened->package.names()).empty())
                return InputKind::Lineages;
            return package;
        }
        std::string ext = lowerExtension(path);
        if (ext == ".jm2") return InputKind::TreeFile;
        if (InputKind k = openTaxonomyInput(path, ext, options, *opened); k != InputKind::Unknown) {
            input.opened = opened;
            return k;
        }
        if (ext == ".xml") {
            if (!equalsIgnoreCase(baseName(path), "meta.xml")) return InputKind::Classification;
            // meta.xml stands for the folder that holds it.
            input.opened = opened;
            openFolderOf(path, *opened);
            return InputKind::DarwinCoreArchive;
        }
        if (ext == ".zip") {
            input.opened = opened;
            return openZipInput(path, options, *opened);
        }
        if (isTreeTextExtension(ext)) {
            // Newick or NEXUS by the content, never the binary tree file.
            input.opened = opened;
            opened->loadError = opened->file.load(path);
            return looksLikeNexus(opened->file.data(), opened->file.size()) ? InputKind::Nexus
                                                                            : InputKind::Newick;
        }
        if (ext == ".gz") {
            // A compressed lineage table, as GTDB publishes its taxonomy files.
            input.opened = opened;
            opened->loadError = opened->file.load(path);
            std::string head, error;
            return looksLikeGzip(opened->file.data(), opened->file.size()) &&
                           gunzip(opened->file.data(), opened->file.size(), 1 << 16, head, error,
                                  true) &&
                           looksLikeLineages(head.data(), head.size())
                       ? InputKind::Lineages
                       : InputKind::Unknown;
        }
        if (ext == ".csv" || ext == ".tsv" || ext == ".txt") {
            // A usage file stands for the folder that holds it.
            if (isUsageName(path)) {
                input.opened = opened;
                openFolderOf(path, *opened);
                return InputKind::ColDP;
            }
            // The bytes told from are the bytes read: the file is taken in once.
            input.opened = opened;
            opened->loadError = opened->file.load(path);
            if (looksLikeLineages(opened->file.data(), opened->file.size()))
                return InputKind::Lineages;
            return tableKind(opened->file.data(), opened->file.size());
        }
        std::string head = firstBytes(path, 512);
        if (looksLikeZip(head.data(), head.size())) {
            input.opened = opened;
            return openZipInput(path, options, *opened);
        }
        size_t start = head.find_first_not_of(" \t\r\n");
        if (start != std::string::npos) {
            for (const char* tag : {"<branch>", "<leaf>", "<!--", "<?xml"})
                if (head.compare(start, std::strlen(tag), tag) == 0)
                    return InputKind::Classification;
        }
        if (looksLikeNexus(head.data(), head.size())) return InputKind::Nexus;
        if (looksLikeNewick(head.data(), head.size())) return InputKind::Newick;
        if (looksLikeTreeFile(head)) return InputKind::TreeFile;
        return InputKind::Unknown;
    };
    input.kind = kind();
    return input;
}

InputKind detectInputKind(const std::string& path) { return openInput(path).kind; }

const char* inputKindName(InputKind kind) {
    switch (kind) {
    case InputKind::Classification: return "classification file";
    case InputKind::TreeFile: return "tree file";
    case InputKind::Table: return "table";
    case InputKind::DarwinCoreArchive: return "Darwin Core Archive";
    case InputKind::ColDP: return "Catalogue of Life Data Package";
    case InputKind::Taxdump: return "NCBI taxdump";
    case InputKind::OpenTreeTaxonomy: return "Open Tree taxonomy";
    case InputKind::Lineages: return "lineage table";
    case InputKind::Newick: return "Newick tree";
    case InputKind::Nexus: return "NEXUS file";
    case InputKind::Unknown: break;
    }
    return "unknown";
}

namespace {

// An archive or package whose files the finding of its kind listed already.
bool importOpened(ClassificationTree& tree, const InputFile& input) {
    OpenedInput& opened = *input.opened;
    const std::string& path = input.path;
    auto importPackage = [&] {
        return input.kind == InputKind::ColDP ? importColDP(tree, opened.package, path)
                                              : importDarwinCore(tree, opened.package, path);
    };
    if (opened.what == OpenedInput::Folder) {
        if (opened.listError.empty()) return importPackage();
        importFailure(path, {}, opened.listError);
        return false;
    }
    if (!opened.loadError.empty()) {
        importFailure(path, bytePlace(0), opened.loadError);
        return false;
    }
    if (opened.what == OpenedInput::File) return importTaxonFile(tree, opened.file, path);
    FileReading reading(opened.file);
    bool ok = opened.listError.empty();
    if (!ok) importFailure(path, {}, opened.listError);
    else ok = importPackage();
    return reading.finish(tree, ok, path);
}

}  // namespace

FileResult importInput(ClassificationTree& tree, const InputFile& input,
                       const ImportOptions& options) {
    const std::string& path = input.path;
    FailureCatch failure;
    FactsScope facts(tree, options);
    bool ok = false;
    switch (input.kind) {
    case InputKind::Table: {
        FileData loaded;
        const FileData& file = input.opened ? input.opened->file : loaded;
        std::string error = input.opened ? input.opened->loadError : loaded.load(path);
        if (!error.empty()) return FileResult::failed(path, bytePlace(0), error);
        ok = importTableFile(tree, file, path, options);
        break;
    }
    case InputKind::DarwinCoreArchive:
    case InputKind::ColDP:
        if (input.opened) ok = importOpened(tree, input);
        else if (input.kind == InputKind::ColDP) ok = importColDP(tree, path, options);
        else ok = importDarwinCore(tree, path, options);
        break;
    case InputKind::Taxdump:
    case InputKind::OpenTreeTaxonomy:
        return importTaxonomy(tree, input, options);
    case InputKind::Lineages:
    case InputKind::Newick:
    case InputKind::Nexus: {
        // These readers hand back their outcome as a value.
        FileResult read = input.kind == InputKind::Lineages
                              ? importLineageInput(tree, input, options)
                              : importTreeText(tree, input);
        if (!read) return read;
        ok = true;
        break;
    }
    case InputKind::Classification:
    case InputKind::TreeFile:
        return FileResult::failed(path, bytePlace(0),
                                  std::string("a ") + inputKindName(input.kind) +
                                      ", not a table, archive or package");
    case InputKind::Unknown:
        return FileResult::failed(path, bytePlace(0),
                                  "neither a table, a Darwin Core Archive nor a ColDP package");
    }
    return failure.result(facts.finish(ok), path);
}

bool importClassification(ClassificationTree& tree, const std::string& path,
                          const ImportOptions& options) {
    return reportFailure(importInput(tree, openInput(path, options), options));
}

bool importZipFromMemory(ClassificationTree& tree, const char* data, size_t size,
                         const std::string& label, const ImportOptions& options) {
    FailureCatch failure;
    FactsScope facts(tree, options);
    const bool ok = facts.finish(importZip(tree, data, size, label, options));
    return reportFailure(failure.result(ok, label));
}

FileResult loadAnyClassification(ClassificationTree& tree, const InputFile& input,
                                 const ImportOptions& options) {
    if (input.kind == InputKind::Classification) return loadClassification(tree, input.path.c_str());
    if (input.kind == InputKind::TreeFile) return loadTreeFile(tree, input.path.c_str());
    return importInput(tree, input, options);
}

bool readAnyClassification(ClassificationTree& tree, const std::string& path,
                           const ImportOptions& options) {
    const InputFile input = openInput(path, options);
    // A tree file is not read here: importInput says what it is.
    return reportFailure(input.kind == InputKind::Classification
                             ? loadClassification(tree, path.c_str())
                             : importInput(tree, input, options));
}
