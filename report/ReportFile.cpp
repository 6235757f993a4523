#include <QByteArray>
#include <QString>

#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "FigureFile.h"
#include "ReplaceFile.h"

namespace {

// While the report's own view draws, the document tells no framework: that view's Zoom Link
// and overview style are not the window's, whose buttons must not follow them.
class FrameworkAside {
public:
    explicit FrameworkAside(CCladoramaDoc& doc) : m_doc(doc), m_framework(doc.m_pFramework) {
        doc.m_pFramework = nullptr;
    }
    ~FrameworkAside() { m_doc.m_pFramework = m_framework; }
    FrameworkAside(const FrameworkAside&) = delete;
    FrameworkAside& operator=(const FrameworkAside&) = delete;

private:
    CCladoramaDoc& m_doc;
    DocFramework* m_framework;
};

bool svgOf(CCladoramaView& view, const std::string& caption, std::vector<ReportFigure>& figures,
           std::string& why) {
    QByteArray bytes;
    QString error;
    if (!SvgFigureBytes(view, bytes, &error)) {
        why = "cannot draw the picture: " + error.toStdString();
        return false;
    }
    figures.push_back({caption, bytes.toStdString()});
    return true;
}

}  // namespace

bool drawReportFigures(CCladoramaDoc& doc, const std::vector<std::string>& taxa, int width,
                       int height, std::vector<ReportFigure>& figures, std::string& why) {
    FrameworkAside aside(doc);
    CCladoramaView view;
    view.OnCreate(&doc);
    view.OnSize(width, height);
    view.OnUpdate();
    view.SetChangesShown(true);
    if (!svgOf(view, "Both classifications whole, with the changes", figures, why)) return false;
    for (const std::string& name : taxa) {
        // A name of the list always names a taxon; one that does not is left out.
        if (!FocusBothPanels(view, name.c_str(), false)) continue;
        if (!svgOf(view, name, figures, why)) return false;
    }
    return true;
}

bool writeChangeReport(CCladoramaDoc& doc, const std::string& path, const ReportOptions& options,
                       std::string& why) {
    if (!doc.FindChangesNow()) {
        why = "no pair of classifications is loaded";
        return false;
    }
    std::vector<ReportFigure> figures;
    if (!drawReportFigures(doc, taxaWithMostChanges(doc.m_changes), 1000, 700, figures, why))
        return false;
    const std::string page = changeReportHtml(doc, options, figures);
    std::string reason;
    if (!replaceFileWith(path, page, &reason)) {
        why = "cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}
