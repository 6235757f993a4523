// cladorama-cli relate end to end: the report, one rank, the summary and the ColDP table.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun cli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command =
        "cd '" + dir.path().string() + "' && '" CLADORAMA_BINARY_DIR "/tools/cladorama-cli'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >cli.out 2>cli.err";
    CliRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFileBytes(dir.file("cli.out"));
    r.err = readFileBytes(dir.file("cli.err"));
    return r;
}

// Felis split (lybica into a genus of its own), Cuon sunk into Canis, Herpestes renamed
// (to a name with a letter beyond ASCII), Puma new with a species tree 1 lacks.
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
              "Viverridae,Genetta,Genetta_genetta\nHerpestidae,\xC3\x9Crva,Herpestes_edwardsii\n");
}

const char kHeader[] =
    "rank\tname in tree 1\trelation\tname in tree 2\tshared species\tspecies in tree 1\t"
    "species in tree 2\n";
const char kGenusLines[] =
    "Genus\tCanis\t<\tCanis\t1\t1\t2\n"
    "Genus\tCuon\t<\tCanis\t1\t1\t2\n"
    "Genus\tFelis\t>\tAfrofelis\t1\t3\t1\n"
    "Genus\tFelis\t>\tFelis\t2\t3\t2\n"
    "Genus\tGenetta\t=\tGenetta\t1\t1\t1\n"
    "Genus\tHerpestes\t=\t<Urva>\t1\t1\t1\n"
    "Genus\tLynx\t=\tLynx\t1\t1\t1\n"
    "Genus\t\t!\tPuma\t0\t0\t0\n";

// Standard output carries names in the encoding the command line is given; the name
// beyond ASCII is compared in either ISO-8859-1 or UTF-8.
std::string maskUrva(std::string text) {
    for (const char* spelling : {"\xDCrva", "\xC3\x9Crva"})
        for (size_t at; (at = text.find(spelling)) != std::string::npos;)
            text.replace(at, std::string(spelling).size(), "<Urva>");
    return text;
}

}  // namespace

