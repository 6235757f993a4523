// Figures of the view written to files. A figure shows what the view shows at that moment,
// at the size of its client area: both tree panels clipped to their rectangles, the legend
// strip with the rank paths, and the overview drawn in full with its frames.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class CCladoramaView;
struct SharedOverview;

enum class FigureFormat { Unknown, Png, Svg, Pdf };

// By the file name's suffix, in any case: .png, .svg, .pdf.
FigureFormat FigureFormatOf(const QString& path);

// Writes the view as vectors: an SVG file whose units are the window's pixels, or a
// one-page PDF of the window's size at 96 pixels an inch. Needs a QGuiApplication (for the
// fonts). False, with the reason in `error`, when the file cannot be written.
// Like every figure, written beside `path` and renamed over it when complete: a failure
// leaves a file already at `path` as it was.
bool WriteVectorFigure(CCladoramaView& view, const QString& path, FigureFormat format,
                       QString* error);

// The SVG file WriteVectorFigure writes, as bytes: for pages that hold figures of their own.
// Pictures of one view in a row may share the overview, drawn once (see SharedOverview.h).
bool SvgFigureBytes(CCladoramaView& view, QByteArray& bytes, QString* error,
                    SharedOverview* shared = nullptr);

// Writes a frame's pixels as a PNG file, replacing `path` only when complete.
bool WritePngFigure(const QImage& frame, const QString& path, QString* error);

// The taxon of Latin name `name` (any case of ASCII letters; tree 1 first, then tree 2)
// becomes the focus of its tree's panel, which becomes the active one, and the other panel
// takes its counterpart: the taxon of the same name there, or with none, the nearest
// ancestor both trees hold, with Zoom Link on. Both panels then fly to their foci, as a
// click on the taxon's flag does, and as it, says so on the console unless `sayFound` is
// false. False when no taxon has that name.
bool FocusBothPanels(CCladoramaView& view, const char* name, bool sayFound = true);
