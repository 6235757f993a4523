// The change report's page: text as HTML needs it, the changes grouped by kind, the rows
// summed up past the limit, the pictures, and a page written whole or not at all.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "ChangeReport.h"
#include "CladoramaDoc.h"
#include "TestSupport.h"

// Fontconfig, which Qt asks for the pictures' fonts, keeps a block of its configuration to
// the end of the process where the leak checker sees it unowned.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// One application for the whole program, never destroyed: Qt's own statics would be gone
// before it at exit.
void ensureApp() {
    static QGuiApplication* app = nullptr;
    if (app) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "report_test";
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

// Felis split (lybica into a genus of its own), Cuon lumped into Canis, Herpestes renamed
// to a name with a letter beyond ASCII, Viverridae renamed to a name with the characters of
// markup, Puma new.
void writePair(const TempDir& dir) {
    dir.write("a.csv",
              "Family,Genus,sciName\n"
              "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
              "Felidae,Felis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\n"
              "Canidae,Canis,Canis_lupus\nCanidae,Cuon,Cuon_alpinus\n"
              "Viverridae,Genetta,Genetta_genetta\nHerpestidae,Herpestes,Herpestes_edwardsii\n");
    dir.write("b.csv",
              "Family,Genus,sciName\n"
              "Felidae,Felis,Felis_catus\nFelidae,Felis,Felis_silvestris\n"
              "Felidae,Afrofelis,Felis_lybica\nFelidae,Lynx,Lynx_lynx\nFelidae,Puma,Puma_concolor\n"
              "Canidae,Canis,Canis_lupus\nCanidae,Canis,Cuon_alpinus\n"
              "Viverr<i>dae&co,Genetta,Genetta_genetta\n"
              "Herpestidae,\xC3\x9Crva,Herpestes_edwardsii\n");
}

struct Loaded {
    TempDir dir;
    Quiet framework;
    CCladoramaDoc doc{&framework};
    Loaded() {
        writePair(dir);
        EXPECT_TRUE(doc.ReloadTrees(dir.file("a.csv"), dir.file("b.csv")));
        EXPECT_TRUE(doc.FindChangesNow());
    }
};

// The rows of each kind's table: kind slug -> the rows' cells (markup as written).
std::map<std::string, std::vector<std::vector<std::string>>> tablesOf(const std::string& page) {
    std::map<std::string, std::vector<std::vector<std::string>>> out;
    const std::regex section("<section class=\"kind\" id=\"kind-([a-z0-9-]+)\"[^]*?</section>");
    const std::regex row("<tr[^>]*>((?:<td[^>]*>[^]*?</td>)+)</tr>");
    const std::regex cell("<td[^>]*>([^]*?)</td>");
    for (auto s = std::sregex_iterator(page.begin(), page.end(), section); s != std::sregex_iterator(); ++s) {
        auto& rows = out[(*s)[1]];
        const std::string body = (*s)[0];
        for (auto r = std::sregex_iterator(body.begin(), body.end(), row); r != std::sregex_iterator(); ++r) {
            const std::string cells = (*r)[1];
            std::vector<std::string> texts;
            for (auto c = std::sregex_iterator(cells.begin(), cells.end(), cell); c != std::sregex_iterator(); ++c)
                texts.push_back((*c)[1]);
            rows.push_back(texts);
        }
    }
    return out;
}

bool validUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (!n || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

}  // namespace

TEST(ReportText, EscapesMarkupAndWritesUtf8) {
    std::string out;
    appendHtmlLatin1(out, "a<b>&\"c\"'d'");
    EXPECT_EQ(out, "a&lt;b&gt;&amp;&quot;c&quot;&#39;d&#39;");
    // ISO-8859-1 letters become two bytes of UTF-8; control characters, C1 included, become
    // U+FFFD; tabs and line breaks stay.
    out.clear();
    appendHtmlLatin1(out, std::string("M\xFCller \xE9\t\n\x01\x85", 12));
    EXPECT_EQ(out, "M\xC3\xBCller \xC3\xA9\t\n\xEF\xBF\xBD\xEF\xBF\xBD");
    out.clear();
    appendHtmlUtf8(out, "\xC3\xBC<\xE2\x80\x99>\xF0\x9F\x90\x88&\xC3");
    EXPECT_EQ(out, "\xC3\xBC&lt;\xE2\x80\x99&gt;\xF0\x9F\x90\x88&amp;\xEF\xBF\xBD");
}

TEST(ReportPage, EveryChangeIsARowOfItsKindWithTheSpeciesASplitOrLumpMoved) {
    Loaded pair;
    ReportOptions options;
    options.sides[0].file = "a.csv";
    options.sides[1].file = "b.csv";
    const std::string page = changeReportHtml(pair.doc, options, {});
    const auto tables = tablesOf(page);

    size_t rows = 0;
    std::array<int, kChangeRowKinds> counts{};
    for (const ChangeRow& r : pair.doc.m_changes.rows()) ++counts[static_cast<int>(r.kind)];
    for (int k = 0; k < kChangeRowKinds; ++k) {
        const auto kind = static_cast<ChangeRowKind>(k);
        std::string slug = changeRowKindName(kind);
        std::replace(slug.begin(), slug.end(), ' ', '-');
        const auto it = tables.find(slug);
        if (!counts[k]) {
            EXPECT_EQ(it, tables.end()) << slug;
            continue;
        }
        ASSERT_NE(it, tables.end()) << slug;
        EXPECT_EQ(it->second.size(), static_cast<size_t>(counts[k])) << slug;
        for (const auto& cells : it->second) {
            ASSERT_EQ(cells.size(), 6u);
            EXPECT_EQ(cells[0], changeRowKindName(kind));
        }
        rows += it->second.size();
    }
    EXPECT_EQ(rows, pair.doc.m_changes.rows().size());
    EXPECT_GT(rows, 10u);

    // The split of Felis lists the species that went to Afrofelis; the lump of Cuon the
    // species Canis took in.
    bool felis = false, cuon = false;
    for (const auto& cells : tables.at("split"))
        if (cells[2] == "Felis" && cells[3] == "Afrofelis") {
            felis = true;
            EXPECT_NE(cells[4].find("1 species moved</summary>Felis lybica</details>"), std::string::npos)
                << cells[4];
        }
    for (const auto& cells : tables.at("lumped"))
        if (cells[2] == "Cuon" && cells[3] == "Canis") {
            cuon = true;
            EXPECT_NE(cells[4].find("moved</summary>Cuon alpinus<"), std::string::npos) << cells[4];
        }
    EXPECT_TRUE(felis);
    EXPECT_TRUE(cuon);

    // The counts: both classifications by rank, and the verdicts of the genera.
    EXPECT_NE(page.find("<tr><td>Species</td><td>8</td><td>9</td></tr>"), std::string::npos);
    EXPECT_NE(page.find("<tr><td>Genus</td><td>2</td><td>1</td><td>1</td><td>2</td><td>0</td>"
                        "<td>0</td><td>1</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr class=\"total\"><td>total</td><td>2</td><td>0</td><td>0</td>"
                        "<td>3</td><td>5</td><td>10</td></tr>"),
              std::string::npos);
}

TEST(ReportPage, NamesAndTitleAreEscapedUtf8) {
    Loaded pair;
    ReportOptions options;
    options.title = "<script>alert(1)</script> & \xC3\xBC";
    options.sides[0].file = "a&b.csv";
    options.sides[1].file = "b.csv";
    options.date = "2024-07-01";
    const std::string page = changeReportHtml(pair.doc, options, {});
    EXPECT_TRUE(validUtf8(page));
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_NE(page.find("<title>&lt;script&gt;alert(1)&lt;/script&gt; &amp; \xC3\xBC</title>"),
              std::string::npos);
    EXPECT_NE(page.find("a&amp;b.csv"), std::string::npos);
    EXPECT_NE(page.find("2024-07-01"), std::string::npos);
    // The genus stored as ISO-8859-1 reaches the page as UTF-8, and the family with the
    // characters of markup as text.
    EXPECT_NE(page.find("<td>Herpestes</td><td>\xC3\x9Crva</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>Viverridae</td><td>Viverr&lt;i&gt;dae&amp;co</td>"), std::string::npos);
    EXPECT_EQ(page.find("Viverr<i>"), std::string::npos);
    // Only the page's own script.
    size_t scripts = 0;
    for (size_t at = page.find("<script"); at != std::string::npos; at = page.find("<script", at + 1))
        ++scripts;
    EXPECT_EQ(scripts, 1u);
}

TEST(ReportPage, PastTheLimitTheRowsAreSummedUpByFamily) {
    Loaded pair;
    ReportOptions options;
    const size_t all = pair.doc.m_changes.rows().size();
    options.rowLimit = all;
    EXPECT_EQ(changeReportHtml(pair.doc, options, {}).find("id=\"summed\""), std::string::npos);

    options.rowLimit = all - 1;
    const std::string page = changeReportHtml(pair.doc, options, {});
    EXPECT_NE(page.find("id=\"summed\""), std::string::npos);
    EXPECT_NE(page.find("The TSV export of the changes holds them all"), std::string::npos);
    // Per kind, the rows within one family (the family's own included) are one row that
    // counts them. Nothing is lost.
    std::map<std::string, int> expected;  // "kind|family" -> rows
    for (const ChangeRow& r : pair.doc.m_changes.rows()) {
        const TreeNode* family = r.pathOf;
        while (family && std::string(family->rankName) != "Family") family = family->parent;
        ASSERT_NE(family, nullptr);
        ++expected[std::string(changeRowKindName(r.kind)) + "|" + family->latinName];
    }
    // The families' names as the page writes them.
    expected = [&] {
        std::map<std::string, int> escaped;
        for (const auto& [key, n] : expected) {
            std::string text;
            appendHtmlLatin1(text, key);
            escaped[text] += n;
        }
        return escaped;
    }();
    std::map<std::string, int> found;
    for (const auto& [slug, rows] : tablesOf(page))
        for (const auto& cells : rows) {
            ASSERT_EQ(cells[1], "Family") << cells[2];
            const int n = std::stoi(cells[4]);
            EXPECT_NE(cells[4].find(n == 1 ? " change" : " changes"), std::string::npos);
            found[cells[0] + "|" + cells[2]] += n;
        }
    EXPECT_EQ(found, expected);
    EXPECT_LT(found.size(), all);
}

TEST(ReportPage, TheTaxaPicturedAreThoseWithMostChanges) {
    Loaded pair;
    // Four families below the root, fewer than ten: the genera one level further down, by
    // their changes. Felis: lybica moved, split twice; Cuon: alpinus moved, removed, lumped;
    // Puma: added with its species, only in tree 2. Canis: lumped.
    auto names = [](const std::vector<PicturedTaxon>& taxa) {
        std::vector<std::string> out;
        for (const PicturedTaxon& t : taxa) out.push_back(t.name);
        return out;
    };
    const std::vector<PicturedTaxon> taxa = taxaWithMostChanges(pair.doc.m_changes, 10);
    ASSERT_GE(taxa.size(), 5u);
    std::vector<std::string> first = names({taxa.begin(), taxa.begin() + 3});
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string>{"Cuon", "Felis", "Puma"}));
    // Each with its taxa in the two trees, where they are: Puma in tree 2 alone.
    for (const PicturedTaxon& t : taxa) {
        for (const TreeNode* n : {t.node1, t.node2}) {
            if (n) {
                EXPECT_EQ(t.name, n->latinName);
            }
        }
        const TreeNode* root1 = t.node1;
        while (root1 && root1->parent) root1 = root1->parent;
        EXPECT_TRUE(!t.node1 || root1 == &pair.doc.m_tree1) << t.name;
        EXPECT_TRUE(t.name != "Puma" || !t.node1);
        EXPECT_TRUE(t.name != "Felis" || (t.node1 && t.node2));
    }
    // Where as many as asked for hold changes one level below the root, those.
    EXPECT_EQ(names(taxaWithMostChanges(pair.doc.m_changes, 2)),
              (std::vector<std::string>{"Felidae", "Canidae"}));
}

