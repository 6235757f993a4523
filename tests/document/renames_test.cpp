// Partners of renamed taxa: each kind of evidence on small trees of its own, through the
// whole combining chain, and the guards that keep a pair from being a guess.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "CladoramaDoc.h"
#include "Renames.h"
#include "TestSupport.h"

namespace {

// A tree from lines "Order/Family/Genus/Species name[/Subspecies name]" under a class root.
void grow(ClassificationTree& tree, const std::string& lines) {
    nameRoot(tree, "Mammalia");
    static const char* const kRanks[] = {"Order", "Family", "Genus", "Species", "Subspecies"};
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) {
        TreeNode* at = &tree;
        std::istringstream parts(line);
        int depth = 0;
        for (std::string name; std::getline(parts, name, '/'); ++depth) {
            TreeNode* found = nullptr;
            for (TreeNode* c : at->children)
                if (name == c->latinName) found = c;
            at = found ? found : addNode(at, name.c_str(), kRanks[depth]);
        }
    }
}

TreeNode* find(ClassificationTree& tree, const char* latin) {
    TreeNode* found = nullptr;
    forEachNode(static_cast<TreeNode*>(&tree), [&](TreeNode* n) {
        if (!std::strcmp(n->latinName, latin) && n->onlyInTree != (tree.treeId == 1 ? 2 : 1))
            found = n;
    });
    return found;
}

struct Pair {
    ClassificationTree t1, t2;
    TaxonFacts f1, f2;
    RenamePairs pairs;
    Pair(const std::string& a, const std::string& b) {
        grow(t1, a);
        grow(t2, b);
        ConsoleCapture quiet;
        buildCombinedTrees(t1, t2);
    }
    void fact(int tree, const char* latin, const char* id, const char* authorship = "") {
        (tree == 1 ? f1 : f2).add(find(tree == 1 ? t1 : t2, latin), id, authorship);
    }
    // "name1 > name2 (evidence)" for every pair, in tree 1's order.
    std::string run() {
        f1.seal();
        f2.seal();
        pairs.find(t1, t2, &f1, &f2);
        std::map<std::string, std::string> lines;
        for (const RenamePair& p : pairs.pairs())
            lines[p.node1->latinName] = std::string(p.node1->latinName) + " > " +
                                        p.node2->latinName + " (" +
                                        renameEvidenceName(p.evidence) + ")";
        std::string out;
        for (const auto& [name, line] : lines) out += (out.empty() ? "" : "; ") + line;
        return out;
    }
};

const char* const kFelids =
    "Carnivora/Felidae/Felis/Felis catus\n"
    "Carnivora/Felidae/Felis/Felis silvestris\n"
    "Carnivora/Felidae/Panthera/Panthera leo\n";

}  // namespace

TEST(Renames, EpithetInAnotherGenusOfTheFamilyAndEndingsInTheGenus) {
    Pair p(std::string(kFelids) + "Carnivora/Felidae/Felis/Felis manul\n"
                                  "Carnivora/Felidae/Felis/Felis libycus\n"
                                  "Carnivora/Felidae/Felis/Felis rubiginosus\n",
           std::string(kFelids) + "Carnivora/Felidae/Otocolobus/Otocolobus manul\n"
                                  "Carnivora/Felidae/Felis/Felis libyca\n"
                                  "Carnivora/Felidae/Prionailurus/Prionailurus rubiginosa\n");
    EXPECT_EQ(p.run(),
              "Felis libycus > Felis libyca (ending); Felis manul > Otocolobus manul (epithet); "
              "Felis rubiginosus > Prionailurus rubiginosa (ending)");
    // Both members of a pair, and the copy of each grafted into the other tree, find it.
    const TreeNode* copy = nullptr;
    forEachNode(static_cast<const TreeNode*>(&p.t1), [&](const TreeNode* n) {
        if (!std::strcmp(n->latinName, "Otocolobus manul")) copy = n;
    });
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->onlyInTree, 2);
    ASSERT_TRUE(p.pairs.partnerOf(*copy));
    EXPECT_STREQ(p.pairs.partnerOf(*copy)->latinName, "Felis manul");
    EXPECT_STREQ(p.pairs.partnerOf(*find(p.t1, "Felis manul"))->latinName, "Otocolobus manul");
    // A taxon both trees hold has no partner.
    EXPECT_EQ(p.pairs.partnerOf(*find(p.t1, "Felis catus")), nullptr);
}

