#include "WelcomePage.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CWelcomePage::CWelcomePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("welcomePage"));
    setAutoFillBackground(true);

    auto* column = new QWidget(this);
    column->setFixedWidth(520);
    auto* layout = new QVBoxLayout(column);
    layout->setSpacing(10);

    auto* heading = new QLabel(QStringLiteral("No checklists are open"), column);
    QFont big = heading->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);

    // The column is centred at its own size, so a wrapped label's height is not asked
    // for its width by the layout: each is given the height its text takes at the
    // column's width.
    const QMargins margins = layout->contentsMargins();
    const int textWidth = column->width() - margins.left() - margins.right();
    for (const char* paragraph :
         {"Cladorama compares two checklists of the same group of organisms and shows both "
          "side by side.",
          "Choose <b>File &gt; Open</b> (Ctrl+O), or the button below, and pick the first "
          "checklist, then the second. From a terminal: <code>cladorama FILE1 FILE2</code>.",
          "It reads tree files (.jm2), classification files (.xml), CSV or TSV tables with a "
          "column per rank, Darwin Core Archives and Catalogue of Life Data Packages (a zip, "
          "or a folder's NameUsage.tsv)."}) {
        auto* label = new QLabel(QString::fromLatin1(paragraph), column);
        label->setWordWrap(true);
        label->setTextFormat(Qt::RichText);
        label->setFixedHeight(label->heightForWidth(textWidth));
        layout->addWidget(label);
    }

    m_btnOpen = new QPushButton(QStringLiteral("Open Two Checklists..."), column);
    m_btnOpen->setObjectName(QStringLiteral("welcomeOpen"));
    m_btnOpen->setDefault(true);
    connect(m_btnOpen, &QPushButton::clicked, this, &CWelcomePage::openRequested);
    layout->addWidget(m_btnOpen, 0, Qt::AlignLeft);

    m_recentHeading = new QLabel(QStringLiteral("<b>Recently compared</b> (also in the File menu)"), column);
    layout->addSpacing(12);
    layout->addWidget(m_recentHeading);
    m_recentLayout = new QVBoxLayout;
    m_recentLayout->setSpacing(4);
    layout->addLayout(m_recentLayout);

    auto* outer = new QVBoxLayout(this);
    outer->addStretch(1);
    outer->addWidget(column, 0, Qt::AlignHCenter);
    outer->addStretch(2);
    SetRecentFiles({});
}

void CWelcomePage::SetRecentFiles(const QStringList& recentFiles) {
    for (QPushButton* b : m_recentButtons) b->deleteLater();
    m_recentButtons.clear();
    for (const QString& entry : recentFiles) {
        const QStringList pair = entry.split(QLatin1Char('\n'));
        if (pair.size() != 2) continue;  // a single file names the document and opens nothing
        auto* b = new QPushButton(QFileInfo(pair[0]).fileName() + QStringLiteral("  +  ") +
                                      QFileInfo(pair[1]).fileName(),
                                  this);
        b->setToolTip(pair[0] + QStringLiteral("\n") + pair[1]);
        b->setFlat(true);
        b->setStyleSheet(QStringLiteral("text-align: left; padding: 2px 6px;"));
        connect(b, &QPushButton::clicked, this, [this, entry] { emit recentRequested(entry); });
        m_recentLayout->addWidget(b);
        m_recentButtons << b;
    }
    m_recentHeading->setVisible(!m_recentButtons.isEmpty());
}
