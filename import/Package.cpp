// The files of an archive or folder, and the taxon and common-name files that Darwin Core
// Archives and ColDP packages share in substance: taxa linked by identifiers.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Console.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "NameShape.h"
#include "Packages.h"
#include "ReadingNotes.h"

namespace imp {

namespace fs = std::filesystem;

bool Package::openFolder(const std::string& path, std::string& error) {
    m_path = path;
    std::error_code ec;
    // Packages keep their files at the top or some levels down; links are not followed,
    // so nothing outside the folder is read.
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec),
        end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 8) it.disable_recursion_pending();
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            m_names.push_back(fs::relative(it->path(), path, ec).generic_string());
    }
    if (ec) {
        error = "cannot list the folder: " + ec.message();
        return false;
    }
    return true;
}

bool Package::openZip(const char* data, size_t size, const ImportOptions& options,
                      std::string& error) {
    m_zip = true;
    m_zipData = data;
    m_size = static_cast<int64_t>(size);
    m_limit = zipLimit(options, size);
    return listZip(data, size, m_names, error);
}

void Package::openFiles(std::vector<std::pair<std::string, std::string>> files) {
    m_inMemory = true;
    for (auto& [name, bytes] : files) {
        m_size += static_cast<int64_t>(bytes.size());
        auto [at, added] = m_data.try_emplace(name);
        if (added) m_names.push_back(name);
        at->second = std::move(bytes);
    }
}

std::string Package::find(const std::string& relative) const {
    for (const std::string& n : m_names)
        if (equalsIgnoreCase(n, relative)) return n;
    std::string base = baseName(relative), best;
    size_t bestDepth = SIZE_MAX;
    for (const std::string& n : m_names) {
        if (!equalsIgnoreCase(baseName(n), base)) continue;
        size_t depth = static_cast<size_t>(std::count(n.begin(), n.end(), '/'));
        if (depth < bestDepth) {
            best = n;
            bestDepth = depth;
        }
    }
    return best;
}

bool Package::load(const std::vector<std::string>& which, std::string& error) {
    if (m_inMemory) return true;  // every file is in m_data already
    if (m_zip) {
        std::vector<ZipEntry> entries;
        auto want = [&](const std::string& name) {
            return std::find(which.begin(), which.end(), name) != which.end() &&
                   !m_data.count(name);
        };
        if (!readZip(m_zipData, static_cast<size_t>(m_size), want, m_limit, entries, error))
            return false;
        for (ZipEntry& e : entries) {
            m_limit -= std::min<uint64_t>(m_limit, e.data.size());
            m_data[e.name] = std::move(e.data);
        }
        return true;
    }
    for (const std::string& name : which) {
        if (m_mapped.count(name)) continue;
        auto file = std::make_unique<FileData>();
        std::string why = file->load((fs::path(m_path) / name).string());
        if (!why.empty()) {
            error = name + ": " + why;
            return false;
        }
        m_size += static_cast<int64_t>(file->size());
        m_mapped[name] = std::move(file);
    }
    return !shortened(error);
}

std::string_view Package::data(const std::string& name) const {
    auto it = m_data.find(name);
    if (it != m_data.end()) return it->second;
    auto mapped = m_mapped.find(name);
    if (mapped != m_mapped.end()) return {mapped->second->data(), mapped->second->size()};
    return {};
}

void Package::release(const std::string& name, size_t from, size_t to) const {
    auto mapped = m_mapped.find(name);
    if (mapped != m_mapped.end()) mapped->second->release(from, to);
}

bool Package::shortened(std::string& error) const {
    for (const auto& [name, file] : m_mapped) {
        if (!file->changed()) continue;
        error = name + ": byte " + std::to_string(file->changedAt()) +
                ": the file changed while it was read (it was shortened)";
        return true;
    }
    return false;
}

