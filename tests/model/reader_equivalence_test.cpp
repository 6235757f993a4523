// The reader that splits a file between two threads must give exactly what one thread
// reading front to back gives, wherever the split falls. Every outcome here is compared
// with the one-thread reference: return value, the whole tree, counts, rank names, the
// progress lines and the diagnostic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "ClassificationReader.h"
#include "ReferenceReader.h"
#include "TestSupport.h"

namespace {

// ---------------------------------------------------------------------------------------
// Reading and comparing outcomes

struct Outcome {
    int status = -1;
    std::string console;
    std::string errors;
};

// Fields a reader must leave as the caller set them; a distinctive value shows whether
// they survived.
void prepare(ClassificationTree& t) {
    t.maxLevel = 17;
    t.treeId = 2;
    t.x = 0.125;
    t.descendantCount = 3;
}

Outcome readWith(ClassificationTree& tree, const std::function<int(ClassificationTree&)>& read) {
    Outcome o;
    prepare(tree);
    ConsoleCapture console;
    testing::internal::CaptureStderr();
    o.status = read(tree);
    o.errors = testing::internal::GetCapturedStderr();
    o.console = console.text();
    return o;
}

std::string quoted(const char* s) {
    if (!s) return "(null)";
    std::string q = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        if (*p >= 0x20 && *p < 0x7f && *p != '"' && *p != '\\') {
            q += static_cast<char>(*p);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", *p);
            q += b;
        }
    }
    return q + "\"";
}

bool sameName(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

// Where `node` sits in its tree, as child indexes from the root: "root/2/0".
std::string pathOf(const TreeNode* node) {
    std::vector<size_t> steps;
    for (const TreeNode* n = node; n->parent; n = n->parent) {
        const auto& siblings = n->parent->children;
        size_t i = 0;
        while (i < siblings.size() && siblings[i] != n) ++i;
        steps.push_back(i);
    }
    std::string s = "root";
    for (size_t i = steps.size(); i-- > 0;) s += "/" + std::to_string(steps[i]);
    return s;
}

// First difference between one node of each tree (not looking at children's contents).
std::string nodeDifference(const TreeNode& a, const TreeNode& b) {
    auto differ = [](const char* what, const std::string& x, const std::string& y) {
        return std::string(what) + ": expected " + x + ", got " + y;
    };
    if (!sameName(a.latinName, b.latinName))
        return differ("latinName", quoted(a.latinName), quoted(b.latinName));
    if (!sameName(a.commonName, b.commonName))
        return differ("commonName", quoted(a.commonName), quoted(b.commonName));
    if (!sameName(a.rankName, b.rankName))
        return differ("rankName", quoted(a.rankName), quoted(b.rankName));
    if (a.number != b.number)
        return differ("number", std::to_string(a.number), std::to_string(b.number));
    if (a.level != b.level)
        return differ("level", std::to_string(a.level), std::to_string(b.level));
    if (a.onlyInTree != b.onlyInTree)
        return differ("onlyInTree", std::to_string(a.onlyInTree), std::to_string(b.onlyInTree));
    for (int i = 0; i < 3; ++i)
        if (a.color[i] != b.color[i])
            return differ("color", std::to_string(a.color[i]), std::to_string(b.color[i]));
    if (a.descendantCount != b.descendantCount ||
        a.combinedDescendantCount != b.combinedDescendantCount)
        return "descendant counts differ";
    const double ga[] = {a.x, a.y, a.width, a.height, a.overviewX, a.overviewY,
                         a.overviewWidth, a.overviewHeight, a.hitLeft, a.hitRight,
                         a.hitBottom, a.hitTop};
    const double gb[] = {b.x, b.y, b.width, b.height, b.overviewX, b.overviewY,
                         b.overviewWidth, b.overviewHeight, b.hitLeft, b.hitRight,
                         b.hitBottom, b.hitTop};
    if (std::memcmp(ga, gb, sizeof ga) != 0) return "geometry fields differ";
    if (a.children.size() != b.children.size())
        return differ("child count", std::to_string(a.children.size()),
                      std::to_string(b.children.size()));
    for (size_t i = 0; i < b.children.size(); ++i) {
        if (!b.children[i]) return "child " + std::to_string(i) + " is null";
        if (b.children[i]->parent != &b)
            return "child " + std::to_string(i) + " has a wrong parent link";
    }
    return {};
}

// Walks both trees together without recursion (files nest thousands deep) and describes
// the first difference, with the path of the node where it is; empty when the same.
std::string treeDifference(const ClassificationTree& a, const ClassificationTree& b) {
    auto differ = [](const char* what, long long x, long long y) {
        return std::string(what) + ": expected " + std::to_string(x) + ", got " +
               std::to_string(y);
    };
    if (a.nodeCount != b.nodeCount) return differ("nodeCount", a.nodeCount, b.nodeCount);
    if (a.leafCount != b.leafCount) return differ("leafCount", a.leafCount, b.leafCount);
    if (a.fileSize != b.fileSize) return differ("fileSize", a.fileSize, b.fileSize);
    if (a.maxLevel != b.maxLevel) return differ("maxLevel", a.maxLevel, b.maxLevel);
    if (a.treeId != b.treeId) return differ("treeId", a.treeId, b.treeId);
    if (b.parent) return "the root has a parent";
    if (a.latinIndex.size() != b.latinIndex.size() ||
        a.commonIndex.size() != b.commonIndex.size())
        return "name indexes differ";
    if (a.rankNames.size() != b.rankNames.size())
        return differ("rankNames size", static_cast<long long>(a.rankNames.size()),
                      static_cast<long long>(b.rankNames.size()));
    for (size_t i = 0; i < a.rankNames.size(); ++i)
        if (!sameName(a.rankNames[i], b.rankNames[i]))
            return "rankNames[" + std::to_string(i) + "]: expected " + quoted(a.rankNames[i]) +
                   ", got " + quoted(b.rankNames[i]);
    std::vector<std::pair<const TreeNode*, const TreeNode*>> stack{{&a, &b}};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        std::string d = nodeDifference(*x, *y);
        if (!d.empty()) return "at " + pathOf(x) + ": " + d;
        for (size_t i = x->children.size(); i-- > 0;)
            stack.push_back({x->children[i], y->children[i]});
    }
    return {};
}

