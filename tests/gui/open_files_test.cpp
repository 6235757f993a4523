// Two files named on the viewer's command line are compared instead of the start-up pair;
// a file that cannot be read is named and the viewer still opens.
#include <gtest/gtest.h>

#include "GuiFixture.h"

namespace {

const char kTableA[] =
    "Order,Family,Genus,Species\n"
    "Carnivora,Felidae,Felis,Felis catus\n"
    "Carnivora,Canidae,Canis,Canis lupus\n";
const char kTableB[] =
    "Order,Family,Genus,Species\n"
    "Carnivora,Felidae,Felis,Felis catus\n"
    "Carnivora,Hyaenidae,Hyaena,Hyaena hyaena\n";

const TreeNode* child(const TreeNode* n, const char* latin) {
    for (const TreeNode* k : n->children)
        if (std::string(k->latinName) == latin) return k;
    return nullptr;
}

}  // namespace

TEST(OpenFiles, TwoTablesAreComparedAndAnUnreadableFileIsNamed) {
    TempDir dir;
    const QString a = QString::fromStdString(dir.write("a.csv", kTableA));
    const QString b = QString::fromStdString(dir.write("b.csv", kTableB));
    {
        ConsoleCapture quiet;
        RunningApp r(true, {QStringLiteral("cladorama"), QStringLiteral("--no-console"), a, b});
        ASSERT_TRUE(r.started);
        ASSERT_TRUE(r.view().TreesLoaded());
        const ClassificationTree& t1 = r.doc().m_tree1;
        EXPECT_STREQ(t1.latinName, "Carnivora");
        ASSERT_TRUE(child(&t1, "Canidae") && child(&t1, "Hyaenidae"));
        EXPECT_EQ(child(&t1, "Canidae")->onlyInTree, 1);
        EXPECT_EQ(child(&t1, "Hyaenidae")->onlyInTree, 2);  // grafted from b
        EXPECT_EQ(child(&t1, "Felidae")->onlyInTree, 0);
        EXPECT_EQ(r.app->MainFrame()->RecentFiles().front(), a + QLatin1Char('\n') + b);
        const QImage img = r.frame();
        EXPECT_NE(rgbText(pixelAt(img, -0.275, 0.2)), rgbText(0, 0, 0));  // a picture
    }
    MessageBoxCatcher catcher;
    ConsoleCapture quiet;
    const QString missing = QString::fromStdString(dir.file("missing.csv"));
    RunningApp r(true, {QStringLiteral("cladorama"), QStringLiteral("--no-console"), a, missing});
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.view().TreesLoaded());
    ASSERT_EQ(catcher.texts.size(), 1u);
    // The reader's own line follows, naming the file again.
    const std::string head = "Reading table " + missing.toStdString() + " has been failed!\n";
    EXPECT_EQ(catcher.texts[0].rfind(head, 0), 0u) << catcher.texts[0];
    EXPECT_NE(catcher.texts[0].find(missing.toStdString(), head.size()), std::string::npos);
}
