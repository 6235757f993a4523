// Frame time of the real view (median of 100 frames, each drawn, swapped and finished),
// at the home view and zoomed into a genus, for the sample and for a synthetic pair; then
// both again with the changes layer on.
//
//   frame_bench_qt sample <folder with the two classification files> [--frames DIR]
//   frame_bench_qt synthetic <taxa> [--frames DIR]
//
// With --frames, the pictures of the measured views are saved into DIR as PNG files
// (home.png, overlays.png, lines.png, zoomed.png, layer-zoomed.png, layer-home.png), so that two builds can be compared
// pixel for pixel.
//
// Needs a display (run it under xvfb-run for Mesa's software renderer).
#include <GL/gl.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CladoramaApp.h"
#include "Console.h"
#include "GLViewWindow.h"
#include "Synthetic.h"

namespace {

// Processor time of the latest medianMs, per frame (median), summed over every thread of
// the process (the renderer's included): on a shared machine a steadier measure of the
// work than the wall clock, which also counts other programs' turns.
double g_cpuMs = 0;

// Median time of `frames` frames, each drawn, swapped and finished; `before` runs ahead of
// each frame, outside the timing, unless `timed` says it is part of what is measured.
template <class Before>
double medianMs(CCladoramaView& view, int frames, Before&& before, bool timed) {
    std::vector<double> ms, cpu;
    for (int i = 0; i < frames; ++i) {
        if (!timed) before();
        const double c0 = bench::processorSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (timed) before();
        view.OnDraw();
        glFinish();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back((bench::processorSeconds() - c0) * 1000);
    }
    g_cpuMs = bench::median(cpu);
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double medianFrameMs(CCladoramaView& view, int frames) {
    return medianMs(view, frames, [] {}, false);
}

// The genus of tree 1 with the most descendants of its own tree.
TreeNode* largestGenus(ClassificationTree& tree) {
    TreeNode* best = nullptr;
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        if (n->onlyInTree != 0 && n->onlyInTree != 1) return;
        if (std::strcmp(n->rankName, "Genus") != 0) return;
        if (!best || n->descendantCount > best->descendantCount) best = n;
    });
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::string framesDir;
    if (argc == 5 && std::strcmp(argv[3], "--frames") == 0) framesDir = argv[4];
    if (argc < 3 || (argc != 3 && framesDir.empty())) {
        std::fprintf(stderr, "usage: %s sample <folder> | synthetic <taxa> [--frames DIR]\n",
                     argv[0]);
        return 2;
    }
    QApplication qapp(argc, argv);
    QTemporaryDir work;
    const std::filesystem::path dir = work.path().toStdString();
    const std::string what = argv[1];
    if (what == "sample") {
        for (const char* f : {kClassificationFile1, kClassificationFile2})
            std::filesystem::copy_file(std::filesystem::path(argv[2]) / f, dir / f);
    } else {
        SyntheticOptions options;
        options.taxa = std::stoll(argv[2]);
        if (!writeSyntheticPair((dir / kClassificationFile1).string(),
                                (dir / kClassificationFile2).string(), options))
            return 1;
    }
    QDir::setCurrent(work.path());
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    {
        CCladoramaDoc builder;
        if (!builder.LoadHierarchiesIn<LoadMode::Build>()) return 1;
    }
    CCladoramaApp app;
    if (!app.InitInstance({QStringLiteral("cladorama")})) return 1;
    // The first frame started the finding of the changes: frames are timed once they are
    // found, as a user sees them after a moment.
    app.Document()->FindChangesNow();
    QApplication::processEvents();
    setConsoleStream(nullptr);
    CCladoramaView& view = app.View();
    auto saveFrame = [&](const char* name) {
        if (framesDir.empty()) return;
        const std::string path = (std::filesystem::path(framesDir) / name).string();
        if (!app.ViewWindow()->CaptureFrame().save(QString::fromStdString(path), "PNG"))
            std::fprintf(stderr, "cannot save %s\n", path.c_str());
    };
    QApplication::processEvents();
    const QImage shot = app.ViewWindow()->CaptureFrame();
    std::printf("%s %s: tree 1 %d nodes, tree 2 %d nodes, frame %dx%d\n", what.c_str(), argv[2],
                app.Document()->m_tree1.nodeCount, app.Document()->m_tree2.nodeCount,
                shot.width(), shot.height());