std::string outcomeDifference(const Outcome& a, const Outcome& b) {
    if (a.status != b.status)
        return "return value: expected " + std::to_string(a.status) + ", got " +
               std::to_string(b.status);
    if (a.errors != b.errors) return "stderr: expected [" + a.errors + "], got [" + b.errors + "]";
    if (a.console != b.console) {
        size_t i = 0;
        while (i < a.console.size() && i < b.console.size() && a.console[i] == b.console[i]) ++i;
        size_t line = i;
        while (line > 0 && a.console[line - 1] != '\n') --line;
        return "console differs at byte " + std::to_string(i) + ": expected [" +
               a.console.substr(line, 40) + "...], got [" + b.console.substr(line, 40) + "...]";
    }
    return {};
}

// The file as a C string literal, for pasting a failing case into a test.
std::string literal(const std::string& bytes) {
    std::string s = "\"";
    bool lastWasHex = false;
    for (unsigned char c : bytes) {
        bool hexDigit = std::isxdigit(c) != 0;
        if (c == '\n') {
            s += "\\n\"\n\"";
            lastWasHex = false;
            continue;
        }
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && !(lastWasHex && hexDigit)) {
            s += static_cast<char>(c);
            lastWasHex = false;
        } else if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
            lastWasHex = false;
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            s += b;
            lastWasHex = true;
        }
    }
    return s + "\"";
}

// One file on disk, read once by the reference and then by the library at any split.
class Subject {
public:
    Subject(const TempDir& dir, const std::string& bytes)
        : m_bytes(bytes), m_path(dir.write("c.xml", bytes)) {
        m_expected = readWith(m_reference, [&](ClassificationTree& t) {
            return referenceReadClassification(t, m_path.c_str());
        });
    }
    const Outcome& expected() const { return m_expected; }
    size_t size() const { return m_bytes.size(); }

    // Empty when readClassificationSplitAt at `split` matches the reference (a negative
    // split stands for plain readClassification), else what differs.
    std::string check(long long split) const {
        ClassificationTree t;
        Outcome o = readWith(t, [&](ClassificationTree& tree) {
            return split < 0 ? readClassification(tree, m_path.c_str())
                             : readClassificationSplitAt(tree, m_path.c_str(),
                                                         static_cast<size_t>(split));
        });
        std::string d = outcomeDifference(m_expected, o);
        if (d.empty()) d = treeDifference(m_reference, t);
        return d;
    }

    // The first failing split among `splits`, or -2 when all match.
    long long firstFailure(const std::vector<size_t>& splits, std::string* why) const {
        std::string d = check(-1);
        if (!d.empty()) {
            if (why) *why = d;
            return -1;
        }
        for (size_t s : splits) {
            d = check(static_cast<long long>(s));
            if (!d.empty()) {
                if (why) *why = d;
                return static_cast<long long>(s);
            }
        }
        return -2;
    }

private:
    std::string m_bytes;
    std::string m_path;
    ClassificationTree m_reference;
    Outcome m_expected;
};

