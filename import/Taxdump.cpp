// NCBI's taxdump: nodes.dmp links each tax_id to its parent and gives its rank, names.dmp
// gives its names by class, merged.dmp the old tax_ids merged into others, delnodes.dmp the
// deleted ones. Both layouts of the dump (the classic one and the "new" one, whose nodes.dmp
// has more columns and which adds lineage files) hold these four files alike.
#include <algorithm>

#include "Console.h"
#include "DumpRows.h"
#include "DumpTaxa.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "Taxonomies.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

// A name's place in names.dmp.
struct Named {
    uint32_t at = 0, length = 0;
};

// NCBI's rank words where the rank table spells the rank otherwise: NCBI's superkingdom is
// the domain of other taxonomies (NCBI itself renamed it so).
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

    // The links of the nodes, mended where they are broken, before any taxon is made.
    DumpLinks links(identifierLimit(nodes.size()));
    // A taxdump chosen by its nodes.dmp is named so already.
    const std::string nodesLabel = label.ends_with(nodesFile) ? label : label + ": " + nodesFile;
    {
        DumpRows rows(nodes);
        while (rows.next(f, 1, count))
            if (count > 0 && !f[0].empty()) links.row(f[0], rows.line());
    }
    {
        DumpRows rows(nodes);
        size_t row = 0;
        while (rows.next(f, 2, count))
            if (count > 0 && !f[0].empty()) links.parent(row++, f[0], count > 1 ? f[1] : std::string_view());
    }
    std::vector<std::string_view> idOfRow;  // only for the names in a cycle's warning
    links.mend(nodesLabel, [&](size_t r) {
        if (idOfRow.empty()) {
            DumpRows rows(nodes);
            while (rows.next(f, 1, count))
                if (count > 0 && !f[0].empty()) idOfRow.push_back(f[0]);
        }
        const std::string_view name = nameOf(idOfRow[r]);
        return std::string(name.empty() ? idOfRow[r] : name);
    });
    if (!options.root.empty()) {
        // A tax_id first; else the first node of that scientific name (any case).
        size_t root = links.rowOf(options.root);
        if (root == SIZE_MAX) {
            DumpRows rows(names);
            std::string cleaned;
            while (root == SIZE_MAX && rows.next(f, 4, count))
                if (count == 4 && f[3] == "scientific name" &&
                    equalsIgnoreCase(cleanedName(f[1], cleaned), options.root))
                    root = links.rowOf(f[0]);
        }
        if (root == SIZE_MAX) {
            importFailure(label, {}, "no taxon named or numbered " + options.root +
                                         " to show the subtree of");
            return false;
        }
        links.choose(root);
    }

    LinkedTaxa taxa;
    taxa.keepInPlace(nodes, names);
    FactsCollector* facts = collectingFacts();
    RankWords rankWords;
    std::string scratch;
    size_t row = 0, nameless = 0;
    DumpRows rows(nodes);
    while (rows.next(f, 3, count)) {
        if (count == 0 || f[0].empty()) continue;
        const size_t at = row++;
        if (!links.keeps(at)) continue;
        const std::string_view id = f[0];
        std::string_view parent = count > 1 ? f[1] : std::string_view();
        const DumpLinks::Link link = links.link(at);
        if (link == DumpLinks::Link::None) parent = {};
        else if (link == DumpLinks::Link::Root) parent = links.rootId();
        std::string_view latin = nameOf(id);
        if (latin.empty()) {
            ++nameless;
            latin = id;  // named by its tax_id, so that it can still be found
        } else {
            latin = cleanedName(latin, scratch);
        }
        const RankInfo& rank = rankWords.of(count > 2 ? rankWord(f[2]) : std::string_view());
        size_t clash = 0;
        if (!taxa.add(id, parent, latin, rank.name, rows.line(), clash)) {
            importFailure(nodesLabel, linePlace(rows.line()),
                          "tax_id " + std::string(id) + " was given already on line " +
                              std::to_string(clash));
            return false;
        }
        if (facts) facts->linkedTaxon(id, {});
    }
    for (const auto& [id, common] : commons) {
        cleanName(common.name, scratch);
        taxa.setCommon(id, scratch, true, common.priority == 2);
    }
    if (facts && !mergedFile.empty()) {
        DumpRows merged(package.data(mergedFile));
        while (merged.next(f, 2, count))
            if (count == 2) facts->facts.addPendingFormerId(f[1], f[0]);
    }
    if (!taxa.build(tree, label, static_cast<int64_t>(nodes.size() + names.size()))) return false;
    const char* l = label.c_str();
    if (links.orphans())
        consolePrintf("%s: %zu taxa whose parent is not in nodes.dmp hung under the root\n", l,
                      links.orphans());
    if (nameless)
        consolePrintf("%s: %zu taxa without a scientific name in names.dmp named by their tax_id\n",
                      l, nameless);
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
