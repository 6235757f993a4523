#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "Console.h"

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "cladorama-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    std::string p = file(name);
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

ConsoleCapture::ConsoleCapture() {
    m_stream = open_memstream(&m_buffer, &m_size);
    m_previous = consoleStream();
    setConsoleStream(m_stream);
}

ConsoleCapture::~ConsoleCapture() {
    setConsoleStream(m_previous == stdout ? nullptr : m_previous);
    std::fclose(m_stream);
    std::free(m_buffer);
}

std::string ConsoleCapture::text() {
    std::fflush(m_stream);
    return std::string(m_buffer, m_size);
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string sourcePath(const std::string& relative) {
    return std::string(CLADORAMA_SOURCE_DIR) + "/" + relative;
}

TreeNode* addNode(TreeNode* parent, const char* latin, const char* rank, const char* common) {
    auto* n = new TreeNode;
    n->latinName = newName(latin);
    n->commonName = newName(common);
    n->rankName = newName(rank);
    applyRankColor(*n);
    n->level = parent->level + 1;
    parent->addChild(n);
    return n;
}

void nameRoot(ClassificationTree& tree, const char* latin, const char* rank, const char* common) {
    tree.latinName = newName(latin);
    tree.commonName = newName(common);
    tree.rankName = newName(rank);
    applyRankColor(tree);
}

std::string childNames(const TreeNode* node) {
    std::string s;
    for (const TreeNode* c : node->children) {
        if (!s.empty()) s += ",";
        s += c->latinName;
    }
    return s;
}