TEST(CliRelate, ReportRankSummaryAndConceptRelations) {
    TempDir dir;
    writePair(dir);
    CliRun all = cli(dir, {"relate", "a.csv", "b.csv"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(maskUrva(all.out), std::string(kHeader) +
                                     "Family\tCanidae\t=\tCanidae\t2\t2\t2\n"
                                     "Family\tFelidae\t=\tFelidae\t4\t4\t4\n"
                                     "Family\tHerpestidae\t=\tHerpestidae\t1\t1\t1\n"
                                     "Family\tViverridae\t=\tViverridae\t1\t1\t1\n" +
                                     kGenusLines);

    CliRun genera = cli(dir, {"relate", "--rank", "Genus", "a.csv", "b.csv"});
    EXPECT_EQ(maskUrva(genera.out), std::string(kHeader) + kGenusLines);
    CliRun none = cli(dir, {"relate", "a.csv", "b.csv", "--rank", "Tribe"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, kHeader);

    CliRun summary = cli(dir, {"relate", "a.csv", "b.csv", "--summary", "--coldp", "out/coldp"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_EQ(summary.out,
              "rank\tsame\trenamed\tsplit\tlumped\treshuffled\tonly in tree 1\tonly in tree 2\n"
              "Family\t4\t0\t0\t0\t0\t0\t0\n"
              "Genus\t2\t1\t1\t2\t0\t0\t1\n");
    // The table is UTF-8 and has no row for a taxon related to nothing.
    EXPECT_EQ(
        readFileBytes(dir.file("out/coldp/TaxonConceptRelation.tsv")),
        "taxonID\trelatedTaxonID\tsourceID\ttype\treferenceID\tremarks\n"
        "Canidae\tCanidae\t\tequals\t\tFamily Canidae = Canidae: 2 species shared of 2 and 2\n"
        "Felidae\tFelidae\t\tequals\t\tFamily Felidae = Felidae: 4 species shared of 4 and 4\n"
        "Herpestidae\tHerpestidae\t\tequals\t\tFamily Herpestidae = Herpestidae: 1 species shared "
        "of 1 and 1\n"
        "Viverridae\tViverridae\t\tequals\t\tFamily Viverridae = Viverridae: 1 species shared of 1 "
        "and 1\n"
        "Canis\tCanis\t\tincluded in\t\tGenus Canis < Canis: 1 species shared of 1 and 2\n"
        "Cuon\tCanis\t\tincluded in\t\tGenus Cuon < Canis: 1 species shared of 1 and 2\n"
        "Felis\tAfrofelis\t\tincludes\t\tGenus Felis > Afrofelis: 1 species shared of 3 and 1\n"
        "Felis\tFelis\t\tincludes\t\tGenus Felis > Felis: 2 species shared of 3 and 2\n"
        "Genetta\tGenetta\t\tequals\t\tGenus Genetta = Genetta: 1 species shared of 1 and 1\n"
        "Herpestes\t\xC3\x9Crva\t\tequals\t\tGenus Herpestes = \xC3\x9Crva: 1 species shared of 1 "
        "and 1\n"
        "Lynx\tLynx\t\tequals\t\tGenus Lynx = Lynx: 1 species shared of 1 and 1\n");

    // The tree files built from the pair hold each tree's taxa beside the copies of the
    // other's: the report is the same.
    ASSERT_EQ(cli(dir, {"build", "a.csv", "b.csv", "--output", "out/pair"}).status, 0);
    EXPECT_EQ(cli(dir, {"relate", "out/pair/T1.jm2", "out/pair/T2.jm2"}).out, all.out);
}

TEST(CliRelate, BadArgumentsAndFiles) {
    TempDir dir;
    writePair(dir);
    CliRun help = cli(dir, {"relate", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: cladorama-cli relate", 0), 0u);
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{"relate", "a.csv"},
                                               {"relate", "a.csv", "b.csv", "--rank"},
                                               {"relate", "--coldp", "", "a.csv", "b.csv"},
                                               {"relate", "--what", "a.csv", "b.csv"}}) {
        CliRun bad = cli(dir, args);
        EXPECT_EQ(bad.status, 2) << args.size();
        EXPECT_EQ(bad.out, "");
    }
    EXPECT_EQ(cli(dir, {"relate", "a.csv", "gone.csv"}).status, 1);
    dir.write("file", "");
    EXPECT_EQ(cli(dir, {"relate", "a.csv", "b.csv", "--coldp", "file"}).status, 1);
    EXPECT_EQ(cli(dir, {"relate"}).status, 1);  // no T1.jm2 here
}

TEST(CliRelate, RenamesHandedInPairSpecies) {
    TempDir dir;
    // Canis adustus became Lupulella adusta, which the load pairs by itself (the same epithet
    // but for its ending, in another genus of the family): Canis was split. Canis aureus and
    // Lupulella anthus share nothing a rule could see; only the file pairs them.
    dir.write("a.csv",
              "Family,Genus,sciName\nCanidae,Canis,Canis_lupus\nCanidae,Canis,Canis_adustus\n"
              "Canidae,Canis,Canis_aureus\n");
    dir.write("b.csv",
              "Family,Genus,sciName\nCanidae,Canis,Canis_lupus\nCanidae,Lupulella,Lupulella_adusta\n"
              "Canidae,Lupulella,Lupulella_anthus\n");
    dir.write("renames.tsv", "Canis aureus\tLupulella anthus\r\nCanis lupus\tNo such\nno tab\n");
    CliRun plain = cli(dir, {"relate", "--rank", "Genus", "a.csv", "b.csv"});
    EXPECT_EQ(plain.out, std::string(kHeader) +
                             "Genus\tCanis\t>\tCanis\t1\t2\t1\n"
                             "Genus\tCanis\t>\tLupulella\t1\t2\t1\n");
    CliRun renamed =
        cli(dir, {"relate", "--rank", "Genus", "--pairs", "renames.tsv", "a.csv", "b.csv"});
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_EQ(renamed.out, std::string(kHeader) +
                               "Genus\tCanis\t>\tCanis\t1\t3\t1\n"
                               "Genus\tCanis\t>\tLupulella\t2\t3\t2\n");
    EXPECT_NE(renamed.err.find("2 lines of renames.tsv name no species of the pair"),
              std::string::npos)
        << renamed.err;
    EXPECT_EQ(cli(dir, {"relate", "--pairs", "gone.tsv", "a.csv", "b.csv"}).status, 1);
}

TEST(CliRelate, SummaryGivesRanksOneTreeAloneUsesRowsOfTheirOwn) {
    // Tree 2 has tribes, tree 1 none: the tribes relate to nothing, yet the summary names
    // them in their place, between Family and Genus.
    TempDir dir;
    dir.write("a.csv", "Family,Genus,sciName\nFelidae,Felis,Felis_catus\nFelidae,Lynx,Lynx_lynx\n"
                       "Felidae,Lynx,Lynx_pardinus\n");
    dir.write("b.csv",
              "Family,Tribe,Genus,sciName\nFelidae,Felini,Felis,Felis_catus\n"
              "Felidae,Lyncini,Lynx,Lynx_lynx\nFelidae,Lyncini,Lynx,Lynx_pardinus\n"
              "Felidae,Pantherini,Panthera,Panthera_leo\n");
    const char header[] =
        "rank\tsame\trenamed\tsplit\tlumped\treshuffled\tonly in tree 1\tonly in tree 2\n";
    CliRun summary = cli(dir, {"relate", "a.csv", "b.csv", "--summary"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_EQ(summary.out, std::string(header) +
                               "Family\t1\t0\t0\t0\t0\t0\t0\n"
                               "Tribe\t0\t0\t0\t0\t0\t0\t3\n"
                               "Genus\t2\t0\t0\t0\t0\t0\t1\n");
    // The other way round the tribes are tree 1's; --rank keeps the one row.
    CliRun swapped = cli(dir, {"relate", "b.csv", "a.csv", "--summary", "--rank", "Tribe"});
    ASSERT_EQ(swapped.status, 0) << swapped.err;
    EXPECT_EQ(swapped.out, std::string(header) + "Tribe\t0\t0\t0\t0\t0\t3\t0\n");
}
