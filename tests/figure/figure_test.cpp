// Figures of the view: the SVG read back element by element, the PDF's page, and the SVG
// rasterised against the OpenGL frame of the same view, all without a display.
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <cmath>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "CladoramaDoc.h"
#include "CladoramaView.h"
#include "FigureFile.h"
#include "OffscreenView.h"
#include "RenderMath.h"
#include "SharedOverview.h"
#include "Synthetic.h"
#include "TestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define CLADORAMA_LSAN_DISABLE() __lsan_disable()
#define CLADORAMA_LSAN_ENABLE() __lsan_enable()
#else
#define CLADORAMA_LSAN_DISABLE()
#define CLADORAMA_LSAN_ENABLE()
#endif

// Fontconfig, which Qt asks for the labels' fonts, keeps a block of its configuration to the
// end of the process where the leak checker sees it unowned. Nothing of the program's own is
// hidden by this: only blocks allocated inside fontconfig itself are passed over.
// Qt's PNG writer leaks its row buffer when libpng gives up on a write error (the failed
// export below makes one); that block is allocated inside QtGui, with no frame of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libQt6Gui.so\n";
}

namespace {

constexpr int kW = 1000, kH = 700;

// One application for the whole program, never destroyed: Qt's own statics would be gone
// before it at exit.
void ensureApp() {
    static QGuiApplication* app = nullptr;
    if (app) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "figure_test";
    static char* argv[] = {name, nullptr};
    app = new QGuiApplication(argc, argv);
}

class Quiet : public DocFramework {
public:
    void UpdateAllViews() override {}
    void MessageBox(const char*) override {}
    bool PromptForFile(std::string&) override { return false; }
    void SetSliderRange(int, int) override {}
    std::unique_ptr<CNodeListDlg> NewNodeListDlg() override {
        return std::make_unique<CNodeListDlg>(nullptr);
    }
    void TreesReplaced() override {}
    void TitleChanged(const char*) override {}
};

// A document of two files and its view as the window has it after loading.
struct Shown {
    Quiet framework;
    CCladoramaDoc doc{&framework};
    CCladoramaView view;
    bool Load(const std::string& a, const std::string& b) {
        if (!doc.ReloadTrees(a, b)) return false;
        view.OnCreate(&doc);
        view.OnSize(kW, kH);
        view.OnUpdate();
        return true;
    }
};

struct Element {
    std::string kind, text, fill, stroke;
    double x = 0, y = 0, w = 0, h = 0;  // bounding box in pixels, y downwards
};

// Every shape and text of an SVG file with the colours its group gives it.
std::vector<Element> readSvg(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<std::pair<std::string, std::string>> groups{{"none", "none"}};
    std::vector<Element> out;
    auto num = [&](const char* a) { return xml.attributes().value(QLatin1String(a)).toDouble(); };
    auto str = [&](const char* a) {
        return xml.attributes().value(QLatin1String(a)).toString().toStdString();
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("g")) groups.pop_back();
        if (!xml.isStartElement()) continue;
        const std::string name = xml.name().toString().toStdString();
        if (name == "g") {
            auto g = groups.back();
            if (xml.attributes().hasAttribute(QLatin1String("fill"))) g.first = str("fill");
            if (xml.attributes().hasAttribute(QLatin1String("stroke"))) g.second = str("stroke");
            groups.push_back(g);
            continue;
        }
        Element e{name, "", groups.back().first, groups.back().second};
        if (name == "ellipse") {
            e.x = num("cx") - num("rx");
            e.y = num("cy") - num("ry");
            e.w = 2 * num("rx");
            e.h = 2 * num("ry");
        } else if (name == "rect") {
            e.x = num("x");
            e.y = num("y");
            e.w = num("width");
            e.h = num("height");
        } else if (name == "text") {
            e.x = num("x");
            e.y = num("y");
            e.fill = str("fill");
            e.text = xml.readElementText().toStdString();
        } else if (name != "path" && name != "polygon" && name != "polyline") {
            continue;
        }
        out.push_back(e);
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return out;
}

std::string hex(const std::array<int, 3>& c) {
    char s[8];
    std::snprintf(s, sizeof s, "#%02x%02x%02x", c[0], c[1], c[2]);
    return s;
}

double px(double nx) { return (nx + 0.5) * kW; }
double py(double ny) { return (0.5 - ny) * kH; }

// The ellipses centred (within a pixel) on the disc of `node` in `panel`.
std::vector<Element> discsOf(const std::vector<Element>& all, const TreeNode* node,
                             const ViewPanel& panel) {
    const ScreenBox b = MapNodeSquare(*node, panel);
    const double cx = px((b.x0 + b.x1) / 2), cy = py((b.y0 + b.y1) / 2);
    std::vector<Element> found;
    for (const Element& e : all)
        if (e.kind == "ellipse" && std::fabs(e.x + e.w / 2 - cx) < 1 &&
            std::fabs(e.y + e.h / 2 - cy) < 1 && std::fabs(e.w - px(b.x1) + px(b.x0)) < 1)
            found.push_back(e);
    return found;
}

TreeNode* child(TreeNode* n, const char* latin) {
    for (TreeNode* c : n->children)
        if (std::string(c->latinName) == latin) return c;
    return nullptr;
}

class FigureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp();
        ASSERT_TRUE(shown.Load(dir.write("a.xml", carnivoraClassificationA()),
                               dir.write("b.xml", carnivoraClassificationB())));
    }
    QString path(const char* name) { return QString::fromStdString(dir.file(name)); }
    TempDir dir;
    Shown shown;
};

}  // namespace

