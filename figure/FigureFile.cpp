#include "FigureFile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QSaveFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "Figure.h"
#include "PainterCanvas.h"
#include "Picking.h"

namespace {

// The window's pixels per inch in a figure: what a screen at 100 % shows.
constexpr int kPixelsPerInch = 96;

bool draw(CCladoramaView& view, QPaintDevice& device, bool clipByHand, QString* error,
          std::string* tagged = nullptr, SharedOverview* shared = nullptr) {
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error) *error = QStringLiteral("cannot draw the picture");
        return false;
    }
    PainterCanvas canvas(painter, view.m_clientWidth, view.m_clientHeight, clipByHand);
    canvas.KeepTaggedLinesIn(tagged);
    DrawViewStill(canvas, view, shared);
    return painter.end();
}

}  // namespace

FigureFormat FigureFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return FigureFormat::Png;
    if (suffix == QLatin1String("svg")) return FigureFormat::Svg;
    if (suffix == QLatin1String("pdf")) return FigureFormat::Pdf;
    return FigureFormat::Unknown;
}

bool SvgFigureBytes(CCladoramaView& view, QByteArray& bytes, QString* error,
                    SharedOverview* shared) {
    const int w = view.m_clientWidth, h = view.m_clientHeight;
    if (w <= 0 || h <= 0) {
        if (error) *error = QStringLiteral("the view has no size");
        return false;
    }
    const QString title = view.m_pDocument
                              ? QString::fromLatin1(view.m_pDocument->m_strTitle.c_str())
                              : QString();
    QSvgGenerator svg;
    // Drawn into memory first: the changes' lines join the file as paths of their own.
    QBuffer drawn;
    drawn.open(QIODevice::WriteOnly);
    svg.setOutputDevice(&drawn);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setResolution(kPixelsPerInch);
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("Cladorama"));
    // The generator writes no clipping: the panels' boxes are cut by hand.
    std::string tagged;
    if (!draw(view, svg, true, error, &tagged, shared)) return false;
    bytes = drawn.data();
    if (!tagged.empty()) {
        const qsizetype end = bytes.lastIndexOf("</svg>");
        if (end >= 0)
            bytes.insert(end, QByteArray("<g id=\"changes\">\n") +
                                  QByteArray::fromStdString(tagged) + "</g>\n");
    }
    return true;
}

bool WriteVectorFigure(CCladoramaView& view, const QString& path, FigureFormat format,
                       QString* error) {
    const int w = view.m_clientWidth, h = view.m_clientHeight;
    if (w <= 0 || h <= 0) {
        if (error) *error = QStringLiteral("the view has no size");
        return false;
    }
    // Drawn into a new file beside the target, which replaces it only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QString title = view.m_pDocument
                              ? QString::fromLatin1(view.m_pDocument->m_strTitle.c_str())
                              : QString();
    bool ok = false;
    if (format == FigureFormat::Svg) {
        QByteArray bytes;
        ok = SvgFigureBytes(view, bytes, error) && file.write(bytes) == bytes.size();
    } else if (format == FigureFormat::Pdf) {
        QPdfWriter pdf(&file);
        pdf.setCreator(QStringLiteral("Cladorama"));
        pdf.setTitle(title);
        pdf.setResolution(kPixelsPerInch);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(w * 72.0 / kPixelsPerInch, h * 72.0 / kPixelsPerInch),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch));
        ok = draw(view, pdf, false, error);
    } else if (error) {
        *error = QStringLiteral("not a vector format");
    }
    if (!ok) {
        if (error && error->isEmpty()) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

bool WritePngFigure(const QImage& frame, const QString& path, QString* error) {
    if (frame.isNull()) {
        if (error) *error = QStringLiteral("no picture was drawn");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(frame)) {
        if (error) *error = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

bool FocusBothPanels(CCladoramaView& view, const char* name, bool sayFound) {
    CCladoramaDoc* doc = view.m_pDocument;
    if (!doc || !name) return false;
    ViewPanel* active = &view.m_panel1;
    TreeNode* f = FindNodeByLatinName(&doc->m_tree1, name, 1, sayFound);
    if (!f) {
        active = &view.m_panel2;
        f = FindNodeByLatinName(&doc->m_tree2, name, 2, sayFound);
    }
    if (!f) return false;
    ViewPanel* other = active == &view.m_panel1 ? &view.m_panel2 : &view.m_panel1;
    view.m_activePanel = active;
    view.m_otherPanel = other;
    view.m_overview.targetPanel = active;
    active->focus = f;
    TreeNode* c = other->tree ? FindNodeByLatinName(other->root, f->latinName, other->tree->treeId, sayFound)
                              : nullptr;
    if (c) {
        view.SetZoomLink(false);
        other->focus = c;
    } else {
        view.SetZoomLink(true);
        TreeNode* q = f->parent;
        for (int i = 0; i < f->level && q; ++i, q = q->parent) {
            if (q->onlyInTree == 0) {
                other->focus = q;
                break;
            }
        }
    }
    view.FlyToFocus();
    return true;
}
