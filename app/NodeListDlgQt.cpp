#include "NodeListDlgQt.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QResizeEvent>

#include "DialogUnits.h"

namespace {

class NodeListWindow : public QDialog {
public:
    NodeListWindow(QWidget* owner, CQtNodeListDlg& dlg) : QDialog(owner), m_dlg(dlg) {}
    QListWidget* list = nullptr;

protected:
    // Only the close box gets here; Enter and Escape merely hide the dialog and keep it
    // open for the next search.
    void closeEvent(QCloseEvent* e) override {
        m_dlg.OnClose();
        QDialog::closeEvent(e);
    }
    void resizeEvent(QResizeEvent* e) override {
        QDialog::resizeEvent(e);
        if (list) list->setGeometry(5, 5, e->size().width() - 10, e->size().height() - 10);
    }
    // Enter ends the dialog as Escape does: hidden, still open for the next search. A
    // dialog without a default button would otherwise let Enter pass unnoticed.
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            hide();
            return;
        }
        QDialog::keyPressEvent(e);
    }
    // A double click in the list box is a pick even where no entry is, or on an empty
    // list: the flight then goes to the unchanged focus.
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (list && watched == list->viewport() && e->type() == QEvent::MouseButtonDblClick &&
            !list->itemAt(static_cast<QMouseEvent*>(e)->position().toPoint()))
            m_dlg.OnSelChange(m_dlg.GetCurSel());
        return QDialog::eventFilter(watched, e);
    }

private:
    CQtNodeListDlg& m_dlg;
};

}  // namespace

CQtNodeListDlg::CQtNodeListDlg(QWidget* owner) : CNodeListDlg(owner), m_owner(owner) {}

CQtNodeListDlg::~CQtNodeListDlg() { delete m_window.data(); }

bool CQtNodeListDlg::Create() {
    auto* w = new NodeListWindow(m_owner, *this);
    w->setWindowTitle(QStringLiteral("Node list"));
    w->setModal(false);
    w->setWindowFlags(Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    const DialogUnits du(w->font());
    w->resize(du.X(119), du.Y(135));
    m_list = new QListWidget(w);
    m_list->setGeometry(du.Rect(7, 7, 105, 121));
    w->list = m_list;
    m_window = w;
    // Only a change of the selection is a pick. Qt also moves the current row when the list
    // merely gets the focus (the window activated), which picks nothing.
    QObject::connect(m_list, &QListWidget::itemSelectionChanged,
                     [this] { OnSelChange(GetCurSel()); });
    QObject::connect(m_list, &QListWidget::itemDoubleClicked,
                     [this](QListWidgetItem*) { OnSelChange(GetCurSel()); });
    m_list->viewport()->installEventFilter(w);
    return OnInitDialog();
}

bool CQtNodeListDlg::OnInitDialog() {
    CNodeListDlg::OnInitDialog();
    const QSize client = m_window->size();
    m_list->setGeometry(5, 5, client.width() - 9, client.height() - 9);
    return true;
}

void CQtNodeListDlg::ResetContent() {
    CNodeListDlg::ResetContent();
    if (!m_list) return;
    const QSignalBlocker quiet(m_list);  // emptying the list is not a pick
    m_list->clear();
}

void CQtNodeListDlg::AddString(const char* line) {
    CNodeListDlg::AddString(line);
    if (m_list) m_list->addItem(QString::fromLatin1(line));
}

void CQtNodeListDlg::SetWindowText(const char* title) {
    CNodeListDlg::SetWindowText(title);
    if (m_window) m_window->setWindowTitle(QString::fromLatin1(title));
}

void CQtNodeListDlg::ShowWindow() {
    CNodeListDlg::ShowWindow();
    if (!m_window) return;
    m_window->show();
    m_window->raise();
}

int CQtNodeListDlg::GetCurSel() const {
    if (!m_list) return -1;
    const QList<QListWidgetItem*> chosen = m_list->selectedItems();
    return chosen.isEmpty() ? -1 : m_list->row(chosen.front());
}
