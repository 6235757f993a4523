#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "Layout.h"
#include "TestSupport.h"

namespace {

const float (*block(int n))[2] { return kPlacementTable + n * (n - 1) / 2; }

double rhoOf(int n) { return 0.5 / std::sqrt(static_cast<double>(n)); }

// A fresh root with `count` leaf children.
void addLeaves(TreeNode* parent, int count) {
    for (int i = 0; i < count; ++i) addNode(parent, ("c" + std::to_string(i)).c_str());
}

struct Square {
    double x, y, width, height;
    bool operator==(const Square&) const = default;
};

std::vector<Square> squaresOf(TreeNode* root) {
    std::vector<Square> out;
    forEachNode(root, [&](TreeNode* n) { out.push_back({n->x, n->y, n->width, n->height}); });
    return out;
}

}  // namespace

// The four guarantees the drawing relies on, over every block of the table.
TEST(PlacementTable, EveryBlockKeepsChildDiscsInsideApartSortedAndCentred) {
    for (int n = 1; n <= 100; ++n) {
        SCOPED_TRACE("block " + std::to_string(n));
        const double rho = rhoOf(n);
        const auto* p = block(n);
        double sx = 0, sy = 0;
        for (int i = 0; i < n; ++i) {
            const double x = p[i][0], y = p[i][1];
            EXPECT_LE(std::hypot(x, y) + rho, 1.0 - 0.03) << "point " << i;
            sx += x;
            sy += y;
            if (i > 0) {
                EXPECT_LT(y, static_cast<double>(p[i - 1][1])) << "point " << i;
            }
            for (int j = i + 1; j < n; ++j) {
                const double d = std::hypot(x - p[j][0], y - p[j][1]);
                EXPECT_GE(d, 2 * rho + 0.014) << "points " << i << ", " << j;
            }
        }
        EXPECT_LE(std::hypot(sx / n, sy / n), 0.04);
    }
}

// The points are spread over the disc rather than bunched in the middle: the outermost
// point of each block reaches well out and the closest pair is well apart.
TEST(PlacementTable, BlocksAreSpreadOverTheDisc) {
    for (int n = 5; n <= 100; ++n) {
        SCOPED_TRACE("block " + std::to_string(n));
        const auto* p = block(n);
        double largest = 0, smallest = 10;
        for (int i = 0; i < n; ++i) {
            const double x = p[i][0], y = p[i][1];
            largest = std::max(largest, std::hypot(x, y));
            for (int j = i + 1; j < n; ++j)
                smallest = std::min(smallest, std::hypot(x - p[j][0], y - p[j][1]));
        }
        EXPECT_GE(largest, 1.0 - 0.95 / std::sqrt(static_cast<double>(n)));
        EXPECT_GE(smallest, 1.3 / std::sqrt(static_cast<double>(n)));
    }
}

TEST(PlacementTable, KeepsTheHistoricalRows) {
    const float expected[][2] = {
        {0.0f, 0.0f},                                                          // n = 1
        {-0.32542f, 0.12702f}, {0.32129f, -0.19318f},                          // n = 2
        {0.33425f, 0.21226f}, {-0.38404f, 0.19793f}, {0.07435f, -0.4561f},     // n = 3
        {-0.38352f, 0.36145f}, {0.36067f, 0.34698f}, {-0.32006f, -0.3127f},    // n = 4
        {0.34852f, -0.40986f},
    };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(kPlacementTable[i][0], expected[i][0]) << "point " << i;
        EXPECT_EQ(kPlacementTable[i][1], expected[i][1]) << "point " << i;
    }
    const float head100[][2] = {{-0.14937f, 0.89129f}, {0.15979f, 0.88746f}, {0.005078f, 0.85141f}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kPlacementTable[4950 + i][0], head100[i][0]) << "point " << i;
        EXPECT_EQ(kPlacementTable[4950 + i][1], head100[i][1]) << "point " << i;
    }
}