TEST(ReportFile, WrittenWholeWithItsPicturesOrNotAtAll) {
    ensureApp();
    Loaded pair;
    ReportOptions options;
    std::string why;
    const std::string path = pair.dir.file("report.html");
    ASSERT_TRUE(writeChangeReport(pair.doc, path, options, why)) << why;
    const std::string page = readFileBytes(path);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("</html>\n"), std::string::npos);
    size_t figures = 0;
    for (size_t at = page.find("src=\"data:image/svg+xml;base64,"); at != std::string::npos;
         at = page.find("src=\"data:image/svg+xml;base64,", at + 1))
        ++figures;
    EXPECT_EQ(figures, 1 + taxaWithMostChanges(pair.doc.m_changes).size());

    // A disk that fills halfway: the old page stays as it was, and nothing is left beside it.
    const std::string names = fileNamesIn(pair.dir.path());
    {
        FileSizeLimit limit(page.size() / 2);
        EXPECT_FALSE(writeChangeReport(pair.doc, path, options, why));
    }
    EXPECT_NE(why.find(path), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos);
    EXPECT_TRUE(readFileBytes(path) == page) << "the old page was changed";
    EXPECT_EQ(fileNamesIn(pair.dir.path()), names);
    // A folder that is not there: no file.
    EXPECT_FALSE(writeChangeReport(pair.doc, pair.dir.file("none/report.html"), options, why));
    EXPECT_EQ(fileNamesIn(pair.dir.path()), names);
}
