#include "TreeNode.h"

#include <cstdlib>
#include <cstring>
#include <unordered_set>

namespace {

// One shared empty name: most taxa of real checklists lack a common name below the
// genus, and an allocation apiece would cost tens of bytes per taxon.
char kEmptyName[1] = {0};

const char* const kRankNames[21] = {
    "Kingdom",  "Phylum",     "Subphylum",   "Superclass", "Class",    "Subclass",
    "Infraclass", "Superorder", "Order",     "Suborder",   "Infraorder", "Superfamily",
    "Family",   "Subfamily",  "Tribe",       "Subtribe",   "Genus",    "Subgenus",
    "Species",  "Subspecies", "Difference"};

const uint8_t kRankColors[20][3] = {
    {240, 194, 57},  {204, 51, 51},   {255, 101, 101}, {255, 153, 204}, {204, 51, 204},
    {255, 102, 255}, {204, 153, 255}, {0, 102, 204},   {102, 153, 204}, {0, 153, 153},
    {102, 204, 204}, {51, 204, 153},  {153, 204, 153}, {0, 153, 51},    {102, 204, 102},
    {204, 204, 153}, {153, 153, 51},  {204, 204, 102}, {255, 103, 51},  {255, 153, 102}};

}  // namespace

char* newName(const char* text, size_t length) {
    if (length == 0) return kEmptyName;
    char* p = static_cast<char*>(std::malloc(length + 1));
    if (!p) std::abort();
    std::memcpy(p, text, length);
    p[length] = 0;
    return p;
}

char* newName(const char* text) { return newName(text, std::strlen(text)); }

void freeName(char* name) {
    if (name != kEmptyName) std::free(name);
}

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
    std::unordered_set<const TreeNode*> seen;
    std::vector<const TreeNode*> stack{&tree};
    if (tree.parent) return "root has a parent";
    if (tree.level != 0) return "root level is not 0";
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        if (!seen.insert(n).second) return "node reached twice";
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
