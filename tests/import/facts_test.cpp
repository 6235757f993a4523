// The facts of taxa the importers give when asked: identifiers, authorship and synonyms, from
// tables, Darwin Core Archives and ColDP packages, tied to the nodes of the tree read.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "Facts.h"
#include "Import.h"
#include "ImportInternal.h"
#include "TestSupport.h"

namespace {

const TreeNode* named(const ClassificationTree& t, const char* latin) {
    const TreeNode* found = nullptr;
    forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
        if (!std::strcmp(n->latinName, latin)) found = n;
    });
    return found;
}

// "name: id | authorship" per node with facts, then "name = synonym (authorship)" lines.
std::string facts(const ClassificationTree& t, const TaxonFacts& f) {
    std::map<std::string, std::string> lines;
    forEachNode(static_cast<const TreeNode*>(&t), [&](const TreeNode* n) {
        const char* id = f.id(n);
        const char* a = f.authorship(n);
        if (id || a)
            lines[n->latinName] += std::string(n->latinName) + ": " + (id ? id : "") + " | " +
                                   (a ? a : "") + "\n";
    });
    for (const TaxonFacts::Synonym& s : f.synonyms())
        lines[s.accepted->latinName] += std::string(s.accepted->latinName) + " = " + s.name +
                                        " (" + s.authorship + ")\n";
    std::string out;
    for (const auto& [name, text] : lines) out += text;
    return out;
}

const char* const kTable =
    "taxonID,family,genus,scientificName,scientificNameAuthorship,taxonomicStatus,"
    "acceptedNameUsageID,acceptedNameUsage\n"
    "t1,Felidae,Felis,Felis catus Linnaeus 1758,Linnaeus 1758,accepted,,\n"
    "t2,Felidae,Otocolobus,Otocolobus manul,\"(Pallas, 1776)\",accepted,,\n"
    "t3,Felidae,Felis,Felis manul,Pallas,synonym,t2,\n"
    "t4,Felidae,Felis,Felis domesticus,Erxleben,heterotypic synonym,,Felis catus\n"
    "t5,Felidae,Felis,Felis lybica,,misapplied,t1,\n";

}  // namespace

TEST(ImportFacts, TableIdentifiersAuthorshipAndSynonymsByIdentifierOrName) {
    TaxonFacts f;
    ImportOptions options;
    options.facts = &f;
    ClassificationTree t;
    ASSERT_TRUE(importTableFromMemory(t, kTable, std::strlen(kTable), "t.csv", options));
    EXPECT_EQ(facts(t, f),
              "Felis catus: t1 | Linnaeus 1758\n"
              "Felis catus = Felis domesticus (Erxleben)\n"
              "Otocolobus manul: t2 | (Pallas, 1776)\n"
              "Otocolobus manul = Felis manul (Pallas)\n");
    // Not asked, nothing given; the tree is the same.
    ClassificationTree plain;
    ASSERT_TRUE(importTableFromMemory(plain, kTable, std::strlen(kTable), "t.csv"));
    EXPECT_EQ(plain.nodeCount, t.nodeCount);

    // Columns named on the command line: identifiers, and an author and a year read as one.
    const std::string mdd =
        "sciName,id,family,genus,author,year\n"
        "Felis_catus,100,FELIDAE,Felis,C. Linnaeus,1758\n"
        "Felis_manul,101,FELIDAE,Felis,P. S. Pallas,1776\n";
    options.idColumn = "id";
    options.authorshipColumn = "author,year";
    ClassificationTree m;
    ASSERT_TRUE(importTableFromMemory(m, mdd.data(), mdd.size(), "m.csv", options));
    EXPECT_EQ(facts(m, f), "Felis catus: 100 | C. Linnaeus, 1758\n"
                           "Felis manul: 101 | P. S. Pallas, 1776\n");
    // The Mammal Diversity Database's own author and year columns need no naming.
    const std::string published =
        "sciName,id,family,genus,authoritySpeciesAuthor,authoritySpeciesYear\n"
        "Felis_catus,100,FELIDAE,Felis,C. Linnaeus,1758\n";
    ImportOptions plainOptions;
    plainOptions.facts = &f;
    ClassificationTree pub;
    ASSERT_TRUE(importTableFromMemory(pub, published.data(), published.size(), "p.csv", plainOptions));
    EXPECT_EQ(facts(pub, f), "Felis catus: 100 | C. Linnaeus, 1758\n");
    plainOptions.authorshipColumn = "authoritySpeciesAuthor";  // the option still decides
    ClassificationTree named;
    ASSERT_TRUE(importTableFromMemory(named, published.data(), published.size(), "p.csv", plainOptions));
    EXPECT_EQ(facts(named, f), "Felis catus: 100 | C. Linnaeus\n");

    options.idColumn = "MDD_id";
    ClassificationTree missing;
    EXPECT_FALSE(importTableFromMemory(missing, mdd.data(), mdd.size(), "m.csv", options));
    EXPECT_TRUE(f.empty());
}

