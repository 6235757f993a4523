// Catalogue of Life Data Packages: name usages linked by ID and parentID, common names from
// VernacularName, in a zip or a folder.
#include "Console.h"
#include "Importers.h"
#include "ImportFailure.h"

namespace imp {

namespace {

bool isUsageFile(const std::string& name) {
    std::string b = baseName(name);
    return equalsIgnoreCase(b, "NameUsage.tsv") || equalsIgnoreCase(b, "NameUsage.txt") ||
           equalsIgnoreCase(b, "NameUsage.csv");
}

// The least deep file of one of the base names, in order of preference.
std::string findFile(const Package& p, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        std::string found = p.find(n);
        if (!found.empty()) return found;
    }
    return {};
}

size_t column(const std::vector<std::string>& header, const char* key) {
    for (size_t i = 0; i < header.size(); ++i)
        if (headerKey(header[i]) == key) return i;
    return SIZE_MAX;
}

}  // namespace

bool importColDP(ClassificationTree& tree, const std::string& path, const ImportOptions& options) {
    if (!isFolder(path) && looksLikeZip(path)) return importZipFile(tree, path, options);
    std::string where = path;
    if (!isFolder(path) && isUsageFile(path)) {
        // The usage file itself: its folder is the package.
        size_t slash = path.find_last_of('/');
        where = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    }
    std::string error;
    Package package;
    if (!package.openFolder(where, error)) {
        importFailure(path, {}, error);
        return false;
    }
    return importColDP(tree, package, path);
}

bool importColDP(ClassificationTree& tree, Package& package, const std::string& label) {
    std::string error;
    auto fail = [&](const std::string& what) {
        importFailure(label, {}, what);
        return false;
    };
    std::string usage = findFile(package, {"NameUsage.tsv", "NameUsage.txt", "NameUsage.csv"});
    if (usage.empty()) return fail("no NameUsage.tsv in the package");
    std::string vernacular =
        findFile(package, {"VernacularName.tsv", "VernacularName.txt", "VernacularName.csv"});
    std::vector<std::string> wanted{usage};
    if (!vernacular.empty()) wanted.push_back(vernacular);
    if (!package.load(wanted, error)) return fail(error);

    auto reader = [&](const std::string& name) {
        const std::string& d = package.data(name);
        const char* data = d.data();
        size_t size = d.size();
        skipBom(data, size);
        // Tab-separated files of a package are not quoted; the CSV form is.
        Dialect dialect{'\t', 0};
        if (equalsIgnoreCase(name.substr(name.size() >= 4 ? name.size() - 4 : 0), ".csv"))
            dialect = Dialect{',', '"'};
        return std::make_unique<DelimitedReader>(data, size, dialect, label + ": " + name);
    };
    LinkedTaxa taxa;
    std::vector<std::string> header;
    auto usages = reader(usage);
    if (!usages->header(header)) return false;
    TaxonColumns c;
    c.id = column(header, "id");
    c.parent = column(header, "parentid");
    c.status = column(header, "status");
    c.rank = column(header, "rank");
    c.scientific = column(header, "scientificname");
    c.authorship = column(header, "authorship");
    c.genus = column(header, "genericname");
    c.specific = column(header, "specificepithet");
    c.infraspecific = column(header, "infraspecificepithet");
    c.uninomial = column(header, "uninomial");
    if (c.id == SIZE_MAX || !c.named()) {
        usages->fail(1, "no ID or scientificName column in the header");
        return false;
    }
    if (!readTaxa(*usages, c, taxa)) return false;
    if (!vernacular.empty()) {
        auto names = reader(vernacular);
        if (!names->header(header)) return false;
        if (!readVernacular(*names, column(header, "taxonid"), column(header, "name"),
                            column(header, "language"), taxa))
            return false;
    }
    return taxa.build(tree, label, package.size());
}

}  // namespace imp
