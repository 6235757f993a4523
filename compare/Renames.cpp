#include "Renames.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "Cancellation.h"
#include "Epithets.h"
#include "Spellings.h"

namespace {

// ---- Words -------------------------------------------------------------------------------

// FNV-1a: the names of every taxon are hashed once, nothing more is kept of them.
uint64_t nameHash(const char* s) {
    uint64_t h = 1469598103934665603ull;
    for (; *s; ++s) h = (h ^ static_cast<unsigned char>(*s)) * 1099511628211ull;
    return h;
}

uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x9E3779B97F4A7C15ull + (h >> 29); }
uint64_t hashOf(std::string_view s) {
    uint64_t h = 1469598103934665603ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

int rankOfNode(const TreeNode* n) {
    const int shared = sharedRankOf(n->rankName);
    return shared >= 0 ? shared : rankFromName(n->rankName);
}

// ---- Candidates ---------------------------------------------------------------------------

struct Candidate {
    const TreeNode* node;
    int rank;
    std::string_view genus;     // first word of the name
    std::string_view epithets;  // the rest: "epithet" or "epithet infraspecific"
    // The epithets one by one, kept in place: a candidate costs no allocation of its own.
    struct Words {
        std::string_view at[3];
        size_t count = 0;
        bool push_back(std::string_view w) {
            if (count == std::size(at)) return false;
            at[count++] = w;
            return true;
        }
        bool empty() const { return count == 0; }
        size_t size() const { return count; }
        std::string_view operator[](size_t i) const { return at[i]; }
        const std::string_view* begin() const { return at; }
        const std::string_view* end() const { return at + count; }
    } words;
    const char* family;  // name of the nearest Family above, or null
    const char* order;
    uint64_t familyHash, orderHash;
    std::string authorship;     // normalised
    const char* id;
    bool paired = false, blocked = false;
    bool known = false;  // held by both trees: a partner only where identifiers say so
};

struct Side {
    std::vector<Candidate> candidates;
    // While collecting: the species and subspecies held by this tree only, with the hashes of
    // their names, and the hashes of the names of every taxon held by this tree only.
    struct Pending {
        uint64_t hash;
        const TreeNode* node;
        const TreeNode* family;  // the nearest Family and Order above, or null
        const TreeNode* order;
        bool operator<(const Pending& o) const { return hash < o.hash; }
    };
    std::vector<Pending> pending;
    std::vector<uint64_t> names;
    std::unordered_map<std::string_view, uint32_t> byName;
    std::unordered_map<const TreeNode*, uint32_t> byNode;
};

// A taxon's name is held by the other tree at all only if it is marked here (held by this
// tree only) and there, or marked here and held twice in this tree: so the names of the
// marked taxa are all that is hashed, and of millions of taxa most are never read.
// The walk carries the family and order it is in, so that no candidate looks for them.
void collect(const ClassificationTree& tree, uint8_t id, Side& side) {
    const uint8_t copy = id == 1 ? 2 : 1;
    struct Step {
        const TreeNode* node;
        const TreeNode* family;
        const TreeNode* order;
    };
    std::vector<Step> stack{{&tree, nullptr, nullptr}};
    for (size_t walked = 0; !stack.empty(); ++walked) {
        cancellationPoint(walked);
        Step step = stack.back();
        const TreeNode* n = step.node;
        stack.pop_back();
        if (n->onlyInTree == copy) continue;  // a copy's subtree is all copies
        const int rank = rankOfNode(n);
        if (rank == Family) step.family = n;
        else if (rank == Order) step.order = n;
        for (const TreeNode* k : n->children) {
            // The walk waits on memory, not on work: the lines of the mark and of the
            // children are asked for while the nodes before are looked at.
            __builtin_prefetch(&k->onlyInTree);
            __builtin_prefetch(&k->children);
            stack.push_back({k, step.family, step.order});
        }
        if (n->onlyInTree != id) continue;
        const uint64_t h = nameHash(n->latinName);
        side.names.push_back(h);
        if (rank == Species || rank == Subspecies)
            side.pending.push_back({h, n, step.family, step.order});
    }
    std::sort(side.names.begin(), side.names.end());
}

// What the rules compare of a candidate.
bool describe(const Side::Pending& p, const TaxonFacts* facts, Candidate& c) {
    const TreeNode* n = p.node;
    c.family = p.family ? p.family->latinName : nullptr;
    c.order = p.order ? p.order->latinName : nullptr;
    c.familyHash = c.family ? hashOf(c.family) : 0;
    c.orderHash = c.order ? hashOf(c.order) : 0;
    std::string_view name(n->latinName);
    const size_t blank = name.find(' ');
    if (blank == std::string_view::npos || blank == 0) return false;
    c.node = n;
    c.rank = rankOfNode(n);
    c.genus = name.substr(0, blank);
    c.epithets = name.substr(blank + 1);
    for (size_t at = 0; at < c.epithets.size();) {
        size_t end = c.epithets.find(' ', at);
        if (end == std::string_view::npos) end = c.epithets.size();
        std::string_view w = c.epithets.substr(at, end - at);
        // Not a subgenus; names of more than three epithets are no species or subspecies.
        if (!w.empty() && w.front() != '(' && !c.words.push_back(w)) return false;
        at = end + 1;
    }
    if (c.words.empty()) return false;
    if (facts) {
        if (const char* a = facts->authorship(n)) c.authorship = normaliseAuthorship(a);
        c.id = facts->id(n);
    }
    return true;
}

// The candidates are the pending taxa whose name the other tree does not hold and that no
// other taxon of this tree shares.
void keepUnheld(Side& side, const Side& other, const TaxonFacts* facts) {
    auto& pending = side.pending;
    std::sort(pending.begin(), pending.end());
    side.candidates.reserve(pending.size() / 2);
    auto held = other.names.begin();  // both in hash order: one pass over each
    for (size_t i = 0; i < pending.size(); ++i) {
        cancellationPoint(i);
        const uint64_t h = pending[i].hash;
        const bool twice = (i > 0 && pending[i - 1].hash == h) ||
                           (i + 1 < pending.size() && pending[i + 1].hash == h);
        while (held != other.names.end() && *held < h) ++held;
        if (twice || (held != other.names.end() && *held == h)) continue;
        Candidate c{};
        if (describe(pending[i], facts, c)) side.candidates.push_back(std::move(c));
    }
    std::vector<Side::Pending>().swap(pending);
}

// The candidates by name and by node, for the rules that look them up so.
void indexCandidates(Side& side) {
    if (!side.byNode.empty()) return;
    for (uint32_t i = 0; i < side.candidates.size(); ++i) {
        side.byName.emplace(side.candidates[i].node->latinName, i);
        side.byNode.emplace(side.candidates[i].node, i);
    }
}

// How close two candidates stand: 0 in the same genus, 1 in the same family, 2 in the same
// order where the family changed too (or with no family or order to tell by on either side),
// 3 too far apart for a genus move.
// The family and order above a candidate, looked up once it is compared with another genus.
int distance(const Candidate& a, const Candidate& b) {
    if (a.genus == b.genus) return 0;
    if (a.family && b.family && a.familyHash == b.familyHash && std::strcmp(a.family, b.family) == 0)
        return 1;
    if (a.order && b.order)
        return a.orderHash == b.orderHash && std::strcmp(a.order, b.order) == 0 ? 2 : 3;
    return !a.family && !b.family && !a.order && !b.order ? 2 : 3;
}
constexpr int kTooFar = 3;

// Where any taxon stands, for distance(): its genus and the family and order above it.
Candidate placeOf(const TreeNode* n) {
    Candidate c{};
    c.node = n;
    std::string_view name(n->latinName);
    c.genus = name.substr(0, name.find(' '));
    for (const TreeNode* up = n->parent; up; up = up->parent) {
        const int rank = rankOfNode(up);
        if (rank == Family && !c.family) c.family = up->latinName;
        if (rank == Order && !c.order) c.order = up->latinName;
    }
    c.familyHash = c.family ? hashOf(c.family) : 0;
    c.orderHash = c.order ? hashOf(c.order) : 0;
    return c;
}

// The candidates of a side by their last epithet, for synonyms that a file gives as an
// epithet alone (in whatever genus it was first described).
using ByEpithet = std::unordered_multimap<std::string_view, uint32_t>;
struct EpithetSynonym {
    int side;            // 0: a synonym tree 1's file gives, 1: tree 2's
    uint32_t candidate;  // the accepted taxon's, on that side
    const char* name;
    const char* authorship;
};
void indexEpithets(const Side& side, ByEpithet& out) {
    for (uint32_t i = 0; i < side.candidates.size(); ++i)
        if (!side.candidates[i].known && !side.candidates[i].words.empty())
            out.emplace(side.candidates[i].words[side.candidates[i].words.size() - 1], i);
}

bool endingVariantsOf(const Candidate& a, const Candidate& b) {
    if (a.words.size() != b.words.size()) return false;
    bool differ = false;
    for (size_t i = 0; i < a.words.size(); ++i) {
        if (a.words[i] == b.words[i]) continue;
        if (!genderVariants(a.words[i], b.words[i])) return false;
        differ = true;
    }
    return differ;
}

// Keys under which two candidates whose epithets are ending variants meet: each epithet as it
// stands or as one of its ending readings, word by word, hashed.
// Two candidates can only meet within one genus, or one order (else one family): the keys are
// made under both, so that a common epithet is not compared across the whole tree.
void endingKeys(const Candidate& c, std::vector<uint64_t>& keys, std::vector<uint64_t>& next) {
    const uint64_t rank = static_cast<uint64_t>(c.rank) + 1;
    const uint64_t wide = c.order ? c.orderHash : c.familyHash;
    keys.assign({mix(mix(hashOf(c.genus), 1), rank), mix(mix(wide, 2), rank)});
    for (std::string_view w : c.words) {
        next.clear();
        auto extend = [&](uint64_t part) {
            for (uint64_t k : keys) next.push_back(mix(k, part));
        };
        extend(hashOf(w));
        endingReadings(w, [&](size_t g, std::string_view stem) { extend(mix(hashOf(stem), g + 1)); });
        keys.swap(next);
    }
}

// For the identifiers alone: the species and subspecies the other tree holds too, which an
// identifier may yet show to be another taxon's new name.
void addKnown(uint8_t id, const TaxonFacts& facts, Side& side) {
    const uint8_t copy = id == 1 ? 2 : 1;
    facts.forEach([&](const TreeNode* n, const char* taxonId, const char* authorship) {
        if (!taxonId || n->onlyInTree == copy || side.byNode.count(n)) return;
        const int rank = rankOfNode(n);
        if (rank != Species && rank != Subspecies) return;
        Candidate c{};
        c.node = n;
        c.rank = rank;
        c.id = taxonId;
        c.known = true;
        if (authorship) c.authorship = normaliseAuthorship(authorship);
        side.byNode.emplace(n, static_cast<uint32_t>(side.candidates.size()));
        side.candidates.push_back(std::move(c));
    });
}

// Evidence that tree-1 candidate a and tree-2 candidate b are one taxon; of several, the
// closest in the classification (smallest `tier`) count.
struct Match {
    uint32_t b;
    int tier;
    RenameEvidence evidence;
};

class Finder {
public:
    Finder(Side& s1, Side& s2, std::vector<RenamePair>& out) : m_s1(s1), m_s2(s2), m_out(out) {}

    bool open(const Candidate& c, bool known) const {
        return !c.paired && !c.blocked && (known || !c.known);
    }

    // One rule: `matches(a, list)` adds the matches the rule finds for tree-1 candidate a.
    template <class Matches>
    void rule(bool known, Matches&& matches) {
        std::vector<Found> found;
        std::vector<Match> list;
        for (uint32_t a = 0; a < m_s1.candidates.size(); ++a) {
            cancellationPoint(a);
            if (!open(m_s1.candidates[a], known)) continue;
            list.clear();
            matches(m_s1.candidates[a], list);
            for (const Match& m : list) found.push_back({a, m});
        }
        decide(known, found);
    }

    // A pair is made where each is the other's one closest match; where either has several,
    // they are left without a partner, now and by weaker evidence.
    struct Found {
        uint32_t a;
        Match m;
    };
    void decide(bool known, std::vector<Found>& found) {
        constexpr int kNone = INT32_MAX;
        const size_t n1 = m_s1.candidates.size(), n2 = m_s2.candidates.size();
        std::erase_if(found, [&](const Found& f) {
            const Candidate& ca = m_s1.candidates[f.a];
            const Candidate& cb = m_s2.candidates[f.m.b];
            return !open(ca, known) || !open(cb, known) || cb.rank != ca.rank ||
                   (ca.known && cb.known);
        });
        std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
            return x.a != y.a ? x.a < y.a : x.m.b != y.m.b ? x.m.b < y.m.b : x.m.tier < y.m.tier;
        });
        found.erase(std::unique(found.begin(), found.end(),
                                [](const Found& x, const Found& y) { return x.a == y.a && x.m.b == y.m.b; }),
                    found.end());
        std::vector<int> best1(n1, kNone), best2(n2, kNone);
        std::vector<uint32_t> count1(n1, 0), count2(n2, 0);
        for (const Found& f : found) {
            best1[f.a] = std::min(best1[f.a], f.m.tier);
            best2[f.m.b] = std::min(best2[f.m.b], f.m.tier);
        }
        for (const Found& f : found) {
            count1[f.a] += f.m.tier == best1[f.a];
            if (f.m.tier == best1[f.a] && f.m.tier == best2[f.m.b]) ++count2[f.m.b];
        }
        for (const Found& f : found) {
            Candidate& ca = m_s1.candidates[f.a];
            Candidate& cb = m_s2.candidates[f.m.b];
            if (f.m.tier != best1[f.a]) continue;
            if (count1[f.a] > 1) {
                ca.blocked = cb.blocked = true;
                continue;
            }
            if (f.m.tier != best2[f.m.b]) continue;
            if (count2[f.m.b] != 1) {
                ca.blocked = cb.blocked = true;
                continue;
            }
            ca.paired = cb.paired = true;
            m_out.push_back({ca.node, cb.node, f.m.evidence});
        }
    }

