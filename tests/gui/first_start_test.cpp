// A first start without tree files, on one file, or taking a picture unattended: the
// window says what to do, asks for what is missing, and never waits for a click nobody
// can give.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "GuiFixture.h"
#include "WelcomePage.h"

namespace fs = std::filesystem;

namespace {

const char kTableA[] =
    "Order,Family,Genus,Species\n"
    "Carnivora,Felidae,Felis,Felis catus\n"
    "Carnivora,Canidae,Canis,Canis lupus\n";
const char kTableB[] =
    "Order,Family,Genus,Species\n"
    "Carnivora,Felidae,Felis,Felis catus\n"
    "Carnivora,Hyaenidae,Hyaena,Hyaena hyaena\n";

// Answers the file dialogs as they open, one path each, with a click on Open; records
// their captions.
struct FileDialogAnswers {
    QStringList paths;
    QStringList captions;
    QTimer timer;
    explicit FileDialogAnswers(QStringList answers) : paths(std::move(answers)) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dlg = qobject_cast<QFileDialog*>(w);
                if (!dlg || !dlg->isVisible() || dlg->property("answered").toBool() ||
                    paths.isEmpty())
                    continue;
                // Answered once it has been up for a tick: laid out and taking input.
                if (!dlg->property("seen").toBool()) {
                    dlg->setProperty("seen", true);
                    continue;
                }
                dlg->setProperty("answered", true);
                captions << dlg->windowTitle();
                // The path goes into the name box, and the dialog is accepted as Enter
                // there would (typed keys and clicks are taken by the box's completion
                // popup first).
                auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name) name->setText(paths.takeFirst());
                QMetaObject::invokeMethod(dlg, "accept");
            }
        });
        timer.start(50);
    }
};

// The current folder is an empty one while this lives: no T1.jm2, no T2.jm2.
struct InEmptyFolder {
    TempDir dir;
    QString previous = QDir::currentPath();
    InEmptyFolder() { QDir::setCurrent(QString::fromStdString(dir.path().string())); }
    ~InEmptyFolder() { QDir::setCurrent(previous); }
};

bool hasNonBlack(const QImage& img) {
    for (int y = 0; y < img.height(); y += 5)
        for (int x = 0; x < img.width(); x += 5)
            if ((img.pixel(x, y) & 0xffffff) != 0) return true;
    return false;
}

}  // namespace

TEST(FirstStart, WithoutTreeFilesTheWindowSaysHowToOpenTwoChecklistsAndOffersRecentPairs) {
    TempDir files;
    const QString a = QString::fromStdString(files.write("a.csv", kTableA));
    const QString b = QString::fromStdString(files.write("b.csv", kTableB));
    InEmptyFolder empty;
    {
        ConsoleCapture console;
        RunningApp r(true);
        ASSERT_TRUE(r.started);
        // The start-up lines are printed as always, the failure line last.
        EXPECT_EQ(console.text(),
                  "Load trees from binary files.... \nTree 1 loading.... \n"
                  "Reading binary tree file T1.jm2 has been failed!\n");
        CMainFrame* frame = r.app->MainFrame();
        ASSERT_TRUE(frame->WelcomeShown());
        CWelcomePage* page = frame->WelcomePage();
        ASSERT_TRUE(page->isVisible());
        EXPECT_FALSE(frame->ViewContainer()->isVisible());
        maybeSave(frame->grab().toImage(), "gui-welcome");

        // Its button opens the two dialogs of File > Open.
        MessageBoxCatcher catcher;
        FileDialogAnswers answers({a, b});
        QTest::mouseClick(page->m_btnOpen, Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return r.view().TreesLoaded(); }));
        EXPECT_TRUE(answers.paths.isEmpty());
        ASSERT_TRUE(waitFor([&] { return !catcher.texts.empty(); }));
        EXPECT_EQ(catcher.texts, std::vector<std::string>{"Tree Loaded!"});
        EXPECT_FALSE(frame->WelcomeShown());
        EXPECT_TRUE(waitFor([&] { return r.window().isExposed(); }));
        EXPECT_TRUE(hasNonBlack(r.frame()));
    }
    // Started again where there are no tree files, it offers that pair first.
    ConsoleCapture quiet;
    RunningApp r(true);
    ASSERT_TRUE(r.app->MainFrame()->WelcomeShown());
    const QList<QPushButton*>& recent = r.app->MainFrame()->WelcomePage()->m_recentButtons;
    ASSERT_FALSE(recent.isEmpty());
    EXPECT_EQ(recent.front()->text(), QStringLiteral("a.csv  +  b.csv"));
    EXPECT_TRUE(recent.front()->isVisible());
    MessageBoxCatcher catcher;
    QTest::mouseClick(recent.front(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return r.view().TreesLoaded(); }));
    EXPECT_STREQ(r.doc().m_tree1.latinName, "Carnivora");
    EXPECT_FALSE(r.app->MainFrame()->WelcomeShown());
}

