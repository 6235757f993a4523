#include "ChangeList.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

#include "Cancellation.h"

#include "DiffLines.h"
#include "NameOrder.h"

namespace {

const char* const kKindNames[kChangeRowKinds] = {
    "moved", "rank",       "removed",        "added",         "renamed",
    "split", "lumped", "reshuffled", "only in tree 1", "only in tree 2"};

const char* const kColumnTitles[kChangeColumns] = {
    "Change", "Rank", "Name in tree 1", "Name in tree 2", "Evidence or relation", "Path"};

bool isSpecies(const TreeNode& node) { return std::strcmp(node.rankName, "Species") == 0; }

const char* nameOf(const TreeNode* node) { return node ? node->latinName : ""; }

char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsFolded(const char* name, const std::string& text) {
    const char* end = name + std::strlen(name);
    return std::search(name, end, text.begin(), text.end(), [](char a, char b) {
               return foldAscii(a) == foldAscii(b);
           }) != end;
}

bool within(const TreeNode* node, const TreeNode* ancestor) {
    for (; node; node = node->parent)
        if (node == ancestor) return true;
    return false;
}

std::string pathOf(const TreeNode* node) {
    std::string path;
    appendPath(path, node);
    return path;
}

// ISO-8859-1 bytes to UTF-8.
void appendUtf8(std::string& out, const std::string& latin1) {
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

void appendField(std::string& out, const std::string& field, char separator) {
    std::string utf8;
    appendUtf8(utf8, field);
    if (separator == '\t') {
        for (char& c : utf8)
            if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        out += utf8;
        return;
    }
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        out += utf8;
        return;
    }
    out += '"';
    for (char c : utf8) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// A node alone, or its whole subtree, in a depth-first walk of a tree.
struct WalkPiece {
    const TreeNode* node;
    bool whole;
    size_t size;  // the nodes it stands for, as far as the counts tell
};

// The walk of `tree` as pieces in its order, none of them larger than about an eighth of
// it where the tree allows: a piece too large is cut into its node alone and its children's
// subtrees. The sizes only balance the work; they need not be exact.
std::vector<WalkPiece> walkPieces(const TreeNode& tree) {
    auto sizeOf = [](const TreeNode* n) {
        return static_cast<size_t>(std::max(n->combinedDescendantCount, 0)) + 1;
    };
    std::vector<WalkPiece> pieces{{&tree, true, sizeOf(&tree)}};
    const size_t most = sizeOf(&tree) / 8 + 1;
    for (int cuts = 0; cuts < 64; ++cuts) {
        size_t largest = 0;
        for (size_t i = 1; i < pieces.size(); ++i)
            if (pieces[i].whole && pieces[i].size > pieces[largest].size) largest = i;
        const WalkPiece piece = pieces[largest];
        if (!piece.whole || piece.size <= most || piece.node->children.empty()) break;
        std::vector<WalkPiece> parts{{piece.node, false, 1}};
        for (const TreeNode* child : piece.node->children)
            parts.push_back({child, true, sizeOf(child)});
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(largest));
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(largest), parts.begin(), parts.end());
    }
    return pieces;
}

}  // namespace

const char* changeRowKindName(ChangeRowKind kind) {
    return kKindNames[static_cast<int>(kind)];
}

const char* changeColumnTitle(ChangeColumn column) {
    return kColumnTitles[static_cast<int>(column)];
}

void ChangeList::clear() {
    m_rows.clear();
    m_ranks.clear();
    m_rankKeys.clear();
    m_own2.clear();
    m_partners = nullptr;
    m_pending = false;
    ++m_generation;
    refresh();
}

void ChangeList::adopt(ChangeList&& made) {
    m_pending = made.m_pending;
    m_rows = std::move(made.m_rows);
    m_ranks = std::move(made.m_ranks);
    m_rankKeys = std::move(made.m_rankKeys);
    m_own2 = std::move(made.m_own2);
    m_partners = made.m_partners;
    m_tree1 = made.m_tree1;
    m_tree2 = made.m_tree2;
    m_relations = made.m_relations;
    made.m_pending = false;
    made.clear();
    ++m_generation;
    if (!m_pending) refresh();
}

