#include "MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "ChangesPanel.h"
#include "CladoramaApp.h"
#include "FigureFile.h"
#include "GLViewWindow.h"
#include "Icons.h"
#include "ReportExport.h"
#include "SearchBar.h"
#include "WelcomePage.h"

namespace {

constexpr int kRecentFileCount = 4;

}  // namespace

CMainFrame::CMainFrame(CCladoramaApp& app) : m_app(app) {
    setWindowIcon(AppIcon());
    setWindowTitle(QStringLiteral("Cladorama - ") + QString::fromLatin1(kWindowTitle));
    LoadRecentFileList();
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::OnCreate() {
    m_wndToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_wndToolBar->setObjectName(QStringLiteral("toolBar"));
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    m_actOpen = new QAction(QIcon(OpenFolderBitmap()), QStringLiteral("&Open...\tCtrl+O"), this);
    m_actOpen->setToolTip(QStringLiteral("Open"));
    m_actOpen->setStatusTip(QStringLiteral("Open an existing document"));
    connect(m_actOpen, &QAction::triggered, this, [this] { m_app.Document()->OnFileOpen(); });

    m_actHome = new QAction(QIcon(HomeBitmap()), QStringLiteral("Home  H"), this);
    m_actHome->setToolTip(QStringLiteral("Go back to root"));
    m_actHome->setStatusTip(QStringLiteral("Go back to root"));
    connect(m_actHome, &QAction::triggered, this, [this] { m_app.View().OnHome(); });

    m_wndToolBar->addAction(m_actOpen);
    m_wndToolBar->addAction(m_actHome);
    // The menu item carries the text; the button shows only its picture.
    for (QAction* a : {m_actOpen, m_actHome}) {
        if (auto* b = qobject_cast<QToolButton*>(m_wndToolBar->widgetForAction(a)))
            b->setToolTip(a->toolTip());
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    m_wndDlgBar = new CSearchBar(this);
    m_wndReBar = new QToolBar(QStringLiteral("Search"), this);
    m_wndReBar->setObjectName(QStringLiteral("searchBand"));
    m_wndReBar->addWidget(m_wndDlgBar);
    addToolBar(Qt::TopToolBarArea, m_wndReBar);

    // Below the view until the user puts it elsewhere; where it was is restored.
    m_changesPanel = new CChangesPanel(*m_app.Document(), m_app.View(), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_changesPanel);
    m_changesPanel->hide();
    // Docked, the panel makes the view far from square: its discs are kept round then.
    auto roundDiscs = [this] {
        m_app.View().SetRoundDiscs(m_changesPanel->isVisible() && !m_changesPanel->isFloating());
    };
    connect(m_changesPanel, &QDockWidget::visibilityChanged, this, roundDiscs);
    connect(m_changesPanel, &QDockWidget::topLevelChanged, this, roundDiscs);
    // A line clicked in the picture selects its row.
    m_app.View().m_onChangeChosen = [this](uint32_t row) { m_changesPanel->SelectListRow(row); };

    BuildMenus();
    BuildAccelerators();
    restoreState(QSettings().value(QStringLiteral("Window/State")).toByteArray());
    return m_wndToolBar && m_wndDlgBar && m_wndReBar;
}

void CMainFrame::BuildMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->addAction(m_actOpen);
    m_actExport = m_fileMenu->addAction(QStringLiteral("&Export Picture...\tCtrl+E"));
    m_actExport->setStatusTip(QStringLiteral("Save the picture of both trees as PNG, SVG or PDF"));
    connect(m_actExport, &QAction::triggered, this, [this] { OnExportPicture(); });
    m_actExportChanges = m_fileMenu->addAction(QStringLiteral("Export C&hanges..."));
    m_actExportChanges->setStatusTip(QStringLiteral("Save the changes listed as CSV or TSV"));
    connect(m_actExportChanges, &QAction::triggered, m_changesPanel, &CChangesPanel::OnExport);
    m_actExportReport = m_fileMenu->addAction(QStringLiteral("Export &Report..."));
    m_actExportReport->setObjectName(QStringLiteral("exportReportAction"));
    m_actExportReport->setStatusTip(
        QStringLiteral("Save the comparison as one web page: counts, pictures and every change"));
    connect(m_actExportReport, &QAction::triggered, this, [this] {
        ExportReport(this, *m_app.Document(), m_app.View(), m_pairFiles);
    });
    ChangesUpdated();
    m_fileMenu->addSeparator();
    m_recentPlaceholder = m_fileMenu->addAction(QStringLiteral("Recent File"));
    m_recentPlaceholder->setEnabled(false);
    m_recentEnd = m_fileMenu->addSeparator();
    m_actExit = m_fileMenu->addAction(QStringLiteral("E&xit"));
    connect(m_actExit, &QAction::triggered, this, &QWidget::close);
    RebuildRecentFileMenu();

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(m_actHome);
    m_actZoomLink = view->addAction(QStringLiteral("Zoom Link"));
    connect(m_actZoomLink, &QAction::triggered, this, [this] { m_app.View().OnZoomLink(); });
    m_actConsole = view->addAction(QStringLiteral("Console"));
    m_actConsole->setStatusTip(QStringLiteral("Show the console lines"));
    connect(m_actConsole, &QAction::triggered, this, [this] { m_app.ShowConsole(); });
    m_actChanges = m_changesPanel->toggleViewAction();
    m_actChanges->setText(QStringLiteral("C&hanges"));
    m_actChanges->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    m_actChanges->setStatusTip(QStringLiteral("List the changes between the classifications"));
    view->addAction(m_actChanges);
    // The changes drawn into the picture; on or off as the user left it.
    m_actShowChanges = view->addAction(QStringLiteral("Show Chan&ges"));
    m_actShowChanges->setObjectName(QStringLiteral("showChangesAction"));
    m_actShowChanges->setCheckable(true);
    m_actShowChanges->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    m_actShowChanges->setShortcutContext(Qt::WindowShortcut);
    m_actShowChanges->setStatusTip(
        QStringLiteral("Draw the changes into the picture: partners linked, kinds in colour"));
    connect(m_actShowChanges, &QAction::toggled, this, [this](bool on) {
        QSettings().setValue(QStringLiteral("View/ShowChanges"), on);
        m_app.View().SetChangesShown(on);
        if (!on) QToolTip::hideText();
    });
    m_actShowChanges->setChecked(QSettings().value(QStringLiteral("View/ShowChanges"), false).toBool());
    m_app.View().SetChangesShown(m_actShowChanges->isChecked());
    view->addSeparator();
    m_actToolbar = view->addAction(QStringLiteral("&Toolbar"));
    m_actToolbar->setCheckable(true);
    m_actToolbar->setChecked(true);
    connect(m_actToolbar, &QAction::toggled, m_wndToolBar, &QWidget::setVisible);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, m_actToolbar, &QAction::setChecked);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_actAbout = help->addAction(QStringLiteral("&About Cladorama..."));
    connect(m_actAbout, &QAction::triggered, this, [this] { m_app.OnAppAbout(); });
}

