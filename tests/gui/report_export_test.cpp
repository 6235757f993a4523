// File > Export Report in the window: it waits for the changes, then writes the page through
// the file dialog, and the window's picture is as it was.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "CladoramaApp.h"
#include "GuiFixture.h"
#include "MainFrame.h"
#include "TestSupport.h"

TEST(ReportExport, WaitsForTheChangesThenWritesThePage) {
    RunningApp running;
    ASSERT_TRUE(running.started);
    CCladoramaApp& app = *running.app;
    CCladoramaDoc& doc = running.doc();
    CMainFrame& frame = *app.MainFrame();
    QAction* action = frame.m_actExportReport;
    ASSERT_NE(action, nullptr);
    EXPECT_FALSE(action->isEnabled());

    const std::string a = sourcePath("data/sample/classif_A_03-01-31.xml");
    const std::string b = sourcePath("data/sample/classif_B_03-01-31.xml");
    {
        ConsoleCapture quiet;
        ASSERT_TRUE(doc.ReloadTrees(a, b));
        app.PairOpened(a, b);
    }
    (void)running.window().CaptureFrame();
    ASSERT_EQ(doc.Changes(), ChangesState::Finding);
    EXPECT_FALSE(action->isEnabled());
    ASSERT_TRUE(waitFor([&] { return doc.ChangesReady(); }));
    EXPECT_TRUE(action->isEnabled());

    const QImage before = running.window().CaptureFrame();
    TempDir out;
    const QString path = QString::fromStdString(out.file("sample-report"));
    bool typed = false;
    auto* timer = new QTimer;
    int tries = 0, seen = 0;
    QObject::connect(timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        // Shown, and given a moment to take input: keys typed into a dialog still being set
        // up are lost, and it would wait for ever.
        if (dialog && !dialog->isVisible()) dialog = nullptr;
        if (dialog && ++seen < 4) return;
        if (!dialog && ++tries < 2400) return;  // a minute, on a loaded machine
        timer->stop();
        timer->deleteLater();
        if (!dialog) return;
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            dialog->reject();
            return;
        }
        name->selectAll();
        QTest::keyClicks(name, path);
        QTest::keyClick(name, Qt::Key_Return);
        typed = true;
        // A dialog that did not take the name fails the test rather than hanging it.
        QTimer::singleShot(10000, [] {
            if (auto* still = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                still->reject();
        });
    });
    timer->start(25);
    {
        ConsoleCapture quiet;
        action->trigger();
    }
    ASSERT_TRUE(typed);
    // A name without the suffix gets it.
    const std::string page = readFileBytes(out.file("sample-report.html"));
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("classif_A_03-01-31.xml"), std::string::npos);
    EXPECT_NE(page.find("data:image/svg+xml;base64,"), std::string::npos);
    EXPECT_NE(page.find("<section class=\"kind\""), std::string::npos);
    // The report's own pictures left the window's picture alone.
    EXPECT_TRUE(running.window().CaptureFrame() == before);
}
