#include "OffscreenView.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include "ChangesDrawing.h"
#include "Overview.h"
#include "Render.h"

OffscreenView::OffscreenView(CCladoramaView& view, int width, int height)
    : m_view(view), m_width(width), m_height(height) {}

OffscreenView::~OffscreenView() {
    if (m_view.m_hDC == this) m_view.OnShowWindow(false, nullptr, nullptr);
    if (!m_display) return;
    EGLDisplay d = static_cast<EGLDisplay>(m_display);
    eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (m_context) eglDestroyContext(d, static_cast<EGLContext>(m_context));
    if (m_surface) eglDestroySurface(d, static_cast<EGLSurface>(m_surface));
    eglTerminate(d);
}

std::unique_ptr<OffscreenView> OffscreenView::Open(CCladoramaView& view, int width, int height,
                                                   std::string& why) {
    std::unique_ptr<OffscreenView> v(new OffscreenView(view, width, height));
    EGLDisplay d =
        eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d == EGL_NO_DISPLAY || !eglInitialize(d, nullptr, nullptr)) {
        why = "no OpenGL without a display here (Mesa's EGL is needed)";
        return nullptr;
    }
    v->m_display = d;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why = "EGL offers no desktop OpenGL";
        return nullptr;
    }
    // The window's pixel format: 8 bits a channel and no alpha (the renderer rounds colours
    // into a buffer with alpha differently), a 16-bit depth buffer.
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8,
                                       EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16,
                                       EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(d, configAttributes, configs, 64, &count) || count < 1) {
        why = "no EGL configuration for an OpenGL buffer";
        return nullptr;
    }
    EGLConfig config = configs[0];
    for (EGLint i = 0; i < count; ++i) {
        EGLint alpha = -1, red = -1;
        eglGetConfigAttrib(d, configs[i], EGL_ALPHA_SIZE, &alpha);
        eglGetConfigAttrib(d, configs[i], EGL_RED_SIZE, &red);
        if (alpha == 0 && red == 8) {
            config = configs[i];
            break;
        }
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface s = eglCreatePbufferSurface(d, config, surfaceAttributes);
    if (s == EGL_NO_SURFACE) {
        why = "no OpenGL buffer of " + std::to_string(width) + " x " + std::to_string(height);
        return nullptr;
    }
    v->m_surface = s;
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 2, EGL_CONTEXT_MINOR_VERSION, 1,
                                        EGL_NONE};
    EGLContext c = eglCreateContext(d, config, EGL_NO_CONTEXT, contextAttributes);
    if (c == EGL_NO_CONTEXT) {
        why = "no OpenGL 2.1 context";
        return nullptr;
    }
    v->m_context = c;
    view.OnShowWindow(true, v.get(), c);
    view.OnSize(width, height);
    return v;
}

bool OffscreenView::MakeCurrent(void* context) {
    return context && context == m_context &&
           eglMakeCurrent(static_cast<EGLDisplay>(m_display), static_cast<EGLSurface>(m_surface),
                          static_cast<EGLSurface>(m_surface), static_cast<EGLContext>(m_context));
}

// As the window begins its frames.
void OffscreenView::BeginFrame() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
}

void OffscreenView::DrawPanel(ViewPanel& panel) { ::DrawPanel(panel); }

void OffscreenView::DrawChanges(ChangesLayer& layer, ViewPanel& panel1, ViewPanel& panel2,
                                ViewPanel& strip, OverviewPanel& overview) {
    ::DrawChangesLayer(layer, panel1, panel2, strip, overview);
}

void OffscreenView::DrawRankStrip(ViewPanel& strip, ViewPanel& panel1, ViewPanel& panel2) {
    ::DrawRankStrip(strip, panel1, panel2);
}

void OffscreenView::DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                                 CCladoramaDoc& doc) {
    ::DrawOverview(overview, panel1, panel2, doc);
}

void OffscreenView::SetViewport(int cx, int cy) { glViewport(0, 0, cx, cy); }

void OffscreenView::SwapBuffers() {
    QImage image(m_width, m_height, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    // The window has no alpha channel: its pixels read back opaque.
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) row[4 * x + 3] = 255;
    }
    m_captured = image.mirrored();
}

QImage OffscreenView::CaptureFrame() {
    m_captured = QImage();
    m_view.OnDraw();
    return m_captured;
}
