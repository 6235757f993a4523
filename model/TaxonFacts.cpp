#include "TaxonFacts.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "Cancellation.h"

void TaxonFacts::clear() {
    m_text.assign(1, '\0');
    m_entries.clear();
    m_pending.clear();
    m_synonyms.clear();
    m_formerIds.clear();
    m_pendingFormer.clear();
    m_sealed = true;
}

void TaxonFacts::swap(TaxonFacts& other) noexcept {
    m_text.swap(other.m_text);
    m_entries.swap(other.m_entries);
    m_pending.swap(other.m_pending);
    m_synonyms.swap(other.m_synonyms);
    m_formerIds.swap(other.m_formerIds);
    m_pendingFormer.swap(other.m_pendingFormer);
    std::swap(m_sealed, other.m_sealed);
}

uint32_t TaxonFacts::store(std::string_view s) {
    if (s.empty()) return 0;
    const auto at = static_cast<uint32_t>(m_text.size());
    m_text.append(s);
    m_text.push_back('\0');
    return at;
}

void TaxonFacts::reserve(size_t entries, size_t textBytes) {
    m_entries.reserve(m_entries.size() + entries);
    m_text.reserve(m_text.size() + textBytes);
}

void TaxonFacts::add(const TreeNode* node, std::string_view id, std::string_view authorship) {
    if (!node || (id.empty() && authorship.empty())) return;
    m_entries.push_back({node, store(id), store(authorship)});
    m_sealed = false;
}

void TaxonFacts::addSynonym(const TreeNode* accepted, std::string_view name,
                            std::string_view authorship) {
    if (!accepted || name.empty()) return;
    m_synonyms.push_back({accepted, store(name), store(authorship)});
}

void TaxonFacts::addPendingSynonym(std::string_view acceptedId, std::string_view acceptedName,
                                   std::string_view name, std::string_view authorship) {
    if (name.empty() || (acceptedId.empty() && acceptedName.empty())) return;
    m_pending.push_back({store(acceptedId), store(acceptedName), store(name), store(authorship)});
}

void TaxonFacts::addPendingFormerId(std::string_view id, std::string_view formerId) {
    // Texts are kept zero-terminated: one with a zero byte in it would be told cut short.
    if (id.empty() || formerId.empty() || id == formerId ||
        id.find('\0') != std::string_view::npos || formerId.find('\0') != std::string_view::npos)
        return;
    m_pendingFormer.emplace_back(store(id), store(formerId));
}

void TaxonFacts::merge(TaxonFacts& other) {
    const auto base = static_cast<uint32_t>(m_text.size() - 1);  // other's texts start at 1
    auto at = [base](uint32_t offset) { return offset ? offset + base : 0; };
    m_text.append(other.m_text, 1);
    for (const Entry& e : other.m_entries) m_entries.push_back({e.node, at(e.id), at(e.authorship)});
    for (const Pending& p : other.m_pending)
        m_pending.push_back({at(p.acceptedId), at(p.acceptedName), at(p.name), at(p.authorship)});
    for (const StoredSynonym& s : other.m_synonyms)
        m_synonyms.push_back({s.accepted, at(s.name), at(s.authorship)});
    for (const FormerId& f : other.m_formerIds) m_formerIds.push_back({f.node, at(f.id)});
    for (const auto& [id, former] : other.m_pendingFormer)
        m_pendingFormer.emplace_back(at(id), at(former));
    m_sealed = m_sealed && other.m_entries.empty();
    other.clear();
}

void TaxonFacts::sortEntries() {
    // Stable: of a node told twice the first facts come first and are the ones kept.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.node < b.node; });
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(),
                                [](const Entry& a, const Entry& b) { return a.node == b.node; }),
                    m_entries.end());
    m_sealed = true;
}

void TaxonFacts::seal() {
    if (!m_sealed) sortEntries();
}

