#include "ChangesPanel.h"

#include <algorithm>

#include <QAction>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QSaveFile>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CladoramaApp.h"
#include "CladoramaDoc.h"
#include "CladoramaView.h"

CChangeTableModel::CChangeTableModel(ChangeList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

int CChangeTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_list.shown().size());
}

int CChangeTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kChangeColumns;
}

QVariant CChangeTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ChangeRow& row = m_list.rows()[m_list.shown()[static_cast<size_t>(index.row())]];
    return QString::fromLatin1(m_list.cell(row, static_cast<ChangeColumn>(index.column())));
}

QVariant CChangeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return QString::fromLatin1(changeColumnTitle(static_cast<ChangeColumn>(section)));
}

void CChangeTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kChangeColumns) return;
    Reset([&] { m_list.sortBy(static_cast<ChangeColumn>(column), order == Qt::AscendingOrder); });
}

CChangesPanel::CChangesPanel(CCladoramaDoc& doc, CCladoramaView& view, QWidget* parent)
    : QDockWidget(QStringLiteral("Changes"), parent), m_doc(doc), m_view(view) {
    setObjectName(QStringLiteral("changesPanel"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);

    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);

    m_summary = new QLabel(body);
    m_summary->setObjectName(QStringLiteral("changesSummary"));
    m_summary->setWordWrap(true);
    column->addWidget(m_summary);
    m_progress = new QProgressBar(body);
    m_progress->setObjectName(QStringLiteral("changesProgress"));
    m_progress->setRange(0, CCladoramaDoc::kChangeSteps);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(m_summary->fontMetrics().height());
    m_progress->hide();
    column->addWidget(m_progress);
    m_poll = new QTimer(this);
    m_poll->setInterval(150);
    connect(m_poll, &QTimer::timeout, this, [this] { ShowFinding(); });

    auto* filters = new QHBoxLayout;
    m_btnKinds = new QToolButton(body);
    m_btnKinds->setObjectName(QStringLiteral("changeKinds"));
    m_btnKinds->setText(QStringLiteral("Kinds"));
    m_btnKinds->setPopupMode(QToolButton::InstantPopup);
    m_btnKinds->setMinimumWidth(m_btnKinds->fontMetrics().horizontalAdvance(QStringLiteral("All kinds")) + 36);
    m_menuKinds = new QMenu(m_btnKinds);
    QAction* all = m_menuKinds->addAction(QStringLiteral("All kinds"));
    QAction* none = m_menuKinds->addAction(QStringLiteral("No kinds"));
    m_menuKinds->addSeparator();
    for (int k = 0; k < kChangeRowKinds; ++k) {
        QAction* a = m_menuKinds->addAction(
            QString::fromLatin1(changeRowKindName(static_cast<ChangeRowKind>(k))));
        a->setCheckable(true);
        a->setChecked(true);
        a->setData(k);
        connect(a, &QAction::toggled, this, [this] { ApplyFilter(); });
    }
    auto checkAll = [this](bool on) {
        for (QAction* a : m_menuKinds->actions())
            if (a->isCheckable()) {
                const QSignalBlocker quiet(a);
                a->setChecked(on);
            }
        ApplyFilter();
    };
    connect(all, &QAction::triggered, this, [checkAll] { checkAll(true); });
    connect(none, &QAction::triggered, this, [checkAll] { checkAll(false); });
    m_btnKinds->setMenu(m_menuKinds);
    filters->addWidget(m_btnKinds);

    m_comboRank = new QComboBox(body);
    m_comboRank->setObjectName(QStringLiteral("changeRank"));
    m_comboRank->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_comboRank, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    filters->addWidget(m_comboRank);
    m_checkAbove = new QCheckBox(QStringLiteral("and above"), body);
    m_checkAbove->setObjectName(QStringLiteral("changeRankAndAbove"));
    connect(m_checkAbove, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
    filters->addWidget(m_checkAbove);

    m_editText = new QLineEdit(body);
    m_editText->setObjectName(QStringLiteral("changeText"));
    m_editText->setPlaceholderText(QStringLiteral("Name contains"));
    m_editText->setClearButtonEnabled(true);
    connect(m_editText, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    filters->addWidget(m_editText, 1);

    m_btnExport = new QToolButton(body);
    m_btnExport->setObjectName(QStringLiteral("changeExport"));
    m_btnExport->setText(QStringLiteral("Export..."));
    m_btnExport->setToolTip(QStringLiteral("Save the rows shown as CSV or TSV"));
    connect(m_btnExport, &QToolButton::clicked, this, [this] { OnExport(); });
    filters->addWidget(m_btnExport);
    column->addLayout(filters);

    m_model = new CChangeTableModel(m_doc.m_changes, this);
    m_table = new QTableView(body);
    m_table->setObjectName(QStringLiteral("changeTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    const int widths[kChangeColumns] = {90, 70, 190, 190, 230, 200};
    for (int c = 0; c < kChangeColumns; ++c) m_table->setColumnWidth(c, widths[c]);
    // A click or Enter on a row flies there; moving through the rows with the arrows reads
    // them without a flight at every step.
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex& i) { ChooseRow(i.row()); });
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& i) { ChooseRow(i.row()); });
    column->addWidget(m_table, 1);

    setWidget(body);
    Refresh();
}