private:
    Side& m_s1;
    Side& m_s2;
    std::vector<RenamePair>& m_out;
};

// ---- Spellings ----------------------------------------------------------------------------

// Two candidates whose epithets are the same but one, which is another spelling of the
// other's (not one that only its Latin ending tells from it: that is for `ending`).
bool spellingsOf(const Candidate& a, const Candidate& b) {
    if (a.words.size() != b.words.size()) return false;
    size_t differ = 0;
    for (size_t i = 0; i < a.words.size(); ++i) {
        const std::string_view x = a.words[i], y = b.words[i];
        if (x == y) continue;
        if (++differ > 1 || std::min(x.size(), y.size()) < kShortestSpelt || !plainEpithet(x) ||
            !plainEpithet(y) || genderVariants(x, y) ||
            spellingEdits(x, y, kMostSpellingEdits) > kMostSpellingEdits)
            return false;
    }
    return differ == 1;
}

// Each word of an open candidate that may be the one spelt otherwise, with its base: the
// candidate's rank and order (else family), the word's place and the rest of the name as it
// stands. Two candidates that are spellings of each other have a word of the same base. A
// name spelling cannot tell, or without an epithet long enough, has none.
template <class Each>
void forEachSpeltWord(const Side& side, const Finder& finder, Each&& each) {
    for (uint32_t i = 0; i < side.candidates.size(); ++i) {
        cancellationPoint(i);
        const Candidate& c = side.candidates[i];
        if (!finder.open(c, false) || unspellableName(c.node->latinName)) continue;
        const uint64_t wide = c.order ? c.orderHash : c.familyHash;
        const uint64_t scope = mix(mix(wide, 3), static_cast<uint64_t>(c.rank) + 1);
        for (size_t w = 0; w < c.words.size(); ++w) {
            if (c.words[w].size() < kShortestSpelt || !plainEpithet(c.words[w])) continue;
            uint64_t base = mix(scope, w + 1);
            for (size_t o = 0; o < c.words.size(); ++o)
                if (o != w) base = mix(base, hashOf(c.words[o]));
            each(i, w, base);
        }
    }
}