    // The overview drawn in full and read back into its cache: the first frame after a
    // load, a search, a node-list pick, a style change or a resize.
    const double refresh = medianMs(view, 5, [&] { view.m_overview.cacheDirty = 1; }, false);
    std::printf("overview refresh:    median %.2f ms per frame (draw in full, read back)\n", refresh);
    const double update = medianMs(view, 5, [&] { view.OnUpdate(); }, true);
    std::printf("update + refresh:    median %.2f ms per frame (layout of both trees as well)\n", update);

    view.m_overview.cacheDirty = 0;
    const double home = medianFrameMs(view, 100);
    std::printf("home view:           median %.2f ms per frame (overview from its cache); CPU %.2f ms\n",
                home, g_cpuMs);
    saveFrame("home.png");

    // Every later frame with the overlays a user has after a search: frames round 100
    // matches, a focus path six levels deep in each tree, the hover label.
    std::vector<TreeNode*>& results = app.Document()->m_searchResults;
    forEachNode(static_cast<TreeNode*>(&app.Document()->m_tree1), [&](TreeNode* n) {
        if (results.size() < 100 && n->level == 4) results.push_back(n);
    });
    TreeNode* deep1 = &app.Document()->m_tree1;
    TreeNode* deep2 = &app.Document()->m_tree2;
    while (deep1->level < 6 && !deep1->children.empty()) deep1 = deep1->children.back();
    while (deep2->level < 6 && !deep2->children.empty()) deep2 = deep2->children.front();
    view.m_panel1.focus = deep1;
    view.m_panel2.focus = deep2;
    view.m_overview.hovering = 1;
    view.m_overview.hoverNode = deep1;
    view.m_overview.hoverX = -0.2;
    view.m_overview.hoverY = -0.3;
    const double overlays = medianFrameMs(view, 100);
    std::printf("with overlays:       median %.2f ms per frame (%zu search frames, two paths, label); CPU %.2f ms\n",
                overlays, results.size(), g_cpuMs);
    saveFrame("overlays.png");
    view.SetOverviewStyle(0);
    view.m_overview.cacheDirty = 1;
    saveFrame("lines.png");
    view.SetOverviewStyle(1);
    view.m_overview.cacheDirty = 1;
    results.clear();
    view.m_overview.hovering = 0;

    TreeNode* genus = largestGenus(app.Document()->m_tree1);
    if (genus) {
        view.m_panel1.focus = genus;
        view.m_activePanel = &view.m_panel1;
        view.m_otherPanel = &view.m_panel2;
        view.FlyToFocus();
        const double zoomed = medianFrameMs(view, 100);
        std::printf("zoomed into %-9s median %.2f ms per frame (%d species below); CPU %.2f ms\n",
                    genus->latinName, zoomed, genus->descendantCount, g_cpuMs);
        saveFrame("zoomed.png");
    }

    // The changes layer on: its links and rings made once (not timed per frame), then the
    // frames at home and zoomed, every change of the list drawn where it shows.
    {
        const auto t0 = std::chrono::steady_clock::now();
        const size_t rows = app.Document()->m_changes.rows().size();
        view.m_changesLayer.on = true;
        view.m_changesLayer.Sync(*app.Document());
        const double made = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::printf("changes layer:       %zu rows, %zu links, %zu rings made in %.0f ms (once per load)\n",
                    rows, view.m_changesLayer.links().size(), view.m_changesLayer.marks().size(), made);
        const double zoomedLayer = medianFrameMs(view, 100);
        std::printf("layer, zoomed:       median %.2f ms per frame (%zu lines, %zu rings drawn); CPU %.2f ms\n",
                    zoomedLayer, view.m_changesLayer.drawnLinks.size(),
                    view.m_changesLayer.drawnMarks.size(), g_cpuMs);
        saveFrame("layer-zoomed.png");
        view.OnHome();
        view.m_activePanel = &view.m_panel2;
        view.m_otherPanel = &view.m_panel1;
        view.OnHome();
        const double homeLayer = medianFrameMs(view, 100);
        std::printf("layer, home view:    median %.2f ms per frame (%zu lines, %zu rings drawn); CPU %.2f ms\n",
                    homeLayer, view.m_changesLayer.drawnLinks.size(),
                    view.m_changesLayer.drawnMarks.size(), g_cpuMs);
        saveFrame("layer-home.png");
    }
    std::fclose(devnull);
    return 0;
}
