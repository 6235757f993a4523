// How a row of a rank-column table becomes a path of taxa: rank cells cleaned once while they
// repeat the row above, epithets joined to their genus, the row's own taxon from its
// scientific name, and genus and species made from a name's words where no column gives them.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "Facts.h"
#include "NameShape.h"
#include "SynonymLists.h"
#include "TableReader.h"

namespace imp {

namespace {

const int kGenusOrder = rankOf("Genus").order;
const int kSpeciesOrder = rankOf("Species").order;

// Equality of two short texts without a call: the names compared row after row are mostly
// equal and a dozen bytes long.
inline bool sameText(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    auto word = [](const char* p) {
        uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    auto half = [](const char* p) {
        uint32_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (n >= 8 && n <= 16)
        return word(a.data()) == word(b.data()) && word(a.data() + n - 8) == word(b.data() + n - 8);
    if (n >= 4 && n < 8)
        return half(a.data()) == half(b.data()) && half(a.data() + n - 4) == half(b.data() + n - 4);
    if (n < 4) {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    return std::memcmp(a.data(), b.data(), n) == 0;
}

}  // namespace

TableReader::TableReader(const Columns& c, TreeBuilder& builder, TaxonFacts* facts)
    : m_c(c), m_builder(builder), m_facts(c.facts ? facts : nullptr) {
    for (Path& p : m_paths) {
        p.path.resize(c.ranks.size() + 4);
        p.stepsAfter.resize(c.ranks.size());
    }
    m_cells.resize(c.ranks.size());
}

bool TableReader::row(const Row& r) {
    bool taxa = path(r);
    if (m_pending) descend(*m_pending);
    m_pending = nullptr;
    m_before = nullptr;
    if (taxa) {
        m_pending = m_cur;
        m_before = m_cur;
        m_cur = m_cur == &m_paths[0] ? &m_paths[1] : &m_paths[0];
        prefetch(*m_pending);
    } else {
        // The row may have changed cells the names of m_last lie in, and the next row
        // may change them again: the next path is found from the top.
        m_lastSteps = 0;
    }
    return true;
}

bool TableReader::path(const Row& r) {
    // Notes some publishers append after the header ("# 2 rows withdrawn"): no taxa.
    if (const std::string_view first = r.field(0); !first.empty() && first.front() == '#') {
        ++m_noteLines;
        return false;
    }
    if (m_c.status != kNone && !m_statuses.accepted(unlessNull(r.field(m_c.status)))) {
        if (m_facts && isSynonymStatus(r.field(m_c.status))) synonymRow(r);
        return false;
    }
    Path& p = *m_cur;
    p.steps = 0;
    p.made = 0;
    p.joinedFrom = kNone;
    p.copied = 0;
    const size_t columns = m_c.ranks.size();
    size_t k = 0;
    if (m_before) {
        // The rank columns that repeat the row above, up to the first that changed, give
        // the steps they gave it, unless a step was made or moved after them.
        const Path& b = *m_before;
        while (k < columns && k < b.joinedFrom && r.sameAsBefore(m_c.ranks[k].column) &&
               b.stepsAfter[k] <= b.untouched)
            ++k;
        if (k) {
            p.steps = p.copied = b.stepsAfter[k - 1];
            std::copy_n(b.path.begin(), p.steps, p.path.begin());
            std::copy_n(b.stepsAfter.begin(), k, p.stepsAfter.begin());
        }
    }
    for (; k < columns; ++k) {
        rankCell(r, k);
        p.stepsAfter[k] = p.steps;
    }
    p.untouched = p.steps;
    joinEpithet(r, m_c.epithet, Species, Genus, m_speciesName);
    joinEpithet(r, m_c.infraEpithet, Subspecies, Species, m_subspeciesName);
    if (m_c.scientific != kNone) ownTaxon(r);
    if (m_cur->steps == 0) return false;  // nothing but placeholders
    addWordRanks();
    if (m_facts) rowFacts(r);
    std::string& common = m_cur->common;
    common.clear();
    if (m_c.common != kNone) {
        cleanName(r.field(m_c.common), common);
        if (m_c.commonIsList) {
            size_t comma = common.find(',');
            if (comma != std::string::npos) cleanName(common.substr(0, comma), common);
        }
        if (isPlaceholder(common)) common.clear();
    }
    return true;
}

void TableReader::rankCell(const Row& r, size_t k) {
    const auto& rc = m_c.ranks[k];
    // The higher ranks' cells mostly repeat the row above: cleaned once.
    Cell& cell = m_cells[k];
    std::string_view raw = r.field(rc.column);
    if (!cell.known ||
        (!(m_before && r.sameAsBefore(rc.column)) && !sameText(raw, cell.raw))) {
        // The row read before may still point at the name: it goes into the other slot.
        cell.known = true;
        cell.raw.assign(raw.data(), raw.size());
        cell.slot ^= 1;
        std::string& name = cell.names[cell.slot];
        cleanName(raw, name);
        cell.placeholder = isPlaceholder(name);
        if (!cell.placeholder && rc.rank.order < kSpeciesOrder) usualCase(name);
        cell.epithet = isEpithet(name);
    }
    if (cell.placeholder) return;
    Step& s = next(rc.rank.order, rc.rank.twenty, &rc.rank.name);
    s.name = cell.names[cell.slot];
    int twenty = rc.rank.twenty;
    if ((twenty == Species || twenty == Subspecies) && cell.epithet) {
        // "leo" below the genus Panthera is Panthera leo
        const Step* above = find(twenty == Species ? Genus : Species);
        if (above) {
            s.name = joined(above->name, s.name);
            if (m_cur->joinedFrom == kNone) m_cur->joinedFrom = k;
        }
    }
}

size_t TableReader::repeated(const Path& p) const {
    // The steps taken over from the last row, where none was put before them since.
    size_t i = std::min({p.copied, p.untouched, m_lastSteps});
    auto same = [](std::string_view a, std::string_view b) {
        return (a.data() == b.data() && a.size() == b.size()) || sameText(a, b);
    };
    while (i < p.steps && i < m_lastSteps && same(m_last[i].name, p.path[i].name) &&
           (m_last[i].rank == p.path[i].rank || *m_last[i].rank == *p.path[i].rank))
        ++i;
    return i;
}

void TableReader::prefetch(Path& p) const {
    p.repeated = repeated(p);
    if (p.repeated < p.steps) {
        const TreeNode* parent = p.repeated ? m_last[p.repeated - 1].node : m_builder.top();
        p.hashed = m_builder.indexed(parent);
        if (p.hashed) {
            p.hash = TreeBuilder::hash(parent, p.path[p.repeated].name);
            m_builder.prefetch(p.hash);
        }
    }
}

void TableReader::descend(const Path& p) {
    size_t i = p.repeated;
    TreeNode* node = i ? m_last[i - 1].node : m_builder.top();
    if (m_last.size() < p.steps) m_last.resize(p.steps);
    for (size_t k = 0; k < i; ++k) {
        m_last[k].name = p.path[k].name;
        m_last[k].rank = p.path[k].rank;
    }
    for (; i < p.steps; ++i) {
        const Step& s = p.path[i];
        Last& last = m_last[i];
        node = i == p.repeated && p.hashed ? m_builder.child(node, s.name, *s.rank, p.hash)
                                           : m_builder.child(node, s.name, *s.rank);
        last.node = node;
        last.name = s.name;
        last.rank = s.rank;
    }
    m_lastSteps = p.steps;
    if (!p.common.empty()) TreeBuilder::setCommon(node, p.common);
    if (m_facts) {
        m_facts->add(node, p.id, p.authorship);
        if (!p.synonyms.empty()) addListedSynonyms(*m_facts, node, p.synonyms);
    }
}

void TableReader::rowFacts(const Row& r) {
    Path& p = *m_cur;
    cleanName(m_c.id == kNone ? std::string_view() : r.field(m_c.id), p.id);
    if (isPlaceholder(p.id)) p.id.clear();
    p.authorship.clear();
    for (size_t column : m_c.authorFacts) {
        cleanName(r.field(column), m_scratch);
        if (isPlaceholder(m_scratch)) continue;
        if (!p.authorship.empty()) p.authorship += ", ";
        p.authorship += m_scratch;
    }
    p.synonyms.clear();
    if (m_c.synonymList != kNone) {
        cleanName(r.field(m_c.synonymList), p.synonyms);
        if (isPlaceholder(p.synonyms)) p.synonyms.clear();
    }
}

void TableReader::synonymRow(const Row& r) {
    if (m_c.scientific == kNone) return;
    std::string name, author, acceptedId, acceptedName;
    cleanName(r.field(m_c.scientific), name, true);
    for (size_t column : m_c.authorFacts) {
        cleanName(r.field(column), m_scratch);
        if (isPlaceholder(m_scratch)) continue;
        if (!author.empty()) author += ", ";
        author += m_scratch;
    }
    if (m_c.authorship != kNone) {
        cleanName(r.field(m_c.authorship), m_scratch);
        if (!m_scratch.empty() && name.size() > m_scratch.size() &&
            name.compare(name.size() - m_scratch.size(), m_scratch.size(), m_scratch) == 0)
            cleanName(std::string(name, 0, name.size() - m_scratch.size()), name);
    }
    if (m_c.accepted != kNone) cleanName(r.field(m_c.accepted), acceptedId);
    if (m_c.acceptedName != kNone) cleanName(r.field(m_c.acceptedName), acceptedName, true);
    if (isPlaceholder(name)) return;
    m_facts->addPendingSynonym(isPlaceholder(acceptedId) ? "" : acceptedId,
                               isPlaceholder(acceptedName) ? "" : acceptedName, name, author);
}

Step& TableReader::next(int order, int twenty, const std::string* rank) {
    if (m_cur->steps == m_cur->path.size()) m_cur->path.emplace_back();
    Step& s = m_cur->path[m_cur->steps++];
    s.order = order;
    s.twenty = twenty;
    s.rank = rank;
    return s;
}

const Step* TableReader::find(int twenty) const {
    for (size_t i = 0; i < m_cur->steps; ++i)
        if (m_cur->path[i].twenty == twenty) return &m_cur->path[i];
    return nullptr;
}

void TableReader::insert(int order, int twenty, const std::string* rank, std::string_view name) {
    size_t at = 0;
    while (at < m_cur->steps && m_cur->path[at].order <= order) ++at;
    m_cur->untouched = std::min(m_cur->untouched, at);
    next(order, twenty, rank);
    std::rotate(m_cur->path.begin() + static_cast<ptrdiff_t>(at),
                m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps) - 1,
                m_cur->path.begin() + static_cast<ptrdiff_t>(m_cur->steps));
    m_cur->path[at].name = name;
}

std::string& TableReader::made() {
    Path& p = *m_cur;
    if (p.made == p.texts.size()) p.texts.emplace_back(std::make_unique<std::string>());
    return *p.texts[p.made++];
}

std::string_view TableReader::joined(std::string_view above, std::string_view epithet) {
    std::string& s = made();
    s.assign(above);
    s += ' ';
    s += epithet;
    return s;
}

void TableReader::joinEpithet(const Row& r, size_t column, int rank, int above,
                              const std::string& rankText) {
    if (column == kNone || find(rank)) return;
    cleanName(r.field(column), m_scratch);
    if (isPlaceholder(m_scratch)) return;
    const Step* a = find(above);
    std::string_view name;
    if (a) {
        name = joined(a->name, m_scratch);
    } else {
        std::string& s = made();
        s.swap(m_scratch);
        name = s;
    }
    insert(rankOf(rankText).order, rank, &rankText, name);
}

void TableReader::ownTaxon(const Row& r) {
    std::string& own = made();
    cleanName(r.field(m_c.scientific), own, true);
    if (isPlaceholder(own)) return;
    if (m_c.authorship != kNone) {
        cleanName(r.field(m_c.authorship), m_common);
        if (!m_common.empty() && own.size() > m_common.size() &&
            own.compare(own.size() - m_common.size(), m_common.size(), m_common) == 0) {
            m_scratch.assign(own, 0, own.size() - m_common.size());
            cleanName(m_scratch, own);
        }
    }
    const RankInfo* rank = &m_species;
    const std::string_view written = m_c.rank != kNone ? r.field(m_c.rank) : std::string_view();
    if (isEmptyRank(written)) {
        // No rank given: the name's shape tells a subspecies or a variety from a species.
        const std::string_view shaped = rankByShape(own);
        if (!shaped.empty() && shaped != "Species") rank = &m_shapeRanks.of(shaped);
    } else {
        if (!m_lastRankKnown || written != m_lastRankText) {
            m_lastRankKnown = true;
            m_lastRankText = written;
            cleanName(written, m_common);
            m_lastRank = isPlaceholder(m_common) || isNullMarker(m_common) ? m_species
                                                                           : rankOf(m_common);
        }
        rank = &m_lastRank;
        if (rank->unknown()) m_ranks.unknown(written);
    }
    if (rank->order < kSpeciesOrder) usualCase(own);
    // The row names a taxon of its path (an order's own row): that taxon, not a child.
    size_t keep = 0;
    const std::vector<Step>& path = m_cur->path;
    while (keep < m_cur->steps && path[keep].order < rank->order) ++keep;
    if (keep < m_cur->steps && path[keep].order == rank->order && path[keep].name == own &&
        *path[keep].rank == rank->name) {
        m_cur->steps = keep + 1;
        m_cur->untouched = std::min(m_cur->untouched, m_cur->steps);
        return;
    }
    m_cur->steps = keep;
    m_cur->untouched = std::min(m_cur->untouched, keep);
    m_cur->ownRank = rank->name;
    next(rank->order, rank->twenty, &m_cur->ownRank).name = own;
}

void TableReader::addWordRanks() {
    const Step& last = m_cur->path[m_cur->steps - 1];
    bool subspecies = last.twenty == Subspecies;
    if (!subspecies && last.twenty != Species) return;
    if (find(Genus) && (!subspecies || find(Species))) return;  // the usual row: no copy
    std::string_view name = last.name;  // in a cell or a made text: not moved by insert()
    size_t first = name.find(' ');
    if (first == std::string::npos) return;
    if (subspecies && !find(Species)) {
        size_t second = name.find(' ', first + 1);
        if (second != std::string::npos)
            insert(kSpeciesOrder, Species, &m_speciesName, name.substr(0, second));
    }
    if (!find(Genus)) insert(kGenusOrder, Genus, &m_genusName, name.substr(0, first));
}

}  // namespace imp
