// A framework for the document that records every call in one log, so tests can check
// what the user would have seen and in which order.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CladoramaDoc.h"

class RecorderFramework : public DocFramework {
public:
    // Entries such as "update", "message:Tree Loaded!", "slider:0..12", "prompt",
    // "dialog:new", "dialog:create", "dialog:reset", "dialog:add:Felis", "dialog:title:...",
    // "dialog:show", "replaced", "title:Cladorama".
    std::vector<std::string> log;
    // Answers of the file-open dialog in order; an empty optional (or none left) cancels.
    std::deque<std::optional<std::string>> answers;
    // Answers of the subtree dialog that follows the file dialog of a taxonomy, in order
    // (logged "root:PATH"); none left: the whole tree.
    std::deque<std::string> roots;
    // Runs inside TreesReplaced(), while the old trees are still alive.
    std::function<void()> onTreesReplaced;

    void UpdateAllViews() override { log.push_back("update"); }
    void MessageBox(const char* text) override { log.push_back(std::string("message:") + text); }
    bool PromptForFile(std::string& path) override;
    bool PromptForRoot(const std::string& path, std::string& root) override {
        log.push_back("root:" + path);
        root = roots.empty() ? std::string() : roots.front();
        if (!roots.empty()) roots.pop_front();
        return true;
    }
    void SetSliderRange(int minimum, int maximum) override {
        log.push_back("slider:" + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override;
    void TreesReplaced() override {
        log.push_back("replaced");
        if (onTreesReplaced) onTreesReplaced();
    }
    void TitleChanged(const char* title) override { log.push_back(std::string("title:") + title); }
    // On the worker: only counted.
    void ChangesFound() override { ++changesFound; }
    void ChangesUpdated() override { log.push_back("changes"); }
    std::atomic<int> changesFound{0};

    // Log entries that start with `prefix`, in order.
    std::vector<std::string> entries(const std::string& prefix) const;
    // Position of the first entry equal to `entry`, or -1.
    int indexOf(const std::string& entry) const;
};

// A node list whose window actions land in the recorder's log.
class RecordingNodeListDlg : public CNodeListDlg {
public:
    explicit RecordingNodeListDlg(std::vector<std::string>& log) : m_log(log) {}
    bool Create() override {
        m_log.push_back("dialog:create");
        return CNodeListDlg::Create();
    }
    void ResetContent() override {
        CNodeListDlg::ResetContent();
        m_log.push_back("dialog:reset");
    }
    void AddString(const char* line) override {
        CNodeListDlg::AddString(line);
        m_log.push_back(std::string("dialog:add:") + line);
    }
    void SetWindowText(const char* title) override {
        CNodeListDlg::SetWindowText(title);
        m_log.push_back(std::string("dialog:title:") + title);
    }
    void ShowWindow() override {
        CNodeListDlg::ShowWindow();
        m_log.push_back("dialog:show");
    }

private:
    std::vector<std::string>& m_log;
};

// The tag-format text of one classification, built entry by entry.
class ClassificationText {
public:
    ClassificationText();
    ClassificationText& branch(const char* latin, const char* rank, const char* common = "");
    ClassificationText& leaf(const char* latin, const char* rank, const char* common = "");
    ClassificationText& end();  // closes the innermost open branch
    std::string str() const { return m_text; }

private:
    void values(const char* latin, const char* common, const char* rank);
    std::string m_text;
};

// Runs the test body in another current directory; the pipeline's file names are
// relative to it.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();

private:
    std::string m_previous;
};

// A stand-in for the main frame's search bar: the document only tests the pointer.
CSearchBar* fakeSearchBar();