// Every byte where a token starts, the byte before it, and the byte after each line feed:
// the places where the second thread's part can line up with the first thread's reading.
std::vector<size_t> tokenSplits(const std::string& bytes) {
    auto blank = [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::vector<size_t> s{0};
    for (size_t i = 1; i < bytes.size(); ++i) {
        bool starts = !blank(static_cast<unsigned char>(bytes[i])) &&
                      blank(static_cast<unsigned char>(bytes[i - 1]));
        if (starts) {
            if (s.back() != i - 1) s.push_back(i - 1);
            s.push_back(i);
        } else if (bytes[i - 1] == '\n' && s.back() != i) {
            s.push_back(i);
        }
    }
    s.push_back(bytes.size());
    return s;
}

std::vector<size_t> everySplit(size_t size) {
    std::vector<size_t> s;
    for (size_t i = 0; i <= size + 1; ++i) s.push_back(i);
    return s;
}

// Ends, many random offsets, and every offset of a window around the middle.
std::vector<size_t> sampledSplits(size_t size, std::mt19937& rng, size_t randomCount,
                                  size_t window) {
    std::vector<size_t> s{0, 1, size / 2, size > 0 ? size - 1 : 0, size, size + 1};
    std::uniform_int_distribution<size_t> any(0, size);
    for (size_t i = 0; i < randomCount; ++i) s.push_back(any(rng));
    size_t from = size / 2 > window / 2 ? size / 2 - window / 2 : 0;
    for (size_t i = from; i < from + window && i <= size; ++i) s.push_back(i);
    return s;
}

// Shrinks a failing file by dropping ever fewer whole lines, then ever fewer bytes,
// keeping some failing split at every step; stops after `budget` so that a failure does not
// stall the run. A candidate is tried at the last failing split (moved with the bytes
// dropped before it) and at the token starts, which keeps each try cheap.
std::pair<std::string, long long> minimise(const TempDir& dir, std::string bytes,
                                           std::chrono::seconds budget) {
    auto deadline = std::chrono::steady_clock::now() + budget;
    long long at;
    {
        Subject s(dir, bytes);
        at = s.firstFailure(everySplit(bytes.size()), nullptr);
        if (at == -2) return {bytes, -2};
    }
    auto fails = [&](const std::string& candidate, long long hint) {
        std::vector<size_t> splits;
        for (long long d = -1; d <= 1; ++d)
            if (hint + d >= 0) splits.push_back(static_cast<size_t>(hint + d));
        std::vector<size_t> tokens = tokenSplits(candidate);
        splits.insert(splits.end(), tokens.begin(), tokens.end());
        Subject s(dir, candidate);
        long long f = s.firstFailure(splits, nullptr);
        if (f != -2) at = f;
        return f != -2;
    };
    // Pieces are whole lines in the first pass and single bytes in the second.
    for (bool lines : {true, false}) {
        auto pieces = [&] {
            std::vector<size_t> starts;
            for (size_t i = 0; i < bytes.size(); ++i)
                if (!lines || i == 0 || bytes[i - 1] == '\n') starts.push_back(i);
            starts.push_back(bytes.size());
            return starts;
        };
        std::vector<size_t> starts = pieces();
        for (size_t chunk = lines ? (starts.size() - 1) / 2 : 32; chunk >= 1; chunk /= 2) {
            for (size_t k = 0; k + 1 < starts.size();) {
                if (std::chrono::steady_clock::now() > deadline) return {bytes, at};
                size_t from = starts[k];
                size_t to = starts[std::min(k + chunk, starts.size() - 1)];
                std::string candidate = bytes.substr(0, from) + bytes.substr(to);
                long long hint = at > static_cast<long long>(to)
                                     ? at - static_cast<long long>(to - from)
                                     : at;
                if (fails(candidate, hint)) {
                    bytes = candidate;
                    starts = pieces();
                } else {
                    ++k;
                }
            }
        }
    }
    return {bytes, at};
}

// ---------------------------------------------------------------------------------------
// Generating classification files

const char* const kUnknownRanks[] = {"Clade", "no rank", "kingdom", "Species ", "Difference",
                                     "superfamily", "Ordo", "GENUS", "Sub species",
                                     "Forma", "\xc3\xa9tage"};
const char* const kPreambleLines[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    "<!DOCTYPE classification>",
    "<classification name=\"test\" version=\"2\">",
    "<!-- <branch> in a comment is not the root -->",
    "<meta> <branch> on a line whose first token is something else",
    "</branch> closing nothing",
    "<leaf> before the root",
    "<branch>x",
    "x<branch>",
    "<Branch>",
    "\t  indented <foo>",
};
const char* const kStrayTokens[] = {"<!--", "comment", "-->", "<meta/>", "</leaf>",
                                    "<branchx>", "<Branch>", "branch>", "<leaf",
                                    "leaf>", "</branch", "<branch>x", "x<branch>",
                                    "</LEAF>", "<leaf/>", "\xc3\xa9", "</branch>>"};
const char* const kLeafEnds[] = {"</leaf>", "</leaf>", "</leaf>", "</Leaf>", "x",
                                 "<branch>", "</branch>", "<leaf>", "<leaf/>"};
const char* const kRests[] = {"/>", "/>", "/>", "", "/> <branch>", " </branch> <leaf>",
                              "/>\t<leaf> x", "\"\"/>", "/> </branch>", " trailing words"};
const char* const kValueSnippets[] = {"<branch>", "</branch>", "<leaf>", "</leaf>",
                                      " ", "\t", "\n", "\r\n", "\n<branch>\n", "\n<leaf>",
                                      "\n</branch>\n", "\xc3\xa9", "\xe2\x80\x94", "&amp;",
                                      "/>", "=", "'"};

class FileGenerator {
public:
    explicit FileGenerator(uint32_t seed) : m_rng(seed) {}
    std::mt19937& rng() { return m_rng; }

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_rng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }
    template <size_t N>
    const char* oneOf(const char* const (&table)[N]) {
        return table[below(N)];
    }

    // A file that follows the format, of `budget` bytes or a little more, in one of
    // several shapes and layouts; some leave out the closing token of a leaf, which then
    // swallows the next token.
    std::string wellFormed(size_t budget) {
        chooseStyle();
        m_budget = budget;
        std::string out;
        size_t preamble = below(4) == 0 ? 0 : below(5);
        for (size_t i = 0; i < preamble; ++i) {
            if (chance(0.2)) out += eol();  // a blank line
            out += indent(below(2)) + oneOf(kPreambleLines) + eol();
        }
        out += indent(0);
        node(out, true, 0, m_depthLimit);
        trailing(out);
        return out;
    }

    // One node in a random style, without preamble or trailing text, that reads
    // successfully (every leaf has its closing token).
    std::string subtree(size_t budget) {
        chooseStyle();
        m_leafEndRate = 1;
        m_budget = budget;
        std::string out;
        node(out, true, 1, m_depthLimit);
        return out;
    }

    // A well-formed file damaged in a few random ways.
    std::string broken(size_t budget) {
        std::string s = wellFormed(budget);
        size_t damage = 1 + below(3);
        for (size_t i = 0; i < damage; ++i) mutate(s);
        return s;
    }

    // Branches nested `levels` deep (the root counts as one), each holding one leaf,
    // closed properly unless `closed` is false.
    std::string nested(int levels, bool closed) {
        std::string out = "<?xml version=\"1.0\"?>\n";
        for (int i = 0; i < levels; ++i) {
            out += "<branch>\n a b value=\"N" + std::to_string(i) + "\"/>\n a b value=\"\"/>\n";
            out += std::string(" a b value=\"") + (i % 3 ? "Genus" : "Clade") + "\"/>\n";
            if (i % 50 == 7) out += "<leaf> a b value=\"L\"\n a b value=\"\"\n a b value=\"\"\n</leaf>\n";
        }
        if (closed)
            for (int i = 0; i < levels; ++i) out += "</branch>\n";
        return out;
    }

    std::string junk(size_t size) {
        std::string s;
        for (size_t i = 0; i < size; ++i) {
            if (chance(0.02)) s += oneOf(kStrayTokens);
            if (chance(0.01)) s += "<branch>";
            s += static_cast<char>(below(256));
        }
        return s;
    }

    void mutate(std::string& s) {
        size_t at = s.empty() ? 0 : below(s.size() + 1);
        switch (below(7)) {
        case 0:  // end early
            s.resize(at);
            break;
        case 1:  // one byte changed, often to a byte that matters to the format
            if (!s.empty() && at < s.size()) {
                const char special[] = {'\0', '"', '\n', '<', ' ', '\r', '>', '/', '\t'};
                s[at] = chance(0.6) ? special[below(sizeof special)] : static_cast<char>(below(256));
            }
            break;
        case 2:  // bytes inserted
            if (chance(0.5)) {
                s.insert(at, 1, chance(0.3) ? '\0' : static_cast<char>(below(256)));
            } else {
                const std::string bits[] = {"<branch>", "</branch>", "<leaf>", "\"", "\n",
                                            std::string(1, '\0'), " ", "<branch>\n"};
                s.insert(at, below(2) ? bits[7] : bits[below(8)]);
            }
            break;
        case 3:  // bytes deleted
            s.erase(at, 1 + below(12));
            break;
        case 4:  // a piece repeated elsewhere
            if (!s.empty()) {
                size_t from = below(s.size());
                std::string piece = s.substr(from, 1 + below(200));
                s.insert(below(s.size() + 1), piece);
            }
            break;
        case 5:  // a quote or line feed lost
        {
            size_t q = s.find(chance(0.5) ? '"' : '\n', at);
            if (q != std::string::npos) s.erase(q, 1);
            break;
        }
        default:  // a closing token lost or added
        {
            size_t c = s.find("</branch>", at);
            if (c != std::string::npos && chance(0.5))
                s.erase(c, 9);
            else
                s.insert(at, " </branch> ");
            break;
        }
        }
    }

    // A run of `length` bytes without whitespace.
    std::string longToken(size_t length) {
        std::string t(length, 'a');
        for (size_t i = 0; i < length; i += 1 + below(64)) t[i] = static_cast<char>('a' + below(26));
        return t;
    }

private:
    enum Shape { Deep, Wide, LeavesOnly, RootOnly, Mixed };

    void chooseStyle() {
        m_shape = static_cast<Shape>(below(5));
        const char* const indents[] = {"", "\t", "  ", " ", "    "};
        m_indentUnit = indents[below(5)];
        m_mixedIndent = chance(0.15);
        m_crlf = chance(0.25);
        m_mixedEol = chance(0.1);
        m_strayRate = chance(0.3) ? 0.15 : 0.0;
        m_leafEndRate = chance(0.7) ? 1.0 : 0.8;
        m_oddValueLines = chance(0.4);
        switch (m_shape) {
        case Deep: m_depthLimit = 20 + static_cast<int>(below(60)); break;
        case Wide: m_depthLimit = 3; break;
        case LeavesOnly: m_depthLimit = 1; break;
        case RootOnly: m_depthLimit = 0; break;
        case Mixed: m_depthLimit = 8; break;
        }
    }

    std::string eol() {
        if (m_mixedEol) return chance(0.5) ? "\r\n" : chance(0.2) ? "\n\n" : "\n";
        return m_crlf ? "\r\n" : "\n";
    }
    std::string indent(int level) {
        if (m_mixedIndent) {
            std::string s;
            for (int i = 0; i < level; ++i) s += chance(0.5) ? "\t" : " ";
            return s;
        }
        std::string s;
        for (int i = 0; i < level; ++i) s += m_indentUnit;
        return s;
    }
    std::string gap() {
        const char* const gaps[] = {" ", " ", "\t", "  ", "\n ", "\r\n\t", " \v\f "};
        return gaps[below(7)];
    }

    std::string value(int which) {
        if (which == 2) {  // rank
            if (chance(0.75)) return rankName(static_cast<int>(below(kRankCount)));
            if (chance(0.8)) return oneOf(kUnknownRanks);
        }
        if (which == 1 && chance(0.5)) return "";
        if (chance(0.1)) return "";
        std::string v;
        size_t words = 1 + below(3);
        for (size_t w = 0; w < words; ++w) {
            if (w) v += " ";
            v += static_cast<char>('A' + below(26));
            size_t n = 1 + below(10);
            for (size_t i = 0; i < n; ++i) v += static_cast<char>('a' + below(26));
            if (chance(0.08)) v += oneOf(kValueSnippets);
        }
        if (chance(0.01)) v += longToken(200 + below(2000));
        return v;
    }

    void valueLine(std::string& out, int level, int which) {
        const char* const firsts[] = {"<attr", "<latin", "<a", "x", "<name"};
        const char* const seconds[] = {"name=\"latin\"", "n=\"c\"", "y", "name=\"rank\"",
                                       "<branch>", "</branch>"};
        out += indent(level);
        if (!m_oddValueLines) {
            const char* const names[] = {"latin", "common", "rank"};
            out += std::string("<attr name=\"") + names[which] + "\" value=\"" + value(which) +
                   "\"/>" + eol();
            return;
        }
        out += chance(0.03) ? "<" + longToken(100 + below(1500)) : firsts[below(5)];
        out += gap();
        out += seconds[below(6)];
        // The second word ends at whitespace, which opens the eight bytes skipped.
        if (chance(0.7)) {
            out += " value=\"";
        } else {
            out += chance(0.5) ? "\t" : " ";
            const char pool[] = "abc<>/\"= \t\nbranchleaf";
            for (int i = 0; i < 7; ++i) out += pool[below(sizeof pool - 1)];
        }
        out += value(which);
        out += '"';
        out += oneOf(kRests);
        out += eol();
    }

    void stray(std::string& out, int level) {
        if (m_strayRate == 0 || !chance(m_strayRate)) return;
        out += indent(level);
        out += chance(0.05) ? longToken(100 + below(3000)) : oneOf(kStrayTokens);
        out += chance(0.5) ? eol() : " ";
    }

    size_t childCount(int level) {
        switch (m_shape) {
        case Deep: return 1 + below(2);
        case Wide: return level == 0 ? 5 + below(80) : below(30);
        case LeavesOnly: return below(40);
        case RootOnly: return 0;
        case Mixed: return below(6);
        }
        return 0;
    }
    double branchChance() const {
        switch (m_shape) {
        case Deep: return 0.85;
        case Wide: return 0.1;
        case Mixed: return 0.45;
        default: return 0;
        }
    }

    void node(std::string& out, bool branch, int level, int depthLeft) {
        out += branch ? "<branch>" : "<leaf>";
        out += chance(0.1) ? " " : eol();
        for (int which = 0; which < 3; ++which) valueLine(out, level + 1, which);
        if (branch) {
            size_t n = childCount(level);
            for (size_t i = 0; i < n && out.size() < m_budget; ++i) {
                stray(out, level + 1);
                out += indent(level + 1);
                node(out, depthLeft > 1 && chance(branchChance()), level + 1, depthLeft - 1);
            }
            stray(out, level + 1);
            out += indent(level) + "</branch>" + eol();
        } else {
            if (m_leafEndRate >= 1 || chance(m_leafEndRate)) {
                out += indent(level) + oneOf(kLeafEnds) + eol();
            }
        }
    }

    // What follows the root's </branch>: nothing, tokens, whole nodes or junk, all of
    // which the reading never looks at.
    void trailing(std::string& out) {
        switch (below(12)) {
        case 0: case 1: case 2: break;
        case 3: out.pop_back(); break;  // no final line feed
        case 4: case 5: out += "</classification>" + eol(); break;
        case 6:  // a whole leaf
            out += "<leaf>" + eol();
            for (int which = 0; which < 3; ++which) valueLine(out, 1, which);
            out += "</leaf>" + eol();
            break;
        case 7: node(out, true, 0, 2); break;  // a second tree
        case 8: out += "<!-- end --> </leaf>" + eol() + "</classification> x" + eol(); break;
        case 9: out += "<leaf>\n<branch>\n</branch>\n</branch> <leaf> x\n"; break;
        case 10: out += "</branch>\n</branch>\n<branch>\n <a b value=\"Z\n"; break;
        default: out += junk(below(100)); break;
        }
    }

    std::mt19937 m_rng;
    Shape m_shape = Mixed;
    std::string m_indentUnit;
    bool m_mixedIndent = false;
    bool m_crlf = false;
    bool m_mixedEol = false;
    double m_strayRate = 0;
    double m_leafEndRate = 1;
    bool m_oddValueLines = false;
    int m_depthLimit = 8;
    size_t m_budget = 0;
};

