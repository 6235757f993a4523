// What a file holds, by its name first and its first bytes after, and the entry points that
// send each kind to its reader.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "ClassificationReader.h"
#include "Console.h"
#include "Facts.h"
#include "ImportInternal.h"

namespace imp {

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

bool isUsageName(const std::string& name) {
    std::string b = baseName(name);
    return equalsIgnoreCase(b, "NameUsage.tsv") || equalsIgnoreCase(b, "NameUsage.txt") ||
           equalsIgnoreCase(b, "NameUsage.csv");
}

bool isDwcCoreName(const std::string& name) {
    std::string b = baseName(name);
    return equalsIgnoreCase(b, "meta.xml") || equalsIgnoreCase(b, "taxon.txt") ||
           equalsIgnoreCase(b, "taxon.tsv") || equalsIgnoreCase(b, "taxon.csv");
}

InputKind zipKind(const std::string& path) {
    FileData file;
    std::vector<std::string> names;
    std::string error;
    // A damaged archive goes to the archive reader, which says what is wrong with it.
    if (!file.load(path).empty() || !listZip(file.data(), file.size(), names, error))
        return InputKind::DarwinCoreArchive;
    return packageKind(names);
}

// A table whose header has a taxonID column is a Darwin Core taxon file.
InputKind tableKind(const std::string& path) {
    std::string head = firstBytes(path, 1 << 16);
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

}  // namespace

InputKind packageKind(const std::vector<std::string>& names) {
    if (std::any_of(names.begin(), names.end(), isUsageName)) return InputKind::ColDP;
    if (std::any_of(names.begin(), names.end(), isDwcCoreName))
        return InputKind::DarwinCoreArchive;
    return InputKind::Unknown;
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
        importDiagnostic("%s: %s", label.c_str(), error.c_str());
        return false;
    }
    return importPackage(tree, package, label);
}

bool importPackage(ClassificationTree& tree, Package& package, const std::string& label) {
    switch (packageKind(package.names())) {
    case InputKind::ColDP: return importColDP(tree, package, label);
    case InputKind::DarwinCoreArchive: return importDarwinCore(tree, package, label);
    default: break;
    }
    importDiagnostic("%s: byte 0: neither a table, a Darwin Core Archive nor a ColDP package",
                     label.c_str());
    return false;
}

bool importZipFile(ClassificationTree& tree, const std::string& path, const ImportOptions& options) {
    FileData file;
    std::string error = file.load(path);
    if (!error.empty()) {
        importDiagnostic("%s: byte 0: %s", path.c_str(), error.c_str());
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

InputKind detectInputKind(const std::string& path) {
    if (isFolder(path)) {
        Package p;
        std::string error;
        return p.openFolder(path, error) ? packageKind(p.names()) : InputKind::Unknown;
    }
    std::string ext = lowerExtension(path);
    if (ext == ".jm2") return InputKind::TreeFile;
    if (ext == ".xml") {
        return equalsIgnoreCase(baseName(path), "meta.xml") ? InputKind::DarwinCoreArchive
                                                            : InputKind::Classification;
    }
    if (ext == ".zip") return zipKind(path);
    if (ext == ".csv" || ext == ".tsv" || ext == ".txt")
        return isUsageName(path) ? InputKind::ColDP : tableKind(path);
    std::string head = firstBytes(path, 512);
    if (looksLikeZip(path)) return zipKind(path);
    size_t start = head.find_first_not_of(" \t\r\n");
    if (start != std::string::npos) {
        for (const char* tag : {"<branch>", "<leaf>", "<!--", "<?xml"})
            if (head.compare(start, std::strlen(tag), tag) == 0) return InputKind::Classification;
    }
    if (looksLikeTreeFile(head)) return InputKind::TreeFile;
    return InputKind::Unknown;
}

const char* inputKindName(InputKind kind) {
    switch (kind) {
    case InputKind::Classification: return "classification file";
    case InputKind::TreeFile: return "tree file";
    case InputKind::Table: return "table";
    case InputKind::DarwinCoreArchive: return "Darwin Core Archive";
    case InputKind::ColDP: return "Catalogue of Life Data Package";
    case InputKind::Unknown: break;
    }
    return "unknown";
}

namespace {

bool importByKind(ClassificationTree& tree, const std::string& path, const ImportOptions& options) {
    switch (detectInputKind(path)) {
    case InputKind::Table: {
        FileData file;
        std::string error = file.load(path);
        if (!error.empty()) {
            importDiagnostic("%s: byte 0: %s", path.c_str(), error.c_str());
            return false;
        }
        return importTableFile(tree, file, path, options);
    }
    case InputKind::DarwinCoreArchive: return importDarwinCore(tree, path, options);
    case InputKind::ColDP: return importColDP(tree, path, options);
    case InputKind::Classification:
    case InputKind::TreeFile:
        importDiagnostic("%s: byte 0: a %s, not a table, archive or package", path.c_str(),
                         inputKindName(detectInputKind(path)));
        return false;
    case InputKind::Unknown: break;
    }
    importDiagnostic("%s: byte 0: neither a table, a Darwin Core Archive nor a ColDP package",
                     path.c_str());
    return false;
}

}  // namespace

bool importClassification(ClassificationTree& tree, const std::string& path,
                          const ImportOptions& options) {
    FactsScope facts(tree, options);
    return facts.finish(importByKind(tree, path, options));
}

bool importZipFromMemory(ClassificationTree& tree, const char* data, size_t size,
                         const std::string& label, const ImportOptions& options) {
    FactsScope facts(tree, options);
    return facts.finish(importZip(tree, data, size, label, options));
}

bool readAnyClassification(ClassificationTree& tree, const std::string& path,
                           const ImportOptions& options) {
    if (detectInputKind(path) == InputKind::Classification)
        return readClassification(tree, path.c_str()) != 0;
    return importClassification(tree, path, options);
}
