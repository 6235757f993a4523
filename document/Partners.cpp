#include "Partners.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "Console.h"

namespace {

// The last byte of the magic is the version of the rules that paired renamed taxa: a file
// written under other rules holds other pairs, and is read as stale, like one of other tree
// files. Raise it whenever the rules change what they pair ('1': rules id to ending).
constexpr char kMagic[8] = {'C', 'L', 'A', 'D', 'P', 'R', 'T', '2'};
constexpr size_t kRulesVersionAt = sizeof kMagic - 1;

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

// The nodes of a tree in file order (depth first), at the places asked for.
std::unordered_map<uint32_t, const TreeNode*> nodesAt(const ClassificationTree& tree,
                                                      const std::vector<uint32_t>& wanted) {
    std::unordered_map<uint32_t, const TreeNode*> at;
    for (uint32_t w : wanted) at.emplace(w, nullptr);
    uint32_t i = 0;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        auto it = at.find(i++);
        if (it != at.end()) it->second = n;
    });
    return at;
}

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
    }
    ::close(fd);
    stamp.size = size;
    stamp.hash = XXH3_64bits_digest(&state);
    return ok;
}

std::string partnersFileBytes(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const FileStamp& stamp1, const FileStamp& stamp2,
                              const RenamePairs& pairs, const TaxonFacts facts[2]) {
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
    return out;
}

int readPartnersFileBytes(const std::string& bytes, const ClassificationTree& tree1,
                          const ClassificationTree& tree2, const FileStamp& stamp1,
                          const FileStamp& stamp2, std::vector<RenamePair>& pairs,
                          TaxonFacts facts[2]) {
    pairs.clear();
    facts[0].clear();
    facts[1].clear();
    Bytes in(bytes);
    char magic[sizeof kMagic];
    if (!in.take(magic, sizeof magic) || std::memcmp(magic, kMagic, kRulesVersionAt) != 0) return 2;
    if (magic[kRulesVersionAt] != kMagic[kRulesVersionAt]) return 3;
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
    std::vector<uint32_t> wanted[2];
    for (Stored& p : storedPairs) {
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
            if (!in.number(f.place) || !in.text(f.id) || !in.text(f.authorship)) return 2;
            wanted[side].push_back(f.place);
        }
    }
    if (!in.atEnd()) return 2;
    auto at1 = nodesAt(tree1, wanted[0]), at2 = nodesAt(tree2, wanted[1]);
    for (const Stored& p : storedPairs) {
        const TreeNode* n1 = at1[p.place1];
        const TreeNode* n2 = at2[p.place2];
        if (!n1 || !n2) return 2;
        pairs.push_back({n1, n2, static_cast<RenameEvidence>(p.evidence)});
    }
    for (int side = 0; side < 2; ++side) {
        auto& at = side == 0 ? at1 : at2;
        for (const StoredFacts& f : storedFacts[side]) {
            const TreeNode* n = at[f.place];
            if (!n) return 2;
            facts[side].add(n, f.id, f.authorship);
        }
        facts[side].seal();
    }
    return 0;
}

ImportOptions DocPartners::optionsFor(const ImportOptions& base, int treeId) {
    m_done = false;
    m_fromFile = false;
    TaxonFacts& pending = m_pending[treeId == 2 ? 1 : 0];
    pending.clear();
    ImportOptions options = base;
    options.facts = &pending;
    return options;
}

void DocPartners::readBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                             const std::string& path1, const std::string& path2) {
    m_done = false;
    m_fromFile = false;
    m_pending[0].clear();
    m_pending[1].clear();
    const std::string path = partnersPathBeside(path1);
    std::ifstream file(path, std::ios::binary);
    if (!file) return;  // none: the partners are found afresh
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    FileStamp stamp1, stamp2;
    int result = 1;
    if (stampFile(path1, stamp1) && stampFile(path2, stamp2))
        result = readPartnersFileBytes(bytes, tree1, tree2, stamp1, stamp2, m_pendingPairs,
                                       m_pending);
    if (result == 0) {
        m_fromFile = true;
        return;
    }
    m_pendingPairs.clear();
    m_pending[0].clear();
    m_pending[1].clear();
    consolePrintf(result == 1   ? "%s was written with other tree files than these: ignored\n"
                  : result == 3 ? "%s was written under other rules for renamed taxa: ignored\n"
                                : "%s is damaged: ignored\n",
                  path.c_str());
}

void DocPartners::prepare(const ClassificationTree& tree1, const ClassificationTree& tree2) {
    if (m_done) return;
    m_done = true;
    facts[0].clear();
    facts[1].clear();
    facts[0].swap(m_pending[0]);
    facts[1].swap(m_pending[1]);
    if (m_fromFile) {
        pairs.assign(std::move(m_pendingPairs));
        m_pendingPairs.clear();
        m_fromFile = false;
        return;
    }
    // Levels left out to compare like with like took their nodes' facts with them.
    facts[0].resolve(tree1);
    facts[1].resolve(tree2);
    pairs.find(tree1, tree2, &facts[0], &facts[1]);
}

bool DocPartners::writeBeside(const ClassificationTree& tree1, const ClassificationTree& tree2,
                              const std::string& path1, const std::string& path2) {
    prepare(tree1, tree2);
    const std::string path = partnersPathBeside(path1);
    FileStamp stamp1, stamp2;
    bool ok = stampFile(path1, stamp1) && stampFile(path2, stamp2);
    if (ok) {
        const std::string bytes = partnersFileBytes(tree1, tree2, stamp1, stamp2, pairs, facts);
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
