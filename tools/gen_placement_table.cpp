// Writes compare/PlacementTable.cpp: the child centres used by the nested-circle layout
// for 1 to 100 siblings.
//
//   gen_placement_table [output-file]      (standard output when no file is named)
//   gen_placement_table --stats            (largest |p| and smallest distance per block)
//
// Blocks 1 to 4 and the first three points of block 100 are the historical values the
// saved pictures were drawn with and are copied as they are. Every other block is a
// relaxation of n points inside a disc whose radius grows with n like 1 - c/sqrt(n): the
// points start on a sunflower spiral, are pushed apart by soft springs for a fixed number
// of rounds and are then rounded to five decimals and sorted top to bottom.
//
// The output must not depend on the machine: the generator uses only +, -, *, / and
// sqrt (all correctly rounded in IEEE arithmetic), its own integer random generator, fixed
// iteration counts and no threads, and it checks the rounded values, as the compiler will
// read them, before printing them. It refuses to write a table that breaks the layout's
// guarantees.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMaxChildren = 100;

// Guarantees checked on every block, with the margins the drawing code relies on.
constexpr double kRimMargin = 0.03;      // |p| + rho <= 1 - margin
constexpr double kGapMargin = 0.014;     // distance >= 2 rho + margin
constexpr double kCentroidLimit = 0.04;  // |centroid| <= limit

struct Point {
    double x, y;
};

// Historical rows, kept exactly.
const char* const kFixedBlocks[][2] = {
    {"0", "0"},                                              // n = 1
    {"-0.32542", "0.12702"}, {"0.32129", "-0.19318"},        // n = 2
    {"0.33425", "0.21226"},  {"-0.38404", "0.19793"},  {"0.07435", "-0.4561"},  // n = 3
    {"-0.38352", "0.36145"}, {"0.36067", "0.34698"},                             // n = 4
    {"-0.32006", "-0.3127"}, {"0.34852", "-0.40986"},
};
const char* const kFixedHead100[][2] = {
    {"-0.14937", "0.89129"}, {"0.15979", "0.88746"}, {"0.005078", "0.85141"},
};

// Largest |p| wanted for some block sizes; other sizes are interpolated linearly in
// 1/sqrt(n), in which the radius is close to a straight line (about 1 - 0.82/sqrt(n)).
struct Anchor {
    int n;
    double radius;
};
const Anchor kRadiusAnchors[] = {{4, 0.53}, {5, 0.619}, {10, 0.742}, {20, 0.822},
                                 {50, 0.885}, {100, 0.918}};

double targetRadius(int n) {
    const double s = 1.0 / std::sqrt(static_cast<double>(n));
    const int count = sizeof(kRadiusAnchors) / sizeof(kRadiusAnchors[0]);
    for (int i = 1; i < count; ++i) {
        if (n <= kRadiusAnchors[i].n) {
            const double s0 = 1.0 / std::sqrt(static_cast<double>(kRadiusAnchors[i - 1].n));
            const double s1 = 1.0 / std::sqrt(static_cast<double>(kRadiusAnchors[i].n));
            const double t = (s - s0) / (s1 - s0);
            return kRadiusAnchors[i - 1].radius +
                   t * (kRadiusAnchors[i].radius - kRadiusAnchors[i - 1].radius);
        }
    }
    return kRadiusAnchors[count - 1].radius;
}

// xorshift32: small, fully specified, the same everywhere.
struct Xorshift {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [-1, 1).
    double symmetric() { return static_cast<double>(next() >> 8) / 8388608.0 - 1.0; }
};

// Keeps a point inside the disc of radius `radius` and, when `yCap` is set, below it.
void confine(Point& p, double radius, bool capped, double yCap) {
    if (capped && p.y > yCap) p.y = yCap;
    const double d2 = p.x * p.x + p.y * p.y;
    if (d2 > radius * radius) {
        const double scale = radius / std::sqrt(d2);
        p.x *= scale;
        p.y *= scale;
    }
}