// The committed table is exactly what the generator writes, so it can be regenerated
// after a change of the generator without surprises.
TEST(PlacementTable, MatchesItsGenerator) {
    const std::filesystem::path generator =
        std::filesystem::path(CLADORAMA_BINARY_DIR) / "tools" / "gen_placement_table";
    if (!std::filesystem::exists(generator))
        GTEST_SKIP() << "generator not built: " << generator;
    TempDir dir;
    const std::string out = dir.file("PlacementTable.cpp");
    const std::string command = "\"" + generator.string() + "\" \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string generated = readFileBytes(out);
    const std::string committed = readFileBytes(sourcePath("compare/PlacementTable.cpp"));
    // Point at the first differing line rather than printing two 60 kB files.
    size_t at = 0;
    while (at < generated.size() && at < committed.size() && generated[at] == committed[at]) ++at;
    const size_t lineStart = committed.rfind('\n', at == 0 ? 0 : at - 1);
    EXPECT_TRUE(generated == committed)
        << "first difference at byte " << at << ", committed line: "
        << committed.substr(lineStart == std::string::npos ? 0 : lineStart + 1, 100);
}

TEST(LcgRandom, ReseededWithTwoGivesTheKnownSequence) {
    LcgRandom random;
    random.next();  // state moved on, as after earlier use
    random.seed(2);
    EXPECT_EQ(random.next(), 45);
    EXPECT_EQ(random.next(), 29216);
    EXPECT_EQ(random.next(), 24198);
    EXPECT_EQ(random.next(), 17795);
}

TEST(LayoutCircles, OnlyChildIsCentredAtHalfTheRadius) {
    ClassificationTree tree;
    addLeaves(&tree, 1);
    layoutCircles(&tree);
    const TreeNode* c = tree.children[0];
    EXPECT_DOUBLE_EQ(c->x, 0.275);
    EXPECT_DOUBLE_EQ(c->y, 0.275);
    EXPECT_DOUBLE_EQ(c->width, 0.45);
    EXPECT_DOUBLE_EQ(c->height, 0.45);
    // The root itself never moves.
    EXPECT_EQ(tree.x, 0.05);
    EXPECT_EQ(tree.width, 0.9);
}

TEST(LayoutCircles, FourChildrenUseTheirTableBlock) {
    ClassificationTree tree;
    addLeaves(&tree, 4);
    layoutCircles(&tree);
    const TreeNode* first = tree.children[0];
    EXPECT_NEAR(first->width, 0.225, 1e-15);
    EXPECT_NEAR(first->height, 0.225, 1e-15);
    EXPECT_NEAR(first->x, 0.21492, 5e-6);
    EXPECT_NEAR(first->y, 0.55015, 5e-6);
}

// The centres of two, three and four children and of the first three of a hundred, each
// a point of the placement scaled into the root's circle (radius 0.45 about 0.5, 0.5).
TEST(LayoutCircles, FewAndHundredChildrenSitAtTheirPlacementPoints) {
    const struct {
        int n;
        std::vector<std::pair<float, float>> points;
    } cases[] = {
        {2, {{-0.32542f, 0.12702f}, {0.32129f, -0.19318f}}},
        {3, {{0.33425f, 0.21226f}, {-0.38404f, 0.19793f}, {0.07435f, -0.4561f}}},
        {4, {{-0.38352f, 0.36145f}, {0.36067f, 0.34698f}, {-0.32006f, -0.3127f}, {0.34852f, -0.40986f}}},
        {100, {{-0.14937f, 0.89129f}, {0.15979f, 0.88746f}, {0.005078f, 0.85141f}}},
    };
    for (const auto& c : cases) {
        ClassificationTree tree;
        addLeaves(&tree, c.n);
        layoutCircles(&tree);
        const double rho = 0.225 / std::sqrt(static_cast<double>(c.n));
        for (size_t i = 0; i < c.points.size(); ++i) {
            SCOPED_TRACE("child " + std::to_string(i) + " of " + std::to_string(c.n));
            const TreeNode* child = tree.children[i];
            EXPECT_NEAR(child->width, 2 * rho, 1e-12);
            EXPECT_NEAR(child->height, 2 * rho, 1e-12);
            EXPECT_NEAR(child->x + rho, 0.5 + 0.45 * static_cast<double>(c.points[i].first), 1e-12);
            EXPECT_NEAR(child->y + rho, 0.5 + 0.45 * static_cast<double>(c.points[i].second), 1e-12);
        }
    }
}

