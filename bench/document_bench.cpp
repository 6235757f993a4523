// The document's pipelines on two large synthetic classifications.
//
//   document_bench [--taxa N] [--runs R] [--dir FOLDER] [--against CLI --ours CLI]
//
// Writes a synthetic pair of about N taxa each (default 2,500,000) under the pipeline's
// fixed file names, then times, R times each (default 3) with medians:
//   - build mode: classification text to T1.jm2 and T2.jm2, common tail included;
//   - binary mode: LoadHierarchies as the viewer runs it at start-up, common tail included;
//   - a search in each mode, for a genus name (Latin and both modes) and a common name
//     picked from the middle of the sorted lists, so that they match a realistic handful.
// Peak resident memory (ru_maxrss) is taken in a fresh process per mode that runs only
// that pipeline, and given per taxon of the two classifications. Binary mode is timed there
// to its first frame (the load pipeline done) and to its changes ready (partners, relations
// and the list of changes, found on the worker that the first frame starts), with the peak
// before the changes and with them.
//
// With --against, the command-line tool of an earlier commit (bench/against.sh builds one)
// and this one's run `build` and `load` in turn, five fresh processes each, in a folder of
// their own: medians of wall time and peak resident memory, and the median of the ratios
// pair by pair.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "CladoramaDoc.h"
#include "ClassificationReader.h"
#include "Console.h"
#include "TreeFile.h"
#if __has_include("Synthetic.h")
#include "Synthetic.h"
#define HAVE_SYNTHETIC 1
#endif

namespace {

using namespace bench;

void report(const char* what, const std::vector<double>& times, double target) {
    std::printf("%-34s median %7.3f s over %zu runs (min %.3f, max %.3f), target < %.1f s\n",
                what, median(times), times.size(), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), target);
}

// Child mode: run one pipeline once in the current folder and print
// "<taxa of both classifications> <peak resident bytes>".
int measureMemory(const char* mode) {
    CCladoramaDoc doc;
    auto start = std::chrono::steady_clock::now();
    bool ok = std::strcmp(mode, "build") == 0 ? doc.LoadHierarchiesIn<LoadMode::Build>()
                                              : doc.LoadHierarchiesIn<LoadMode::Binary>();
    if (!ok) return 1;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    const long long firstPeak = static_cast<long long>(ru.ru_maxrss) * 1024;
    // As the viewer does once the first frame is on screen: the worker finds the changes.
    doc.StartFindingChanges();
    if (!doc.FindChangesNow()) return 1;
    double ready = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%lld %lld %f %f %lld\n",
                static_cast<long long>(doc.m_tree1.nodeCount) + doc.m_tree2.nodeCount, firstPeak,
                seconds, ready, static_cast<long long>(ru.ru_maxrss) * 1024);
    std::fflush(stdout);
    std::_Exit(0);  // the teardown is not what is measured
}

struct ProcessRun {
    double seconds = 0;
    long long peak = 0;  // bytes
    bool ok = false;
};

