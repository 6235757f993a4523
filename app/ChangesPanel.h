// View > Changes: the document's list of changes in a dock beside or below the view, with a
// summary of the counts, the filters, a table sorted by any column, and a chosen row flown to
// in both panels.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>

class CCladoramaDoc;
class CCladoramaView;
class ChangeList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;
class QTableView;
class QToolButton;

// The rows the list shows, for a table view: it asks only for the cells on screen, so a list
// of any length stays quick.
class CChangeTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CChangeTableModel(ChangeList& list, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;
    // Changes the list under the model (fills, empties, filters it) as one reset of the rows.
    template <class Change>
    void Reset(Change change) {
        beginResetModel();
        change();
        endResetModel();
    }

private:
    ChangeList& m_list;
};

class CChangesPanel : public QDockWidget {
    Q_OBJECT
public:
    CChangesPanel(CCladoramaDoc& doc, CCladoramaView& view, QWidget* parent);

    // The document's list may have been filled or emptied, or be being found: the table
    // follows when it was, and while it is being found the panel says how far it got.
    void Refresh();
    // Flies to the taxa of the row shown at `row`; the view highlights its line.
    void ChooseRow(int row);
    // Selects, without flying, the table's row of the list's row `listRow` (an index into
    // ChangeList::rows()), when the filters show it. False when they do not.
    bool SelectListRow(uint32_t listRow);
    // Writes the rows shown: tab-separated for a .tsv file, else comma-separated. False (after
    // a message box) when the file could not be written.
    bool ExportTo(const QString& path);
    // Asks for a file and exports to it.
    void OnExport();

    QLabel* m_summary = nullptr;
    QProgressBar* m_progress = nullptr;  // shown while the changes are being found
    QToolButton* m_btnKinds = nullptr;
    QMenu* m_menuKinds = nullptr;
    QComboBox* m_comboRank = nullptr;
    QCheckBox* m_checkAbove = nullptr;
    QLineEdit* m_editText = nullptr;
    QToolButton* m_btnExport = nullptr;
    QTableView* m_table = nullptr;
    CChangeTableModel* m_model = nullptr;

private:
    void ApplyFilter();
    void FillRanks();
    void UpdateSummary();
    // While the changes are being found: the progress bar and its words, polled.
    void ShowFinding();

    CCladoramaDoc& m_doc;
    CCladoramaView& m_view;
    uint64_t m_generation = 0;
    QTimer* m_poll = nullptr;
};
