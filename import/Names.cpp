// Names as the program stores them: ISO-8859-1 bytes, tidy blanks, usual capitals; and the
// table of ranks an imported file may use.
#include <unictype.h>
#include <uninorm.h>
#include <unistr.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <unordered_map>
#include <vector>

#include "NameCleaning.h"
#include "StatusWords.h"
#include "TreeNode.h"

namespace imp {

namespace {

bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Characters outside ISO-8859-1 that decomposition does not reduce to it, but that have a
// customary spelling there.
struct Spelling {
    ucs4_t code;
    const char* text;
};
constexpr Spelling kSpellings[] = {
    {0x2018, "'"},  {0x2019, "'"},  {0x201A, "'"},  {0x201B, "'"},  {0x2032, "'"},
    {0x02BC, "'"},  {0x201C, "\""}, {0x201D, "\""}, {0x201E, "\""}, {0x2033, "\""},
    {0x2010, "-"},  {0x2011, "-"},  {0x2012, "-"},  {0x2013, "-"},  {0x2014, "-"},
    {0x2015, "-"},  {0x2212, "-"},  {0x2026, "..."}, {0x2022, "*"}, {0x00A0, " "},
    {0x0152, "OE"}, {0x0153, "oe"}, {0x0141, "L"},  {0x0142, "l"},  {0x0110, "D"},
    {0x0111, "d"},  {0x0131, "i"},  {0x2044, "/"},
};

bool printableLatin1(ucs4_t c) { return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF); }

void appendCharacter(ucs4_t c, std::string& out) {
    if (c < 0x80 || printableLatin1(c)) {
        if (c == 0xA0) c = ' ';  // a no-break space is a blank between words
        out.push_back(static_cast<char>(c));
        return;
    }
    for (const Spelling& s : kSpellings) {
        if (s.code == c) {
            out += s.text;
            return;
        }
    }
    uint32_t buffer[16];
    size_t length = 16;
    uint32_t* decomposed = u32_normalize(UNINORM_NFKD, &c, 1, buffer, &length);
    std::string base;
    bool usable = decomposed != nullptr;
    for (size_t i = 0; usable && i < length; ++i) {
        if (uc_combining_class(decomposed[i]) != 0) continue;  // the accent goes
        if (printableLatin1(decomposed[i])) base.push_back(static_cast<char>(decomposed[i]));
        else usable = false;
    }
    if (decomposed && decomposed != buffer) free(decomposed);
    out += usable && !base.empty() ? base : "?";
}

}  // namespace

void appendLatin1(std::string_view utf8, std::string& out) {
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            out.push_back(static_cast<char>(s[i++]));
            continue;
        }
        ucs4_t c;
        int length = u8_mbtoucr(&c, s + i, n - i);
        if (length <= 0) {
            // Not UTF-8: an older file in ISO-8859-1 already.
            c = s[i];
            length = 1;
            if (c < 0xA0) c = '?';
        }
        appendCharacter(c, out);
        i += static_cast<size_t>(length);
    }
}

namespace {
// Most names are already clean: printable ASCII, single blanks between words, none at the
// ends. Those are taken as they are instead of byte by byte.
bool alreadyClean(std::string_view text, bool underscores) {
    if (text.empty()) return true;
    if (text.front() == ' ' || text.back() == ' ') return false;
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = 1;  // from here on each byte is checked with the one before it
    auto clean = [underscores](unsigned char c, unsigned char before) {
        return c >= 0x20 && c < 0x7F && !(c == ' ' && before == ' ') && !(underscores && c == '_');
    };
    if (!clean(static_cast<unsigned char>(p[0]), 0)) return false;
#if defined(__SSE2__)
    // Sixteen bytes at a time: as signed bytes, those below a blank are controls or not ASCII.
    const __m128i blank = _mm_set1_epi8(' '), del = _mm_set1_epi8(0x7F),
                  underscore = _mm_set1_epi8(underscores ? '_' : ' ');
    for (; i + 16 <= n; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
        __m128i blanks = _mm_cmpeq_epi8(x, blank);
        __m128i bad = _mm_or_si128(_mm_cmplt_epi8(x, blank), _mm_cmpeq_epi8(x, del));
        bad = _mm_or_si128(bad, _mm_and_si128(blanks, _mm_cmpeq_epi8(before, blank)));
        if (underscores) bad = _mm_or_si128(bad, _mm_cmpeq_epi8(x, underscore));
        if (_mm_movemask_epi8(bad)) return false;
    }
#endif
    for (; i < n; ++i)
        if (!clean(static_cast<unsigned char>(p[i]), static_cast<unsigned char>(p[i - 1])))
            return false;
    return true;
}
}  // namespace