// One fresh process of `tool` with `argument`, in `dir`, its output thrown away. A child's
// peak resident size starts at that of the process that made it (exec keeps it): see
// ToolLauncher for how the tools compared get theirs.
ProcessRun runTool(const std::string& tool, const char* argument, const std::string& dir) {
    ProcessRun run;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return run;
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string path = tool, arg = argument;
    char* argv[] = {path.data(), arg.data(), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peak = static_cast<long long>(ru.ru_maxrss) * 1024;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Runs tools from a process of its own, forked at the start while this one is small: by the
// time the tools are compared this one holds gigabytes of loaded trees, which a tool started
// from it would count as its own peak.
class ToolLauncher {
public:
    bool start() {
        if (pipe(m_request) != 0 || pipe(m_reply) != 0) return false;
        m_pid = fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            close(m_request[1]);
            close(m_reply[0]);
            std::string tool, argument, dir;
            while (readText(m_request[0], tool) && readText(m_request[0], argument) &&
                   readText(m_request[0], dir)) {
                const ProcessRun run = runTool(tool, argument.c_str(), dir);
                if (write(m_reply[1], &run, sizeof run) != static_cast<ssize_t>(sizeof run)) break;
            }
            _exit(0);
        }
        close(m_request[0]);
        close(m_reply[1]);
        return true;
    }
    ~ToolLauncher() {
        if (m_pid <= 0) return;
        close(m_request[1]);
        close(m_reply[0]);
        waitpid(m_pid, nullptr, 0);
    }
    ProcessRun run(const std::string& tool, const char* argument, const std::string& dir) {
        ProcessRun run;
        if (m_pid <= 0) return runTool(tool, argument, dir);
        if (!writeText(tool) || !writeText(argument) || !writeText(dir) ||
            read(m_reply[0], &run, sizeof run) != static_cast<ssize_t>(sizeof run))
            return ProcessRun();
        return run;
    }

private:
    static bool readText(int fd, std::string& text) {
        uint32_t size = 0;
        if (read(fd, &size, sizeof size) != static_cast<ssize_t>(sizeof size)) return false;
        text.resize(size);
        return size == 0 || read(fd, text.data(), size) == static_cast<ssize_t>(size);
    }
    bool writeText(const std::string& text) {
        const uint32_t size = static_cast<uint32_t>(text.size());
        return write(m_request[1], &size, sizeof size) == static_cast<ssize_t>(sizeof size) &&
               (size == 0 || write(m_request[1], text.data(), size) == static_cast<ssize_t>(size));
    }
    int m_request[2] = {-1, -1}, m_reply[2] = {-1, -1};
    pid_t m_pid = -1;
};

ToolLauncher g_launcher;

// `build` and then `load` of both tools in turn, five fresh processes each, each tool in a
// folder of its own beside the synthetic pair.
bool compareTools(const std::string& earlier, const std::string& ours, double taxa) {
    const std::string here = std::filesystem::current_path().string();
    const std::string dirs[2] = {here + "/against-earlier", here + "/against-ours"};
    const std::string tools[2] = {earlier, ours};
    for (const std::string& d : dirs) {
        std::filesystem::create_directories(d);
        for (const char* f : {kClassificationFile1, kClassificationFile2}) {
            std::filesystem::remove(d + "/" + f);
            std::filesystem::create_symlink(here + "/" + f, d + "/" + f);
        }
    }
    constexpr int kRounds = 5;
    for (const char* what : {"build", "load"}) {
        std::vector<double> times[2], peaks[2], timeRatios, peakRatios;
        for (int round = 0; round < kRounds; ++round) {
            ProcessRun runs[2];
            for (int t = 0; t < 2; ++t) {
                runs[t] = g_launcher.run(tools[t], what, dirs[t]);
                if (!runs[t].ok) {
                    std::fprintf(stderr, "document_bench: %s %s failed\n", tools[t].c_str(), what);
                    return false;
                }
                times[t].push_back(runs[t].seconds);
                peaks[t].push_back(double(runs[t].peak) / taxa);
            }
            timeRatios.push_back(runs[1].seconds / runs[0].seconds);
            peakRatios.push_back(double(runs[1].peak) / double(runs[0].peak));
        }
        std::printf("cladorama-cli %-5s earlier %.3f s, %.0f B/taxon; this %.3f s, %.0f B/taxon; "
                    "this/earlier: time %.3f (%.3f-%.3f), peak %.3f (%.3f-%.3f); medians of %d "
                    "fresh processes\n",
                    what, median(times[0]), median(peaks[0]), median(times[1]), median(peaks[1]),
                    median(timeRatios), *std::min_element(timeRatios.begin(), timeRatios.end()),
                    *std::max_element(timeRatios.begin(), timeRatios.end()), median(peakRatios),
                    *std::min_element(peakRatios.begin(), peakRatios.end()),
                    *std::max_element(peakRatios.begin(), peakRatios.end()), kRounds);
    }
    return true;
}

// The viewer loads once, in a fresh process: the pipeline is timed that way too (as many
// fresh processes as runs, median), beside the timings in this process, whose heap has been
// through the earlier runs.
void reportMemory(const char* mode, int runs) {
    std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() +
                          "' --memory " + mode;
    long long taxa = 0, peak = 0, readyPeak = 0;
    std::vector<double> times, readies, peaks, readyPeaks;
    for (int run = 0; run < runs; ++run) {
        FILE* child = popen(command.c_str(), "r");
        double seconds = 0, ready = 0;
        if (!child ||
            std::fscanf(child, "%lld %lld %lf %lf %lld", &taxa, &peak, &seconds, &ready,
                        &readyPeak) != 5 ||
            taxa <= 0) {
            std::printf("peak memory, %s mode: not measured\n", mode);
            if (child) pclose(child);
            return;
        }
        pclose(child);
        times.push_back(seconds);
        readies.push_back(ready);
        peaks.push_back(double(peak));
        readyPeaks.push_back(double(readyPeak));
    }
    std::printf("fresh process, %-6s mode  median %7.3f s over %d runs (min %.3f, max %.3f); "
                "peak resident %.1f MB, %.0f bytes per taxon (%lld taxa)\n",
                mode, median(times), runs, *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median(peaks) / 1e6,
                median(peaks) / double(taxa), taxa);
    std::printf("  then the changes ready at median %.3f s (%.3f s after that), peak with them "
                "%.1f MB, %.0f bytes per taxon\n",
                median(readies), median(readies) - median(times), median(readyPeaks) / 1e6,
                median(readyPeaks) / double(taxa));
}

}  // namespace