// ---------------------------------------------------------------------------------------
// Running cases

unsigned long envNumber(const char* name, unsigned long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

// Seed, number of cases and the one case to run alone, of a randomised test: from the
// environment, else the defaults (fewer cases in the slow sanitizer and debug builds).
struct RandomRun {
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    static constexpr bool kSlowBuild = true;
#else
    static constexpr bool kSlowBuild = false;
#endif
    unsigned long seed, cases, only;
    RandomRun(unsigned long optimisedCases, unsigned long slowCases)
        : seed(envNumber("CLADORAMA_EQUIV_SEED", 20240611)),
          cases(envNumber("CLADORAMA_EQUIV_CASES", kSlowBuild ? slowCases : optimisedCases)),
          only(envNumber("CLADORAMA_EQUIV_CASE", ~0ul)) {}
};

// Reads `bytes` with the reference, with readClassification and at every split in
// `splits`; records a test failure naming `label` and the first failing split, then
// minimises the file when it is small, for `minimiseSeconds` at most (overridden by
// CLADORAMA_EQUIV_MINIMISE).
bool expectSameEverywhere(const TempDir& dir, const std::string& bytes,
                          const std::vector<size_t>& splits, const std::string& label,
                          int minimiseSeconds = 0) {
    std::string why;
    long long at;
    {
        Subject s(dir, bytes);
        at = s.firstFailure(splits, &why);
    }
    if (at == -2) return true;
    std::string report = label + ", " + std::to_string(bytes.size()) + " bytes, " +
                         (at < 0 ? std::string("readClassification")
                                 : "split at " + std::to_string(at)) +
                         ": " + why;
    if (bytes.size() <= 400) report += "\nfile: " + literal(bytes);
    if (minimiseSeconds > 0)
        minimiseSeconds = static_cast<int>(envNumber("CLADORAMA_EQUIV_MINIMISE", minimiseSeconds));
    if (minimiseSeconds > 0 && bytes.size() <= 20000) {
        auto [small, smallAt] = minimise(dir, bytes, std::chrono::seconds(minimiseSeconds));
        if (smallAt != -2) {
            Subject s(dir, small);
            std::string smallWhy = s.check(smallAt);
            report += "\nminimal (" + std::to_string(small.size()) + " bytes, split " +
                      std::to_string(smallAt) + "): " + smallWhy + "\n" + literal(small);
        }
    }
    ADD_FAILURE() << report;
    return false;
}

// ---------------------------------------------------------------------------------------
// Targeted cases

std::string valueLine(const char* word, const std::string& value) {
    return std::string("  <attr name=\"") + word + "\" value=\"" + value + "\"/>\n";
}
std::string values(const std::string& latin, const std::string& rank) {
    return valueLine("latin", latin) + valueLine("common", "") + valueLine("rank", rank);
}
std::string leaf(const std::string& latin, const std::string& end = "</leaf>") {
    return "<leaf>\n" + values(latin, "Species") + end + "\n";
}
std::string branch(const std::string& latin, const std::string& rank,
                   const std::string& contents) {
    return "<branch>\n" + values(latin, rank) + contents + "</branch>\n";
}

// A small file with a bit of everything the split has to get right.
std::string sampleFile() {
    return "<?xml version=\"1.0\"?>\n<meta> <branch> ignored\n" +
           branch("Root", "Order",
                  branch("A <branch> B", "Family", leaf("C") + leaf("D", "<branch>")) +
                      leaf("E </branch> F") + "  <!-- stray --> \n" +
                      branch("G", "Clade", branch("H", "Genus", leaf("I\n<branch>\nJ")))) +
           "<leaf>\n</branch>\n<branch>\n";
}

size_t nth(const std::string& s, const std::string& what, int n) {
    size_t at = std::string::npos;
    for (int i = 0, from = 0; i <= n; ++i, from = static_cast<int>(at) + 1) {
        at = s.find(what, static_cast<size_t>(from));
        if (at == std::string::npos) return at;
    }
    return at;
}

std::vector<size_t> around(size_t at, size_t radius = 3) {
    std::vector<size_t> s;
    for (size_t i = at > radius ? at - radius : 0; i <= at + radius; ++i) s.push_back(i);
    return s;
}

}  // namespace

