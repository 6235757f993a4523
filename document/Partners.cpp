#include "Partners.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "Cancellation.h"
#include "Console.h"
#include "LoadedRelations.h"

namespace {

constexpr char kMagic[8] = {'C', 'L', 'A', 'D', 'P', 'R', 'T', '2'};
// The first layout: partners only, found by older rules. Such a file is stale, not damaged.
constexpr char kFirstMagic[8] = {'C', 'L', 'A', 'D', 'P', 'R', 'T', '1'};
constexpr uint32_t kNoPlace = UINT32_MAX;

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
void put64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
}
void putText(std::string& out, const char* s) {
    const size_t n = s ? std::min<size_t>(std::strlen(s), 0xFFFF) : 0;
    out += static_cast<char>(n);
    out += static_cast<char>(n >> 8);
    out.append(s ? s : "", n);
}

class Bytes {
public:
    explicit Bytes(const std::string& s) : m_s(s) {}
    bool take(void* out, size_t n) {
        if (m_s.size() - m_at < n) return false;
        std::memcpy(out, m_s.data() + m_at, n);
        m_at += n;
        return true;
    }
    template <class T>
    bool number(T& v) {
        unsigned char b[sizeof(T)];
        if (!take(b, sizeof b)) return false;
        v = 0;
        for (size_t i = 0; i < sizeof b; ++i) v |= static_cast<T>(b[i]) << (8 * i);
        return true;
    }
    bool text(std::string& out) {
        uint16_t n;
        if (!number(n) || m_s.size() - m_at < n) return false;
        out.assign(m_s, m_at, n);
        m_at += n;
        return true;
    }
    bool atEnd() const { return m_at == m_s.size(); }

private:
    const std::string& m_s;
    size_t m_at = 0;
};

// The nodes at `places` (sorted, each once) of a tree in file order, aligned with them; null
// past the tree's end. One walk, and no map: a file's relations name hundreds of thousands.
std::vector<const TreeNode*> nodesAtPlaces(const ClassificationTree& tree,
                                           const std::vector<uint32_t>& places) {
    std::vector<const TreeNode*> nodes(places.size(), nullptr);
    size_t next = 0;
    uint32_t i = 0;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        cancellationPoint(i);
        if (next < places.size() && places[next] == i) nodes[next++] = n;
        ++i;
    });
    return nodes;
}

// What a file names of one tree (its pairs, facts and relations): the places, then their nodes.
struct PlacedNodes {
    std::vector<uint32_t> places;
    std::vector<const TreeNode*> nodes;
    void resolve(const ClassificationTree& tree) {
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        nodes = nodesAtPlaces(tree, places);
    }
    const TreeNode* at(uint32_t place) const {
        auto it = std::lower_bound(places.begin(), places.end(), place);
        return it == places.end() || *it != place ? nullptr : nodes[it - places.begin()];
    }
};

std::unordered_map<const TreeNode*, uint32_t> placesOf(const ClassificationTree& tree,
                                                       const std::vector<const TreeNode*>& wanted) {
    std::unordered_map<const TreeNode*, uint32_t> at;
    for (const TreeNode* w : wanted) at.emplace(w, UINT32_MAX);
    uint32_t i = 0;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        auto it = at.find(n);
        if (it != at.end()) it->second = i;
        ++i;
    });
    return at;
}

// The taxa whose facts a later load may want: those that could be paired (species and
// subspecies held by their own tree only).
bool kept(const TreeNode* n, uint8_t treeId) {
    const int rank = rankFromName(n->rankName);
    return n->onlyInTree == treeId && (rank == Species || rank == Subspecies);
}

}  // namespace

std::string partnersPathBeside(const std::string& treePath) {
    const size_t slash = treePath.find_last_of('/');
    return slash == std::string::npos ? kPartnersFile : treePath.substr(0, slash + 1) + kPartnersFile;
}

bool stampFile(const std::string& path, FileStamp& stamp) {
    // Read through a small buffer, not mapped: the tree files are hundreds of megabytes, and
    // their mapped pages would count in the process's resident memory while they are hashed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    std::vector<char> block(size_t(1) << 20);
    uint64_t size = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        XXH3_64bits_update(&state, block.data(), static_cast<size_t>(n));
        size += static_cast<uint64_t>(n);
        cancellationPoint();
    }
    ::close(fd);
    stamp.size = size;
    stamp.hash = XXH3_64bits_digest(&state);
    return ok;
}

