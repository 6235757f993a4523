#include "CladoramaApp.h"

#include <GL/freeglut.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

#include "AboutDlg.h"
#include "ChangesPanel.h"
#include "ConsoleWindow.h"
#include "GLViewWindow.h"
#include "Icons.h"
#include "Import.h"
#include "MainFrame.h"
#include "NodeListDlgQt.h"
#include "SearchBar.h"

const char kCommandLineUsage[] =
    "usage: cladorama [FILE1 [FILE2]] [--keep-levels] [--common-name COLUMN]\n"
    "                 [--root NAME|TAXID] [--console | --no-console]\n"
    "  Without files, loads T1.jm2 and T2.jm2 from the current folder; where there are\n"
    "  none, the window says how to open two checklists. With one file, asks for the\n"
    "  file to compare it with. With two files,\n"
    "  compares them instead: tag-format classification files (.xml), tree files (.jm2),\n"
    "  CSV or TSV tables with one column per rank, Darwin Core Archives, Catalogue of\n"
    "  Life Data Packages (a zip or a folder), NCBI taxdumps (a folder, its nodes.dmp,\n"
    "  taxdump.tar.gz or a zip), Open Tree taxonomies (a folder, its taxonomy.tsv or the\n"
    "  .tgz); the two need not be of one kind. --root shows only the subtree of the taxon\n"
    "  of that name or identifier of a taxdump or an Open Tree taxonomy. Two\n"
    "  imported checklists are compared on the ranks both use; --keep-levels keeps every\n"
    "  level; --common-name takes the common names of tables from the column of that\n"
    "  header. Progress lines go to standard output; without a terminal there (started\n"
    "  from a launcher) also to a console window of the viewer's own, where key F asks\n"
    "  for its name. --console opens that window anyway, --no-console never.\n"
    "  CLADORAMA_SCREENSHOT=PICTURE.png saves a picture of the window and exits; messages\n"
    "  go to standard error instead of boxes. Exit status 1 when the files could not be\n"
    "  read (the picture is still written), 2 when the picture could not be written.\n";

void InitGlutOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    static int argc = 1;
    static char name[] = "cladorama";
    static char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
}

CCladoramaApp::CCladoramaApp() = default;

namespace {

// Trees whose nodes are left to the end of the process. Reachable from here, so the leak
// checker does not count them.
std::vector<std::unique_ptr<ClassificationTree>>& treesLeftToExit() {
    static auto* trees = new std::vector<std::unique_ptr<ClassificationTree>>;
    return *trees;
}

// Takes the hierarchies out of the document without freeing them: millions of nodes,
// names and children arrays freed one by one cost far longer than the end of the process,
// which returns their memory at once.
void leaveTreesToExit(CCladoramaDoc& doc) {
    for (ClassificationTree* tree : {&doc.m_tree1, &doc.m_tree2}) {
        auto kept = std::make_unique<ClassificationTree>();
        kept->swapContents(*tree);
        treesLeftToExit().push_back(std::move(kept));
    }
}

}  // namespace

CCladoramaApp::~CCladoramaApp() {
    // The worker tells the frame when it is done: it stops before the frame goes.
    if (m_pDoc) m_pDoc->StopFindingChanges();
    m_console.reset();  // the console stops writing to it first
    // The frame owns the view's window; the view must not keep it once it is gone.
    m_pMainWnd.reset();
    m_view.OnShowWindow(false, nullptr, nullptr);
    if (m_pDoc) m_pDoc->m_pSearchBar = nullptr;
}