int main(int argc, char** argv) {
    setConsoleStream(std::fopen("/dev/null", "w"));
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return measureMemory(argv[2]);

    int64_t taxa = 2500000;
    int runs = 3;
    std::string dir, earlier, ours;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--taxa")) taxa = std::atoll(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--against")) earlier = argv[i + 1];
        else if (!std::strcmp(argv[i], "--ours")) ours = argv[i + 1];
    }
    if (!earlier.empty() && ours.empty()) {
        std::fprintf(stderr, "document_bench: --against needs --ours\n");
        return 2;
    }
    if (!earlier.empty() && !g_launcher.start()) {
        std::fprintf(stderr, "document_bench: cannot start the process that runs the tools\n");
        return 1;
    }
    const bool ownDir = dir.empty();
    if (ownDir) {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "document-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 1;
        dir = tmpl;
    }
    if (chdir(dir.c_str()) != 0) return 1;

#ifdef HAVE_SYNTHETIC
    {
        SyntheticOptions options;
        options.taxa = taxa;
        auto start = Clock::now();
        if (!writeSyntheticPair(kClassificationFile1, kClassificationFile2, options)) {
            std::fprintf(stderr, "document_bench: cannot write the synthetic pair in %s\n",
                         dir.c_str());
            return 1;
        }
        std::printf("synthetic pair of %lld taxa each written in %.2f s\n",
                    static_cast<long long>(taxa), secondsSince(start));
    }
#else
    if (!std::filesystem::exists(kClassificationFile1)) {
        std::fprintf(stderr, "document_bench: no synthetic generator; put %s and %s in --dir\n",
                     kClassificationFile1, kClassificationFile2);
        return 1;
    }
