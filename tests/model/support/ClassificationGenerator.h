// The split reading's tests: classification files made at random, well formed or broken
// in the ways the reader must survive. Included by one test file only.
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
#include "ReaderOutcomes.h"

namespace {

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

}  // namespace