TEST(ReaderEquivalence, TargetedSplitPositions) {
    TempDir dir;
    std::string f = sampleFile();
    {
        // The reference itself reads the sample as intended, so the cases below are about
        // what they claim to be.
        ClassificationTree t;
        std::string path = dir.write("c.xml", f);
        Outcome o = readWith(t, [&](ClassificationTree& tree) {
            return referenceReadClassification(tree, path.c_str());
        });
        ASSERT_EQ(o.status, 1) << o.errors;
        EXPECT_EQ(o.errors, "");
        EXPECT_EQ(childNames(&t), "A <branch> B,E </branch> F,G");
        EXPECT_EQ(childNames(t.children[0]), "C,D");
        EXPECT_EQ(t.nodeCount, 8);
        EXPECT_EQ(std::count(o.console.begin(), o.console.end(), '\n'), 4);
    }
    const size_t root = nth(f, "<branch>", 1);
    struct Case {
        const char* what;
        size_t at;
    } cases[] = {
        {"(a) on a <branch> token", nth(f, "<branch>\n  <attr name=\"latin\" value=\"A", 0)},
        {"(a) on the deepest <branch> token", nth(f, "<branch>\n  <attr name=\"latin\" value=\"H", 0)},
        {"(b) on a <leaf> token", nth(f, "<leaf>", 0)},
        {"(b) on the last <leaf> token", nth(f, "<leaf>\n  <attr name=\"latin\" value=\"I", 0)},
        {"(c) on whitespace before a token", nth(f, "<leaf>", 1) - 1},
        {"(c) on indentation before a value line", nth(f, "  <attr", 4)},
        {"(d) inside a value holding <branch>", nth(f, "<branch> B", 0)},
        {"(d) inside a value over a line feed", nth(f, "<branch>\nJ", 0)},
        {"(d) inside a value holding </branch>", nth(f, "</branch> F", 0)},
        {"(e) inside the preamble", nth(f, "<branch> ignored", 0)},
        {"(e) on the root's <branch>", root},
        {"(f) on a leaf's discarded <branch>", nth(f, "<branch>\n</branch>", 0)},
        {"(f) on a leaf's discarded </leaf>", nth(f, "</leaf>", 0)},
        {"(g) after the root closes", nth(f, "<leaf>\n</branch>\n<branch>\n", 0)},
        {"(g) on the root's </branch>", nth(f, "</branch>\n<leaf>\n</branch>", 0)},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.at, std::string::npos) << c.what;
        expectSameEverywhere(dir, f, around(c.at), c.what);
    }
    // (i) the file ends early after the split, at every byte from the split on.
    size_t split = nth(f, "<leaf>", 1);
    for (size_t end = split; end < f.size(); end += 1 + end % 13)
        expectSameEverywhere(dir, f.substr(0, end), {split, split + 1, end / 2 + split / 2},
                             "(i) ends at " + std::to_string(end));
    // (g) Whole nodes after the root closes, which the second thread reads too but the
    // first never looks at.
    std::string after = f.substr(0, nth(f, "<leaf>\n</branch>\n<branch>\n", 0)) + leaf("After") +
                        branch("Second", "Kingdom", leaf("Z")) + "</classification>\n";
    expectSameEverywhere(dir, after, tokenSplits(after), "(g) whole nodes after the root");
    // And every split of the whole sample, and of the sample cut at the middle.
    expectSameEverywhere(dir, f, everySplit(f.size()), "sample, every split", 30);
    expectSameEverywhere(dir, f.substr(0, f.size() / 2), everySplit(f.size() / 2),
                         "sample cut in half, every split", 30);
}

