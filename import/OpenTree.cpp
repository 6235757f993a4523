// The Open Tree taxonomy: taxonomy.tsv (uid, parent_uid, name, rank, sourceinfo, uniqname,
// flags, under a header row) and synonyms.tsv (name, uid, type, uniqname, sourceinfo), both
// in the dump layout of fields between bars. Every taxon is read, flagged or not, as the
// project's own browser shows them; the flags are counted.
#include <map>
#include <unordered_map>

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

    // Each taxon's names taken as its row is read; the links joined once all are. The rows'
    // flags by the few sets of them the file writes, counted for the taxa kept.
    DumpTaxa taxa(identifierLimit(data.size()));
    std::vector<std::string_view> ids;  // of each row, for the facts
    std::unordered_map<std::string_view, uint32_t> flagSets{{std::string_view(), 0}};
    std::vector<std::string_view> flagSetText{std::string_view()};
    std::vector<uint32_t> flagsOf;
    RankWords rankWords;
    std::string scratch;
    size_t named = SIZE_MAX, nameless = 0;
    {
        DumpRows rows(data);
        rows.next(f, 0, count);  // the header
        while (rows.next(f, want, count)) {
            const std::string_view id = field(uid);
            if (id.empty()) continue;
            std::string_view latin = cleanedName(field(name), scratch);
            if (latin.empty()) {
                ++nameless;
                latin = id;  // named by its uid, so that its children still have a parent
            }
            if (named == SIZE_MAX && !options.root.empty() && equalsIgnoreCase(latin, options.root))
                named = taxa.rows();
            // "no rank" and "no rank - terminal" (a tip without a rank) name no rank.
            std::string_view rankText = field(rankColumn);
            if (rankText.starts_with("no rank")) rankText = {};
            const RankInfo& rank = rankWords.of(rankText);
            const DumpTaxa::Names taxon{newName(latin.data(), latin.size()),
                                        newName(rank.name.data(), rank.name.size())};
            size_t clash = 0;
            if (!taxa.add(taxon, id, field(parentUid), rows.line(), clash)) {
                importFailure(fileLabel, linePlace(rows.line()),
                              "uid " + std::string(id) + " was given already on line " +
                                  std::to_string(clash));
                return false;
            }
            if (facts) ids.push_back(id);
            auto [set, fresh] =
                flagSets.try_emplace(field(flagsColumn), static_cast<uint32_t>(flagSetText.size()));
            if (fresh) flagSetText.push_back(field(flagsColumn));
            flagsOf.push_back(set->second);
        }
    }
    taxa.link(fileLabel);
    if (!options.root.empty()) {
        size_t root = taxa.rowOf(options.root);
        if (root == SIZE_MAX) root = named;
        if (root == SIZE_MAX) {
            importFailure(label, {}, "no taxon named or numbered " + options.root +
                                         " to show the subtree of");
            return false;
        }
        taxa.choose(root);
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
    std::vector<size_t> setCount(flagSetText.size(), 0);
    const bool built = taxa.build(tree, label, static_cast<int64_t>(data.size()),
                                  [&](const TreeNode* n, size_t row) {
                                      if (facts && ids[row].find('\0') == std::string_view::npos)
                                          facts->facts.add(n, ids[row], {});
                                      ++setCount[flagsOf[row]];
                                  });
    if (!built) return false;
    size_t withFlags = 0;
    std::map<std::string, size_t, std::less<>> flagged;
    for (size_t k = 1; k < flagSetText.size(); ++k) {
        if (!setCount[k]) continue;
        withFlags += setCount[k];
        std::string_view flags = flagSetText[k];
        while (!flags.empty()) {
            const size_t comma = std::min(flags.find(','), flags.size());
            std::string_view word = flags.substr(0, comma);
            while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
            while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
            if (!word.empty()) {
                auto it = flagged.find(word);
                if (it == flagged.end()) it = flagged.emplace(std::string(word), 0).first;
                it->second += setCount[k];
            }
            flags.remove_prefix(std::min(comma + 1, flags.size()));
        }
    }
    const char* l = label.c_str();
    if (taxa.orphans())
        consolePrintf("%s: %zu taxa whose parent is not in taxonomy.tsv hung under the root\n", l,
                      taxa.orphans());
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
