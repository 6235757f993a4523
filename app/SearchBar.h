// The search bar: the strip of controls beside the tool bar (Zoom Link, the overview's two
// styles, SEARCH, the search mode, the search text and the name browser). Its controls are
// laid out as the dialog template places them; what they do comes with their own handlers.
#pragma once

#include <QWidget>

class CCladoramaDoc;
class QComboBox;
class QPushButton;
class QSlider;
class QToolButton;

class CSearchBar : public QWidget {
    Q_OBJECT
public:
    explicit CSearchBar(QWidget* parent = nullptr);

    CCladoramaDoc* m_pDoc = nullptr;  // not owned; stored by the main frame when shown
    int m_browsePos = 0;
    QToolButton* m_btnNext = nullptr;       // 1015
    QToolButton* m_btnPrev = nullptr;       // 1013
    QToolButton* m_btnTreeStyle = nullptr;  // 1012
    QToolButton* m_btnBarStyle = nullptr;   // 1010
    QToolButton* m_btnZoomLink = nullptr;   // 1003
    QComboBox* m_comboMode = nullptr;       // 1001
    QComboBox* m_comboSearch = nullptr;     // 1000
    QSlider* m_slider = nullptr;            // 1006
    QPushButton* m_btnSearch = nullptr;     // 1011

    // The slider's range, redrawing the slider.
    void SetSliderRange(int minimum, int maximum);

protected:
    void showEvent(QShowEvent* e) override;
};