// A side's spelt words, each with its base and candidate, in the order of their bases.
struct SpeltWord {
    uint64_t base;
    uint32_t candidate;
    uint32_t word;
};
std::vector<SpeltWord> speltWords(const Side& side, const Finder& finder) {
    std::vector<SpeltWord> words;
    forEachSpeltWord(side, finder, [&](uint32_t i, size_t w, uint64_t base) {
        words.push_back({base, i, static_cast<uint32_t>(w)});
    });
    std::sort(words.begin(), words.end(),
              [](const SpeltWord& a, const SpeltWord& b) { return a.base < b.base; });
    return words;
}

// The candidates of the two sides that may be spellings of each other, as (tree-1, tree-2)
// candidate pairs, sorted and once each. Two such share the base of the word spelt otherwise
// and one of the words deletionKeys makes of it, so only words of a base both sides have are
// keyed, a base at a time: tree 2's keys go into a table as small as the base, tree 1's look
// themselves up in it. Nothing grows with the whole tree but the pairs met.
class SpellingMeeting {
public:
    SpellingMeeting(const Side& s1, const Side& s2) : m_s1(s1), m_s2(s2) {}

    // The words of one base, [from1, to1) of tree 1's and [from2, to2) of tree 2's.
    void meet(const SpeltWord* from1, const SpeltWord* to1, const SpeltWord* from2,
              const SpeltWord* to2) {
        m_entries.clear();
        for (const SpeltWord* w = from2; w != to2; ++w)
            deletionKeys(wordOf(m_s2, *w),
                         [&](uint64_t k) { m_entries.push_back({k, w->candidate, 0}); });
        int bits = 4;
        while ((size_t(1) << bits) < m_entries.size() * 2) ++bits;
        m_heads.assign(size_t(1) << bits, kNone);
        const int shift = 64 - bits;
        for (uint32_t e = 0; e < m_entries.size(); ++e) {
            uint32_t& head = m_heads[slot(m_entries[e].key, shift)];
            m_entries[e].next = head;
            head = e;
        }
        for (const SpeltWord* w = from1; w != to1; ++w)
            deletionKeys(wordOf(m_s1, *w), [&](uint64_t k) {
                for (uint32_t e = m_heads[slot(k, shift)]; e != kNone; e = m_entries[e].next)
                    if (m_entries[e].key == k)
                        met.emplace_back(w->candidate, m_entries[e].candidate);
            });
        // Two close spellings share several keys: the pairs of one base are made unique
        // while they are few.
        const auto from = met.begin() + static_cast<std::ptrdiff_t>(m_unique);
        std::sort(from, met.end());
        met.erase(std::unique(from, met.end()), met.end());
        m_unique = met.size();
    }