namespace {

// The name of a row whose scientific name is empty, from its parts: a genus and its
// epithets, or the one word of a higher taxon.
void nameFromParts(const Row& r, const TaxonColumns& c, std::string& latin, std::string& part) {
    latin.clear();
    cleanName(c.field(r, c.genus), latin);
    cleanName(c.field(r, c.specific), part);
    if (!latin.empty() && !part.empty()) {
        latin += ' ';
        latin += part;
        cleanName(c.field(r, c.infraspecific), part);
        if (!part.empty()) {
            latin += ' ';
            latin += part;
        }
        return;
    }
    cleanName(c.field(r, c.uninomial), part);
    if (!part.empty()) latin.swap(part);
}

// The row's name without authorship: its canonical name, else its scientific name (already
// cleaned, `written`) less the authorship column's text, else made from its parts. Without
// copies where it can: a view of `written`, of the row's fields, or else of `latin`. The
// row's own authorship goes to `author` (a view of its field or of `authorText`), even where
// a canonical name needs none cut off: the facts of taxa keep it.
std::string_view latinOf(const Row& r, const TaxonColumns& c, std::string_view written,
                         std::string& latin, std::string_view& author, std::string& authorText,
                         std::string& part) {
    author = c.authorship != SIZE_MAX ? cleanedName(c.field(r, c.authorship), authorText)
                                      : std::string_view();
    std::string_view name;
    if (c.canonical != SIZE_MAX) name = cleanedName(c.field(r, c.canonical), latin);
    if (name.empty()) {
        name = written;
        if (!author.empty() && name.size() > author.size() && name.ends_with(author)) {
            // The blanks before the authorship go, so that the rest is mostly clean as it is.
            name.remove_suffix(author.size());
            while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
            name = cleanedName(name, latin);
        }
    }
    if (name.empty()) {
        nameFromParts(r, c, latin, part);
        name = latin;
    }
    return name;
}

}  // namespace

bool blankThroughout(const char* data, size_t size, Dialect dialect, int headerLines,
                     size_t column) {
    // Malformed input is the real reading's to report; this one only looks.
    DelimitedReader reader(data, size, dialect, std::string());
    reader.setQuiet();
    std::vector<std::string> header;
    for (int i = 0; i < headerLines; ++i)
        if (!reader.header(header)) return true;
    reader.keepColumns({column});
    bool blank = true;
    std::string cleaned;
    reader.rows([&](const Row& r) {
        // \N and the like are no parents either.
        cleanName(r.field(column), cleaned);
        blank = cleaned.empty() || isNullMarker(cleaned);
        return blank;  // the first filled field settles it
    });
    return blank;
}

Dialect readableDialect(const char* data, size_t size, Dialect declared, bool& quotesAsText) {
    if (!declared.quote || !std::memchr(data, declared.quote, size)) return declared;
    DelimitedReader reader(data, size, declared, std::string());
    reader.setQuiet();
    reader.keepColumns({});
    if (reader.rows([](const Row&) { return true; })) return declared;
    quotesAsText = true;
    return Dialect{declared.delimiter, 0};
}

namespace {

bool readNameRows(DelimitedReader& reader, const TaxonColumns& c, NameTable& names,
                  size_t until) {
    names.keepInPlace(reader.input());
    std::string idText, writtenText, latin, authorText, part;
    std::string_view author;
    const bool indexing = names.indexing();
    return reader.rows([&](const Row& r) {
        // The index's place for the next row's name, fetched while this row is read.
        if (indexing) names.expect(reader.nextRowField(c.id));
        const std::string_view id = unlessNull(cleanedName(c.field(r, c.id), idText));
        if (id.empty()) return true;  // no taxon can name it
        if (indexing && TextArena::within(id, reader.input())) names.expect(id);
        const std::string_view written = cleanedName(c.field(r, c.scientific), writtenText);
        names.set(id, written, latinOf(r, c, written, latin, author, authorText, part),
                  c.rank == SIZE_MAX ? std::string_view() : unlessNull(c.field(r, c.rank)));
        return true;
    }, until);
}

}  // namespace

bool readNames(DelimitedReader& reader, const TaxonColumns& c, NameTable& names,
               size_t twoThreadsFrom) {
    reader.keepColumns(c.all());
    NameTable later;
    Halves h;
    const bool ok = readHalvesInto(
        reader, twoThreadsFrom, names, later,
        [&c](DelimitedReader& rows, NameTable& table, size_t until) {
            return readNameRows(rows, c, table, until);
        },
        h);
    if (!ok || !h.split) return ok;
    names.absorb(later, std::min(twoThreadsFrom, NameTable::kTwoThreadsFrom));
    if (!h.laterOk) h.later->report(h.linesBefore);
    return h.laterOk;
}

bool readSynonyms(DelimitedReader& reader, size_t id, size_t taxon, LinkedTaxa& taxa) {
    if (id == SIZE_MAX || taxon == SIZE_MAX) return true;  // nothing can name them
    reader.keepColumns({id, taxon});
    std::string synonym, accepted;
    return reader.rows([&](const Row& r) {
        cleanName(r.field(id), synonym);
        cleanName(r.field(taxon), accepted);
        if (isNullMarker(accepted)) accepted.clear();
        if (!synonym.empty() && !isNullMarker(synonym)) taxa.addSynonym(synonym, accepted);
        return true;
    });
}