#endif

    std::vector<double> build, binary;
    for (int r = 0; r < runs; ++r) {
        CCladoramaDoc doc;
        auto start = Clock::now();
        if (!doc.LoadHierarchiesIn<LoadMode::Build>()) return 1;
        build.push_back(secondsSince(start));
    }
    report("build mode, text to T1/T2", build, 10);
    {
        // Where the build-mode time goes, in one run of the same steps.
        CCladoramaDoc doc;
        auto start = Clock::now();
        if (!readClassification(doc.m_tree1, kClassificationFile1) ||
            !readClassification(doc.m_tree2, kClassificationFile2))
            return 1;
        const double reads = secondsSince(start);
        start = Clock::now();
        buildCombinedTrees(doc.m_tree1, doc.m_tree2);
        const double chain = secondsSince(start);
        // The writing three ways, to tell its parts apart: encoding into memory only (the
        // walk over the trees as the chain left them; timed the second time, into strings
        // that already have their memory, and in processor time too, which on a shared
        // machine does not count other programs' turns), writing the two files one after
        // the other under new names, and writing the pair as the pipeline does, over the
        // pair of the runs before, as a rebuild does.
        std::string bytes1, bytes2;
        double encodes = 0, encodesCpu = 0;
        for (int pass = 0; pass < 2; ++pass) {
            const double cpuStart = processorSeconds();
            start = Clock::now();
            if (!writeTreeFileBytes(doc.m_tree1, bytes1, kTreeFile1) ||
                !writeTreeFileBytes(doc.m_tree2, bytes2, kTreeFile2))
                return 1;
            encodes = secondsSince(start);
            encodesCpu = processorSeconds() - cpuStart;
        }
        std::string().swap(bytes1);
        std::string().swap(bytes2);
        const std::string fresh1 = std::string("fresh-") + kTreeFile1,
                          fresh2 = std::string("fresh-") + kTreeFile2;
        start = Clock::now();
        if (!writeTreeFile(doc.m_tree1, fresh1.c_str()) ||
            !writeTreeFile(doc.m_tree2, fresh2.c_str()))
            return 1;
        const double freshWrites = secondsSince(start);
        std::filesystem::remove(fresh1);
        std::filesystem::remove(fresh2);
        start = Clock::now();
        if (writeTreeFilePair(doc.m_tree1, kTreeFile1, doc.m_tree2, kTreeFile2) != 0) return 1;
        const double writes = secondsSince(start);
        start = Clock::now();
        doc.RunCommonTail();
        std::printf("  of which: both reads %.3f s, compare to layout %.3f s, both writes %.3f s, "
                    "common tail %.3f s (one run)\n",
                    reads, chain, writes, secondsSince(start));
        std::printf("  both writes: encoding into memory %.3f s (%.3f s processor), to new names "
                    "%.3f s, over the existing pair %.3f s\n",
                    encodes, encodesCpu, freshWrites, writes);
    }

    CCladoramaDoc loaded;
    for (int r = 0; r < runs; ++r) {
        CCladoramaDoc doc;
        auto start = Clock::now();
        if (!doc.LoadHierarchiesIn<LoadMode::Binary>()) return 1;
        binary.push_back(secondsSince(start));
    }
    report("binary mode with common tail", binary, 3);
    {
        // Where the binary-mode time goes: the two reads (each with its rank census) and
        // the common tail.
        CCladoramaDoc doc;
        doc.m_tree1.treeId = 1;
        doc.m_tree2.treeId = 2;
        auto start = Clock::now();
        if (!readTreeFile(doc.m_tree1, kTreeFile1) || !readTreeFile(doc.m_tree2, kTreeFile2))
            return 1;
        const double reads = secondsSince(start);
        start = Clock::now();
        doc.RunCommonTail();
        std::printf("  of which: both reads with census %.3f s, common tail %.3f s (one run)\n",
                    reads, secondsSince(start));
    }
    if (!loaded.LoadHierarchiesIn<LoadMode::Binary>()) return 1;
    std::printf("tree 1: %zu names in its Latin index, %zu merged common names, %zu "
                "searchable names\n",
                loaded.m_tree1.latinIndex.size(), loaded.m_combinedByCommon.size(),
                loaded.m_searchNames.size());

    // Realistic texts: a genus name (the first word of a Latin name) and a common name.
    std::string genus = loaded.m_tree1.latinIndex[loaded.m_tree1.latinIndex.size() / 2]->latinName;
    genus = genus.substr(0, genus.find(' '));
    std::string common = loaded.m_combinedByCommon.empty()
                             ? "a"
                             : loaded.m_combinedByCommon[loaded.m_combinedByCommon.size() / 2]->commonName;
    const struct {
        int mode;
        const std::string* text;
    } searches[] = {{0, &genus}, {1, &common}, {2, &genus}};
    for (const auto& s : searches) {
        std::vector<double> times;
        size_t found = 0;
        for (int r = 0; r < std::max(runs, 5); ++r) {
            auto start = Clock::now();
            loaded.Search(s.mode, s.text->c_str());
            times.push_back(secondsSince(start));
            found = loaded.m_searchResults.size();
        }
        std::string what = "search mode " + std::to_string(s.mode) + " \"" + *s.text + "\" (" +
                           std::to_string(found) + " found)";
        report(what.c_str(), times, 0.5);
    }

    {
        // How soon the worker stops when a new load or the end of the program calls it off,
        // every tenth of a second of its work.
        std::vector<double> stops;
        for (int tenths = 0; tenths <= 30; ++tenths) {
            const double delay = tenths / 10.0;
            CCladoramaDoc doc;
            if (!doc.LoadHierarchiesIn<LoadMode::Binary>()) return 1;
            doc.StartFindingChanges();
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            const bool running = doc.Changes() == ChangesState::Finding;
            auto start = Clock::now();
            doc.StopFindingChanges();
            if (running) stops.push_back(secondsSince(start));
        }
        if (!stops.empty())
            std::printf("changes called off after 0 to 3 s of work: stopped within median %.4f s, "
                        "at most %.4f s (%zu calls)\n",
                        median(stops), *std::max_element(stops.begin(), stops.end()), stops.size());
    }
    reportMemory("build", std::max(runs, 5));
    reportMemory("binary", std::max(runs, 5));
    if (!earlier.empty() &&
        !compareTools(earlier, ours,
                      double(loaded.m_tree1.nodeCount) + double(loaded.m_tree2.nodeCount)))
        return 1;

    if (ownDir) {
        if (chdir("/") != 0) return 1;
        std::filesystem::remove_all(dir);
    }
    return 0;
}