    // Unique within each base; a subspecies whose two epithets both have bases both sides
    // have may meet its partner under both.
    std::vector<std::pair<uint32_t, uint32_t>> met;

private:
    static constexpr uint32_t kNone = ~uint32_t(0);
    struct Entry {
        uint64_t key;
        uint32_t candidate;
        uint32_t next;
    };
    static std::string_view wordOf(const Side& side, const SpeltWord& w) {
        return side.candidates[w.candidate].words[w.word];
    }
    static size_t slot(uint64_t key, int shift) {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift);
    }
    const Side& m_s1;
    const Side& m_s2;
    std::vector<Entry> m_entries;
    std::vector<uint32_t> m_heads;
    size_t m_unique = 0;
};

// The `spelling` rule, on what the rules before left. Where both taxa give an authorship it
// must agree, and the closest candidate wins as for `epithet` and `ending`; where either gives
// none, the two must be each other's only candidate.
template <class Contradicted, class Both>
void findSpellings(Finder& finder, Side& s1, Side& s2, Contradicted&& contradicted, Both&& both) {
    std::vector<SpeltWord> words1, words2;
    both([&] { words1 = speltWords(s1, finder); }, [&] { words2 = speltWords(s2, finder); });
    // The bases both sides have, as ranges of the two lists, each with its number of words.
    struct Base {
        const SpeltWord *from1, *to1, *from2, *to2;
    };
    std::vector<Base> bases;
    size_t words = 0;
    for (const SpeltWord *i = words1.data(), *e1 = i + words1.size(), *j = words2.data(),
                         *e2 = j + words2.size();
         i != e1 && j != e2;) {
        if (i->base < j->base) { ++i; continue; }
        if (j->base < i->base) { ++j; continue; }
        Base b{i, i, j, j};
        while (b.to1 != e1 && b.to1->base == i->base) ++b.to1;
        while (b.to2 != e2 && b.to2->base == i->base) ++b.to2;
        words += static_cast<size_t>((b.to1 - b.from1) + (b.to2 - b.from2));
        bases.push_back(b);
        i = b.to1;
        j = b.to2;
    }
    // The bases in two halves of about as many words, met on two threads.
    size_t half = 0;
    for (size_t counted = 0; half < bases.size() && counted * 2 < words; ++half)
        counted += static_cast<size_t>((bases[half].to1 - bases[half].from1) +
                                       (bases[half].to2 - bases[half].from2));
    SpellingMeeting first(s1, s2), second(s1, s2);
    auto meetRange = [&bases](SpellingMeeting& meeting, size_t from, size_t to) {
        for (size_t b = from; b < to; ++b) {
            cancellationPoint(b);
            meeting.meet(bases[b].from1, bases[b].to1, bases[b].from2, bases[b].to2);
        }
    };
    both([&] { meetRange(first, 0, half); }, [&] { meetRange(second, half, bases.size()); });
    std::vector<std::pair<uint32_t, uint32_t>> met = std::move(first.met);
    met.insert(met.end(), second.met.begin(), second.met.end());
    std::vector<std::pair<uint32_t, uint32_t>>().swap(second.met);
    std::sort(met.begin(), met.end());
    met.erase(std::unique(met.begin(), met.end()), met.end());

    struct Spelt {
        Finder::Found found;
        bool authored;  // both give an authorship, and it agrees
    };
    std::vector<Spelt> spelt;
    std::unordered_map<uint32_t, uint32_t> count1, count2;
    for (const auto& [ia, ib] : met) {
        const Candidate& a = s1.candidates[ia];
        const Candidate& b = s2.candidates[ib];
        if (a.rank != b.rank || !spellingsOf(a, b) || contradicted(a, b)) continue;
        const bool authored = !a.authorship.empty() && !b.authorship.empty();
        if (authored && !sameAuthorship(a.authorship, b.authorship)) continue;
        const int tier = distance(a, b);
        if (tier == kTooFar) continue;
        spelt.push_back({{ia, {ib, tier, RenameEvidence::Spelling}}, authored});
        ++count1[ia];
        ++count2[ib];
    }
    std::vector<Finder::Found> found;
    for (const Spelt& s : spelt) {
        const uint32_t a = s.found.a, b = s.found.m.b;
        // Without authorship, a spelling in another family is as often another species.
        if (!s.authored && (count1[a] != 1 || count2[b] != 1 || s.found.m.tier > 1)) {
            s1.candidates[a].blocked = s2.candidates[b].blocked = true;
            continue;
        }
        found.push_back(s.found);
    }
    finder.decide(false, found);
}

}  // namespace