void CChangesPanel::Refresh() {
    const bool finding = m_doc.Changes() == ChangesState::Finding || m_doc.Changes() == ChangesState::Waiting;
    m_progress->setVisible(finding);
    m_btnExport->setEnabled(!finding);
    if (finding) {
        if (!m_poll->isActive()) m_poll->start();
        ShowFinding();
    } else {
        m_poll->stop();
    }
    const ChangeList& list = m_doc.m_changes;
    if (list.generation() == m_generation) {
        if (!finding) UpdateSummary();
        return;
    }
    m_generation = list.generation();
    FillRanks();
    ApplyFilter();
}

void CChangesPanel::ShowFinding() {
    if (m_doc.Changes() != ChangesState::Finding && m_doc.Changes() != ChangesState::Waiting) return;
    static const char* const kSteps[CCladoramaDoc::kChangeSteps] = {
        "pairing renamed taxa", "relating the higher taxa", "listing the changes"};
    const int done = std::min(m_doc.ChangesStepsDone(), CCladoramaDoc::kChangeSteps - 1);
    m_progress->setValue(done);
    m_summary->setText(QStringLiteral("Finding the changes between the two classifications: "
                                      "%1 (step %2 of %3)...")
                           .arg(QString::fromLatin1(kSteps[done]))
                           .arg(done + 1)
                           .arg(CCladoramaDoc::kChangeSteps));
}

void CChangesPanel::FillRanks() {
    const QSignalBlocker quiet(m_comboRank);
    const QString before = m_comboRank->currentIndex() > 0 ? m_comboRank->currentText() : QString();
    m_comboRank->clear();
    m_comboRank->addItem(QStringLiteral("All ranks"), -1);
    const ChangeList& list = m_doc.m_changes;
    for (uint32_t i : list.ranksTopDown())
        m_comboRank->addItem(QString::fromLatin1(list.ranks()[i]), static_cast<int>(i));
    const int again = before.isEmpty() ? 0 : m_comboRank->findText(before);
    m_comboRank->setCurrentIndex(again < 0 ? 0 : again);
}

void CChangesPanel::ApplyFilter() {
    ChangeFilter filter;
    filter.kinds = 0;
    for (QAction* a : m_menuKinds->actions())
        if (a->isCheckable() && a->isChecked()) filter.kinds |= 1u << a->data().toInt();
    filter.rank = m_comboRank->currentIndex() > 0 ? m_comboRank->currentData().toInt() : -1;
    filter.andAbove = m_checkAbove->isChecked();
    filter.text = m_editText->text().toLatin1().toStdString();
    int shownKinds = 0;
    for (int k = 0; k < kChangeRowKinds; ++k) shownKinds += (filter.kinds >> k) & 1;
    m_btnKinds->setText(shownKinds == kChangeRowKinds ? QStringLiteral("All kinds")
                                                      : QStringLiteral("Kinds: %1").arg(shownKinds));
    m_model->Reset([&] { m_doc.m_changes.setFilter(filter); });
    if (m_doc.Changes() == ChangesState::Finding || m_doc.Changes() == ChangesState::Waiting) ShowFinding();
    else UpdateSummary();
}

