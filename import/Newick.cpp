// Newick text into a tree: the parentheses read into nodes first, in the order they open
// (a parent before its children), then the named nodes made into taxa under their nearest
// named ancestor.
#include "Newick.h"

#include <cstdint>
#include <vector>

#include "ClassificationReader.h"
#include "Console.h"
#include "NameShape.h"
#include "RankPrefixes.h"
#include "TreeBuilder.h"

namespace imp {

namespace {

constexpr uint32_t kNoNode = UINT32_MAX;

struct RawNode {
    uint32_t parent = kNoNode;
    size_t line = 0;
    bool inner = false;
    bool labelled = false;
    std::string label;
};

bool isDigitText(std::string_view s) {
    bool digit = false;
    for (char c : s) {
        if (c >= '0' && c <= '9') digit = true;
        else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') return false;
    }
    return digit;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// The parentheses of one tree, read into RawNodes.
class NewickParser {
public:
    NewickParser(std::string_view text, size_t from, size_t line, const std::string& label)
        : m_text(text), m_at(from), m_line(line), m_label(label) {}

    FileResult parse(std::vector<RawNode>& nodes) {
        std::vector<uint32_t> open;  // the inner nodes whose ')' is still to come
        uint32_t last = kNoNode;     // the node a label or length would belong to
        bool rootDone = false;
        for (;;) {
            if (FileResult r = skipBlanks(); !r) return r;
            if (m_at >= m_text.size()) break;
            const char c = m_text[m_at];
            if (c == ';') {
                ++m_at;
                break;
            }
            if (c == '(') {
                if (rootDone) return fail(m_line, "text after the tree's root (a ';' missing?)");
                ++m_at;
                RawNode n;
                n.parent = open.empty() ? kNoNode : open.back();
                n.line = m_line;
                n.inner = true;
                open.push_back(static_cast<uint32_t>(nodes.size()));
                nodes.push_back(std::move(n));
                last = kNoNode;
            } else if (c == ',') {
                ++m_at;
                if (open.empty()) return fail(m_line, "a ',' outside the parentheses");
                last = kNoNode;
            } else if (c == ')') {
                ++m_at;
                if (open.empty())
                    return fail(m_line, "a ')' closes no '(' (unbalanced parentheses)");
                last = open.back();
                open.pop_back();
                rootDone = open.empty();
            } else if (c == ':') {
                ++m_at;
                skipLength();
            } else {
                const size_t line = m_line;
                std::string text;
                if (FileResult r = label(text); !r) return r;
                if (last == kNoNode) {
                    if (rootDone)
                        return fail(line, "text after the tree's root (a ';' missing?)");
                    RawNode n;
                    n.parent = open.empty() ? kNoNode : open.back();
                    last = static_cast<uint32_t>(nodes.size());
                    nodes.push_back(std::move(n));
                    rootDone = open.empty();
                }
                RawNode& n = nodes[last];
                if (n.labelled) return fail(line, "a second label for one node: \"" + text + "\"");
                n.labelled = true;
                n.line = line;
                n.label = std::move(text);
            }
        }
        if (!open.empty())
            return fail(m_line, std::to_string(open.size()) +
                                    " '(' never closed (unbalanced parentheses)");
        if (nodes.empty()) return fail(m_line, "no tree found");
        return {};
    }

private:
    FileResult fail(size_t line, std::string fault) const {
        return FileResult::failed(m_label, linePlace(line), std::move(fault));
    }

    // Blanks and [comments].
    FileResult skipBlanks() {
        size_t opened = 0;
        if (!skipBlanksAndComments(m_text, m_at, m_line, opened))
            return fail(opened, "a comment '[' never closed");
        return {};
    }

    static bool endsUnquoted(char c) {
        return c == '(' || c == ')' || c == ',' || c == ':' || c == ';' || c == '[' ||
               c == '\n' || c == '\r' || c == '\'';
    }

    // A quoted or unquoted label; its quoted pieces and the text between them are one.
    // Underscores of the quoted pieces stay; of the others, they are blanks.
    FileResult label(std::string& text) {
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '\'' || c == '"') {
                const size_t line = m_line;
                ++m_at;
                for (;;) {
                    if (m_at >= m_text.size()) return fail(line, "a quoted label never closed");
                    const char d = m_text[m_at++];
                    if (d == '\n') ++m_line;
                    if (d == c) {
                        if (m_at < m_text.size() && m_text[m_at] == c) {
                            text.push_back(c);  // '' stands for '
                            ++m_at;
                            continue;
                        }
                        break;
                    }
                    text.push_back(d);
                }
                continue;
            }
            if (endsUnquoted(c)) break;
            // An underscore of an unquoted label is a blank, but for a rank prefix's two.
            text.push_back(c == '_' && !inPrefix(text) ? ' ' : c);
            ++m_at;
        }
        text = std::string(trimmed(text));
        return {};
    }

