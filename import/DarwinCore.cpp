// Darwin Core Archives: meta.xml names the core taxon file, its columns and the extensions;
// a taxon file on its own names its columns in its header.
#include <expat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "Console.h"
#include "Importers.h"
#include "ImportFailure.h"
#include "TermAliases.h"

namespace imp {

namespace {

// One file described by meta.xml: the core or an extension.
struct MetaFile {
    std::string rowType;
    // A core may be split over several files of one layout, read one after the other.
    std::vector<std::string> locations;
    Dialect dialect{'\t', 0};
    int ignoreHeaderLines = 0;
    bool headerLinesGiven = false;  // ignoreHeaderLines was written, even as 0
    size_t idIndex = SIZE_MAX;
    std::map<std::string, size_t> fields;  // term (headerKey form) -> column
    std::map<std::string, std::string> defaults;  // term -> value of empty or absent fields
};

struct Meta {
    MetaFile core;
    std::vector<MetaFile> extensions;
    bool haveCore = false;
    MetaFile* current = nullptr;
    bool inLocation = false;
    std::string text;
};

char unescape(const std::string& s, char fallback) {
    if (s == "\\t" || s == "\t") return '\t';
    if (s.empty()) return fallback;
    return s[0];
}

void XMLCALL onStart(void* data, const XML_Char* element, const XML_Char** attributes) {
    Meta& m = *static_cast<Meta*>(data);
    std::string e = headerKey(element);
    auto attribute = [&](const char* name) -> const char* {
        for (const XML_Char** a = attributes; *a; a += 2)
            if (equalsIgnoreCase(a[0], name)) return a[1];
        return nullptr;
    };
    if (e == "core" || e == "extension") {
        if (e == "core") {
            m.current = &m.core;
            m.haveCore = true;
        } else {
            m.extensions.emplace_back();
            m.current = &m.extensions.back();
        }
        MetaFile& f = *m.current;
        if (const char* v = attribute("rowType")) f.rowType = v;
        if (const char* v = attribute("fieldsTerminatedBy")) f.dialect.delimiter = unescape(v, '\t');
        if (const char* v = attribute("fieldsEnclosedBy")) f.dialect.quote = unescape(v, 0);
        if (const char* v = attribute("ignoreHeaderLines")) {
            f.ignoreHeaderLines = std::atoi(v);
            f.headerLinesGiven = true;
        }
        return;
    }
    if (!m.current) return;
    if (e == "location") {
        m.inLocation = true;
        m.text.clear();
    } else if (e == "id" || e == "coreid") {
        if (const char* v = attribute("index")) m.current->idIndex = std::strtoul(v, nullptr, 10);
    } else if (e == "field") {
        const char* index = attribute("index");
        const char* term = attribute("term");
        if (index && term) m.current->fields[headerKey(term)] = std::strtoul(index, nullptr, 10);
        const char* value = attribute("default");
        if (term && value && *value) m.current->defaults[headerKey(term)] = value;
    }
}

void XMLCALL onEnd(void* data, const XML_Char* element) {
    Meta& m = *static_cast<Meta*>(data);
    std::string e = headerKey(element);
    if (e == "location" && m.current && m.inLocation) {
        // Publishers' tools indent the element's text as they indent the elements.
        const size_t first = m.text.find_first_not_of(" \t\r\n");
        if (first != std::string::npos)
            m.current->locations.push_back(
                m.text.substr(first, m.text.find_last_not_of(" \t\r\n") + 1 - first));
    }
    if (e == "location") m.inLocation = false;
    if (e == "core" || e == "extension") m.current = nullptr;
}

void XMLCALL onText(void* data, const XML_Char* s, int length) {
    Meta& m = *static_cast<Meta*>(data);
    if (m.inLocation && m.text.size() < 4096) m.text.append(s, static_cast<size_t>(length));
}

bool parseMeta(std::string_view xml, Meta& meta, std::string& error) {
    XML_Parser p = XML_ParserCreate(nullptr);
    if (!p) {
        error = "out of memory";
        return false;
    }
    XML_SetUserData(p, &meta);
    XML_SetElementHandler(p, onStart, onEnd);
    XML_SetCharacterDataHandler(p, onText);
    // Blank lines before the XML declaration, which XML forbids, are left by hand-made files.
    size_t skip = xml.find_first_not_of(" \t\r\n");
    if (skip == std::string::npos || xml.compare(skip, 5, "<?xml") != 0) skip = 0;
    const size_t linesSkipped = static_cast<size_t>(std::count(xml.begin(), xml.begin() + skip, '\n'));
    const size_t size = std::min<size_t>(xml.size() - skip, INT32_MAX);
    bool ok = XML_Parse(p, xml.data() + skip, static_cast<int>(size), 1) == XML_STATUS_OK;
    if (!ok) {
        error = "line " + std::to_string(XML_GetCurrentLineNumber(p) + linesSkipped) + ": " +
                XML_ErrorString(XML_GetErrorCode(p));
    }
    XML_ParserFree(p);
    return ok;
}

// Header lines of a file whose meta.xml leaves ignoreHeaderLines out, which says none; but
// exports write one all the same, and a first line that names two of the fields' terms in
// their places is one.
int headerLines(const MetaFile& f, const char* data, size_t size) {
    if (f.headerLinesGiven) return f.ignoreHeaderLines;
    const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
    std::string_view line(data, end ? static_cast<size_t>(end - data) : size);
    std::vector<std::string> fields(1);
    for (char ch : line) {
        if (ch == f.dialect.delimiter) fields.emplace_back();
        else if (ch != f.dialect.quote && ch != '\r') fields.back().push_back(ch);
    }
    int named = 0;
    for (const auto& [term, index] : f.fields)
        named += index < fields.size() && headerKey(fields[index]) == term;
    return named >= 2 ? 1 : 0;
}

bool endsWithTerm(const std::string& rowType, const char* term) {
    std::string key = headerKey(rowType);
    return key == term;
}

size_t column(const std::map<std::string, size_t>& fields, const char* term) {
    auto it = fields.find(term);
    return it == fields.end() ? SIZE_MAX : it->second;
}

// The columns of the higher taxa, kingdom to subgenus, from the top down.
void classificationColumns(const std::map<std::string, size_t>& f, TaxonColumns& c) {
    for (const auto& [key, index] : f) {
        RankInfo rank;
        if (rankColumn(key, rank) && rank.order < rankOf("Species").order)
            c.classification.emplace_back(rank, index);
    }
    std::stable_sort(c.classification.begin(), c.classification.end(),
                     [](const auto& a, const auto& b) { return a.first.order < b.first.order; });
}

// Whether a higher rank has a column of its own.
bool hasRankColumns(const std::map<std::string, size_t>& f) {
    RankInfo rank;
    return std::any_of(f.begin(), f.end(), [&](const auto& entry) {
        return rankColumn(entry.first, rank) && rank.order < rankOf("Species").order;
    });
}

// `blank` says whether a column is blank in every row; a column of identifiers that is, beside
// columns that could place the taxa otherwise, is read as absent.
TaxonColumns taxonColumns(const std::map<std::string, size_t>& f, size_t idIndex,
                          const std::map<std::string, std::string>& defaults = {},
                          const std::function<bool(size_t)>& blank = {}) {
    TaxonColumns c;
    auto at = [&](const char* term) {
        size_t i = column(f, term);
        auto d = defaults.find(term);
        if (d == defaults.end()) return i;
        if (i == SIZE_MAX) i = TaxonColumns::kDefaultColumns + c.defaults.size();
        c.defaults.emplace_back(i, d->second);
        return i;
    };
    c.id = column(f, "taxonid");
    if (c.id == SIZE_MAX) c.id = idIndex;
    c.parent = at("parentnameusageid");
    c.accepted = at("acceptednameusageid");
    c.status = at("taxonomicstatus");
    c.rank = at("taxonrank");
    c.scientific = column(f, "scientificname");
    c.authorship = column(f, "scientificnameauthorship");
    c.canonical = column(f, "canonicalname");
    c.vernacular = column(f, "vernacularname");
    c.genus = column(f, "genus");
    if (c.genus == SIZE_MAX) c.genus = column(f, "genericname");
    c.specific = column(f, "specificepithet");
    c.infraspecific = column(f, "infraspecificepithet");
    c.uninomial = column(f, "uninomial");
    auto unfilled = [&](size_t i, const char* term) {
        return i != SIZE_MAX && !defaults.count(term) && blank && blank(i);
    };
    const bool names = column(f, "parentnameusage") != SIZE_MAX ||
                       column(f, "acceptednameusage") != SIZE_MAX;
    if ((names || hasRankColumns(f)) && unfilled(c.parent, "parentnameusageid")) {
        c.parent = SIZE_MAX;
        if (names && unfilled(c.accepted, "acceptednameusageid")) c.accepted = SIZE_MAX;
    }
    if (c.parent == SIZE_MAX && c.accepted == SIZE_MAX) {
        // Linked by names, else by the higher taxa in columns of their own.
        c.parent = column(f, "parentnameusage");
        c.accepted = column(f, "acceptednameusage");
        c.byName = c.parent != SIZE_MAX || c.accepted != SIZE_MAX;
        if (c.parent == SIZE_MAX) classificationColumns(f, c);
    } else if (c.parent == SIZE_MAX) {
        // Synonyms point at their accepted taxa, but the accepted taxa have no parents to
        // point at: their places come from the columns of the higher ranks.
        classificationColumns(f, c);
    }
    if (c.id == SIZE_MAX && (c.byName || !c.classification.empty())) c.id = c.scientific;
    return c;
}

std::map<std::string, size_t> headerFields(const std::vector<std::string>& header) {
    std::map<std::string, size_t> f;
    for (size_t i = 0; i < header.size(); ++i) f.emplace(headerKey(header[i]), i);
    addCurrentTerms(f);
    return f;
}

bool isTaxonFile(const std::string& name) {
    std::string b = baseName(name);
    return equalsIgnoreCase(b, "taxon.txt") || equalsIgnoreCase(b, "taxon.tsv") ||
           equalsIgnoreCase(b, "taxon.csv") || equalsIgnoreCase(b, "taxa.txt");
}

// A taxon file read by the names in its header.
bool readTaxonFile(const char* data, size_t size, const std::string& label, LinkedTaxa& taxa) {
    skipBom(data, size);
    Dialect d = sniffDialect(data, size);
    if (d.delimiter == '\t') d.quote = 0;
    d = readableDialect(data, size, d, taxa.notes().quotesAsText);
    DelimitedReader reader(data, size, d, label);
    std::vector<std::string> header;
    if (!reader.header(header)) return false;
    TaxonColumns c = taxonColumns(headerFields(header), SIZE_MAX, {}, [&](size_t column) {
        return blankThroughout(data, size, d, 1, column);
    });
    if (c.id == SIZE_MAX || !c.named()) {
        reader.fail(1, "no taxonID or scientificName column in the header");
        return false;
    }
    c.headerFields = header.size();
    return readTaxa(reader, c, taxa);
}

}  // namespace

bool importDarwinCore(ClassificationTree& tree, const std::string& path,
                      const ImportOptions& options) {
    const bool meta = equalsIgnoreCase(baseName(path), "meta.xml");
    if (!meta && !isFolder(path)) {
        if (looksLikeZip(path)) return importZipFile(tree, path, options);
        // A core taxon file on its own.
        FileData single;
        std::string error = single.load(path);
        if (!error.empty()) {
            importFailure(path, bytePlace(0), error);
            return false;
        }
        return importTaxonFile(tree, single, path);
    }
    // meta.xml names the folder that holds it.
    std::string where = meta ? path.substr(0, path.size() - 8) : path;
    if (where.empty()) where.push_back('.');
    Package package;
    std::string error;
    if (!package.openFolder(where, error)) {
        importFailure(path, {}, error);
        return false;
    }
    return importDarwinCore(tree, package, path);
}

bool importTaxonFile(ClassificationTree& tree, const FileData& file, const std::string& path) {
    FileReading reading(file);
    LinkedTaxa taxa;
    bool ok = readTaxonFile(file.data(), file.size(), path, taxa) &&
              taxa.build(tree, path, static_cast<int64_t>(file.size()));
    return reading.finish(tree, ok, path);
}

namespace {

bool readDarwinCore(ClassificationTree& tree, Package& package, const std::string& label) {
    std::string error;
    LinkedTaxa taxa;
    auto fail = [&](const std::string& what) {
        importFailure(label, {}, what);
        return false;
    };
    std::string metaName = package.find("meta.xml");
    if (metaName.empty()) {
        // No meta.xml: the core taxon file by its usual name.
        std::string core;
        for (const std::string& n : package.names())
            if (isTaxonFile(n) && (core.empty() || n.size() < core.size())) core = n;
        if (core.empty()) return fail("no meta.xml and no taxon file");
        if (!package.load({core}, error)) return fail(error);
        const std::string_view d = package.data(core);
        if (!readTaxonFile(d.data(), d.size(), label + ": " + core, taxa)) return false;
        return taxa.build(tree, label, package.size());
    }
    if (!package.load({metaName}, error)) return fail(error);
    Meta meta;
    if (!parseMeta(package.data(metaName), meta, error)) return fail(metaName + ": " + error);
    if (!meta.haveCore) return fail(metaName + ": no <core> element");
    addCurrentTerms(meta.core.fields);
    addCurrentTerms(meta.core.defaults);
    if (!endsWithTerm(meta.core.rowType, "taxon"))
        return fail(metaName + ": the core is no Taxon file (rowType " + meta.core.rowType + ")");
    std::string folder = metaName.substr(0, metaName.size() - baseName(metaName).size());
    auto locate = [&](const std::string& location) { return package.find(folder + location); };
    std::vector<std::string> coreNames;
    for (const std::string& location : meta.core.locations) {
        coreNames.push_back(locate(location));
        if (coreNames.back().empty())
            return fail(metaName + ": the core file \"" + location + "\" is missing");
    }
    if (coreNames.empty()) return fail(metaName + ": the core file \"\" is missing");
    const MetaFile* vernacular = nullptr;
    std::vector<std::string> vernacularNames;
    for (const MetaFile& e : meta.extensions) {
        if (!endsWithTerm(e.rowType, "vernacularname")) continue;
        for (const std::string& location : e.locations) {
            std::string found = locate(location);
            if (!found.empty()) vernacularNames.push_back(found);
        }
        if (!vernacularNames.empty()) {
            vernacular = &e;
            break;
        }
    }
    std::vector<std::string> wanted = coreNames;
    wanted.insert(wanted.end(), vernacularNames.begin(), vernacularNames.end());
    if (!package.load(wanted, error)) return fail(error);

    auto open = [&](const MetaFile& f, const std::string& name, std::vector<std::string>& header,
                    std::unique_ptr<DelimitedReader>& reader) {
        const std::string_view d = package.data(name);
        const char* data = d.data();
        size_t size = d.size();
        skipBom(data, size);
        const Dialect dialect = readableDialect(data, size, f.dialect, taxa.notes().quotesAsText);
        reader = std::make_unique<DelimitedReader>(data, size, dialect, label + ": " + name);
        for (int i = headerLines(f, data, size); i > 0; --i)
            if (!reader->header(header)) return false;
        return true;
    };
    std::vector<std::string> header;
    std::unique_ptr<DelimitedReader> reader;
    auto blank = [&](size_t column) {
        for (const std::string& coreName : coreNames) {
            const std::string_view d = package.data(coreName);
            const char* data = d.data();
            size_t size = d.size();
            skipBom(data, size);
            bool quotesAsText = false;
            const Dialect dialect = readableDialect(data, size, meta.core.dialect, quotesAsText);
            if (!blankThroughout(data, size, dialect, headerLines(meta.core, data, size), column))
                return false;
        }
        return true;
    };
    TaxonColumns c = taxonColumns(meta.core.fields, meta.core.idIndex, meta.core.defaults, blank);
    if (c.id == SIZE_MAX || !c.named())
        return fail(metaName + ": the core has no taxonID or scientificName field");
    // Without a header line, the rows are held to the columns meta.xml declares.
    size_t declared = meta.core.idIndex == SIZE_MAX ? 0 : meta.core.idIndex + 1;
    for (const auto& [term, index] : meta.core.fields) declared = std::max(declared, index + 1);
    for (const std::string& coreName : coreNames) {
        header.clear();
        if (!open(meta.core, coreName, header, reader)) return false;
        c.headerFields = header.empty() ? declared : header.size();
        if (!readTaxa(*reader, c, taxa)) return false;
    }
    for (const std::string& name : vernacularNames) {
        if (!open(*vernacular, name, header, reader)) return false;
        if (!readVernacular(*reader, vernacular->idIndex,
                            column(vernacular->fields, "vernacularname"),
                            column(vernacular->fields, "language"),
                            column(vernacular->fields, "ispreferredname"), taxa))
            return false;
    }
    return taxa.build(tree, label, package.size());
}

}  // namespace

bool importDarwinCore(ClassificationTree& tree, Package& package, const std::string& label) {
    PackageReading reading(package);
    const bool ok = readDarwinCore(tree, package, label);
    return reading.finish(tree, ok, label);
}

}  // namespace imp
