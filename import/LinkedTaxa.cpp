// Taxa linked by identifiers (Darwin Core, ColDP): gathered in file order, their parents
// found once all are read, cycles broken, then handed to a TreeBuilder numbered already when
// the rows came in the order of a walk of the tree.
#include <tuple>

#include "ClassificationReader.h"
#include "Console.h"
#include "Facts.h"
#include "FlatReading.h"
#include "ImportFailure.h"
#include "TreeBuilder.h"

namespace imp {

uint32_t LinkedTaxa::numberOf(std::string_view id) const {
    uint32_t at = m_byId.find(id, idOf());
    for (size_t k = 0; at == IdIndex::kNone && k < m_laterIds.size(); ++k) {
        const uint32_t first = m_laterIds[k].second;
        at = m_laterIds[k].first.find(id, [&](uint32_t i) { return m_taxa[first + i].id; });
        if (at != IdIndex::kNone) at += first;
    }
    return at;
}

void LinkedTaxa::reserve(size_t count, size_t indexed) {
    m_taxa.reserve(count);
    m_byId.reserve(indexed);
}

bool LinkedTaxa::absorb(LinkedTaxa& later, size_t linesBefore, Clash& clash) {
    // In the order of the rows: the first identifier given again is the one to tell. Each
    // half of the later taxa is looked up on a thread of its own, each stopping at its first.
    size_t given[2] = {SIZE_MAX, SIZE_MAX};
    uint32_t givenFirst[2] = {0, 0};
    inHalves(later.m_taxa.size(), m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        constexpr size_t kAhead = 8;
        for (size_t i = from; i < to; ++i) {
            if (i + kAhead < to) {
                const std::string_view ahead = later.m_taxa[i + kAhead].id;
                m_byId.prefetch(ahead);
                for (const auto& part : m_laterIds) part.first.prefetch(ahead);
            }
            const uint32_t at = numberOf(later.m_taxa[i].id);
            if (at != IdIndex::kNone) {
                given[half] = i;
                givenFirst[half] = at;
                return;
            }
        }
    });
    for (int half = 0; half < 2; ++half)
        if (given[half] != SIZE_MAX) {
            const Taxon& t = later.m_taxa[given[half]];
            clash = {std::string(t.id), t.line + linesBefore, m_taxa[givenFirst[half]].line};
            return false;
        }
    const auto first = static_cast<uint32_t>(m_taxa.size());
    const auto ranks = static_cast<uint32_t>(m_ranks.size());
    const auto commons = static_cast<uint32_t>(m_commons.size() - 1);  // the later's first: none
    m_taxa.reserve(m_taxa.size() + later.m_taxa.size());
    for (Taxon& t : later.m_taxa) {
        t.line += linesBefore;
        t.rank += ranks;
        if (t.common) t.common += commons;
        m_taxa.push_back(t);
    }
    m_ranks.insert(m_ranks.end(), later.m_ranks.begin(), later.m_ranks.end());
    m_commons.insert(m_commons.end(), later.m_commons.begin() + 1, later.m_commons.end());
    m_laterIds.emplace_back(std::move(later.m_byId), first);
    for (auto& [ids, from] : later.m_laterIds)
        m_laterIds.emplace_back(std::move(ids), first + from);
    m_text.absorb(later.m_text);
    // A synonym given twice keeps its first accepted taxon, as in one reading.
    for (auto& [synonym, accepted] : later.m_synonymOf) m_synonymOf.try_emplace(synonym, accepted);
    for (auto& [written, at] : later.m_nameIndex) m_nameIndex.try_emplace(written, first + at);
    m_byName |= later.m_byName;
    m_notes.absorb(later.m_notes);
    later = LinkedTaxa();
    return true;
}