void cleanName(std::string_view text, std::string& out, bool underscores) {
    if (alreadyClean(text, underscores)) {
        out.assign(text.data(), text.size());
        return;
    }
    out.clear();
    bool ascii = true;
    for (unsigned char c : text) ascii &= c < 0x80;
    std::string converted;
    if (!ascii) {
        appendLatin1(text, converted);
        text = converted;
    }
    // Trim, and one blank for every run of blanks (line breaks of quoted fields included).
    bool pendingBlank = false;
    for (unsigned char c : text) {
        if (isBlank(c) || (underscores && c == '_')) {
            pendingBlank = !out.empty();
            continue;
        }
        if (pendingBlank) out.push_back(' ');
        pendingBlank = false;
        out.push_back(c ? static_cast<char>(c) : '?');  // names end at their first zero

    }
}

std::string_view cleanedName(std::string_view text, std::string& scratch) {
    if (alreadyClean(text, false)) return text;
    cleanName(text, scratch);
    return scratch;
}

bool isPlaceholder(std::string_view s) {
    return s.empty() || s == "-" || equalsIgnoreCase(s, "NA") ||
           equalsIgnoreCase(s, "incertae sedis");
}

namespace {
bool isUpperLatin1(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
bool isLowerLatin1(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 0xDF && c != 0xF7);
}
}  // namespace

namespace {
bool allCapitals(std::string_view name) {
    bool anyUpper = false;
    for (unsigned char c : name) {
        if (isLowerLatin1(c)) return false;
        anyUpper |= isUpperLatin1(c);
    }
    return anyUpper;
}
}  // namespace

std::string_view inUsualCase(std::string_view name, std::string& scratch) {
    if (!allCapitals(name)) return name;
    scratch.assign(name);
    usualCase(scratch);
    return scratch;
}

void usualCase(std::string& name) {
    if (!allCapitals(name)) return;
    for (size_t i = 1; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (isUpperLatin1(c)) name[i] = static_cast<char>(c + 0x20);
    }
}

bool isEpithet(std::string_view name) {
    return !name.empty() && isLowerLatin1(static_cast<unsigned char>(name[0])) &&
           name.find(' ') == std::string_view::npos;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x += 0x20;
        if (y >= 'A' && y <= 'Z') y += 0x20;
        if (x != y) return false;
    }
    return true;
}

std::string headerKey(std::string_view header) {
    // "dwc:taxonID", "col:parentID", "http://rs.tdwg.org/dwc/terms/taxonID": the term only.
    size_t cut = header.find_last_of("/#");
    if (cut != std::string_view::npos) header.remove_prefix(cut + 1);
    size_t colon = header.find(':');
    if (colon != std::string_view::npos && colon <= 8 && header.find(' ') > colon)
        header.remove_prefix(colon + 1);
    std::string key;
    for (unsigned char c : header) {
        if (c == ' ' || c == '_' || c == '-' || isBlank(c)) continue;
        key.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c));
    }
    return key;
}

bool isAcceptedStatus(std::string_view status) {
    return statusOf(status) != NameStatus::NotAccepted;
}

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// ---- Ranks ------------------------------------------------------------------------------

