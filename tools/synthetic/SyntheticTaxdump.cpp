#include "SyntheticTaxdump.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// splitmix64: the same numbers on every platform and library, unlike <random>'s
// distributions.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
};

enum Rank : uint8_t {
    Root, Domain, Phylum, Class, Clade, Order, Family, Genus, Group, Species, Subspecies, Strain
};
const char* const kRankWords[] = {"no rank", "superkingdom", "phylum",  "class",
                                  "clade",   "order",        "family",  "genus",
                                  "no rank", "species",      "subspecies", "strain"};

// A Latin-looking word for every number, no two alike: its digits in base 80 as syllables.
std::string word(uint64_t n, bool capital) {
    static const char kConsonants[] = "bcdfghklmnprstvz", kVowels[] = "aeiou";
    std::string w;
    do {
        const auto s = static_cast<unsigned>(n % 80);
        w += kConsonants[s / 5];
        w += kVowels[s % 5];
        n /= 80;
    } while (n);
    if (w.size() < 4) w += "ra";
    if (capital) w[0] = static_cast<char>(w[0] - 0x20);
    return w;
}

struct Node {
    uint32_t id = 0;
    uint32_t parent = 0;  // index into the nodes
    Rank rank = Root;
    uint32_t number = 0;  // of its kind, for its name
    bool hasChildren = false;
};

struct Release {
    std::vector<Node> nodes;
    std::vector<std::string> names;
    std::vector<std::pair<uint32_t, uint32_t>> merged;  // old, new tax_id
    std::vector<uint32_t> deleted;
};

class Writer {
public:
    explicit Writer(const std::filesystem::path& path) : m_file(std::fopen(path.c_str(), "wb")) {}
    ~Writer() { close(); }
    bool ok() const { return m_file && m_ok; }
    void add(const std::string& s) {
        m_buffer += s;
        if (m_buffer.size() > (1u << 20)) flush();
    }
    bool close() {
        if (!m_file) return false;
        flush();
        m_ok = std::fclose(m_file) == 0 && m_ok;
        m_file = nullptr;
        return m_ok;
    }

private:
    void flush() {
        m_ok = std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) == m_buffer.size() && m_ok;
        m_buffer.clear();
    }
    FILE* m_file;
    std::string m_buffer;
    bool m_ok = true;
};

std::string nameOf(const Release& r, const Node& n) {
    switch (n.rank) {
    case Root: return "root";
    case Domain: return n.number == 0 ? "Bacteria" : n.number == 1 ? "Archaea" : "Eukaryota";
    case Phylum: return word(n.number, true) + "ota";
    case Class: return word(n.number, true) + "ia";
    case Clade: return word(n.number, true) + "ida";
    case Order: return word(n.number, true) + "ales";
    case Family: return word(n.number, true) + "aceae";
    case Genus: return word(n.number, true) + "us";
    case Group:
        return n.number % 3 == 0 ? std::string("environmental samples")
                                 : "unclassified " + r.names[n.parent];
    case Species: {
        // A species in a group of unclassified ones takes the genus above the group.
        uint32_t g = n.parent;
        while (r.nodes[g].rank != Genus && r.nodes[g].rank != Family && g != 0) g = r.nodes[g].parent;
        const std::string& genus = r.names[g];
        return (r.nodes[g].rank == Genus ? genus : genus.substr(0, genus.size() - 5) + "us") + " " +
               word(n.number, false);
    }
    case Subspecies: return r.names[n.parent] + " " + word(n.number, false);
    case Strain: return r.names[n.parent] + " str. " + std::to_string(n.number);
    }
    return {};
}

