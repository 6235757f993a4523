// The view's frames drawn without a window or a display: an OpenGL context of Mesa's on no
// platform at all (EGL, surfaceless), drawing into a buffer of the window's size. The view
// draws its frames into it exactly as into its window (same code, same software
// renderer), so a picture taken here is the picture the window would export.
#pragma once

#include <QImage>
#include <memory>
#include <string>

#include "CladoramaView.h"

class OffscreenView final : public ViewSurface {
public:
    ~OffscreenView() override;

    // A context and a buffer of width by height pixels, shown to the view as its window
    // (the view is sized to it). Null, with the reason in `why`, when none can be made.
    static std::unique_ptr<OffscreenView> Open(CCladoramaView& view, int width, int height,
                                               std::string& why);

    // Draws one frame and returns its pixels, top row first.
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
    void Invalidate() override {}

private:
    OffscreenView(CCladoramaView& view, int width, int height);

    CCladoramaView& m_view;
    int m_width, m_height;
    void* m_display = nullptr;
    void* m_surface = nullptr;
    void* m_context = nullptr;
    QImage m_captured;
};
