// A surface that records what the view asks of its window, and small laid-out trees.
#pragma once

#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "TestSupport.h"

struct WorldWindow {
    double x, y, w, h;
};

class RecordingSurface : public ViewSurface {
public:
    CCladoramaView* view = nullptr;
    bool hasContext = true;
    std::vector<std::string> calls;
    int invalidations = 0;
    int viewportW = -1, viewportH = -1;
    // World windows of both tree panels at the start of every frame.
    std::vector<WorldWindow> activeAtFrame, otherAtFrame;

    bool MakeCurrent(void* context) override {
        calls.push_back("current");
        return hasContext && context != nullptr;
    }
    void BeginFrame() override {
        calls.push_back("begin");
        if (view) {
            const ViewPanel& a = *view->m_activePanel;
            const ViewPanel& o = *view->m_otherPanel;
            activeAtFrame.push_back({a.worldX, a.worldY, a.worldW, a.worldH});
            otherAtFrame.push_back({o.worldX, o.worldY, o.worldW, o.worldH});
        }
    }
    void DrawPanel(ViewPanel& panel) override { calls.push_back(name(panel)); }
    void DrawRankStrip(ViewPanel& strip, ViewPanel& p1, ViewPanel& p2) override {
        calls.push_back("strip(" + name(strip) + "," + name(p1) + "," + name(p2) + ")");
    }
    void DrawOverview(OverviewPanel& ov, ViewPanel& p1, ViewPanel& p2, CCladoramaDoc&) override {
        calls.push_back("overview(" + name(ov) + "," + name(p1) + "," + name(p2) + ")");
    }
    void SetViewport(int cx, int cy) override {
        viewportW = cx;
        viewportH = cy;
    }
    void SwapBuffers() override { calls.push_back("swap"); }
    void Invalidate() override { ++invalidations; }

    int frames() const {
        int n = 0;
        for (const auto& c : calls) n += c == "swap";
        return n;
    }
    std::string joined() const {
        std::string s;
        for (const auto& c : calls) s += (s.empty() ? "" : " ") + c;
        return s;
    }

private:
    std::string name(const ViewPanel& p) const {
        if (!view) return "?";
        if (&p == &view->m_panel1) return "panel1";
        if (&p == &view->m_panel2) return "panel2";
        if (&p == &view->m_legendPanel) return "legend";
        if (&p == &view->m_overview) return "overview";
        return "?";
    }
};

// A framework that only notes what the search bar's buttons are told, and the updates.
struct ButtonFramework : DocFramework {
    std::string log;
    void UpdateAllViews() override { log += "update "; }
    void MessageBox(const char*) override {}
    bool PromptForFile(std::string&) override { return false; }
    void SetSliderRange(int, int) override {}
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override { return nullptr; }
    void TreesReplaced() override {}
    void TitleChanged(const char*) override {}
    void CheckZoomLinkButton(bool checked) override { log += checked ? "link:on " : "link:off "; }
    void CheckStyleButtons(int style) override { log += "style:" + std::to_string(style) + " "; }
};

inline TreeNode* placedNode(TreeNode* parent, const char* latin, double x, double y, double size,
                            uint8_t onlyInTree = 0, const char* rank = "Genus") {
    TreeNode* n = addNode(parent, latin, rank);
    n->x = x;
    n->y = y;
    n->width = size;
    n->height = size;
    n->onlyInTree = onlyInTree;
    return n;
}

// A document whose two trees hold a few placed nodes, and a view bound to it with a
// recording surface attached.
struct ViewFixture {
    CCladoramaDoc doc;
    CCladoramaView view;
    RecordingSurface surface;
    int context = 0;  // any non-null address serves as the context handle

    ViewFixture() {
        doc.m_tree1.treeId = 1;
        doc.m_tree2.treeId = 2;
        nameRoot(doc.m_tree1, "Mammalia");
        nameRoot(doc.m_tree2, "Mammalia");
        view.OnCreate(&doc);
        surface.view = &view;
        view.OnShowWindow(true, &surface, &context);
    }
};
