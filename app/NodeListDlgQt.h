// The node list as a window: a modeless "Node list" dialog with one list box, mirroring
// the state the document keeps in CNodeListDlg.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QPointer>

#include "NodeListDlg.h"

class QWidget;

class CQtNodeListDlg : public CNodeListDlg {
public:
    explicit CQtNodeListDlg(QWidget* owner);
    ~CQtNodeListDlg() override;

    bool Create() override;
    bool OnInitDialog() override;
    void ResetContent() override;
    void AddString(const char* line) override;
    void SetWindowText(const char* title) override;
    void ShowWindow() override;
    int GetCurSel() const override;

    QDialog* Window() const { return m_window; }
    QListWidget* List() const { return m_list; }

private:
    QWidget* m_owner;
    // The window is the owner's child and may go first when the owner is destroyed.
    QPointer<QDialog> m_window;
    QPointer<QListWidget> m_list;
};