TEST(LayoutCircles, LeafIsLeftAlone) {
    ClassificationTree tree;
    TreeNode* leaf = addNode(&tree, "Leaf");
    leaf->x = 0.1;
    leaf->y = 0.2;
    leaf->width = 0.3;
    leaf->height = 0.4;
    layoutCircles(leaf);
    EXPECT_EQ(leaf->x, 0.1);
    EXPECT_EQ(leaf->y, 0.2);
    EXPECT_EQ(leaf->width, 0.3);
    EXPECT_EQ(leaf->height, 0.4);
}

// Width and height scale the two axes separately; only the width sets the child size.
TEST(LayoutCircles, NonSquareParentScalesEachAxis) {
    ClassificationTree tree;
    tree.x = 1.0;
    tree.y = 2.0;
    tree.width = 0.8;
    tree.height = 0.2;
    addLeaves(&tree, 3);
    layoutCircles(&tree);
    const float points[3][2] = {{0.33425f, 0.21226f}, {-0.38404f, 0.19793f}, {0.07435f, -0.4561f}};
    for (int i = 0; i < 3; ++i) {
        const TreeNode* c = tree.children[i];
        const double rho = 0.2 / std::sqrt(3.0);
        EXPECT_NEAR(c->width, 2 * rho, 1e-12);
        EXPECT_NEAR(c->height, 2 * rho, 1e-12);
        EXPECT_NEAR(c->x + rho, 1.4 + 0.4 * static_cast<double>(points[i][0]), 1e-12);
        EXPECT_NEAR(c->y + rho, 2.1 + 0.1 * static_cast<double>(points[i][1]), 1e-12);
    }
}

// A hundred children still fit the table: every child disc lies inside the root's circle,
// none touches another, and they run from top to bottom in order.
TEST(LayoutCircles, HundredChildrenUseTheLastBlock) {
    ClassificationTree tree;
    addLeaves(&tree, 100);
    layoutCircles(&tree);
    const double rho = 0.0225;
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        const TreeNode* c = tree.children[i];
        EXPECT_NEAR(c->width, 2 * rho, 1e-12);
        const double cx = c->x + rho, cy = c->y + rho;
        EXPECT_LE(std::hypot(cx - 0.5, cy - 0.5) + rho, 0.45);
        if (i > 0) {
            const TreeNode* p = tree.children[i - 1];
            EXPECT_LT(cy, p->y + rho);
        }
        for (int j = i + 1; j < 100; ++j) {
            const TreeNode* o = tree.children[j];
            EXPECT_GT(std::hypot(cx - (o->x + rho), cy - (o->y + rho)), 2 * rho);
        }
    }
}