std::string partnersFileBytes(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const FileStamp& stamp1, const FileStamp& stamp2,
                              const RenamePairs& pairs, const TaxonFacts facts[2],
                              const TaxonRelations* relations) {
    std::vector<const TreeNode*> wanted[2];
    for (const RenamePair& p : pairs.pairs()) {
        wanted[0].push_back(p.node1);
        wanted[1].push_back(p.node2);
    }
    for (int side = 0; side < 2; ++side)
        facts[side].forEach([&](const TreeNode* n, const char*, const char*) {
            if (kept(n, static_cast<uint8_t>(side + 1))) wanted[side].push_back(n);
        });
    std::unordered_map<const TreeNode*, uint32_t> places[2] = {placesOf(tree1, wanted[0]),
                                                               placesOf(tree2, wanted[1])};
    std::string out(kMagic, sizeof kMagic);
    put32(out, kPairingRulesVersion);
    for (const FileStamp* s : {&stamp1, &stamp2}) {
        put64(out, s->size);
        put64(out, s->hash);
    }
    std::vector<const RenamePair*> stored;
    for (const RenamePair& p : pairs.pairs())
        if (places[0][p.node1] != UINT32_MAX && places[1][p.node2] != UINT32_MAX) stored.push_back(&p);
    put32(out, static_cast<uint32_t>(stored.size()));
    for (const RenamePair* p : stored) {
        put32(out, places[0][p->node1]);
        put32(out, places[1][p->node2]);
        out += static_cast<char>(p->evidence);
    }
    for (int side = 0; side < 2; ++side) {
        std::string entries;
        uint32_t count = 0;
        facts[side].forEach([&](const TreeNode* n, const char* id, const char* authorship) {
            auto it = places[side].find(n);
            if (it == places[side].end() || it->second == UINT32_MAX) return;
            put32(entries, it->second);
            putText(entries, id);
            putText(entries, authorship);
            ++count;
        });
        put32(out, count);
        out += entries;
    }
    out += static_cast<char>(relations != nullptr);
    if (!relations) return out;
    // The taxa of each side stand in the order of a walk of their tree, as the file's nodes
    // do: one walk beside their list gives their places, without a map of every node.
    const std::vector<TaxonVerdict>& taxa = relations->taxa();
    std::vector<uint32_t> taxonPlaces(taxa.size(), kNoPlace);
    for (int side = 0; side < 2; ++side) {
        size_t next = 0;
        while (next < taxa.size() && taxa[next].side != side + 1) ++next;
        uint32_t i = 0;
        forEachNode(static_cast<const TreeNode*>(side == 0 ? &tree1 : &tree2), [&](const TreeNode* n) {
            if (next < taxa.size() && taxa[next].node == n) {
                taxonPlaces[next] = i;
                do ++next;
                while (next < taxa.size() && taxa[next].side != side + 1);
            }
            ++i;
        });
    }
    std::vector<std::pair<const TreeNode*, uint32_t>> byNode[2];
    for (size_t t = 0; t < taxa.size(); ++t)
        byNode[taxa[t].side == 2 ? 1 : 0].emplace_back(taxa[t].node, taxonPlaces[t]);
    for (auto& list : byNode) std::sort(list.begin(), list.end());
    auto placeOf = [&](int side, const TreeNode* n) {
        if (!n) return kNoPlace;
        auto it = std::lower_bound(byNode[side].begin(), byNode[side].end(),
                                   std::pair<const TreeNode*, uint32_t>(n, 0));
        return it == byNode[side].end() || it->first != n ? kNoPlace : it->second;
    };
    put32(out, static_cast<uint32_t>(relations->ranks().size()));
    for (const std::string& rank : relations->ranks()) putText(out, rank.c_str());
    put32(out, static_cast<uint32_t>(relations->taxa().size()));
    for (size_t t = 0; t < taxa.size(); ++t) {
        const TaxonVerdict& v = taxa[t];
        put32(out, taxonPlaces[t]);
        out += static_cast<char>(v.side);
        put32(out, v.rank);
        out += static_cast<char>(v.verdict);
        put32(out, v.species);
    }
    put32(out, static_cast<uint32_t>(relations->relations().size()));
    for (const TaxonRelation& r : relations->relations()) {
        put32(out, placeOf(0, r.taxon1));
        put32(out, placeOf(1, r.taxon2));
        out += static_cast<char>(r.relation);
        for (uint32_t v : {r.rank, r.shared, r.species1, r.species2}) put32(out, v);
    }
    return out;
}

