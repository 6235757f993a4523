#include "Figure.h"

#include "ChangesDrawing.h"
#include "CladoramaView.h"
#include "Overview.h"
#include "Render.h"

void DrawViewStill(Canvas& canvas, CCladoramaView& view, SharedOverview* shared) {
    canvas.setColour(0.0f, 0.0f, 0.0f);
    const CanvasPoint window[4] = {{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
    canvas.fillPolygon(window, 4);
    if (!view.TreesLoaded() || !view.m_pDocument) return;
    DrawPanel(canvas, *view.m_activePanel);
    DrawPanel(canvas, *view.m_otherPanel);
    DrawRankStrip(canvas, view.m_legendPanel, view.m_panel1, view.m_panel2);
    DrawOverviewStill(canvas, view.m_overview, view.m_panel1, view.m_panel2, *view.m_pDocument,
                      shared);
    if (view.m_changesLayer.on) {
        view.m_changesLayer.Sync(*view.m_pDocument);
        DrawChangesLayer(canvas, view.m_changesLayer, view.m_panel1, view.m_panel2,
                         view.m_legendPanel, view.m_overview);
    }
}
