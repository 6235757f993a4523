#include "TreeNode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kRankNames[21] = {
    "Kingdom",  "Phylum",     "Subphylum",   "Superclass", "Class",    "Subclass",
    "Infraclass", "Superorder", "Order",     "Suborder",   "Infraorder", "Superfamily",
    "Family",   "Subfamily",  "Tribe",       "Subtribe",   "Genus",    "Subgenus",
    "Species",  "Subspecies", "Difference"};

const uint8_t kRankColors[20][3] = {
    {240, 194, 57},  {204, 51, 51},   {255, 101, 101}, {255, 153, 204}, {204, 51, 204},
    {255, 102, 255}, {204, 153, 255}, {0, 102, 204},   {102, 153, 204}, {0, 153, 153},
    {102, 204, 204}, {51, 204, 153},  {153, 204, 153}, {0, 153, 51},    {102, 204, 102},
    {204, 204, 153}, {153, 153, 51},  {204, 204, 102}, {255, 103, 51},  {255, 153, 102}};

// Names every taxon of a checklist repeats: the empty name (most taxa below the genus have
// no common name) and the twenty rank names. One shared copy each instead of an allocation
// per taxon saves tens of bytes per taxon and most of the allocations of a load. Names are
// never written through, so sharing is invisible to their users.
struct SharedNames {
    // "\0Kingdom\0Phylum\0...Subspecies\0": the empty name first, then the ranks.
    char text[1 + 20 * 12] = {};
    uint16_t offset[kRankCount] = {};
    uint8_t length[kRankCount] = {};

    constexpr SharedNames() {
        size_t at = 1;
        for (int r = 0; r < kRankCount; ++r) {
            size_t n = std::char_traits<char>::length(kRankNames[r]);
            for (size_t i = 0; i <= n; ++i) text[at + i] = kRankNames[r][i];
            offset[r] = static_cast<uint16_t>(at);
            length[r] = static_cast<uint8_t>(n);
            at += n + 1;
        }
        for (auto& row : byLength)
            for (int8_t& r : row) r = -1;
        for (int8_t& r : rankAt) r = -1;
        for (int r = 0; r < kRankCount; ++r) rankAt[offset[r]] = static_cast<int8_t>(r);
        for (int r = 0; r < kRankCount; ++r) {
            int8_t* row = byLength[length[r]];
            while (*row >= 0) ++row;
            *row = static_cast<int8_t>(r);
        }
    }
    bool owns(const char* name) const {
        auto p = reinterpret_cast<uintptr_t>(name);
        auto begin = reinterpret_cast<uintptr_t>(text);
        return p >= begin && p < begin + sizeof text;
    }
    // Looked up for every name a loader stores, so it must cost next to nothing for the
    // Latin names that are not rank names: most are rejected by their length or first
    // byte before any comparison.
    char* find(const char* name, size_t n) {
        if (n == 0) return text;
        if (n >= kByLengthSize) return nullptr;
        for (int8_t r : byLength[n]) {
            if (r < 0) break;
            if (sameBytes(text + offset[r], name, n)) return text + offset[r];
        }
        return nullptr;
    }

    int rankOf(const char* name) const {
        return owns(name) ? rankAt[name - text] : -1;
    }

    // Equality of n bytes, 4 <= n <= 16, as two overlapping word comparisons.
    static bool sameBytes(const char* a, const char* b, size_t n) {
        if (n >= 8) return word<uint64_t>(a) == word<uint64_t>(b) &&
                           word<uint64_t>(a + n - 8) == word<uint64_t>(b + n - 8);
        return word<uint32_t>(a) == word<uint32_t>(b) &&
               word<uint32_t>(a + n - 4) == word<uint32_t>(b + n - 4);
    }
    template <class Word>
    static Word word(const char* p) {
        Word w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }

    // Ranks by name length: at most five names share a length ("Superclass" ...).
    static constexpr size_t kByLengthSize = 12;
    int8_t byLength[kByLengthSize][6] = {};
    int8_t rankAt[sizeof text] = {};  // rank whose shared name starts at an offset, or -1
};

constinit SharedNames g_sharedNames;

}  // namespace

char* newName(const char* text, size_t length) {
    if (char* shared = g_sharedNames.find(text, length)) return shared;
    char* p = static_cast<char*>(std::malloc(length + 1));
    if (!p) std::abort();
    std::memcpy(p, text, length);
    p[length] = 0;
    return p;
}

char* newName(const char* text) { return newName(text, std::strlen(text)); }

void freeName(char* name) {
    if (!g_sharedNames.owns(name)) std::free(name);
}

bool isSharedName(const char* name) { return g_sharedNames.owns(name); }

