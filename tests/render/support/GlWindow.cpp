#include "GlWindow.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define CLADORAMA_LSAN_DISABLE() __lsan_disable()
#define CLADORAMA_LSAN_ENABLE() __lsan_enable()
#else
#define CLADORAMA_LSAN_DISABLE()
#define CLADORAMA_LSAN_ENABLE()
#endif

namespace {
int g_window = 0;
std::string createWindow();
}  // namespace

std::string OpenGlWindow() {
    if (g_window) return {};
    // glutInit ends the process when it cannot open a display, so look first.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return "no X display (run under xvfb-run)";
    // The GL driver keeps buffers for the window until the process ends; they are not
    // ours to free, so the leak checker of the sanitizer build is told to ignore what is
    // allocated while the window is set up and first drawn into.
    CLADORAMA_LSAN_DISABLE();
    const std::string why = createWindow();
    CLADORAMA_LSAN_ENABLE();
    return why;
}

namespace {
std::string createWindow() {
    static char name[] = "render_test";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kWindowWidth, kWindowHeight);
    glutInitWindowPosition(0, 0);
    g_window = glutCreateWindow("render test");
    BeginFrame();
    glRasterPos2d(0, 0);
    glutBitmapCharacter(GLUT_BITMAP_HELVETICA_10, 'A');
    PixelAt(0, 0);
    if (glutGet(GLUT_WINDOW_WIDTH) != kWindowWidth || glutGet(GLUT_WINDOW_HEIGHT) != kWindowHeight)
        return "window did not get the requested size";
    return {};
}
}  // namespace

void BeginFrame() {
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

Rgb PixelAt(int x, int y) {
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    unsigned char p[3] = {0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

int PixelX(double nx) {
    return static_cast<int>(std::floor((nx + 0.5) * kWindowWidth));
}

int PixelY(double ny) {
    return static_cast<int>(std::floor((ny + 0.5) * kWindowHeight));
}

Rgb PixelAtPoint(double nx, double ny) {
    return PixelAt(PixelX(nx), PixelY(ny));
}

Rgb FromFloat(float r, float g, float b) {
    auto q = [](float v) { return static_cast<int>(std::lround(v * 255.0f)); };
    return {q(r), q(g), q(b)};
}

Rgb FromBytes(const uint8_t rgb[3]) {
    return {rgb[0], rgb[1], rgb[2]};
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

std::string Describe(const Rgb& c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}
