// NEXUS files: the blocks passed over up to TREES, whose TRANSLATE table and first TREE are
// read; the tree itself is Newick.
#include <string>

#include "NameCleaning.h"
#include "Newick.h"

namespace imp {

namespace {

// The words of a NEXUS text: blanks and [comments] between them, '=', ';' and ',' words of
// their own, quoted words with '' for a quote.
class NexusWords {
public:
    NexusWords(std::string_view text, const std::string& label) : m_text(text), m_label(label) {}

    // The next word into `word` (empty at the end); false with `fault` set on a comment or
    // quote never closed.
    bool next(std::string& word, bool& quoted) {
        word.clear();
        quoted = false;
        if (!skipBlanks()) return false;
        if (m_at >= m_text.size()) return true;
        const char c = m_text[m_at];
        if (c == '=' || c == ';' || c == ',') {
            word.push_back(c);
            ++m_at;
            return true;
        }
        if (c == '\'') {
            quoted = true;
            const size_t line = m_line;
            ++m_at;
            for (;;) {
                if (m_at >= m_text.size()) {
                    m_fault = FileResult::failed(m_label, linePlace(line),
                                                 "a quoted word never closed");
                    return false;
                }
                const char d = m_text[m_at++];
                if (d == '\n') ++m_line;
                if (d == '\'') {
                    if (m_at < m_text.size() && m_text[m_at] == '\'') {
                        word.push_back('\'');
                        ++m_at;
                        continue;
                    }
                    return true;
                }
                word.push_back(d);
            }
        }
        while (m_at < m_text.size()) {
            const char d = m_text[m_at];
            if (static_cast<unsigned char>(d) <= ' ' || d == '=' || d == ';' || d == ',' ||
                d == '[' || d == '\'')
                break;
            word.push_back(d);
            ++m_at;
        }
        return true;
    }

    // Past the next ';' (a command passed over).
    bool skipCommand() {
        std::string word;
        bool quoted = false;
        for (;;) {
            if (!next(word, quoted)) return false;
            if (word.empty() || (word == ";" && !quoted)) return true;
        }
    }

    bool skipBlanks() {
        size_t opened = 0;
        if (skipBlanksAndComments(m_text, m_at, m_line, opened)) return true;
        m_fault = FileResult::failed(m_label, linePlace(opened), "a comment '[' never closed");
        return false;
    }

    size_t at() const { return m_at; }
    size_t line() const { return m_line; }
    const FileResult& fault() const { return m_fault; }

private:
    std::string_view m_text;
    const std::string& m_label;
    size_t m_at = 0;
    size_t m_line = 1;
    FileResult m_fault;
};

bool is(const std::string& word, bool quoted, std::string_view keyword) {
    return !quoted && equalsIgnoreCase(word, keyword);
}

}  // namespace

bool looksLikeNexus(const char* data, size_t size) {
    std::string_view head(data, std::min<size_t>(size, 512));
    if (head.find('\0') != std::string_view::npos) return false;
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    const size_t start = head.find_first_not_of(" \t\r\n");
    return start != std::string_view::npos && head.size() - start >= 6 &&
           equalsIgnoreCase(head.substr(start, 6), "#NEXUS");
}

FileResult readNexus(ClassificationTree& tree, std::string_view text, const std::string& label) {
    if (!looksLikeNexus(text.data(), text.size()))
        return FileResult::failed(label, linePlace(1), "no #NEXUS at the start");
    NexusWords words(text, label);
    std::string word;
    bool quoted = false;
    auto next = [&] { return words.next(word, quoted); };
    if (!next()) return words.fault();  // #NEXUS, a command of its own without a ';'
    bool inTrees = false;
    Translation translate;
    for (;;) {
        if (!next()) return words.fault();
        if (word.empty()) break;
        if (word == ";" && !quoted) continue;
        if (is(word, quoted, "begin")) {
            if (!next()) return words.fault();
            inTrees = is(word, quoted, "trees");
            if (!words.skipCommand()) return words.fault();
            continue;
        }
        if (is(word, quoted, "end") || is(word, quoted, "endblock")) {
            inTrees = false;
            if (!words.skipCommand()) return words.fault();
            continue;
        }
        if (!inTrees) {
            if (!words.skipCommand()) return words.fault();
            continue;
        }
        if (is(word, quoted, "translate")) {
            // token name, token name, ... ;
            for (;;) {
                std::string token, name;
                if (!next()) return words.fault();
                if (word == ";" && !quoted) break;
                if (word.empty())
                    return FileResult::failed(label, linePlace(words.line()),
                                              "the TRANSLATE table never ends (a ';' missing)");
                token = word;
                if (!next()) return words.fault();
                if (word.empty() || ((word == "," || word == ";") && !quoted))
                    return FileResult::failed(label, linePlace(words.line()),
                                              "TRANSLATE: no name for the token " + token);
                name = word;
                // An unquoted name's underscores are blanks, as in the tree.
                if (!quoted)
                    for (char& c : name)
                        if (c == '_') c = ' ';
                translate.insert_or_assign(token, name);
                if (!next()) return words.fault();
                if (word == ";" && !quoted) break;
                if (word != "," || quoted)
                    return FileResult::failed(
                        label, linePlace(words.line()),
                        "TRANSLATE: a ',' expected after the name of " + token);
            }
            continue;
        }
        if (is(word, quoted, "tree") || is(word, quoted, "utree")) {
            // TREE [*] name = [&R] (...);
            for (;;) {
                if (!next()) return words.fault();
                if (word.empty() || (word == ";" && !quoted))
                    return FileResult::failed(label, linePlace(words.line()),
                                              "a TREE command without '='");
                if (word == "=" && !quoted) break;
            }
            return readNewickAt(tree, text, words.at(), words.line(),
                                translate.empty() ? nullptr : &translate, label);
        }
        if (!words.skipCommand()) return words.fault();
    }
    return FileResult::failed(label, {}, "no TREE in a TREES block");
}

}  // namespace imp