TEST_F(FigureTest, SvgHoldsDiscsRingsFlagsAndLabelsWhereTheFrameHasThem) {
    ASSERT_TRUE(WriteVectorFigure(shown.view, path("f.svg"), FigureFormat::Svg, nullptr));
    const std::vector<Element> all = readSvg(path("f.svg"));
    CCladoramaView& v = shown.view;
    TreeNode* root1 = &shown.doc.m_tree1;
    TreeNode* felidae = child(root1, "Felidae");
    ASSERT_NE(felidae, nullptr);
    TreeNode* panthera = child(felidae, "Panthera");
    TreeNode* hyaenidae = child(root1, "Hyaenidae");  // grafted from tree 2
    ASSERT_NE(panthera, nullptr);
    ASSERT_NE(hyaenidae, nullptr);

    // The root's disc in its rank colour in both panels; Felidae's in its own.
    for (const ViewPanel* p : {&v.m_panel1, &v.m_panel2}) {
        const auto root = discsOf(all, p->tree, *p);
        ASSERT_EQ(root.size(), 1u);
        EXPECT_EQ(root[0].fill, hex(rankColourOf(p->tree->rankName)));
    }
    const auto fel = discsOf(all, felidae, v.m_panel1);
    ASSERT_FALSE(fel.empty());
    EXPECT_EQ(fel[0].fill, hex(rankColourOf("Family")));

    // Panthera, of tree 1 only: its disc and a white ring in panel 1, nothing in panel 2;
    // Hyaenidae, of tree 2 only, the other way round.
    const auto pan = discsOf(all, panthera, v.m_panel1);
    ASSERT_EQ(pan.size(), 2u);
    EXPECT_EQ(pan[0].fill, hex(rankColourOf("Genus")));
    EXPECT_EQ(pan[1].stroke, "#ffffff");
    EXPECT_TRUE(discsOf(all, panthera, v.m_panel2).empty());
    EXPECT_TRUE(discsOf(all, hyaenidae, v.m_panel1).empty());
    EXPECT_EQ(discsOf(all, hyaenidae, v.m_panel2).size(), 2u);

    // Labels as text, black, at the frame's baseline positions: the root's full label and
    // the legend's rank names; flagged labels have their yellow square in front.
    int rankNames = 0, flags = 0;
    bool rootLabel = false;
    for (const Element& e : all) {
        if (e.kind == "rect" && e.fill == "#e6e600" && std::fabs(e.w - 7) < 0.6) ++flags;
        if (e.kind != "text") continue;
        EXPECT_EQ(e.fill, "#000000") << e.text;
        if (e.text.rfind("Carnivora, ", 0) == 0) rootLabel = true;
        for (int r = 0; r < kLegendRows; ++r) {
            char name[64] = "";
            rankToName(r, name);
            if (e.text != name) continue;
            const TextOrigin at = LegendNamePosition(v.m_legendPanel, r, std::strlen(name));
            EXPECT_NEAR(e.x, px(at.x), 0.01) << name;
            EXPECT_NEAR(e.y, py(at.y), 0.01) << name;
            ++rankNames;
        }
    }
    EXPECT_TRUE(rootLabel);
    EXPECT_EQ(rankNames, kLegendRows);
    EXPECT_GE(flags, 2);  // Panthera in panel 1, Hyaenidae in panel 2 (Canidae if labelled)
}

