// The GUI tests' entry: one QApplication for the whole program, then the tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

int main(int argc, char** argv) {
    // Tests must not read or write the user's settings.
    const QString settings = QDir::tempPath() + QStringLiteral("/cladorama-gui-test-settings");
    qputenv("XDG_CONFIG_HOME", settings.toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
