// The table importer: rank-column tables, broken tables, the two ways lines are split, two
// threads, and the two real mammal checklists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "ClassificationReader.h"
#include "Import.h"
#include "ImportInternal.h"
#include "ImportSupport.h"
#include "TestSupport.h"

namespace {

TEST(TableImport, ReadsPathsNamesAndCommonNamesAsTheRowsGiveThem) {
    TempDir dir;
    // BOM, CRLF, a quoted field holding a line break, placeholders of every kind, capitals,
    // an epithet to join, underscores, statuses, an order's own row naming its common name,
    // characters outside ISO-8859-1.
    std::string csv =
        "\xEF\xBB\xBFsciName,ORDER,Family,Tribe,genus,taxonomicStatus,mainCommonName,notes\r\n"
        "Felis_catus,CARNIVORA,FELIDAE,NA,Felis,accepted,Cat,\"two\r\nlines\"\r\n"
        "Felis_silvestris,CARNIVORA,FELIDAE,INCERTAE SEDIS,Felis,,Wild\xE2\x80\x99s  cat,x\r\n"
        "Felis_lybica,CARNIVORA,FELIDAE,-,Felis,synonym,Old,x\r\n"
        "Canis_lupus,CARNIVORA,Canidae,incertae sedis,Canis,provisionally accepted,"
        "Lo\xC3\xA9 \xC4\x8D,x\r\n"
        ",CARNIVORA,NA,NA,NA,accepted,carnivorans,x\r\n"
        "Myotis_lucifugus,CHIROPTERA,Vespertilionidae,Myotini,Myotis,ACCEPTED,,x\r\n";
    ClassificationTree t;
    ASSERT_TRUE(importFile(t, dir.write("m.csv", csv)).ok);
    EXPECT_EQ(dump(t),
              "Root|Root|m.csv\n"
              "  Carnivora|Order|carnivorans\n"
              "    Felidae|Family|\n"
              "      Felis|Genus|\n"
              "        Felis catus|Species|Cat\n"
              "        Felis silvestris|Species|Wild's cat\n"
              "    Canidae|Family|\n"
              "      Canis|Genus|\n"
              "        Canis lupus|Species|Lo\xE9 c\n"
              "  Chiroptera|Order|\n"
              "    Vespertilionidae|Family|\n"
              "      Myotini|Tribe|\n"
              "        Myotis|Genus|\n"
              "          Myotis lucifugus|Species|\n");
    EXPECT_EQ(ranks(t), "Root,Order,Family,Genus,Species,Tribe");
    EXPECT_EQ(t.color[0] + t.color[1] + t.color[2], 3 * 224);  // the made root: pale grey
    EXPECT_EQ(t.children[0]->color[2], 204);  // Order's colour (102, 153, 204)
}

TEST(TableImport, TsvRanksFromWordsAuthorshipAndListsOfCommonNames) {
    TempDir dir;
    // One top taxon is the root. No genus column: genera and species come from the words of
    // the names. A rank outside the twenty is capitalised and has no colour.
    std::string tsv =
        "Class\tmagnorder\tscientific_name\tauthorship\ttaxon_rank\tCommon names (Eng)\n"
        "Mammalia\tBOREOEUTHERIA\tPanthera leo leo L., 1758\tL., 1758\tSUBSPECIES\tBarbary lion, x\n"
        "Mammalia\tBoreoeutheria\tPanthera leo\t\tspecies\tLion\n"
        "Mammalia\t\tMagnordo\t\tmagnorder\tsomething\n";
    ClassificationTree t;
    ASSERT_TRUE(importFile(t, dir.write("m.tsv", tsv)).ok);
    EXPECT_EQ(dump(t),
              "Mammalia|Class|\n"
              "  Boreoeutheria|Magnorder|\n"
              "    Panthera|Genus|\n"
              "      Panthera leo|Species|Lion\n"
              "        Panthera leo leo|Subspecies|Barbary lion\n"
              "  Magnordo|Magnorder|something\n");
    EXPECT_EQ(t.children[0]->color[0] + t.children[0]->color[1] + t.children[0]->color[2], 0);

    // specificEpithet joined to the genus; the common-name column chosen by name, and the
    // English_name prefix otherwise.
    std::string csv =
        "Genus,specificEpithet,infraspecificEpithet,English_name_AviList,Other\n"
        "Struthio,camelus,,Common Ostrich,Ostrich\n"
        "Struthio,camelus,syriacus,Arabian Ostrich,Arab\n";
    ClassificationTree a, b;
    ASSERT_TRUE(importFile(a, dir.write("o.csv", csv)).ok);
    EXPECT_EQ(dump(a),
              "Struthio|Genus|\n"
              "  Struthio camelus|Species|Common Ostrich\n"
              "    Struthio camelus syriacus|Subspecies|Arabian Ostrich\n");
    ImportOptions o;
    o.commonNameColumn = "Other";
    ASSERT_TRUE(importFile(b, dir.file("o.csv"), o).ok);
    EXPECT_EQ(b.children[0]->commonName, std::string("Ostrich"));
    o.commonNameColumn = "Nope";
    ClassificationTree c;
    EXPECT_NE(importFile(c, dir.file("o.csv"), o).error.find("Nope"), std::string::npos);
}

TEST(TableImport, BrokenTablesFailWithOneLineAndNoTree) {
    TempDir dir;
    std::string longLine = "Order,Family\nA," + std::string(5 << 20, 'x') + "\n";
    const std::pair<const char*, std::string> cases[] = {
        {"empty.csv", ""},
        {"norank.csv", "name,notes\nFelis,x\n"},
        {"long.csv", longLine},
        {"quote.csv", "Order,Family\nA,\"open\n"},
        {"header.csv", "Order,Family\n"},
    };
    const char* expected[] = {"line 1", "line 1: no rank columns", "line 2: a record longer",
                              "quoted field", "no taxa"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        ClassificationTree t;
        Imported r = importFile(t, dir.write(cases[i].first, cases[i].second));
        EXPECT_FALSE(r.ok) << cases[i].first;
        EXPECT_NE(r.error.find(expected[i]), std::string::npos) << r.error;
    }
}

// Large tables are read in two halves on two threads: the tree and the messages must be
// those of one reading from the top, wherever the middle falls.
// Lines without quotes are split in place; whatever a line holds, the records must be
// those libcsv gives.
TEST(TableImport, LinesSplitInPlaceReadAsLibcsvReadsThem) {
    int same = 0;
    auto records = [&same](const std::string& text, bool inPlace) {
        imp::DelimitedReader reader(text.data(), text.size(), imp::sniffDialect(text.data(), text.size()), "t");
        reader.setQuiet();
        reader.splitPlainLines(inPlace);
        std::vector<std::string> header;
        EXPECT_TRUE(reader.header(header));
        reader.keepColumns({0, 1, 2, 4});
        std::string out;
        std::vector<std::string> before;
        bool ok = reader.rows([&](const imp::Row& r) {
            out += std::to_string(r.line()) + ":" + std::to_string(r.fieldCount());
            for (size_t c : {0, 1, 2, 3, 4}) out += "[" + std::string(r.field(c)) + "]";
            out += "\n";
            // A field said to repeat the record before does.
            for (size_t c : {0, 1, 2, 4})
                if (r.sameAsBefore(c)) {
                    EXPECT_EQ(r.field(c), before.at(c)) << r.line();
                    ++same;
                }
            before.clear();
            for (size_t c : {0, 1, 2, 3, 4}) before.emplace_back(r.field(c));
            return true;
        });
        return out + (ok ? "ok" : "failed");
    };
    const std::string body =
        "  Felis ,\tcatus\t, x y ,skipped,last \n"  // blanks around fields, not inside
        "\n   \t \n"                                // blank lines give no record
        "a,,b,\r\n"                                  // CRLF, empty and trailing fields
        "a\rb,c\n"                                   // a lone CR ends a record
        "q,\"x, y\",z\n"                              // quoted: libcsv's alone
        "q,\"x, y\",z\n"                              // as before, but read by libcsv
        "rep,eat,x y,1,2\nrep,eat,x y,1,3\nrep,eaten,y,1,3\nrep ,eat,y \nrep ,eat,y,\n"
        "one\n,\n,,,,,,,\n" +
        std::string(kMaxNameLength + 1, 'n') + ",too long\n";
    for (const std::string& head : {std::string("A,B,C,D,E\n"), std::string("A\tB\tC\n")}) {
        std::string text = head + body;
        if (head.find('\t') != std::string::npos)
            for (char& c : text) c = c == ',' ? '\t' : c == '\t' ? ',' : c;
        same = 0;
        const std::string inPlace = records(text, true);
        const int sameInPlace = same;
        EXPECT_EQ(inPlace, records(text, false));
        EXPECT_EQ(same, sameInPlace);  // none said to repeat when libcsv reads them
        if (head[1] == ',') {
            EXPECT_EQ(sameInPlace, 3 + 1 + 2 + 1);  // kept fields up to the first change
            EXPECT_TRUE(inPlace.starts_with("2:5[Felis][catus][x y][][last]\n")) << inPlace;
        }
        EXPECT_TRUE(inPlace.ends_with("failed")) << inPlace;  // the over-long field
    }
}

// Rows take over the taxa of the row above from its repeated cells: the same tree as when
// no cell is known to repeat.
TEST(TableImport, RowsRepeatingTheRowAboveReadAsAnyRow) {
    const std::string tables[] = {
        "Family,Genus,Species,Subspecies,taxonomicStatus\n"
        "Felidae,Panthera,leo,,accepted\nFelidae,Panthera,leo,persica,accepted\n"
        "Felidae,Panthera,leo,persica,synonym\nFelidae,Panthera,leo,melanochaita,\n"
        "Felidae,Panthera,tigris,,\nFelidae,Panthera,tigris,virgata,\nFelidae,Panthera,pardus,,\n"
        "Felidae,Panthera,NA,,\nFelidae,Felis,catus,,\nFelidae,Felis,catus,,\nFelidae,,Felis catus,,\n",
        // The species and genus are made from the subspecies's name and put before it.
        "Family,Subspecies,Genus,vernacularName\nFelidae,Felis catus ornata,,\n"
        "Felidae,Felis catus ornata,,Desert cat\n",
        // ... or before the steps the row above gave it.
        "Species,Subspecies\nFelis catus,Lybica\nFelis catus,Felis catus ornata\n",
        "Order,Family,Genus,scientificName,taxonRank,vernacularName\n"
        "Carnivora,,,Carnivora,order,Carnivores\nCarnivora,Felidae,,Felidae,family,Cats\n"
        "Carnivora,Felidae,Felis,Felis catus,species,Cat\n"
        "Carnivora,Felidae,Felis,Felis catus lybica,subspecies,\n"
        "Carnivora,Felidae,Felis,Felis,genus,\nCarnivora,Felidae,Felis,Felis silvestris,,\n"
        "Carnivora,Felidae,Felis,Felis silvestris,,\n",
        "Family,Subspecies,Genus,specificEpithet,infraspecificEpithet\n"
        "Felidae,,Felis,catus,\nFelidae,,Felis,catus,lybica\nFelidae,Felis catus ornata,,,\n"
        "Felidae,Felis catus ornata,Felis,,\nFelidae,,Felis,silvestris,\nFelidae,,Felis,silvestris,x\n",
    };
    for (const std::string& text : tables) {
        std::string plain[2];
        for (bool inPlace : {true, false}) {
            ClassificationTree t;
            testing::internal::CaptureStderr();
            bool ok = imp::importTable(t, text.data(), text.size(), "t.csv", {}, 0, SIZE_MAX,
                                       inPlace);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            plain[inPlace] = ok ? dump(t) + ranks(t) : "failed";
        }
        EXPECT_NE(plain[1], "failed");
        EXPECT_EQ(plain[1], plain[0]);
    }
    // A row of placeholders between two genera whose names are as long: the second genus
    // is no repeat of the first.
    ClassificationTree t;
    const std::string text = "Family,Genus,Species\nFelidae,Lynx,Lynx lynx\nNA,NA,NA\n"
                             "Felidae,Puma,Puma concolor\n";
    ASSERT_TRUE(importTableFromMemory(t, text.data(), text.size(), "t.csv", {}));
    EXPECT_EQ(dump(t), "Felidae|Family|\n  Lynx|Genus|\n    Lynx lynx|Species|\n  Puma|Genus|\n"
                       "    Puma concolor|Species|\n");
}

TEST(TableImport, TwoHalvesReadAsOneWhereverTheMiddleFalls) {
    auto read = [](const std::string& text, size_t twoThreadsFrom, std::string& error) {
        ClassificationTree t;
        testing::internal::CaptureStderr();
        bool ok = imp::importTable(t, text.data(), text.size(), "big.csv", {}, 0, twoThreadsFrom);
        error = testing::internal::GetCapturedStderr();
        if (!ok) return std::string("failed");
        std::string out = dump(t) + ranks(t) + "\n";
        forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
            out += std::to_string(n->level) + ":" + std::to_string(n->color[0]) + "," +
                   std::to_string(n->color[1]) + "," + std::to_string(n->color[2]) + " ";
            // Rows that share a path share its taxa, however many siblings there are.
            std::set<std::pair<std::string, std::string>> keys;
            for (const TreeNode* c : n->children)
                if (!keys.emplace(c->latinName, c->rankName).second)
                    out += std::string("twice: ") + c->latinName + "\n";
        });
        return out;
    };
    // Genera and families span the middle; a family's common name is first given after it.
    auto rows = [](int from, int to) {
        std::string s;
        for (int i = from; i < to; ++i)
            s += "Fam" + std::to_string(i / 40) + ",Gen" + std::to_string(i / 7) + ",Gen" +
                 std::to_string(i / 7) + " sp" + std::to_string(i) + "," +
                 (i % 3 ? "" : "name " + std::to_string(i)) + "\n";
        return s;
    };
    const std::string head = "Family,Genus,Species,vernacularName\n";
    const std::string family = ",,,\"Fam2's name\"\nFam2,,,family\n";
    const std::string multiLine = "Fam4,Gen20,Gen20 x,\"" + std::string(3000, '\n') + "\"\n";
    const std::string stray = "Fam0,Gen0,Gen0 y,O\"Brien\n";  // a quote that opens nothing
    // One top taxon, which becomes the root, and a subfamily column filled only after the
    // middle.
    std::string kingdom = "Kingdom,Family,Subfamily,Genus,Species,vernacularName\n";
    std::istringstream lines(rows(0, 400));
    int i = 0;
    for (std::string line; std::getline(lines, line); ++i) {
        std::string fam = line.substr(0, line.find(','));
        kingdom += "Animalia," + fam + "," + (i >= 250 ? "Sub" + fam : "") +
                   line.substr(fam.size()) + "\n";
    }
    std::string placeholders;
    for (int k = 0; k < 1500; ++k) placeholders += "NA,-,,\n";
    // Many distinct ranks, each listed once in the order first given, and met again.
    std::string manyRanks = "Genus,scientificName,taxonRank\n", rankList = "Genus";
    for (int k = 0; k < 60; ++k) {
        manyRanks += "G,G x" + std::to_string(k) + ",r" + std::to_string(k) + "\n";
        rankList += ",R" + std::to_string(k);
    }
    for (int k = 59; k >= 0; k -= 7) manyRanks += "G,G y" + std::to_string(k) + ",r" + std::to_string(k) + "\n";
    {
        std::string error;
        EXPECT_NE(read(manyRanks, SIZE_MAX, error).find("\n" + rankList + "\n"), std::string::npos);
    }
    // Genera of up to 70 species, with names that begin other names, a name under two ranks,
    // and every row given again later: siblings are found one by one while few and through
    // the index once many, and either way each taxon is made once.
    std::string wide = "Genus,scientificName,taxonRank\n", wideAgain;
    for (int k = 0; k < 160; ++k) {
        std::string g = "G" + std::to_string(k / 70);
        wide += g + "," + g + " x" + std::to_string(k % 70) + "," + (k % 5 ? "species" : "r") + "\n";
        wideAgain += g + "," + g + " x" + std::to_string(k % 70) + ",species\n";
    }
    {
        std::string error, tree = read(wide + wideAgain, SIZE_MAX, error);
        EXPECT_EQ(tree.find("twice"), std::string::npos) << tree;
        EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), 1 + 3 + 160 + 32 + 1);
    }
    // The first half ends on a taxon without children that the second half gives some: the
    // middle falls in the last line of `first`, a byte before its end.
    std::string first = rows(0, 100) + "Fam9,Gen99,,\n";
    std::string later = "Fam9,Gen99,Gen99 a,\n" + rows(400, 550);
    first = "Fam0,Gen0,Gen0 z," + std::string(later.size() + 2 - first.size() - 18, 'x') + "\n" +
            first;
    // Rows in no order of their ranks, then some of them again: once that is seen, every
    // taxon made so far and after goes into the index.
    std::string scattered;
    for (int k = 0; k < 400; ++k) scattered += rows(k * 7919 % 400, k * 7919 % 400 + 1);
    const std::string cases[] = {
        head + scattered + scattered.substr(0, scattered.size() / 3),
        manyRanks,
        wide + wideAgain,
        head + first + later,
        kingdom,
        head + rows(0, 200) + family + rows(200, 400) + rows(0, 60) + rows(100, 120),  // again
        head + placeholders + rows(0, 100),  // the first half names no taxon
        head + rows(0, 200) + family + rows(200, 400),
        head + rows(0, 100) + multiLine + rows(100, 140),      // the middle in a quoted field
        head + stray + rows(0, 100) + multiLine + rows(100, 140),  // the count of quotes misled
        head + "\r\n" + rows(0, 300),
    };
    for (const std::string& text : cases) {
        std::string oneError, twoError;
        std::string one = read(text, SIZE_MAX, oneError);
        EXPECT_NE(one, "failed") << oneError;
        EXPECT_EQ(one.find("twice"), std::string::npos) << one;
        EXPECT_EQ(read(text, 0, twoError), one);
        EXPECT_EQ(twoError, "");
    }
    // A fault after the middle is told with its line in the whole file, a fault before it
    // first.
    const std::string tooLong = "\"" + std::string(40000, 'x') + "\"";
    std::string late = head + rows(0, 3000) + "Fam9," + tooLong + ",x,\n" + rows(3000, 3100);
    std::string early = head + tooLong + ",x,x,\n" + late.substr(head.size());
    for (const std::string& text : {late, early}) {
        std::string oneError, twoError;
        EXPECT_EQ(read(text, SIZE_MAX, oneError), "failed");
        EXPECT_EQ(read(text, 0, twoError), "failed");
        EXPECT_EQ(twoError, oneError);
    }
    std::string error;
    read(late, 0, error);
    EXPECT_NE(error.find("line 3002: a field of 40000 bytes"), std::string::npos) << error;
}

