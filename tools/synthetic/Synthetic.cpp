#include "Synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TreeNode.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// splitmix64: small, fast, and the same sequence on every platform, unlike the standard
// library's distributions.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    // Uniform in [0, n).
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
    // Heavy-tailed weight (Pareto, shape 1.3): most small, a few very large.
    double paretoWeight() { return std::pow(1.0 - unit(), -1.0 / 1.3); }

private:
    uint64_t m_state;
};

// How likely a lineage is to use each rank below its parent; mandatory ranks are 1.
// Subspecies is handled apart (only below species).
constexpr double kRankUse[kRankCount] = {
    1.0,   // Kingdom
    1.0,   // Phylum
    0.3,   // Subphylum
    0.2,   // Superclass
    1.0,   // Class
    0.4,   // Subclass
    0.2,   // Infraclass
    0.3,   // Superorder
    1.0,   // Order
    0.4,   // Suborder
    0.2,   // Infraorder
    0.4,   // Superfamily
    1.0,   // Family
    0.5,   // Subfamily
    0.3,   // Tribe
    0.15,  // Subtribe
    1.0,   // Genus
    0.08,  // Subgenus
    1.0,   // Species
    0.0,   // Subspecies
};

// Typical number of taxa in the subtree of a taxon of each rank; a parent with a budget
// of B taxa gets about B / kSubtreeSize[child rank] children.
constexpr double kSubtreeSize[kRankCount] = {
    1e9, 400000, 150000, 120000, 60000, 25000, 12000, 8000, 4000, 1500,
    900, 500,    160,    70,     40,    25,    12,    8,    1.3,  1};

const char* const kSuffix[kRankCount] = {
    "ia",  "ata", "ozoa", "apoda", "ia",  "eria", "alia",   "athera", "iformes", "omorpha",
    "ota", "oidea", "idae", "inae", "ini", "ina",  "us",     "ella",   "",        ""};

const char* const kSyllables[] = {
    "ba", "ca", "da", "fe", "gi", "lo", "mu", "na", "phi", "ra", "sto", "the", "vi",
    "xa", "zy", "lep", "tor", "mic", "dro", "pha", "chi", "lu", "ser", "an", "bol",
    "cri", "del", "em", "fu", "gor", "hy", "ka", "lim", "mo", "ne", "or", "pel", "qui",
    "ro", "sa", "ti", "ur", "ve", "wa", "ze", "tri", "pso", "cte", "rhi", "pte"};
constexpr uint32_t kSyllableCount = sizeof kSyllables / sizeof kSyllables[0];

const char* const kEpithetEnds[] = {"us", "a", "um", "is", "ensis", "ii", "oides", "atus"};
const char* const kAdjectives[] = {"Common", "Lesser", "Greater", "Spotted", "Striped",
                                   "Northern", "Southern", "Dwarf", "Giant", "Red", "Black",
                                   "Golden", "Pale", "Hairy", "Long-tailed", "Mountain"};
const char* const kNouns[] = {"beetle", "moth", "weevil", "fly", "wasp", "snail", "spider",
                              "mouse", "shrew", "bat", "finch", "frog", "fern", "sedge",
                              "moss", "orchid", "skink", "gecko", "crab", "worm"};

template <size_t N>
const char* pick(Random& r, const char* const (&list)[N]) {
    return list[r.below(N)];
}

// Names live in one pool; a node holds an offset and a length.
struct NameRef {
    uint64_t offset = 0;
    uint32_t length = 0;
};

struct Taxa {
    std::string pool;
    std::vector<uint32_t> parentA, parentB;  // kNone: not in that classification
    std::vector<uint8_t> rank;                // structural rank, the same in both
    std::vector<uint8_t> rankB;               // rank name written to the second file
    std::vector<NameRef> latin, latinB, common;

    uint32_t add(uint32_t parent, int r, NameRef name, NameRef commonName) {
        parentA.push_back(parent);
        parentB.push_back(parent);
        rank.push_back(static_cast<uint8_t>(r));
        rankB.push_back(static_cast<uint8_t>(r));
        latin.push_back(name);
        latinB.push_back(name);
        common.push_back(commonName);
        return static_cast<uint32_t>(rank.size() - 1);
    }
    NameRef store(const std::string& s) {
        NameRef n{pool.size(), static_cast<uint32_t>(s.size())};
        pool += s;
        return n;
    }
    std::string text(NameRef n) const { return pool.substr(n.offset, n.length); }
    size_t size() const { return rank.size(); }
};