bool LinkedTaxa::add(std::string_view id, std::string_view parentId, std::string_view latin,
                     std::string_view rank, size_t line, size_t& clash) {
    if (!m_laterIds.empty()) {
        uint32_t at = numberOf(id);
        if (at != IdIndex::kNone) {
            clash = m_taxa[at].line;
            m_clash = {std::string(id), line, clash};
            return false;
        }
    }
    uint32_t at = static_cast<uint32_t>(m_taxa.size());
    bool added = true;
    if (!m_deferIndex) std::tie(at, added) = m_byId.insert(id, at, idOf());
    if (!added) {
        clash = m_taxa[at].line;
        m_clash = {std::string(id), line, clash};
        return false;
    }
    // Siblings mostly share a rank.
    if (m_ranks.empty() || rank != m_ranks.back()) m_ranks.push_back(keep(rank));
    Taxon t;
    t.id = keep(id);
    t.parent = keep(parentId);
    t.latin = keep(latin);
    t.rank = static_cast<uint32_t>(m_ranks.size() - 1);
    t.line = line;
    m_taxa.push_back(t);
    return true;
}

void LinkedTaxa::setCommon(std::string_view id, std::string_view common, bool english,
                           bool preferred) {
    uint32_t at = numberOf(id);
    if (at == IdIndex::kNone || common.empty()) return;
    Taxon& t = m_taxa[at];
    const Common given{{}, english, preferred};
    if (t.common && given.rank() <= m_commons[t.common].rank()) return;  // the first stays
    if (!t.common) {
        t.common = static_cast<uint32_t>(m_commons.size());
        m_commons.emplace_back();
    }
    m_commons[t.common] = {m_text.keep(common), english, preferred};
}

void LinkedTaxa::addSynonym(std::string_view id, std::string_view accepted) {
    m_synonymOf.try_emplace(std::string(id), accepted);
}

void LinkedTaxa::addName(std::string_view written, std::string_view id) {
    uint32_t at = numberOf(id);
    if (at != IdIndex::kNone) m_nameIndex.try_emplace(std::string(written), at);
}

namespace {

// A name without its authorship: the first word and the epithets and rank marks after it,
// up to the first word that begins otherwise than in lower case ("Canis lupus Linnaeus,
// 1758" -> "Canis lupus").
std::string withoutAuthorship(std::string_view name) {
    std::string bare;
    size_t from = 0;
    while (from < name.size()) {
        size_t to = std::min(name.find(' ', from), name.size());
        auto c = static_cast<unsigned char>(name[from]);
        if (from > 0 && !((c >= 'a' && c <= 'z') || c >= 0xDF)) break;
        if (from > 0) bare.push_back(' ');
        bare.append(name, from, to - from);
        from = to + 1;
    }
    return bare;
}

}  // namespace

uint32_t LinkedTaxa::findOne(std::string_view key) const {
    if (!m_byName) return numberOf(key);
    auto it = m_nameIndex.find(std::string(key));
    if (it != m_nameIndex.end()) return it->second;
    it = m_latinIndex.find(withoutAuthorship(key));
    return it == m_latinIndex.end() ? UINT32_MAX : it->second;
}

uint32_t LinkedTaxa::find(std::string_view key, bool& synonym, bool& known) const {
    synonym = false;
    known = true;
    uint32_t found = findOne(key);
    if (found != UINT32_MAX) return found;
    // A synonym's accepted taxon, and that one's when it is a synonym in turn (a few steps:
    // chains of synonyms are errors of the file, and may loop).
    std::string at(key);
    for (int step = 0; step < 4; ++step) {
        auto s = m_synonymOf.find(at);
        if (s == m_synonymOf.end()) {
            known = step > 0;
            return UINT32_MAX;
        }
        if (s->second.empty()) return UINT32_MAX;
        found = findOne(s->second);
        if (found != UINT32_MAX) {
            synonym = true;
            return found;
        }
        at = s->second;
    }
    return UINT32_MAX;
}