void CMainFrame::BuildAccelerators() {
    // Of the accelerator table only File New, File Open and Save reach a handler, and
    // Export Picture takes Ctrl+E, which the table leaves free. The
    // editing accelerators (Ctrl+C, Ctrl+V, ...) have none, so they are not taken from
    // the search text box, where they keep their usual meaning.
    auto add = [this](const QKeySequence& keys, auto handler) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, handler);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_N), [this] { m_app.OnFileNew(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { m_app.Document()->OnFileOpen(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { OnFileSave(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_E), [this] { OnExportPicture(); });
}

void CMainFrame::SetViewWindow(CGLViewWindow* window) {
    m_viewWindow = window;
    QWidget* container = QWidget::createWindowContainer(window, this);
    container->setObjectName(QStringLiteral("viewContainer"));
    container->setFocusPolicy(Qt::StrongFocus);
    container->setMinimumSize(200, 150);
    m_viewContainer = container;
    m_welcome = new CWelcomePage(this);
    m_welcome->SetRecentFiles(m_recentFiles);
    connect(m_welcome, &CWelcomePage::openRequested, this, [this] { m_app.Document()->OnFileOpen(); });
    connect(m_welcome, &CWelcomePage::recentRequested, this, [this](const QString& entry) {
        OnRecentFile(entry);
    });
    m_client = new QStackedWidget(this);
    m_client->addWidget(container);
    m_client->addWidget(m_welcome);
    m_client->setCurrentWidget(container);
    setCentralWidget(m_client);
    // A click into the view takes the keyboard focus from the search bar, so that the
    // view's keys work again.
    connect(window, &CGLViewWindow::pressed, container, [container] { container->setFocus(); });
    // The change under the pointer, as a tip beside the pointer.
    connect(window, &CGLViewWindow::changeHovered, this, [this](const QString& text, const QPoint& at) {
        if (text.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(at, text, m_viewContainer);
    });
    qApp->installEventFilter(this);
}

void CMainFrame::ShowWelcome(bool welcome) {
    if (!m_client || welcome == WelcomeShown()) return;
    // Hiding the view's window lets its rendering context go; shown again, it makes a
    // fresh one and draws.
    m_client->setCurrentWidget(welcome ? static_cast<QWidget*>(m_welcome) : m_viewContainer);
    if (welcome) m_welcome->m_btnOpen->setFocus();
    else m_viewContainer->setFocus();
}

bool CMainFrame::WelcomeShown() const { return m_client && m_client->currentWidget() == m_welcome; }

void CMainFrame::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // The document and the search bar know each other from the first show on.
    CCladoramaDoc* doc = m_app.Document();
    if (doc && m_wndDlgBar) {
        m_wndDlgBar->m_pDoc = doc;
        doc->m_pSearchBar = m_wndDlgBar;
    }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    SaveRecentFileList();
    QSettings().setValue(QStringLiteral("Window/State"), saveState());
    QMainWindow::closeEvent(e);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    // Only keys that reach this window: the view's own window, or a widget of the frame.
    const bool ours = watched == m_viewWindow ||
                      (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this);
    if (!ours) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus && m_wndDlgBar && (focus == static_cast<QWidget*>(m_wndDlgBar->m_comboSearch) ||
                                 m_wndDlgBar->m_comboSearch->isAncestorOf(focus)))
        return false;
    // Nor in the changes panel's text box.
    if (focus && m_changesPanel && m_changesPanel->isAncestorOf(focus) &&
        focus->inherits("QLineEdit"))
        return false;
    return OnViewKey(*static_cast<QKeyEvent*>(e));
}

bool CMainFrame::OnViewKey(const QKeyEvent& e) {
    if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const int key = e.key();
    if (key != Qt::Key_D && key != Qt::Key_F && key != Qt::Key_H && key != Qt::Key_L &&
        key != Qt::Key_T && key != Qt::Key_U)
        return false;
    // Qt's codes of the letter keys are the capital letters, as the view counts them.
    return m_app.View().OnKeyDown(static_cast<unsigned>(key));
}

void CMainFrame::LoadRecentFileList() {
    QSettings settings;
    m_recentFiles.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString path =
            settings.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!path.isEmpty()) m_recentFiles << path;
    }
}

