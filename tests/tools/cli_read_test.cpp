#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs cladorama-cli with `args` (already quoted as needed), capturing both streams.
CliRun cli(const std::string& args, const TempDir& dir) {
    std::string errFile = dir.file("stderr.txt");
    std::string command =
        std::string("'") + CLADORAMA_BINARY_DIR "/tools/cladorama-cli' " + args + " 2>'" + errFile + "'";
    CliRun r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFileBytes(errFile);
    return r;
}

std::string valueLine(const char* word, const char* value) {
    return std::string("\t<attr name=\"") + word + "\" value=\"" + value + "\"/>\n";
}
std::string entry(const char* tag, const char* latin, const char* rank) {
    return std::string(tag) + "\n" + valueLine("latin", latin) + valueLine("common", "") +
           valueLine("rank", rank);
}

// Root (Order) with branch A (Family; leaves B and E, Species) and leaf D (Genus).
std::string exampleFile() {
    return "<?xml version=\"1.0\"?>\n" + entry("<branch>", "Root", "Order") +
           entry("<branch>", "A", "Family") + entry("<leaf>", "B", "Species") + "</leaf>\n" +
           entry("<leaf>", "E", "Species") + "</leaf>\n</branch>\n" +
           entry("<leaf>", "D", "Genus") + "</leaf>\n</branch>\n";
}

std::string progress(const std::string& text, const char* afterValue) {
    size_t pos = text.find('\n', text.find(afterValue)) + 1;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lf %% loading\n",
                  static_cast<double>(pos) / static_cast<double>(text.size()) * 100);
    return buf;
}

}  // namespace

TEST(CliRead, PrintsProgressCensusAndSummaryForEachFileInOrder) {
    TempDir dir;
    std::string example = exampleFile();
    std::string rootOnly = entry("<branch>", "Mammalia", "Class") + "</branch>\n";
    std::string a = dir.write("a.xml", example);
    std::string b = dir.write("b.xml", rootOnly);
    CliRun r = cli("read '" + a + "' '" + b + "'", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string expected = progress(example, "\"Order\"") + progress(example, "\"Family\"") +
                           "Order : 1 \nFamily : 1 \nSpecies : 2 \nGenus : 1 \n" + a +
                           ": nodeCount 5, leafCount 3, maxLevel 2\n" +
                           progress(rootOnly, "\"Class\"") + "Class : 1 \n" + b +
                           ": nodeCount 1, leafCount 0, maxLevel -999\n";
    EXPECT_EQ(r.out, expected);
}

TEST(CliRead, StopsAtTheFirstFileThatCannotBeRead) {
    TempDir dir;
    std::string good = dir.write("good.xml", exampleFile());
    std::string truncated = dir.write("cut.xml", exampleFile().substr(0, 60));
    std::string missing = dir.file("missing.xml");
    for (const std::string& bad : {truncated, missing}) {
        CliRun r = cli("read '" + good + "' '" + bad + "' '" + good + "'", dir);
        EXPECT_EQ(r.status, 1);
        // The good file's report once, then the failure line; the third file is not read.
        std::string summary = good + ": nodeCount 5, leafCount 3, maxLevel 2\n";
        ASSERT_NE(r.out.find(summary), std::string::npos) << r.out;
        EXPECT_EQ(r.out.substr(r.out.find(summary) + summary.size()),
                  "Reading classification xml file has been failed!\n");
        // One diagnostic line naming the file.
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST(CliRead, HelpAndUsage) {
    TempDir dir;
    CliRun help = cli("read --help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: cladorama-cli read FILE...", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
    CliRun none = cli("read", dir);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("usage: cladorama-cli read", 0), 0u) << none.err;
}
