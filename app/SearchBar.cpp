#include "SearchBar.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QToolButton>

#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "DialogUnits.h"
#include "Icons.h"
#include "NameBrowser.h"

namespace {

QToolButton* IconButton(QWidget* parent, const QIcon& icon, bool checkable) {
    auto* b = new QToolButton(parent);
    b->setIcon(icon);
    b->setCheckable(checkable);
    b->setAutoRaise(false);
    return b;
}

}  // namespace

CSearchBar::CSearchBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("searchBar"));
    const DialogUnits du(font());

    m_btnZoomLink = IconButton(this, ZoomLinkIcon(), true);
    m_btnZoomLink->setGeometry(du.Rect(2, 1, 13, 14));
    m_btnZoomLink->setToolTip(QStringLiteral("Zoom Link"));
    m_btnBarStyle = IconButton(this, BarStyleIcon(), true);
    m_btnBarStyle->setGeometry(du.Rect(18, 1, 13, 14));
    m_btnTreeStyle = IconButton(this, TreeStyleIcon(), true);
    m_btnTreeStyle->setGeometry(du.Rect(32, 1, 13, 14));
    auto* styles = new QButtonGroup(this);
    styles->setExclusive(true);
    styles->addButton(m_btnBarStyle);
    styles->addButton(m_btnTreeStyle);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setGeometry(du.Rect(49, 0, 1, 16));

    m_btnSearch = new QPushButton(QStringLiteral("SEARCH"), this);
    m_btnSearch->setGeometry(du.Rect(53, 1, 32, 14));

    m_comboMode = new QComboBox(this);
    m_comboMode->addItems({QStringLiteral("Latin Name"), QStringLiteral("Common Name"),
                           QStringLiteral("Latin & Common")});
    m_comboMode->setGeometry(du.Rect(87, 1, 71, 14));

    m_comboSearch = new QComboBox(this);
    m_comboSearch->setEditable(true);
    m_comboSearch->setInsertPolicy(QComboBox::NoInsert);
    m_comboSearch->setGeometry(du.Rect(159, 1, 94, 14));

    m_btnPrev = IconButton(this, PrevIcon(), false);
    m_btnPrev->setGeometry(du.Rect(255, 3, 7, 10));
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 0);
    m_slider->setGeometry(du.Rect(262, 2, 129, 12));
    m_btnNext = IconButton(this, NextIcon(), false);
    m_btnNext->setGeometry(du.Rect(392, 3, 7, 10));

    const QRect strip = du.Rect(0, 0, 401, 16);
    setFixedSize(strip.size());

    // At most 254 characters of text, as SEARCH reads them.
    m_comboSearch->lineEdit()->setMaxLength(254);

    // Clicks, not state changes: the view sets these buttons itself when it changes the
    // link or the style, and that must not come back here.
    connect(m_btnZoomLink, &QAbstractButton::clicked, this, [this] { OnZoomLink(); });
    connect(m_btnBarStyle, &QAbstractButton::clicked, this, [this] { OnBarStyle(); });
    connect(m_btnTreeStyle, &QAbstractButton::clicked, this, [this] { OnTreeStyle(); });
    connect(m_btnSearch, &QPushButton::clicked, this, [this] { OnSearch(); });
    connect(m_comboSearch->lineEdit(), &QLineEdit::returnPressed, this, [this] { OnSearch(); });
    connect(m_comboMode, &QComboBox::currentIndexChanged, this, [this] { OnSelchangeMode(); });
    connect(m_btnPrev, &QAbstractButton::clicked, this, [this] { OnPrev(); });
    connect(m_btnNext, &QAbstractButton::clicked, this, [this] { OnNext(); });
    // Only the user's moves: the bar's own changes of range and position are made with the
    // slider's signals blocked, as a trackbar reports only what the user does.
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) { OnHScroll(value); });
    // The end of a drag reads the position again even when it did not change, so that the
    // thumb let go where it was shows its name again after previous or next.
    connect(m_slider, &QSlider::sliderReleased, this, [this] { OnHScroll(m_slider->value()); });
}