TEST(Renames, AGenusMoveStaysInItsFamilyOrWhereTheFamilyChangedInItsOrder) {
    Pair p("Carnivora/Felidae/Felis/Felis bengalensis\n"
           "Carnivora/Viverridae/Genetta/Genetta felina\n"
           "Rodentia/Muridae/Mus/Mus minutus\n",
           "Carnivora/Prionodontidae/Prionodon/Prionodon bengalensis\n"
           "Primates/Hominidae/Homo/Homo felina\n"
           "Rodentia/Muridae/Micromys/Micromys minutus\n");
    // Another family of the same order, and the same family: moves. Another order: no.
    EXPECT_EQ(p.run(), "Felis bengalensis > Prionodon bengalensis (epithet); "
                       "Mus minutus > Micromys minutus (epithet)");
}

TEST(Renames, AmbiguityPairsNothingAndNoTaxonIsPairedTwice) {
    // Two species of the family could be Felis manul's new name; two old ones could be
    // Prionailurus planiceps's.
    Pair p(std::string(kFelids) + "Carnivora/Felidae/Felis/Felis manul\n"
                                  "Carnivora/Felidae/Felis/Felis planiceps\n"
                                  "Carnivora/Felidae/Lynx/Lynx planiceps\n",
           std::string(kFelids) + "Carnivora/Felidae/Otocolobus/Otocolobus manul\n"
                                  "Carnivora/Felidae/Catopuma/Catopuma manul\n"
                                  "Carnivora/Felidae/Prionailurus/Prionailurus planiceps\n");
    EXPECT_EQ(p.run(), "");
    // The closer of two candidates wins: the same genus before another genus of the family.
    Pair q(std::string(kFelids) + "Carnivora/Felidae/Felis/Felis margarita\n",
           std::string(kFelids) + "Carnivora/Felidae/Felis/Felis margaritus\n"
                                  "Carnivora/Felidae/Leopardus/Leopardus margarita\n");
    EXPECT_EQ(q.run(), "Felis margarita > Felis margaritus (ending)");
}

TEST(Renames, IdentifiersPairFirstWhenTheFilesShareTheirSpace) {
    const std::string a = std::string(kFelids) + "Carnivora/Felidae/Felis/Felis manul\n"
                                                 "Carnivora/Felidae/Felis/Felis chaus\n";
    const std::string b = std::string(kFelids) + "Carnivora/Felidae/Otocolobus/Otocolobus manul\n"
                                                 "Carnivora/Felidae/Felis/Felis jacquemontii\n";
    {
        Pair p(a, b);
        for (int t : {1, 2}) {
            p.fact(t, "Felis catus", "1");
            p.fact(t, "Felis silvestris", "2");
        }
        // The identifiers overrule the epithet: Felis manul is the renamed Felis chaus
        // in this (made-up) history, and Otocolobus manul a new species.
        p.fact(1, "Felis manul", "3");
        p.fact(1, "Felis chaus", "4");
        p.fact(2, "Felis jacquemontii", "3");
        p.fact(2, "Otocolobus manul", "5");
        EXPECT_EQ(p.run(), "Felis manul > Felis jacquemontii (id)");
    }
    {
        // Numbers that name other taxa in the other file are no shared space: only one of
        // the two identifiers both give names the same taxon in both.
        Pair p(a, b);
        p.fact(1, "Felis catus", "1");
        p.fact(2, "Felis catus", "1");
        p.fact(1, "Felis silvestris", "2");
        p.fact(2, "Panthera leo", "2");
        p.fact(1, "Panthera leo", "7");
        p.fact(2, "Felis silvestris", "8");
        p.fact(1, "Felis manul", "3");
        p.fact(2, "Felis jacquemontii", "3");
        EXPECT_FALSE(shareIdentifierSpace(p.f1, p.f2));
        EXPECT_EQ(p.run(), "Felis manul > Otocolobus manul (epithet)");
    }
    {
        // Half is enough.
        TaxonFacts f1, f2;
        Pair p(a, b);
        p.fact(1, "Felis catus", "1");
        p.fact(2, "Felis catus", "1");
        p.fact(1, "Felis silvestris", "2");
        p.fact(2, "Panthera leo", "2");
        p.f1.seal();
        p.f2.seal();
        EXPECT_TRUE(shareIdentifierSpace(p.f1, p.f2));
    }
}