bool CCladoramaApp::InitInstance(const QStringList& arguments, bool loadHierarchies) {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setWindowIcon(AppIcon());
    InitGlutOnce();

    // The document, then the frame with its bars, then the view bound to the document.
    m_pDoc = std::make_unique<CCladoramaDoc>(this);
    m_pMainWnd = std::make_unique<CMainFrame>(*this);
    if (!m_pMainWnd->OnCreate()) return false;
    if (m_view.OnCreate(m_pDoc.get()) != 0) return false;
    m_viewWindow = new CGLViewWindow(m_view);
    m_pMainWnd->SetViewWindow(m_viewWindow);
    // The changes of a pair just loaded are found once its first frame is on screen: the
    // picture waits for nothing it does not draw.
    QObject::connect(m_viewWindow, &CGLViewWindow::frameShown, m_pMainWnd.get(),
                     [this] { m_pDoc->StartFindingChanges(); });
    if (!m_pDoc->OnNewDocument()) return false;

    // Two files named on the command line are compared instead of the start-up pair; one
    // is opened the framework's way: it names the document and reads nothing.
    QStringList files;
    bool keepLevels = false;
    // Started without a terminal (from a launcher), the viewer shows its console lines in
    // a window of its own; the options ask for one, or for none, whatever the start.
    bool consoleWindow = !isatty(STDOUT_FILENO);
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--keep-levels")) keepLevels = true;
        else if (arguments[i] == QStringLiteral("--common-name") && i + 1 < arguments.size())
            m_pDoc->m_importOptions.commonNameColumn = arguments[++i].toLatin1().toStdString();
        else if (arguments[i] == QStringLiteral("--root") && i + 1 < arguments.size())
            m_pDoc->m_importOptions.root = arguments[++i].toLatin1().toStdString();
        else if (arguments[i] == QStringLiteral("--console")) consoleWindow = true;
        else if (arguments[i] == QStringLiteral("--no-console")) consoleWindow = false;
        else files << arguments[i];
    }
    if (files.size() > 2) {
        std::fputs(kCommandLineUsage, stderr);
        return false;
    }
    m_pDoc->m_alignRanks = !keepLevels;
    if (files.size() == 1) {
        const QString path = files[0];
        if (!QFileInfo(path).isReadable()) {
            MessageBox(("Cannot open " + path.toStdString() + ".").c_str());
            return false;
        }
        m_pDoc->SetTitle(QFileInfo(path).fileName().toLocal8Bit().constData());
        m_pMainWnd->AddToRecentFileList(path);
        // One checklist is half a comparison: the other is asked for once the window is
        // up (a file manager's "Open with" passes only the file chosen there).
        if (loadHierarchies) {
            const std::string first = path.toLocal8Bit().toStdString();
            QTimer::singleShot(0, m_pMainWnd.get(), [this, first] { AskForSecondFile(first); });
        }
    }
    m_pMainWnd->resize(1000, 800);
    m_pMainWnd->show();
    m_view.OnUpdate();

    // Progress lines must reach whoever watches at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (consoleWindow) {
        ShowConsole();
        // Mapped before the pipeline runs, so that its lines can be drawn as they come.
        QElapsedTimer mapped;
        mapped.start();
        while (!m_console->isVisible() && mapped.elapsed() < 3000) QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    if (loadHierarchies && files.size() == 2) {
        // A file that cannot be read is named in a message box; the viewer still opens,
        // without trees, as after a failed start-up.
        const std::string a = files[0].toLocal8Bit().toStdString();
        const std::string b = files[1].toLocal8Bit().toStdString();
        if (m_pDoc->ReloadTrees(a, b)) PairOpened(a, b);
        else m_loadFailed = true;
    } else if (loadHierarchies && files.isEmpty()) {
        m_loadFailed = !m_pDoc->LoadHierarchiesIn<kStartupLoadMode>();
    }
    // Without trees (no tree files here, a file that could not be read) the window says
    // how to open two checklists instead of staying black.
    if (loadHierarchies && files.size() != 1) ShowTreesOrWelcome();

    // Show, and paint at once: wait (briefly) until the window system has mapped the
    // view's window, so that the first frame is not drawn into nothing.
    m_pMainWnd->show();
    QElapsedTimer waited;
    waited.start();
    while (!m_pMainWnd->WelcomeShown() && !m_viewWindow->isExposed() && waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!m_viewWindow->isExposed()) QThread::msleep(5);
    }
    m_view.OnDraw();
    return true;
}

int CCladoramaApp::ExitInstance() {
    // The event loop is over and the process ends next. What must outlive it was saved
    // when it changed (the recent-file list also as the frame closed), and the document,
    // frame and view are still destroyed as usual; only the trees go with the process.
    // A frame drawn after this would find no trees loaded and draw none. The changes being
    // found read the trees: they are called off first.
    if (m_pDoc) {
        m_pDoc->StopFindingChanges();
        leaveTreesToExit(*m_pDoc);
    }
    return 0;
}

void CCladoramaApp::ShowConsole() {
    if (!m_console) {
        m_console = std::make_unique<CConsoleWindow>(m_pMainWnd.get());
        m_console->Attach();
        // Beside the main window, where a window manager would not place it itself.
        if (m_pMainWnd) {
            QPoint at = m_pMainWnd->frameGeometry().topRight() + QPoint(8, 0);
            if (const QScreen* screen = m_pMainWnd->screen()) {
                const QRect room = screen->availableGeometry();
                at.setX(std::min(at.x(), room.right() - m_console->width()));
                at.setX(std::max(at.x(), room.left()));
            }
            m_console->move(at);
        }
    }
    m_console->show();
    m_console->raise();
}

void CCladoramaApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void CCladoramaApp::OnFileNew() {
    // A new document in a single-document program is the same document renamed: the
    // loaded trees stay.
    m_pDoc->OnNewDocument();
}

void CCladoramaApp::UpdateAllViews() {
    m_view.OnUpdate();
    if (m_pMainWnd && m_pMainWnd->m_changesPanel) m_pMainWnd->m_changesPanel->Refresh();
    if (m_pMainWnd) m_pMainWnd->ChangesUpdated();
    // A load that succeeded replaces the welcome with the trees.
    if (m_pMainWnd && m_view.TreesLoaded()) m_pMainWnd->ShowWelcome(false);
}

void CCladoramaApp::ShowTreesOrWelcome() {
    if (m_pMainWnd) m_pMainWnd->ShowWelcome(!m_view.TreesLoaded());
}

void CCladoramaApp::AskForSecondFile(const std::string& first) {
    const QString name = QFileInfo(QString::fromLocal8Bit(first.c_str())).fileName();
    std::string second;
    if (m_unattended) {
        MessageBox(("Only one file was given (" + name.toStdString() +
                    "): name two files to compare them.").c_str());
    } else if (PromptForFile(second, QStringLiteral("Compare %1 with").arg(name))) {
        if (m_pDoc->ReloadTrees(first, second)) {
            PairOpened(first, second);
            ShowTreesOrWelcome();
            return;
        }
    }
    m_loadFailed = true;
    ShowTreesOrWelcome();
}

void CCladoramaApp::MessageBox(const char* text) {
    if (m_unattended) {
        // Nobody is there to press OK: the text goes where a script can read it.
        std::fprintf(stderr, "%s\n", text);
        std::fflush(stderr);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationName),
                    QString::fromLatin1(text), QMessageBox::Ok, m_pMainWnd.get());
    box.exec();
}

bool CCladoramaApp::PromptForFile(std::string& path) { return PromptForFile(path, QString()); }

bool CCladoramaApp::PromptForFile(std::string& path, const QString& caption) {
    if (m_unattended) return false;
    QFileDialog dlg(m_pMainWnd.get());
    if (!caption.isEmpty()) dlg.setWindowTitle(caption);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    dlg.setNameFilters({QStringLiteral("Checklists (*.jm2 *.xml *.csv *.tsv *.txt *.zip *.dmp *.tar.gz *.tgz *.gz "
                                       "*.nwk *.newick *.tree *.tre *.nex)"),
                        QStringLiteral("Tree files (*.jm2)"),
                        QStringLiteral("Classification files (*.xml)"),
                        QStringLiteral("Tables (*.csv *.tsv *.txt)"),
                        QStringLiteral("Darwin Core Archives and Catalogue of Life Data Packages (*.zip)"),
                        QStringLiteral("Catalogue of Life Data Package folders (NameUsage.tsv)"),
                        QStringLiteral("NCBI taxdumps (nodes.dmp *.tar.gz *.zip)"),
                        QStringLiteral("Open Tree taxonomies (taxonomy.tsv *.tgz)"),
                        QStringLiteral("Lineage tables (*.tsv *.tsv.gz *.txt)"),
                        QStringLiteral("Newick and NEXUS trees (*.nwk *.newick *.tree *.tre *.nex)"),
                        QStringLiteral("All files (*)")});
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    // A package folder is chosen by its NameUsage.tsv.
    QString chosen = dlg.selectedFiles().first();
    if (QFileInfo(chosen).fileName().compare(QStringLiteral("NameUsage.tsv"), Qt::CaseInsensitive) == 0)
        chosen = QFileInfo(chosen).absolutePath();
    path = chosen.toLocal8Bit().toStdString();
    // GTDB publishes a release as two files, bacteria and archaea: with the other beside
    // the one chosen, the two can be read as the one classification they are.
    if (const std::string other = gtdbOtherDomain(path); !other.empty()) {
        const QString otherName = QFileInfo(QString::fromLocal8Bit(other.c_str())).fileName();
        const auto answer = QMessageBox::question(
            m_pMainWnd.get(), QString::fromLatin1(kApplicationName),
            QStringLiteral("%1, the other domain of this GTDB release, lies beside it.\n"
                           "Read both as one classification?")
                .arg(otherName),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::Yes)
            path = QFileInfo(chosen).absolutePath().toLocal8Bit().toStdString();
    }
    return true;
}

