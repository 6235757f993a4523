// cladorama-cli picture: the viewer's picture of two classifications written to a file,
// without a window or a display.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CliFramework.h"
#include "Commands.h"
#include "Console.h"
#include "TerminalText.h"

#ifdef CLADORAMA_PICTURE
#include <QGuiApplication>

#include "CladoramaView.h"
#include "FigureFile.h"
#include "OffscreenView.h"
#endif

namespace {

const char kUsage[] =
    "usage: cladorama-cli picture [FILE1 FILE2] --output FILE [--size WxH] [--focus NAME]\n"
    "                             [--style boxes|lines] [--changes] [--keep-levels]\n"
    "                             [--common-name COLUMN] [--root NAME|TAXID]\n"
    "  Draws the viewer's window as it first shows two classifications: T1.jm2 and T2.jm2\n"
    "  from the current directory, or the two files named (any kind the viewer opens).\n"
    "  The picture's kind follows the output's suffix: .svg and .pdf are vectors (discs,\n"
    "  lines and text), .png is the window's frame pixel for pixel, as File > Export Picture\n"
    "  saves it. --size is the window's client size in pixels (default 1000x700). --focus\n"
    "  flies both panels to the taxon of that Latin name and to its counterpart in the other\n"
    "  tree, as a click on its flag does. --style chooses the overview's style (default\n"
    "  boxes). --changes draws the changes layer as View > Show Changes does: partners\n"
    "  linked across the panels, changed taxa ringed in their kind's colour, the key in the\n"
    "  strip; in an SVG file each line is a path of its own with its kind as its class and\n"
    "  the change as its title. Needs no display. Console lines go to standard error. Exit status 0, 1 when a\n"
    "  file could not be read or written or NAME is no taxon, 2 on bad arguments.\n";

struct PictureArguments {
    std::string output;
    int width = 1000, height = 700;
    std::string focus;
    int style = 1;
    bool changes = false;
};

bool parseSize(const char* text, int& w, int& h) {
    char* end = nullptr;
    const long a = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return false;
    const char* second = end + 1;
    const long b = std::strtol(second, &end, 10);
    if (end == second || *end) return false;
    if (a < 16 || b < 16 || a > 16384 || b > 16384) return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

}  // namespace

int cmdPicture(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    PictureArguments picture;
    PairArguments args;
    const bool ok = parsePairArguments(argc, argv, args, [&](int n, char** v, int& i) {
        const char* a = v[i];
        if (!std::strcmp(a, "--changes")) {
            picture.changes = true;
            return true;
        }
        if (i + 1 >= n) return false;
        const char* value = v[i + 1];
        if (!std::strcmp(a, "--output") && *value) {
            picture.output = value;
        } else if (!std::strcmp(a, "--size")) {
            if (!parseSize(value, picture.width, picture.height)) return false;
        } else if (!std::strcmp(a, "--focus") && *value) {
            // Typed in the terminal's character set; names are kept as ISO-8859-1. A name
            // with a character ISO-8859-1 lacks names no taxon, which the focus then says.
            if (!terminalToLatin1(value, picture.focus)) picture.focus = value;
        } else if (!std::strcmp(a, "--style")) {
            if (!std::strcmp(value, "boxes")) picture.style = 1;
            else if (!std::strcmp(value, "lines")) picture.style = 0;
            else return false;
        } else {
            return false;
        }
        ++i;
        return true;
    });
    if (!ok || picture.output.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
#ifndef CLADORAMA_PICTURE
    std::fprintf(stderr, "cladorama-cli: this build has no pictures (built without the viewer)\n");
    return 1;
#else
    const QString output = QString::fromLocal8Bit(picture.output.c_str());
    const FigureFormat format = FigureFormatOf(output);
    if (format == FigureFormat::Unknown) {
        std::fprintf(stderr, "cladorama-cli: %s: the output must end in .svg, .pdf or .png\n",
                     picture.output.c_str());
        return 2;
    }

    // Fonts for the vector figures come from the platform; no display is opened.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "cladorama-cli";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    CliFramework framework;
    CCladoramaDoc doc(&framework);
    args.apply(doc);
    setConsoleStream(stderr);
    const std::vector<std::string>& files = args.files;
    if (files.empty() ? !doc.LoadHierarchiesIn<LoadMode::Binary>()
                      : !doc.ReloadTrees(files[0], files[1]))
        return 1;

    // The view as the window has it after loading: sized, laid out, at home.
    CCladoramaView view;
    view.OnCreate(&doc);
    view.OnSize(picture.width, picture.height);
    view.SetOverviewStyle(picture.style);
    view.OnUpdate();
    // The changes are found at once here, not after a first frame.
    if (picture.changes) doc.FindChangesNow();
    view.SetChangesShown(picture.changes);
    if (!picture.focus.empty() && !FocusBothPanels(view, picture.focus.c_str())) {
        std::fprintf(stderr, "cladorama-cli: no taxon is named %s\n",
                     latin1ToTerminal(picture.focus).c_str());
        return 1;
    }

    QString error;
    if (format == FigureFormat::Png) {
        std::string why;
        std::unique_ptr<OffscreenView> surface =
            OffscreenView::Open(view, picture.width, picture.height, why);
        if (!surface) {
            std::fprintf(stderr, "cladorama-cli: %s\n", why.c_str());
            return 1;
        }
        if (!WritePngFigure(surface->CaptureFrame(), output, &error)) {
            std::fprintf(stderr, "cladorama-cli: cannot write %s: %s\n", picture.output.c_str(),
                         error.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    if (!WriteVectorFigure(view, output, format, &error)) {
        std::fprintf(stderr, "cladorama-cli: cannot write %s: %s\n", picture.output.c_str(),
                     error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
#endif
}
