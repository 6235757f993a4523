// The node list: the modeless dialog that lists the last search's matches.
#pragma once

#include <string>
#include <vector>

class CCladoramaDoc;

// The dialog's state lives here; the window system's dialog derives from it and mirrors
// every change into its list box (each overridden member calls the base first). Without
// a window system (command line, tests) this class is the whole dialog.
class CNodeListDlg {
public:
    bool m_bOpen = false;             // from OnInitDialog until closed by its close box
    CCladoramaDoc* m_pDoc = nullptr;  // not owned

    explicit CNodeListDlg(void* parent = nullptr);
    virtual ~CNodeListDlg();

    // Creates the (hidden) window and runs OnInitDialog. Returns false when no window
    // could be made.
    virtual bool Create();
    virtual bool OnInitDialog();

    // The list box and the window, as the document drives them. ResetContent may come
    // before Create() (the reload command empties whatever dialog object there is), so a
    // window-system override must cope with having no window yet.
    virtual void ResetContent();
    virtual void AddString(const char* line);
    virtual void SetWindowText(const char* title);
    virtual void ShowWindow();
    // Index of the selected line, or -1.
    virtual int GetCurSel() const;

    // Close box: the next search replaces this dialog.
    virtual void OnClose();
    // A click that changed the selection, or a double click, on line `index` (-1: none).
    void OnSelChange(int index);

    // What the list shows: its lines in order, the title, whether it is shown.
    const std::vector<std::string>& lines() const { return m_lines; }
    const std::string& title() const { return m_title; }
    bool visible() const { return m_visible; }

protected:
    std::vector<std::string> m_lines;
    std::string m_title;
    bool m_visible = false;
    int m_curSel = -1;
};