bool CCladoramaApp::PromptForRoot(const std::string& path, std::string& root) {
    root.clear();
    if (m_unattended) return true;
    const QString name = QFileInfo(QString::fromLocal8Bit(path.c_str())).fileName();
    bool ok = false;
    const QString text = QInputDialog::getText(
        m_pMainWnd.get(), QStringLiteral("Subtree of %1").arg(name),
        QStringLiteral("Show the subtree of the taxon (a name or an identifier);\n"
                       "leave empty for the whole tree:"),
        QLineEdit::Normal, QString(), &ok);
    if (!ok) return false;
    // Names are compared as the readers keep them, in ISO-8859-1.
    root = text.trimmed().toLatin1().toStdString();
    return true;
}

void CCladoramaApp::SetSliderRange(int minimum, int maximum) {
    if (m_pMainWnd && m_pMainWnd->m_wndDlgBar)
        m_pMainWnd->m_wndDlgBar->SetSliderRange(minimum, maximum);
}

std::unique_ptr<CNodeListDlg> CCladoramaApp::NewNodeListDlg() {
    return std::make_unique<CQtNodeListDlg>(m_pMainWnd.get());
}

void CCladoramaApp::TreesReplaced() {
    m_view.OnTreesReplaced();
    // The rows went with the old trees.
    if (m_pMainWnd && m_pMainWnd->m_changesPanel) m_pMainWnd->m_changesPanel->Refresh();
    if (m_pMainWnd) m_pMainWnd->ChangesUpdated();
}

void CCladoramaApp::PairOpened(const std::string& path1, const std::string& path2) {
    if (m_pMainWnd) m_pMainWnd->m_pairFiles = {QString::fromLocal8Bit(path1.c_str()),
                                               QString::fromLocal8Bit(path2.c_str())};
    if (m_pMainWnd)
        m_pMainWnd->AddToRecentFileList(QString::fromLocal8Bit(path1.c_str()) + QLatin1Char('\n') +
                                        QString::fromLocal8Bit(path2.c_str()));
}

void CCladoramaApp::TitleChanged(const char* title) {
    if (!m_pMainWnd) return;
    m_pMainWnd->setWindowTitle(QString::fromLocal8Bit(title) + QStringLiteral(" - ") +
                               QString::fromLatin1(kWindowTitle));
}

void CCladoramaApp::ChangesFound() {
    // On the worker: the document takes them on this thread, when its turn comes. Posted to
    // the frame, so that nothing is delivered once the frame is gone.
    if (m_pMainWnd)
        QMetaObject::invokeMethod(m_pMainWnd.get(), [this] { m_pDoc->CollectChanges(); },
                                  Qt::QueuedConnection);
}

void CCladoramaApp::ChangesUpdated() {
    if (m_pMainWnd && m_pMainWnd->m_changesPanel) m_pMainWnd->m_changesPanel->Refresh();
    if (m_pMainWnd) m_pMainWnd->ChangesUpdated();
}

void CCladoramaApp::CheckZoomLinkButton(bool checked) {
    if (CSearchBar* bar = m_pDoc ? m_pDoc->m_pSearchBar : nullptr) bar->m_btnZoomLink->setChecked(checked);
}

void CCladoramaApp::CheckStyleButtons(int overviewStyle) {
    CSearchBar* bar = m_pDoc ? m_pDoc->m_pSearchBar : nullptr;
    if (!bar) return;
    // The two buttons are one exclusive group: checking one unchecks the other.
    (overviewStyle != 0 ? bar->m_btnBarStyle : bar->m_btnTreeStyle)->setChecked(true);
}

bool CCladoramaApp::SaveScreenshot(const QString& path) {
    if (!m_pMainWnd || !m_viewWindow) return false;
    // The frame's widgets grab themselves; the view's OpenGL picture is read back and
    // laid over its container.
    QImage shot = m_pMainWnd->grab().toImage();
    QWidget* container = m_pMainWnd->ViewContainer();
    const QImage frame =
        container && container->isVisible() ? m_viewWindow->CaptureFrame() : QImage();
    if (!frame.isNull()) {
        QPainter p(&shot);
        const QRect target(container->mapTo(m_pMainWnd.get(), QPoint(0, 0)), container->size());
        p.drawImage(target, frame);
    }
    return shot.save(path, "PNG");
}
