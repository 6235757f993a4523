// The logical palette of palette-based displays.
#include <gtest/gtest.h>

#include "Palette.h"

TEST(PaletteTest, ComponentRamps) {
    const uint8_t ramp3[8] = {0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF};
    for (int v = 0; v < 8; ++v) {
        EXPECT_EQ(PaletteComponent(v, 3, 0), ramp3[v]);
        // Only the channel's own bits count, after the shift.
        EXPECT_EQ(PaletteComponent((v << 3) | 7 | 0xC0, 3, 3), ramp3[v]);
    }
    const uint8_t ramp2[4] = {0x00, 0x55, 0xAA, 0xFF};
    for (int v = 0; v < 4; ++v) EXPECT_EQ(PaletteComponent((v << 6) | 0x3F, 2, 6), ramp2[v]);
    EXPECT_EQ(PaletteComponent(0, 1, 0), 0x00);
    EXPECT_EQ(PaletteComponent(1, 1, 0), 0xFF);
    EXPECT_EQ(PaletteComponent(2, 1, 1), 0xFF);
    EXPECT_EQ(PaletteComponent(1, 1, 1), 0x00);
    // Other bit counts give nothing; so does a shift past the index's width.
    for (int bits : {0, 4, 5, 8, -1}) EXPECT_EQ(PaletteComponent(255, bits, 0), 0) << bits;
    EXPECT_EQ(PaletteComponent(-1, 3, 40), 0);
    EXPECT_EQ(PaletteComponent(-1, 3, -2), 0);
}

TEST(PaletteTest, ThreeThreeTwoGetsTheSystemColours) {
    PixelLayout l;
    l.colorBits = 8;
    l.redBits = 3;
    l.redShift = 0;
    l.greenBits = 3;
    l.greenShift = 3;
    l.blueBits = 2;
    l.blueShift = 6;
    const std::vector<PaletteEntry> p = BuildPaletteEntries(l);
    ASSERT_EQ(p.size(), 256u);
    const struct {
        int index;
        PaletteEntry e;
    } fixed[] = {
        {3, {0x80, 0x00, 0x00, 0}},   {24, {0x00, 0x80, 0x00, 0}},  {27, {0x80, 0x80, 0x00, 0}},
        {64, {0x00, 0x00, 0x80, 0}},  {67, {0x80, 0x00, 0x80, 0}},  {88, {0x00, 0x80, 0x80, 0}},
        {173, {0xC0, 0xC0, 0xC0, 0}}, {181, {0xC0, 0xDC, 0xC0, 0}}, {236, {0xA6, 0xCA, 0xF0, 0}},
        {247, {0xFF, 0xFB, 0xF0, 0}}, {164, {0xA0, 0xA0, 0xA4, 0}}, {91, {0x80, 0x80, 0x80, 0}},
    };
    std::vector<bool> replaced(256, false);
    for (const auto& f : fixed) {
        EXPECT_EQ(p[f.index], f.e) << f.index;
        replaced[f.index] = true;
    }
    // Every other entry is the ramp of its index.
    int ramp = 0;
    for (int i = 0; i < 256; ++i) {
        if (replaced[i]) continue;
        const PaletteEntry want{PaletteComponent(i, 3, 0), PaletteComponent(i, 3, 3),
                                PaletteComponent(i, 2, 6), 0};
        EXPECT_EQ(p[i], want) << i;
        ++ramp;
    }
    EXPECT_EQ(ramp, 244);
    EXPECT_EQ(p[0], (PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(p[255], (PaletteEntry{0xFF, 0xFF, 0xFF, 0}));
}

TEST(PaletteTest, OtherFormatsGetThePlainRamp) {
    // 8 bits laid out 2-3-3: no entry replaced.
    PixelLayout l;
    l.colorBits = 8;
    l.redBits = 2;
    l.redShift = 0;
    l.greenBits = 3;
    l.greenShift = 2;
    l.blueBits = 3;
    l.blueShift = 5;
    std::vector<PaletteEntry> p = BuildPaletteEntries(l);
    ASSERT_EQ(p.size(), 256u);
    EXPECT_EQ(p[3], (PaletteEntry{0xFF, 0x00, 0x00, 0}));
    EXPECT_EQ(p[173], (PaletteEntry{0x55, 0x6D, 0xB6, 0}));
    // 4 bits, 1-2-1.
    l = {4, 1, 0, 2, 1, 1, 3};
    p = BuildPaletteEntries(l);
    ASSERT_EQ(p.size(), 16u);
    EXPECT_EQ(p[0b1011], (PaletteEntry{0xFF, 0x55, 0xFF, 0}));
    // No sensible indexed format: nothing.
    EXPECT_TRUE(BuildPaletteEntries(PixelLayout{}).empty());
    l.colorBits = 24;
    EXPECT_TRUE(BuildPaletteEntries(l).empty());
}