int sharedRankOf(const char* name) { return g_sharedNames.rankOf(name); }

TreeNode::~TreeNode() {
    freeName(latinName);
    freeName(rankName);
    freeName(commonName);
    // Take the descendants over into an explicit stack and delete them one by one, each
    // with an empty children array, so no destructor recurses.
    std::vector<TreeNode*> pending;
    pending.swap(children);
    while (!pending.empty()) {
        TreeNode* n = pending.back();
        pending.pop_back();
        for (TreeNode* c : n->children) pending.push_back(c);
        n->children.clear();
        delete n;
    }
}

ClassificationTree::ClassificationTree() {
    x = 0.05;
    y = 0.05;
    width = 0.9;
    height = 0.9;
}

ClassificationTree::~ClassificationTree() {
    for (char* s : rankNames) freeName(s);
}

void ClassificationTree::swapContents(ClassificationTree& o) {
    auto redirect = [](std::vector<TreeNode*>& index, TreeNode* from, TreeNode* to) {
        for (TreeNode*& p : index) {
            if (p == from) p = to;
            else if (p == to) p = from;
        }
    };
    TreeNode* self = this;
    TreeNode* other = &o;
    std::swap(x, o.x);
    std::swap(y, o.y);
    std::swap(width, o.width);
    std::swap(height, o.height);
    std::swap(overviewX, o.overviewX);
    std::swap(overviewY, o.overviewY);
    std::swap(overviewWidth, o.overviewWidth);
    std::swap(overviewHeight, o.overviewHeight);
    std::swap(hitLeft, o.hitLeft);
    std::swap(hitRight, o.hitRight);
    std::swap(hitBottom, o.hitBottom);
    std::swap(hitTop, o.hitTop);
    std::swap(number, o.number);
    std::swap(level, o.level);
    std::swap(onlyInTree, o.onlyInTree);
    std::swap(descendantCount, o.descendantCount);
    std::swap(combinedDescendantCount, o.combinedDescendantCount);
    std::swap(latinName, o.latinName);
    std::swap(commonName, o.commonName);
    std::swap(rankName, o.rankName);
    std::swap(color, o.color);
    children.swap(o.children);
    for (TreeNode* c : children) c->parent = self;
    for (TreeNode* c : o.children) c->parent = other;
    std::swap(fileSize, o.fileSize);
    std::swap(nodeCount, o.nodeCount);
    std::swap(leafCount, o.leafCount);
    std::swap(maxLevel, o.maxLevel);
    std::swap(treeId, o.treeId);
    rankNames.swap(o.rankNames);
    latinIndex.swap(o.latinIndex);
    commonIndex.swap(o.commonIndex);
    redirect(latinIndex, other, self);
    redirect(commonIndex, other, self);
    redirect(o.latinIndex, self, other);
    redirect(o.commonIndex, self, other);
}

const char* rankName(int rank) {
    return rank >= 0 && rank <= Difference ? kRankNames[rank] : nullptr;
}

int rankFromName(const char* name) {
    if (!name) return -1;
    for (int r = 0; r <= Difference; ++r)
        if (std::strcmp(name, kRankNames[r]) == 0) return r;
    return -1;
}

void rankToName(int rank, char* buffer) {
    if (const char* n = rankName(rank)) std::memcpy(buffer, n, std::strlen(n) + 1);
}

bool rankColor(int rank, uint8_t rgb[3]) {
    if (rank < 0 || rank >= kRankCount) return false;
    std::memcpy(rgb, kRankColors[rank], 3);
    return true;
}

void applyRankColor(TreeNode& node) {
    int r = rankFromName(node.rankName);
    rankColor(r, node.color);  // "Difference" (20) and unknown names leave the colour
}

std::string validate(const ClassificationTree& tree) {
    // Every child reached names its parent as the node it was reached from, and the root
    // is no child: so a node could only be reached twice by being listed twice under one
    // parent, which is looked for parent by parent (no set of every node).
    std::vector<const TreeNode*> stack{&tree}, sorted;
    if (tree.parent) return "root has a parent";
    if (tree.level != 0) return "root level is not 0";
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        sorted.assign(n->children.begin(), n->children.end());
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            return "node reached twice";
        const char* name = n->latinName ? n->latinName : "(null)";
        if (!n->latinName || !n->commonName || !n->rankName)
            return std::string("null name on node ") + name;
        if (n->onlyInTree > 2) return std::string("bad mark on node ") + name;
        for (const TreeNode* c : n->children) {
            if (!c) return std::string("null child under ") + name;
            if (c->parent != n) return std::string("wrong parent link under ") + name;
            if (c->level != n->level + 1) return std::string("level jump under ") + name;
            stack.push_back(c);
        }
    }
    return {};
}
