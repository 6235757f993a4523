#include <QByteArray>
#include <exception>
#include <thread>
#include <QString>

#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "FigureFile.h"
#include "ReplaceFile.h"
#include "SharedOverview.h"

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

bool svgOf(CCladoramaView& view, SharedOverview& overview, const std::string& caption,
           std::vector<ReportFigure>& figures, std::string& why) {
    QByteArray bytes;
    QString error;
    if (!SvgFigureBytes(view, bytes, &error, &overview)) {
        why = "cannot draw the picture: " + error.toStdString();
        return false;
    }
    figures.push_back({caption, bytes.toStdString()});
    return true;
}

}  // namespace

bool drawReportFigures(CCladoramaDoc& doc, const std::vector<PicturedTaxon>& taxa, int width,
                       int height, std::vector<ReportFigure>& figures, std::string& why) {
    FrameworkAside aside(doc);
    CCladoramaView view;
    view.OnCreate(&doc);
    view.OnSize(width, height);
    view.OnUpdate();
    view.SetChangesShown(true);
    // Every picture shows the same overview of all taxa: drawn for the first, copied after.
    SharedOverview overview;
    if (!svgOf(view, overview, "Both classifications whole, with the changes", figures, why)) return false;
    for (const PicturedTaxon& taxon : taxa) {
        if (!taxon.node1 && !taxon.node2) continue;
        // Both panels fly to the two taxa as a chosen row of the changes flies them (the
        // nodes are the document's, which this function may move).
        view.FlyToTaxa(const_cast<TreeNode*>(taxon.node1), const_cast<TreeNode*>(taxon.node2));
        if (!svgOf(view, overview, taxon.name, figures, why)) return false;
    }
    return true;
}

bool writeChangeReport(CCladoramaDoc& doc, const std::string& path, const ReportOptions& options,
                       std::string& why) {
    if (!doc.FindChangesNow()) {
        why = "no pair of classifications is loaded";
        return false;
    }
    // The rows are made now, before two threads read the list.
    (void)doc.m_changes.rows();
    // The page's text on a thread of its own while this one draws the pictures: the text
    // reads the taxa's names and places in the trees, the drawing writes only the pick boxes
    // and the overview's boxes.
    ReportPageParts parts;
    std::exception_ptr failed;
    std::thread text([&] {
        try {
            parts = changeReportParts(doc, options);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    std::vector<ReportFigure> figures;
    const bool drawn =
        drawReportFigures(doc, taxaWithMostChanges(doc.m_changes), 1000, 700, figures, why);
    text.join();
    if (failed) std::rethrow_exception(failed);
    if (!drawn) return false;
    std::string page = std::move(parts.before);
    appendReportFigures(page, figures);
    page += parts.after;
    std::string reason;
    if (!replaceFileWith(path, page, &reason)) {
        why = "cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}
