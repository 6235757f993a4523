// Trees built from rows or from taxa linked by identifiers, handed to the caller's tree only
// when complete.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "IdIndex.h"
#include "NameCleaning.h"
#include "ReadingNotes.h"
#include "TextArena.h"
#include "TreeNode.h"

namespace imp {

// `usual`, or 0 when readings are to be split always: tests and fuzz targets have every
// reading of linked taxa and names that is split when large split however small it is, so
// as to hold the split readings to the others.
size_t splitFrom(size_t usual);
void splitReadingsAlways(bool on);

// Builds a tree under a holder node and hands it to the caller's tree only when complete.
class TreeBuilder {
public:
    // `expectedTaxa` sizes the index up front (it grows when that was too few).
    explicit TreeBuilder(size_t expectedTaxa = 0);
    ~TreeBuilder();
    // Sizes the index of a builder that holds no taxa yet for `expectedTaxa`.
    void reserve(size_t expectedTaxa);
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    // Stands above the top taxa.
    TreeNode* top() const;
    // The child of `parent` of that name and rank, appended if it has none.
    TreeNode* child(TreeNode* parent, std::string_view latin, std::string_view rank);
    // A new child, appended without looking for one of the same name.
    TreeNode* append(TreeNode* parent, std::string_view latin, std::string_view rank);
    static void setCommon(TreeNode* node, std::string_view common);
    // With the key's hash(), known early: prefetch() starts fetching the index's memory
    // that child() will read. In a table grouped by its ranks only the children of a
    // parent that has a good many of them are in the index, the others are compared one by
    // one; in a table in any other order every taxon is in it.
    bool indexed(const TreeNode* parent) const;
    static size_t hash(const TreeNode* parent, std::string_view latin);
    TreeNode* child(TreeNode* parent, std::string_view latin, std::string_view rank, size_t hash);
    void prefetch(size_t hash) const;
    // Takes over the taxa `later` built from the rows that follow this builder's rows, as if
    // this builder had read them itself; `later` is left empty.
    void absorb(TreeBuilder& later);

    // The taxa of a tree read in two parts can be numbered by two threads before the parts
    // are joined: planNumbering() works out, from the two trees, the numbers, levels and
    // counts the joined tree will have; then numberPart() of either part runs on its own
    // thread (they share nothing); then absorb() joins them and checks the plan, and
    // finish() takes the numbers as they are when the plan held and walks the tree again
    // when it did not. Either way the tree is the same.
    struct Part {
        int32_t first = 0;  // number of the first taxon numbered
        int32_t shift = 0;  // added to each level below top()
        size_t skip = 0;    // the first taxa, which pair with taxa of the part before
        int32_t leaves = 0, deepest = 0;
        RankSet ranks;
    };
    void planNumbering(TreeBuilder& later);
    Part& part() { return m_part; }
    void numberPart();

    // The caller has given every taxon its number, level and colour already, as a walk of
    // the tree would (the made root, if one is made, numbered 0 and the top taxa from level
    // 1), and counted the taxa, the leaves (childless taxa, the one top taxon among them when
    // it has no children) and the ranks in the order of that walk: finish() takes them as
    // they are.
    void numberedAlready(int32_t taxa, int32_t leaves, const RankSet& ranks);

    // Makes the root (the one top taxon, or a made root named after `label`), numbers the
    // taxa in reading order, fills levels, counts, rank names and colours, and hands the
    // tree over to `tree`. False after a diagnostic when the tree is empty or too deep.
    bool finish(ClassificationTree& tree, const std::string& label, int64_t fileSize);

private:
    struct Index;
    static constexpr size_t kScannedChildren = 32;  // or more are found through the index
    // New taxa, each the first of its row, by which the order of the rows is judged (see
    // noteMade()).
    static constexpr int32_t kOrderSample = 64;
    TreeNode* scannedChild(TreeNode* parent, std::string_view latin, std::string_view rank);
    void indexChildren(const TreeNode* parent);
    void noteMade(const TreeNode* parent, const TreeNode* made);
    void indexAll();
    // Appends a child made elsewhere; `h` and `slot` are from the index's find() when the
    // parent is indexed.
    void adopt(TreeNode* parent, TreeNode* c, size_t h, size_t slot);
    bool finishNumbered(ClassificationTree& fresh, bool madeRoot);
    void finishGiven(ClassificationTree& fresh, bool madeRoot);