namespace {

struct KnownRank {
    const char* name;
    int order;
    bool column;  // a column of this name in a table gives a level of the path
};
// The twenty at multiples of ten, the common ranks between them. "Form", "Section" and the
// like are ranks too, but as column headers they mean other things too often.
constexpr KnownRank kKnownRanks[] = {
    {"Superkingdom", -10, true}, {"Kingdom", 0, true},
    {"Subkingdom", 3, true},     {"Infrakingdom", 6, true}, {"Superphylum", 8, true},
    {"Phylum", 10, true},        {"Subphylum", 20, true},   {"Infraphylum", 25, true},
    {"Superclass", 30, true},    {"Class", 40, true},       {"Subclass", 50, true},
    {"Infraclass", 60, true},    {"Subterclass", 62, true}, {"Parvclass", 64, true},
    {"Magnorder", 66, true},     {"Superorder", 70, true},  {"Grandorder", 74, true},
    {"Mirorder", 76, true},      {"Order", 80, true},       {"Suborder", 90, true},
    {"Infraorder", 100, true},   {"Parvorder", 105, true},  {"Superfamily", 110, true},
    {"Epifamily", 115, true},    {"Family", 120, true},     {"Subfamily", 130, true},
    {"Infrafamily", 135, true},  {"Supertribe", 138, true}, {"Tribe", 140, true},
    {"Subtribe", 150, true},     {"Infratribe", 155, true}, {"Genus", 160, true},
    {"Subgenus", 170, true},     {"Section", 172, false},   {"Subsection", 174, false},
    {"Series", 176, false},      {"Subseries", 177, false}, {"Species group", 178, false},
    {"Species", 180, true},
    {"Subspecies", 190, true},   {"Variety", 192, false},   {"Subvariety", 194, false},
    {"Form", 196, false},        {"Subform", 198, false},
};
constexpr int kUnknownOrder = RankInfo::kUnknownOrder;

}  // namespace

RankInfo rankOf(std::string_view written) {
    std::string cleaned;
    cleanName(written, cleaned);
    for (const KnownRank& k : kKnownRanks) {
        if (equalsIgnoreCase(cleaned, k.name)) return {k.order, k.name, rankFromName(k.name)};
    }
    // Abbreviations and other languages' words for a known rank; words that name no rank.
    const std::string folded = foldWord(cleaned);
    if (const char* alias = rankAlias(folded)) return rankOf(alias);
    if (isRankPlaceholder(folded)) return {kUnknownOrder, std::string(), -1};
    // Written as the twenty are: first letter upper case, the rest lower.
    for (size_t i = 0; i < cleaned.size(); ++i) {
        auto c = static_cast<unsigned char>(cleaned[i]);
        if (i == 0 && ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)))
            cleaned[i] = static_cast<char>(c - 0x20);
        else if (i > 0 && isUpperLatin1(c))
            cleaned[i] = static_cast<char>(c + 0x20);
    }
    return {kUnknownOrder, cleaned, -1};
}

const RankInfo& RankWords::of(std::string_view written) {
    if (m_last && m_last->first == written) return m_last->second;
    auto found = m_known.find(written);
    if (found == m_known.end()) {
        if (m_known.size() >= kKept) {
            m_uncached = rankOf(written);
            return m_uncached;
        }
        found = m_known.emplace(std::string(written), rankOf(written)).first;
    }
    m_last = &*found;
    return found->second;
}

bool rankColumn(const std::string& key, RankInfo& rank) {
    // A header line may hold hundreds of columns; each is looked up, not compared with
    // every rank. Keys are in lower case already, and rank names hold nothing headerKey drops.
    static const auto* const columns = [] {
        static std::vector<std::string> lowered;  // the keys' text
        lowered.reserve(std::size(kKnownRanks));
        auto* byKey = new std::unordered_map<std::string_view, const KnownRank*>;
        for (const KnownRank& k : kKnownRanks) {
            if (!k.column) continue;
            std::string& lower = lowered.emplace_back(k.name);
            for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
            byKey->emplace(lower, &k);
        }
        return byKey;
    }();
    const std::string_view written = key;
    auto found = columns->find(written);
    // "order", or IUCN's "orderName"
    if (found == columns->end() && written.size() > 4 && written.ends_with("name"))
        found = columns->find(written.substr(0, written.size() - 4));
    if (found == columns->end()) return false;
    const KnownRank& k = *found->second;
    rank = {k.order, k.name, rankFromName(k.name)};
    return true;
}

}  // namespace imp
