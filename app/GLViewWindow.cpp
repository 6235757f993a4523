#include "GLViewWindow.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QExposeEvent>
#include <QMouseEvent>
#include <cmath>
#include <QMessageBox>
#include <QOpenGLContext>

#include "ChangesDrawing.h"
#include "Overview.h"
#include "Render.h"

namespace {

// A message box owned by no window, as the platform reports a pixel format it cannot use.
void ReportContextFailure(const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), QString::fromUtf8(text),
                    QMessageBox::Ok);
    box.exec();
}

}  // namespace

CGLViewWindow::CGLViewWindow(CCladoramaView& view, QWindow* parent)
    : QWindow(parent), m_view(view), m_format(PixelFormat()) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(m_format);
}

CGLViewWindow::~CGLViewWindow() { DestroyRenderingContext(); }

QSurfaceFormat CGLViewWindow::PixelFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    f.setRedBufferSize(8);
    f.setGreenBufferSize(8);
    f.setBlueBufferSize(8);
    f.setAlphaBufferSize(0);
    f.setDepthBufferSize(16);
    f.setStencilBufferSize(0);
    f.setVersion(2, 1);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    return f;
}

bool CGLViewWindow::CreateRenderingContext() {
    if (m_context || m_contextFailed) return m_context != nullptr;
    setFormat(m_format);
    if (!handle()) create();
    if (!handle()) {
        m_contextFailed = true;
        ReportContextFailure("ChoosePixelFormat failed");
        return false;
    }
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(m_format);
    if (!context->create() || context->format().majorVersion() < 1 ||
        (m_format.majorVersion() > 2 &&
         context->format().version() < m_format.version())) {
        m_contextFailed = true;
        ReportContextFailure("SetPixelFormat failed");
        return false;
    }
    m_context = std::move(context);
    return true;
}

void CGLViewWindow::DestroyRenderingContext() {
    if (!m_context) return;
    m_context->doneCurrent();
    m_context.reset();
}

void CGLViewWindow::showEvent(QShowEvent* e) {
    QWindow::showEvent(e);
    CreateRenderingContext();
    m_view.OnShowWindow(true, this, m_context.get());
    ResizeFromWindow();
}

void CGLViewWindow::hideEvent(QHideEvent* e) {
    QWindow::hideEvent(e);
    m_view.OnShowWindow(false, nullptr, nullptr);
    DestroyRenderingContext();
    // Shown again, the window makes a fresh context.
    m_contextFailed = false;
    m_sizeW = m_sizeH = -1;
}

void CGLViewWindow::ResizeFromWindow() {
    // The framebuffer is in device pixels; the panels' pixel sizes must be too.
    const qreal ratio = devicePixelRatio();
    const int w = static_cast<int>(width() * ratio), h = static_cast<int>(height() * ratio);
    if (w == m_sizeW && h == m_sizeH) return;
    m_sizeW = w;
    m_sizeH = h;
    m_view.OnSize(w, h);
}

void CGLViewWindow::resizeEvent(QResizeEvent* e) {
    QWindow::resizeEvent(e);
    if (m_view.m_hDC == this) ResizeFromWindow();
}

void CGLViewWindow::exposeEvent(QExposeEvent*) {
    if (!isExposed() || m_view.m_hDC != this) return;
    ResizeFromWindow();
    m_view.OnDraw();
}

bool CGLViewWindow::event(QEvent* e) {
    if (e->type() == QEvent::UpdateRequest) {
        if (isExposed()) m_view.OnDraw();
        return true;
    }
    return QWindow::event(e);
}

namespace {

unsigned buttonFlags(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? MK_LBUTTON : 0u) | (buttons & Qt::RightButton ? MK_RBUTTON : 0u) |
           (buttons & Qt::MiddleButton ? MK_MBUTTON : 0u);
}

}  // namespace

QPoint CGLViewWindow::DevicePoint(const QMouseEvent* e) const {
    // The view counts in the framebuffer's device pixels, as its panels' sizes do.
    const QPointF p = e->position() * devicePixelRatio();
    return QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
}

void CGLViewWindow::mousePressEvent(QMouseEvent* e) {
    emit pressed();
    const QPoint p = DevicePoint(e);
    const unsigned flags = buttonFlags(e->buttons());
    switch (e->button()) {
        case Qt::LeftButton: m_view.OnLButtonDown(flags, p.x(), p.y()); break;
        case Qt::RightButton: m_view.OnRButtonDown(flags, p.x(), p.y()); break;
        case Qt::MiddleButton: m_view.OnMButtonDown(flags, p.x(), p.y()); break;
        default: break;
    }
}

void CGLViewWindow::mouseReleaseEvent(QMouseEvent* e) {
    // A release outside the window still comes here: the window that saw the press keeps
    // the mouse until every button is up.
    const QPoint p = DevicePoint(e);
    const unsigned flags = buttonFlags(e->buttons());
    switch (e->button()) {
        case Qt::LeftButton: m_view.OnLButtonUp(flags, p.x(), p.y()); break;
        case Qt::RightButton: m_view.OnRButtonUp(flags, p.x(), p.y()); break;
        case Qt::MiddleButton: m_view.OnMButtonUp(flags, p.x(), p.y()); break;
        default: break;
    }
}

void CGLViewWindow::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = DevicePoint(e);
    m_view.OnMouseMove(buttonFlags(e->buttons()), p.x(), p.y());
    if (m_view.m_changesLayer.on && !e->buttons())
        emit changeHovered(QString::fromLatin1(m_view.ChangeTextAt(p.x(), p.y()).c_str()),
                           e->globalPosition().toPoint());
}

bool CGLViewWindow::MakeCurrent(void* context) {
    return context && context == m_context.get() && m_context->makeCurrent(this);
}

void CGLViewWindow::BeginFrame() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
}

void CGLViewWindow::DrawPanel(ViewPanel& panel) { ::DrawPanel(panel); }

void CGLViewWindow::DrawRankStrip(ViewPanel& strip, ViewPanel& panel1, ViewPanel& panel2) {
    ::DrawRankStrip(strip, panel1, panel2);
}

void CGLViewWindow::DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                                 CCladoramaDoc& doc) {
    ::DrawOverview(overview, panel1, panel2, doc);
}

void CGLViewWindow::DrawChanges(ChangesLayer& layer, ViewPanel& panel1, ViewPanel& panel2,
                                ViewPanel& strip, OverviewPanel& overview) {
    ::DrawChangesLayer(layer, panel1, panel2, strip, overview);
}

void CGLViewWindow::SetViewport(int cx, int cy) { glViewport(0, 0, cx, cy); }

void CGLViewWindow::SwapBuffers() {
    if (!m_context) return;
    if (m_capture) {
        GLint vp[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, vp);
        QImage image(vp[2], vp[3], QImage::Format_RGBA8888);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, vp[2], vp[3], GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
        m_captured = image.mirrored();
        m_capture = false;
    }
    m_context->swapBuffers(this);
    emit frameShown();
    ++m_frames;
}

void CGLViewWindow::Invalidate() { requestUpdate(); }

QImage CGLViewWindow::CaptureFrame() {
    m_captured = QImage();
    if (!m_context) return m_captured;
    ResizeFromWindow();
    m_capture = true;
    m_view.OnDraw();
    m_capture = false;
    return m_captured;
}