bool LinkedTaxa::build(ClassificationTree& tree, const std::string& label, int64_t fileSize) {
    const uint32_t kTop = UINT32_MAX;
    if (m_byName)
        for (uint32_t i = 0; i < m_taxa.size(); ++i)
            m_latinIndex.try_emplace(withoutAuthorship(m_taxa[i].latin), i);
    std::vector<uint32_t> parent(m_taxa.size(), kTop);
    // A taxon whose name stands for no taxon ("Incertae sedis") makes no level: its children
    // hang from its parent.
    std::vector<char> placeholder(m_taxa.size(), 0);
    // Each half of the taxa finds its parents on a thread of its own, counting in notes of
    // its own.
    ReadingNotes halfNotes[2];
    inHalves(m_taxa.size(), m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        ReadingNotes& notes = halfNotes[half];
        // The parents a few taxa on are fetched from the index while this one's is found.
        constexpr size_t kAhead = 8;
        for (size_t i = from; i < to; ++i) {
            if (i + kAhead < to && !m_byName) {
                const std::string_view ahead = m_taxa[i + kAhead].parent;
                m_byId.prefetch(ahead);
                for (const auto& part : m_laterIds) part.first.prefetch(ahead);
            }
            const Taxon& t = m_taxa[i];
            placeholder[i] = isPlaceholder(t.latin);
            // A taxon that is its own parent is a root, as the top of many files says.
            if (t.parent.empty() || t.parent == t.id) {
                ++notes.parentEmpty;
                continue;
            }
            bool synonym, known;
            uint32_t p = find(t.parent, synonym, known);
            if (p == i) {
                ++notes.parentEmpty;
                continue;
            }
            // A parent that is not in the file, or not accepted: the taxon hangs under the
            // root.
            if (p == kTop) {
                ++(m_byName ? notes.parentNameUnknown
                            : known ? notes.parentLeftOut : notes.parentMissing);
                continue;
            }
            notes.underSynonym += synonym;
            parent[i] = p;
        }
    });
    for (const ReadingNotes& n : halfNotes) m_notes.absorb(n);
    // Depth of every taxon, each walk stopping at a taxon already measured, so the whole
    // costs one step per taxon; a walk that meets itself is a cycle. Most files give a
    // parent before its children: while they do, a taxon's walk is the taxon alone, and
    // the first pass measures it without walking.
    std::vector<int32_t> depth(m_taxa.size(), -1);
    uint32_t measured = 0;
    for (; measured < m_taxa.size(); ++measured) {
        const uint32_t p = parent[measured];
        if (p != kTop && p >= measured) break;
        const int32_t d = p == kTop ? 0 : depth[p] + 1;
        if (d >= kMaxClassificationDepth) {
            importFailure(label, linePlace(m_taxa[measured].line),
                          "taxa nested deeper than " + std::to_string(kMaxClassificationDepth) +
                              " levels");
            return false;
        }
        depth[measured] = d;
    }
    std::vector<uint32_t> walk;
    constexpr int32_t kOnWalk = -2;
    for (uint32_t i = measured; i < m_taxa.size(); ++i) {
        walk.clear();
        uint32_t at = i;
        while (at != kTop && depth[at] == -1) {
            depth[at] = kOnWalk;
            walk.push_back(at);
            at = parent[at];
        }
        if (at != kTop && depth[at] == kOnWalk) {
            // A cycle of parents: broken at the link of its taxon given first, most likely
            // the one meant to stand above the others, which hangs under the root; the walk
            // is then made again.
            uint32_t first = at;
            for (uint32_t k = parent[at]; k != at; k = parent[k]) first = std::min(first, k);
            const Taxon& t = m_taxa[first];
            consolePrintf("%s: line %zu: %.*s is its own ancestor (a cycle of parents): its "
                          "link to its parent %.*s is broken, and it hangs under the root\n",
                          label.c_str(), t.line, static_cast<int>(t.latin.size()),
                          t.latin.data(), static_cast<int>(t.parent.size()), t.parent.data());
            parent[first] = kTop;
            for (uint32_t k : walk) depth[k] = -1;
            --i;
            continue;
        }
        int32_t d = at == kTop ? 0 : depth[at] + 1;
        for (size_t k = walk.size(); k-- > 0; ++d) {
            depth[walk[k]] = d;
            if (d >= kMaxClassificationDepth) {
                importFailure(label, linePlace(m_taxa[walk[k]].line),
                              "taxa nested deeper than " +
                                  std::to_string(kMaxClassificationDepth) + " levels");
                return false;
            }
        }
    }
    // The walks up from placeholders end, the cycles having been broken above.
    const uint32_t count = static_cast<uint32_t>(m_taxa.size());
    uint32_t tops = 0, taxa = 0;
    std::vector<uint32_t> children(count, 0);
    for (uint32_t i = 0; i < count; ++i) {
        while (parent[i] != kTop && placeholder[parent[i]]) parent[i] = parent[parent[i]];
        if (placeholder[i]) continue;
        ++taxa;
        ++(parent[i] == kTop ? tops : children[parent[i]]);
    }
    // Most files give the taxa in the order of a walk of the tree: each after its parent, and
    // a taxon's descendants before its next sibling. Then the rows' order numbers the tree,
    // each taxon's level is the length of the path of taxa above it, and the nodes get both
    // as they are made instead of in a walk of the finished tree. (The levels stand in
    // `depth` from here.)
    const bool madeRoot = tops != 1;
    std::vector<int32_t> number(count, 0);
    bool inOrder = true;
    {
        std::vector<uint32_t> path;
        int32_t next = madeRoot;
        for (uint32_t i = 0; i < count && inOrder; ++i) {
            if (placeholder[i]) continue;
            while (!path.empty() && path.back() != parent[i]) path.pop_back();
            const auto level = static_cast<int32_t>(path.size()) + madeRoot;
            inOrder = (parent[i] == kTop || !path.empty()) && level < kMaxClassificationDepth;
            depth[i] = level;
            number[i] = next++;
            path.push_back(i);
        }
    }
    TreeBuilder builder(0);
    std::vector<TreeNode*> nodes(count, nullptr);
    struct HalfCount {
        int32_t taxa = 0, leaves = 0;
        RankSet ranks;
    } halves[2];
    inHalves(count, m_twoThreadsFrom, [&](size_t from, size_t to, int half) {
        HalfCount& made = halves[half];
        for (size_t i = from; i < to; ++i) {
            const Taxon& t = m_taxa[i];
            if (placeholder[i]) continue;
            auto* n = new TreeNode;
            nodes[i] = n;
            const std::string_view rank = m_ranks[t.rank], common = m_commons[t.common].name;
            n->latinName = newName(t.latin.data(), t.latin.size());
            n->rankName = newName(rank.data(), rank.size());
            n->commonName = newName(common.data(), common.size());
            n->children.reserve(children[i]);
            if (!inOrder) continue;
            n->number = number[i];
            n->level = depth[i];
            const int shared = sharedRankOf(n->rankName);
            if (shared >= 0) rankColor(shared, n->color);
            else applyRankColor(*n);
            ++made.taxa;
            made.leaves += children[i] == 0;
            made.ranks.add(n->rankName);
        }
    });
    if (inOrder) {
        for (const char* r : halves[1].ranks.list()) halves[0].ranks.add(r);
        builder.numberedAlready(halves[0].taxa + halves[1].taxa,
                                halves[0].leaves + halves[1].leaves, halves[0].ranks);
    }
    if (FactsCollector* facts = collectingFacts())
        facts->bindLinked(nodes, [this](size_t i) -> std::string_view { return m_taxa[i].id; });
    // Children in the order of their rows.
    for (size_t i = 0; i < count; ++i)
        if (nodes[i]) (parent[i] == kTop ? builder.top() : nodes[parent[i]])->addChild(nodes[i]);
    if (!builder.finish(tree, label, fileSize)) return false;
    m_notes.report(label);
    if (m_notes.parentsGiven && readsFlat(taxa, tops))
        warnFlat(label, taxa, tops, flatReason(m_notes, taxa));
    return true;
}

}  // namespace imp
