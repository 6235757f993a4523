// cladorama-cli report end to end: the page of two checklists, and no page at all when one
// of them cannot be read.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun cli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command =
        "cd '" + dir.path().string() + "' && '" CLADORAMA_BINARY_DIR "/tools/cladorama-cli'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >cli.out 2>cli.err";
    CliRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFileBytes(dir.file("cli.out"));
    r.err = readFileBytes(dir.file("cli.err"));
    return r;
}

size_t lines(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace

TEST(CliReport, WritesThePageOrNothing) {
    TempDir dir;
    dir.write("a.csv", changedChecklistA());
    dir.write("b.csv", changedChecklistB());
    CliRun r = cli(dir, {"report", "a.csv", "b.csv", "--output", "r.html", "--title", "Two & two"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string page = readFileBytes(dir.file("r.html"));
    EXPECT_NE(page.find("<title>Two &amp; two</title>"), std::string::npos);
    EXPECT_NE(page.find("<section class=\"kind\" id=\"kind-split\""), std::string::npos);

    // A file that cannot be read: one line that says so, and the old page stays.
    const std::string names = fileNamesIn(dir.path());
    r = cli(dir, {"report", "a.csv", "missing.csv", "--output", "r.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("missing.csv"), std::string::npos) << r.err;
    EXPECT_EQ(readFileBytes(dir.file("r.html")), page);
    r = cli(dir, {"report", "a.csv", "missing.csv", "--output", "s.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fileNamesIn(dir.path()), names);

    // No output named: the usage, status 2.
    r = cli(dir, {"report", "a.csv", "b.csv"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: cladorama-cli report"), std::string::npos);
}