bool shareIdentifierSpace(const TaxonFacts& facts1, const TaxonFacts& facts2) {
    std::unordered_map<std::string_view, const TreeNode*> byId;
    byId.reserve(facts1.size());
    facts1.forEach([&](const TreeNode* n, const char* id, const char*) {
        if (id) byId.emplace(id, n);
    });
    size_t common = 0, same = 0;
    facts2.forEach([&](const TreeNode* n, const char* id, const char*) {
        if (!id) return;
        auto it = byId.find(id);
        if (it == byId.end()) return;
        ++common;
        same += std::strcmp(it->second->latinName, n->latinName) == 0;
    });
    return common > 0 && same * 2 >= common;
}

void RenamePairs::find(const ClassificationTree& tree1, const ClassificationTree& tree2,
                       const TaxonFacts* facts1, const TaxonFacts* facts2, RenameRules rules) {
    clear();
    Side s1, s2;
    // The two trees are walked at once, and their candidates described at once: each side
    // only reads what the other has finished.
    // The second thread works in the caller's cancellation scope; whatever either throws
    // (called off, out of memory) is thrown here once both have stopped.
    auto both = [](auto&& first, auto&& second) {
        std::exception_ptr failure;
        auto caught = [&second, &failure, flag = cancellationFlag()] {
            CancellationScope scope(flag);
            try {
                second();
            } catch (...) {
                failure = std::current_exception();
            }
        };
        std::thread other;
        try {
            other = std::thread(caught);
        } catch (const std::system_error&) {  // no second thread to be had: one after the other
            caught();
        }
        try {
            first();
        } catch (...) {
            if (other.joinable()) other.join();
            throw;
        }
        if (other.joinable()) other.join();
        if (failure) std::rethrow_exception(failure);
    };
    both([&] { collect(tree1, 1, s1); }, [&] { collect(tree2, 2, s2); });
    both([&] { keepUnheld(s1, s2, facts1); }, [&] { keepUnheld(s2, s1, facts2); });
    std::vector<uint64_t>().swap(s1.names);
    std::vector<uint64_t>().swap(s2.names);
    if (s1.candidates.empty() || s2.candidates.empty()) return;
    Finder finder(s1, s2, m_pairs);

    // id
    const bool ids = facts1 && facts2 && shareIdentifierSpace(*facts1, *facts2);
    if (ids) {
        indexCandidates(s1);
        indexCandidates(s2);
        addKnown(1, *facts1, s1);
        addKnown(2, *facts2, s2);
        std::unordered_multimap<std::string_view, uint32_t> byId;
        for (uint32_t b = 0; b < s2.candidates.size(); ++b)
            if (s2.candidates[b].id) byId.emplace(s2.candidates[b].id, b);
        // Tree 2's file may say which old identifiers were merged into its taxa: a taxon of
        // tree 1 under such an old identifier is the one it was merged into.
        facts2->forEachFormerId([&](const TreeNode* n, const char* former) {
            auto it = s2.byNode.find(n);
            if (it != s2.byNode.end()) byId.emplace(former, it->second);
        });
        finder.rule(true, [&](const Candidate& a, std::vector<Match>& list) {
            if (!a.id) return;
            auto [from, to] = byId.equal_range(a.id);
            for (auto it = from; it != to; ++it) list.push_back({it->second, 0, RenameEvidence::Id});
        });
    }
    // Two taxa that the shared identifiers tell apart are two taxa, whatever else may say.
    auto contradicted = [ids](const Candidate& a, const Candidate& b) {
        return ids && a.id && b.id && std::strcmp(a.id, b.id) != 0;
    };

    // synonym: either file's synonyms, by the name as given and without its authorship.
    // Synonyms given as an epithet alone (lists of nominal names) are weaker evidence: they
    // are tried once the epithets and endings have had their say, below.
    std::vector<EpithetSynonym> epithetSynonyms;
    // By epithet, every taxon of each side that lists one alone, partnered or not, held by
    // both trees or not: of a change of priority, the listing taxon must be the only one.
    std::unordered_multimap<std::string_view, const TreeNode*> listers[2];
    {
        std::unordered_map<const TreeNode*, std::vector<uint32_t>> given;  // tree-1 node -> b
        const bool any = (facts1 && !facts1->synonymsEmpty()) || (facts2 && !facts2->synonymsEmpty());
        if (any) {
            indexCandidates(s1);
            indexCandidates(s2);
        }
        auto named = [](const Side& side, const char* name, const char* authorship,
                        auto&& each) {
            std::string_view n(name);
            auto it = side.byName.find(n);
            if (it == side.byName.end()) {
                // The name with its authorship written into it: its leading words.
                for (size_t cut = n.find(' ', n.find(' ') + 1); cut != std::string_view::npos;
                     cut = n.find(' ', cut + 1)) {
                    it = side.byName.find(n.substr(0, cut));
                    if (it != side.byName.end()) break;
                }
            }
            if (it == side.byName.end()) return;
            const Candidate& c = side.candidates[it->second];
            if (!sameAuthorship(normaliseAuthorship(authorship), c.authorship)) return;
            each(it->second);
        };
        if (any && facts1)
            for (const TaxonFacts::Synonym& s : facts1->synonyms()) {
                auto a = s1.byNode.find(s.accepted);
                const bool alone = !std::strchr(s.name, ' ');
                if (alone) listers[0].emplace(s.name, s.accepted);
                if (a == s1.byNode.end()) continue;
                if (alone) {
                    epithetSynonyms.push_back({0, a->second, s.name, s.authorship});
                    continue;
                }
                named(s2, s.name, s.authorship, [&](uint32_t b) { given[s.accepted].push_back(b); });
            }
        if (any && facts2)
            for (const TaxonFacts::Synonym& s : facts2->synonyms()) {
                auto b = s2.byNode.find(s.accepted);
                const bool alone = !std::strchr(s.name, ' ');
                if (alone) listers[1].emplace(s.name, s.accepted);
                if (b == s2.byNode.end()) continue;
                if (alone) {
                    epithetSynonyms.push_back({1, b->second, s.name, s.authorship});
                    continue;
                }
                named(s1, s.name, s.authorship, [&](uint32_t a) {
                    given[s1.candidates[a].node].push_back(b->second);
                });
            }
        if (!given.empty())
            finder.rule(false, [&](const Candidate& a, std::vector<Match>& list) {
                auto it = given.find(a.node);
                if (it == given.end()) return;
                for (uint32_t b : it->second)
                    if (!contradicted(a, s2.candidates[b]))
                        list.push_back({b, 0, RenameEvidence::Synonym});
            });
    }

    // epithet and ending, tried together: a taxon with the same epithets in a genus nearby
    // and another with a changed ending are two candidates, and the closer one wins.
    {
        // Every key of every open candidate on both sides, in key order: one pass over the
        // two lists meets all that share one. Each side's list is made on a thread of its own.
        std::vector<std::pair<uint64_t, uint32_t>> keys1, keys2;
        auto keysOf = [&finder](const Side& side, std::vector<std::pair<uint64_t, uint32_t>>& out) {
            std::vector<uint64_t> keys, scratch;
            out.reserve(side.candidates.size() * 4);
            for (uint32_t i = 0; i < side.candidates.size(); ++i) {
                cancellationPoint(i);
                if (!finder.open(side.candidates[i], false)) continue;
                endingKeys(side.candidates[i], keys, scratch);
                for (uint64_t k : keys) out.emplace_back(k, i);
            }
            std::sort(out.begin(), out.end());
        };
        both([&] { keysOf(s1, keys1); }, [&] { keysOf(s2, keys2); });
        std::vector<Finder::Found> found;
        for (size_t i = 0, j = 0; i < keys1.size() && j < keys2.size();) {
            if (keys1[i].first < keys2[j].first) { ++i; continue; }
            if (keys2[j].first < keys1[i].first) { ++j; continue; }
            const uint64_t k = keys1[i].first;
            size_t jEnd = j;
            while (jEnd < keys2.size() && keys2[jEnd].first == k) ++jEnd;
            for (; i < keys1.size() && keys1[i].first == k; ++i) {
                const Candidate& a = s1.candidates[keys1[i].second];
                for (size_t jj = j; jj < jEnd; ++jj) {
                    const Candidate& b = s2.candidates[keys2[jj].second];
                    const bool same = a.epithets == b.epithets;
                    if ((same && a.genus == b.genus) || (!same && !endingVariantsOf(a, b)) ||
                        !sameAuthorship(a.authorship, b.authorship) || contradicted(a, b))
                        continue;
                    const int tier = distance(a, b);
                    if (tier == kTooFar) continue;
                    found.push_back({keys1[i].second,
                                     {keys2[jj].second, tier,
                                      same ? RenameEvidence::Epithet : RenameEvidence::Ending}});
                }
            }
            j = jEnd;
        }
        finder.decide(false, found);
    }

    // synonym, given as an epithet alone: of a taxon nearby whose epithet is that one or
    // another spelling of it. A spelling keeps its species' authorship: the list's own
    // authorship of it is often of whoever misspelt it, so the two taxa's authorships are
    // compared instead.
    // An epithet that the list makes a junior synonym of an epithet unlike it tells of a
    // species lumped into another as often as of one renamed (a change of priority, a name
    // found preoccupied). A lump goes into a species both trees hold, which seeks no partner:
    // such a synonym pairs where the two taxa are each other's only candidate, no other taxon
    // of the listing file nearby listing that epithet, and the list's authorship of it is the
    // other taxon's.
    if (!epithetSynonyms.empty()) {
        ByEpithet epithets[2];
        struct Listed {
            uint32_t a, b;  // tree-1 and tree-2 candidates
            int tier;
            int side;          // the side whose file lists it
            const char* name;  // the epithet listed
            bool unlike;
        };
        std::vector<Listed> listed;
        for (const EpithetSynonym& s : epithetSynonyms) {
            const Side& own = s.side == 0 ? s1 : s2;
            const Side& other = s.side == 0 ? s2 : s1;
            const Candidate& accepted = own.candidates[s.candidate];
            if (!finder.open(accepted, false)) continue;
            ByEpithet& index = epithets[1 - s.side];
            if (index.empty()) indexEpithets(other, index);
            auto [from, to] = index.equal_range(std::string_view(s.name));
            for (auto it = from; it != to; ++it) {
                const Candidate& c = other.candidates[it->second];
                const int tier = distance(accepted, c);
                if (tier == kTooFar || !finder.open(c, false)) continue;
                const bool unlike = !spellingVariants(c.words[c.words.size() - 1],
                                                      accepted.words[accepted.words.size() - 1]);
                if (unlike ? !rules.priority ||
                                 !sameAuthorship(normaliseAuthorship(s.authorship), c.authorship)
                           : !sameAuthorship(accepted.authorship, c.authorship))
                    continue;
                listed.push_back({s.side == 0 ? s.candidate : it->second,
                                  s.side == 0 ? it->second : s.candidate, tier, s.side, s.name,
                                  unlike});
            }
        }
        // Of a change of priority, every candidate either taxon has by the lists counts.
        std::unordered_map<uint32_t, uint32_t> count[2];
        for (const Listed& l : listed) {
            ++count[0][l.a];
            ++count[1][l.b];
        }
        // A change of priority keeps the species' members: every other name the list gives
        // the new one, the other file lists for the old one too (a list given only on one
        // side names nothing else). A species split off another that takes in a lumped one
        // lists the names it brought along.
        std::unordered_map<uint32_t, std::vector<std::string_view>> lists[2];
        for (const EpithetSynonym& s : epithetSynonyms) lists[s.side][s.candidate].push_back(s.name);
        auto sameMembers = [&](const Listed& l) {
            const uint32_t listing = l.side == 0 ? l.a : l.b, named = l.side == 0 ? l.b : l.a;
            const Candidate& a = (l.side == 0 ? s1 : s2).candidates[listing];
            const std::string_view own = a.words[a.words.size() - 1];
            const std::vector<std::string_view>& there = lists[1 - l.side][named];
            for (std::string_view name : lists[l.side][listing]) {
                if (name == l.name || spellingVariants(name, own)) continue;
                if (std::none_of(there.begin(), there.end(),
                                 [&](std::string_view t) { return spellingVariants(t, name); }))
                    return false;
            }
            return true;
        };
        auto onlyLister = [&](const Listed& l) {
            const Candidate& listing = l.side == 0 ? s1.candidates[l.a] : s2.candidates[l.b];
            const Candidate& named = l.side == 0 ? s2.candidates[l.b] : s1.candidates[l.a];
            auto [from, to] = listers[l.side].equal_range(std::string_view(l.name));
            for (auto it = from; it != to; ++it)
                if (it->second != listing.node && distance(placeOf(it->second), named) != kTooFar)
                    return false;
            return true;
        };
        std::unordered_map<const TreeNode*, std::vector<Match>> given;  // tree-1 node -> b
        for (const Listed& l : listed) {
            if (l.unlike &&
                (count[0][l.a] != 1 || count[1][l.b] != 1 || !onlyLister(l) || !sameMembers(l)))
                continue;
            given[s1.candidates[l.a].node].push_back({l.b, l.tier, RenameEvidence::Synonym});
        }
        if (!given.empty())
            finder.rule(false, [&](const Candidate& a, std::vector<Match>& list) {
                auto it = given.find(a.node);
                if (it == given.end()) return;
                for (const Match& m : it->second)
                    if (!contradicted(a, s2.candidates[m.b])) list.push_back(m);
            });
    }

    // spelling: what the rules before left, an epithet spelt otherwise nearby.
    if (rules.spelling) findSpellings(finder, s1, s2, contradicted, both);
    index();
}