void CMainFrame::SaveRecentFileList() const {
    QSettings settings;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QStringLiteral("Recent File List/File%1").arg(i);
        if (i <= m_recentFiles.size()) settings.setValue(key, m_recentFiles[i - 1]);
        else settings.remove(key);
    }
}

void CMainFrame::AddToRecentFileList(const QString& path) {
    // A pair of compared files is one entry, its two paths on two lines.
    QStringList parts = path.split(QLatin1Char('\n'));
    for (QString& p : parts) p = QFileInfo(p).absoluteFilePath();
    const QString full = parts.join(QLatin1Char('\n'));
    m_recentFiles.removeAll(full);
    m_recentFiles.prepend(full);
    while (m_recentFiles.size() > kRecentFileCount) m_recentFiles.removeLast();
    RebuildRecentFileMenu();
    SaveRecentFileList();
}

void CMainFrame::RebuildRecentFileMenu() {
    if (!m_fileMenu) return;
    for (QAction* a : m_recentActions) {
        m_fileMenu->removeAction(a);
        a->deleteLater();
    }
    m_recentActions.clear();
    m_recentPlaceholder->setVisible(m_recentFiles.isEmpty());
    if (m_welcome) m_welcome->SetRecentFiles(m_recentFiles);
    for (int i = 0; i < m_recentFiles.size(); ++i) {
        const QString path = m_recentFiles[i];
        QStringList names;
        for (const QString& p : path.split(QLatin1Char('\n'))) names << QFileInfo(p).fileName();
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(names.join(QStringLiteral(" + "))),
                              m_fileMenu);
        a->setStatusTip(QString(path).replace(QLatin1Char('\n'), QStringLiteral(" + ")));
        connect(a, &QAction::triggered, this, [this, path] { OnRecentFile(path); });
        m_fileMenu->insertAction(m_recentEnd, a);
        m_recentActions << a;
    }
}