namespace {

bool readTaxaRows(DelimitedReader& reader, const TaxonColumns& c, LinkedTaxa& taxa,
                  size_t until) {
    FactsCollector* facts = collectingFacts();
    if (c.byName) taxa.linkByName();
    // The texts of the rows, and of the names they point at, stay where they lie.
    taxa.keepInPlace(reader.input(), c.names ? c.names->inPlace() : std::string_view());
    ReadingNotes& notes = taxa.notes();
    const int speciesOrder = rankOf("Species").order;
    // Where texts that had to be cleaned or made are kept for the row.
    std::string idText, parentText, writtenText, latinText, authorText, cased, common, part,
        pathKey;
    RankWords rankWords;
    size_t nameHint = 0;
    // The index's place for the next row's taxon, fetched while this row is read (a file
    // without identifiers has none to fetch).
    const bool indexing = taxa.indexing();
    const size_t idColumn =
        indexing && c.id < TaxonColumns::kDefaultColumns ? c.id : SIZE_MAX;
    if (c.parent != SIZE_MAX || !c.classification.empty()) notes.parentsGiven = true;
    if (!c.classification.empty()) notes.parentsInRankColumns = true;
    return reader.rows([&](const Row& r) {
        if (idColumn != SIZE_MAX) taxa.expect(reader.nextRowField(idColumn));
        // Notes some publishers append after the header ("# 12 records withdrawn").
        if (const std::string_view first = r.field(0); !first.empty() && first.front() == '#') {
            ++notes.noteLines;
            return true;
        }
        if (r.fieldCount() < c.headerFields) ++notes.shortRows;
        std::string_view id = unlessNull(cleanedName(c.field(r, c.id), idText));
        // A row without an identifier is still a taxon of the file (or a synonym nobody can
        // point at): it gets a key of its own.
        const bool idless = id.empty();
        if (idless) {
            idText = taxa.idlessMark() + std::to_string(taxa.size());
            id = idText;
        }
        if (indexing && TextArena::within(id, reader.input())) taxa.expect(id);
        std::string_view written = cleanedName(c.field(r, c.scientific), writtenText);
        std::string_view parent, latin, author;
        // Synonyms and names of any status but accepted are no taxa of the classification;
        // they are kept for the taxa that name one of them as parent.
        const bool accepted =
            c.status == SIZE_MAX || notes.statuses.accepted(unlessNull(c.field(r, c.status)));
        // A row whose status calls it accepted is a taxon even where its acceptedNameUsageID
        // names another row: publishing tools write such links from accepted names to their
        // variants.
        const bool saidAccepted = c.status != SIZE_MAX && notes.statuses.saidAccepted();
        auto ownName = [&] { latin = latinOf(r, c, written, latinText, author, authorText, part); };
        // A synonym is also a fact about the taxon it names, for a caller that pairs renamed
        // taxa (by identifier only: a core linked by names has none to resolve it with).
        auto synonymFact = [&] {
            if (!facts || c.byName || parent.empty() || c.names) return;
            ownName();
            facts->facts.addPendingSynonym(parent, {}, latin, author);
        };
        // Linked by names, an accepted taxon may give its own name without the authorship.
        auto namesItself = [&] {
            if (!c.byName) return false;
            ownName();
            return parent == latin;
        };
        if (c.accepted != SIZE_MAX) {
            parent = unlessNull(cleanedName(c.field(r, c.accepted), parentText));
            if (!parent.empty() && parent != (c.byName ? written : id) && !saidAccepted &&
                !namesItself()) {
                taxa.addSynonym(c.byName ? written : id, parent);
                if (c.status == SIZE_MAX || isSynonymStatus(c.field(r, c.status))) synonymFact();
                return true;
            }
        }
        if (!accepted) {
            // A package without an accepted column gives a synonym's accepted taxon as parent.
            parent = {};
            if (c.accepted == SIZE_MAX)
                parent = unlessNull(cleanedName(c.field(r, c.parent), parentText));
            taxa.addSynonym(c.byName ? written : id, parent);
            if (isSynonymStatus(c.field(r, c.status))) synonymFact();
            return true;
        }
        parent = unlessNull(cleanedName(c.field(r, c.parent), parentText));
        std::string_view rankText =
            c.rank == SIZE_MAX ? std::string_view() : unlessNull(c.field(r, c.rank));
        author = {};
        if (c.names && c.namesLater) {
            latin = cleanedName(c.field(r, c.nameId), part);
        } else if (c.names) {
            // The name and rank of the row's Name.
            NameOfId n;
            latin = {};
            if (c.names->find(cleanedName(c.field(r, c.nameId), part), nameHint, n)) {
                written = n.written;
                latin = n.latin;
                rankText = n.rank;
            }
        } else {
            ownName();
        }
        if (latin.empty()) {
            ++notes.nameless;
            return true;
        }
        const RankInfo* given = &rankWords.of(rankText);
        // A rank left empty (not "no rank") is what the name's shape says, where it says any.
        if (given->name.empty() && !c.namesLater && isEmptyRank(rankText)) {
            const std::string_view shaped = rankByShape(latin);
            if (!shaped.empty()) given = &rankWords.of(shaped);
        }
        const RankInfo& rank = *given;
        if (rank.unknown()) notes.ranks.unknown(rankText);
        if (rank.order < speciesOrder && !c.namesLater) latin = inUsualCase(latin, cased);
        size_t clash;
        if (!c.classification.empty()) {
            // The path of higher taxa from the row's own columns; a row that is one of them
            // (a genus's own row, or a row without a rank named as one of them) is that taxon.
            parent = {};
            pathKey.assign(madeUpKey('\1'));
            const std::string* rowRank = &rank.name;
            for (const auto& [level, column] : c.classification) {
                cleanName(c.field(r, column), part);
                if (isPlaceholder(part) || isNullMarker(part)) continue;
                usualCase(part);
                pathKey += '\37';
                pathKey += part;
                if ((level.order == rank.order || rank.name.empty()) && part == latin) {
                    id = pathKey;  // the row itself
                    rowRank = &level.name;
                    break;
                }
                taxa.add(pathKey, parent, part, level.name, r.line(), clash);
                parentText = pathKey;
                parent = parentText;
            }
            // No higher taxon joined the key: the row's columns of higher ranks are empty.
            notes.rankColumnsEmpty += pathKey.size() == madeUpKey('\1').size();
            if (id == pathKey && !taxa.add(id, parent, latin, *rowRank, r.line(), clash))
                return true;  // made already from the rows below it
        }
        if (id != pathKey || c.classification.empty()) {
            if (!taxa.add(id, parent, latin, rank.name, r.line(), clash)) {
                reader.fail(r.line(), "taxon " + std::string(id) + " was given already on line " +
                                          std::to_string(clash) + " (duplicate identifier)");
                return false;
            }
        }
        if (facts && id != pathKey) facts->linkedTaxon(id, author);
        if (idless && id != pathKey) ++notes.idless;
        if (c.byName) taxa.addName(written, id);
        if (c.vernacular != SIZE_MAX) {
            cleanName(c.field(r, c.vernacular), common);
            if (!isPlaceholder(common)) taxa.setCommon(id, common, false);
        }
        return true;
    }, until);
}

}  // namespace

