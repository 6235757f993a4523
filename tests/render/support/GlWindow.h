// A GL window for the render tests: one GLUT window per process, drawn into and read
// back from its back buffer without swapping.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using Rgb = std::array<int, 3>;

// Window size in pixels of the test window.
constexpr int kWindowWidth = 1000;
constexpr int kWindowHeight = 700;

// Creates the window and its context on first use. Returns an empty string on success,
// else why there is none (no X display).
std::string OpenGlWindow();

// Starts a frame as the view does: viewport over the window, black clear, the
// window-normalised projection, identity model-view.
void BeginFrame();

// Colour of the back-buffer pixel at window pixel (x, y), (0, 0) bottom left.
Rgb PixelAt(int x, int y);
// Pixel under a window-normalised point.
int PixelX(double nx);
int PixelY(double ny);
Rgb PixelAtPoint(double nx, double ny);

// Colour as a byte triple from floats 0..1 the way GL stores it in an 8-bit channel.
Rgb FromFloat(float r, float g, float b);
Rgb FromBytes(const uint8_t rgb[3]);

// Whether two colours differ by at most `tolerance` in every channel.
bool Near(const Rgb& a, const Rgb& b, int tolerance = 1);
std::string Describe(const Rgb& c);