TEST(FirstStart, OneFileGivenAsksForTheSecondAndComparesThem) {
    TempDir files;
    const QString a = QString::fromStdString(files.write("a.csv", kTableA));
    const QString b = QString::fromStdString(files.write("b.csv", kTableB));
    InEmptyFolder empty;
    MessageBoxCatcher catcher;
    FileDialogAnswers answers({b});
    ConsoleCapture quiet;
    RunningApp r(true, {QStringLiteral("cladorama"), QStringLiteral("--no-console"), a});
    ASSERT_TRUE(r.started);
    ASSERT_TRUE(waitFor([&] { return r.view().TreesLoaded(); }));
    EXPECT_EQ(answers.captions, QStringList{QStringLiteral("Compare a.csv with")});
    // The first file is tree 1, the chosen one tree 2.
    const ClassificationTree& t1 = r.doc().m_tree1;
    bool canidaeOnlyIn1 = false, hyaenidaeOnlyIn2 = false;
    for (const TreeNode* k : t1.children) {
        canidaeOnlyIn1 |= std::string(k->latinName) == "Canidae" && k->onlyInTree == 1;
        hyaenidaeOnlyIn2 |= std::string(k->latinName) == "Hyaenidae" && k->onlyInTree == 2;
    }
    EXPECT_TRUE(canidaeOnlyIn1);
    EXPECT_TRUE(hyaenidaeOnlyIn2);
    EXPECT_EQ(r.app->MainFrame()->RecentFiles().front(), a + QLatin1Char('\n') + b);
    EXPECT_FALSE(r.app->MainFrame()->WelcomeShown());
    EXPECT_TRUE(catcher.texts.empty());
}

TEST(FirstStart, AGtdbFileChosenWithItsOtherDomainBesideReadsTheWholeRelease) {
    TempDir files;
    const char* const coli = "RS_GCF_1\td__Bacteria;p__Pseudomonadota;c__Gammaproteobacteria;"
                             "o__Enterobacterales;f__Enterobacteriaceae;g__Escherichia;"
                             "s__Escherichia coli\n";
    const QString first = QString::fromStdString(files.write("bac120_taxonomy_r214.tsv", coli));
    fs::create_directories(files.path() / "r220");
    const QString second =
        QString::fromStdString(files.write("r220/bac120_taxonomy_r220.tsv", coli));
    files.write("r220/ar53_taxonomy_r220.tsv",
                "RS_GCF_2\td__Archaea;p__Thermoproteota;c__Thermoprotei;o__Sulfolobales;"
                "f__Sulfolobaceae;g__Sulfolobus;s__Sulfolobus acidocaldarius\n");
    InEmptyFolder empty;
    MessageBoxCatcher catcher;  // takes the offered answer: both
    FileDialogAnswers answers({second});
    ConsoleCapture quiet;
    RunningApp r(true, {QStringLiteral("cladorama"), QStringLiteral("--no-console"), first});
    ASSERT_TRUE(r.started);
    ASSERT_TRUE(waitFor([&] { return r.view().TreesLoaded(); }));
    ASSERT_EQ(catcher.texts.size(), 1u);
    EXPECT_EQ(catcher.texts[0],
              "ar53_taxonomy_r220.tsv, the other domain of this GTDB release, lies beside it.\n"
              "Read both as one classification?");
    // Tree 2 is the release's folder: the archaea are only in it.
    bool archaeaOnlyIn2 = false;
    forEachNode(static_cast<const TreeNode*>(&r.doc().m_tree1), [&](const TreeNode* n) {
        archaeaOnlyIn2 |= std::string(n->latinName) == "Archaea" && n->onlyInTree == 2;
    });
    EXPECT_TRUE(archaeaOnlyIn2);
    EXPECT_EQ(r.app->MainFrame()->RecentFiles().front(),
              first + QLatin1Char('\n') + QFileInfo(second).absolutePath());
}

namespace {

struct ViewerRun {
    int status = -1;
    QString err;
    bool finished = false;
};

// The real viewer, unattended, taking a picture.
ViewerRun runViewer(const TempDir& dir, const QString& picture, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLADORAMA_SCREENSHOT"), picture);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CLADORAMA_BINARY_DIR "/app/cladorama"), args);
    ViewerRun r;
    r.finished = p.waitForFinished(30000);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

}  // namespace

TEST(FirstStart, APictureTakenUnattendedNeverWaitsAndItsStatusTellsWhatFailed) {
    TempDir dir;
    dir.write("a.csv", kTableA);
    dir.write("b.csv", kTableB);
    dir.write("bad.csv", "just,a,header\n");

    // A file that cannot be read: told on standard error, the window pictured as it is
    // (saying how to open two checklists), status 1. The name is the started folder's.
    ViewerRun bad = runViewer(dir, QStringLiteral("shot.png"),
                              {QStringLiteral("--no-console"), QStringLiteral("bad.csv"),
                               QStringLiteral("b.csv")});
    ASSERT_TRUE(bad.finished) << "waited for a click";
    EXPECT_EQ(bad.status, 1) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(QStringLiteral("Reading table bad.csv has been failed!")))
        << bad.err.toStdString();
    QImage shot(QString::fromStdString(dir.file("shot.png")));
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(shot.width(), 400);
    EXPECT_TRUE(hasNonBlack(shot));

    // One file: nobody to ask for the second.
    ViewerRun one = runViewer(dir, QStringLiteral("one.png"),
                              {QStringLiteral("--no-console"), QStringLiteral("a.csv")});
    ASSERT_TRUE(one.finished) << "waited for a file to be chosen";
    EXPECT_EQ(one.status, 1);
    EXPECT_TRUE(fs::exists(dir.file("one.png")));

    // A picture that cannot be written is an error.
    ViewerRun nowhere = runViewer(dir, QStringLiteral("/nonexistent/dir/x.png"),
                                  {QStringLiteral("--no-console"), QStringLiteral("a.csv"),
                                   QStringLiteral("b.csv")});
    ASSERT_TRUE(nowhere.finished);
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_TRUE(nowhere.err.contains(QStringLiteral("/nonexistent/dir/x.png"))) << nowhere.err.toStdString();

    // And all is well: status 0.
    ViewerRun good = runViewer(dir, QStringLiteral("good.png"),
                               {QStringLiteral("--no-console"), QStringLiteral("a.csv"),
                                QStringLiteral("b.csv")});
    ASSERT_TRUE(good.finished);
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_TRUE(fs::exists(dir.file("good.png")));
}
