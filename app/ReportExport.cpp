#include "ReportExport.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "CladoramaView.h"

bool WriteReportFile(CCladoramaDoc& doc, CCladoramaView& view, const QString& path,
                     const QStringList& files, QString* why) {
    ReportOptions options;
    if (files.size() == 2) {
        options.sides[0].file = files[0].toStdString();
        options.sides[1].file = files[1].toStdString();
    } else {
        options.sides[0].file = kTreeFile1;
        options.sides[1].file = kTreeFile2;
    }
    std::string reason;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = writeChangeReport(doc, path.toLocal8Bit().toStdString(), options, reason);
    QApplication::restoreOverrideCursor();
    view.OnUpdate();
    if (!written && why) *why = QString::fromLocal8Bit(reason.c_str());
    return written;
}

void ExportReport(QWidget* parent, CCladoramaDoc& doc, CCladoramaView& view,
                  const QStringList& files) {
    if (!doc.ChangesReady()) return;
    QString name = QStringLiteral("changes.html");
    if (files.size() == 2)
        name = QFileInfo(files[0]).completeBaseName() + QStringLiteral("-") +
               QFileInfo(files[1]).completeBaseName() + QStringLiteral(".html");
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export Report"), name,
                                                QStringLiteral("Web page (*.html *.htm)"));
    if (path.isEmpty()) return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("html") && suffix != QLatin1String("htm")) path += QStringLiteral(".html");
    QString why;
    if (!WriteReportFile(doc, view, path, files, &why))
        QMessageBox::warning(parent, QStringLiteral("Export Report"),
                             QStringLiteral("Cannot save the report: ") + why);
}
