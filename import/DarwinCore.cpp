// Darwin Core Archives: meta.xml names the core taxon file, its columns and the extensions;
// a taxon file on its own names its columns in its header.
#include <expat.h>

#include <algorithm>
#include <map>

#include "Console.h"
#include "Importers.h"
#include "ImportFailure.h"

namespace imp {

namespace {

// One file described by meta.xml: the core or an extension.
struct MetaFile {
    std::string rowType, location;
    Dialect dialect{'\t', 0};
    int ignoreHeaderLines = 0;
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
        if (const char* v = attribute("ignoreHeaderLines")) f.ignoreHeaderLines = std::atoi(v);
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
    if (e == "location" && m.current && m.inLocation && m.current->location.empty())
        m.current->location = m.text;
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
    bool ok = XML_Parse(p, xml.data(), static_cast<int>(std::min<size_t>(xml.size(), INT32_MAX)),
                        1) == XML_STATUS_OK;
    if (!ok) {
        error = "line " + std::to_string(XML_GetCurrentLineNumber(p)) + ": " +
                XML_ErrorString(XML_GetErrorCode(p));
    }
    XML_ParserFree(p);
    return ok;
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

TaxonColumns taxonColumns(const std::map<std::string, size_t>& f, size_t idIndex,
                          const std::map<std::string, std::string>& defaults = {}) {
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
    if (c.parent == SIZE_MAX && c.accepted == SIZE_MAX) {
        // Linked by names, else by the higher taxa in columns of their own.
        c.parent = column(f, "parentnameusage");
        c.accepted = column(f, "acceptednameusage");
        c.byName = c.parent != SIZE_MAX || c.accepted != SIZE_MAX;
        if (c.parent == SIZE_MAX) classificationColumns(f, c);
    }
    if (c.id == SIZE_MAX && (c.byName || !c.classification.empty())) c.id = c.scientific;
    return c;
}

std::map<std::string, size_t> headerFields(const std::vector<std::string>& header) {
    std::map<std::string, size_t> f;
    for (size_t i = 0; i < header.size(); ++i) f.emplace(headerKey(header[i]), i);
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
    DelimitedReader reader(data, size, d, label);
    std::vector<std::string> header;
    if (!reader.header(header)) return false;
    TaxonColumns c = taxonColumns(headerFields(header), SIZE_MAX);
    if (c.id == SIZE_MAX || !c.named()) {
        reader.fail(1, "no taxonID or scientificName column in the header");
        return false;
    }
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
    if (!endsWithTerm(meta.core.rowType, "taxon"))
        return fail(metaName + ": the core is no Taxon file (rowType " + meta.core.rowType + ")");
    std::string folder = metaName.substr(0, metaName.size() - baseName(metaName).size());
    auto locate = [&](const MetaFile& f) { return package.find(folder + f.location); };
    std::string coreName = locate(meta.core);
    if (meta.core.location.empty() || coreName.empty())
        return fail(metaName + ": the core file \"" + meta.core.location + "\" is missing");
    const MetaFile* vernacular = nullptr;
    std::string vernacularName;
    for (const MetaFile& e : meta.extensions) {
        if (!endsWithTerm(e.rowType, "vernacularname")) continue;
        vernacularName = locate(e);
        if (!vernacularName.empty()) {
            vernacular = &e;
            break;
        }
    }
    std::vector<std::string> wanted{coreName};
    if (vernacular) wanted.push_back(vernacularName);
    if (!package.load(wanted, error)) return fail(error);

    auto open = [&](const MetaFile& f, const std::string& name, std::vector<std::string>& header,
                    std::unique_ptr<DelimitedReader>& reader) {
        const std::string_view d = package.data(name);
        const char* data = d.data();
        size_t size = d.size();
        skipBom(data, size);
        reader = std::make_unique<DelimitedReader>(data, size, f.dialect, label + ": " + name);
        for (int i = 0; i < f.ignoreHeaderLines; ++i)
            if (!reader->header(header)) return false;
        return true;
    };
    std::vector<std::string> header;
    std::unique_ptr<DelimitedReader> reader;
    if (!open(meta.core, coreName, header, reader)) return false;
    TaxonColumns c = taxonColumns(meta.core.fields, meta.core.idIndex, meta.core.defaults);
    if (c.id == SIZE_MAX || !c.named())
        return fail(metaName + ": the core has no taxonID or scientificName field");
    if (!readTaxa(*reader, c, taxa)) return false;
    if (vernacular) {
        if (!open(*vernacular, vernacularName, header, reader)) return false;
        if (!readVernacular(*reader, vernacular->idIndex, column(vernacular->fields, "vernacularname"),
                            column(vernacular->fields, "language"), taxa))
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
