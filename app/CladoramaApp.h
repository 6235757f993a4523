// The application: start-up in its fixed order (document, main frame with its bars, view,
// console, the load pipeline, first paint), and the window services the document uses.
#pragma once

#include <QStringList>
#include <memory>

#include "CladoramaDoc.h"
#include "CladoramaView.h"

class CConsoleWindow;
class CGLViewWindow;
class CMainFrame;
class QWidget;

// Settings live under this organisation and application name.
constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
constexpr const char* kApplicationName = "Cladorama";
constexpr const char* kWindowTitle = "Comparing Two Hierarchies";

// Calls glutInit once, with an argument list of its own; needs the display connection
// that the Qt application has opened (freeglut ends the process without one).
void InitGlutOnce();

// What `cladorama --help` prints.
extern const char kCommandLineUsage[];

class CCladoramaApp : public DocFramework {
public:
    CCladoramaApp();
    ~CCladoramaApp() override;

    // Start-up; false when the application is to end at once. `arguments` are the
    // program's (the first is the program name). With `loadHierarchies` false the
    // pipeline is left to the caller (tests fill the trees themselves).
    bool InitInstance(const QStringList& arguments, bool loadHierarchies = true);
    int ExitInstance();
    void OnAppAbout();
    void OnFileNew();

    // DocFramework
    void UpdateAllViews() override;
    void MessageBox(const char* text) override;
    bool PromptForFile(std::string& path) override;
    // The same dialog with a caption saying what the file is for.
    bool PromptForFile(std::string& path, const QString& caption);
    bool PromptForRoot(const std::string& path, std::string& root) override;
    void SetSliderRange(int minimum, int maximum) override;
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override;
    void TreesReplaced() override;
    void PairOpened(const std::string& path1, const std::string& path2) override;
    void TitleChanged(const char* title) override;
    void CheckZoomLinkButton(bool checked) override;
    void CheckStyleButtons(int overviewStyle) override;
    void ChangesFound() override;
    void ChangesUpdated() override;

    CCladoramaDoc* Document() { return m_pDoc.get(); }
    CCladoramaView& View() { return m_view; }
    CMainFrame* MainFrame() { return m_pMainWnd.get(); }
    CGLViewWindow* ViewWindow() { return m_viewWindow; }

    // The console window, when the viewer has one (started without a terminal, or asked
    // for with --console or View > Console); null otherwise.
    CConsoleWindow* ConsoleWindow() { return m_console.get(); }
    // View > Console: shows the console window, making it if there is none yet (it then
    // shows what is printed from then on).
    void ShowConsole();

    // Saves what the window shows (the frame with the view's last picture) as a PNG.
    bool SaveScreenshot(const QString& path);

    // Unattended (a picture is taken and nobody watches): message boxes become lines on
    // standard error and no dialog asks for anything. Set before InitInstance.
    void SetUnattended(bool unattended) { m_unattended = unattended; }
    // Whether the files the viewer was started on (named, or T1.jm2 and T2.jm2) could not
    // be read, or a second file was wanted and none was chosen.
    bool LoadFailed() const { return m_loadFailed; }

private:
    // Started on one file: asks for the one to compare it with and compares the two.
    void AskForSecondFile(const std::string& first);
    // The trees when there are any, else how to open two checklists.
    void ShowTreesOrWelcome();

    bool m_unattended = false;
    bool m_loadFailed = false;
    std::unique_ptr<CCladoramaDoc> m_pDoc;
    CCladoramaView m_view;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<CConsoleWindow> m_console;
    CGLViewWindow* m_viewWindow = nullptr;  // owned by the frame's window container
};
