#include "TreeFileSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TreeFile.h"

std::vector<const TreeNode*> preorder(const TreeNode* root) {
    std::vector<const TreeNode*> out;
    forEachNode(root, [&](const TreeNode* n) { out.push_back(n); });
    return out;
}

uint64_t bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

double fromBits(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// Everything a tree holds, stored in the file or not, including the addresses of its nodes,
// so that two dumps are equal only when the tree was not touched at all.
std::string dump(const ClassificationTree& t) {
    std::string s = std::to_string(t.nodeCount) + "/" + std::to_string(t.leafCount) + "/" +
                    std::to_string(t.maxLevel) + "/" + std::to_string(t.treeId) + "/" +
                    std::to_string(t.fileSize) + "\n";
    for (const char* r : t.rankNames) s += std::string("rank ") + r + "\n";
    char line[512];
    for (const TreeNode* n : preorder(&t)) {
        std::snprintf(line, sizeof line,
                      "%p %p %s|%s|%s %a %a %a %a %a %a %a %a %a %a %a %a %d %d %d %d %d "
                      "%d %d %d %zu\n",
                      static_cast<const void*>(n), static_cast<const void*>(n->parent),
                      n->latinName ? n->latinName : "(null)",
                      n->commonName ? n->commonName : "(null)",
                      n->rankName ? n->rankName : "(null)", n->x, n->y, n->width, n->height,
                      n->overviewX, n->overviewY, n->overviewWidth, n->overviewHeight,
                      n->hitLeft, n->hitRight, n->hitBottom, n->hitTop, n->number, n->level,
                      n->onlyInTree, n->descendantCount, n->combinedDescendantCount,
                      n->color[0], n->color[1], n->color[2], n->children.size());
        s += line;
    }
    for (const TreeNode* n : t.latinIndex) s += "L" + std::to_string(uintptr_t(n)) + "\n";
    for (const TreeNode* n : t.commonIndex) s += "C" + std::to_string(uintptr_t(n)) + "\n";
    return s;
}

// Compares every field the file stores, the shape and the parent links of two trees.
void expectSameStoredContent(const ClassificationTree& a, const ClassificationTree& b) {
    EXPECT_EQ(a.nodeCount, b.nodeCount);
    EXPECT_EQ(a.leafCount, b.leafCount);
    EXPECT_EQ(a.maxLevel, b.maxLevel);
    ASSERT_EQ(a.rankNames.size(), b.rankNames.size());
    for (size_t i = 0; i < a.rankNames.size(); ++i)
        EXPECT_STREQ(a.rankNames[i], b.rankNames[i]);
    auto na = preorder(&a), nb = preorder(&b);
    ASSERT_EQ(na.size(), nb.size());
    for (size_t i = 0; i < na.size(); ++i) {
        const TreeNode &p = *na[i], &q = *nb[i];
        SCOPED_TRACE("node " + std::to_string(i));
        EXPECT_STREQ(p.latinName, q.latinName);
        EXPECT_STREQ(p.commonName, q.commonName);
        EXPECT_STREQ(p.rankName, q.rankName);
        EXPECT_EQ(bits(p.x), bits(q.x));
        EXPECT_EQ(bits(p.y), bits(q.y));
        EXPECT_EQ(bits(p.width), bits(q.width));
        EXPECT_EQ(bits(p.height), bits(q.height));
        EXPECT_EQ(p.level, q.level);
        EXPECT_EQ(p.descendantCount, q.descendantCount);
        EXPECT_EQ(p.combinedDescendantCount, q.combinedDescendantCount);
        EXPECT_EQ(0, std::memcmp(p.color, q.color, 3));
        EXPECT_EQ(p.onlyInTree, q.onlyInTree);
        EXPECT_EQ(p.number, q.number);
        EXPECT_EQ(childNames(&p), childNames(&q));
        ASSERT_EQ(p.children.size(), q.children.size());
        // Parent links: the position of each node's parent in depth-first order agrees.
        if (i > 0) {
            size_t pa = 0, pb = 0;
            while (na[pa] != p.parent) ++pa;
            while (nb[pb] != q.parent) ++pb;
            EXPECT_EQ(pa, pb);
        }
    }
}

std::string randomName(std::mt19937& rng, int minLength, int maxLength) {
    std::uniform_int_distribution<int> len(minLength, maxLength), byte(1, 255);
    std::string s(static_cast<size_t>(len(rng)), ' ');
    for (char& c : s) c = static_cast<char>(byte(rng));
    return s;
}

// A random tree of `count` nodes whose every stored field holds an arbitrary value (raw
// bit patterns for the reals, NaNs and negative zeros included).
void randomTree(ClassificationTree& t, std::mt19937& rng, int count) {
    static const char* const ranks[] = {"Kingdom", "Order", "Family", "Genus", "Species",
                                        "genus ", "Subtribe"};
    auto fill = [&](TreeNode& n) {
        std::uniform_int_distribution<uint64_t> any64;
        std::uniform_int_distribution<int32_t> any32(INT32_MIN, INT32_MAX);
        n.x = fromBits(any64(rng));
        n.y = fromBits(any64(rng));
        n.width = fromBits(any64(rng));
        n.height = fromBits(any64(rng));
        n.descendantCount = any32(rng);
        n.combinedDescendantCount = any32(rng);
        n.number = any32(rng);
        for (uint8_t& c : n.color) c = static_cast<uint8_t>(rng());
        n.onlyInTree = static_cast<uint8_t>(rng() % 3);
    };
    std::string latin = randomName(rng, 1, 24), common = randomName(rng, 0, 3);
    nameRoot(t, latin.c_str(), ranks[rng() % 7], rng() % 2 ? common.c_str() : "");
    fill(t);
    std::vector<TreeNode*> nodes{&t};
    for (int i = 1; i < count; ++i) {
        // Favour recent nodes so that the tree gets deep as well as wide.
        size_t pick = rng() % 3 == 0 ? rng() % nodes.size() : nodes.size() - 1 - rng() % std::min<size_t>(nodes.size(), 3);
        latin = randomName(rng, 1, 24);
        common = rng() % 2 ? randomName(rng, 1, 20) : "";
        TreeNode* n = addNode(nodes[pick], latin.c_str(), ranks[rng() % 7], common.c_str());
        fill(*n);
        nodes.push_back(n);
    }
    for (const char* r : ranks) t.rankNames.push_back(newName(r));
    t.nodeCount = count;
    t.leafCount = static_cast<int32_t>(rng() % 1000);
    t.maxLevel = 0;
    for (TreeNode* n : nodes) t.maxLevel = std::max(t.maxLevel, n->level);
}

// The small hand-made tree most failure tests start from.
void smallTree(ClassificationTree& t) {
    t.treeId = 1;
    nameRoot(t, "Animalia", "Kingdom", "animals");
    TreeNode* a = addNode(&t, "Chordata", "Phylum");
    TreeNode* b = addNode(a, "Mammalia", "Class", "mammals");
    addNode(b, "Primates", "Order");
    TreeNode* c = addNode(&t, "Mollusca", "Phylum");
    c->onlyInTree = 2;
    t.rankNames = {newName("Kingdom"), newName("Phylum"), newName("Class"), newName("Order")};
    t.nodeCount = 5;
    t.leafCount = 2;
    t.maxLevel = 3;
}

void putI32(std::string& bytes, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
}

int lineCount(const std::string& s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}


ReadOutcome readCapturing(ClassificationTree& t, const std::string& path) {
    ConsoleCapture console;
    testing::internal::CaptureStderr();
    int r = readTreeFile(t, path.c_str());
    std::string err = testing::internal::GetCapturedStderr();
    return {r, console.text(), err};
}

// A tree that already holds a hierarchy: failed reads must leave it exactly so.
void loadedTree(ClassificationTree& t, const TempDir& dir) {
    ClassificationTree src;
    std::mt19937 rng(7);
    randomTree(src, rng, 12);
    std::string p = dir.file("loaded.jm2");
    ASSERT_EQ(1, writeTreeFile(src, p.c_str()));
    t.treeId = 2;
    ConsoleCapture quiet;
    ASSERT_EQ(1, readTreeFile(t, p.c_str()));
}

// Expects `path` to be refused with one diagnostic naming it, and `t` untouched.
void expectRefused(ClassificationTree& t, const std::string& path, const char* why) {
    std::string before = dump(t);
    ReadOutcome r = readCapturing(t, path);
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(before, dump(t));
    if (t.latinName) {  // a fresh tree has no names yet
        EXPECT_EQ("", validate(t));
    }
    EXPECT_EQ("", r.console) << "no census after a failed read";
    EXPECT_EQ(1, lineCount(r.errors)) << r.errors;
    EXPECT_NE(std::string::npos, r.errors.find(path)) << r.errors;
    EXPECT_NE(std::string::npos, r.errors.find("byte offset")) << r.errors;
    if (why) {
        EXPECT_NE(std::string::npos, r.errors.find(why)) << r.errors;
    }
}

// A chain of `depth` nodes below the root, each named "n" with rank "Genus".
void chain(ClassificationTree& t, int depth) {
    nameRoot(t, "n", "Genus");
    t.rankNames.push_back(newName("Genus"));
    TreeNode* n = &t;
    for (int i = 0; i < depth; ++i) n = addNode(n, "n", "Genus");
}
