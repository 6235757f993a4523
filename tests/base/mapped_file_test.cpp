// A mapped file whose pages are given back still reads as the file.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "MappedFile.h"
#include "TestSupport.h"

TEST(MappedFile, ReleasedPagesStillReadAsTheFile) {
    TempDir dir;
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::string bytes(3 * page + 123, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i * 7 % 26);
    MappedFile file;
    ASSERT_EQ(file.load(dir.write("f", bytes)), "");
    ASSERT_TRUE(file.guard()) << "not mapped here: nothing to give back";
    ASSERT_EQ(std::string(file.data(), file.size()), bytes);
    // Part of a page, pages inside a range and the tail of the file, then all of it.
    file.release(10, 20);
    file.release(page / 2, 2 * page + 1);
    file.release(3 * page, SIZE_MAX);
    EXPECT_EQ(std::string(file.data(), file.size()), bytes);
    file.release();
    EXPECT_EQ(std::string(file.data(), file.size()), bytes);
}
