#include "CladoramaApp.h"

#include <GL/freeglut.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QThread>
#include <QToolButton>
#include <cstdio>

#include "AboutDlg.h"
#include "GLViewWindow.h"
#include "Icons.h"
#include "MainFrame.h"
#include "NodeListDlgQt.h"
#include "SearchBar.h"

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

CCladoramaApp::~CCladoramaApp() {
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
    if (!m_pDoc->OnNewDocument()) return false;

    // A file named on the command line is opened the framework's way: it names the
    // document and reads nothing.
    if (arguments.size() > 1) {
        const QString path = arguments[1];
        if (!QFileInfo(path).isReadable()) {
            MessageBox(("Cannot open " + path.toStdString() + ".").c_str());
            return false;
        }
        m_pDoc->SetTitle(QFileInfo(path).fileName().toLocal8Bit().constData());
        m_pMainWnd->AddToRecentFileList(path);
    }
    m_pMainWnd->resize(1000, 800);
    m_pMainWnd->show();
    m_view.OnUpdate();

    // The program always has a terminal here; its progress lines must reach it at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (loadHierarchies) m_pDoc->LoadHierarchies();

    // Show, and paint at once: wait (briefly) until the window system has mapped the
    // view's window, so that the first frame is not drawn into nothing.
    m_pMainWnd->show();
    QElapsedTimer waited;
    waited.start();
    while (!m_viewWindow->isExposed() && waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!m_viewWindow->isExposed()) QThread::msleep(5);
    }
    m_view.OnDraw();
    return true;
}

int CCladoramaApp::ExitInstance() { return 0; }

void CCladoramaApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void CCladoramaApp::OnFileNew() {
    // A new document in a single-document program is the same document renamed: the
    // loaded trees stay.
    m_pDoc->OnNewDocument();
}

void CCladoramaApp::UpdateAllViews() { m_view.OnUpdate(); }

void CCladoramaApp::MessageBox(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationName),
                    QString::fromLatin1(text), QMessageBox::Ok, m_pMainWnd.get());
    box.exec();
}

bool CCladoramaApp::PromptForFile(std::string& path) {
    QFileDialog dlg(m_pMainWnd.get());
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    // The initial name "*.jm2;*.xml" works as a pattern.
    dlg.setNameFilter(QStringLiteral("*.jm2 *.xml"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    path = dlg.selectedFiles().first().toLocal8Bit().toStdString();
    return true;
}

void CCladoramaApp::SetSliderRange(int minimum, int maximum) {
    if (m_pMainWnd && m_pMainWnd->m_wndDlgBar)
        m_pMainWnd->m_wndDlgBar->SetSliderRange(minimum, maximum);
}

std::unique_ptr<CNodeListDlg> CCladoramaApp::NewNodeListDlg() {
    return std::make_unique<CQtNodeListDlg>(m_pMainWnd.get());
}

void CCladoramaApp::TreesReplaced() { m_view.OnTreesReplaced(); }

void CCladoramaApp::TitleChanged(const char* title) {
    if (!m_pMainWnd) return;
    m_pMainWnd->setWindowTitle(QString::fromLocal8Bit(title) + QStringLiteral(" - ") +
                               QString::fromLatin1(kWindowTitle));
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
    const QImage frame = m_viewWindow->CaptureFrame();
    if (!frame.isNull()) {
        QWidget* container = m_pMainWnd->centralWidget();
        QPainter p(&shot);
        const QRect target(container->mapTo(m_pMainWnd.get(), QPoint(0, 0)), container->size());
        p.drawImage(target, frame);
    }
    return shot.save(path, "PNG");
}
