#include "ConsoleWindow.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "CladoramaApp.h"
#include "Console.h"

namespace {

void sinkToWindow(void* window, const char* text, size_t length) {
    static_cast<CConsoleWindow*>(window)->Append(text, length);
}

bool wordFromWindow(void* window, char* word, size_t size) {
    return static_cast<CConsoleWindow*>(window)->ReadWord(word, size);
}

}  // namespace

CConsoleWindow::CConsoleWindow(QWidget* waiting) : QAbstractScrollArea(nullptr), m_waiting(waiting) {
    setWindowTitle(QString::fromLatin1(kApplicationName));
    setObjectName(QStringLiteral("console"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setAutoFillBackground(true);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, Qt::black);
    p.setColor(QPalette::Window, Qt::black);
    viewport()->setPalette(p);
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resize(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 82, LineHeight() * 25);
    m_sinceDrawn.start();
    m_pending = new QTimer(this);
    m_pending->setSingleShot(true);
    m_pending->setInterval(200);
    connect(m_pending, &QTimer::timeout, this, [this] { Refresh(true); });
}

CConsoleWindow::~CConsoleWindow() {
    if (m_loop) m_loop->quit();
    Detach();
}

void CConsoleWindow::Attach() {
    setConsoleSink(sinkToWindow, this);
    setConsoleWordSource(wordFromWindow, this);
    m_attached = true;
}

void CConsoleWindow::Detach() {
    if (!m_attached) return;
    setConsoleSink(nullptr, nullptr);
    setConsoleWordSource(nullptr, nullptr);
    m_attached = false;
}

int CConsoleWindow::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

void CConsoleWindow::Append(const char* text, size_t length) {
    const char* end = text + length;
    while (text < end) {
        const char* newline = static_cast<const char*>(std::memchr(text, '\n', end - text));
        const char* stop = newline ? newline : end;
        m_lines.back().append(text, stop);
        if (!newline) break;
        m_lines.emplace_back();
        text = newline + 1;
    }
    while (m_lines.size() > kMaxLines) m_lines.pop_front();
    Refresh(false);
}

void CConsoleWindow::Refresh(bool now) {
    if (!isVisible()) return;
    if (!now && m_sinceDrawn.elapsed() < 200) {
        // Drawn with the next batch, or by the timer once the event loop runs again.
        if (!m_pending->isActive()) m_pending->start();
        return;
    }
    m_pending->stop();
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    UpdateScrollRange();
    if (atEnd) bar->setValue(bar->maximum());  // follows the output, as a terminal does
    // Drawn at once: during a load nothing else gets to the event loop.
    viewport()->repaint();
    m_sinceDrawn.restart();
}

void CConsoleWindow::UpdateScrollRange() {
    const int visible = std::max(1, viewport()->height() / LineHeight());
    const int lines = static_cast<int>(m_lines.size());
    verticalScrollBar()->setRange(0, std::max(0, lines - visible));
    verticalScrollBar()->setPageStep(visible);
}

void CConsoleWindow::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setPen(QColor(210, 210, 210));
    p.setFont(font());
    const int h = LineHeight();
    const int ascent = fontMetrics().ascent();
    const int first = verticalScrollBar()->value();
    const int visible = viewport()->height() / h + 1;
    const int last = std::min(static_cast<int>(m_lines.size()), first + visible);
    for (int i = first; i < last; ++i) {
        std::string line = m_lines[static_cast<size_t>(i)];
        const bool current = i + 1 == static_cast<int>(m_lines.size());
        if (current && m_loop) line += m_input + '_';  // the word being typed, and a cursor
        p.drawText(2, (i - first) * h + ascent, QString::fromLatin1(line.data(), static_cast<int>(line.size())));
    }
}

void CConsoleWindow::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollRange();
}

void CConsoleWindow::showEvent(QShowEvent* e) {
    QAbstractScrollArea::showEvent(e);
    UpdateScrollRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

bool CConsoleWindow::ReadWord(char* word, size_t size) {
    if (size == 0 || m_loop) return false;
    word[0] = 0;
    show();
    raise();
    activateWindow();
    setFocus();
    m_input.clear();
    m_accepted = false;
    if (m_waiting) m_waiting->setEnabled(false);
    QEventLoop loop;
    m_loop = &loop;
    Refresh(true);
    loop.exec();
    m_loop = nullptr;
    if (m_waiting) m_waiting->setEnabled(true);
    if (m_accepted) {
        // The typed line stays on the screen, ended by its Enter, as a terminal echoes it.
        const std::string typed = m_input + '\n';
        Append(typed.data(), typed.size());
        const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        const auto begin = std::find_if_not(m_input.begin(), m_input.end(), blank);
        const auto end = std::find_if(begin, m_input.end(), blank);
        const size_t n = std::min(static_cast<size_t>(end - begin), size - 1);
        std::copy_n(begin, n, word);
        word[n] = 0;
    }
    Refresh(true);
    return m_accepted && word[0];
}

void CConsoleWindow::keyPressEvent(QKeyEvent* e) {
    if (!m_loop) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_accepted = true;
            m_loop->quit();
            return;
        case Qt::Key_Escape:
            m_loop->quit();
            return;
        case Qt::Key_Backspace:
            if (!m_input.empty()) m_input.pop_back();
            break;
        default:
            // Names are ISO-8859-1: a character outside it could match no name.
            for (const QChar c : e->text()) {
                if (c.unicode() >= 0x20 && c.unicode() <= 0xFF && c.unicode() != 0x7F)
                    m_input += static_cast<char>(c.unicode());
            }
            break;
    }
    viewport()->update();
}

void CConsoleWindow::closeEvent(QCloseEvent* e) {
    // Closing only hides: View > Console shows the window again with what it kept.
    if (m_loop) m_loop->quit();
    QAbstractScrollArea::closeEvent(e);
}
