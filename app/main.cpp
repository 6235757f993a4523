// The viewer: starts in the current folder, which holds T1.jm2 and T2.jm2, or on two
// files named on the command line.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CladoramaApp.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kCommandLineUsage, stdout);
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    CCladoramaApp app;
    if (!app.InitInstance(QApplication::arguments())) return 1;
    // CLADORAMA_SCREENSHOT=file.png saves a picture of the window once it is painted, and
    // ends the program (for people who want to look without a display of their own).
    if (const char* shot = std::getenv("CLADORAMA_SCREENSHOT"); shot && *shot) {
        QTimer::singleShot(300, [&app, shot] {
            app.SaveScreenshot(QString::fromLocal8Bit(shot));
            QApplication::quit();
        });
    }
    const int result = qapp.exec();
    app.ExitInstance();
    return result;
}
