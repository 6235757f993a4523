// What the viewer's console window costs a load: build mode on a synthetic pair (about
// 800,000 progress lines for 2 x 2,500,000 taxa) with and without the window showing the
// lines, runs alternated, medians printed.
//
//   console_bench_qt [taxa] [runs]
//
// Needs a display (run it under xvfb-run). Standard output of the pipeline goes to
// /dev/null in both cases, as to a log file.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "Console.h"
#include "ConsoleWindow.h"
#include "Synthetic.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    const long long taxa = argc > 1 ? std::stoll(argv[1]) : 2500000;
    const int runs = argc > 2 ? std::stoi(argv[2]) : 3;
    QTemporaryDir work;
    const std::filesystem::path dir = work.path().toStdString();
    SyntheticOptions options;
    options.taxa = taxa;
    if (!writeSyntheticPair((dir / kClassificationFile1).string(), (dir / kClassificationFile2).string(),
                            options))
        return 1;
    QDir::setCurrent(work.path());
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);

    CConsoleWindow console;
    console.show();
    for (int i = 0; i < 50; ++i) QApplication::processEvents();

    std::vector<double> plain, shown;
    size_t lines = 0;
    // A first run warms the heap and the page cache and is not counted.
    for (int run = -1; run < 2 * runs; ++run) {
        const bool window = run >= 0 && run % 2 == 1;
        if (window) console.Attach();
        const auto t0 = std::chrono::steady_clock::now();
        {
            CCladoramaDoc doc;
            if (!doc.LoadHierarchiesIn<LoadMode::Build>()) return 1;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (window) {
            console.Detach();
            lines = console.Lines().size();
        }
        if (run >= 0) (window ? shown : plain).push_back(s);
        QApplication::processEvents();
    }
    std::printf("build mode, %lld taxa a side, %d runs each, alternated\n", taxa, runs);
    std::printf("without the console window: median %.3f s\n", median(plain));
    std::printf("with the console window:    median %.3f s (%.1f %% more; the window keeps %zu lines)\n",
                median(shown), 100 * (median(shown) / median(plain) - 1), lines);
    std::fclose(devnull);
    return 0;
}
