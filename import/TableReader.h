// The rows of a rank-column table made into taxa: each row's path read from the highest rank
// down, its own taxon at the end, and the taxa found or made in a TreeBuilder.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Delimited.h"
#include "StatusWords.h"
#include "TableHeader.h"
#include "TaxonFacts.h"
#include "TreeBuilder.h"

namespace imp {

constexpr size_t kNone = SIZE_MAX;  // a column the header does not have

// A taxon of a row's path. Its name is not copied: it lies in a cell of the rank columns or
// in a text the row made (a joined epithet, the row's own name), both kept until the row's
// taxa are found or made.
struct Step {
    int order;
    int twenty;  // the rank's Rank value, or -1
    const std::string* rank;
    std::string_view name;
};

class TableReader {
    struct Path;

public:
    // With `facts`, the identifiers, authorship and synonyms of the rows go there.
    TableReader(const Columns& c, TreeBuilder& builder, TaxonFacts* facts = nullptr);

    // A row's taxa are found or made one row late: the first lookup of its path is known,
    // so its place in the index is fetched from memory while the next row is parsed.
    bool row(const Row& r);
    // The status and rank words the rows had that nobody knows.
    StatusTally& statuses() { return m_statuses; }
    RankTally& ranks() { return m_ranks; }
    // Lines after the header that begin with '#': notes, no taxa.
    size_t& noteLines() { return m_noteLines; }
    // The last row's taxa.
    void flush() {
        if (m_pending) descend(*m_pending);
        m_pending = nullptr;
    }

private:
    // The row's path into *m_cur; false when it names no taxon.
    bool path(const Row& r);

    // The step of rank column k, if its cell names a taxon.
    void rankCell(const Row& r, size_t k);

    // The steps of `p` that repeat the last row's path: their taxa are found without hashing
    // or reading the taxa themselves. A name of an unchanged cell is the very text the last
    // row pointed at.
    size_t repeated(const Path& p) const;

    // Called when the last row's taxa are in m_last: what it finds holds until descend(p).
    void prefetch(Path& p) const;

    // The views of m_last stay valid until the next row's repeated(): a cell keeps the text
    // of the row before in its other slot, and the rows' own texts are in two Paths.
    void descend(const Path& p);

    // The identifier and authorship of the row's own taxon, for descend().
    void rowFacts(const Row& r);

    // A row that is a synonym of the taxon it names by identifier or by name.
    void synonymRow(const Row& r);

    Step& next(int order, int twenty, const std::string* rank);
    const Step* find(int twenty) const;
    // Inserts a step in rank order.
    void insert(int order, int twenty, const std::string* rank, std::string_view name);

    // A text made for this row's path, kept as long as its Path.
    std::string& made();
    std::string_view joined(std::string_view above, std::string_view epithet);

    void joinEpithet(const Row& r, size_t column, int rank, int above, const std::string& rankText);

    // The row's own taxon from the scientific-name column, at the end of its path.
    void ownTaxon(const Row& r);

    // Without a genus above it, a species's genus is the first word of its name, and a
    // subspecies's species its first two words.
    void addWordRanks();

    // A copy of its own: the columns are read for every row by both threads, and the first
    // thread writes next to where the caller keeps them.
    const Columns m_c;
    TreeBuilder& m_builder;
    TaxonFacts* m_facts;
    struct Last {
        TreeNode* node = nullptr;
        std::string_view name;
        const std::string* rank = nullptr;
    };
    std::vector<Last> m_last;  // the last row's path
    size_t m_lastSteps = 0;
    struct Path {
        std::vector<Step> path;
        size_t steps = 0;
        std::string ownRank;  // the rank of the row's own taxon, when it has one
        std::string common;
        // Of the row's own taxon, when facts are collected.
        std::string id, authorship, synonyms;
        size_t repeated = 0;  // steps that repeat the path of the row before
        size_t hash = 0;      // of the first step that does not, when its parent is
        bool hashed = false;  // found through the index
        // Texts made for the path: joined epithets, the row's own name. Each on the heap, so
        // that a view of one stays put while more are made.
        std::vector<std::unique_ptr<std::string>> texts;
        size_t made = 0;
        // For the row after: the steps there were after each rank column, the rank column
        // whose step is a joined name, and the steps left as the rank columns gave them.
        std::vector<size_t> stepsAfter;
        size_t joinedFrom = kNone;
        size_t untouched = 0;
        size_t copied = 0;  // leading steps taken over from the row before
    };
    Path m_paths[2];
    Path* m_cur = &m_paths[0];  // being read
    Path* m_pending = nullptr;  // read, its taxa not yet found or made
    Path* m_before = nullptr;   // the row just before's, when it named taxa
    struct Cell {
        bool known = false;
        std::string raw;       // as the file has it
        std::string names[2];  // cleaned, capitals made usual: this row's and the last
        int slot = 0;          // this row's
        bool placeholder = true;
        bool epithet = false;
    };
    std::vector<Cell> m_cells;  // by rank column, from the last row that had it
    std::string m_scratch, m_common;
    const RankInfo m_species = rankOf("Species");
    StatusTally m_statuses;
    RankTally m_ranks;
    RankInfo m_lastRank;
    RankWords m_shapeRanks;  // the ranks names' shapes give
    size_t m_noteLines = 0;
    bool m_lastRankKnown = false;
    std::string m_lastRankText;
    const std::string m_genusName = "Genus", m_speciesName = "Species",
                      m_subspeciesName = "Subspecies";
};

}  // namespace imp
