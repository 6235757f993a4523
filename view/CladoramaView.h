// The view: four panels over one OpenGL window, the frame loop, zooming, focus tracking
// and the animated flight to the focus nodes. Nothing here knows a window system: the
// window, its rendering context and the panel drawing are reached through ViewSurface,
// which the desktop shell implements with OpenGL and tests implement with a recorder.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ChangesLayer.h"
#include "ViewPanel.h"

class CCladoramaDoc;

// What the view needs of its window.
class ViewSurface {
public:
    virtual ~ViewSurface() = default;
    // Makes `context` (the view's m_hRC) current on the window; false when there is no
    // usable context, in which case nothing of the frame may be drawn.
    virtual bool MakeCurrent(void* context) = 0;
    // Black clear of the colour and depth buffers, then the frame's one projection:
    // the client area as the square -0.5..0.5 on both axes.
    virtual void BeginFrame() = 0;
    virtual void DrawPanel(ViewPanel& panel) = 0;
    virtual void DrawRankStrip(ViewPanel& strip, ViewPanel& panel1, ViewPanel& panel2) = 0;
    virtual void DrawOverview(OverviewPanel& overview, ViewPanel& panel1, ViewPanel& panel2,
                              CCladoramaDoc& doc) = 0;
    // The changes layer over both tree panels and the strip between them; drawn only while
    // the layer is on. A surface that does not draw it leaves it out.
    virtual void DrawChanges(ChangesLayer&, ViewPanel&, ViewPanel&, ViewPanel&, OverviewPanel&) {}
    // Viewport over the whole client area, in device pixels.
    virtual void SetViewport(int cx, int cy) = 0;
    virtual void SwapBuffers() = 0;
    // Asks for one frame soon, through the event loop (never draws at once).
    virtual void Invalidate() = 0;
};

// Mouse button flags of a mouse message: which buttons are down.
constexpr unsigned MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_MBUTTON = 0x10;

// Gesture state of the mouse.
enum MouseMode : int32_t {
    Idle = 0,
    Zooming = 1,
    Panning = 3,
    OverviewPick = 4,
    NodePick = 5,
    LinkPick = 9,  // a press on a line of the changes layer, not on a flag
};
// Which button began the gesture.
enum ZoomAction : int32_t { ZoomIn = 6, ZoomOut = 7, Pan = 8 };

class CCladoramaView {
    class RoundWindows;

public:
    ViewPanel m_panel1;
    ViewPanel m_panel2;
    ViewPanel m_legendPanel;
    ViewPanel* m_activePanel = &m_panel1;
    ViewPanel* m_otherPanel = &m_panel2;
    OverviewPanel m_overview;
    bool m_zoomLink = true;
    double m_mouseX = 0, m_mouseY = 0;
    double m_homeWindow[4] = {-0.05, -0.05, 1.1, 1.1};
    int32_t m_zoomAction = ZoomIn;
    int32_t m_mouseMode = Idle;
    // The window the frames go to, held while the window is shown.
    ViewSurface* m_hDC = nullptr;
    // The rendering context, as the surface's own handle; null when none could be made.
    void* m_hRC = nullptr;

    CCladoramaDoc* m_pDocument = nullptr;  // not owned
    // Frames swapped to the window so far.
    long m_framesPresented = 0;
    // The changes drawn into the picture (View > Show Changes).
    ChangesLayer m_changesLayer;
    // The link a press of the left button landed on (index into the layer's links).
    int64_t m_pickedLink = -1;
    // Told the row of the list whose line a click chose.
    std::function<void(uint32_t row)> m_onChangeChosen;
    // Discs are kept round in panels far from square (while the changes panel is docked).
    bool m_roundDiscs = false;

    CCladoramaView();
    CCladoramaView(const CCladoramaView&) = delete;
    CCladoramaView& operator=(const CCladoramaView&) = delete;

    CCladoramaDoc* GetDocument() const { return m_pDocument; }

    // Window creation: binds the panels to the document's trees (which exist, empty, from
    // the document's construction on).
    int OnCreate(CCladoramaDoc* doc);
    // Shown: the window and its context become the view's, and the document learns of the
    // view. Hidden: both are dropped (the shell destroys the context itself).
    void OnShowWindow(bool bShow, ViewSurface* surface, void* context);
    // Client area resized to cx by cy device pixels.
    void OnSize(int cx, int cy);

