// Starting the real application on trees, and reading its frames.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <functional>
#include <memory>

#include "CladoramaApp.h"
#include "GLViewWindow.h"
#include "MainFrame.h"
#include "TestSupport.h"

// The application started without the load pipeline; tests fill the trees.
struct RunningApp {
    std::unique_ptr<CCladoramaApp> app = std::make_unique<CCladoramaApp>();
    bool started = false;
    explicit RunningApp(bool loadHierarchies = false,
                        const QStringList& arguments = {QStringLiteral("cladorama"),
                                                        QStringLiteral("--no-console")});
    ~RunningApp();
    CCladoramaDoc& doc() { return *app->Document(); }
    CCladoramaView& view() { return app->View(); }
    CGLViewWindow& window() { return *app->ViewWindow(); }
    // One frame drawn at once and read back.
    QImage frame();
};

// The bundled sample started as the viewer starts: its binary tree files are made once
// per test program (build mode, in a folder of its own), then every SampleApp loads them
// in binary mode with the current folder there. `available` is false without the sample.
struct SampleApp {
    bool available = false;
    std::unique_ptr<RunningApp> running;
    std::string console;  // what the start-up printed
    SampleApp();
    ~SampleApp();
    RunningApp& operator*() { return *running; }
    RunningApp* operator->() { return running.get(); }

private:
    QString m_previousDir;
};

// Pixel of `image` at the window-normalised point (nx, ny), with an offset in pixels.
QRgb pixelAt(const QImage& image, double nx, double ny, int dx = 0, int dy = 0);
// "r,g,b" for readable failures.
std::string rgbText(QRgb c);
std::string rgbText(int r, int g, int b);

// Saves the image under the build folder when CLADORAMA_TEST_SCREENSHOTS is set.
void maybeSave(const QImage& image, const char* name);

// Processes events until `done` holds; false if it still does not after `limitMs`.
bool waitFor(const std::function<bool()>& done, int limitMs = 10000);

// Closes every message box that opens, recording their captions and texts.
struct MessageBoxCatcher {
    std::vector<std::string> captions, texts;
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    int timerId = 0;
};