bool readTaxa(DelimitedReader& reader, const TaxonColumns& c, LinkedTaxa& taxa,
              size_t twoThreadsFrom) {
    reader.keepColumns(c.all());
    auto read = [&c](DelimitedReader& part, LinkedTaxa& into, size_t until) {
        return readTaxaRows(part, c, into, until);
    };
    // A row stands on its own unless it makes higher taxa that other rows make too (from
    // classification columns) or names its parent by name; facts are collected on this
    // thread only.
    if (c.classification.empty() && !c.byName && !collectingFacts())
        return readInHalves(reader, taxa, twoThreadsFrom, read);
    return read(reader, taxa, SIZE_MAX);
}

namespace {

// A language column holds codes ("en", "eng", "en-GB") or names ("English", "Inglés").
bool isEnglish(const std::string& language) {
    if (language.size() > 3 && (language[2] == '-' || language[2] == '_'))
        return equalsIgnoreCase(std::string_view(language).substr(0, 2), "en");
    const std::string w = foldWord(language);
    return w == "en" || w == "eng" || w == "english" || w == "ingles" || w == "anglais" ||
           w == "englisch" || w == "engels" || w == "inglese";
}

// A boolean field as publishers write one ("true", "TRUE", "1", "yes", "t").
bool saysTrue(std::string_view field) {
    const std::string w = foldWord(field);
    return w == "true" || w == "1" || w == "yes" || w == "t" || w == "y";
}

}  // namespace

bool readVernacular(DelimitedReader& reader, size_t taxon, size_t name, size_t language,
                    size_t preferred, LinkedTaxa& taxa) {
    if (taxon == SIZE_MAX || name == SIZE_MAX) return true;  // nothing to take from it
    reader.keepColumns({taxon, name, language, preferred});
    std::string id, common, lang;
    return reader.rows([&](const Row& r) {
        cleanName(r.field(taxon), id);
        cleanName(r.field(name), common);
        cleanName(language == SIZE_MAX ? std::string_view() : r.field(language), lang);
        bool english = isEnglish(lang);
        if (!isPlaceholder(common))
            taxa.setCommon(id, common, english,
                           preferred != SIZE_MAX && saysTrue(r.field(preferred)));
        return true;
    });
}

}  // namespace imp