std::pair<const TreeNode* const*, const TreeNode* const*> ChangeList::own2Named(
    const char* name) const {
    const auto [from, to] = std::equal_range(
        m_own2.begin(), m_own2.end(), name, [](auto a, auto b) {
            auto text = [](auto x) -> const char* {
                if constexpr (std::is_same_v<decltype(x), const char*>) return x;
                else return x->latinName;
            };
            return std::strcmp(text(a), text(b)) < 0;
        });
    return {m_own2.data() + (from - m_own2.begin()), m_own2.data() + (to - m_own2.begin())};
}

uint32_t ChangeList::rankIndex(const TreeNode* node) {
    for (size_t i = 0; i < m_ranks.size(); ++i)
        if (m_ranks[i] == node->rankName) return static_cast<uint32_t>(i);
    // One of the twenty keeps its place; any other rank goes just below the nearest of the
    // twenty above its first taxon, after others already placed there.
    int key = rankFromName(node->rankName);
    if (key >= 0) {
        key *= 1000;
    } else {
        key = -1000;
        for (const TreeNode* up = node->parent; up; up = up->parent) {
            const int known = rankFromName(up->rankName);
            if (known >= 0) {
                key = known * 1000;
                break;
            }
        }
        key += 1 + static_cast<int>(m_ranks.size());
    }
    m_ranks.push_back(node->rankName);
    m_rankKeys.push_back(key);
    return static_cast<uint32_t>(m_ranks.size() - 1);
}

void ChangeList::fill(const ClassificationTree& tree1, const ClassificationTree& tree2,
                      const RenamePairs& partners, const TaxonRelations& relations) {
    clear();
    m_tree1 = &tree1;
    m_tree2 = &tree2;
    m_partners = &partners;
    m_relations = &relations;
    m_pending = true;
}