TEST_F(FigureTest, SvgCutsWhatCrossesAPanelsEdgeAsTheScissorBoxDoes) {
    // Panel 1 zoomed so that the root's disc runs far past every edge of the panel.
    ViewPanel& p = shown.view.m_panel1;
    p.worldX = p.worldY = 0.3;
    p.worldW = p.worldH = 0.2;
    ASSERT_TRUE(WriteVectorFigure(shown.view, path("z.svg"), FigureFormat::Svg, nullptr));
    const std::vector<Element> all = readSvg(path("z.svg"));
    const double right = std::trunc(px(p.viewX + p.viewW)), bottom = std::trunc(py(p.viewY));
    int cut = 0;
    for (const Element& e : all) {
        if (e.kind == "path") ++cut;
        if (e.kind != "ellipse" || e.x >= right) continue;  // panel 2's side
        EXPECT_LE(e.x + e.w, right + 1e-6);
        EXPECT_LE(e.y + e.h, bottom + 1e-6);
    }
    EXPECT_GT(cut, 0);
}

TEST_F(FigureTest, PdfIsOnePageOfTheWindowsSize) {
    ASSERT_TRUE(WriteVectorFigure(shown.view, path("f.pdf"), FigureFormat::Pdf, nullptr));
    const std::string pdf = readFileBytes(dir.file("f.pdf"));
    ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
    // 1000 x 700 pixels at 96 an inch are 750 x 525 points.
    EXPECT_TRUE(std::regex_search(pdf, std::regex(R"(/MediaBox \[0 0 750(\.0+)? 525(\.0+)?\])")));
    EXPECT_FALSE(WriteVectorFigure(shown.view, QStringLiteral("/nonexistent/f.pdf"),
                                   FigureFormat::Pdf, nullptr));
}

TEST_F(FigureTest, RasterisedSvgMatchesTheOpenGlFrame) {
    std::string why;
    // The GL driver keeps buffers for the offscreen context until the process ends, in
    // modules it loads and unloads itself; they are not ours to free, so the leak checker of
    // the sanitizer build ignores what is allocated while the context is made and drawn into.
    CLADORAMA_LSAN_DISABLE();
    std::unique_ptr<OffscreenView> gl = OffscreenView::Open(shown.view, kW, kH, why);
    const QImage frame = gl ? gl->CaptureFrame().convertToFormat(QImage::Format_RGB32) : QImage();
    CLADORAMA_LSAN_ENABLE();
    if (!gl) {
        if (displayRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(frame.size(), QSize(kW, kH));
    ASSERT_TRUE(WriteVectorFigure(shown.view, path("f.svg"), FigureFormat::Svg, nullptr));
    QImage drawn(kW, kH, QImage::Format_RGB32);
    drawn.fill(Qt::magenta);
    QSvgRenderer svg(path("f.svg"));
    ASSERT_TRUE(svg.isValid());
    QPainter painter(&drawn);
    svg.render(&painter);
    painter.end();
    // Alike: no channel more than a fifth apart. What differs: the edges of discs and
    // lines (smoothed in the drawing, stepped in the frame) and the glyphs (outline fonts
    // against bitmaps).
    long alike = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const QRgb a = frame.pixel(x, y), b = drawn.pixel(x, y);
            alike += std::abs(qRed(a) - qRed(b)) <= 51 && std::abs(qGreen(a) - qGreen(b)) <= 51 &&
                     std::abs(qBlue(a) - qBlue(b)) <= 51;
        }
    }
    EXPECT_GT(alike, 0.98 * kW * kH) << kW * kH - alike << " pixels differ";
    std::printf("%ld of %d pixels differ\n", kW * kH - alike, kW * kH);
}