void TaxonFacts::resolve(const ClassificationTree& tree) {
    if (empty()) return;
    std::vector<const TreeNode*> live;
    live.reserve(static_cast<size_t>(std::max(tree.nodeCount, 1)));
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        cancellationPoint(live.size());
        live.push_back(n);
    });
    std::sort(live.begin(), live.end());
    cancellationPoint();
    auto isLive = [&](const TreeNode* n) { return std::binary_search(live.begin(), live.end(), n); };
    sortEntries();
    // Both in node order: one pass over each, where millions of lookups would each wait on
    // memory.
    {
        auto at = live.begin();
        std::erase_if(m_entries, [&](const Entry& e) {
            while (at != live.end() && *at < e.node) ++at;
            return at == live.end() || *at != e.node;
        });
    }
    std::erase_if(m_synonyms, [&](const StoredSynonym& s) { return !isLive(s.accepted); });
    std::erase_if(m_formerIds, [&](const FormerId& f) { return !isLive(f.node); });
    if (!m_pendingFormer.empty()) resolveFormerIds();
    if (m_pending.empty()) return;

    // Accepted taxa named by identifier, else by name when that name is the name of one taxon.
    std::unordered_map<std::string_view, const TreeNode*> byId, byName;
    for (const Entry& e : m_entries)
        if (e.id) byId.emplace(text(e.id), e.node);
    bool anyByName = false;
    for (const Pending& p : m_pending) anyByName |= p.acceptedId == 0;
    if (anyByName) {
        for (const TreeNode* n : live) {
            auto [it, fresh] = byName.emplace(n->latinName, n);
            if (!fresh) it->second = nullptr;  // a name twice: it names no one taxon
        }
    }
    size_t told = 0;
    for (const Pending& p : m_pending) {
        cancellationPoint(++told);
        const TreeNode* accepted = nullptr;
        if (p.acceptedId) {
            auto it = byId.find(text(p.acceptedId));
            if (it != byId.end()) accepted = it->second;
        }
        if (!accepted && p.acceptedName) {
            auto it = byName.find(text(p.acceptedName));
            if (it != byName.end()) accepted = it->second;
        }
        if (accepted) m_synonyms.push_back({accepted, p.name, p.authorship});
    }
    m_pending.clear();
}

void TaxonFacts::resolveFormerIds() {
    // The identifiers named are a few of the taxa's: they are looked up as the taxa are
    // walked, not the taxa's identifiers indexed. An old identifier that is still some
    // taxon's own names that one, not the one it was merged into.
    struct Mention {
        int32_t formers = -1;  // the list of the former ids of a merge target, -1: none
        bool former = false, held = false;
    };
    std::unordered_map<std::string_view, Mention> mentions;
    std::vector<std::vector<uint32_t>> formersOf;
    mentions.reserve(2 * m_pendingFormer.size());
    for (const auto& [id, former] : m_pendingFormer) {
        Mention& target = mentions[text(id)];
        if (target.formers < 0) {
            target.formers = static_cast<int32_t>(formersOf.size());
            formersOf.emplace_back();
        }
        formersOf[static_cast<size_t>(target.formers)].push_back(former);
        mentions[text(former)].former = true;
    }
    // One look per taxon: the old ids held find their holders, and the targets are noted in
    // the taxa's order, which the second pass keeps. The taxa's ids lie anywhere in memory and
    // most are not mentioned: each is fetched a few taxa ahead, and a bit per hash, which
    // stays in the cache, turns most away before the table is looked at.
    constexpr size_t kFilterBits = size_t{1} << 22, kAhead = 8;
    std::vector<uint64_t> filter(kFilterBits / 64, 0);
    const std::hash<std::string_view> hash;
    for (const auto& [key, mention] : mentions) {
        const size_t bit = hash(key) % kFilterBits;
        filter[bit / 64] |= uint64_t{1} << (bit % 64);
    }
    std::vector<size_t> targets;
    size_t walked = 0;
    for (size_t k = 0; k < m_entries.size(); ++k) {
        cancellationPoint(++walked);
        if (k + kAhead < m_entries.size() && m_entries[k + kAhead].id)
            __builtin_prefetch(m_text.data() + m_entries[k + kAhead].id);
        if (!m_entries[k].id) continue;
        const std::string_view id = text(m_entries[k].id);
        const size_t bit = hash(id) % kFilterBits;
        if (!(filter[bit / 64] >> (bit % 64) & 1)) continue;
        auto it = mentions.find(id);
        if (it == mentions.end()) continue;
        if (it->second.former) it->second.held = true;
        if (it->second.formers >= 0) targets.push_back(k);
    }
    for (size_t k : targets) {
        Mention& target = mentions.find(text(m_entries[k].id))->second;
        if (target.formers < 0) continue;  // a taxon told twice keeps its former identifiers once
        for (uint32_t former : formersOf[static_cast<size_t>(target.formers)])
            if (!mentions.find(text(former))->second.held)
                m_formerIds.push_back({m_entries[k].node, former});
        target.formers = -1;
    }
    m_pendingFormer.clear();
}

const TaxonFacts::Entry* TaxonFacts::find(const TreeNode* node) const {
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), node,
                               [](const Entry& e, const TreeNode* n) { return e.node < n; });
    return it != m_entries.end() && it->node == node ? &*it : nullptr;
}

const char* TaxonFacts::id(const TreeNode* node) const {
    const Entry* e = m_sealed ? find(node) : nullptr;
    return e ? text(e->id) : nullptr;
}

const char* TaxonFacts::authorship(const TreeNode* node) const {
    const Entry* e = m_sealed ? find(node) : nullptr;
    return e ? text(e->authorship) : nullptr;
}

std::vector<TaxonFacts::Synonym> TaxonFacts::synonyms() const {
    std::vector<Synonym> out;
    out.reserve(m_synonyms.size());
    for (const StoredSynonym& s : m_synonyms)
        out.push_back({s.accepted, text(s.name), s.authorship ? text(s.authorship) : ""});
    return out;
}
