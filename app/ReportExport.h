// File > Export Report: the comparison shown, written as one web page.
#pragma once

#include <QString>
#include <QStringList>

class CCladoramaDoc;
class CCladoramaView;
class QWidget;

// Writes the report of the document's pair as `path` (whole or not at all); `files` are the
// pair's two files as opened (empty for the tree files of the current folder). The window's
// view is drawn afresh afterwards: the report's pictures lay out the overview for their own
// size. False, with the reason in `why`, when it could not be written.
bool WriteReportFile(CCladoramaDoc& doc, CCladoramaView& view, const QString& path,
                     const QStringList& files, QString* why);

// Asks where to save the report and writes it, with a message box when that fails. Only
// once the changes are found: the menu entry waits for them.
void ExportReport(QWidget* parent, CCladoramaDoc& doc, CCladoramaView& view,
                  const QStringList& files);