    std::unique_ptr<ClassificationTree> m_holder;
    std::unique_ptr<Index> m_index;
    int32_t m_made = 0;  // taxa made
    size_t m_expected = 0;
    // Parents with fewer children are searched child by child; 0 once every taxon is in
    // the index.
    size_t m_scanLimit = kScannedChildren;
    // Of the first kOrderSample taxa each first made by its row, those made near the taxon
    // made before them.
    int32_t m_judged = 0, m_near = 0;
    const TreeNode* m_lastParent = nullptr;
    const TreeNode* m_lastMade = nullptr;
    bool m_orderJudged = false;
    bool m_indexAll = false;  // judged so, and still to be done
    Part m_part;
    Part* m_laterPart = nullptr;
    // The plan: this tree's last path and the later tree's first, down as far as they hold
    // the same taxa; whether this end of that path was childless; one top taxon or several.
    std::vector<std::pair<TreeNode*, TreeNode*>> m_pairs;
    std::vector<bool> m_pairWasLeaf;
    bool m_planned = false, m_planHeld = false, m_oneTop = false;
    // Set by numberedAlready().
    bool m_given = false;
    int32_t m_givenTaxa = 0, m_givenLeaves = 0;
    RankSet m_givenRanks;
};

// Every node of `tree` in reading order gets its number and level; counts and rankNames
// are made again, and with `colours` every node's colour from its rank. False when a node
// lies deeper than kMaxClassificationDepth.
bool renumber(ClassificationTree& tree, bool colours = false);

// Taxa linked by identifiers (Darwin Core, ColDP): gathered in file order, linked once all
// are read.
class LinkedTaxa {
public:
    // Returns false (and `clash` = line of the first) for an identifier given twice.
    bool add(std::string_view id, std::string_view parentId, std::string_view latin,
             std::string_view rank, size_t line, size_t& clash);
    // A taxon keeps the first of its common names given in English, a name its publisher
    // marks as preferred before other names of its language; else the first in any
    // language, a preferred one before others.
    void setCommon(std::string_view id, std::string_view common, bool english,
                   bool preferred = false);
    // The identifier of a taxon about to be added (see IdIndex::expect).
    void expect(std::string_view id) { m_byId.expect(id); }
    // Taxa added from now on are indexed by indexDeferred(), all at once, and not as they
    // are added; add() then finds no identifier given twice, indexDeferred() does (false).
    // For a file read in one piece (absorb() looks identifiers up in the index).
    void deferIndex() { m_deferIndex = true; }
    bool indexing() const { return !m_deferIndex; }
    bool indexDeferred();
    // Texts given to add() that lie in `file` or `names` (a file read and the names it
    // points at, which outlive the building) are kept where they lie, not copied.
    void keepInPlace(std::string_view file, std::string_view names) { m_inPlace = {file, names}; }
    // Links the taxa and builds the tree; false after one diagnostic naming `label` on a
    // missing parent, a cycle, or too deep a tree.
    bool build(ClassificationTree& tree, const std::string& label, int64_t fileSize);
    size_t size() const { return m_taxa.size(); }
    // Taxa from this many on are linked on two threads.
    static constexpr size_t kTwoThreadsFrom = size_t{1} << 16;
    void linkOnTwoThreadsFrom(size_t taxa) { m_twoThreadsFrom = taxa; }
    // Room for `count` taxa, of which `indexed` are added here (the rest taken over from a
    // later part), without growing.
    void reserve(size_t count, size_t indexed);
    // Rows that are no taxa of the tree, for the taxa that name them as parent: a synonym
    // names its accepted taxon (empty when it names none).
    void addSynonym(std::string_view id, std::string_view accepted);
    // Parents (and the accepted taxa of synonyms) are given by name, not identifier: a
    // taxon's full name as written is registered here; build() finds a parent by it, else by
    // the name without authorship.
    void linkByName() { m_byName = true; }
    void addName(std::string_view written, std::string_view id);
    ReadingNotes& notes() { return m_notes; }
    // The start of the identifiers made up for rows that give none. A later part's differs
    // from this one's, so that taking it over finds no clash among them.
    const std::string& idlessMark() const { return m_idlessMark; }
    void markIdlessAs(std::string mark) { m_idlessMark = std::move(mark); }
    // Takes over the taxa, synonyms and notes `later` read from the rows that follow this
    // one's, their lines counted after `linesBefore`, as if this one had read them. False
    // when one of them has an identifier given before: `clash` then tells the first such.
    struct Clash {
        std::string id;
        size_t line = 0, first = 0;  // where given again, where given first
    };
    bool absorb(LinkedTaxa& later, size_t linesBefore, Clash& clash);
    // The last identifier add() found given before (its id empty when none).
    const Clash& lastClash() const { return m_clash; }
    // Taxa added with the key of their name in place of it, and no rank (a package whose
    // names are in a file read beside its taxa) get them: `nameOf(key, latin, rank, scratch,
    // half)` gives each taxon's, `latin` perhaps in `scratch`; it is called for the two
    // halves of the taxa on two threads at once, `half` 0 or 1. False when a taxon has no
    // name: the taxa are then to be read again, as they would be in turn.
    using NameOf = std::function<bool(std::string_view key, std::string_view& latin,
                                      std::string_view& rank, std::string& scratch, int half)>;
    bool nameTaxa(const NameOf& nameOf);
    // As made, for a reading of the same file again: its settings and its file's notes stay.
    void startAgain();

private:
    // The number of the taxon of identifier `id`, or IdIndex::kNone.
    uint32_t numberOf(std::string_view id) const;
    // The taxon `key` (an identifier, or a name when linked by name) names; UINT32_MAX when
    // none. `synonym` says it was found through a synonym.
    uint32_t find(std::string_view key, bool& synonym, bool& known) const;
    uint32_t findOne(std::string_view key) const;
    auto idOf() const {
        return [this](uint32_t i) { return m_taxa[i].id; };
    }
    std::string_view keep(std::string_view text) { return keep(text, m_text); }
    std::string_view keep(std::string_view text, TextArena& arena) const {
        for (std::string_view whole : m_inPlace)
            if (TextArena::within(text, whole)) return text;
        return arena.keep(text);
    }
    // Its texts lie in m_text or where keepInPlace() allows. Millions of these are kept: a rank is one of m_ranks, and
    // the few taxa with a common name point into m_commons (0: none).
    struct Taxon {
        std::string_view id, parent, latin;
        size_t line = 0;
        uint32_t rank = 0, common = 0;
    };
    struct Common {
        std::string_view name;
        bool english = false, preferred = false;
        int rank() const { return english * 2 + preferred; }
    };
    std::vector<Taxon> m_taxa;
    TextArena m_text;
    std::array<std::string_view, 2> m_inPlace;
    std::vector<std::string_view> m_ranks;
    std::vector<Common> m_commons{Common()};
    size_t m_twoThreadsFrom = splitFrom(kTwoThreadsFrom);
    IdIndex m_byId;  // into m_taxa
    // The indexes of taxa taken over from later parts, and the number of each's first taxon.
    std::vector<std::pair<IdIndex, uint32_t>> m_laterIds;
    std::unordered_map<std::string, std::string> m_synonymOf;
    std::unordered_map<std::string, uint32_t> m_nameIndex, m_latinIndex;
    bool m_byName = false, m_deferIndex = false;
    ReadingNotes m_notes;
    Clash m_clash;
    std::string m_idlessMark = madeUpKey('\2');
};

// Calls each(from, to, half) for the two halves of [0, count), half 0 on this thread and half
// 1 on a second one when `count` is at least `twoThreadsFrom`; else each(0, count, 0). What
// either throws is thrown here once both are done.
void inHalves(size_t count, size_t twoThreadsFrom,
              const std::function<void(size_t from, size_t to, int half)>& each);

// Gives `fresh` the fields of `tree` that an importer does not own (the root's square, maxLevel,
// treeId), as the classification reader leaves them, before the two trees swap contents.
void keepCallerFields(ClassificationTree& fresh, const ClassificationTree& tree);

}  // namespace imp
