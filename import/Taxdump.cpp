// NCBI's taxdump: nodes.dmp links each tax_id to its parent and gives its rank, names.dmp
// gives its names by class, merged.dmp the old tax_ids merged into others, delnodes.dmp the
// deleted ones. Both layouts of the dump (the classic one and the "new" one, whose nodes.dmp
// has more columns and which adds lineage files) hold these four files alike.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "Console.h"
#include "DumpRows.h"
#include "DumpTaxa.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "Importers.h"
#include "Taxonomies.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

// The scientific names by tax_id, made as names.dmp is read so that its bytes can be given
// back before the nodes are made; each owned here until a node takes it.
class ScientificNames {
public:
    explicit ScientificNames(size_t limit) : m_names(limit) {}
    ~ScientificNames() {
        m_names.forEach([](char* name) { freeName(name); });
    }
    ScientificNames(const ScientificNames&) = delete;
    ScientificNames& operator=(const ScientificNames&) = delete;
    // The slot of `id`, null while it has no name.
    char*& at(std::string_view id) { return m_names.at(id); }
    // The name of `id`, handed over to the caller once; null when it has none or has given
    // it already. The two threads that make the nodes take names at once: a tax_id given
    // twice (a failed reading) cannot have one name taken twice.
    char* take(std::string_view id) {
        char** slot = m_names.find(id);
        return slot && *slot ? std::atomic_ref<char*>(*slot).exchange(nullptr) : nullptr;
    }

private:
    ByIdentifier<char*> m_names;
};

// NCBI's rank words where the rank table spells the rank otherwise. NCBI renamed its
// superkingdom domain; the table takes both words, and GTDB's d__, for one rank.
std::string_view rankWord(std::string_view written) {
    if (equalsIgnoreCase(written, "superkingdom")) return "domain";
    if (equalsIgnoreCase(written, "varietas")) return "variety";
    return written;
}

struct Common {
    std::string_view name;
    int priority = 0;  // 2: the GenBank common name, 1: another common name
};

