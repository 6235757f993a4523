#include "Layout.h"

#include <cmath>
#include <vector>

namespace {

constexpr size_t kTableChildren = 100;
constexpr size_t kPrefetchAhead = 16;

// 2^(ln n / ln 4), i.e. sqrt(n), evaluated exactly as the saved layouts were, so that
// positions agree to the last bit with files written before.
double radiusDivisor(size_t n) {
    return std::pow(2.0, std::log(static_cast<double>(n)) / std::log(4.0));
}

// The divisor for every table-sized sibling list, computed once: it is needed for every
// inner node, and pow/log would otherwise dominate the layout of a large tree.
const double* tableDivisors() {
    static const std::vector<double> divisors = [] {
        std::vector<double> d(kTableChildren + 1, 1.0);
        for (size_t n = 1; n <= kTableChildren; ++n) d[n] = radiusDivisor(n);
        return d;
    }();
    return divisors.data();
}

// Distance fractions and angles of the scattered placement. Every wide sibling list
// reseeds the generator, so child i always gets the same draws; they and their cosines
// and sines are computed once per layout, as far as the widest list needs them.
class Scatter {
public:
    void reserve(size_t n) {
        if (n <= m_d.size()) return;
        LcgRandom random;
        random.seed(2);
        for (size_t i = 0; i < m_d.size(); ++i) {  // replay the draws already taken
            random.next();
            random.next();
        }
        while (m_d.size() < n) {
            const int u = random.next();
            const int v = random.next();
            const double theta = 2 * v * 3.141592 / 32767;
            m_d.push_back(u / 32767.0);
            m_cos.push_back(std::cos(theta));
            m_sin.push_back(std::sin(theta));
        }
    }
    double d(size_t i) const { return m_d[i]; }
    double cosine(size_t i) const { return m_cos[i]; }
    double sine(size_t i) const { return m_sin[i]; }

private:
    std::vector<double> m_d, m_cos, m_sin;
};

// Fetches, ahead of use, both parts of a node that the layout touches: its square and
// its children array, which lie on different cache lines. Siblings lie apart in memory,
// and without this most of the time goes into waiting for them.
inline void prefetchNode(TreeNode* node) {
    __builtin_prefetch(&node->x, 1);
    __builtin_prefetch(&node->children, 0);
}

// Places the children of `parent` inside its square and queues those that have children
// of their own on `pending`.
void placeChildren(TreeNode* parent, const double* divisors, Scatter& scatter,
                   std::vector<TreeNode*>& pending) {
    const size_t n = parent->children.size();
    if (n == 0) return;
    const double r = parent->width / 2;
    const double ry = parent->height / 2;
    const double cx = parent->x + r;
    const double cy = parent->y + ry;
    const double rho = (0.5 * r) / (n <= kTableChildren ? divisors[n] : radiusDivisor(n));
    const double side = 2 * rho;
    // Start fetching the first children all at once: most sibling lists are short, and
    // their fetches then overlap instead of following one another.
    for (size_t i = 0; i < n && i < kPrefetchAhead; ++i) prefetchNode(parent->children[i]);

    if (n <= kTableChildren) {
        const float(*block)[2] = kPlacementTable + n * (n - 1) / 2;
        for (size_t i = 0; i < n; ++i) {
            TreeNode* child = parent->children[i];
            if (i + kPrefetchAhead < n) prefetchNode(parent->children[i + kPrefetchAhead]);
            child->x = block[i][0] * r + cx - rho;
            child->y = block[i][1] * ry + cy - rho;
            child->width = side;
            child->height = side;
            if (!child->children.empty()) pending.push_back(child);
        }
        return;
    }

    // Wide sibling lists scatter their children with the generator reseeded with 2, so
    // every such list gets the same relative pattern.
    scatter.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        TreeNode* child = parent->children[i];
        if (i + kPrefetchAhead < n) prefetchNode(parent->children[i + kPrefetchAhead]);
        const double d = scatter.d(i);
        child->x = r * d * scatter.cosine(i) + cx - rho;
        child->y = ry * d * scatter.sine(i) + cy - rho;
        child->width = side;
        child->height = side;
        if (!child->children.empty()) pending.push_back(child);
    }
}

}  // namespace

void layoutCircles(TreeNode* node) {
    if (!node) return;
    const double* divisors = tableDivisors();
    Scatter scatter;
    // A node's placement depends only on its own square, so the nodes can be visited in
    // any order; an explicit stack keeps deep trees off the call stack.
    std::vector<TreeNode*> pending{node};
    while (!pending.empty()) {
        TreeNode* parent = pending.back();
        pending.pop_back();
        placeChildren(parent, divisors, scatter, pending);
    }
}
