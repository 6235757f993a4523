// The viewer's own console window: opened when standard output is no terminal, showing
// every console line in order while standard output still gets them, asking key F's name,
// and absent when the viewer has a terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QAction>
#include <QTest>
#include <QTimer>
#include <string>
#include <thread>

#include "ConsoleWindow.h"
#include "GuiFixture.h"

namespace {

// Standard output (descriptor 1) taken over while it lives: into a pipe that a thread
// drains, or onto the given descriptor.
class StdoutTo {
public:
    explicit StdoutTo(int fd = -1) {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        if (fd < 0) {
            int ends[2];
            if (pipe(ends) != 0) std::abort();
            m_read = ends[0];
            fd = ends[1];
            m_drain = std::thread([this] {
                char buffer[4096];
                for (ssize_t n; (n = read(m_read, buffer, sizeof buffer)) > 0;) m_text.append(buffer, n);
            });
            dup2(fd, STDOUT_FILENO);
            close(fd);
        } else {
            dup2(fd, STDOUT_FILENO);
        }
    }
    // Everything written meanwhile (pipe only); ends the taking over.
    std::string finish() {
        if (m_saved < 0) return m_text;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
        if (m_drain.joinable()) {
            m_drain.join();
            close(m_read);
        }
        return m_text;
    }
    ~StdoutTo() { finish(); }

private:
    int m_saved = -1, m_read = -1;
    std::thread m_drain;
    std::string m_text;
};

std::string joined(const std::deque<std::string>& lines) {
    std::string s;
    for (size_t i = 0; i < lines.size(); ++i) s += lines[i] + (i + 1 < lines.size() ? "\n" : "");
    return s;
}

// Types `keys` into the console window once it asks, then Enter (or Escape).
void answerWhenAsked(CConsoleWindow* console, const char* keys, Qt::Key end) {
    auto* timer = new QTimer(console);
    QObject::connect(timer, &QTimer::timeout, console, [=] {
        if (!console->Reading()) return;
        timer->stop();
        QTest::keyClicks(console, QString::fromLatin1(keys));
        QTest::keyClick(console, end);
        timer->deleteLater();
    });
    timer->start(20);
}

}  // namespace

TEST(ConsoleWindow, WithoutATerminalTheLinesShowInOrderAndFAsksThere) {
    SampleApp sample;  // makes the sample's tree files; its own viewer has no console
    if (!sample.available) GTEST_SKIP() << "no sample data";
    std::string window, out;
    {
        StdoutTo pipe;
        RunningApp r(true, {QStringLiteral("cladorama")});
        ASSERT_TRUE(r.started);
        CConsoleWindow* console = r.app->ConsoleWindow();
        ASSERT_NE(console, nullptr);
        EXPECT_TRUE(console->isVisible());
        EXPECT_EQ(console->windowTitle().toStdString(), "Cladorama");
        window = joined(console->Lines());
        EXPECT_EQ(window.rfind("Load trees from binary files.... \nTree 1 loading.... \n", 0), 0u) << window;
        const size_t tail = window.find("Latin name sorted\ncommon name sorted\ncommon name sorted\n");
        ASSERT_NE(tail, std::string::npos);
        EXPECT_LT(window.find("Tree 2 loading.... \n"), tail);

        // F asks in the window; the typed name is found whatever its case.
        answerWhenAsked(console, "MAMMALIA", Qt::Key_Return);
        EXPECT_TRUE(r.view().OnKeyDown('F'));
        // Escape cancels: no lookup.
        answerWhenAsked(console, "Mammalia", Qt::Key_Escape);
        r.view().OnKeyDown('F');
        const std::string after = joined(console->Lines());
        EXPECT_EQ(after.substr(window.size()),
                  "Latin Name:     MAMMALIA\n\nThere is Mammalia in the data set\n"
                  "Latin Name:     \n");

        // Closed, and shown again from the View menu with what it had.
        console->close();
        EXPECT_FALSE(console->isVisible());
        r.app->MainFrame()->m_actConsole->trigger();
        EXPECT_TRUE(console->isVisible());
        EXPECT_EQ(joined(console->Lines()), after);
        out = pipe.finish();
    }
    // Standard output had every line too, the typed name apart (a terminal's echo).
    EXPECT_EQ(out.rfind(window, 0), 0u);
    EXPECT_EQ(out.substr(window.size()),
              "Latin Name:     \nThere is Mammalia in the data set\nLatin Name:     \n");
}

TEST(ConsoleWindow, WithATerminalThereIsNone) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    {
        StdoutTo terminal(slave);
        RunningApp r(false, {QStringLiteral("cladorama")});
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.app->ConsoleWindow(), nullptr);
        terminal.finish();
    }
    close(slave);
    close(master);
}