void RenamePairs::assign(std::vector<RenamePair> pairs) {
    clear();
    m_pairs = std::move(pairs);
    index();
}

void RenamePairs::clear() {
    m_pairs.clear();
    m_byName[0].clear();
    m_byName[1].clear();
    m_byNode.clear();
}

void RenamePairs::index() {
    for (uint32_t i = 0; i < m_pairs.size(); ++i) {
        cancellationPoint(i);
        m_byName[0].emplace(m_pairs[i].node1->latinName, i);
        m_byName[1].emplace(m_pairs[i].node2->latinName, i);
        m_byNode.emplace(m_pairs[i].node1, i);
        m_byNode.emplace(m_pairs[i].node2, i);
    }
}

const RenamePair* RenamePairs::pairOf(const TreeNode& node) const {
    if (node.onlyInTree != 1 && node.onlyInTree != 2) return nullptr;
    if (m_pairs.empty()) return nullptr;
    const int rank = rankOfNode(&node);
    if (rank != Species && rank != Subspecies) return nullptr;
    // A taxon's own node is found without reading its name; a copy only by its name.
    if (auto own = m_byNode.find(&node); own != m_byNode.end()) return &m_pairs[own->second];
    const int side = node.onlyInTree - 1;
    auto it = m_byName[side].find(node.latinName);
    if (it == m_byName[side].end()) return nullptr;
    const RenamePair& p = m_pairs[it->second];
    const TreeNode* own = side == 0 ? p.node1 : p.node2;
    return std::strcmp(own->rankName, node.rankName) == 0 ? &p : nullptr;
}

const TreeNode* RenamePairs::partnerOf(const TreeNode& node) const {
    const RenamePair* p = pairOf(node);
    if (!p) return nullptr;
    return node.onlyInTree == 1 ? p->node2 : p->node1;
}
