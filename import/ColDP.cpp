// Catalogue of Life Data Packages: name usages linked by ID and parentID, common names from
// VernacularName, in a zip or a folder.
#include <algorithm>

#include "Console.h"
#include "Importers.h"
#include "ImportFailure.h"

namespace imp {

namespace {

bool isUsageFile(const std::string& name) { return isPackageFile(name, "NameUsage"); }

// The least deep file of the first of these entities the package has.
std::string findFile(const Package& p, std::initializer_list<const char*> stems) {
    for (const char* stem : stems) {
        std::string best;
        size_t bestDepth = SIZE_MAX;
        for (const std::string& n : p.names()) {
            if (!isPackageFile(n, stem)) continue;
            const size_t depth = static_cast<size_t>(std::count(n.begin(), n.end(), '/'));
            if (depth < bestDepth) {
                best = n;
                bestDepth = depth;
            }
        }
        if (!best.empty()) return best;
    }
    return {};
}

size_t column(const std::vector<std::string>& header, const char* key) {
    for (size_t i = 0; i < header.size(); ++i)
        if (headerKey(header[i]) == key) return i;
    return SIZE_MAX;
}

// The columns of a name: of a NameUsage or a Name file.
TaxonColumns nameColumns(const std::vector<std::string>& header) {
    TaxonColumns c;
    c.id = column(header, "id");
    c.rank = column(header, "rank");
    c.scientific = column(header, "scientificname");
    c.authorship = column(header, "authorship");
    c.genus = column(header, "genericname");
    // In a Name file the genus of the name is "genus"; in a NameUsage file that is the
    // classification's.
    if (c.genus == SIZE_MAX && column(header, "nameid") == SIZE_MAX &&
        column(header, "parentid") == SIZE_MAX)
        c.genus = column(header, "genus");
    c.specific = column(header, "specificepithet");
    c.infraspecific = column(header, "infraspecificepithet");
    c.uninomial = column(header, "uninomial");
    return c;
}

// A Taxon file without parentID classifies its taxa by the columns of the higher ranks.
void classificationColumns(const std::vector<std::string>& header, TaxonColumns& c) {
    const int species = rankOf("Species").order;
    for (size_t i = 0; i < header.size(); ++i) {
        RankInfo rank;
        if (rankColumn(headerKey(header[i]), rank) && rank.order < species)
            c.classification.emplace_back(rank, i);
    }
    std::stable_sort(c.classification.begin(), c.classification.end(),
                     [](const auto& a, const auto& b) { return a.first.order < b.first.order; });
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

namespace {

bool readColDP(ClassificationTree& tree, Package& package, const std::string& label) {
    std::string error;
    auto fail = [&](const std::string& what) {
        importFailure(label, {}, what);
        return false;
    };
    std::string usage = findFile(package, {"NameUsage"});
    // The normal form: names in Name, taxa in Taxon pointing at them, synonyms in Synonym.
    std::string nameFile, taxonFile, synonymFile;
    if (usage.empty()) {
        nameFile = findFile(package, {"Name"});
        taxonFile = findFile(package, {"Taxon"});
        synonymFile = findFile(package, {"Synonym"});
        if (nameFile.empty() || taxonFile.empty())
            return fail("no NameUsage.tsv, nor Name.tsv and Taxon.tsv, in the package");
    }
    // Older packages call the file of common names Vernacular.
    std::string vernacular = findFile(package, {"VernacularName", "Vernacular"});
    std::vector<std::string> wanted;
    for (const std::string* f : {&usage, &nameFile, &taxonFile, &synonymFile, &vernacular})
        if (!f->empty()) wanted.push_back(*f);
    if (!package.load(wanted, error)) return fail(error);

    struct Source {
        const char* data;
        size_t size;
        Dialect dialect;
    };
    auto source = [&](const std::string& name) {
        const std::string_view d = package.data(name);
        Source f{d.data(), d.size(), Dialect{'\t', 0}};
        skipBom(f.data, f.size);
        // Tab-separated files of a package are not quoted; the CSV form is.
        if (equalsIgnoreCase(name.substr(name.size() >= 4 ? name.size() - 4 : 0), ".csv"))
            f.dialect = Dialect{',', '"'};
        return f;
    };
    LinkedTaxa taxa;
    auto reader = [&](const std::string& name) {
        Source f = source(name);
        const Dialect dialect =
            readableDialect(f.data, f.size, f.dialect, taxa.notes().quotesAsText);
        return std::make_unique<DelimitedReader>(f.data, f.size, dialect, label + ": " + name);
    };
    // A parentID column left blank in every row links nothing: the columns of higher ranks,
    // if any, place the taxa instead.
    auto placeByRanks = [&](const std::string& name, const std::vector<std::string>& header,
                            TaxonColumns& c) {
        if (c.parent != SIZE_MAX) {
            TaxonColumns ranks;
            classificationColumns(header, ranks);
            Source f = source(name);
            bool quotesAsText = false;
            if (!ranks.classification.empty() &&
                blankThroughout(f.data, f.size,
                                readableDialect(f.data, f.size, f.dialect, quotesAsText), 1,
                                c.parent))
                c.parent = SIZE_MAX;
        }
        if (c.parent == SIZE_MAX) classificationColumns(header, c);
    };
    std::vector<std::string> header;
    NameTable nameTable;
    if (usage.empty()) {
        auto names = reader(nameFile);
        if (!names->header(header)) return false;
        TaxonColumns n = nameColumns(header);
        if (n.id == SIZE_MAX || !n.named()) {
            names->fail(1, "no ID or scientificName column in the header");
            return false;
        }
        auto taxonColumns = [&] {
            TaxonColumns c;
            c.id = column(header, "id");
            c.parent = column(header, "parentid");
            c.status = column(header, "status");
            c.nameId = column(header, "nameid");
            c.names = &nameTable;
            // Packages that give each taxon the identifier of its name leave nameID out.
            if (c.nameId == SIZE_MAX) c.nameId = c.id;
            c.headerFields = header.size();
            placeByRanks(taxonFile, header, c);
            return c;
        };
        // Large files are read at once when they can be. The Taxon file's failures, its
        // header's too, are kept and told after the Name file's, as in a reading in turn.
        auto taxonRows = reader(taxonFile);
        taxonRows->setQuiet();
        const bool taxonHeader = taxonRows->header(header);
        TaxonColumns c;
        if (taxonHeader) c = taxonColumns();
        Beside beside = Beside::NotTried;
        if (taxonHeader && c.id != SIZE_MAX)
            beside = readNamesBeside(*names, n, nameTable, *taxonRows, c, taxa);
        if (beside == Beside::Failed) return false;
        if (beside == Beside::NotTried && !readNames(*names, n, nameTable)) return false;
        if (beside == Beside::NamesOnly) {  // read again, from the top
            taxonRows = reader(taxonFile);
            taxonRows->setQuiet();
            taxonRows->header(header);
        }
        if (beside != Beside::Read) {
            if (taxonHeader && c.id == SIZE_MAX)
                taxonRows->fail(1, "no ID or nameID column in the header");
            if (!taxonHeader || c.id == SIZE_MAX || !readTaxa(*taxonRows, c, taxa)) {
                taxonRows->report(0);
                return false;
            }
        }
        // The names are in the taxa now: their memory goes before the tree is made.
        nameTable = NameTable();
        if (!synonymFile.empty()) {
            auto synonyms = reader(synonymFile);
            if (!synonyms->header(header)) return false;
            if (!readSynonyms(*synonyms, column(header, "id"), column(header, "taxonid"), taxa))
                return false;
        }
    } else {
        auto usages = reader(usage);
        if (!usages->header(header)) return false;
        TaxonColumns c = nameColumns(header);
        c.parent = column(header, "parentid");
        c.status = column(header, "status");
        c.headerFields = header.size();
        placeByRanks(usage, header, c);
        if (c.id == SIZE_MAX || !c.named()) {
            usages->fail(1, "no ID or scientificName column in the header");
            return false;
        }
        if (!readTaxa(*usages, c, taxa)) return false;
    }
    if (!vernacular.empty()) {
        auto names = reader(vernacular);
        if (!names->header(header)) return false;
        if (!readVernacular(*names, column(header, "taxonid"), column(header, "name"),
                            column(header, "language"), column(header, "preferred"), taxa))
            return false;
    }
    return taxa.build(tree, label, package.size());
}

}  // namespace

bool importColDP(ClassificationTree& tree, Package& package, const std::string& label) {
    PackageReading reading(package);
    const bool ok = readColDP(tree, package, label);
    return reading.finish(tree, ok, label);
}

}  // namespace imp