namespace {

int readPartners(const std::string& bytes, const ClassificationTree& tree1,
                 const ClassificationTree& tree2, const FileStamp& stamp1,
                 const FileStamp& stamp2, std::vector<RenamePair>& pairs,
                 TaxonFacts facts[2], TaxonRelations* relations, bool* hasRelations) {
    pairs.clear();
    facts[0].clear();
    facts[1].clear();
    if (hasRelations) *hasRelations = false;
    Bytes in(bytes);
    char magic[sizeof kMagic];
    if (!in.take(magic, sizeof magic)) return 2;
    if (std::memcmp(magic, kFirstMagic, sizeof kMagic) == 0) return 1;
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0) return 2;
    uint32_t rules;
    if (!in.number(rules)) return 2;
    if (rules != kPairingRulesVersion) return 1;
    FileStamp stored[2];
    for (FileStamp& s : stored)
        if (!in.number(s.size) || !in.number(s.hash)) return 2;
    if (!(stored[0] == stamp1) || !(stored[1] == stamp2)) return 1;

    struct Stored {
        uint32_t place1, place2;
        uint8_t evidence;
    };
    uint32_t count;
    if (!in.number(count) || count > bytes.size()) return 2;
    std::vector<Stored> storedPairs(count);
    // A file's pairs and facts run to hundreds of thousands: the work is called off between
    // them as within every long loop of the comparison.
    size_t steps = 0;
    std::vector<uint32_t> wanted[2];
    for (Stored& p : storedPairs) {
        cancellationPoint(++steps);
        if (!in.number(p.place1) || !in.number(p.place2) || !in.number(p.evidence) ||
            p.evidence > static_cast<uint8_t>(RenameEvidence::Spelling))
            return 2;
        wanted[0].push_back(p.place1);
        wanted[1].push_back(p.place2);
    }
    struct StoredFacts {
        uint32_t place;
        std::string id, authorship;
    };
    std::vector<StoredFacts> storedFacts[2];
    for (int side = 0; side < 2; ++side) {
        if (!in.number(count) || count > bytes.size()) return 2;
        storedFacts[side].resize(count);
        for (StoredFacts& f : storedFacts[side]) {
            cancellationPoint(++steps);
            if (!in.number(f.place) || !in.text(f.id) || !in.text(f.authorship)) return 2;
            wanted[side].push_back(f.place);
        }
    }
    uint8_t withRelations;
    if (!in.number(withRelations) || withRelations > 1) return 2;
    std::vector<std::string> ranks;
    std::vector<TaxonVerdict> taxa;
    std::vector<TaxonRelation> lines;
    PlacedNodes placed[2];
    std::vector<uint32_t> taxonPlaces;
    std::vector<std::pair<uint32_t, uint32_t>> linePlaces;
    if (withRelations) {
        uint32_t n;
        if (!in.number(n) || n > bytes.size()) return 2;
        ranks.resize(n);
        for (std::string& rank : ranks)
            if (!in.text(rank)) return 2;
        if (!in.number(n) || n > bytes.size()) return 2;
        taxa.resize(n);
        for (TaxonVerdict& v : taxa) {
            cancellationPoint(++steps);
            uint32_t place;
            uint8_t verdict;
            if (!in.number(place) || !in.number(v.side) || !in.number(v.rank) ||
                !in.number(verdict) || !in.number(v.species) || (v.side != 1 && v.side != 2) ||
                v.rank >= ranks.size() || verdict > static_cast<uint8_t>(Verdict::OnlyIn2))
                return 2;
            v.verdict = static_cast<Verdict>(verdict);
            // Each tree's taxa in the order of its walk, as they were found: their places
            // rise, and tree 1's come first.
            std::vector<uint32_t>& sidePlaces = placed[v.side - 1].places;
            if ((!sidePlaces.empty() && place <= sidePlaces.back()) ||
                (v.side == 1 && !placed[1].places.empty()))
                return 2;
            taxonPlaces.push_back(place);
            sidePlaces.push_back(place);
        }
        if (!in.number(n) || n > bytes.size()) return 2;
        lines.resize(n);
        for (TaxonRelation& r : lines) {
            cancellationPoint(++steps);
            uint32_t place1, place2;
            uint8_t relation;
            if (!in.number(place1) || !in.number(place2) || !in.number(relation) ||
                !in.number(r.rank) || !in.number(r.shared) || !in.number(r.species1) ||
                !in.number(r.species2) || relation > static_cast<uint8_t>(Relation::Unrelated) ||
                r.rank >= ranks.size() || (place1 == kNoPlace && place2 == kNoPlace))
                return 2;
            r.relation = static_cast<Relation>(relation);
            // A related taxon is one of the taxa above.
            auto listed = [&](int side, uint32_t place) {
                const std::vector<uint32_t>& list = placed[side].places;
                return place == kNoPlace || std::binary_search(list.begin(), list.end(), place);
            };
            if (!listed(0, place1) || !listed(1, place2)) return 2;
            linePlaces.emplace_back(place1, place2);
        }
    }
    if (!in.atEnd()) return 2;
    // One walk of each tree finds every taxon the file names.
    for (int side = 0; side < 2; ++side) {
        std::vector<uint32_t>& all = placed[side].places;
        all.insert(all.end(), wanted[side].begin(), wanted[side].end());
        std::vector<uint32_t>().swap(wanted[side]);
    }
    placed[0].resolve(tree1);
    placed[1].resolve(tree2);
    if (withRelations) {
        auto node = [&](int side, uint32_t place, const TreeNode*& out) {
            out = place == kNoPlace ? nullptr : placed[side].at(place);
            return place == kNoPlace || out;
        };
        for (size_t i = 0; i < taxa.size(); ++i, cancellationPoint(++steps))
            if (taxonPlaces[i] == kNoPlace || !node(taxa[i].side - 1, taxonPlaces[i], taxa[i].node))
                return 2;
        for (size_t i = 0; i < lines.size(); ++i, cancellationPoint(++steps))
            if (!node(0, linePlaces[i].first, lines[i].taxon1) ||
                !node(1, linePlaces[i].second, lines[i].taxon2))
                return 2;
    }
    for (const Stored& p : storedPairs) {
        cancellationPoint(++steps);
        const TreeNode* n1 = placed[0].at(p.place1);
        const TreeNode* n2 = placed[1].at(p.place2);
        if (!n1 || !n2) return 2;
        pairs.push_back({n1, n2, static_cast<RenameEvidence>(p.evidence)});
    }
    for (int side = 0; side < 2; ++side) {
        for (const StoredFacts& f : storedFacts[side]) {
            cancellationPoint(++steps);
            const TreeNode* n = placed[side].at(f.place);
            if (!n) return 2;
            facts[side].add(n, f.id, f.authorship);
        }
        facts[side].seal();
        cancellationPoint();
    }
    if (withRelations && relations) {
        *relations = TaxonRelations::fromParts(std::move(ranks), std::move(lines), std::move(taxa));
        if (hasRelations) *hasRelations = true;
    }
    return 0;
}

}  // namespace

