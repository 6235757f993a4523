#include "NodeListDlg.h"

#include "CladoramaDoc.h"

CNodeListDlg::CNodeListDlg(void*) {}
CNodeListDlg::~CNodeListDlg() = default;

bool CNodeListDlg::Create() { return OnInitDialog(); }

bool CNodeListDlg::OnInitDialog() {
    m_bOpen = true;
    return true;
}

void CNodeListDlg::ResetContent() {
    m_lines.clear();
    m_curSel = -1;
}

void CNodeListDlg::AddString(const char* line) { m_lines.emplace_back(line); }
void CNodeListDlg::SetWindowText(const char* title) { m_title = title; }
void CNodeListDlg::ShowWindow() { m_visible = true; }
int CNodeListDlg::GetCurSel() const { return m_curSel; }

void CNodeListDlg::OnClose() {
    m_bOpen = false;
    m_visible = false;
}

void CNodeListDlg::OnSelChange(int index) {
    m_curSel = index >= 0 && index < static_cast<int>(m_lines.size()) ? index : -1;
    if (!m_pDoc) return;
    m_pDoc->m_bNodeSelected = true;
    m_pDoc->UpdateAllViews();
}