std::string stem(Random& r, int syllables) {
    std::string s;
    for (int i = 0; i < syllables; ++i) s += kSyllables[r.below(kSyllableCount)];
    return s;
}

std::string capitalised(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

std::string epithet(Random& r) {
    return stem(r, 1 + static_cast<int>(r.below(3))) + pick(r, kEpithetEnds);
}

// A Latin name for a taxon of rank `rk`; species and subspecies are built on the name
// of their genus or species.
std::string latinFor(Random& r, int rk, const std::string& above) {
    if (rk == Species || rk == Subspecies) return above + " " + epithet(r);
    if (rk == Subgenus) return above + " (" + capitalised(stem(r, 2)) + ")";
    return capitalised(stem(r, 2 + static_cast<int>(r.below(2))) + kSuffix[rk]);
}

std::string commonFor(Random& r, int rk) {
    // Most low-ranked taxa have no common name; higher ones more often do.
    double p = rk >= Species ? 0.25 : rk >= Genus ? 0.35 : 0.55;
    if (!r.chance(p)) return {};
    std::string s = std::string(pick(r, kAdjectives)) + " " + pick(r, kNouns);
    if (rk < Genus) s += "s";
    return s;
}

int childRankOf(Random& r, int rk) {
    if (rk == Species) return Subspecies;
    for (int c = rk + 1; c < Subspecies; ++c)
        if (kRankUse[c] >= 1.0 || r.chance(kRankUse[c])) return c;
    return Species;
}

class Generator {
public:
    Generator(const SyntheticOptions& o) : m_rng(o.seed), m_options(o) {}

    void build() {
        int64_t total = std::max<int64_t>(o().taxa, 1);
        // Set aside the planted wide sibling lists, so the total stays near the request.
        int64_t giant = total >= 1200 ? total / 12 : 0;
        int64_t wide = total >= 4000 ? total / 400 : 0;
        // Three wide genera, and a wide family whose genera hold two species on average.
        int64_t regular = total - giant - 3 * wide - 3 * wide;
        grow(std::max<int64_t>(regular, 1));
        plant(giant, wide);
    }

    void revise(double rate) {
        Taxa& t = m_taxa;
        size_t n = t.size();
        std::vector<std::vector<uint32_t>> byRank(kRankCount);
        for (uint32_t i = 0; i < n; ++i) byRank[t.rank[i]].push_back(i);
        for (uint32_t i = 1; i < n; ++i) {
            if (!m_rng.chance(rate)) continue;
            int rk = t.rank[i];
            double what = m_rng.unit();
            if (what < 0.35) {  // renamed: a spelling change or a new epithet
                std::string name = t.text(t.latin[i]);
                if (rk == Species && o().misspeltShare > 0 && m_rng.chance(o().misspeltShare) &&
                    misspell(i)) {
                    continue;
                } else if (rk == Species && renameSpecies(i, byRank[Genus])) {
                    continue;
                } else if (rk >= Species) {
                    size_t blank = name.rfind(' ');
                    name = name.substr(0, blank + 1) + epithet(m_rng);
                } else {
                    name = capitalised(stem(m_rng, 1)) + name.substr(1);
                }
                t.latinB[i] = t.store(name);
            } else if (what < 0.55) {  // moved under another taxon of the parent's rank
                const auto& candidates = byRank[t.rank[t.parentA[i]]];
                t.parentB[i] = candidates[m_rng.below(static_cast<uint32_t>(candidates.size()))];
            } else if (what < 0.70) {
                // Removed with everything below it; only genera and below, since a checklist
                // revision does not drop whole orders.
                if (rk >= Genus) t.parentB[i] = kNone;
                else t.rankB[i] = static_cast<uint8_t>(rk + 1);
            } else if (what < 0.85) {  // a new sibling described
                uint32_t p = t.parentA[i];
                std::string above = rk >= Species ? genusPart(t.text(t.latin[i])) : "";
                uint32_t k = t.add(p, rk, t.store(latinFor(m_rng, rk, above)),
                                   t.store(commonFor(m_rng, rk)));
                t.parentA[k] = kNone;
            } else {  // re-ranked one step up or down
                int to = rk == 0 ? 1 : rk == Subspecies ? Species : rk + (m_rng.chance(0.5) ? 1 : -1);
                t.rankB[i] = static_cast<uint8_t>(to);
            }
        }
    }

    Taxa& taxa() { return m_taxa; }

private:
    // Two of three renamed species are renamed as revisions rename them: the epithet's
    // gender ending made to agree with the genus, or the species moved to another genus of
    // its genus's parent, keeping its epithet. False to leave it to a new epithet.
    bool renameSpecies(uint32_t i, const std::vector<uint32_t>& genera) {
        Taxa& t = m_taxa;
        const double how = m_rng.unit();
        if (how >= 2.0 / 3) return false;
        const std::string name = t.text(t.latin[i]);
        const size_t blank = name.rfind(' ');
        const std::string epithetPart = name.substr(blank + 1);
        if (how < 1.0 / 3) {
            static const char* const kAgree[][2] = {{"atus", "ata"}, {"ensis", "ense"}, {"us", "a"},
                                                    {"um", "us"},    {"ii", "i"},       {"is", "e"},
                                                    {"a", "um"}};
            for (const auto& [from, to] : kAgree) {
                const size_t n = std::strlen(from);
                if (epithetPart.size() > n + 2 &&
                    epithetPart.compare(epithetPart.size() - n, n, from) == 0) {
                    t.latinB[i] = t.store(name.substr(0, name.size() - n) + to);
                    return true;
                }
            }
            return false;
        }
        const uint32_t genus = t.parentA[i];
        if (genus == kNone || t.rank[genus] != Genus || genera.empty()) return false;
        for (int tries = 0; tries < 8; ++tries) {
            const uint32_t g = genera[m_rng.below(static_cast<uint32_t>(genera.size()))];
            if (g == genus || t.parentA[g] != t.parentA[genus] || t.parentB[g] == kNone) continue;
            t.parentB[i] = g;
            t.latinB[i] = t.store(t.text(t.latinB[g]) + " " + epithetPart);
            return true;
        }
        return false;
    }

    // The epithet of species i misspelt by one or two edits inside its stem, its ending
    // left as it is: a letter doubled, a vowel dropped, two letters swapped or a vowel
    // changed. False for an epithet too short to be told so.
    bool misspell(uint32_t i) {
        Taxa& t = m_taxa;
        const std::string name = t.text(t.latin[i]);
        const size_t blank = name.rfind(' ');
        std::string e = name.substr(blank + 1);
        if (e.size() < 6) return false;
        static const char kVowels[] = "aeiouy";
        auto vowel = [](char c) { return std::strchr(kVowels, c) != nullptr; };
        const int edits = 1 + static_cast<int>(m_rng.below(2));
        for (int k = 0; k < edits; ++k) {
            // Inside the stem: the first letter and the last two stay.
            const size_t at = 1 + m_rng.below(static_cast<uint32_t>(e.size() - 4));
            switch (m_rng.below(4)) {
                case 0: e.insert(at, 1, e[at]); break;
                case 1:
                    if (vowel(e[at])) e.erase(at, 1);
                    else e.insert(at, 1, e[at]);
                    break;
                case 2: std::swap(e[at], e[at + 1]); break;
                default: e[at] = vowel(e[at]) ? kVowels[m_rng.below(6)] : e[at]; break;
            }
        }
        if (e == name.substr(blank + 1)) return false;
        t.latinB[i] = t.store(name.substr(0, blank + 1) + e);
        return true;
    }

    const SyntheticOptions& o() const { return m_options; }

    static std::string genusPart(const std::string& species) {
        size_t blank = species.rfind(' ');
        return blank == std::string::npos ? species : species.substr(0, blank);
    }

    // Top-down: every taxon gets a budget of descendants and shares it among children
    // drawn with heavy-tailed weights, so a few lists come out very wide.
    void grow(int64_t total) {
        struct Item {
            uint32_t node;
            int64_t budget;
        };
        Taxa& t = m_taxa;
        t.add(kNone, Kingdom, t.store(capitalised(stem(m_rng, 3)) + "ia"),
              t.store("living things"));
        std::vector<Item> stack{{0, total}};
        std::vector<double> weights;
        while (!stack.empty()) {
            Item it = stack.back();
            stack.pop_back();
            int rk = t.rank[it.node];
            int64_t budget = it.budget - 1;
            if (budget <= 0 || rk == Subspecies) continue;
            int child = childRankOf(m_rng, rk);
            std::string above = rk >= Genus ? t.text(t.latin[it.node]) : "";
            if (rk == Subgenus) above = above.substr(0, above.find(' '));  // species keep the genus
            if (child == Species) {
                // Species one by one; a few with subspecies.
                size_t first = t.size();
                while (budget > 0) {
                    int64_t sub = m_rng.chance(0.08) ? 2 + m_rng.below(3) : 0;
                    sub = std::min<int64_t>(sub, budget - 1);
                    uint32_t s = addTaxon(it.node, Species, above, first);
                    if (sub > 0) stack.push_back({s, sub + 1});
                    budget -= sub + 1;
                }
                continue;
            }
            if (child == Subspecies) {
                for (int64_t k = 0; k < budget; ++k) addTaxon(it.node, Subspecies, above, t.size());
                continue;
            }
            int64_t count = std::llround(static_cast<double>(budget) / kSubtreeSize[child] *
                                         (0.5 + m_rng.unit()));
            count = std::clamp<int64_t>(count, 1, budget);
            weights.resize(static_cast<size_t>(count));
            double sum = 0;
            for (double& w : weights) sum += (w = m_rng.paretoWeight());
            int64_t spare = budget - count;  // each child has at least itself
            int64_t given = 0;
            size_t first = t.size();
            std::vector<Item> children;
            for (int64_t k = 0; k < count; ++k) {
                int64_t share = static_cast<int64_t>(static_cast<double>(spare) *
                                                     weights[static_cast<size_t>(k)] / sum);
                if (k == count - 1) share = spare - given;
                given += share;
                children.push_back({addTaxon(it.node, child, above, first), share + 1});
            }
            // Depth first, children in order, so node numbers follow the file.
            for (size_t k = children.size(); k-- > 0;) stack.push_back(children[k]);
        }
    }

    // A new taxon; now and then it repeats the Latin name of an earlier sibling, as
    // checklists with unresolved homonyms do.
    uint32_t addTaxon(uint32_t parent, int rk, const std::string& above, size_t firstSibling) {
        Taxa& t = m_taxa;
        NameRef name;
        if (t.size() > firstSibling && m_rng.chance(0.002)) {
            name = t.latin[firstSibling + m_rng.below(static_cast<uint32_t>(t.size() - firstSibling))];
        } else {
            name = t.store(latinFor(m_rng, rk, above));
        }
        return t.add(parent, rk, name, t.store(commonFor(m_rng, rk)));
    }

    // The very wide lists real checklists have: one huge genus (a twelfth of all taxa),
    // three genera and one family of total/400 children each.
    void plant(int64_t giant, int64_t wide) {
        Taxa& t = m_taxa;
        std::vector<uint32_t> genera, families;
        for (uint32_t i = 0; i < t.size(); ++i) {
            if (t.rank[i] == Genus) genera.push_back(i);
            if (t.rank[i] == Family) families.push_back(i);
        }
        auto plantGenus = [&](int64_t species) {
            if (species <= 0 || genera.empty()) return;
            uint32_t beside = genera[m_rng.below(static_cast<uint32_t>(genera.size()))];
            std::string name = latinFor(m_rng, Genus, "");
            uint32_t g = t.add(t.parentA[beside], Genus, t.store(name), t.store(commonFor(m_rng, Genus)));
            size_t first = t.size();
            for (int64_t k = 0; k < species; ++k) addTaxon(g, Species, name, first);
        };
        plantGenus(giant);
        for (int i = 0; i < 3; ++i) plantGenus(wide);
        if (wide > 0 && !families.empty()) {
            uint32_t beside = families[m_rng.below(static_cast<uint32_t>(families.size()))];
            uint32_t f = t.add(t.parentA[beside], Family, t.store(latinFor(m_rng, Family, "")),
                               t.store(commonFor(m_rng, Family)));
            size_t firstGenus = t.size();
            std::vector<uint32_t> planted;
            for (int64_t k = 0; k < wide; ++k) planted.push_back(addTaxon(f, Genus, "", firstGenus));
            for (uint32_t g : planted) {
                std::string name = t.text(t.latin[g]);
                int species = 1 + static_cast<int>(m_rng.below(3));
                size_t first = t.size();
                for (int k = 0; k < species; ++k) addTaxon(g, Species, name, first);
            }
        }
    }

    Random m_rng;
    SyntheticOptions m_options;
    Taxa m_taxa;
};

class Writer {
public:
    explicit Writer(FILE* f) : m_file(f) { m_buffer.reserve(kChunk + 4096); }
    ~Writer() { flush(); }
    void put(const char* s, size_t n) {
        m_buffer.append(s, n);
        if (m_buffer.size() >= kChunk) flush();
    }
    void put(const char* s) { put(s, std::strlen(s)); }
    void indent(size_t depth) { m_buffer.append(depth, '\t'); }
    bool flush() {
        if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
            m_ok = false;
        m_buffer.clear();
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    static constexpr size_t kChunk = 1 << 20;
    FILE* m_file;
    std::string m_buffer;
    bool m_ok = true;
};

// Writes one classification: the taxa whose parent link (in `parent`) leads to the root.
bool writeClassification(const std::string& path, const Taxa& t,
                         const std::vector<uint32_t>& parent, const std::vector<uint8_t>& rank,
                         const std::vector<NameRef>& latin, const char* title) {
    size_t n = t.size();
    // Children in index order, as compressed rows.
    std::vector<uint32_t> start(n + 1, 0), child;
    for (size_t i = 1; i < n; ++i)
        if (parent[i] != kNone) ++start[parent[i] + 1];
    for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
    child.resize(start[n]);
    {
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (size_t i = 1; i < n; ++i)
            if (parent[i] != kNone) child[fill[parent[i]]++] = static_cast<uint32_t>(i);
    }

    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok;
    {
        Writer w(f);
        w.put("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n");
        w.put("<classification title=\"");
        w.put(title);
        w.put("\">\n");
        auto value = [&](size_t depth, const char* word, NameRef v) {
            w.indent(depth);
            w.put("<attr name=\"");
            w.put(word);
            w.put("\" value=\"");
            w.put(t.pool.data() + v.offset, v.length);
            w.put("\"/>\n");
        };
        auto entry = [&](uint32_t i, size_t depth, bool branch) {
            w.indent(depth);
            w.put(branch ? "<branch>\n" : "<leaf>\n");
            value(depth + 1, "latin", latin[i]);
            value(depth + 1, "common", t.common[i]);
            w.indent(depth + 1);
            w.put("<attr name=\"rank\" value=\"");
            w.put(rankName(rank[i]));
            w.put("\"/>\n");
            if (!branch) {
                w.indent(depth);
                w.put("</leaf>\n");
            }
        };
        struct Open {
            uint32_t node;
            uint32_t next;
        };
        std::vector<Open> stack{{0, start[0]}};
        entry(0, 0, true);
        while (!stack.empty()) {
            Open& top = stack.back();
            if (top.next == start[top.node + 1]) {
                stack.pop_back();
                w.indent(stack.size());
                w.put("</branch>\n");
                continue;
            }
            uint32_t c = child[top.next++];
            bool branch = start[c + 1] > start[c];
            entry(c, stack.size(), branch);
            if (branch) stack.push_back({c, start[c]});
        }
        w.put("</classification>\n");
        ok = w.flush();
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

bool writeSyntheticPair(const std::string& pathA, const std::string& pathB,
                        const SyntheticOptions& options) {
    Generator g(options);
    g.build();
    g.revise(options.differenceRate);
    const Taxa& t = g.taxa();
    return writeClassification(pathA, t, t.parentA, t.rank, t.latin, "synthetic, first") &&
           writeClassification(pathB, t, t.parentB, t.rankB, t.latinB, "synthetic, revised");
}
