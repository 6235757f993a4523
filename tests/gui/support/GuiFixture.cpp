#include "GuiFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Console.h"

RunningApp::RunningApp(bool loadHierarchies, const QStringList& arguments) {
    started = app->InitInstance(arguments, loadHierarchies);
}

RunningApp::~RunningApp() {
    app.reset();
    QApplication::processEvents();
}

namespace {

// The folder holding the sample's T1.jm2 and T2.jm2, made on first use; empty without the
// sample.
std::string sampleTreeFiles() {
    static TempDir dir;
    static const bool made = [] {
        const std::string a = sourcePath("data/sample/classif_A_03-01-31.xml");
        if (!std::filesystem::exists(a)) return false;
        std::filesystem::copy_file(a, dir.path() / "classif_A_03-01-31.xml");
        std::filesystem::copy_file(sourcePath("data/sample/classif_B_03-01-31.xml"),
                                   dir.path() / "classif_B_03-01-31.xml");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir.path().string()));
        bool ok;
        {
            ConsoleCapture quiet;
            CCladoramaDoc builder;
            ok = builder.LoadHierarchiesIn<LoadMode::Build>();
        }
        QDir::setCurrent(previous);
        return ok;
    }();
    return made ? dir.path().string() : std::string();
}

}  // namespace

SampleApp::SampleApp() {
    const std::string dir = sampleTreeFiles();
    if (dir.empty()) return;
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir));
    ConsoleCapture capture;
    running = std::make_unique<RunningApp>(true);
    available = running->started && running->view().TreesLoaded();
    // The changes are found after the first frame; the tests start from a window that has
    // them, as a user who looks at it for a moment does.
    if (available) waitFor([this] { return running->doc().ChangesReady(); });
    console = capture.text();
}

SampleApp::~SampleApp() {
    running.reset();
    if (!m_previousDir.isEmpty()) QDir::setCurrent(m_previousDir);
}

QImage RunningApp::frame() {
    QApplication::processEvents();
    return window().CaptureFrame();
}

QRgb pixelAt(const QImage& image, double nx, double ny, int dx, int dy) {
    const int x = static_cast<int>(std::floor((nx + 0.5) * image.width())) + dx;
    const int y = static_cast<int>(std::floor((0.5 - ny) * image.height())) + dy;
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return qRgb(1, 2, 3);
    return image.pixel(x, y);
}

std::string rgbText(int r, int g, int b) {
    return std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
}

std::string rgbText(QRgb c) { return rgbText(qRed(c), qGreen(c), qBlue(c)); }

void maybeSave(const QImage& image, const char* name) {
    if (!std::getenv("CLADORAMA_TEST_SCREENSHOTS")) return;
    image.save(QString::fromLatin1(CLADORAMA_BINARY_DIR) + "/" + name + ".png", "PNG");
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

namespace {
MessageBoxCatcher* g_catcher = nullptr;
}

MessageBoxCatcher::MessageBoxCatcher() {
    g_catcher = this;
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("messageBoxCatcher"));
    QObject::connect(timer, &QTimer::timeout, [] {
        if (!g_catcher) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            g_catcher->captions.push_back(box->windowTitle().toStdString());
            g_catcher->texts.push_back(box->text().toStdString());
            // OK, or the answer offered as the default of a question.
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            if (QAbstractButton* b = ok ? ok : box->defaultButton())
                b->click();
            else
                box->accept();
        }
    });
    timer->start(20);
}

MessageBoxCatcher::~MessageBoxCatcher() {
    g_catcher = nullptr;
    if (auto* t = qApp->findChild<QTimer*>(QStringLiteral("messageBoxCatcher"))) delete t;
}