// Above 100 children the generator, reseeded with 2, scatters the centres: u then v per
// child, distance u/32767 of the radius, angle 2·v·3.141592/32767.
TEST(LayoutCircles, MoreThanHundredChildrenAreScatteredReproducibly) {
    ClassificationTree tree;
    addLeaves(&tree, 101);
    layoutCircles(&tree);
    const double rho = 0.225 / std::sqrt(101.0);
    LcgRandom expected;
    expected.seed(2);
    for (int i = 0; i < 101; ++i) {
        SCOPED_TRACE("child " + std::to_string(i));
        const double d = expected.next() / 32767.0;
        const double theta = 2.0 * expected.next() * 3.141592 / 32767.0;
        const TreeNode* c = tree.children[i];
        EXPECT_NEAR(c->width, 2 * rho, 1e-12);
        EXPECT_NEAR(c->height, 2 * rho, 1e-12);
        EXPECT_NEAR(c->x + rho, 0.5 + 0.45 * d * std::cos(theta), 1e-12);
        EXPECT_NEAR(c->y + rho, 0.5 + 0.45 * d * std::sin(theta), 1e-12);
    }
    // The first child follows the first two draws after reseeding (45, 29216).
    EXPECT_NEAR(tree.children[0]->x + rho,
                0.5 + 0.45 * (45 / 32767.0) * std::cos(2.0 * 29216 * 3.141592 / 32767), 1e-15);

    // Two wide lists, one nested in the other, get the same relative pattern, and a
    // second layout of the same tree reproduces every position.
    addLeaves(tree.children[50], 101);
    layoutCircles(&tree);
    const std::vector<Square> once = squaresOf(&tree);
    layoutCircles(&tree);
    EXPECT_EQ(squaresOf(&tree), once);
    const TreeNode* inner = tree.children[50];
    const double scale = inner->width / tree.width;
    for (int i = 0; i < 101; ++i) {
        const TreeNode* outer = tree.children[i];
        const TreeNode* nested = inner->children[i];
        EXPECT_NEAR(nested->x + nested->width / 2 - (inner->x + inner->width / 2),
                    scale * (outer->x + outer->width / 2 - 0.5), 1e-12);
    }
}

// Wide lists of different lengths in one tree, met in either order, each follow the
// sequence from its start.
TEST(LayoutCircles, WideListsOfDifferentLengthsEachStartTheSequenceAfresh) {
    for (const bool longFirst : {false, true}) {
        SCOPED_TRACE(longFirst ? "longer list first" : "shorter list first");
        ClassificationTree tree;
        TreeNode* a = addNode(&tree, "A");
        TreeNode* b = addNode(&tree, "B");
        addLeaves(longFirst ? a : b, 150);
        addLeaves(longFirst ? b : a, 101);
        layoutCircles(&tree);
        for (const TreeNode* wide : {a, b}) {
            const size_t n = wide->children.size();
            const double r = wide->width / 2;
            const double cx = wide->x + r, cy = wide->y + r;
            const double rho = 0.5 * r / std::sqrt(static_cast<double>(n));
            LcgRandom expected;
            expected.seed(2);
            for (size_t i = 0; i < n; ++i) {
                const double d = expected.next() / 32767.0;
                const double theta = 2.0 * expected.next() * 3.141592 / 32767.0;
                const TreeNode* c = wide->children[i];
                ASSERT_NEAR(c->x + rho, cx + r * d * std::cos(theta), 1e-12) << "child " << i;
                ASSERT_NEAR(c->y + rho, cy + r * d * std::sin(theta), 1e-12) << "child " << i;
            }
        }
    }
}

// Grandchildren are placed in their parents' squares, however deep the tree goes.
TEST(LayoutCircles, PlacesEveryLevelOfADeepTree) {
    ClassificationTree tree;
    TreeNode* node = &tree;
    std::vector<TreeNode*> chain;
    for (int depth = 0; depth < 5000; ++depth) {
        node = addNode(node, "d");
        addNode(node->parent, "sibling");
        chain.push_back(node);
    }
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        if (n != &tree) n->width = -1;
    });
    layoutCircles(&tree);
    int unplaced = 0;
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) { unplaced += n->width < 0; });
    EXPECT_EQ(unplaced, 0);
    // Each chain node is the first of two children; check the levels where the squares
    // are still far from underflowing.
    for (size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE("depth " + std::to_string(i));
        const TreeNode* c = chain[i];
        const TreeNode* p = c->parent;
        const double r = p->width / 2;
        EXPECT_NEAR(c->width / (r / std::sqrt(2.0)), 1.0, 1e-12);
        // The first of two children: the point (-0.32542, 0.12702) of the unit disc.
        EXPECT_NEAR((c->x + c->width / 2 - (p->x + r)) / r, static_cast<double>(-0.32542f), 1e-9);
        EXPECT_NEAR((c->y + c->height / 2 - (p->y + r)) / r, static_cast<double>(0.12702f), 1e-9);
    }
}
