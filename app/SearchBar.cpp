#include "SearchBar.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "DialogUnits.h"
#include "Icons.h"

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
}

void CSearchBar::SetSliderRange(int minimum, int maximum) {
    m_slider->setRange(minimum, maximum);
    m_slider->update();
}

void CSearchBar::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Each show starts the bar as the view starts: Zoom Link on, box style, Latin names.
    m_btnZoomLink->setChecked(true);
    m_btnBarStyle->setChecked(true);
    m_comboMode->setCurrentIndex(0);
}