TEST(ReaderEquivalence, FirstOfTwoErrorsIsTheOneReported) {
    TempDir dir;
    // (j) The first part ends a value line without its line feed mid-file, the second
    // part holds an over-long token; only the first may be reported.
    std::string good = sampleFile();
    FileGenerator gen(7);
    std::string second = " " + gen.longToken(kMaxNameLength + 1) + " ";
    std::vector<std::string> files;
    // An unclosed value in the first part runs into the second.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"" +
                    std::string(40000, 'v') + "\n</branch>\n" + second + "</branch>\n");
    // Nesting too deep in the first part, an early end in the second.
    files.push_back(gen.nested(4097, false) + "<leaf> a b value=\"");
    // Over-long token in the first part, too deep nesting after it.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"\"\n" + second +
                    gen.nested(4100, true));
    // A value line missing its words in the first part, an over-long token in the second.
    files.push_back("<branch>\n a b value=\"X\"\n a b value=\"\"\n a b value=\"\"\n<leaf>\n a\n" +
                    second);
    // A correct first half, then two errors in the second.
    files.push_back(good.substr(0, nth(good, "</branch>", 2)) + second + gen.nested(4100, false));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& b = files[i];
        {
            Subject s(dir, b);
            EXPECT_EQ(s.expected().status, 0) << "file " << i;
        }
        std::vector<size_t> splits = sampledSplits(b.size(), gen.rng(), 12, 4);
        for (size_t k = 1; k < 8; ++k) splits.push_back(b.size() * k / 8);
        expectSameEverywhere(dir, b, splits, "(j) file " + std::to_string(i));
    }
}