    // The underscore at m_at is one of a rank prefix's two ("p__", also after a ';').
    bool inPrefix(const std::string& text) const {
        const size_t start = text.find_last_of(";:") + 1;  // npos + 1 == 0
        std::string_view level = trimmed(std::string_view(text).substr(start));
        const bool letter = !level.empty() && level[0] >= 'a' && level[0] <= 'z';
        if (level.size() == 1)
            return letter && m_at + 1 < m_text.size() && m_text[m_at + 1] == '_';
        return level.size() == 2 && letter && level[1] == '_';
    }

    // A branch length, its value passed over.
    void skipLength() {
        while (m_at < m_text.size() && static_cast<unsigned char>(m_text[m_at]) <= ' ') {
            if (m_text[m_at] == '\n') ++m_line;
            ++m_at;
        }
        while (m_at < m_text.size() && !endsUnquoted(m_text[m_at]) &&
               static_cast<unsigned char>(m_text[m_at]) > ' ')
            ++m_at;
    }

    std::string_view m_text;
    size_t m_at;
    size_t m_line;
    const std::string& m_label;
};

// What a node's label names: levels of (name, rank); a support value before a colon and
// GTDB's notes after a '|' say nothing of it.
struct Level {
    std::string name;
    const RankInfo* rank = nullptr;  // null: no prefix
};
bool levelsOf(const RawNode& n, const Translation* translate, std::vector<Level>& levels,
              std::string& fault) {
    levels.clear();
    std::string_view text = n.label;
    // The table names the taxa of the leaves; an inner node's number is its support.
    if (translate && !n.inner) {
        auto found = translate->find(n.label);
        if (found != translate->end()) text = found->second;
    }
    text = text.substr(0, text.find('|'));
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos && isDigitText(trimmed(text.substr(0, colon))))
        text = text.substr(colon + 1);
    text = trimmed(text);
    if (text.empty() || isDigitText(text)) return true;
    const RankInfo* last = nullptr;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find(';', from);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = trimmed(text.substr(from, end - from));
        from = end + 1;
        const RankPrefix* prefix = rankPrefix(prefixLetter(piece));
        if (prefix) {
            if (last && prefix->rank.order <= last->order) {
                fault = "ranks out of order in the label \"" + std::string(text) + "\"";
                return false;
            }
            last = &prefix->rank;
            piece = trimmed(piece.substr(3));
        }
        Level level;
        cleanName(piece, level.name);
        if (isPlaceholder(level.name)) continue;
        level.rank = prefix ? &prefix->rank : nullptr;
        levels.push_back(std::move(level));
    }
    return true;
}

}  // namespace

bool skipBlanksAndComments(std::string_view text, size_t& at, size_t& line, size_t& opened) {
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\n') ++line;
        if (static_cast<unsigned char>(c) <= ' ') {
            ++at;
            continue;
        }
        if (c != '[') break;
        opened = line;
        int depth = 0;
        for (;;) {
            if (at >= text.size()) return false;
            const char d = text[at++];
            if (d == '\n') ++line;
            if (d == '[') ++depth;
            if (d == ']' && --depth == 0) break;
        }
    }
    return true;
}

