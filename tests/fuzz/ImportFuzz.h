// Shared by the importers' fuzz targets: what every imported tree must satisfy, and the
// zip archives built from inputs that list their entries in plain text.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "Import.h"
#include "Facts.h"
#include "ImportFailure.h"
#include "ImportInternal.h"
#include "TreeBuilder.h"

namespace fuzz {

// The links hold, nodeCount counts the nodes reachable from the root, leafCount those
// without children (the root aside), and no rank is listed twice.
inline void checkImported(const ClassificationTree& tree, const char* when) {
    std::string problem = validate(tree);
    if (!problem.empty()) fail(when, "validate: " + problem);
    int32_t nodes = 0, leaves = 0;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        ++nodes;
        leaves += n != &tree && n->children.empty();
    });
    if (nodes != tree.nodeCount)
        fail(when, "nodeCount " + std::to_string(tree.nodeCount) + ", reachable " + std::to_string(nodes));
    if (leaves != tree.leafCount)
        fail(when, "leafCount " + std::to_string(tree.leafCount) + ", leaves " + std::to_string(leaves));
    for (size_t i = 0; i < tree.rankNames.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (std::strcmp(tree.rankNames[i], tree.rankNames[j]) == 0)
                fail(when, std::string("rank listed twice: ") + tree.rankNames[i]);
}

// A node-for-node copy of `from` into the fresh tree `to`, counts and rank list included.
inline void copyTree(const ClassificationTree& from, ClassificationTree& to) {
    std::vector<std::pair<const TreeNode*, TreeNode*>> stack{{&from, &to}};
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        b->latinName = newName(a->latinName);
        b->commonName = newName(a->commonName);
        b->rankName = newName(a->rankName);
        b->level = a->level;
        b->number = a->number;
        std::memcpy(b->color, a->color, 3);
        for (const TreeNode* c : a->children) {
            auto* copy = new TreeNode;
            b->addChild(copy);
            stack.emplace_back(c, copy);
        }
    }
    to.nodeCount = from.nodeCount;
    to.leafCount = from.leafCount;
    to.fileSize = from.fileSize;
    for (const char* r : from.rankNames) to.rankNames.push_back(newName(r));
}

// Checks `tree`, then aligns its levels with a small fixed checklist's (ranks partly shared
// with any input, partly not) and checks both again.
inline void checkImportedAndAligned(ClassificationTree& tree) {
    checkImported(tree, "imported:");
    // Imported once; each run aligns a copy, which costs far less than importing anew.
    static const ClassificationTree* const kOther = [] {
        static const std::string text =
            "Class,Order,Family,Tribe,Genus,Species,Subspecies\n"
            "Mammalia,Carnivora,Felidae,,Felis,Felis catus,\n"
            "Mammalia,Carnivora,Felidae,Felini,Felis,Felis silvestris,Felis silvestris lybica\n"
            "Mammalia,Chiroptera,Vespertilionidae,Myotini,Myotis,Myotis lucifugus,\n";
        auto* other = new ClassificationTree;
        if (!importTableFromMemory(*other, text.data(), text.size(), "other.csv"))
            fail("the fixed checklist does not import");
        return other;
    }();
    ClassificationTree other;
    copyTree(*kOther, other);
    alignRankLevels(tree, other);
    console().take();
    checkImported(tree, "aligned:");
    checkImported(other, "aligned other:");
}

// The facts an import gave belong to taxa of the tree it gave.
inline void checkFacts(const ClassificationTree& tree, const TaxonFacts& facts) {
    if (facts.empty()) return;
    std::unordered_set<const TreeNode*> nodes;
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) { nodes.insert(n); });
    facts.forEach([&](const TreeNode* n, const char* id, const char* authorship) {
        if (!nodes.count(n)) fail("facts of a taxon not in the tree");
        if (id && !*id) fail("an empty identifier kept");
        if (authorship && !*authorship) fail("an empty authorship kept");
    });
    for (const TaxonFacts::Synonym& s : facts.synonyms())
        if (!nodes.count(s.accepted) || !s.name || !s.authorship)
            fail("a synonym of a taxon not in the tree");
}

// Names, ranks, common names, levels, numbers and colours in reading order, and the counts:
// equal for two readings that gave the same tree.
inline std::string describe(const ClassificationTree& tree) {
    std::string out = std::to_string(tree.nodeCount) + " " + std::to_string(tree.leafCount) + " " +
                      std::to_string(tree.fileSize) + "\n";
    for (const char* r : tree.rankNames) out.append(r).push_back(',');
    forEachNode(static_cast<const TreeNode*>(&tree), [&](const TreeNode* n) {
        out.push_back('\n');
        out.append(std::to_string(n->level)).push_back(' ');
        out.append(std::to_string(n->number)).push_back(' ');
        out.append(n->latinName).append("|").append(n->rankName).append("|").append(n->commonName);
        out.append(reinterpret_cast<const char*>(n->color), 3);
    });
    return out;
}