TEST(ImportFacts, ATableCellListingNominalNamesGivesEachAsASynonym) {
    const std::string text =
        "sciName,family,genus,nominalNames\n"
        "Tachyglossus_bruijnii,Tachyglossidae,Zaglossus,"
        "\"bruijnii (Peters & Doria, 1876)| nigro-aculeatus (W. Rothschild, 1892) [preoccupied]|"
        "Tachyglossus_goodfellowi Thomas, 1907;Zaglossus (Prozaglossus) bartoni Thomas;"
        "Zaglossus Gill;NA; 1907\"\n";
    TaxonFacts f;
    ImportOptions options;
    options.facts = &f;
    ClassificationTree t;
    ASSERT_TRUE(importTableFromMemory(t, text.data(), text.size(), "t.csv", options));
    EXPECT_EQ(facts(t, f),
              "Tachyglossus bruijnii = bruijnii (Peters & Doria, 1876)\n"
              "Tachyglossus bruijnii = nigro-aculeatus (W. Rothschild, 1892)\n"
              "Tachyglossus bruijnii = Tachyglossus goodfellowi (Thomas, 1907)\n"
              "Tachyglossus bruijnii = Zaglossus bartoni (Thomas)\n");
}

TEST(ImportFacts, TwoHalvesOfATableGiveTheFactsOfBoth) {
    std::string text = "taxonID,order,family,genus,species\n";
    for (int i = 0; i < 4000; ++i)
        text += "id" + std::to_string(i) + ",O" + std::to_string(i / 1000) + ",F" +
                std::to_string(i / 100) + ",G" + std::to_string(i / 10) + ",s" +
                std::to_string(i) + "\n";
    TaxonFacts f;
    ImportOptions options;
    options.facts = &f;
    ClassificationTree t;
    {
        imp::FactsScope scope(t, options);
        ASSERT_TRUE(scope.finish(imp::importTable(t, text.data(), text.size(), "big.csv", options,
                                                  0, text.size() / 3)));
    }
    EXPECT_EQ(f.size(), 4000u);
    for (int i : {0, 1999, 2000, 3999}) {
        const std::string name = "G" + std::to_string(i / 10) + " s" + std::to_string(i);
        const TreeNode* n = named(t, name.c_str());
        ASSERT_TRUE(n) << name;
        ASSERT_TRUE(f.id(n)) << name;
        EXPECT_EQ(std::string(f.id(n)), "id" + std::to_string(i));
    }
}