// Spreads `points` (the first `fixedCount` of which stay put) evenly over the disc of
// radius `radius`.
void relax(std::vector<Point>& points, size_t fixedCount, double radius, bool capped,
           double yCap, uint32_t seed) {
    const size_t n = points.size();
    const size_t movable = n - fixedCount;

    // Sunflower start: even density, no two points close. The rotation by the golden
    // angle is applied by multiplication with its cosine and sine.
    const double cosGolden = -0.7373688780783197;
    const double sinGolden = 0.6754902942615238;
    double c = 1.0, s = 0.0;
    Xorshift rng{seed};
    for (size_t k = 0; k < movable; ++k) {
        const double fraction = (static_cast<double>(k) + 0.5) / static_cast<double>(movable);
        const double rho = radius * std::sqrt(fraction);
        Point& p = points[fixedCount + k];
        // A little noise so that symmetric starts do not lock the springs.
        p.x = rho * c + 0.01 * radius * rng.symmetric();
        p.y = rho * s + 0.01 * radius * rng.symmetric();
        confine(p, radius, capped, yCap);
        const double nc = c * cosGolden - s * sinGolden;
        s = c * sinGolden + s * cosGolden;
        c = nc;
    }

    // Rest length of the springs: the spacing of a hexagonal grid that fills the disc
    // widened by half a spacing (points sit on the rim too), solved by a few fixed-point
    // steps; slightly longer so that the springs keep pushing outwards.
    const double perPoint = 2.0 * 3.141592653589793 / (std::sqrt(3.0) * static_cast<double>(n));
    double spacing = radius * std::sqrt(perPoint);
    for (int i = 0; i < 20; ++i) {
        const double widened = radius + 0.5 * spacing;
        spacing = widened * std::sqrt(perPoint);
    }
    const double rest = 1.05 * spacing;

    std::vector<Point> shift(n);
    const int rounds = 3000;
    for (int round = 0; round < rounds; ++round) {
        // Stiffness eases off over the rounds so that the end state settles.
        const double stiffness = 0.25 * (1.0 - 0.8 * round / static_cast<double>(rounds));
        for (auto& d : shift) d = {0.0, 0.0};
        for (size_t i = 0; i < n; ++i) {
            for (size_t j = i + 1; j < n; ++j) {
                const double dx = points[j].x - points[i].x;
                const double dy = points[j].y - points[i].y;
                const double d2 = dx * dx + dy * dy;
                if (d2 >= rest * rest) continue;
                const double d = std::sqrt(d2);
                double ux, uy;
                if (d > 1e-12) {
                    ux = dx / d;
                    uy = dy / d;
                } else {
                    ux = 1.0;
                    uy = 0.0;
                }
                const double push = stiffness * (rest - d);
                shift[i].x -= ux * push;
                shift[i].y -= uy * push;
                shift[j].x += ux * push;
                shift[j].y += uy * push;
            }
        }
        for (size_t k = fixedCount; k < n; ++k) {
            points[k].x += shift[k].x;
            points[k].y += shift[k].y;
            confine(points[k], radius, capped, yCap);
        }
    }
}

// Generated values are kept as whole multiples of 1e-5, so that their text is made by
// integer arithmetic alone.
std::string fixedPointText(long long units) {
    const bool negative = units < 0;
    const long long magnitude = negative ? -units : units;
    std::string fraction = std::to_string(magnitude % 100000);
    fraction.insert(0, 5 - fraction.size(), '0');
    while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();
    return std::string(negative && magnitude != 0 ? "-" : "") + std::to_string(magnitude / 100000) +
           "." + fraction;
}

struct Block {
    std::vector<std::string> xs, ys;  // literal texts
    std::vector<Point> values;        // the floats those texts denote
};

Point parsePoint(const std::string& x, const std::string& y) {
    return {static_cast<double>(std::strtof(x.c_str(), nullptr)),
            static_cast<double>(std::strtof(y.c_str(), nullptr))};
}

void addPoint(Block& block, const std::string& x, const std::string& y) {
    std::string lx = x, ly = y;
    if (lx.find_first_of(".e") == std::string::npos) lx += ".0";
    if (ly.find_first_of(".e") == std::string::npos) ly += ".0";
    block.xs.push_back(lx);
    block.ys.push_back(ly);
    block.values.push_back(parsePoint(lx, ly));
}

struct Stats {
    double largest = 0, smallest = 1e9, rimMargin = 1e9, gapMargin = 1e9, centroid = 0;
    bool descending = true;
};

Stats measure(const Block& block, int n) {
    Stats st;
    const double rho = 0.5 / std::sqrt(static_cast<double>(n));
    double sx = 0, sy = 0;
    for (size_t i = 0; i < block.values.size(); ++i) {
        const Point& p = block.values[i];
        const double len = std::sqrt(p.x * p.x + p.y * p.y);
        st.largest = std::max(st.largest, len);
        st.rimMargin = std::min(st.rimMargin, 1.0 - (len + rho));
        sx += p.x;
        sy += p.y;
        if (i > 0 && !(p.y < block.values[i - 1].y)) st.descending = false;
        for (size_t j = i + 1; j < block.values.size(); ++j) {
            const double dx = p.x - block.values[j].x, dy = p.y - block.values[j].y;
            const double d = std::sqrt(dx * dx + dy * dy);
            st.smallest = std::min(st.smallest, d);
            st.gapMargin = std::min(st.gapMargin, d - 2.0 * rho);
        }
    }
    sx /= n;
    sy /= n;
    st.centroid = std::sqrt(sx * sx + sy * sy);
    return st;
}

