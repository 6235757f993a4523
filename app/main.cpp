// The viewer: starts in the current folder, which holds T1.jm2 and T2.jm2.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "CladoramaApp.h"

int main(int argc, char** argv) {
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