// An input that starts with "@@ " lists the files of a package as text: each file is a line
// "@@ NAME" and the bytes up to the next such line. Empty when the input is no such list.
inline std::vector<std::pair<std::string, std::string>> filesOf(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, std::string>> files;
    if (!text.starts_with("@@ ")) return files;
    size_t at = 3;
    while (at <= text.size()) {
        size_t lineEnd = text.find('\n', at);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        std::string name(text.substr(at, lineEnd - at));
        size_t next = text.find("\n@@ ", lineEnd);
        size_t bodyFrom = std::min(lineEnd + 1, text.size());
        size_t bodyTo = next == std::string_view::npos ? text.size() : next + 1;
        files.emplace_back(name.empty() ? "-" : name, text.substr(bodyFrom, bodyTo - bodyFrom));
        if (next == std::string_view::npos) break;
        at = next + 4;
    }
    return files;
}

// The files made into a zip of stored entries, so that mutations reach the files inside
// rather than dying on a checksum. False when no archive could be written.
inline bool zipOf(const std::vector<std::pair<std::string, std::string>>& files, std::string& zip) {
    zip.clear();
    archive* a = archive_write_new();
    if (!a) return false;
    archive_write_set_format_zip(a);
    archive_write_set_options(a, "zip:compression=store");
    archive_write_set_bytes_in_last_block(a, 1);  // no padding after the archive
    bool ok = archive_write_open(
                  a, &zip, nullptr,
                  [](archive*, void* out, const void* bytes, size_t length) -> la_ssize_t {
                      static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), length);
                      return static_cast<la_ssize_t>(length);
                  },
                  nullptr) == ARCHIVE_OK;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        const auto& [name, body] = files[i];
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(body.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        ok = archive_write_header(a, e) == ARCHIVE_OK &&
             archive_write_data(a, body.data(), body.size()) == static_cast<la_ssize_t>(body.size());
        archive_entry_free(e);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// The check of the package targets. An input that lists files is read as a package of files
// in memory, and one such input in sixteen (by a hash of the whole input) also as a zip of
// them: writing and reading a zip costs three times the rest of a run. Any other input is
// taken as the zip itself. Zips are read within a small bound on what they may inflate to,
// so that a bomb costs little. (The two readings of one list are not compared: the zip
// writer and reader rewrite some names, so they need not find the same files.)
inline int importArchiveInput(const uint8_t* data, size_t size) {
    // libarchive converts zip times through mktime and localtime, which look at
    // /etc/localtime on every call unless TZ names the zone: a dozen system calls a run.
    static const bool zoneFixed = setenv("TZ", "UTC", 1) == 0;
    (void)zoneFixed;
    ImportOptions options;
    options.maxUncompressedBytes = 1 << 16;
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    // Half the inputs are read as a comparison reads them, with the facts of their taxa.
    TaxonFacts facts;
    if (hash & 32) options.facts = &facts;
    auto readZip = [&](const char* zip, size_t zipSize) {
        console().take();
        ClassificationTree tree;
        imp::FactsScope scope(tree, options);
        if (scope.finish(imp::importZip(tree, zip, zipSize, "input.zip", options))) {
            if (tree.fileSize != static_cast<int64_t>(zipSize)) fail("fileSize is not the archive's size");
            checkFacts(tree, facts);
            checkImportedAndAligned(tree);
        }
    };
    auto files = filesOf(data, size);
    if (files.empty()) {
        readZip(reinterpret_cast<const char*>(data), size);
        return 0;
    }
    std::string zip;
    if (hash % 16 == 0 && zipOf(files, zip)) readZip(zip.data(), zip.size());

    int64_t total = 0;
    for (const auto& f : files) total += static_cast<int64_t>(f.second.size());
    // One list in four, read without facts, is read again with every reading of linked taxa
    // and names split in two as large files are (Name and Taxon files side by side): the
    // tree, the console lines and the failure must be those of the reading in one piece.
    const bool split = !options.facts && hash % 4 == 1;
    std::vector<std::pair<std::string, std::string>> again;
    if (split) again = files;
    auto read = [&](std::vector<std::pair<std::string, std::string>> given, bool check) {
        console().take();
        ClassificationTree tree;
        imp::Package package;
        package.openFiles(std::move(given));
        imp::FailureCatch failure;
        imp::FactsScope scope(tree, options);
        const bool ok = scope.finish(imp::importPackage(tree, package, "input.zip"));
        const FileResult r = failure.result(ok, "input.zip");
        if (ok && check) {
            if (tree.fileSize != total) fail("fileSize is not the files' size");
            checkFacts(tree, facts);
        }
        std::string seen = (ok ? describe(tree) : r.failure().line()) + "\n" + console().take();
        if (ok && check) checkImportedAndAligned(tree);
        return seen;
    };
    const std::string whole = read(std::move(files), true);
    if (split) {
        imp::splitReadingsAlways(true);
        const std::string halves = read(std::move(again), false);
        imp::splitReadingsAlways(false);
        if (halves != whole) fail("read in two parts:", halves + "\nin one: " + whole);
    }
    return 0;
}

}  // namespace fuzz