void CMainFrame::OnRecentFile(const QString& path) {
    const QStringList pair = path.split(QLatin1Char('\n'));
    if (pair.size() == 2) {
        // A compared pair is compared again, as File > Open would.
        CCladoramaDoc* doc = m_app.Document();
        if (!doc->ReloadTrees(pair[0].toLocal8Bit().toStdString(), pair[1].toLocal8Bit().toStdString()))
            return;
        AddToRecentFileList(path);
        m_pairFiles = pair;
        doc->MessageBox("Tree Loaded!");
        doc->UpdateAllViews();
        return;
    }
    // Opening a document reads nothing into the trees: it only names the document.
    if (!QFileInfo(path).isReadable()) {
        m_app.MessageBox(("Cannot open " + path.toStdString() + ".").c_str());
        m_recentFiles.removeAll(path);
        RebuildRecentFileMenu();
        SaveRecentFileList();
        return;
    }
    m_app.Document()->SetTitle(QFileInfo(path).fileName().toLocal8Bit().constData());
    AddToRecentFileList(path);
}

bool CMainFrame::ExportPicture(const QString& path) {
    const FigureFormat format = FigureFormatOf(path);
    if (format == FigureFormat::Svg || format == FigureFormat::Pdf) {
        if (WriteVectorFigure(m_app.View(), path, format, nullptr)) return true;
        m_app.MessageBox(("Cannot save " + path.toStdString() + ".").c_str());
        return false;
    }
    const QImage frame = m_viewWindow ? m_viewWindow->CaptureFrame() : QImage();
    if (!WritePngFigure(frame, path, nullptr)) {
        m_app.MessageBox(("Cannot save " + path.toStdString() + ".").c_str());
        return false;
    }
    return true;
}

void CMainFrame::ChangesUpdated() {
    if (m_actExportReport) m_actExportReport->setEnabled(m_app.Document()->ChangesReady());
}

void CMainFrame::OnExportPicture() {
    // The kind of picture follows the file type chosen; a name typed without a suffix
    // gets the chosen type's.
    const QString png = QStringLiteral("PNG picture (*.png)");
    const QString svg = QStringLiteral("SVG drawing (*.svg)");
    const QString pdf = QStringLiteral("PDF document (*.pdf)");
    QString chosen = png;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Picture"),
                                                QStringLiteral("cladorama.png"),
                                                png + QStringLiteral(";;") + svg +
                                                    QStringLiteral(";;") + pdf,
                                                &chosen);
    if (path.isEmpty()) return;
    if (FigureFormatOf(path) == FigureFormat::Unknown)
        path += chosen == svg ? QStringLiteral(".svg")
                              : chosen == pdf ? QStringLiteral(".pdf") : QStringLiteral(".png");
    ExportPicture(path);
}

void CMainFrame::OnFileSave() {
    // The document has nothing to save: the file is written empty.
    const QString title = QString::fromLocal8Bit(m_app.Document()->m_strTitle.c_str());
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), title);
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_app.MessageBox(("Cannot save " + path.toStdString() + ".").c_str());
        return;
    }
    file.close();
    m_app.Document()->SetTitle(QFileInfo(path).fileName().toLocal8Bit().constData());
    AddToRecentFileList(path);
}
