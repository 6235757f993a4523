// The split reading's tests: outcomes of readings (result, tree, console lines,
// diagnostic) and how two of them differ, and the subject file read at many splits.
// Included by one test file only; all of it is that file's own.
#pragma once

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

}  // namespace
