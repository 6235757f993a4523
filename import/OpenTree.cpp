// The Open Tree taxonomy: taxonomy.tsv (uid, parent_uid, name, rank, sourceinfo, uniqname,
// flags, under a header row) and synonyms.tsv (name, uid, type, uniqname, sourceinfo), both
// in the dump layout of fields between bars. Every taxon is read, flagged or not, as the
// project's own browser shows them; the flags are counted.
#include <map>

#include "Console.h"
#include "DumpRows.h"
#include "DumpTaxa.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "Taxonomies.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

constexpr size_t kFields = 8;

// The column of each of `keys` in the header row, else its place in the published layout.
void columns(const std::string_view* header, size_t count,
             std::initializer_list<std::pair<const char*, size_t*>> keys) {
    for (auto [key, column] : keys)
        for (size_t i = 0; i < count; ++i)
            if (headerKey(header[i]) == key) *column = i;
}

// Kinds of synonyms.tsv rows that are other names of the taxon; not its common names, its
// authority, or names of groups it only takes in part.
bool isOtherName(std::string_view type) {
    return type.empty() || type == "synonym" || type == "misspelling" ||
           type == "equivalent name" || type == "genbank synonym" || type == "anamorph" ||
           type == "teleomorph" || type == "basionym" || type == "orthographic variant";
}

