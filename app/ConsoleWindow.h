// The viewer's own console: a window of fixed-width text that shows every console line as
// a terminal would, for a viewer started without one (from a desktop launcher, a file
// manager). Standard output still gets every line; the window is a second place to see
// them. Key F asks for its word here.
#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <deque>
#include <string>

class QEventLoop;
class QTimer;

class CConsoleWindow : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The last lines kept; older ones scroll away for good.
    static constexpr size_t kMaxLines = 100000;

    // `waiting` is the window that waits while a word is asked for (the main frame).
    explicit CConsoleWindow(QWidget* waiting = nullptr);
    ~CConsoleWindow() override;

    // Becomes the console's second place (every console line comes here too) and the
    // source of key F's word; Detach gives both back.
    void Attach();
    void Detach();

    // Console bytes, ISO-8859-1, to the end of the text. The window is redrawn at once
    // when it was last drawn a fifth of a second ago or more, so that a long load, which
    // leaves the event loop no time, is still seen as it goes.
    void Append(const char* text, size_t length);
    // Asks for a word on the line being written: the typed text is echoed; Enter ends it,
    // Escape or closing the window cancels. The waiting window takes no input meanwhile.
    // The first whitespace-delimited word, cut to size - 1 bytes, goes into `word`.
    bool ReadWord(char* word, size_t size);

    // The text as shown: every kept line, the last one possibly unfinished.
    const std::deque<std::string>& Lines() const { return m_lines; }
    bool Reading() const { return m_loop != nullptr; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Refresh(bool now);
    void UpdateScrollRange();
    int LineHeight() const;

    QWidget* m_waiting;
    std::deque<std::string> m_lines{std::string()};
    QElapsedTimer m_sinceDrawn;
    QTimer* m_pending = nullptr;  // a draw of what came since the last one
    QEventLoop* m_loop = nullptr;
    std::string m_input;
    bool m_accepted = false;
    bool m_attached = false;
};