TEST(ReaderEquivalence, NestingAroundTheDepthLimit) {
    // (h) Root plus 4094, 4095 or 4096 nested branches: the last of these is one too deep.
    TempDir dir;
    FileGenerator gen(11);
    for (int levels : {4095, 4096, 4097}) {
        for (bool closed : {true, false}) {
            if (!closed && levels != kMaxClassificationDepth) continue;
            std::string f = gen.nested(levels, closed);
            {
                Subject s(dir, f);
                EXPECT_EQ(s.expected().status, closed && levels <= kMaxClassificationDepth ? 1 : 0)
                    << levels << " " << s.expected().errors;
            }
            size_t last = f.rfind("<branch>");
            size_t mid = nth(f, "<branch>", levels / 2);
            std::vector<size_t> splits = sampledSplits(f.size(), gen.rng(), 6, 2);
            for (size_t s : around(last, 2)) splits.push_back(s);
            for (size_t s : around(mid, 2)) splits.push_back(s);
            splits.push_back(nth(f, "</branch>", 0));
            splits.push_back(nth(f, "</branch>", levels / 2));
            expectSameEverywhere(dir, f, splits,
                                 "nesting " + std::to_string(levels) + (closed ? " closed" : " open"));
        }
    }
}

TEST(ReaderEquivalence, OverLongTokensAndValuesAcrossTheSplit) {
    TempDir dir;
    FileGenerator gen(13);
    std::string head = "<branch>\n a b value=\"R\"\n a b value=\"\"\n a b value=\"Order\"\n";
    std::string tail = leaf("L") + "</branch>\n";
    for (size_t length : {kMaxNameLength - 1, kMaxNameLength, kMaxNameLength + 1,
                          kMaxNameLength + 2}) {
        std::string token = gen.longToken(length);
        std::vector<std::string> files = {
            head + " " + token + "\n" + tail,                              // stray token
            head + "<leaf>\n " + token + " b value=\"x\"\n a b value=\"\"\n a b value=\"\"\n" +
                "</leaf>\n</branch>\n",                                    // first word
            head + "<leaf>\n a b value=\"" + token + "\"\n a b value=\"\"\n a b value=\"\"\n" +
                "</leaf>\n</branch>\n",                                    // value
            head + "<leaf>\n a b value=\"" + token + "\n",                 // value never closed
        };
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& f = files[i];
            size_t start = head.size();
            std::vector<size_t> splits = sampledSplits(f.size(), gen.rng(), 10, 4);
            for (size_t s : around(start + 2, 4)) splits.push_back(s);
            for (size_t s : around(start + length, 6)) splits.push_back(s);
            expectSameEverywhere(dir, f, splits,
                                 "long " + std::to_string(length) + " file " + std::to_string(i));
        }
    }
}

TEST(ReaderEquivalence, LargeFileReadWithTheReadersOwnSplit) {
    // Large enough that readClassification may split it on its own.
    TempDir dir;
    FileGenerator gen(17);
    std::string f = "<?xml?>\n<branch>\n a b value=\"Big\"\n a b value=\"\"\n a b value=\"Kingdom\"\n";
    while (f.size() < (size_t{9} << 19)) f += gen.subtree(64 * 1024);
    f += "</branch>\n";
    {
        Subject s(dir, f);
        ASSERT_EQ(s.expected().status, 1) << s.expected().errors;
    }
    expectSameEverywhere(dir, f, {f.size() / 3, f.size() / 2 + 1, f.size() - 100}, "large file");
}

// A file that fills its last page exactly leaves no readable byte after its end: any read
// past it faults. Files one block either side of the page, ending in a token, a value or
// blanks.
TEST(ReaderEquivalence, FilesEndingOnAPageBoundary) {
    TempDir dir;
    FileGenerator gen(19);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t size : {page - 1, page, page + 1, 2 * page, 2 * page + 63}) {
        for (int ending = 0; ending < 4; ++ending) {
            std::string f;
            while (f.size() < size) f = gen.wellFormed(size);
            if (ending == 0) {  // cut anywhere: mid-token or mid-value
                f.resize(size);
            } else {
                // The whole file, then blanks (1), a token (2) or an open value (3) to fill it.
                f = gen.wellFormed(size / 2);
                if (f.size() > size) f.resize(size);
                if (ending == 2) f += std::string(size - f.size(), 'x');
                if (ending == 3) f += "<leaf> a b value=\"" + std::string(size, 'v');
                f.resize(size, ' ');
            }
            std::vector<size_t> splits{size / 2, size - 64, size - 9, size - 1};
            for (size_t s : tokenSplits(f))
                if (s + 200 > size) splits.push_back(s);
            expectSameEverywhere(dir, f, splits,
                                 "size " + std::to_string(size) + " ending " + std::to_string(ending));
        }
    }
}