TEST(Renames, SynonymsOfEitherFileWithAndWithoutAuthorship) {
    Pair p(std::string(kFelids) + "Carnivora/Felidae/Felis/Felis concolor\n"
                                  "Carnivora/Felidae/Felis/Felis yagouaroundi\n",
           std::string(kFelids) + "Carnivora/Felidae/Puma/Puma concolor\n"
                                  "Carnivora/Felidae/Herpailurus/Herpailurus yagouaroundi\n"
                                  "Carnivora/Felidae/Puma/Puma yagouaroundi\n");
    // Without the synonym, two genera hold yagouaroundi: no partner.
    EXPECT_EQ(p.run(), "Felis concolor > Puma concolor (epithet)");
    // Tree 2's file lists Felis yagouaroundi, authorship and all, as a synonym of
    // Herpailurus yagouaroundi.
    p.f2.addSynonym(find(p.t2, "Herpailurus yagouaroundi"),
                    "Felis yagouaroundi É. Geoffroy Saint-Hilaire, 1803", "");
    EXPECT_EQ(p.run(), "Felis concolor > Puma concolor (epithet); "
                       "Felis yagouaroundi > Herpailurus yagouaroundi (synonym)");
    // A synonym of another authorship names another taxon.
    p.f2.clear();
    p.f1.add(find(p.t1, "Felis yagouaroundi"), "", "(Lacépède, 1809)");
    p.f2.addSynonym(find(p.t2, "Puma yagouaroundi"), "Felis yagouaroundi", "Schreber, 1777");
    EXPECT_EQ(p.run(), "Felis concolor > Puma concolor (epithet)");
}

TEST(Renames, SynonymsGivenAsEpithetsAloneNameASpellingNearby) {
    // A checklist's list of nominal names gives each as an epithet alone: a spelling a
    // release corrected pairs; a junior synonym of another epithet that two new species list
    // does not.
    const std::string a = "Rodentia/Cricetidae/Alexandromys/Alexandromys gromovi\n"
                          "Rodentia/Sciuridae/Sciurus/Sciurus fraenata\n"
                          "Rodentia/Sciuridae/Spermophilus/Spermophilus fraenata\n"
                          "Chiroptera/Molossidae/Molossus/Molossus fraenata\n"
                          "Dasyuromorphia/Dasyuridae/Murexia/Murexia melanurus\n";
    const std::string b = "Rodentia/Cricetidae/Alexandromys/Alexandromys shantaricus\n"
                          "Rodentia/Cricetidae/Alexandromys/Alexandromys maximowiczii\n"
                          "Rodentia/Sciuridae/Sciurus/Sciurus frenata\n"
                          "Dasyuromorphia/Dasyuridae/Murexia/Murexia melanura\n"
                          "Dasyuromorphia/Dasyuridae/Murexia/Murexia wilhelmina\n";
    Pair p(a, b);
    // gromovi is listed by two new species: it pairs neither.
    p.f2.addSynonym(find(p.t2, "Alexandromys shantaricus"), "gromovi", "");
    p.f2.addSynonym(find(p.t2, "Alexandromys maximowiczii"), "gromovi", "");
    p.f2.addSynonym(find(p.t2, "Sciurus frenata"), "fraenata", "Honacki, 1982");
    // Tree 1's own list: wilhelmina a synonym of melanurus; the changed ending is stronger.
    p.f1.addSynonym(find(p.t1, "Murexia melanurus"), "wilhelmina", "");
    // The same genus wins over the same family; the bat of that epithet is of another order.
    // The list's authorship of a misspelling is whoever misspelt it: the taxa's own count.
    p.f1.add(find(p.t1, "Sciurus fraenata"), "", "Gould 1841");
    p.f2.add(find(p.t2, "Sciurus frenata"), "", "J. Gould 1840");
    EXPECT_EQ(p.run(), "Murexia melanurus > Murexia melanura (ending); "
                       "Sciurus fraenata > Sciurus frenata (synonym)");
    // Two equally near: neither.
    Pair q("Rodentia/Sciuridae/Tamias/Tamias fraenata\n"
           "Rodentia/Sciuridae/Spermophilus/Spermophilus fraenata\n", b);
    q.f2.addSynonym(find(q.t2, "Sciurus frenata"), "fraenata", "");
    EXPECT_EQ(q.run(), "");
    // Another authorship, another species.
    Pair r("Rodentia/Sciuridae/Tamias/Tamias fraenata\n", b);
    r.f1.add(find(r.t1, "Tamias fraenata"), "", "Thomas 1911");
    r.f2.add(find(r.t2, "Sciurus frenata"), "", "Gould 1840");
    r.f2.addSynonym(find(r.t2, "Sciurus frenata"), "fraenata", "");
    EXPECT_EQ(r.run(), "");
}

