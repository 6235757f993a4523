// Pictures of the window made elsewhere: the command line's, without a display.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>

#include "FigureFile.h"
#include "GuiFixture.h"

// The command line's PNG is the window's export of the same view: same trees, same size,
// same focus, pixel for pixel.
TEST(FigureWindow, CommandLinePictureIsTheWindowsExport) {
    SampleApp s;
    if (!s.available) GTEST_SKIP() << "no sample";
    RunningApp& r = *s;
    ASSERT_TRUE(r.started);
    TempDir dir;
    const int w = r.view().m_clientWidth, h = r.view().m_clientHeight;
    ASSERT_GT(w, 0);
    for (const char* focus : {"", "Rodentia"}) {
        SCOPED_TRACE(focus);
        if (*focus) {
            ASSERT_TRUE(FocusBothPanels(r.view(), focus));
        }
        const QString window = QString::fromStdString(dir.file("window.png"));
        ASSERT_TRUE(r.app->MainFrame()->ExportPicture(window));
        const std::string cli = dir.file("cli.png");
        // The sample's tree files are in the current folder, where the window loaded them.
        std::string command = std::string(CLADORAMA_BINARY_DIR) + "/tools/cladorama-cli picture" +
                              " --output " + cli + " --size " + std::to_string(w) + "x" +
                              std::to_string(h);
        if (*focus) command += std::string(" --focus ") + focus;
        command += " >/dev/null 2>&1";
        ASSERT_EQ(std::system(("env -u DISPLAY QT_QPA_PLATFORM=offscreen " + command).c_str()), 0);
        const QImage a(window, "PNG"), b(QString::fromStdString(cli), "PNG");
        ASSERT_EQ(a.size(), b.size());
        int differ = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) differ += a.pixel(x, y) != b.pixel(x, y);
        EXPECT_EQ(differ, 0);
    }
}