bool readOpenTree(ClassificationTree& tree, Package& package, const std::string& label,
                  const ImportOptions& options) {
    auto fail = [&](const std::string& what) {
        importFailure(label, {}, what);
        return false;
    };
    const std::string taxonomyFile = package.find("taxonomy.tsv"),
                      synonymsFile = package.find("synonyms.tsv");
    if (taxonomyFile.empty()) return fail("no taxonomy.tsv in the Open Tree taxonomy");
    std::vector<std::string> wanted{taxonomyFile};
    FactsCollector* facts = collectingFacts();
    if (facts && !synonymsFile.empty()) wanted.push_back(synonymsFile);
    std::string error;
    if (!package.load(wanted, error)) return fail(error);
    std::string_view data = package.data(taxonomyFile);
    const std::string fileLabel = label.ends_with(taxonomyFile) ? label : label + ": " + taxonomyFile;

    std::string_view f[kFields];
    size_t count = 0;
    size_t uid = 0, parentUid = 1, name = 2, rankColumn = 3, flagsColumn = 6;
    {
        DumpRows header(data);
        if (!header.next(f, kFields, count) || count < 3 || headerKey(f[0]) != "uid") {
            importFailure(fileLabel, linePlace(1),
                          "no header row beginning with uid (uid, parent_uid, name, rank, "
                          "sourceinfo, uniqname, flags)");
            return false;
        }
        columns(f, count, {{"uid", &uid}, {"parentuid", &parentUid}, {"name", &name},
                           {"rank", &rankColumn}, {"flags", &flagsColumn}});
    }
    const size_t want = std::max({uid, parentUid, name, rankColumn, flagsColumn}) + 1;
    if (want > kFields) return fail("more columns than the Open Tree taxonomy has");
    auto field = [&](size_t column) { return column < count ? f[column] : std::string_view(); };

    // The links of the taxa, mended where they are broken, before any taxon is made; the
    // first taxon of the name asked for, should no uid be asked for.
    DumpLinks links(identifierLimit(data.size()));
    size_t named = SIZE_MAX;
    std::string cleaned;
    {
        DumpRows rows(data);
        rows.next(f, 0, count);  // the header
        while (rows.next(f, want, count)) {
            if (field(uid).empty()) continue;
            if (named == SIZE_MAX && !options.root.empty() &&
                equalsIgnoreCase(cleanedName(field(name), cleaned), options.root))
                named = links.rows();
            links.row(field(uid), rows.line());
        }
    }
    std::vector<std::string_view> nameOfRow;  // only for the names in a cycle's warning
    {
        DumpRows rows(data);
        rows.next(f, 0, count);
        size_t row = 0;
        while (rows.next(f, want, count))
            if (!field(uid).empty()) links.parent(row++, field(uid), field(parentUid));
    }
    links.mend(fileLabel, [&](size_t r) {
        if (nameOfRow.empty()) {
            DumpRows rows(data);
            rows.next(f, 0, count);
            while (rows.next(f, want, count))
                if (!field(uid).empty()) nameOfRow.push_back(field(name));
        }
        return std::string(nameOfRow[r]);
    });
    if (!options.root.empty()) {
        size_t root = links.rowOf(options.root);
        if (root == SIZE_MAX) root = named;
        if (root == SIZE_MAX) {
            importFailure(label, {}, "no taxon named or numbered " + options.root +
                                         " to show the subtree of");
            return false;
        }
        links.choose(root);
    }

    LinkedTaxa taxa;
    taxa.keepInPlace(data, {});
    RankWords rankWords;
    std::map<std::string, size_t, std::less<>> flagged;
    std::string scratch;
    size_t row = 0, nameless = 0, withFlags = 0;
    DumpRows rows(data);
    rows.next(f, 0, count);
    while (rows.next(f, want, count)) {
        const std::string_view id = field(uid);
        if (id.empty()) continue;
        const size_t at = row++;
        if (!links.keeps(at)) continue;
        std::string_view parent = field(parentUid);
        const DumpLinks::Link link = links.link(at);
        if (link == DumpLinks::Link::None) parent = {};
        else if (link == DumpLinks::Link::Root) parent = links.rootId();
        std::string_view latin = cleanedName(field(name), scratch);
        if (latin.empty()) {
            ++nameless;
            latin = id;  // named by its uid, so that its children still have a parent
        }
        // "no rank" and "no rank - terminal" (a tip without a rank) name no rank.
        std::string_view rankText = field(rankColumn);
        if (rankText.starts_with("no rank")) rankText = {};
        const RankInfo& rank = rankWords.of(rankText);
        size_t clash = 0;
        if (!taxa.add(id, parent, latin, rank.name, rows.line(), clash)) {
            importFailure(fileLabel, linePlace(rows.line()),
                          "uid " + std::string(id) + " was given already on line " +
                              std::to_string(clash));
            return false;
        }
        if (facts) facts->linkedTaxon(id, {});
        std::string_view flags = field(flagsColumn);
        withFlags += !flags.empty();
        while (!flags.empty()) {
            const size_t comma = std::min(flags.find(','), flags.size());
            std::string_view word = flags.substr(0, comma);
            while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
            while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
            if (!word.empty()) {
                auto it = flagged.find(word);
                if (it == flagged.end()) it = flagged.emplace(std::string(word), 0).first;
                ++it->second;
            }
            flags.remove_prefix(std::min(comma + 1, flags.size()));
        }
    }
    if (facts && !synonymsFile.empty()) {
        std::string_view s = package.data(synonymsFile);
        size_t sName = 0, sUid = 1, sType = 2;
        DumpRows synonyms(s);
        if (synonyms.next(f, kFields, count) && count > 0 && headerKey(f[0]) == "name")
            columns(f, count, {{"name", &sName}, {"uid", &sUid}, {"type", &sType}});
        else
            synonyms = DumpRows(s);  // no header: the published order
        const size_t sWant = std::max({sName, sUid, sType}) + 1;
        if (sWant <= kFields) {
            std::string cleaned;
            while (synonyms.next(f, sWant, count)) {
                if (!isOtherName(field(sType))) continue;
                facts->facts.addPendingSynonym(field(sUid), {}, cleanedName(field(sName), cleaned), {});
            }
        }
    }
    if (!taxa.build(tree, label, static_cast<int64_t>(data.size()))) return false;
    const char* l = label.c_str();
    if (links.orphans())
        consolePrintf("%s: %zu taxa whose parent is not in taxonomy.tsv hung under the root\n", l,
                      links.orphans());
    if (nameless) consolePrintf("%s: %zu taxa without a name named by their uid\n", l, nameless);
    if (withFlags) {
        std::string words;
        for (const auto& [word, n] : flagged)
            words += (words.empty() ? "" : ", ") + word + " " + std::to_string(n);
        consolePrintf("%s: %zu taxa carry flags, all read: %s\n", l, withFlags, words.c_str());
    }
    return true;
}

}  // namespace

bool importOpenTree(ClassificationTree& tree, Package& package, const std::string& label,
                    const ImportOptions& options) {
    PackageReading reading(package);
    const bool ok = readOpenTree(tree, package, label, options);
    return reading.finish(tree, ok, label);
}

}  // namespace imp
