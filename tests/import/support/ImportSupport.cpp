#include "ImportSupport.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"

std::string dump(const ClassificationTree& t) {
    EXPECT_EQ(validate(t), "");
    int nodes = 0, leaves = 0, number = 0;
    std::string out;
    forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
        EXPECT_EQ(n->number, number++);
        ++nodes;
        leaves += n->children.empty() && n != &t;
        out += std::string(2 * static_cast<size_t>(n->level), ' ') + n->latinName + "|" +
               n->rankName + "|" + n->commonName + "\n";
    });
    EXPECT_EQ(t.nodeCount, nodes);
    EXPECT_EQ(t.leafCount, leaves);
    return out;
}

std::string ranks(const ClassificationTree& t) {
    std::string s;
    for (const char* r : t.rankNames) s += std::string(s.empty() ? "" : ",") + r;
    return s;
}

Imported importFile(ClassificationTree& t, const std::string& path, ImportOptions o) {
    testing::internal::CaptureStderr();
    bool ok = importClassification(t, path, o);
    std::string err = testing::internal::GetCapturedStderr();
    if (!ok) {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(path), std::string::npos) << err;
        EXPECT_EQ(t.nodeCount, 0);
        EXPECT_EQ(t.children.size(), 0u);
        EXPECT_EQ(t.latinName, nullptr);
    }
    return {ok, err};
}

void writeZip(const std::string& path, const std::map<std::string, std::string>& files) {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    for (const auto& [name, data] : files) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, data.data(), data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

ZipRead readZip(const std::map<std::string, std::string>& files) {
    TempDir dir;
    writeZip(dir.file("a.zip"), files);
    ClassificationTree t;
    ConsoleCapture console;
    Imported r = importFile(t, dir.file("a.zip"));
    EXPECT_TRUE(r.ok) << r.error;
    return {r.ok ? dump(t) : r.error, console.text()};
}