bool looksLikeNewick(const char* data, size_t size) {
    const std::string_view head(data, std::min<size_t>(size, 512));
    if (head.find('\0') != std::string_view::npos) return false;
    size_t at = 0;
    while (at < head.size()) {
        const char c = head[at];
        if (static_cast<unsigned char>(c) <= ' ') {
            ++at;
        } else if (c == '[') {
            const size_t end = head.find(']', at);
            if (end == std::string_view::npos) return false;
            at = end + 1;
        } else {
            return c == '(';
        }
    }
    return false;
}

FileResult readNewick(ClassificationTree& tree, std::string_view text, const std::string& label) {
    return readNewickAt(tree, text, 0, 1, nullptr, label);
}

FileResult readNewickAt(ClassificationTree& tree, std::string_view text, size_t from, size_t line,
                        const Translation* translate, const std::string& label) {
    std::vector<RawNode> nodes;
    if (FileResult r = NewickParser(text, from, line, label).parse(nodes); !r) return r;

    // The levels of every node, and whether the tree ranks its names by prefixes at all.
    std::vector<std::vector<Level>> levels(nodes.size());
    bool prefixed = false, innerNamed = false, innerSupport = false;
    std::string fault;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!levelsOf(nodes[i], translate, levels[i], fault))
            return FileResult::failed(label, linePlace(nodes[i].line), fault);
        for (const Level& l : levels[i]) prefixed |= l.rank != nullptr;
        if (nodes[i].inner) {
            innerNamed |= !levels[i].empty();
            innerSupport |= nodes[i].labelled && levels[i].empty();
        }
    }
    if (!innerNamed)
        return FileResult::failed(
            label, {},
            innerSupport ? "the inner nodes' labels are numbers only (support values), no names: "
                           "nothing to pair level by level"
                         : "no inner node of the tree has a name, only its leaves: nothing to "
                           "pair level by level");

    // Each node's taxon, or its nearest named ancestor's; parents come before children.
    TreeBuilder builder(nodes.size());
    std::vector<TreeNode*> taxon(nodes.size(), nullptr);
    std::vector<int32_t> depth(nodes.size(), 0);
    size_t specimens = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const RawNode& n = nodes[i];
        TreeNode* at = n.parent == kNoNode ? builder.top() : taxon[n.parent];
        int32_t d = n.parent == kNoNode ? 0 : depth[n.parent];
        // Among ranked taxa, a leaf that is neither ranked nor shaped as a species's name
        // is a genome's accession or a specimen ("GB_GCA_002254415.1", "UBA10117").
        bool taxonLike = false;
        for (const Level& l : levels[i]) taxonLike |= l.rank || !rankByShape(l.name).empty();
        if (prefixed && !n.inner && !taxonLike && !levels[i].empty()) {
            ++specimens;
            continue;
        }
        for (const Level& l : levels[i]) {
            // Without a prefix, a name's shape tells what it can.
            const std::string_view rank =
                l.rank ? std::string_view(l.rank->name) : rankByShape(l.name);
            if (++d >= kMaxClassificationDepth)
                return FileResult::failed(label, linePlace(n.line),
                                          "taxa nested deeper than " +
                                              std::to_string(kMaxClassificationDepth) + " levels");
            at = builder.child(at, l.name, rank);
        }
        taxon[i] = at;
        depth[i] = d;
    }
    if (builder.top()->children.empty()) return FileResult::failed(label, {}, "no taxa found");
    if (!builder.finish(tree, label, static_cast<int64_t>(text.size())))
        return FileResult::failed(label, {}, "no taxa found");
    if (specimens)
        consolePrintf("%s: %zu leaves without a rank prefix (genomes or specimens, not taxa) "
                      "left out\n",
                      label.c_str(), specimens);
    return {};
}

}  // namespace imp
