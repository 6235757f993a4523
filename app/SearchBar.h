// The search bar: the strip of controls beside the tool bar (Zoom Link, the overview's two
// styles, SEARCH, the search mode, the search text and the name browser), laid out as the
// dialog template places them. Names cross into the controls and back as ISO-8859-1.
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

    // The controls' handlers: Zoom Link (1003), the two styles (1010, 1012), SEARCH (1011,
    // and Enter in the text box), the mode list (1001), the slider moved by the user (1006),
    // previous (1013) and next (1015).
    void OnZoomLink();
    void OnBarStyle();
    void OnTreeStyle();
    void OnSearch();
    void OnSelchangeMode();
    void OnHScroll(int position);
    void OnPrev();
    void OnNext();

protected:
    void showEvent(QShowEvent* e) override;

private:
    // The name at m_browsePos into the text box, the slider to its position.
    void ShowBrowsedName(bool moveSlider);
    // The mode of the mode list's selection.
    int Mode() const;
};