void ChangeList::build() {
    m_pending = false;
    const ClassificationTree& tree1 = *m_tree1;
    const ClassificationTree& tree2 = *m_tree2;
    const RenamePairs& partners = *m_partners;
    const TaxonRelations& relations = *m_relations;
    // The rows were announced by fill(): making them now is no new generation.
    const uint64_t generation = m_generation;
    struct Keep {
        uint64_t& at;
        uint64_t value;
        ~Keep() { at = value; }
    } keep{m_generation, generation};
    m_rows.clear();
    m_ranks.clear();
    m_rankKeys.clear();
    m_own2.clear();
    m_partners = &partners;
    // The work is done on two threads, a step at a time: on a whole catalogue each step
    // spends its time fetching nodes from all over memory, and the viewer's second core is
    // idle once the first frame is drawn. Tree 2's walk and the sorting of its taxa by name
    // go beside tree 1's walk and the classifier.
    //
    // Trees put together without names (as some callers of the common tail do) have no
    // changes to tell.
    bool named1 = true, named2 = true;
    size_t marked = 0;  // tree 1's taxa held by one tree
    std::vector<const TreeNode*> own2;
    {
        ScopedThread side2([&] {
            size_t walked = 0;
            forEachNode(static_cast<const TreeNode*>(&tree2), [&](const TreeNode* n) {
                cancellationPoint(++walked);
                if (!n->latinName || !n->rankName) named2 = false;
                else if (n != &tree2 && (n->onlyInTree == 2 || (n->onlyInTree == 0 && isSpecies(*n))))
                    own2.push_back(n);
            });
        });
        size_t walked = 0;
        forEachNode(static_cast<const TreeNode*>(&tree1), [&](const TreeNode* n) {
            cancellationPoint(++walked);
            named1 = named1 && n->latinName && n->rankName;
            marked += n->onlyInTree != 0;
        });
        side2.join();
    }
    if (!named1 || !named2) {
        ++m_generation;
        refresh();
        return;
    }
    std::optional<DiffLines> made;
    {
        ScopedThread sorting([&] { stableSortByLatinName(own2); });
        made.emplace(tree1, tree2, partners);
        sorting.join();
    }
    m_own2 = std::move(own2);
    cancellationPoint();
    const DiffLines& lines = *made;
    // The original in tree 2 of a copy grafted into tree 1.
    auto original2 = [&](const TreeNode* copy) -> const TreeNode* {
        const auto [from, to] = own2Named(copy->latinName);
        const TreeNode* found = nullptr;
        for (const TreeNode* n : std::span(from, to)) {
            if (n->onlyInTree != 2 || std::strcmp(n->rankName, copy->rankName)) continue;
            if (!found) found = n;
            if (n->parent && copy->parent &&
                std::strcmp(n->parent->latinName, copy->parent->latinName) == 0)
                return n;
        }
        return found;
    };
    // The row of a node of tree 1's combined tree, if it gets one; its rank is set later, in
    // the order of the walk.
    auto rowOf = [&](const TreeNode* node, ChangeRow& row) {
        DiffLines::Told told;
        if (!lines.tell(*node, told)) return false;
        const TreeNode* counterpart = told.counterpart;
        row = ChangeRow();
        switch (told.kind) {
            case ChangeKind::Moved:
                row.kind = ChangeRowKind::Moved;
                row.node1 = node;
                row.node2 = counterpart;
                row.detail = static_cast<uint32_t>(told.movedWith);
                break;
            case ChangeKind::Rank:
                row.kind = ChangeRowKind::Rank;
                row.node1 = node;
                row.node2 = counterpart;
                break;
            case ChangeKind::Removed:
                row.kind = ChangeRowKind::Removed;
                row.node1 = node;
                break;
            case ChangeKind::Added:
                row.kind = ChangeRowKind::Added;
                row.node2 = original2(node);
                break;
            case ChangeKind::Renamed:
                // One row per pair, from tree 1's taxon; from tree 2's copy only where tree 1's
                // taxon is one both trees hold, which gets no line of its own.
                row.kind = ChangeRowKind::Renamed;
                if (node->onlyInTree == 1) {
                    row.node1 = node;
                    row.node2 = counterpart;
                } else {
                    if (!counterpart || counterpart->onlyInTree != 0) return false;
                    row.node1 = counterpart;
                    row.node2 = original2(node);
                }
                row.detail = static_cast<uint32_t>(told.evidence);
                break;
            default: return false;
        }
        row.pathOf = row.node1 ? row.node1 : row.node2 ? row.node2 : node;
        return true;
    };

    // Tree 1 in the order of a depth-first walk, cut into two runs of about equal size, each
    // walked by a thread of its own: the rows of the first run and then of the second are
    // the rows of one walk.
    const std::vector<WalkPiece> pieces = walkPieces(tree1);
    size_t total = 0;
    for (const WalkPiece& p : pieces) total += p.size;
    size_t cut = 0;
    for (size_t before = 0; cut < pieces.size() && before + pieces[cut].size / 2 < total / 2; ++cut)
        before += pieces[cut].size;
    // Each run keeps the ranks of its rows in the order it met them, with the node it first
    // met each at; the list's ranks are then made from them in the order of one walk.
    struct Found {
        std::vector<ChangeRow> rows;  // `rank` indexes firstOfRank
        std::vector<const TreeNode*> firstOfRank;
    };
    auto walkRun = [&](size_t from, size_t to, Found& found) {
        size_t steps = 0;
        ChangeRow row;
        auto visit = [&](const TreeNode* n) {
            cancellationPoint(++steps);
            if (!rowOf(n, row)) return;
            uint32_t r = 0;
            while (r < found.firstOfRank.size() && found.firstOfRank[r]->rankName != n->rankName &&
                   std::strcmp(found.firstOfRank[r]->rankName, n->rankName) != 0)
                ++r;
            if (r == found.firstOfRank.size()) found.firstOfRank.push_back(n);
            row.rank = r;
            found.rows.push_back(row);
        };
        for (size_t i = from; i < to; ++i) {
            if (pieces[i].whole) forEachNode(pieces[i].node, visit);
            else visit(pieces[i].node);
        }
    };
    Found runs[2];
    // Room for a row per taxon held by one tree and per relation, at most, in each run, so
    // that no rows are copied as they grow: what a run does not fill is never touched and
    // takes no memory. The first run's rows become the list's.
    runs[0].rows.reserve(marked + relations.relations().size());
    runs[1].rows.reserve(marked);
    {
        ScopedThread second([&] { walkRun(cut, pieces.size(), runs[1]); });
        walkRun(0, cut, runs[0]);
        second.join();
    }
    for (Found& run : runs) {
        std::vector<uint32_t> ranks;
        for (const TreeNode* first : run.firstOfRank) ranks.push_back(rankIndex(first));
        for (ChangeRow& row : run.rows) row.rank = ranks[row.rank];
    }
    runs[0].rows.insert(runs[0].rows.end(), runs[1].rows.begin(), runs[1].rows.end());
    std::vector<ChangeRow>().swap(runs[1].rows);
    m_rows = std::move(runs[0].rows);

    size_t walked = 0;
    for (uint32_t i = 0; i < relations.relations().size(); ++i) {
        cancellationPoint(++walked);
        const TaxonRelation& r = relations.relations()[i];
        ChangeRow row;
        if (r.taxon1 && r.taxon2) {
            Verdict verdict;
            if (!relations.verdictOf(r.taxon1, verdict)) continue;
            switch (verdict) {
                case Verdict::Renamed: row.kind = ChangeRowKind::Renamed; break;
                case Verdict::Split: row.kind = ChangeRowKind::Split; break;
                case Verdict::Lumped: row.kind = ChangeRowKind::Lumped; break;
                case Verdict::Reshuffled: row.kind = ChangeRowKind::Reshuffled; break;
                default: continue;
            }
        } else {
            row.kind = r.taxon1 ? ChangeRowKind::OnlyIn1 : ChangeRowKind::OnlyIn2;
        }
        row.node1 = r.taxon1;
        row.node2 = r.taxon2;
        row.ofRelation = true;
        row.detail = i;
        const TreeNode* named = r.taxon1 ? r.taxon1 : r.taxon2;
        row.rank = rankIndex(named);
        row.pathOf = named;
        m_rows.push_back(row);
    }
    // Not shrunk to fit: a copy would hold the rows twice at the work's highest, while the
    // room left over was never touched.
    ++m_generation;
    refresh();
}

