// NCBI's taxdump: nodes.dmp links each tax_id to its parent and gives its rank, names.dmp
// gives its names by class, merged.dmp the old tax_ids merged into others, delnodes.dmp the
// deleted ones. Both layouts of the dump (the classic one and the "new" one, whose nodes.dmp
// has more columns and which adds lineage files) hold these four files alike.
#include <algorithm>
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

// A name's place in names.dmp.
struct Named {
    uint32_t at = 0, length = 0;
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
    ByIdentifier<Named> named(identifierLimit(nodes.size() + names.size()));
    std::unordered_map<std::string_view, Common> commons;
    std::string_view f[4];
    size_t count = 0;
    {
        DumpRows rows(names);
        while (rows.next(f, 4, count)) {
            if (count < 4 || f[0].empty() || f[1].empty()) continue;
            const std::string_view kind = f[3];
            if (kind == "scientific name") {
                Named& n = named.at(f[0]);
                if (n.length) continue;  // the first stays
                n.at = static_cast<uint32_t>(f[1].data() - names.data());
                n.length = static_cast<uint32_t>(std::min<size_t>(f[1].size(), INT32_MAX));
            } else if (kind == "genbank common name" || kind == "common name") {
                const int priority = kind[0] == 'g' ? 2 : 1;
                Common& c = commons[f[0]];
                if (priority > c.priority) c = {f[1], priority};
            }
        }
    }
    auto nameOf = [&](std::string_view id) {
        const Named* n = named.find(id);
        return n && n->length ? names.substr(n->at, n->length) : std::string_view();
    };

    // Each node made as its row is read; the links joined once all are.
    DumpTaxa taxa(identifierLimit(nodes.size()));
    FactsCollector* facts = collectingFacts();
    std::vector<std::string_view> ids;  // of each row, for the facts
    // A taxdump chosen by its nodes.dmp is named so already.
    const std::string nodesLabel = label.ends_with(nodesFile) ? label : label + ": " + nodesFile;
    // Large dumps are read in two halves on two threads, split at a line: each half makes
    // the nodes of its rows; they are then added in the order of the rows.
    struct Made {
        TreeNode* node;
        std::string_view id, parent;
        size_t line;
    };
    std::vector<Made> made[2];
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
        std::string scratch;
        std::string_view g[3];
        size_t n = 0;
        while (rows.next(g, 3, n)) {
            if (n == 0 || g[0].empty()) continue;
            const std::string_view id = g[0];
            std::string_view latin = nameOf(id);
            if (latin.empty()) {
                ++nameless[half];
                latin = id;  // named by its tax_id, so that it can still be found
            } else {
                latin = cleanedName(latin, scratch);
            }
            const RankInfo& rank = rankWords.of(n > 2 ? rankWord(g[2]) : std::string_view());
            auto* node = new TreeNode;
            node->latinName = newName(latin.data(), latin.size());
            node->rankName = newName(rank.name.data(), rank.name.size());
            node->commonName = newName("", 0);
            made[half].push_back({node, id, n > 1 ? g[1] : std::string_view(), rows.line()});
        }
        if (half == 0) linesBefore = rows.line();
    });
    taxa.reserve(made[0].size() + made[1].size());
    if (facts) ids.reserve(made[0].size() + made[1].size());
    for (int half = 0; half < 2; ++half) {
        for (size_t i = 0; i < made[half].size(); ++i) {
            const Made& m = made[half][i];
            const size_t line = m.line + (half ? linesBefore : 0);
            size_t clash = 0;
            if (taxa.add(m.node, m.id, m.parent, line, clash)) {
                if (facts) ids.push_back(m.id);
                continue;
            }
            // The nodes not added yet are this reading's to free.
            for (size_t k = i + 1; k < made[half].size(); ++k) delete made[half][k].node;
            if (half == 0)
                for (const Made& later : made[1]) delete later.node;
            importFailure(nodesLabel, linePlace(line),
                          "tax_id " + std::string(m.id) + " was given already on line " +
                              std::to_string(clash));
            return false;
        }
        std::vector<Made>().swap(made[half]);
    }
    std::string scratch;
    taxa.link(nodesLabel);
    for (const auto& [id, common] : commons) {
        const size_t row = taxa.rowOf(id);
        if (row == SIZE_MAX) continue;
        cleanName(common.name, scratch);
        TreeBuilder::setCommon(taxa.node(row), scratch);
    }
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