// The first release: about `total` nodes in NCBI's proportions of ranks.
Release firstRelease(int64_t total, Random& random) {
    Release r;
    const auto n = static_cast<double>(std::max<int64_t>(total, 40));
    struct Level {
        Rank rank;
        double share;
    };
    // Strains take the rest.
    const Level levels[] = {{Phylum, 0.0001}, {Class, 0.0002}, {Clade, 0.002},  {Order, 0.0008},
                            {Family, 0.004},  {Genus, 0.045},  {Group, 0.02},   {Species, 0.78},
                            {Subspecies, 0.03}};
    std::vector<std::vector<uint32_t>> byRank(Strain + 1);
    auto add = [&](Rank rank, uint32_t parent) {
        Node node;
        node.parent = parent;
        node.rank = rank;
        node.number = static_cast<uint32_t>(byRank[rank].size());
        byRank[rank].push_back(static_cast<uint32_t>(r.nodes.size()));
        r.nodes[parent].hasChildren = true;
        r.nodes.push_back(node);
        r.names.push_back(nameOf(r, r.nodes.back()));
    };
    r.nodes.push_back({});
    r.names.push_back("root");
    for (int d = 0; d < 3; ++d) add(Domain, 0);
    auto pick = [&](Rank rank) { return byRank[rank][random.below(byRank[rank].size())]; };
    for (const Level& level : levels) {
        const auto count = std::max<int64_t>(1, static_cast<int64_t>(n * level.share));
        for (int64_t i = 0; i < count; ++i) {
            uint32_t parent = 0;
            switch (level.rank) {
            case Phylum: parent = pick(Domain); break;
            case Class: parent = pick(Phylum); break;
            case Clade: parent = random.chance(0.5) ? pick(Class) : pick(Phylum); break;
            case Order: parent = random.chance(0.3) ? pick(Clade) : pick(Class); break;
            case Family: parent = pick(Order); break;
            case Genus: parent = pick(Family); break;
            case Group: parent = random.chance(0.7) ? pick(Genus) : pick(Family); break;
            case Species: parent = random.chance(0.1) ? pick(Group) : pick(Genus); break;
            default: parent = pick(Species); break;
            }
            add(level.rank, parent);
        }
    }
    while (static_cast<int64_t>(r.nodes.size()) < total) add(Strain, byRank[Species][random.below(byRank[Species].size())]);
    // Tax_ids in no order of the tree, with gaps, as the real ones came to be.
    std::vector<uint32_t> ids(r.nodes.size() + r.nodes.size() / 4);
    for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<uint32_t>(i + 2);
    for (size_t i = ids.size() - 1; i > 0; --i) std::swap(ids[i], ids[random.below(i + 1)]);
    r.nodes[0].id = 1;
    for (size_t i = 1; i < r.nodes.size(); ++i) r.nodes[i].id = ids[i - 1];
    // The merged and deleted ids of earlier releases: ids no node holds.
    const auto unused = static_cast<uint32_t>(ids.size() + 2);
    for (uint32_t i = 0; i < r.nodes.size() / 30; ++i)
        r.merged.emplace_back(unused + 2 * i, r.nodes[1 + random.below(r.nodes.size() - 1)].id);
    for (uint32_t i = 0; i < r.nodes.size() / 10; ++i) r.deleted.push_back(unused + 2 * i + 1);
    return r;
}

