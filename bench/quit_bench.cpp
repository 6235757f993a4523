// Quitting the viewer with both trees loaded: from the end of its event loop to the end of
// its process, each run a fresh viewer on the same pair of tree files.
//
//   quit_bench [--taxa N] [--runs R] [--dir FOLDER] [--viewer PATH] [--keep]
//
// Writes a synthetic pair of about N taxa each (default 2,500,000) into FOLDER (a new
// temporary folder by default) and builds T1.jm2 and T2.jm2 from it once; a FOLDER that
// already holds both tree files is used as it is. Then starts the viewer (default: the
// `cladorama` built beside this program) R times (default 5) in that folder with
// CLADORAMA_SCREENSHOT set: once painted, it saves the picture and leaves its event loop.
// The moment the picture file is closed is taken from inotify, the end of the process from
// waitpid; their distance is the quitting time. Needs a display (xvfb-run).
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "CladoramaDoc.h"
#include "Console.h"
#include "Synthetic.h"

extern char** environ;

namespace {

using namespace bench;
namespace fs = std::filesystem;

constexpr const char* kShotName = "quit-bench-shot.png";

bool makeTreeFiles(int64_t taxa) {
    if (fs::exists(kTreeFile1) && fs::exists(kTreeFile2)) {
        std::printf("using the tree files already in the folder\n");
        return true;
    }
    SyntheticOptions options;
    options.taxa = taxa;
    auto start = Clock::now();
    if (!writeSyntheticPair(kClassificationFile1, kClassificationFile2, options)) return false;
    CCladoramaDoc builder;
    if (!builder.LoadHierarchiesIn<LoadMode::Build>()) return false;
    std::printf("synthetic pair of %lld taxa each and its tree files made in %.1f s "
                "(tree 1 %d nodes, tree 2 %d nodes)\n",
                static_cast<long long>(taxa), secondsSince(start), builder.m_tree1.nodeCount,
                builder.m_tree2.nodeCount);
    return true;
}

struct Run {
    double startSeconds = 0;  // spawn to the picture saved (start-up, load, paint, 0.3 s wait)
    double quitSeconds = 0;   // picture saved to process gone
};

// One viewer from start to exit; false when it could not be run or did not end cleanly.
bool runViewer(const std::string& viewer, const std::string& dir, Run& run) {
    const std::string shot = dir + "/" + kShotName;
    fs::remove(shot);
    const int watch = inotify_init1(IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, dir.c_str(), IN_CLOSE_WRITE) < 0) return false;

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "CLADORAMA_SCREENSHOT=", 21) != 0) env.emplace_back(*e);
    env.push_back("CLADORAMA_SCREENSHOT=" + shot);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = viewer, arg1 = "--no-console";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto spawned = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, viewer.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        close(watch);
        return false;
    }

    bool saved = false;
    alignas(inotify_event) char buffer[4096];
    while (!saved) {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, 600000) <= 0) break;
        const ssize_t n = read(watch, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if (e->len && std::strcmp(e->name, kShotName) == 0) saved = true;
            at += sizeof(inotify_event) + e->len;
        }
    }
    const auto savedAt = Clock::now();
    close(watch);
    int status = 0;
    waitpid(pid, &status, 0);
    run.quitSeconds = secondsSince(savedAt);
    run.startSeconds = std::chrono::duration<double>(savedAt - spawned).count();
    return saved && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int64_t taxa = 2500000;
    int runs = 5;
    bool keep = false;
    std::string dir;
    std::string viewer = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" /
                          "cladorama").string();
    for (int i = 1; i < argc; ++i) {
        const bool value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--keep")) keep = true;
        else if (value && !std::strcmp(argv[i], "--taxa")) taxa = std::atoll(argv[++i]);
        else if (value && !std::strcmp(argv[i], "--runs")) runs = std::max(1, std::atoi(argv[++i]));
        else if (value && !std::strcmp(argv[i], "--dir")) dir = argv[++i];
        else if (value && !std::strcmp(argv[i], "--viewer")) viewer = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s [--taxa N] [--runs R] [--dir FOLDER] [--viewer PATH] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    if (!fs::exists(viewer)) {
        std::fprintf(stderr, "quit_bench: no viewer at %s (build the cladorama target)\n",
                     viewer.c_str());
        return 1;
    }
    const bool ownDir = dir.empty();
    if (ownDir) {
        std::string tmpl = (fs::temp_directory_path() / "quit-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 1;
        dir = tmpl;
    }
    dir = fs::absolute(dir).string();
    std::error_code made;
    fs::create_directories(dir, made);
    if (chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "quit_bench: cannot work in %s\n", dir.c_str());
        return 1;
    }
    FILE* devnull = std::fopen("/dev/null", "w");
    setConsoleStream(devnull);
    if (!makeTreeFiles(taxa)) {
        std::fprintf(stderr, "quit_bench: cannot make the tree files in %s\n", dir.c_str());
        return 1;
    }

    std::vector<double> quits, starts;
    for (int r = 0; r < runs; ++r) {
        Run run;
        if (!runViewer(viewer, dir, run)) {
            std::fprintf(stderr, "quit_bench: the viewer did not save its picture and end cleanly\n");
            return 1;
        }
        quits.push_back(run.quitSeconds);
        starts.push_back(run.startSeconds);
        std::printf("  run %d: start to picture %.3f s, quitting %.3f s\n", r + 1,
                    run.startSeconds, run.quitSeconds);
    }
    std::printf("quitting with both trees loaded: median %.3f s over %d runs (min %.3f, max "
                "%.3f), target <= 0.3 s\n",
                median(quits), runs, *std::min_element(quits.begin(), quits.end()),
                *std::max_element(quits.begin(), quits.end()));
    std::printf("start to picture (for scale):    median %.3f s\n", median(starts));
    fs::remove(dir + "/" + kShotName);
    if (ownDir && !keep) fs::remove_all(dir);
    else std::printf("tree files kept in %s\n", dir.c_str());
    std::fclose(devnull);
    return 0;
}
