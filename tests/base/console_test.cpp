#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "Console.h"

namespace {

std::string fast(double v) {
    char buf[320];
    return std::string(buf, formatFixed6(buf, v));
}

std::string slow(double v) {
    char buf[320];
    int n = std::snprintf(buf, sizeof buf, "%lf", v);
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

// Progress lines must read exactly as printf would have written them, rounding included.
TEST(FormatFixed6, WritesWhatPrintfWrites) {
    // Exact ties at the seventh decimal: dyadic values with seven or more decimals
    // (2^-7 = 0.0078125 ...) and their neighbours, where half-up and half-even differ.
    for (int k = 1; k <= 30; ++k) {
        for (long m = 0; m < 4096; ++m) {
            double v = std::ldexp(static_cast<double>(m), -k);
            ASSERT_EQ(fast(v), slow(v)) << v;
            ASSERT_EQ(fast(std::nextafter(v, 0.0)), slow(std::nextafter(v, 0.0))) << v;
            ASSERT_EQ(fast(std::nextafter(v, 200.0)), slow(std::nextafter(v, 200.0))) << v;
        }
    }
    // The values a reader produces: position / size * 100.
    std::mt19937_64 random(7);
    for (int i = 0; i < 300000; ++i) {
        uint64_t size = 1 + random() % (uint64_t{1} << (1 + random() % 40));
        uint64_t position = random() % (size + 1);
        double v = static_cast<double>(position) / static_cast<double>(size) * 100;
        ASSERT_EQ(fast(v), slow(v)) << position << "/" << size;
    }
    // Anything else below a billion, tiny values and the ends.
    for (int i = 0; i < 300000; ++i) {
        double v = std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 90));
        if (v < 1e9) {
            ASSERT_EQ(fast(v), slow(v)) << v;
        }
    }
    for (double v : {0.0, -0.0, 100.0, 99.9999995, 0.0000005, 0.0000015, 5e-324, 999999999.9999999,
                     1e9, 1e300, -1.5, double(INFINITY), double(NAN)})
        EXPECT_EQ(fast(v), slow(v)) << v;
}