TEST(ImportFacts, DarwinCoreAndColDPIdentifiersAuthorshipAndSynonyms) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "dwca");
    dir.write("dwca/meta.xml",
              "<?xml version=\"1.0\"?>\n<archive xmlns=\"http://rs.tdwg.org/dwc/text/\">\n"
              " <core fieldsTerminatedBy=\"\\t\" fieldsEnclosedBy=\"\" ignoreHeaderLines=\"1\" "
              "rowType=\"http://rs.tdwg.org/dwc/terms/Taxon\">\n"
              "  <files><location>Taxon.txt</location></files><id index=\"0\"/>\n"
              "  <field index=\"1\" term=\"http://rs.tdwg.org/dwc/terms/parentNameUsageID\"/>\n"
              "  <field index=\"2\" term=\"http://rs.tdwg.org/dwc/terms/acceptedNameUsageID\"/>\n"
              "  <field index=\"3\" term=\"http://rs.tdwg.org/dwc/terms/scientificName\"/>\n"
              "  <field index=\"4\" term=\"http://rs.tdwg.org/dwc/terms/scientificNameAuthorship\"/>\n"
              "  <field index=\"5\" term=\"http://rs.tdwg.org/dwc/terms/taxonRank\"/>\n"
              "  <field index=\"6\" term=\"http://rs.tdwg.org/dwc/terms/taxonomicStatus\"/>\n"
              " </core>\n</archive>\n");
    dir.write("dwca/Taxon.txt",
              "id\tparent\taccepted\tsci\tauthor\trank\tstatus\n"
              "1\t\t1\tFelidae Fischer, 1817\tFischer, 1817\tfamily\taccepted\n"
              "2\t1\t2\tFelis\t\tgenus\taccepted\n"
              "3\t2\t3\tFelis catus Linnaeus, 1758\tLinnaeus, 1758\tspecies\taccepted\n"
              "4\t2\t3\tFelis domesticus Erxleben, 1777\tErxleben, 1777\tspecies\tsynonym\n"
              "5\t2\t3\tFelis sylvestris\t\tspecies\tmisapplied\n"
              // A row without an identifier has none to give, though the reading made one.
              "\t2\t\tFelis chaus\tSchreber\tspecies\taccepted\n");
    std::filesystem::create_directories(dir.path() / "coldp");
    dir.write("coldp/NameUsage.tsv",
              "col:ID\tcol:parentID\tcol:status\tcol:rank\tcol:scientificName\tcol:authorship\n"
              "1\t\taccepted\tfamily\tFelidae\tFischer, 1817\n"
              "2\t1\taccepted\tgenus\tFelis\t\n"
              "3\t2\taccepted\tspecies\tFelis catus Linnaeus, 1758\tLinnaeus, 1758\n"
              "4\t3\tsynonym\tspecies\tFelis domesticus Erxleben, 1777\tErxleben, 1777\n"
              "\t2\taccepted\tspecies\tFelis chaus\tSchreber\n");
    const std::string expected =
        "Felidae: 1 | Fischer, 1817\n"
        "Felis: 2 | \n"
        "Felis catus: 3 | Linnaeus, 1758\n"
        "Felis catus = Felis domesticus (Erxleben, 1777)\n"
        "Felis chaus:  | Schreber\n";
    for (const char* p : {"dwca", "coldp"}) {
        TaxonFacts f;
        ImportOptions options;
        options.facts = &f;
        ClassificationTree t;
        ASSERT_TRUE(importClassification(t, dir.file(p), options)) << p;
        // The one top taxon became the root, which is the tree object: its facts stay with it
        // only when the node they were told of is still in the tree.
        std::string got = facts(t, f);
        EXPECT_EQ(got.substr(got.find("Felis:")), expected.substr(expected.find("Felis:"))) << p;
    }
}

// merged.dmp's old ids go to the taxa that hold their targets: to the first of two taxa told
// with one id only, and never an old id that some taxon still holds.
TEST(ImportFacts, FormerIdsGoOnceToTheFirstHolderOfTheirTarget) {
    ClassificationTree t;
    TreeNode* n[3];
    for (int i = 0; i < 3; ++i) {
        n[i] = new TreeNode;
        n[i]->latinName = newName(std::string(1, static_cast<char>('A' + i)));
        n[i]->rankName = newName("");
        n[i]->commonName = newName("");
        t.addChild(n[i]);
    }
    TaxonFacts f;
    f.add(n[0], "9606", {});
    f.add(n[1], "9606", {});
    f.add(n[2], "562", {});
    f.addPendingFormerId("9606", "63221");
    f.addPendingFormerId("9606", "111");
    f.addPendingFormerId("562", "9606");  // 9606 is held: not a former id of 562
    f.addPendingFormerId("777", "555");   // no taxon holds 777
    f.resolve(t);
    std::map<const TreeNode*, std::string> former;
    f.forEachFormerId(
        [&](const TreeNode* node, const char* id) { former[node] += std::string(id) + " "; });
    ASSERT_EQ(former.size(), 1u);
    const TreeNode* first = n[0] < n[1] ? n[0] : n[1];  // the entries stand by node
    EXPECT_EQ(former[first], "63221 111 ");
}