std::vector<uint32_t> ChangeList::ranksTopDown() const {
    ensure();
    std::vector<uint32_t> order(m_ranks.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return m_rankKeys[a] < m_rankKeys[b]; });
    return order;
}

void ChangeList::setFilter(const ChangeFilter& filter) {
    ensure();
    m_filter = filter;
    refresh();
}

void ChangeList::sortBy(ChangeColumn column, bool ascending) {
    ensure();
    m_sortColumn = static_cast<int>(column);
    m_ascending = ascending;
    refresh();
}

bool ChangeList::passesRankAndText(const ChangeRow& row) const {
    if (m_filter.rank >= 0 && static_cast<size_t>(m_filter.rank) < m_ranks.size()) {
        const int key = m_rankKeys[row.rank], chosen = m_rankKeys[static_cast<size_t>(m_filter.rank)];
        if (m_filter.andAbove ? key > chosen : key != chosen) return false;
    }
    if (!m_filter.text.empty() && !(row.node1 && containsFolded(row.node1->latinName, m_filter.text)) &&
        !(row.node2 && containsFolded(row.node2->latinName, m_filter.text)))
        return false;
    return true;
}

void ChangeList::refresh() {
    m_shown.clear();
    m_counts.fill(0);
    for (uint32_t i = 0; i < m_rows.size(); ++i) {
        const ChangeRow& row = m_rows[i];
        if (!passesRankAndText(row)) continue;
        ++m_counts[static_cast<size_t>(row.kind)];
        if (m_filter.kinds & changeKindBit(row.kind)) m_shown.push_back(i);
    }
    if (m_sortColumn < 0) return;
    const auto column = static_cast<ChangeColumn>(m_sortColumn);
    // Paths and details are made for the rows shown only when they are sorted by them.
    std::vector<std::string> texts;
    if (column == ChangeColumn::Path || column == ChangeColumn::Detail) {
        texts.resize(m_rows.size());
        for (uint32_t i : m_shown)
            texts[i] = column == ChangeColumn::Path ? pathOf(m_rows[i].pathOf) : detailOf(m_rows[i]);
    }
    auto less = [&](uint32_t a, uint32_t b) {
        const ChangeRow& x = m_rows[a];
        const ChangeRow& y = m_rows[b];
        switch (column) {
            case ChangeColumn::Kind: return x.kind < y.kind;
            case ChangeColumn::Rank: return m_rankKeys[x.rank] < m_rankKeys[y.rank];
            case ChangeColumn::Name1:
                return std::strcmp(nameOf(x.node1), nameOf(y.node1)) < 0;
            case ChangeColumn::Name2:
                return std::strcmp(nameOf(x.node2), nameOf(y.node2)) < 0;
            case ChangeColumn::Detail: return texts[a] < texts[b];
            case ChangeColumn::Path: return texts[a] < texts[b];
        }
        return false;
    };
    if (m_ascending)
        std::stable_sort(m_shown.begin(), m_shown.end(), less);
    else
        std::stable_sort(m_shown.begin(), m_shown.end(),
                         [&](uint32_t a, uint32_t b) { return less(b, a); });
}

