// The logical palette of a palette-based display. X11 true-colour visuals never need
// one; this serves only a visual that asks for a palette.
#pragma once

#include <cstdint>
#include <vector>

// Intensity of the colour channel of `bits` bits at `shift` in palette index `index`:
// an even ramp for 1, 2 or 3 bits; 0 for any other bit count.
uint8_t PaletteComponent(int index, int bits, int shift);

// Channel layout of an indexed pixel format.
struct PixelLayout {
    int colorBits = 0;
    int redBits = 0, redShift = 0;
    int greenBits = 0, greenShift = 0;
    int blueBits = 0, blueShift = 0;
};

struct PaletteEntry {
    uint8_t red = 0, green = 0, blue = 0, flags = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// 2^colorBits entries built from the channel ramps. The 8-bit 3-3-2 layout (red 3 bits
// at 0, green 3 at 3, blue 2 at 6) has twelve entries replaced by the system's standard
// colours so that other windows keep them. colorBits outside 1..16 gives no entries.
std::vector<PaletteEntry> BuildPaletteEntries(const PixelLayout& layout);
