#include "RecorderFramework.h"

bool RecorderFramework::PromptForFile(std::string& path) {
    log.push_back("prompt");
    if (answers.empty()) return false;
    std::optional<std::string> a = answers.front();
    answers.pop_front();
    if (!a) return false;
    path = *a;
    return true;
}

std::unique_ptr<CNodeListDlg> RecorderFramework::NewNodeListDlg() {
    log.push_back("dialog:new");
    return std::make_unique<RecordingNodeListDlg>(log);
}

std::vector<std::string> RecorderFramework::entries(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& e : log)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

int RecorderFramework::indexOf(const std::string& entry) const {
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == entry) return static_cast<int>(i);
    return -1;
}

ClassificationText::ClassificationText() {
    m_text = "<?xml version=\"1.0\"?>\n<!-- test classification -->\n";
}

void ClassificationText::values(const char* latin, const char* common, const char* rank) {
    // Two ignored words, then eight skipped bytes (' value="'), the value, a quote.
    m_text += "  <name kind=\"latin\" value=\"" + std::string(latin) + "\"/>\n";
    m_text += "  <name kind=\"common\" value=\"" + std::string(common) + "\"/>\n";
    m_text += "  <name kind=\"rank\" value=\"" + std::string(rank) + "\"/>\n";
}

ClassificationText& ClassificationText::branch(const char* latin, const char* rank,
                                               const char* common) {
    m_text += "<branch>\n";
    values(latin, common, rank);
    return *this;
}

ClassificationText& ClassificationText::leaf(const char* latin, const char* rank,
                                             const char* common) {
    m_text += "<leaf>\n";
    values(latin, common, rank);
    m_text += "</leaf>\n";
    return *this;
}

ClassificationText& ClassificationText::end() {
    m_text += "</branch>\n";
    return *this;
}

#include <unistd.h>

#include <cstdlib>

ScopedCwd::ScopedCwd(const std::string& dir) {
    char buf[4096];
    if (!getcwd(buf, sizeof buf) || chdir(dir.c_str()) != 0) std::abort();
    m_previous = buf;
}

ScopedCwd::~ScopedCwd() {
    if (chdir(m_previous.c_str()) != 0) std::abort();
}

CSearchBar* fakeSearchBar() {
    static char stand_in;
    return reinterpret_cast<CSearchBar*>(&stand_in);
}

