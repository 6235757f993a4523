// The main frame: menus, accelerators, the tool bar and the search bar above the view's
// OpenGL window, and the recent-file list.
#pragma once

#include <QMainWindow>
#include <QStringList>

class CCladoramaApp;
class CChangesPanel;
class CGLViewWindow;
class CSearchBar;
class CWelcomePage;
class QAction;
class QStackedWidget;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CCladoramaApp& app);
    ~CMainFrame() override;

    QToolBar* m_wndToolBar = nullptr;
    QToolBar* m_wndReBar = nullptr;  // the band holding the search bar, beside the tool bar
    CSearchBar* m_wndDlgBar = nullptr;

    // Tool bar, search bar and menus; false when any could not be made.
    bool OnCreate();
    // Places the view's window as the frame's client area.
    void SetViewWindow(CGLViewWindow* window);
    CGLViewWindow* ViewWindow() const { return m_viewWindow; }
    // The widget that holds the view's window in the client area.
    QWidget* ViewContainer() const { return m_viewContainer; }

    // The client area shows the trees, or, when none could be loaded, how to open two
    // checklists and the recent pairs.
    void ShowWelcome(bool welcome);
    bool WelcomeShown() const;
    CWelcomePage* WelcomePage() const { return m_welcome; }

    // A recent-file list entry chosen: a pair is compared again, a single file names the
    // document.
    void OnRecentFile(const QString& path);

    // Recent-file list (four entries, kept in the settings).
    void AddToRecentFileList(const QString& path);
    QStringList RecentFiles() const { return m_recentFiles; }

    // Saves the view's current picture by the file's suffix: .svg and .pdf as vectors,
    // anything else as a PNG file of exactly the frame's pixels; false (after a message
    // box) when it could not be written.
    bool ExportPicture(const QString& path);

    QAction* m_actOpen = nullptr;
    QAction* m_actExport = nullptr;
    QAction* m_actHome = nullptr;
    QAction* m_actZoomLink = nullptr;
    QAction* m_actConsole = nullptr;
    QAction* m_actToolbar = nullptr;
    QAction* m_actAbout = nullptr;
    QAction* m_actExit = nullptr;
    QAction* m_actChanges = nullptr;        // View > Changes: shows or hides the panel
    QAction* m_actShowChanges = nullptr;    // View > Show Changes: the changes layer
    QAction* m_actExportChanges = nullptr;  // File > Export Changes
    QAction* m_actExportReport = nullptr;   // File > Export Report: once the changes are found
    // The two files of the pair shown, as opened; empty for the tree files of the folder.
    QStringList m_pairFiles;
    // The menu entries that need the changes follow where they stand.
    void ChangesUpdated();
    CChangesPanel* m_changesPanel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // The view's keys, wherever the keyboard focus is in this window, except in the search
    // text box, where they are typed.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildMenus();
    void BuildAccelerators();
    void RebuildRecentFileMenu();
    void LoadRecentFileList();
    void SaveRecentFileList() const;
    void OnFileSave();
    void OnExportPicture();
    // One of the view's keys (D, F, H, L, T, U without Ctrl, Alt or Meta): true when the
    // view took it.
    bool OnViewKey(const QKeyEvent& e);

    CCladoramaApp& m_app;
    CGLViewWindow* m_viewWindow = nullptr;
    QWidget* m_viewContainer = nullptr;
    QStackedWidget* m_client = nullptr;
    CWelcomePage* m_welcome = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    QAction* m_recentEnd = nullptr;
    QList<QAction*> m_recentActions;
    QStringList m_recentFiles;
};