// ---- The real checklists ------------------------------------------------------------------

std::string mddDir() {
    const char* env = std::getenv("CLADORAMA_MDD_DIR");
    return env ? env : sourcePath("../shared/data/mdd");
}

// Distinct values of some columns and the number of rows, straight from the CSV through
// the standard library alone: a CSV reader of its own, not the importer's.
struct Census {
    std::map<std::string, std::set<std::string>> distinct;
    size_t rows = 0;
};
Census census(const std::string& path, const std::vector<std::string>& columns) {
    std::string text = readFileBytes(path);
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') quoted = true;
        else if (c == ',') records.back().push_back(std::move(field)), field.clear();
        else if (c == '\n') {
            records.back().push_back(std::move(field));
            field.clear();
            records.emplace_back();
        } else if (c != '\r') field += c;
    }
    if (!field.empty()) records.back().push_back(field);
    if (records.back().empty()) records.pop_back();
    Census out;
    const auto& header = records[0];
    for (const std::string& col : columns) {
        size_t at = std::find(header.begin(), header.end(), col) - header.begin();
        for (size_t r = 1; r < records.size(); ++r) {
            std::string v = records[r][at];
            for (size_t k = 1; k < v.size(); ++k) v[k] = static_cast<char>(std::tolower(v[k]));
            if (v != "Na" && v != "NA" && !v.empty()) out.distinct[col].insert(v);
        }
    }
    out.rows = records.size() - 1;
    return out;
}