// Many well-formed files split where the second thread's part is taken over, or just
// misses being taken over.
TEST(ReaderEquivalence, RandomFilesAtEveryTokenStart) {
    const RandomRun run(200, 20);
    const unsigned long seed = run.seed, cases = run.cases, only = run.only;
    TempDir dir;
    int failures = 0;
    for (unsigned long c = 0; c < cases && failures < 5; ++c) {
        if (only != ~0ul && c != only) continue;
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(c), 1u};
        std::mt19937 caseRng(seq);
        FileGenerator gen(static_cast<uint32_t>(caseRng()));
        std::string f = gen.wellFormed(60 + gen.below(gen.chance(0.1) ? 3000 : 600));
        if (gen.chance(0.15)) gen.mutate(f);
        std::string label = "seed " + std::to_string(seed) + " token case " + std::to_string(c) +
                            " (rerun with CLADORAMA_EQUIV_SEED=" + std::to_string(seed) +
                            " CLADORAMA_EQUIV_CASE=" + std::to_string(c) +
                            " --gtest_filter=*TokenStart)";
        if (!expectSameEverywhere(dir, f, tokenSplits(f), label, failures == 0 ? 60 : 0))
            ++failures;
    }
}

TEST(ReaderEquivalence, RandomFilesAtEverySplit) {
    const RandomRun run(100, 15);
    const unsigned long seed = run.seed, cases = run.cases, only = run.only;
    TempDir dir;
    int failures = 0;
    unsigned long succeeded = 0, wellFormedCases = 0, read = 0;
    for (unsigned long c = 0; c < cases && failures < 5; ++c) {
        if (only != ~0ul && c != only) continue;
        std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(c)};
        std::mt19937 caseRng(seq);
        FileGenerator gen(static_cast<uint32_t>(caseRng()));
        std::string f;
        std::string kind;
        size_t pick = gen.below(100);
        size_t budget = gen.chance(0.05) ? 1500 + gen.below(5000) : 40 + gen.below(500);
        if (pick < 50) {
            kind = "well-formed";
            f = gen.wellFormed(budget);
            ++wellFormedCases;
        } else if (pick < 90) {
            kind = "broken";
            f = gen.broken(budget);
        } else if (pick < 93) {
            kind = "junk";
            f = gen.junk(gen.below(1500));
        } else if (pick < 96) {
            kind = "over-long token";
            f = gen.wellFormed(budget);
            f.insert(gen.below(f.size() + 1), gen.longToken(kMaxNameLength - 2 + gen.below(5)));
        } else if (pick < 98) {
            kind = "deep nesting";
            f = gen.nested(4090 + static_cast<int>(gen.below(12)), gen.chance(0.7));
            if (gen.chance(0.5)) gen.mutate(f);
        } else {
            kind = "truncated";
            f = gen.wellFormed(budget);
            f.resize(gen.below(f.size() + 1));
        }
        std::vector<size_t> splits = f.size() <= 1200
                                         ? everySplit(f.size())
                                         : sampledSplits(f.size(), gen.rng(), 64, 48);
        read += splits.size() + 2;
        std::string label = "seed " + std::to_string(seed) + " case " + std::to_string(c) +
                            " (" + kind + "; rerun with CLADORAMA_EQUIV_SEED=" +
                            std::to_string(seed) + " CLADORAMA_EQUIV_CASE=" +
                            std::to_string(c) + " --gtest_filter=*EverySplit)";
        if (!expectSameEverywhere(dir, f, splits, label, failures == 0 ? 60 : 0)) ++failures;
        if (kind == "well-formed") {
            Subject s(dir, f);
            succeeded += s.expected().status == 1;
        }
    }
    // The generator must keep producing files the reference accepts, or the comparison
    // would only ever see failures.
    if (only == ~0ul && cases >= 50) {
        EXPECT_GT(succeeded * 2, wellFormedCases) << succeeded << " of " << wellFormedCases;
    }
    std::printf("%lu cases, %lu reads, %lu of %lu well-formed files accepted\n", cases, read,
                succeeded, wellFormedCases);
}

// Every byte classifier the processor has (the tests above use the widest) reads alike: the
// sample at every split, files ending around a page boundary, and random files, among them
// broken ones and ones with NUL bytes, at every token start.
TEST(ReaderEquivalence, EveryByteClassifierTheProcessorHas) {
    const ReaderSimd widest = readerSimd();
    const RandomRun run(40, 6);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    TempDir dir;
    for (ReaderSimd simd : {ReaderSimd::Baseline, ReaderSimd::Avx2, ReaderSimd::Avx512}) {
        if (!setReaderSimd(simd)) continue;
        ASSERT_EQ(simd, readerSimd());
        const std::string name = readerSimdName(simd);
        const std::string f = sampleFile();
        expectSameEverywhere(dir, f, everySplit(f.size()), name + ": sample, every split");
        FileGenerator gen(23);
        for (size_t size : {page - 1, page, page + 63}) {
            std::string cut;
            while (cut.size() < size) cut = gen.wellFormed(size);
            cut.resize(size);
            expectSameEverywhere(dir, cut, {size / 2, size - 9},
                                 name + ": cut at " + std::to_string(size));
        }
        // A NUL in a short value, at each of the 64 places of a block.
        for (size_t k = 0; k < 64; ++k) {
            std::string file = "<branch>\n a b value=\"R\"\n a b value=\"\"\n a b value=\"O\"\n" +
                               std::string(k, ' ') + "<leaf>\n a b value=\"vvvvv";
            file += '\0';
            file += "vvvv\"\n a b value=\"\"\n a b value=\"\"\n</leaf>\n</branch>\n";
            expectSameEverywhere(dir, file, {file.size() / 2},
                                 name + ": NUL " + std::to_string(k) + " bytes further");
        }
        int failures = 0;
        for (unsigned long c = 0; c < run.cases && failures < 3; ++c) {
            std::string file = c % 3 == 2 ? gen.broken(40 + gen.below(800))
                                          : gen.wellFormed(60 + gen.below(1500));
            if (c % 4 == 1) gen.mutate(file);
            if (c % 5 == 3) file.insert(gen.below(file.size() + 1), 1, '\0');
            if (!expectSameEverywhere(dir, file, tokenSplits(file),
                                      name + ": random file " + std::to_string(c)))
                ++failures;
        }
    }
    setReaderSimd(widest);
}
