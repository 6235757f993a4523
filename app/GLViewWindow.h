// The view's window: a QWindow with its own OpenGL context, embedded in the main frame
// through a window container. It is the view's ViewSurface: frames are drawn and swapped
// synchronously when the view calls OnDraw, and a frame request is an update request.
#pragma once

#include <QImage>
#include <QSurfaceFormat>
#include <QWindow>
#include <memory>

#include "CladoramaView.h"

class QMouseEvent;
class QOpenGLContext;

class CGLViewWindow : public QWindow, public ViewSurface {
    Q_OBJECT
public:
    explicit CGLViewWindow(CCladoramaView& view, QWindow* parent = nullptr);
    ~CGLViewWindow() override;

    // Double-buffered RGBA, 24 colour bits, 16 depth bits, OpenGL 2.1 compatibility.
    static QSurfaceFormat PixelFormat();
    // Replaces the format asked for when the context is made (tests use an impossible one
    // to see the failure path).
    void SetRequestedFormat(const QSurfaceFormat& format) { m_format = format; }

    CCladoramaView& View() { return m_view; }
    QOpenGLContext* Context() const { return m_context.get(); }
    // Frames drawn since creation (swaps).
    long FrameCount() const { return m_frames; }

    // Draws one frame at once and returns its pixels as read from the back buffer just
    // before the swap (device pixels, top row first). Null image without a context.
    QImage CaptureFrame();

    // ViewSurface
    bool MakeCurrent(void* context) override;
    void BeginFrame() override;
    void DrawPanel(ViewPanel& panel) override;
    void DrawRankStrip(ViewPanel& strip, ViewPanel& panel1, ViewPanel& panel2) override;
    void DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                      CCladoramaDoc& doc) override;
    void DrawChanges(ChangesLayer& layer, ViewPanel& panel1, ViewPanel& panel2, ViewPanel& strip,
                     OverviewPanel& overview) override;
    void SetViewport(int cx, int cy) override;
    void SwapBuffers() override;
    void Invalidate() override;

signals:
    // A mouse button went down in the window: the keyboard focus leaves the search bar.
    void pressed();
    // A frame is on screen (its buffers were swapped).
    void frameShown();
    // The pointer moved with the changes layer on: the change under it (empty for none),
    // and where it is on screen.
    void changeHovered(const QString& text, const QPoint& global);

protected:
    bool event(QEvent* e) override;
    void exposeEvent(QExposeEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    // Makes the rendering context; on failure reports it as the platform would and
    // leaves the window without a picture.
    bool CreateRenderingContext();
    void DestroyRenderingContext();
    void ResizeFromWindow();
    QPoint DevicePoint(const QMouseEvent* e) const;

    CCladoramaView& m_view;
    QSurfaceFormat m_format;
    std::unique_ptr<QOpenGLContext> m_context;
    bool m_contextFailed = false;
    bool m_capture = false;
    QImage m_captured;
    long m_frames = 0;
    int m_sizeW = -1, m_sizeH = -1;
};
