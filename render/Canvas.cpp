#include "Canvas.h"

void FillPanelBackground(Canvas& canvas, const ViewPanel& panel) {
    canvas.setColour(panel.color);
    const double l = panel.viewX, b = panel.viewY;
    const double r = panel.viewX + panel.viewW, t = panel.viewY + panel.viewH;
    const CanvasPoint corners[4] = {{l, b}, {r, b}, {r, t}, {l, t}};
    canvas.fillPolygon(corners, 4);
}

void FillMarkerTriangle(Canvas& canvas, double cx, double baseY, double s) {
    const CanvasPoint corners[3] = {{cx + s / 2, baseY}, {cx - s / 2, baseY}, {cx, baseY + 1.3 * s}};
    canvas.fillPolygon(corners, 3);
}

void Canvas::taggedLine(const CanvasPoint* points, int count, const float rgb[3], float,
                        float width, const char*, const char*) {
    setColour(rgb);
    setLineWidth(width);
    for (int i = 1; i < count; ++i) line(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
    setLineWidth(1.0f);
}
