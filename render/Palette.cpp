#include "Palette.h"

#include <cstddef>

uint8_t PaletteComponent(int index, int bits, int shift) {
    static const uint8_t kRamp1[2] = {0x00, 0xFF};
    static const uint8_t kRamp2[4] = {0x00, 0x55, 0xAA, 0xFF};
    static const uint8_t kRamp3[8] = {0x00, 0x24, 0x49, 0x6D, 0x92, 0xB6, 0xDB, 0xFF};
    // A shift of the word's width or more leaves nothing of the index.
    const unsigned v = (shift >= 0 && shift < 32) ? static_cast<unsigned>(index) >> shift : 0u;
    switch (bits) {
    case 1: return kRamp1[v & 1];
    case 2: return kRamp2[v & 3];
    case 3: return kRamp3[v & 7];
    default: return 0;
    }
}

std::vector<PaletteEntry> BuildPaletteEntries(const PixelLayout& layout) {
    std::vector<PaletteEntry> entries;
    if (layout.colorBits < 1 || layout.colorBits > 16) return entries;
    const int n = 1 << layout.colorBits;
    entries.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        PaletteEntry& e = entries[static_cast<std::size_t>(i)];
        e.red = PaletteComponent(i, layout.redBits, layout.redShift);
        e.green = PaletteComponent(i, layout.greenBits, layout.greenShift);
        e.blue = PaletteComponent(i, layout.blueBits, layout.blueShift);
    }
    const bool is332 = layout.colorBits == 8 && layout.redBits == 3 && layout.redShift == 0 &&
                       layout.greenBits == 3 && layout.greenShift == 3 && layout.blueBits == 2 &&
                       layout.blueShift == 6;
    if (is332) {
        // The system's static colours, at the ramp entries nearest to them, so that the
        // desktop and other windows keep their look while this palette is realised.
        struct Fixed {
            int index;
            PaletteEntry entry;
        };
        static const Fixed kSystemColours[12] = {
            {3, {0x80, 0x00, 0x00, 0}},   {24, {0x00, 0x80, 0x00, 0}},
            {27, {0x80, 0x80, 0x00, 0}},  {64, {0x00, 0x00, 0x80, 0}},
            {67, {0x80, 0x00, 0x80, 0}},  {88, {0x00, 0x80, 0x80, 0}},
            {173, {0xC0, 0xC0, 0xC0, 0}}, {181, {0xC0, 0xDC, 0xC0, 0}},
            {236, {0xA6, 0xCA, 0xF0, 0}}, {247, {0xFF, 0xFB, 0xF0, 0}},
            {164, {0xA0, 0xA0, 0xA4, 0}}, {91, {0x80, 0x80, 0x80, 0}},
        };
        for (const Fixed& f : kSystemColours) entries[static_cast<std::size_t>(f.index)] = f.entry;
    }
    return entries;
}