bool readTaxdump(ClassificationTree& tree, Package& package, const std::string& label,
                 const ImportOptions& options) {
    auto fail = [&](const std::string& what) {
        importFailure(label, {}, what);
        return false;
    };
    const std::string nodesFile = package.find("nodes.dmp"), namesFile = package.find("names.dmp");
    if (nodesFile.empty()) return fail("no nodes.dmp in the taxdump");
    if (namesFile.empty())
        return fail("no names.dmp beside nodes.dmp: the taxa's names are in it, and it is missing");
    const std::string mergedFile = package.find("merged.dmp"),
                      deletedFile = package.find("delnodes.dmp");
    std::vector<std::string> wanted{nodesFile, namesFile};
    for (const std::string* f : {&mergedFile, &deletedFile})
        if (!f->empty()) wanted.push_back(*f);
    std::string error;
    if (!package.load(wanted, error)) return fail(error);
    const std::string_view nodes = package.data(nodesFile), names = package.data(namesFile);
    if (names.size() >= (size_t{1} << 32))
        return fail("names.dmp is larger than 4 GB, more than any taxdump holds");

    // The names: each tax_id's scientific name, and its common name of the best class.
    auto named = std::make_unique<ScientificNames>(identifierLimit(nodes.size() + names.size()));
    std::unordered_map<std::string_view, Common> commons;
    std::string_view f[4];
    size_t count = 0;
    {
        DumpRows rows(names);
        std::string scratch;
        while (rows.next(f, 4, count)) {
            if (count < 4 || f[0].empty() || f[1].empty()) continue;
            const std::string_view kind = f[3];
            if (kind == "scientific name") {
                char*& n = named->at(f[0]);
                if (n) continue;  // the first stays
                const std::string_view latin = cleanedName(f[1], scratch);
                n = newName(latin.data(), latin.size());
            } else if (kind == "genbank common name" || kind == "common name") {
                const int priority = kind[0] == 'g' ? 2 : 1;
                Common& c = commons[f[0]];
                if (priority > c.priority) c = {f[1], priority};
            }
        }
    }
    // The common names kept cleaned, by tax_id; names.dmp is not needed any more, bar a
    // root asked for by name.
    std::vector<std::pair<std::string, std::string>> commonNames;
    commonNames.reserve(commons.size());
    for (const auto& [id, common] : commons) {
        std::string cleaned;
        cleanName(common.name, cleaned);
        commonNames.emplace_back(id, std::move(cleaned));
    }
    std::unordered_map<std::string_view, Common>().swap(commons);
    package.release(namesFile);

    // Each taxon's names taken as its row is read; the links joined once all are.
    DumpTaxa taxa(identifierLimit(nodes.size()));
    FactsCollector* facts = collectingFacts();
    std::vector<std::string_view> ids;  // of each row, for the facts
    // A taxdump chosen by its nodes.dmp is named so already.
    const std::string nodesLabel = label.ends_with(nodesFile) ? label : label + ": " + nodesFile;
    // Large dumps are read in two halves on two threads, split at a line: each half takes
    // the names of its rows; they are then added in the order of the rows.
    // A row whose tax_id and parent's are small numbers (as all of NCBI's are) is kept by
    // them, and the bytes read are given back as the reading goes; any other row by where
    // its tax_id begins, read again when the nodes are added.
    struct Made {
        DumpTaxa::Names names;
        size_t line;
        uint64_t ids;  // the tax_id << 32 | the parent's (the tax_id for none), or kAt | where
    };
    constexpr uint64_t kAt = uint64_t{1} << 63;
    constexpr size_t kReleaseStep = size_t{8} << 20;
    std::vector<Made> made[2];
    std::vector<std::string_view> idsOf[2];
    size_t nameless[2] = {0, 0}, linesBefore = 0;
    const size_t bytes = nodes.size();
    auto lineStart = [&](size_t at) {
        if (at == 0 || at >= bytes) return std::min(at, bytes);
        const void* eol = std::memchr(nodes.data() + at, '\n', bytes - at);
        return eol ? static_cast<size_t>(static_cast<const char*>(eol) - nodes.data()) + 1 : bytes;
    };
    inHalves(bytes, splitFrom(kTwoThreadsFrom), [&](size_t from, size_t to, int half) {
        const size_t begin = lineStart(from);
        const std::string_view part = nodes.substr(begin, lineStart(to) - begin);
        made[half].reserve(static_cast<size_t>(std::count(part.begin(), part.end(), '\n')) + 1);
        DumpRows rows(part);
        RankWords rankWords;
        std::string_view g[3];
        size_t n = 0, released = begin;
        while (rows.next(g, 3, n)) {
            if (n == 0 || g[0].empty()) continue;
            const std::string_view id = g[0];
            const size_t at = static_cast<size_t>(id.data() - nodes.data());
            if (!facts && at - released >= kReleaseStep) {
                package.release(nodesFile, released, at);
                released = at;
            }
            char* latin = named->take(id);
            if (!latin) {
                ++nameless[half];
                // Named by its tax_id, so that it can still be found.
                latin = newName(id.data(), id.size());
            }
            const RankInfo& rank = rankWords.of(n > 2 ? rankWord(g[2]) : std::string_view());
            const DumpTaxa::Names taxon{latin, newName(rank.name.data(), rank.name.size())};
            const std::string_view parent = n > 1 ? g[1] : std::string_view();
            const int64_t idNumber = taxa.number(id);
            const int64_t parentNumber = parent.empty() ? idNumber : taxa.number(parent);
            const uint64_t ids =
                idNumber >= 0 && parentNumber >= 0
                    ? static_cast<uint64_t>(idNumber) << 32 | static_cast<uint64_t>(parentNumber)
                    : kAt | at;
            made[half].push_back({taxon, rows.line(), ids});
            if (facts) idsOf[half].push_back(id);
        }
        if (!facts) package.release(nodesFile, released, begin + part.size());
        if (half == 0) linesBefore = rows.line();
    });
    named.reset();  // the names no node took
    // The tax_id and the parent's of the row whose tax_id begins at `at`.
    auto idsAt = [&](size_t at, std::string_view& id, std::string_view& parent) {
        DumpRows row(nodes.substr(at));
        std::string_view h[2];
        size_t k = 0;
        row.next(h, 2, k);
        id = h[0];
        parent = k > 1 ? h[1] : std::string_view();
    };
    taxa.reserve(made[0].size() + made[1].size());
    for (int half = 0; half < 2; ++half) {
        for (size_t i = 0; i < made[half].size(); ++i) {
            const Made& m = made[half][i];
            const size_t line = m.line + (half ? linesBefore : 0);
            size_t clash = 0;
            std::string id;
            if (m.ids & kAt) {
                std::string_view idText, parent;
                idsAt(static_cast<size_t>(m.ids & ~kAt), idText, parent);
                if (taxa.add(m.names, idText, parent, line, clash)) continue;
                id = idText;
            } else {
                const auto number = static_cast<uint32_t>(m.ids >> 32);
                if (taxa.add(m.names, number, static_cast<uint32_t>(m.ids), line, clash))
                    continue;
                id = std::to_string(number);
            }
            // The names not added yet are this reading's to free.
            auto drop = [](const Made& m) {
                freeName(m.names.latin);
                freeName(m.names.rank);
            };
            for (size_t k = i + 1; k < made[half].size(); ++k) drop(made[half][k]);
            if (half == 0)
                for (const Made& later : made[1]) drop(later);
            importFailure(nodesLabel, linePlace(line),
                          "tax_id " + id + " was given already on line " +
                              std::to_string(clash));
            return false;
        }
        std::vector<Made>().swap(made[half]);
    }
    if (facts) {
        ids.reserve(idsOf[0].size() + idsOf[1].size());
        for (auto& half : idsOf) {
            ids.insert(ids.end(), half.begin(), half.end());
            std::vector<std::string_view>().swap(half);
        }
    }
    taxa.link(nodesLabel);
    for (const auto& [id, common] : commonNames) {
        const size_t row = taxa.rowOf(id);
        if (row == SIZE_MAX) continue;
        taxa.setCommon(row, common);
    }
    std::vector<std::pair<std::string, std::string>>().swap(commonNames);
    if (!options.root.empty()) {
        // A tax_id first; else the first node of that scientific name (any case).
        size_t root = taxa.rowOf(options.root);
        if (root == SIZE_MAX) {
            DumpRows rows(names);
            std::string cleaned;
            while (root == SIZE_MAX && rows.next(f, 4, count))
                if (count == 4 && f[3] == "scientific name" &&
                    equalsIgnoreCase(cleanedName(f[1], cleaned), options.root))
                    root = taxa.rowOf(f[0]);
        }
        if (root == SIZE_MAX) {
            importFailure(label, {}, "no taxon named or numbered " + options.root +
                                         " to show the subtree of");
            return false;
        }
        taxa.choose(root);
    }
    if (facts && !mergedFile.empty()) {
        DumpRows merged(package.data(mergedFile));
        while (merged.next(f, 2, count))
            if (count == 2) facts->facts.addPendingFormerId(f[1], f[0]);
    }
    if (facts) {
        size_t textBytes = 0;
        for (std::string_view id : ids) textBytes += id.size() + 1;
        facts->facts.reserve(ids.size(), textBytes);
    }
    const bool built = taxa.build(tree, label, static_cast<int64_t>(nodes.size() + names.size()),
                                  [&](const TreeNode* n, size_t row) {
                                      if (facts && ids[row].find('\0') == std::string_view::npos)
                                          facts->facts.add(n, ids[row], {});
                                  });
    if (!built) return false;
    const char* l = label.c_str();
    if (taxa.orphans())
        consolePrintf("%s: %zu taxa whose parent is not in nodes.dmp hung under the root\n", l,
                      taxa.orphans());
    if (nameless[0] + nameless[1])
        consolePrintf("%s: %zu taxa without a scientific name in names.dmp named by their tax_id\n",
                      l, nameless[0] + nameless[1]);
    if (!deletedFile.empty()) {
        DumpRows deleted(package.data(deletedFile));
        size_t n = 0;
        while (deleted.next(f, 1, count)) n += count > 0 && !f[0].empty();
        consolePrintf("%s: delnodes.dmp lists %zu deleted tax_ids\n", l, n);
    }
    return true;
}

}  // namespace

bool importTaxdump(ClassificationTree& tree, Package& package, const std::string& label,
                   const ImportOptions& options) {
    PackageReading reading(package);
    const bool ok = readTaxdump(tree, package, label, options);
    return reading.finish(tree, ok, label);
}

}  // namespace imp
