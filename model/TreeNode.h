// Taxon records, the tree that is its own root, and the rank table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// The edge values of an empty pick box.
inline constexpr double kNoPickBox = std::numeric_limits<double>::infinity();

// One taxon. Plain record: every subsystem reads and writes the fields directly.
struct TreeNode {
    // Square of the node in the nested-circle layout (layout units, y upwards).
    double x = 0, y = 0, width = 0, height = 0;
    // Box in the overview (bar) layout.
    double overviewX = 0, overviewY = 0, overviewWidth = 0, overviewHeight = 0;
    // Pick box of the flag square drawn beside the label of a differing taxon. Until the
    // square is drawn the box is empty (left above right, bottom above top) and holds no
    // point, not even the window's centre.
    double hitLeft = kNoPickBox, hitRight = -kNoPickBox, hitBottom = kNoPickBox,
           hitTop = -kNoPickBox;
    int32_t number = 0;
    int32_t level = 0;
    // 0 = paired with a same-named, same-ranked taxon of the other tree; otherwise the
    // id (1 or 2) of the tree the taxon comes from.
    uint8_t onlyInTree = 0;
    int32_t descendantCount = 0;
    int32_t combinedDescendantCount = 0;
    // Owned zero-terminated byte strings (see newName/freeName); null only on a node
    // that no loader has filled yet.
    char* latinName = nullptr;
    char* commonName = nullptr;
    char* rankName = nullptr;
    uint8_t color[3] = {0, 0, 0};
    std::vector<TreeNode*> children;  // owned
    TreeNode* parent = nullptr;       // not owned

    TreeNode() = default;
    // Frees the names and the whole subtree. Iterative: a hostile file may nest
    // thousands of levels deep, and the destructor must not run out of stack.
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    // Appends `child` (taking ownership) and sets its parent link.
    void addChild(TreeNode* child) {
        child->parent = this;
        children.push_back(child);
    }
};

// One hierarchy. The tree object is the root node itself.
struct ClassificationTree : TreeNode {
    int64_t fileSize = 0;
    int32_t nodeCount = 0;
    int32_t leafCount = 0;
    int32_t maxLevel = -999;
    uint8_t treeId = 0;
    std::vector<char*> rankNames;         // owned strings
    std::vector<TreeNode*> latinIndex;    // not owning
    std::vector<TreeNode*> commonIndex;   // not owning

    // A fresh tree: root square 0.05, 0.05, 0.9, 0.9, no names, nothing loaded.
    ClassificationTree();
    ~ClassificationTree();

    // Exchanges everything the two trees hold (hierarchy, counts, rank names, indexes)
    // but not the tree objects themselves: children are re-parented and index entries
    // naming one root are redirected to the other, so both trees stay consistent.
    // `treeId` is exchanged too. Used to replace a loaded tree only once its successor
    // has been read completely.
    void swapContents(ClassificationTree& other);
};

// Owned names. Every name of a node goes through these two, so that the empty name and the
// twenty rank names can be shared instead of costing an allocation per taxon. Names are
// never modified in place.
char* newName(const char* text, size_t length);
inline char* newName(const std::string& s) { return newName(s.data(), s.size()); }
char* newName(const char* text);  // zero-terminated source
void freeName(char* name);
// True for the shared copies newName hands out for the empty name and the rank names.
bool isSharedName(const char* name);
// The rank 0..19 whose shared name `name` is; -1 for any other pointer, even to equal text.
int sharedRankOf(const char* name);

// Rank values; names are exact and case-sensitive.
enum Rank : int {
    Kingdom = 0, Phylum, Subphylum, Superclass, Class, Subclass, Infraclass, Superorder,
    Order, Suborder, Infraorder, Superfamily, Family, Subfamily, Tribe, Subtribe, Genus,
    Subgenus, Species, Subspecies, Difference
};
constexpr int kRankCount = 20;  // taxonomic ranks; Difference (20) is the legend's extra row

// Exact name of `rank` 0..20, or null.
const char* rankName(int rank);
// Rank value of an exact name, or -1.
int rankFromName(const char* name);
// Copies the name of rank 0..20 with its terminating zero into `buffer` (at least 12
// bytes); leaves the buffer alone for any other value.
void rankToName(int rank, char* buffer);
// Colour of taxonomic rank 0..19; false (and `rgb` untouched) for any other value.
bool rankColor(int rank, uint8_t rgb[3]);
// Sets the node's colour from its rank name when that is one of the twenty ranks.
void applyRankColor(TreeNode& node);

// Checks the invariants of a loaded tree: levels grow by one, parent links match the
// children arrays, every node is reached exactly once, names are never null, marks are
// 0, 1 or 2. Returns an empty string when all hold, else a description of the first
// breach.
std::string validate(const ClassificationTree& tree);

// Calls f(node) for every node of the subtree, a node before its children, children in
// order. Iterative, so depth is not limited by the stack.
template <class Node, class F>
void forEachNode(Node* root, F&& f) {
    std::vector<Node*> stack{root};
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        f(n);
        for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i]);
    }
}