TEST(Renames, AuthorshipAndEndings) {
    EXPECT_EQ(normaliseAuthorship("(G. K. Shaw, 1799)"), "shaw 1799");
    EXPECT_EQ(normaliseAuthorship("Thomas & Wroughton"), normaliseAuthorship("O. Thomas and Wroughton"));
    EXPECT_TRUE(sameAuthorship(normaliseAuthorship("G. Shaw"), normaliseAuthorship("(Shaw, 1799)")));
    // What releases of one checklist change in an authorship: particles, apostrophes, the work
    // it was published in, co-authors spelt out, a year corrected by one.
    const std::pair<const char*, const char*> same[] = {
        {"Schreber, 1776", "von Schreber, 1777"},
        {"P. Gervais in Castelnau 1856", "P. Gervais 1855"},
        {"d\u2019Orbigny & P. Gervais, 1847", "d'Orbigny & P. Gervais, 1847"},
        {"Louis, Engberg, Lei Runhau, & Brenneman 2006", "E. E. Louis, Lei Runhua, & Brenneman 2006"}};
    for (auto [a, b] : same)
        EXPECT_TRUE(sameAuthorship(normaliseAuthorship(a), normaliseAuthorship(b))) << a << " / " << b;
    // Each particle a surname may carry is dropped, in any case and wherever it stands; a
    // surname that merely begins like one is kept whole.
    for (const char* particle : {"von", "van", "de", "da", "du", "der", "den", "del", "della",
                                 "di", "dos", "das", "la", "le", "zu"}) {
        const std::string word(particle);
        std::string capital = word;
        capital[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capital[0])));
        EXPECT_EQ(normaliseAuthorship(word + " Schreber, 1776"), "schreber 1776") << word;
        EXPECT_EQ(normaliseAuthorship("(" + capital + " Schreber & " + word + " Wied 1776)"),
                  "schreber wied 1776") << word;
        EXPECT_EQ(normaliseAuthorship(capital + "witt 1776"), word + "witt 1776") << word;
    }
    // Short surnames that are no particles stay.
    EXPECT_EQ(normaliseAuthorship("Lo, Wu & Ye 1990"), "lo wu ye 1990");
    EXPECT_FALSE(sameAuthorship("shaw 1799", "shaw 1801"));
    EXPECT_TRUE(sameAuthorship("buchanan 1800", "buchannan 1800"));
    EXPECT_TRUE(spellingVariants("philippensis", "philippinensis"));
    EXPECT_TRUE(spellingVariants("caparoae", "caparaoe"));
    EXPECT_FALSE(spellingVariants("neobritannicus", "neobrittanicas"));
    EXPECT_FALSE(spellingVariants("nana", "nani"));
    EXPECT_FALSE(sameAuthorship(normaliseAuthorship("de Blainville, 1820"), normaliseAuthorship("G. K. Shaw, 1820")));
    EXPECT_FALSE(sameAuthorship("gray 1843", "shaw 1843"));
    EXPECT_TRUE(genderVariants("tetradactyla", "tetradactylus"));
    EXPECT_TRUE(genderVariants("nigrum", "niger"));
    EXPECT_TRUE(genderVariants("brevis", "breve"));
    EXPECT_TRUE(genderVariants("albiventer", "albiventris"));
    EXPECT_TRUE(genderVariants("thomasi", "thomasae"));
    EXPECT_TRUE(genderVariants("smithorum", "smithi"));
    EXPECT_FALSE(genderVariants("leo", "lea"));
    EXPECT_FALSE(genderVariants("catus", "catus"));
    EXPECT_FALSE(genderVariants("minutus", "minimus"));
    EXPECT_FALSE(genderVariants("us", "a"));

    // Where both files give an authorship, a different one keeps two taxa apart.
    Pair p(std::string(kFelids) + "Carnivora/Felidae/Felis/Felis manul\n",
           std::string(kFelids) + "Carnivora/Felidae/Otocolobus/Otocolobus manul\n");
    p.fact(1, "Felis manul", "", "Pallas, 1776");
    p.fact(2, "Otocolobus manul", "", "(P. S. Pallas, 1776)");
    EXPECT_EQ(p.run(), "Felis manul > Otocolobus manul (epithet)");
    p.f2.clear();
    p.fact(2, "Otocolobus manul", "", "Gray, 1843");
    EXPECT_EQ(p.run(), "");
}