// A synthetic pair of some 20,000 taxa a side, shown: more taxa than the overview has pixels.
void showSynthetic(TempDir& dir, Shown& shown) {
    ensureApp();
    SyntheticOptions options;
    options.taxa = 20000;
    ASSERT_TRUE(writeSyntheticPair(dir.file("a.xml"), dir.file("b.xml"), options));
    ASSERT_TRUE(shown.Load(dir.file("a.xml"), dir.file("b.xml")));
}

TEST(Figure, DiscsTooSmallToShowAreLeftOutOfTheFile) {
    TempDir dir;
    Shown shown;
    ASSERT_NO_FATAL_FAILURE(showSynthetic(dir, shown));
    const QString path = QString::fromStdString(dir.file("s.svg"));
    ASSERT_TRUE(WriteVectorFigure(shown.view, path, FigureFormat::Svg, nullptr));
    int ellipses = 0, elements = 0;
    for (const Element& e : readSvg(path)) {
        ++elements;
        if (e.kind != "ellipse") continue;
        ++ellipses;
        // Narrower discs are drawn as the one pixel they show, or not at all.
        EXPECT_GT(e.w, 1.4);
    }
    // Two panels of some 20,000 taxa each and an overview of all of them: a few elements
    // for the visible discs, the rest as the pixels the frame shows.
    EXPECT_GT(ellipses, 10);
    EXPECT_LT(elements, 2500);
}

TEST(Figure, PicturesInARowShareTheOverviewAndEachIsAsIfDrawnAlone) {
    TempDir dir;
    Shown shown;
    ASSERT_NO_FATAL_FAILURE(showSynthetic(dir, shown));
    ASSERT_TRUE(shown.doc.FindChangesNow());
    CCladoramaView& v = shown.view;
    v.SetChangesShown(true);
    SharedOverview shared;
    auto svg = [&](SharedOverview* with) {
        QByteArray bytes;
        EXPECT_TRUE(SvgFigureBytes(v, bytes, nullptr, with));
        return bytes.toStdString();
    };
    EXPECT_EQ(svg(&shared), svg(nullptr));
    ASSERT_FALSE(shared.drawn.empty());
    // Flown elsewhere, with the overview's box and paths moved: only the taxa are shared.
    TreeNode* one = v.m_panel1.root->children.at(0);
    TreeNode* two = v.m_panel2.root->children.at(0);
    ASSERT_FALSE(one->children.empty());
    v.FlyToTaxa(one->children.back(), two->children.back());
    const std::string flown = svg(nullptr);
    EXPECT_EQ(svg(&shared), flown);
    // An overview drawn otherwise is drawn anew, and kept for the next picture.
    for (uint8_t style : {uint8_t(0), uint8_t(1)}) {
        v.m_overview.overviewStyle = style;
        const std::string alone = svg(nullptr);
        EXPECT_EQ(svg(&shared), alone) << int(style);
        EXPECT_EQ(svg(&shared), alone) << int(style);
    }
    EXPECT_EQ(svg(&shared), flown);
}