void CSearchBar::SetSliderRange(int minimum, int maximum) {
    const QSignalBlocker quiet(m_slider);
    m_slider->setRange(minimum, maximum);
    m_slider->update();
}

int CSearchBar::Mode() const { return browseMode(m_comboMode->currentIndex()); }

void CSearchBar::OnZoomLink() {
    if (m_pDoc && m_pDoc->m_pView) m_pDoc->m_pView->m_zoomLink = m_btnZoomLink->isChecked();
}

void CSearchBar::OnBarStyle() {
    if (!m_pDoc || !m_pDoc->m_pView) return;
    m_pDoc->m_pView->m_overview.overviewStyle = m_btnBarStyle->isChecked() ? 1 : 0;
    m_pDoc->UpdateAllViews();
}

void CSearchBar::OnTreeStyle() {
    if (!m_pDoc || !m_pDoc->m_pView) return;
    m_pDoc->m_pView->m_overview.overviewStyle = m_btnTreeStyle->isChecked() ? 0 : 1;
    m_pDoc->UpdateAllViews();
}

void CSearchBar::OnSearch() {
    const QString text = m_comboSearch->currentText().left(254);
    // Every press goes into the history, an empty or repeated text too.
    {
        const QSignalBlocker quiet(m_comboSearch);
        m_comboSearch->addItem(text);
        m_comboSearch->setEditText(text);
    }
    if (!m_pDoc) return;
    if (text.isEmpty()) {
        m_pDoc->MessageBox("Type Search String!");
        return;
    }
    // The names are ISO-8859-1: a character outside it is in no name, and is not to be
    // turned into some other byte that might be.
    bool matchable = true;
    for (const QChar c : text) matchable = matchable && c.unicode() <= 0xFF;
    const QByteArray bytes = matchable ? text.toLatin1() : QByteArray();
    m_pDoc->Search(Mode(), bytes.constData(), matchable);
}

void CSearchBar::OnSelchangeMode() {
    if (!m_pDoc) return;
    const int mode = Mode();
    SetSliderRange(0, browseSliderMaximum(mode, browseListSize(*m_pDoc, mode)));
    m_browsePos = browsePositionFromSlider(mode, m_slider->value());
}

void CSearchBar::OnHScroll(int position) {
    if (!m_pDoc || browseListSize(*m_pDoc, Mode()) == 0) return;
    m_browsePos = browsePositionFromSlider(Mode(), position);
    ShowBrowsedName(false);
}

void CSearchBar::OnPrev() {
    if (!m_pDoc || browseListSize(*m_pDoc, Mode()) == 0) return;
    m_browsePos = browsePrevious(m_browsePos);
    ShowBrowsedName(true);
}

void CSearchBar::OnNext() {
    if (!m_pDoc) return;
    const int size = browseListSize(*m_pDoc, Mode());
    if (size == 0) return;
    m_browsePos = browseNext(m_browsePos, size);
    ShowBrowsedName(true);
}

void CSearchBar::ShowBrowsedName(bool moveSlider) {
    const int mode = Mode();
    if (moveSlider) {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(browseSliderPosition(mode, m_browsePos));
    }
    // A position left over from a longer list (before a reload) names nothing.
    if (const char* name = browseName(*m_pDoc, mode, m_browsePos))
        m_comboSearch->setEditText(QString::fromLatin1(name));
}

void CSearchBar::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // A window system's show (the main window restored from an icon) is no show of the bar
    // of its own, and must not undo the view's Zoom Link and style.
    if (e->spontaneous()) return;
    // Each show starts the bar as the view starts: Zoom Link on, box style, Latin names.
    m_btnZoomLink->setChecked(true);
    m_btnBarStyle->setChecked(true);
    const QSignalBlocker quiet(m_comboMode);  // choosing the start mode is no user's change
    m_comboMode->setCurrentIndex(0);
}
