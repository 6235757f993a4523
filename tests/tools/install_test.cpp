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
