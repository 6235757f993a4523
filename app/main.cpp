// The viewer: starts in the current folder, which holds T1.jm2 and T2.jm2, or on two
// files named on the command line.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CladoramaApp.h"

namespace {

// Exit statuses of a run that takes a picture.
constexpr int kLoadFailed = 1;
constexpr int kPictureNotWritten = 2;

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kCommandLineUsage, stdout);
            return 0;
        }
    }
    // CLADORAMA_SCREENSHOT=file.png saves a picture of the window once it is painted, and
    // ends the program (for people who want to look without a display of their own, and
    // for scripts). Nobody is there to answer a message box or a dialog: failures go to
    // standard error, and the exit status says whether the files could be read.
    const char* shot = std::getenv("CLADORAMA_SCREENSHOT");
    const bool screenshot = shot && *shot;
    QApplication qapp(argc, argv);
    // Relative to the folder the viewer was started in, whatever it does later.
    const QString shotPath =
        screenshot ? QFileInfo(QString::fromLocal8Bit(shot)).absoluteFilePath() : QString();
    CCladoramaApp app;
    app.SetUnattended(screenshot);
    if (!app.InitInstance(QApplication::arguments())) return 1;
    if (screenshot) {
        QTimer::singleShot(300, [&app, shotPath] {
            int status = app.LoadFailed() ? kLoadFailed : 0;
            if (!app.SaveScreenshot(shotPath)) {
                std::fprintf(stderr, "cladorama: cannot write the picture %s\n",
                             shotPath.toLocal8Bit().constData());
                status = kPictureNotWritten;
            }
            QApplication::exit(status);
        });
    }
    const int result = qapp.exec();
    app.ExitInstance();
    return result;
}
