// The document's window services on the command line: message boxes become lines on
// standard error; there are no views, no dialogs to ask and no search bar.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "CladoramaDoc.h"
#include "Console.h"

class CliFramework : public DocFramework {
public:
    void UpdateAllViews() override {}
    void MessageBox(const char* text) override {
        // After the console lines that came before it, wherever they wait.
        std::fflush(consoleStream());
        std::fprintf(stderr, "%s\n", text);
        std::fflush(stderr);
    }
    bool PromptForFile(std::string&) override { return false; }
    void SetSliderRange(int, int) override {}
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override {
        return std::make_unique<CNodeListDlg>(nullptr);
    }
    // The document has written the failure's one line to standard error already.
    void ReadFailed(const std::string&, const Failure&) override {}
    void TreesReplaced() override {}
    void TitleChanged(const char*) override {}
};
