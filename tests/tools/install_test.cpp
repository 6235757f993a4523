// Installing with any prefix puts the programs, the menu entry and its icon in place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(Install, AnyPrefixGetsTheProgramsTheMenuEntryAndItsIcon) {
    TempDir prefix;
    const std::string command = std::string("\"") + CLADORAMA_CMAKE + "\" --install \"" +
                                CLADORAMA_BINARY_DIR + "\" --prefix \"" + prefix.path().string() +
                                "\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const fs::path bin = prefix.path() / "bin";
    EXPECT_TRUE(fs::exists(bin / "cladorama-cli"));
    if (!fs::exists(fs::path(CLADORAMA_BINARY_DIR) / "app" / "cladorama"))
        return;  // built without the viewer
    EXPECT_TRUE(fs::exists(bin / "cladorama"));
    EXPECT_EQ(fs::status(bin / "cladorama").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    const std::string entry =
        readFileBytes((prefix.path() / "share/applications/cladorama.desktop").string());
    EXPECT_NE(entry.find("\nExec=cladorama %F\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=cladorama\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(prefix.path() / "share/icons/hicolor/scalable/apps/cladorama.svg"));
}

namespace {

// The names of the ELF sections of `program`, as readelf lists them.
std::string sectionNames(const fs::path& program, const TempDir& dir) {
    const std::string listing = dir.file("sections.txt");
    const std::string command =
        "readelf -S -W '" + program.string() + "' > '" + listing + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "readelf failed: " + readFileBytes(listing);
    return readFileBytes(listing);
}

}  // namespace

TEST(Install, ProgramsAreStrippedAndTheMenuEntryValidatesCleanly) {
    TempDir prefix;
    const std::string command = std::string("\"") + CLADORAMA_CMAKE + "\" --install \"" +
                                CLADORAMA_BINARY_DIR + "\" --prefix \"" + prefix.path().string() +
                                "\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    TempDir scratch;
    for (const char* name : {"cladorama-cli", "cladorama"}) {
        const fs::path program = prefix.path() / "bin" / name;
        if (!fs::exists(program)) continue;  // built without the viewer
        const std::string sections = sectionNames(program, scratch);
        EXPECT_NE(sections.find(".text"), std::string::npos) << sections;
        EXPECT_EQ(sections.find(".debug_"), std::string::npos) << name << " carries debug information";
        EXPECT_EQ(sections.find(".symtab"), std::string::npos) << name << " carries its symbol table";
    }
    const fs::path entry = prefix.path() / "share/applications/cladorama.desktop";
    if (!fs::exists(entry)) return;
    if (std::system("command -v desktop-file-validate > /dev/null") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    const std::string report = scratch.file("validate.txt");
    const int status =
        std::system(("desktop-file-validate '" + entry.string() + "' > '" + report + "' 2>&1").c_str());
    EXPECT_EQ(status, 0);
    // Not even a hint.
    EXPECT_EQ(readFileBytes(report), "");
}