TEST(Renames, SubspeciesPairWithSubspecies) {
    Pair p("Carnivora/Felidae/Felis/Felis silvestris/Felis silvestris lybica\n"
           "Carnivora/Felidae/Felis/Felis silvestris/Felis silvestris ornata\n",
           "Carnivora/Felidae/Felis/Felis lybica/Felis lybica lybica\n"
           "Carnivora/Felidae/Felis/Felis lybica/Felis lybica ornata\n"
           "Carnivora/Felidae/Felis/Felis silvestris\n");
    // Another species of the genus is no move: the epithets differ, and the subspecies'
    // species epithet is no gender ending.
    EXPECT_EQ(p.run(), "");
    Pair q("Carnivora/Felidae/Felis/Felis libycus/Felis libycus thomasi\n"
           "Carnivora/Felidae/Felis/Felis libycus\n",
           "Carnivora/Felidae/Felis/Felis libyca/Felis libyca thomasae\n");
    EXPECT_EQ(q.run(), "Felis libycus > Felis libyca (ending); "
                       "Felis libycus thomasi > Felis libyca thomasae (ending)");
}

TEST(Renames, AChangeOfPriorityPairsOnlyTaxaThatAreEachOthersOnlyCandidate) {
    const std::string a = "Carnivora/Felidae/Leopardus/Leopardus munoai\n"
                          "Carnivora/Felidae/Leopardus/Leopardus colocola\n"
                          "Carnivora/Viverridae/Genetta/Genetta maculata\n";
    const std::string b = "Carnivora/Felidae/Leopardus/Leopardus fasciatus\n"
                          "Carnivora/Felidae/Leopardus/Leopardus colocola\n"
                          "Carnivora/Viverridae/Genetta/Genetta fieldiana\n";
    // An older name found to take priority, and a preoccupied name replaced; the list's
    // authorship of the junior name is the old taxon's, the taxa's own differ.
    Pair p(a, b);
    p.f2.addSynonym(find(p.t2, "Leopardus fasciatus"), "fasciatus", "Larranaga, 1923");
    p.f2.addSynonym(find(p.t2, "Leopardus fasciatus"), "munoai", "Ximenez, 1961");
    p.f2.addSynonym(find(p.t2, "Genetta fieldiana"), "maculata", "J. E. Gray, 1830");
    p.fact(1, "Leopardus munoai", "", "Ximenez 1961");
    p.fact(2, "Leopardus fasciatus", "", "Larranaga 1923");
    EXPECT_EQ(p.run(), "Genetta maculata > Genetta fieldiana (synonym); "
                       "Leopardus munoai > Leopardus fasciatus (synonym)");

    // The list's authorship of the junior name is another's: another name.
    Pair q(a, b);
    q.f2.addSynonym(find(q.t2, "Leopardus fasciatus"), "munoai", "Thomas, 1911");
    q.fact(1, "Leopardus munoai", "", "Ximenez 1961");
    EXPECT_EQ(q.run(), "");

    // A lump into a species both hold: the one that lists it too keeps the new species from
    // pairing it.
    Pair r(a, b);
    r.f2.addSynonym(find(r.t2, "Leopardus colocola"), "munoai", "");
    r.f2.addSynonym(find(r.t2, "Leopardus fasciatus"), "munoai", "");
    EXPECT_EQ(r.run(), "");
    // Nor by the lump alone.
    Pair r2(a, b);
    r2.f2.addSynonym(find(r2.t2, "Leopardus colocola"), "munoai", "");
    EXPECT_EQ(r2.run(), "");

    // Named by two new species: neither.
    Pair s2(a, std::string(b) + "Carnivora/Felidae/Leopardus/Leopardus pajeros\n");
    s2.f2.addSynonym(find(s2.t2, "Leopardus fasciatus"), "munoai", "");
    s2.f2.addSynonym(find(s2.t2, "Leopardus pajeros"), "munoai", "");
    EXPECT_EQ(s2.run(), "");
    // A new species listing two old ones: neither.
    Pair t(std::string(a) + "Carnivora/Felidae/Leopardus/Leopardus braccatus\n", b);
    t.f2.addSynonym(find(t.t2, "Leopardus fasciatus"), "munoai", "");
    t.f2.addSynonym(find(t.t2, "Leopardus fasciatus"), "braccatus", "");
    EXPECT_EQ(t.run(), "");

    // A species split off another that took in a lumped one lists the names it brought
    // along, which the old species' list does not give: no change of priority.
    Pair u(a, b);
    u.f2.addSynonym(find(u.t2, "Leopardus fasciatus"), "munoai", "");
    u.f2.addSynonym(find(u.t2, "Leopardus fasciatus"), "thaianus", "");
    EXPECT_EQ(u.run(), "");
    Pair v(a, b);
    v.f2.addSynonym(find(v.t2, "Leopardus fasciatus"), "munoai", "");
    v.f2.addSynonym(find(v.t2, "Leopardus fasciatus"), "thaianus", "");
    v.f1.addSynonym(find(v.t1, "Leopardus munoai"), "thaianus", "");
    EXPECT_EQ(v.run(), "Leopardus munoai > Leopardus fasciatus (synonym)");
}