    // One frame. Also called directly, once per step, by FlyToFocus.
    void OnDraw();
    // All views of the document are to redraw (trees loaded, search, style change).
    void OnUpdate();
    // The document has replaced both hierarchies: every node pointer moves to the roots
    // before the old nodes are freed.
    void OnTreesReplaced();

    // One zoom step of the active panel about the window-normalised point (mx, my).
    void ZoomStep(double mx, double my, int32_t action);
    // Animates the active (and the other) panel to their focus nodes, drawing every step.
    void FlyToFocus();
    // A taxon of tree 1 and its counterpart in tree 2 become the panels' focus nodes, Zoom
    // Link off, and both fly there at once. With one of them null, its panel follows the
    // nearest taxon both trees hold above the other, Zoom Link on, as a pick of a flag does.
    // `framed` (nodes of tree 1) are outlined in the overview, in place of any framed before.
    void FlyToTaxa(TreeNode* node1, TreeNode* node2, std::vector<const TreeNode*> framed = {});
    // Recomputes the active panel's focus from its world window.
    void UpdateFocusFromWindow();
    // The deepest node whose square, enlarged by a fifth on each side, covers the panel's
    // world window; the root if even the root does not; null for any other node.
    TreeNode* FindEnclosingNode(TreeNode* node, const ViewPanel* panel, int treeId) const;
    void CopyWorldToOther(const ViewPanel* panel);

    // Mouse and keys. Positions are client pixels of the view's window, y downwards;
    // `flags` the MK_ buttons held. OnKeyDown takes the key's code (capital letters as
    // themselves) and returns whether the key is one of the view's.
    void OnLButtonDown(unsigned flags, int x, int y);
    void OnLButtonUp(unsigned flags, int x, int y);
    void OnRButtonDown(unsigned flags, int x, int y);
    void OnRButtonUp(unsigned flags, int x, int y);
    void OnMButtonDown(unsigned flags, int x, int y);
    void OnMButtonUp(unsigned flags, int x, int y);
    void OnMouseMove(unsigned flags, int x, int y);
    bool OnKeyDown(unsigned key);
    // Client pixel to window-normalised point.
    void ClientToNormalized(int x, int y, double& nx, double& ny) const;
    // The client area's size in device pixels, as the last resize gave it.
    int m_clientWidth = 0, m_clientHeight = 0;

    // Home command: the active panel (and with Zoom Link the other) back to the home
    // window and the root.
    void OnHome();
    // Zoom Link command: switches the link on.
    void OnZoomLink();
    // Every change of m_zoomLink and of the overview's style goes through these, so that
    // the search bar's buttons stay in step.
    void SetZoomLink(bool on);
    void SetOverviewStyle(int style);

    // True when both hierarchies are loaded (both roots have children).
    bool TreesLoaded() const;

    // The changes layer on or off, redrawn.
    void SetChangesShown(bool on);
    // The row's line drawn highlighted (-1 none), redrawn.
    void HighlightChange(int64_t row);
    // The change under the client pixel (x, y): a line of the latest frame, else a ringed
    // disc; as ISO-8859-1, empty where there is none or the layer is off.
    std::string ChangeTextAt(int x, int y) const;
    // Round discs on or off; redrawn.
    void SetRoundDiscs(bool on);

private:
    void Invalidate();
    // Whether the press at (mx, my) lands on a line of the changes layer; it is kept.
    bool PressOnLink(double mx, double my);
    // Both panels fly to the pair the link joins, its line highlighted and its row told.
    void ChooseLink(int64_t link);

    // For one frame, the tree panels' world windows widened so that discs are round on
    // screen (with m_roundDiscs); Restore puts the square windows back, unless the frame
    // itself has moved them (a flight started from inside it).
    class RoundWindows {
    public:
        explicit RoundWindows(CCladoramaView& view);
        ~RoundWindows() { Restore(); }
        void Restore();
        // The windows back to their shape, also those moved while widened (a zoom step, a
        // pan), about their new centres.
        void Unwiden();

    private:
        struct Saved {
            bool active = false;
            double ratio = 1;
            std::array<double, 4> square{}, widened{};
        };
        CCladoramaView& m_view;
        Saved m_saved[2];
    };
};
