// cladorama-cli report: the whole comparison as one web page.
#include <cstdio>
#include <cstring>
#include <string>

#include "CliFramework.h"
#include "Commands.h"
#include "Console.h"
#include "TerminalText.h"

#ifdef CLADORAMA_PICTURE
#include <QGuiApplication>

#include "ChangeReport.h"
#endif

namespace {

const char kUsage[] =
    "usage: cladorama-cli report [FILE1 FILE2] --output FILE.html [--title TEXT] [--keep-levels]\n"
    "                            [--common-name COLUMN] [--id COLUMN] [--authorship COLUMN]\n"
    "  Writes the comparison of T1.jm2 and T2.jm2 from the current directory, or of the two\n"
    "  files named (any kind the viewer opens), as one web page that needs no network: the\n"
    "  two classifications with their taxa by rank, the changes counted by kind and rank (as\n"
    "  diff --summary and relate --summary count them), a chart of where they lie, pictures\n"
    "  of both panels with the changes drawn in (whole, and at the ten taxa below the root\n"
    "  with the most changes), and every change as a row, grouped by kind, that the page\n"
    "  sorts and filters. Past 50000 changes the rows are summed up by family. --title\n"
    "  names the page (default: the two files' names). The page is written whole or not at\n"
    "  all. Console lines go to standard error. Exit status 0, 1 when a file could not be\n"
    "  read or the page written (one line on standard error says why), 2 on bad arguments.\n";

}  // namespace

int cmdReport(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::string output, title;
    PairArguments args;
    const bool ok = parsePairArguments(argc, argv, args, [&](int n, char** v, int& i) {
        std::string* value = !std::strcmp(v[i], "--output")  ? &output
                             : !std::strcmp(v[i], "--title") ? &title
                                                             : nullptr;
        if (!value || i + 1 >= n || !v[i + 1][0]) return false;
        *value = v[++i];
        return true;
    });
    if (!ok || output.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
#ifndef CLADORAMA_PICTURE
    std::fprintf(stderr, "cladorama-cli: this build has no reports (built without the viewer)\n");
    return 1;
#else
    CliFramework framework;
    CCladoramaDoc doc(&framework);
    args.apply(doc);
    TerminalConsole console(stderr);
    ReportOptions options;
    if (args.files.empty()) {
        options.sides[0].file = kTreeFile1;
        options.sides[1].file = kTreeFile2;
    } else {
        options.sides[0].file = args.files[0];
        options.sides[1].file = args.files[1];
    }
    // Typed in the terminal's character set; the page is UTF-8.
    options.title = title.empty() ? std::string() : QString::fromLocal8Bit(title.c_str()).toStdString();
    // The one line of a file that cannot be read is the document's; no page is written.
    if (args.files.empty() ? !doc.LoadHierarchiesIn<LoadMode::Binary>()
                           : !doc.ReloadTrees(args.files[0], args.files[1]))
        return 1;
    // The pictures' fonts come from the platform; no display is opened. Made once the pair is
    // read, so that a pair that cannot be read is told in its one line alone.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "cladorama-cli";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    std::string why;
    if (!writeChangeReport(doc, output, options, why)) {
        console.flush();
        std::fprintf(stderr, "cladorama-cli report: %s\n", why.c_str());
        return 1;
    }
    return 0;
#endif
}
