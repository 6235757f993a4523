#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

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

// Lines and diagnostics held on one thread reach nothing until written out, and then reach
// the stream, standard error and the sink in the order they were made, from any thread.
TEST(HeldConsole, HoldsAThreadsLinesAndDiagnosticsAndWritesThemInTheirOrder) {
    std::string seen;
    setConsoleSink([](void* c, const char* text, size_t n) { static_cast<std::string*>(c)->append(text, n); },
                   &seen);
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    setConsoleStream(stream);
    HeldConsole held;
    testing::internal::CaptureStderr();
    std::thread([&] {
        HeldConsole::Scope scope(held);
        EXPECT_FALSE(consoleIsInteractive());
        consolePrintf("first %d\n", 1);
        consoleWrite("second\n", 7);
        diagnostic("trouble in %s", "line 3");
        consolePrintf("last\n");
    }).join();
    consolePrintf("not held\n");
    const std::string before = seen;
    held.writeOut();
    const std::string errors = testing::internal::GetCapturedStderr();
    setConsoleStream(nullptr);
    setConsoleSink(nullptr, nullptr);
    std::fflush(stream);
    std::rewind(stream);
    char buffer[256] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(before, "not held\n");
    EXPECT_EQ(seen, "not held\nfirst 1\nsecond\ntrouble in line 3\nlast\n");
    EXPECT_EQ(std::string(buffer, n), "not held\nfirst 1\nsecond\nlast\n");
    EXPECT_EQ(errors, "trouble in line 3\n");
    held.writeOut();  // written once
    EXPECT_EQ(seen, "not held\nfirst 1\nsecond\ntrouble in line 3\nlast\n");
}
