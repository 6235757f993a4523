// The files of an archive or folder, and the taxon and common-name files that Darwin Core
// Archives and ColDP packages share in substance: taxa linked by identifiers.
#include <filesystem>
#include <system_error>

#include "Console.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "Packages.h"

namespace imp {

namespace fs = std::filesystem;

bool Package::openFolder(const std::string& path, std::string& error) {
    m_path = path;
    std::error_code ec;
    // Packages keep their files at the top or a level or two down; links are not followed,
    // so nothing outside the folder is read.
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec),
        end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 3) it.disable_recursion_pending();
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
        FileData file;
        std::string why = file.load((fs::path(m_path) / name).string());
        if (!why.empty()) {
            error = name + ": " + why;
            return false;
        }
        m_data[name].assign(file.data(), file.size());
        if (file.changed()) {
            error = name + ": byte " + std::to_string(file.changedAt()) +
                    ": the file changed while it was read (it was shortened)";
            return false;
        }
        m_size += static_cast<int64_t>(file.size());
    }
    return true;
}

const std::string& Package::data(const std::string& name) const {
    static const std::string kNothing;
    auto it = m_data.find(name);
    return it == m_data.end() ? kNothing : it->second;
}

bool readTaxa(DelimitedReader& reader, const TaxonColumns& c, LinkedTaxa& taxa) {
    reader.keepColumns(c.all());
    FactsCollector* facts = collectingFacts();
    std::string id, parent, latin, author, common;
    // The row's name without its authorship, into `latin` (and the authorship into `author`).
    auto name = [&](const Row& r) {
        author.clear();
        if (c.authorship != SIZE_MAX) cleanName(r.field(c.authorship), author);
        if (c.canonical != SIZE_MAX) cleanName(r.field(c.canonical), latin);
        if (c.canonical == SIZE_MAX || latin.empty()) {
            cleanName(r.field(c.scientific), latin);
            if (!author.empty() && latin.size() > author.size() &&
                latin.compare(latin.size() - author.size(), author.size(), author) == 0)
                cleanName(latin.substr(0, latin.size() - author.size()), latin);
        }
    };
    return reader.rows([&](const Row& r) {
        cleanName(r.field(c.id), id);
        if (id.empty()) {
            reader.fail(r.line(), "a taxon without an identifier");
            return false;
        }
        // Synonyms and names of any status but accepted are no taxa of the classification;
        // a synonym is a fact about the taxon it names (by acceptedNameUsageID, or in a
        // name usage file by its parent).
        auto synonym = [&] {
            if (!facts) return;
            cleanName(r.field(c.accepted != SIZE_MAX ? c.accepted : c.parent), parent);
            if (parent.empty() && c.accepted != SIZE_MAX) cleanName(r.field(c.parent), parent);
            if (parent.empty() || parent == id) return;
            name(r);
            facts->facts.addPendingSynonym(parent, {}, latin, author);
        };
        if (c.status != SIZE_MAX && !isAcceptedStatus(r.field(c.status))) {
            if (isSynonymStatus(r.field(c.status))) synonym();
            return true;
        }
        if (c.accepted != SIZE_MAX) {
            cleanName(r.field(c.accepted), parent);
            if (!parent.empty() && parent != id) {
                if (c.status == SIZE_MAX) synonym();
                return true;
            }
        }
        cleanName(r.field(c.parent), parent);
        name(r);
        if (latin.empty()) {
            reader.fail(r.line(), "taxon " + id + " has no name");
            return false;
        }
        RankInfo rank = rankOf(c.rank == SIZE_MAX ? std::string_view() : r.field(c.rank));
        if (rank.order < rankOf("Species").order) usualCase(latin);
        size_t clash;
        if (!taxa.add(id, parent, latin, rank.name, r.line(), clash)) {
            reader.fail(r.line(), "taxon " + id + " was given already on line " +
                                      std::to_string(clash) + " (duplicate identifier)");
            return false;
        }
        if (facts) facts->linkedTaxon(id, author);
        if (c.vernacular != SIZE_MAX) {
            cleanName(r.field(c.vernacular), common);
            if (!isPlaceholder(common)) taxa.setCommon(id, common, false);
        }
        return true;
    });
}

bool readVernacular(DelimitedReader& reader, size_t taxon, size_t name, size_t language,
                    LinkedTaxa& taxa) {
    if (taxon == SIZE_MAX || name == SIZE_MAX) return true;  // nothing to take from it
    reader.keepColumns({taxon, name, language});
    std::string id, common, lang;
    return reader.rows([&](const Row& r) {
        cleanName(r.field(taxon), id);
        cleanName(r.field(name), common);
        cleanName(language == SIZE_MAX ? std::string_view() : r.field(language), lang);
        bool english = equalsIgnoreCase(lang, "en") || equalsIgnoreCase(lang, "eng") ||
                       equalsIgnoreCase(lang, "english");
        if (!isPlaceholder(common)) taxa.setCommon(id, common, english);
        return true;
    });
}

}  // namespace imp