std::map<std::string, std::set<std::string>> namesByRank(const ClassificationTree& t) {
    std::map<std::string, std::set<std::string>> m;
    forEachNode(static_cast<const TreeNode*>(&t),
                [&](const TreeNode* n) { m[n->rankName].insert(n->latinName); });
    return m;
}

// Species -> "genus/family/order" of a tree.
std::map<std::string, std::string> placements(const ClassificationTree& t) {
    std::map<std::string, std::string> m;
    forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
        if (std::string(n->rankName) != "Species") return;
        std::map<std::string, std::string> up;
        for (const TreeNode* a = n->parent; a; a = a->parent) up[a->rankName] = a->latinName;
        m[n->latinName] = up["Genus"] + "/" + up["Family"] + "/" + up["Order"];
    });
    return m;
}

TEST(TableImport, MammalDiversityDatabaseReleasesAgreeWithTheBundledSample) {
    std::string v12 = mddDir() + "/MDD_v1.2_6485species.csv";
    std::string v113 = mddDir() + "/MDD_v1.13_6753species.csv";
    if (!std::filesystem::exists(v12) || !std::filesystem::exists(v113))
        GTEST_SKIP() << "the checklists are not at " << mddDir();
    ClassificationTree t1, t2;
    ASSERT_TRUE(importFile(t1, v12).ok);
    ASSERT_TRUE(importFile(t2, v113).ok);
    for (auto [tree, path, species] : {std::tuple{&t1, v12, 6485}, {&t2, v113, 6753}}) {
        dump(*tree);
        Census c = census(path, {"order", "family", "genus"});
        auto names = namesByRank(*tree);
        EXPECT_EQ(c.rows, static_cast<size_t>(species));
        EXPECT_EQ(names["Species"].size(), static_cast<size_t>(species));
        EXPECT_EQ(names["Order"], c.distinct["order"]);
        EXPECT_EQ(names["Family"], c.distinct["family"]);
        EXPECT_EQ(names["Genus"], c.distinct["genus"]);
        EXPECT_EQ(tree->rankName, std::string("Root"));
        EXPECT_EQ(tree->commonName, std::filesystem::path(path).filename().string());
        // Pale, so that the black labels of the orders drawn on it can be read.
        EXPECT_EQ(std::vector<int>(tree->color, tree->color + 3), (std::vector<int>{224, 224, 224}));
    }
    ConsoleCapture console;
    alignRankLevels(t1, t2);
    EXPECT_EQ(console.text(),
              "Tree 2: ranks left out (the other checklist does not use them): Subclass, "
              "Infraclass, Superorder, Subgenus, Magnorder\n");
    EXPECT_EQ(ranks(t1), ranks(t2));
    const char* samples[] = {"data/sample/classif_A_03-01-31.xml", "data/sample/classif_B_03-01-31.xml"};
    ClassificationTree* trees[] = {&t1, &t2};
    for (int i = 0; i < 2; ++i) {
        dump(*trees[i]);
        ClassificationTree sample;
        ASSERT_EQ(readClassification(sample, sourcePath(samples[i]).c_str()), 1);
        EXPECT_EQ(placements(*trees[i]), placements(sample)) << samples[i];
    }
}

}  // namespace