std::string ChangeList::cell(const ChangeRow& row, ChangeColumn column) const {
    switch (column) {
        case ChangeColumn::Kind: return changeRowKindName(row.kind);
        case ChangeColumn::Rank: return m_ranks[row.rank];
        case ChangeColumn::Name1: return nameOf(row.node1);
        case ChangeColumn::Name2: return nameOf(row.node2);
        case ChangeColumn::Detail: return detailOf(row);
        case ChangeColumn::Path: return pathOf(row.pathOf);
    }
    return {};
}

std::string ChangeList::detailOf(const ChangeRow& row) const {
    switch (row.kind) {
        case ChangeRowKind::Moved: {
            std::string text = std::string("from ") + nameOf(row.node1->parent) + " to " +
                               nameOf(row.node2 ? row.node2->parent : nullptr);
            if (row.detail) text += ", " + std::to_string(row.detail) + " with it";
            return text;
        }
        case ChangeRowKind::Rank:
            return std::string(row.node1->rankName) + " to " + (row.node2 ? row.node2->rankName : "");
        case ChangeRowKind::Removed:
        case ChangeRowKind::Added: return {};
        default: {
            // A pair of species or subspecies renamed tells its evidence.
            if (!row.ofRelation) return renameEvidenceName(static_cast<RenameEvidence>(row.detail));
            const TaxonRelation& r = m_relations->relations()[row.detail];
            if (row.kind == ChangeRowKind::OnlyIn1 || row.kind == ChangeRowKind::OnlyIn2)
                return std::string(relationSymbol(r.relation)) + " no species shared";
            return std::string(relationSymbol(r.relation)) + " " + std::to_string(r.shared) +
                   " shared; " + std::to_string(r.species1) + " in tree 1, " +
                   std::to_string(r.species2) + " in tree 2";
        }
    }
}

std::vector<const TreeNode*> ChangeList::sharedSpecies(const ChangeRow& row) const {
    ensure();
    std::vector<const TreeNode*> shared;
    if (!row.node1 || !row.node2 ||
        (row.kind != ChangeRowKind::Split && row.kind != ChangeRowKind::Lumped &&
         row.kind != ChangeRowKind::Reshuffled))
        return shared;
    forEachNode(row.node1, [&](const TreeNode* n) {
        // Tree 1's own species: not the copies grafted in from tree 2.
        if (n->onlyInTree == 2 || !isSpecies(*n)) return;
        const TreeNode* there = speciesIn2(*n);
        if (there && within(there, row.node2)) shared.push_back(n);
    });
    return shared;
}

const TreeNode* ChangeList::speciesIn2(const TreeNode& species1) const {
    ensure();
    if (const TreeNode* partner = m_partners ? m_partners->partnerOf(species1) : nullptr) return partner;
    const auto [from, to] = own2Named(species1.latinName);
    for (const TreeNode* candidate : std::span(from, to))
        if (isSpecies(*candidate)) return candidate;
    return nullptr;
}

std::string ChangeList::table(char separator) const {
    ensure();
    std::string out;
    for (int c = 0; c < kChangeColumns; ++c) {
        if (c) out += separator;
        appendField(out, changeColumnTitle(static_cast<ChangeColumn>(c)), separator);
    }
    out += '\n';
    for (uint32_t i : m_shown) {
        for (int c = 0; c < kChangeColumns; ++c) {
            if (c) out += separator;
            appendField(out, cell(m_rows[i], static_cast<ChangeColumn>(c)), separator);
        }
        out += '\n';
    }
    return out;
}