void CChangesPanel::UpdateSummary() {
    const ChangeList& list = m_doc.m_changes;
    const QLocale locale(QLocale::English);
    QStringList parts;
    for (int k = 0; k < kChangeRowKinds; ++k) {
        const int n = list.counts()[static_cast<size_t>(k)];
        if (n) parts << QStringLiteral("%1 %2").arg(locale.toString(n),
                                                   QString::fromLatin1(changeRowKindName(static_cast<ChangeRowKind>(k))));
    }
    QString ranks = QStringLiteral("All ranks");
    if (m_comboRank->currentIndex() > 0)
        ranks = m_comboRank->currentText() + (m_checkAbove->isChecked() ? QStringLiteral(" and above") : QString());
    if (list.rows().empty()) {
        m_summary->setText(QStringLiteral("No changes: the two classifications are loaded and "
                                          "agree, or none are loaded."));
        return;
    }
    m_summary->setText(QStringLiteral("<b>%1:</b> %2. <b>%3</b> of %4 rows shown.")
                           .arg(ranks.toHtmlEscaped(),
                                parts.isEmpty() ? QStringLiteral("no changes") : parts.join(QStringLiteral(", ")),
                                locale.toString(static_cast<qulonglong>(list.shown().size())),
                                locale.toString(static_cast<qulonglong>(list.rows().size()))));
}

void CChangesPanel::ChooseRow(int row) {
    const ChangeList& list = m_doc.m_changes;
    if (row < 0 || static_cast<size_t>(row) >= list.shown().size()) return;
    const ChangeRow& r = list.rows()[list.shown()[static_cast<size_t>(row)]];
    m_view.HighlightChange(list.shown()[static_cast<size_t>(row)]);
    // The view moves its focus nodes; the nodes are the document's own.
    m_view.FlyToTaxa(const_cast<TreeNode*>(r.node1), const_cast<TreeNode*>(r.node2),
                     list.sharedSpecies(r));
}

bool CChangesPanel::SelectListRow(uint32_t listRow) {
    const std::vector<uint32_t>& shown = m_doc.m_changes.shown();
    const auto at = std::find(shown.begin(), shown.end(), listRow);
    if (at == shown.end()) {
        m_table->clearSelection();
        return false;
    }
    const int row = static_cast<int>(at - shown.begin());
    m_table->selectRow(row);
    m_table->scrollTo(m_model->index(row, 0));
    return true;
}

bool CChangesPanel::ExportTo(const QString& path) {
    const char separator = QFileInfo(path).suffix().compare(QStringLiteral("tsv"), Qt::CaseInsensitive) == 0 ? '\t' : ',';
    const std::string text = m_doc.m_changes.table(separator);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.commit())
        return true;
    m_doc.MessageBox(("Cannot write " + path.toLocal8Bit().toStdString() + ": " +
                      file.errorString().toLocal8Bit().toStdString())
                         .c_str());
    return false;
}

void CChangesPanel::OnExport() {
    QFileDialog dlg(window(), QStringLiteral("Export Changes"));
    dlg.setObjectName(QStringLiteral("exportChangesDialog"));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilters({QStringLiteral("Comma-separated values (*.csv)"),
                        QStringLiteral("Tab-separated values (*.tsv)")});
    dlg.setDefaultSuffix(QStringLiteral("csv"));
    connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg](const QString& filter) {
        dlg.setDefaultSuffix(filter.contains(QStringLiteral("*.tsv")) ? QStringLiteral("tsv")
                                                                      : QStringLiteral("csv"));
    });
    dlg.selectFile(QStringLiteral("changes.csv"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    ExportTo(dlg.selectedFiles().first());
}