int readPartnersFileBytes(const std::string& bytes, const ClassificationTree& tree1,
                          const ClassificationTree& tree2, const FileStamp& stamp1,
                          const FileStamp& stamp2, std::vector<RenamePair>& pairs,
                          TaxonFacts facts[2], TaxonRelations* relations, bool* hasRelations) {
    const int result =
        readPartners(bytes, tree1, tree2, stamp1, stamp2, pairs, facts, relations, hasRelations);
    if (result != 0) {  // nothing of a file refused is left to be taken by mistake
        pairs.clear();
        facts[0].clear();
        facts[1].clear();
    }
    return result;
}

ImportOptions DocPartners::optionsFor(const ImportOptions& base, int treeId) {
    m_done = false;
    m_beside[0].clear();
    m_beside[1].clear();
    TaxonFacts& pending = m_pending[treeId == 2 ? 1 : 0];
    pending.clear();
    ImportOptions options = base;
    options.facts = &pending;
    return options;
}

void DocPartners::expectBeside(const std::string& path1, const std::string& path2) {
    m_done = false;
    m_pending[0].clear();
    m_pending[1].clear();
    m_beside[0] = path1;
    m_beside[1] = path2;
}

void DocPartners::prepare(const ClassificationTree& tree1, const ClassificationTree& tree2) {
    if (m_done) return;
    m_done = true;
    m_notice.clear();
    facts[0].clear();
    facts[1].clear();
    pairs.clear();
    relations = TaxonRelations();
    hasRelations = false;
    if (!m_beside[0].empty()) {
        const std::string path = partnersPathBeside(m_beside[0]);
        std::ifstream file(path, std::ios::binary);
        if (file) {  // none: the partners are found afresh, and nothing is said
            // Read whole at once: tens of megabytes, which a character iterator reads slowly.
            std::string bytes;
            file.seekg(0, std::ios::end);
            const std::streamoff size = file.tellg();
            file.seekg(0, std::ios::beg);
            if (size > 0) {
                bytes.resize(static_cast<size_t>(size));
                if (!file.read(bytes.data(), size)) bytes.resize(static_cast<size_t>(file.gcount()));
            }
            FileStamp stamp1, stamp2;
            std::vector<RenamePair> stored;
            int result = 1;
            bool stamped2 = false;
            {
                ScopedThread second([&] { stamped2 = stampFile(m_beside[1], stamp2); });
                const bool stamped1 = stampFile(m_beside[0], stamp1);
                second.join();
                stamped2 = stamped2 && stamped1;
            }
            cancellationPoint();
            if (stamped2)
                result = readPartnersFileBytes(bytes, tree1, tree2, stamp1, stamp2, stored, facts,
                                               &relations, &hasRelations);
            m_beside[0].clear();
            m_beside[1].clear();
            if (result == 0) {
                pairs.assign(std::move(stored));
                return;
            }
            facts[0].clear();
            facts[1].clear();
            relations = TaxonRelations();
            hasRelations = false;
            m_notice = path + (result == 1 ? " was written with other tree files than these: ignored\n"
                                           : " is damaged: ignored\n");
        }
        m_beside[0].clear();
        m_beside[1].clear();
    }
    facts[0].swap(m_pending[0]);
    facts[1].swap(m_pending[1]);
    m_pending[0].clear();
    m_pending[1].clear();
    // Levels left out to compare like with like took their nodes' facts with them.
    facts[0].resolve(tree1);
    facts[1].resolve(tree2);
    pairs.find(tree1, tree2, &facts[0], &facts[1]);
}

void DocPartners::findForFile(const ClassificationTree& tree1, const ClassificationTree& tree2) {
    prepare(tree1, tree2);
    // Found once here, they are what every load of these tree files takes.
    if (!hasRelations) {
        relations = relateLoadedTrees(tree1, tree2, speciesPairsOf(pairs));
        hasRelations = true;
    }
}

bool DocPartners::writeBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const std::string& path1, const std::string& path2) {
    findForFile(tree1, tree2);
    const std::string path = partnersPathBeside(path1);
    FileStamp stamp1, stamp2;
    bool ok = stampFile(path1, stamp1) && stampFile(path2, stamp2);
    if (ok) {
        const std::string bytes =
            partnersFileBytes(tree1, tree2, stamp1, stamp2, pairs, facts, &relations);
        const std::string staged = path + ".new";
        std::FILE* f = std::fopen(staged.c_str(), "wb");
        ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) ok = std::fclose(f) == 0 && ok;
        ok = ok && std::rename(staged.c_str(), path.c_str()) == 0;
        if (!ok) std::remove(staged.c_str());
    }
    if (!ok) consolePrintf("Writing %s has been failed!\n", path.c_str());
    return ok;
}