// The next release: species merged into a sibling, leaves deleted, species added.
Release nextRelease(const Release& a, Random& random) {
    Release b = a;
    std::vector<char> gone(b.nodes.size(), 0);
    uint32_t nextId = 0;
    for (const Node& n : b.nodes) nextId = std::max(nextId, n.id);
    for (const auto& m : b.merged) nextId = std::max(nextId, m.first);
    for (uint32_t d : b.deleted) nextId = std::max(nextId, d);
    std::vector<std::vector<uint32_t>> speciesOf(b.nodes.size());
    for (uint32_t i = 0; i < b.nodes.size(); ++i)
        if (b.nodes[i].rank == Species && !b.nodes[i].hasChildren) speciesOf[b.nodes[i].parent].push_back(i);
    for (const auto& siblings : speciesOf) {
        for (size_t k = 1; k < siblings.size(); ++k) {
            const uint32_t i = siblings[k];
            if (random.chance(0.01) && !gone[siblings[0]]) {
                gone[i] = 1;
                b.merged.emplace_back(b.nodes[i].id, b.nodes[siblings[0]].id);
            } else if (random.chance(0.003)) {
                gone[i] = 1;
                b.deleted.push_back(b.nodes[i].id);
            }
        }
    }
    Release out;
    out.merged = std::move(b.merged);
    out.deleted = std::move(b.deleted);
    std::vector<uint32_t> at(b.nodes.size(), 0);
    for (uint32_t i = 0; i < b.nodes.size(); ++i) {
        if (gone[i]) continue;
        at[i] = static_cast<uint32_t>(out.nodes.size());
        Node n = b.nodes[i];
        n.parent = at[n.parent];
        out.nodes.push_back(n);
        out.names.push_back(b.names[i]);
    }
    std::vector<uint32_t> genera;
    for (uint32_t i = 0; i < out.nodes.size(); ++i)
        if (out.nodes[i].rank == Genus) genera.push_back(i);
    const size_t added = out.nodes.size() / 100;
    for (size_t k = 0; k < added && !genera.empty(); ++k) {
        Node n;
        n.id = ++nextId;
        n.parent = genera[random.below(genera.size())];
        n.rank = Species;
        n.number = static_cast<uint32_t>(10000000 + k);
        out.nodes.push_back(n);
        out.names.push_back(nameOf(out, n));
    }
    return out;
}

bool write(const Release& r, const std::filesystem::path& folder, uint32_t seed) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::vector<uint32_t> order(r.nodes.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](uint32_t x, uint32_t y) { return r.nodes[x].id < r.nodes[y].id; });
    Writer nodes(folder / "nodes.dmp"), names(folder / "names.dmp"),
        merged(folder / "merged.dmp"), deleted(folder / "delnodes.dmp");
    if (!nodes.ok() || !names.ok() || !merged.ok() || !deleted.ok()) return false;
    Random random{seed * 7919ull + 17};
    for (uint32_t i : order) {
        const Node& n = r.nodes[i];
        const std::string id = std::to_string(n.id);
        nodes.add(id + "\t|\t" + std::to_string(i == 0 ? 1 : r.nodes[n.parent].id) + "\t|\t" +
                  kRankWords[n.rank] + "\t|\t\t|\t0\t|\t1\t|\t11\t|\t1\t|\t0\t|\t1\t|\t0\t|\t0\t|\t\t|\n");
        const std::string& name = r.names[i];
        // The few names shared by several taxa get a unique name beside.
        const std::string unique = n.rank == Group ? name + " <" + r.names[n.parent] + ">" : "";
        names.add(id + "\t|\t" + name + "\t|\t" + unique + "\t|\tscientific name\t|\n");
        if (n.rank == Species || n.rank == Genus) {
            if (random.chance(0.02))
                names.add(id + "\t|\t" + word(n.number, false) + " worm\t|\t\t|\tgenbank common name\t|\n");
            if (random.chance(0.03))
                names.add(id + "\t|\tcommon " + word(n.number, false) + "\t|\t\t|\tcommon name\t|\n");
            if (random.chance(0.15))
                names.add(id + "\t|\t" + name + "ii\t|\t\t|\tsynonym\t|\n");
        }
    }
    for (const auto& [old, now] : r.merged)
        merged.add(std::to_string(old) + "\t|\t" + std::to_string(now) + "\t|\n");
    for (uint32_t d : r.deleted) deleted.add(std::to_string(d) + "\t|\n");
    return nodes.close() && names.close() && merged.close() && deleted.close();
}

}  // namespace

bool writeSyntheticTaxdumps(const std::string& folderA, const std::string& folderB,
                            const SyntheticTaxdumpOptions& options) {
    Random random{options.seed};
    const Release a = firstRelease(options.nodes, random);
    if (!write(a, folderA, options.seed)) return false;
    const Release b = nextRelease(a, random);
    return write(b, folderB, options.seed + 1);
}