TEST(Renames, SpellingsPairWhatTheOtherRulesLeft) {
    // Real corrections: sh / sch, a doubled letter and a single one, ae / oe, a dropped
    // vowel, two letters swapped.
    const std::string a = "Rodentia/Sminthidae/Sicista/Sicista tianshanica\n"
                          "Rodentia/Muridae/Hydromys/Hydromys neobritannicus\n"
                          "Rodentia/Muridae/Mus/Mus caeruleus\n"
                          "Eulipotyphla/Soricidae/Crocidura/Crocidura tarfayensis\n"
                          "Rodentia/Muridae/Rattus/Rattus tiomanicus\n"
                          "Rodentia/Muridae/Rattus/Rattus nitidus\n";
    const std::string b = "Rodentia/Sminthidae/Sicista/Sicista tianschanica\n"
                          "Rodentia/Muridae/Hydromys/Hydromys neobrittanicus\n"
                          "Rodentia/Muridae/Mus/Mus coeruleus\n"
                          "Eulipotyphla/Soricidae/Crocidura/Crocidura tarfayaensis\n"
                          "Rodentia/Muridae/Rattus/Rattus tiomaincus\n"
                          "Rodentia/Muridae/Rattus/Rattus nitida\n";
    Pair p(a, b);
    EXPECT_EQ(p.run(),
              "Crocidura tarfayensis > Crocidura tarfayaensis (spelling); "
              "Hydromys neobritannicus > Hydromys neobrittanicus (spelling); "
              "Mus caeruleus > Mus coeruleus (spelling); "
              "Rattus nitidus > Rattus nitida (ending); "
              "Rattus tiomanicus > Rattus tiomaincus (spelling); "
              "Sicista tianshanica > Sicista tianschanica (spelling)");
    // Without it, the rules of before.
    p.pairs.find(p.t1, p.t2, &p.f1, &p.f2, RenameRules{.spelling = false, .priority = true});
    EXPECT_EQ(p.pairs.pairs().size(), 1u);

    // Three letters apart, an epithet under five letters, a quoted or bracketed name, a
    // hybrid formula: nothing.
    Pair q("Rodentia/Muridae/Mus/Mus tiomanicus\n"
           "Rodentia/Muridae/Apomys/Apomys musa\n"
           "Rodentia/Muridae/Rattus/Rattus 'alpinus'\n"
           "Rodentia/Muridae/Bandicota/Bandicota indica x Bandicota savilei\n",
           "Rodentia/Muridae/Mus/Mus toimaincas\n"
           "Rodentia/Muridae/Apomys/Apomys musu\n"
           "Rodentia/Muridae/Rattus/Rattus 'alpinos'\n"
           "Rodentia/Muridae/Bandicota/Bandicota indica x Bandicota savilae\n");
    EXPECT_EQ(q.run(), "");

    // Two candidates: neither, even where one is closer in letters.
    Pair r("Rodentia/Muridae/Mus/Mus tiomanicus\n",
           "Rodentia/Muridae/Mus/Mus tiomaincus\nRodentia/Muridae/Mus/Mus tiomanicas\n");
    EXPECT_EQ(r.run(), "");

    // Authorships: agreeing, a genus moved within the order pairs; disagreeing, nothing; the
    // same genus wins over another family.
    const std::string c = "Rodentia/Muridae/Mus/Mus tiomanicus\n";
    const std::string d = "Rodentia/Cricetidae/Microtus/Microtus tiomaincus\n";
    Pair s(c, d);
    s.fact(1, "Mus tiomanicus", "", "Miller 1900");
    s.fact(2, "Microtus tiomaincus", "", "G. S. Miller, 1900");
    EXPECT_EQ(s.run(), "Mus tiomanicus > Microtus tiomaincus (spelling)");
    Pair s0(c, d);  // without authorship, another family is too far
    EXPECT_EQ(s0.run(), "");
    Pair t(c, d);
    t.fact(1, "Mus tiomanicus", "", "Miller 1900");
    t.fact(2, "Microtus tiomaincus", "", "Thomas 1911");
    EXPECT_EQ(t.run(), "");
    Pair u(c, std::string(d) + "Rodentia/Muridae/Mus/Mus tiomanicos\n");
    u.fact(1, "Mus tiomanicus", "", "Miller 1900");
    u.fact(2, "Microtus tiomaincus", "", "Miller 1900");
    u.fact(2, "Mus tiomanicos", "", "Miller 1900");
    EXPECT_EQ(u.run(), "Mus tiomanicus > Mus tiomanicos (spelling)");

    // An ending changed is `ending`; where that rule found two, the spelling rule does not
    // pair one of them.
    Pair e("Rodentia/Muridae/Mus/Mus nitidus\n",
           "Rodentia/Muridae/Mus/Mus nitida\nRodentia/Muridae/Mus/Mus nitidum\n");
    EXPECT_EQ(e.run(), "");

    // Subspecies: the same species epithet, the subspecies' spelt otherwise.
    Pair f("Rodentia/Muridae/Mus/Mus musculus/Mus musculus castaneus\n",
           "Rodentia/Muridae/Mus/Mus musculus/Mus musculus castanneus\n");
    EXPECT_EQ(f.run(), "Mus musculus castaneus > Mus musculus castanneus (spelling)");

    // Many spelt otherwise in one genus: each finds its own among the others.
    auto rattus = [](std::initializer_list<const char*> epithets) {
        std::string lines;
        for (const char* e : epithets)
            lines += std::string("Rodentia/Muridae/Rattus/Rattus ") + e + "\n";
        return lines;
    };
    Pair g(rattus({"tiomanicus", "argentiventer", "hoffmanni", "baluensis", "macleari"}),
           rattus({"macleary", "baluansis", "hofmanni", "argentivanter", "tiomaincus"}));
    EXPECT_EQ(g.run(),
              "Rattus argentiventer > Rattus argentivanter (spelling); "
              "Rattus baluensis > Rattus baluansis (spelling); "
              "Rattus hoffmanni > Rattus hofmanni (spelling); "
              "Rattus macleari > Rattus macleary (spelling); "
              "Rattus tiomanicus > Rattus tiomaincus (spelling)");
}

TEST(Renames, EverySpellingInALargeGenusFindsItsOwn) {
    // Hundreds of species of one genus spelt otherwise at once: two letters changed, so that
    // each pair shares a single key among the thousands of the genus.
    std::mt19937 random(11);
    auto letter = [&] { return static_cast<char>('a' + random() % 26); };
    std::string a, b;
    const int kSpecies = 400;
    for (int i = 0; i < kSpecies; ++i) {
        std::string epithet;
        for (int n = 0; n < 9; ++n) epithet += letter();
        std::string spelt = epithet;
        for (size_t at : {2, 5})
            spelt[at] = static_cast<char>('a' + (spelt[at] - 'a' + 1 + random() % 25) % 26);
        a += "Rodentia/Muridae/Rattus/Rattus " + epithet + "\n";
        b += "Rodentia/Muridae/Rattus/Rattus " + spelt + "\n";
    }
    Pair p(a, b);
    p.run();
    size_t spelt = 0;
    for (const RenamePair& pair : p.pairs.pairs())
        spelt += pair.evidence == RenameEvidence::Spelling &&
                 std::strncmp(pair.node1->latinName, pair.node2->latinName, 9) == 0;
    EXPECT_EQ(spelt, size_t(kSpecies));
}