Block generateBlock(int n) {
    Block block;
    if (n <= 4) {
        const int first = n * (n - 1) / 2;
        for (int i = 0; i < n; ++i)
            addPoint(block, kFixedBlocks[first + i][0], kFixedBlocks[first + i][1]);
        return block;
    }

    const double radius = targetRadius(n);
    std::vector<Point> points(n);
    size_t fixedCount = 0;
    bool capped = false;
    double yCap = 0;
    if (n == kMaxChildren) {
        for (const auto& row : kFixedHead100) points[fixedCount++] = parsePoint(row[0], row[1]);
        // The kept points must stay the three highest of the block.
        capped = true;
        yCap = points[fixedCount - 1].y - 0.01;
    }
    relax(points, fixedCount, radius, capped, yCap, 0x9E3779B9u ^ static_cast<uint32_t>(n));

    struct Units {
        long long x, y;
    };
    std::vector<Units> rest;
    for (size_t k = fixedCount; k < points.size(); ++k)
        rest.push_back({std::llround(points[k].x * 1e5), std::llround(points[k].y * 1e5)});
    std::sort(rest.begin(), rest.end(), [](const Units& a, const Units& b) {
        return a.y != b.y ? a.y > b.y : a.x < b.x;
    });
    // Mirror-image pairs can round to the same height; lower the later one a notch so
    // that the order stays strictly top to bottom.
    for (size_t k = 1; k < rest.size(); ++k) rest[k].y = std::min(rest[k].y, rest[k - 1].y - 1);
    for (size_t i = 0; i < fixedCount; ++i)
        addPoint(block, kFixedHead100[i][0], kFixedHead100[i][1]);
    for (const Units& u : rest) addPoint(block, fixedPointText(u.x), fixedPointText(u.y));
    return block;
}

bool acceptable(const Stats& st, int n) {
    return st.rimMargin >= kRimMargin && (n == 1 || st.gapMargin >= kGapMargin) &&
           st.centroid <= kCentroidLimit && st.descending;
}

}  // namespace

int main(int argc, char** argv) {
    bool statsOnly = argc > 1 && std::strcmp(argv[1], "--stats") == 0;
    const char* outPath = (!statsOnly && argc > 1) ? argv[1] : nullptr;

    std::vector<Block> blocks;
    bool ok = true;
    for (int n = 1; n <= kMaxChildren; ++n) {
        blocks.push_back(generateBlock(n));
        const Stats st = measure(blocks.back(), n);
        if (statsOnly)
            std::printf("%3d  largest %.4f  smallest %.4f  rim margin %.4f  gap margin %.4f  "
                        "centroid %.4f%s\n",
                        n, st.largest, n > 1 ? st.smallest : 0.0, st.rimMargin,
                        n > 1 ? st.gapMargin : 0.0, st.centroid, st.descending ? "" : "  UNSORTED");
        if (!acceptable(st, n)) {
            std::fprintf(stderr, "gen_placement_table: block %d breaks the layout's guarantees\n",
                         n);
            ok = false;
        }
    }
    if (!ok) return 1;
    if (statsOnly) return 0;

    std::string out;
    out += "// Generated by the program built from tools/gen_placement_table.cpp; do not edit.\n";
    out += "// Regenerate from the source folder with:\n";
    out += "//   <build folder>/tools/gen_placement_table compare/PlacementTable.cpp\n";
    out += "\n#include \"Layout.h\"\n\n";
    out += "const float kPlacementTable[kPlacementPoints][2] = {\n";
    for (int n = 1; n <= kMaxChildren; ++n) {
        const Block& block = blocks[n - 1];
        out += "    // n = " + std::to_string(n) + "\n";
        for (int i = 0; i < n; ++i) {
            out += (i % 4 == 0) ? "    " : " ";
            out += "{" + block.xs[i] + "f, " + block.ys[i] + "f},";
            if (i % 4 == 3 || i == n - 1) out += "\n";
        }
    }
    out += "};\n";

    FILE* f = outPath ? std::fopen(outPath, "wb") : stdout;
    if (!f) {
        std::fprintf(stderr, "gen_placement_table: cannot write %s\n", outPath);
        return 1;
    }
    const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    const bool closed = outPath ? std::fclose(f) == 0 : std::fflush(f) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "gen_placement_table: writing %s failed\n",
                     outPath ? outPath : "standard output");
        return 1;
    }
    return 0;
}