TEST_F(FigureTest, FailedExportsLeaveTheFileTheyWereToReplace) {
    // A figure that grows past what the disk takes fails halfway; the picture exported
    // before stays whole, and nothing is left beside it.
    const std::string old = "the picture exported before\n";
    for (const char* name : {"f.svg", "f.pdf", "f.png"}) dir.write(name, old);
    // Noise, which no compression makes small.
    QImage frame(300, 200, QImage::Format_RGB32);
    uint32_t seed = 12345;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            frame.setPixel(x, y, seed >> 8);
        }
    {
        const FileSizeLimit full(1024);
        QString why;
        EXPECT_FALSE(WriteVectorFigure(shown.view, path("f.svg"), FigureFormat::Svg, &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_FALSE(WriteVectorFigure(shown.view, path("f.pdf"), FigureFormat::Pdf, nullptr));
        EXPECT_FALSE(WritePngFigure(frame, path("f.png"), nullptr));
    }
    for (const char* name : {"f.svg", "f.pdf", "f.png"})
        EXPECT_EQ(readFileBytes(dir.file(name)), old) << name;
    EXPECT_EQ(fileNamesIn(dir.path()), "a.xml b.xml f.pdf f.png f.svg");

    // Done, each replaces the old file whole.
    ASSERT_TRUE(WriteVectorFigure(shown.view, path("f.svg"), FigureFormat::Svg, nullptr));
    ASSERT_TRUE(WritePngFigure(frame, path("f.png"), nullptr));
    EXPECT_TRUE(QImage(path("f.png")).convertToFormat(QImage::Format_RGB32) == frame);
    EXPECT_NE(readFileBytes(dir.file("f.svg")).find("<svg"), std::string::npos);
    EXPECT_EQ(fileNamesIn(dir.path()), "a.xml b.xml f.pdf f.png f.svg");
}

TEST(Figure, SvgOfTheChangesHasAPathPerLineWithItsKind) {
    ensureApp();
    TempDir dir;
    Shown shown;
    ASSERT_TRUE(shown.Load(dir.write("a.csv", changedChecklistA()), dir.write("b.csv", changedChecklistB())));
    ASSERT_TRUE(shown.doc.FindChangesNow());
    auto path = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
    CCladoramaView& v = shown.view;
    ASSERT_TRUE(WriteVectorFigure(v, path("plain.svg"), FigureFormat::Svg, nullptr));
    EXPECT_EQ(readFileBytes(dir.file("plain.svg")).find("<g id=\"changes\">"), std::string::npos);

    v.SetChangesShown(true);
    ASSERT_TRUE(WriteVectorFigure(v, path("c.svg"), FigureFormat::Svg, nullptr));
    ASSERT_FALSE(v.m_changesLayer.drawnLinks.empty());
    // Every line the frame draws, by its pair, in the file: a path whose class is the kind
    // and whose title names both taxa.
    QFile file(path("c.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::vector<std::pair<std::string, std::string>> paths;  // class, title
    bool inChanges = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("g") &&
            xml.attributes().value(QLatin1String("id")) == QLatin1String("changes"))
            inChanges = true;
        if (inChanges && xml.isStartElement() && xml.name() == QLatin1String("path")) {
            const std::string kind = xml.attributes().value(QLatin1String("class")).toString().toStdString();
            const std::string stroke = xml.attributes().value(QLatin1String("stroke")).toString().toStdString();
            xml.readNextStartElement();
            ASSERT_EQ(xml.name(), QLatin1String("title"));
            paths.emplace_back(kind + " " + stroke, xml.readElementText().toStdString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    size_t found = 0;
    for (const DrawnLink& d : v.m_changesLayer.drawnLinks) {
        const ChangeLink& l = v.m_changesLayer.links()[d.link];
        const std::string kind = std::string(changeShadeName(l.shade)) + " " +
                                 hex({static_cast<int>(std::lround(changeShadeColour(l.shade)[0] * 255)),
                                      static_cast<int>(std::lround(changeShadeColour(l.shade)[1] * 255)),
                                      static_cast<int>(std::lround(changeShadeColour(l.shade)[2] * 255))});
        const std::string title = std::string(changeShadeName(l.shade)) + ": " + l.node1->latinName +
                                  " to " + l.node2->latinName;
        for (const auto& p : paths)
            if (p.first == kind && p.second == title) {
                ++found;
                break;
            }
    }
    // Lines that share their ends' pixels are one path; the sample's are all apart.
    EXPECT_EQ(found, v.m_changesLayer.drawnLinks.size());
    EXPECT_EQ(paths.size(), v.m_changesLayer.drawnLinks.size());
}
