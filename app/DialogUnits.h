// Dialog units: the layout unit of the shell's dialog templates, a quarter of the dialog
// font's average character width across and an eighth of its height down.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        QFontMetrics m(font);
        const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (m.horizontalAdvance(sample) / 26 + 1) / 2;
        m_baseY = m.height();
    }
    int X(int dlu) const { return dlu * m_baseX / 4; }
    int Y(int dlu) const { return dlu * m_baseY / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

private:
    int m_baseX = 6, m_baseY = 13;
};
