// cladorama-cli end to end: build, load, search and diff in a scratch folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs cladorama-cli with `args` (each quoted for the shell) in `dir`.
CliRun cli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.path().string() + "' && '" CLADORAMA_BINARY_DIR
                          "/tools/cladorama-cli'";
    for (const std::string& a : args) {
        std::string quoted;
        for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " '" + quoted + "'";
    }
    command += " >cli.out 2>cli.err";
    CliRun r;
    int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFileBytes(dir.file("cli.out"));
    r.err = readFileBytes(dir.file("cli.err"));
    fs::remove(dir.file("cli.out"));
    fs::remove(dir.file("cli.err"));
    return r;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const std::string kLoadLines =
    "Load trees from binary files.... \n"
    "Tree 1 loading.... \n"
    "Order : 1 \nFamily : 2 \nGenus : 2 \n"
    "Tree 2 loading.... \n"
    "Order : 1 \nFamily : 2 \nGenus : 1 \n"
    "Set node position for overview tree.... \n"
    "Latin name sorted\ncommon name sorted\ncommon name sorted\n";

TEST(CliPipeline, BuildLoadSearchDiffOnSmallClassifications) {
    TempDir dir;
    dir.write("classif_A_03-01-31.xml", carnivoraClassificationA());
    dir.write("classif_B_03-01-31.xml", carnivoraClassificationB());

    CliRun build = cli(dir, {"build"});
    EXPECT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(maskProgress(build.out),
              std::string(kCarnivoraBuildConsole) +
                  "Latin name sorted\ncommon name sorted\ncommon name sorted\n");
    EXPECT_EQ(build.err, "");
    EXPECT_TRUE(fs::exists(dir.file("T1.jm2")));
    EXPECT_TRUE(fs::exists(dir.file("T2.jm2")));

    CliRun load = cli(dir, {"load"});
    EXPECT_EQ(load.status, 0);
    EXPECT_EQ(load.out, kLoadLines);
    EXPECT_EQ(load.err, "");

    CliRun latin = cli(dir, {"search", "0", "Fel"});
    EXPECT_EQ(latin.status, 0);
    EXPECT_EQ(latin.out, "Node list - 2 item\nFelidae\tFelidae\tFamily\tboth\nFelis\tFelis\tGenus\tboth\n");
    EXPECT_EQ(latin.err, kLoadLines);

    CliRun common = cli(dir, {"search", "1", "cats"});
    EXPECT_EQ(common.status, 0);
    EXPECT_EQ(common.out, "Node list - 3 item\nbig cats\tPanthera\tGenus\t1\ncats\tFelidae\tFamily\tboth\n"
              "small cats\tFelis\tGenus\tboth\n");

    // Hyaenidae matches by both names and is listed twice, Latin part first; each line
    // names the taxon, its rank and the tree holding it.
    CliRun both = cli(dir, {"search", "2", "ae"});
    EXPECT_EQ(both.status, 0);
    EXPECT_EQ(both.out, "Node list - 4 item\nCanidae\tCanidae\tFamily\t1\nFelidae\tFelidae\tFamily\tboth\n"
                        "Hyaenidae\tHyaenidae\tFamily\t2\nhyaenas\tHyaenidae\tFamily\t2\n");

    CliRun none = cli(dir, {"search", "2", "Ursidae"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "Node list - 0 item\n");
    EXPECT_EQ(none.err, kLoadLines + "No node found with the Latin or Common Name\n Try another name\n");

    CliRun diff = cli(dir, {"diff"});
    EXPECT_EQ(diff.status, 0);
    EXPECT_EQ(diff.out,
              "mark\tchange\trank\tlatin name\tcommon name\tpath\tother\tdetail\n"
              "1\tremoved\tFamily\tCanidae\tdogs\tCarnivora > Canidae\t\t\n"
              "1\tremoved\tGenus\tPanthera\tbig cats\tCarnivora > Felidae > Panthera\t\t\n"
              "2\tadded\tFamily\tHyaenidae\thyaenas\tCarnivora > Hyaenidae\t\t\n");
    EXPECT_EQ(diff.err, kLoadLines);
}

TEST(CliPipeline, MissingFilesGiveTheFailureLineAndStatus) {
    TempDir dir;
    CliRun build = cli(dir, {"build"});
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.out, "Tree 1 is loading... \nReading classification xml file has been failed!\n");

    CliRun load = cli(dir, {"load"});
    EXPECT_EQ(load.status, 1);
    EXPECT_EQ(load.out, "Load trees from binary files.... \nTree 1 loading.... \n"
                        "Reading binary tree file T1.jm2 has been failed!\n");

    CliRun search = cli(dir, {"search", "0", "Fel"});
    EXPECT_EQ(search.status, 2);
    EXPECT_EQ(search.out, "");

    CliRun diff = cli(dir, {"diff"});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out, "");
}

TEST(CliPipeline, AnyTwoFilesBuildIntoAFolderAndDiff) {
    TempDir dir;
    dir.write("a.csv", "Order,Family,Genus\nCarnivora,Felidae,Felis\nCarnivora,Canidae,Canis\n");
    dir.write("b.tsv", "Order\tFamily\tGenus\nCarnivora\tFelidae\tFelis\nCarnivora\tFelidae\tCanis\n");
    CliRun build = cli(dir, {"build", "a.csv", "b.tsv", "--output", "out/pair"});
    EXPECT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(build.out.rfind("Tree 1 is loading... \n", 0), 0u) << build.out;
    EXPECT_NE(build.out.find("Write trees to binary files.... \n"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.path() / "out/pair/T1.jm2"));
    EXPECT_TRUE(fs::exists(dir.path() / "out/pair/T2.jm2"));
    EXPECT_FALSE(fs::exists(dir.path() / "T1.jm2"));

    // Canis moved from Canidae to Felidae: one line, as tree 1's taxon.
    CliRun diff = cli(dir, {"diff", "a.csv", "b.tsv"});
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(diff.out,
              "mark\tchange\trank\tlatin name\tcommon name\tpath\tother\tdetail\n"
              "1\tremoved\tFamily\tCanidae\t\tCarnivora > Canidae\t\t\n"
              "1\tmoved\tGenus\tCanis\t\tCarnivora > Canidae > Canis\tCarnivora > Felidae > Canis\t0\n");
    // The tree files just built say the same.
    CliRun again = cli(dir, {"diff", "out/pair/T1.jm2", "out/pair/T2.jm2"});
    EXPECT_EQ(again.out, diff.out);
    CliRun missing = cli(dir, {"diff", "a.csv", "gone.csv"});
    EXPECT_EQ(missing.status, 1);
}

TEST(CliPipeline, DiffTellsEachChangeOnceAndRenamedTaxaWithTheirPartners) {
    TempDir dir;
    // Canis moved to Felidae with its species and a subspecies (told once, with the two that
    // moved with it), Canis aureus becoming Canis aurea; Felis chaus
    // is Felis jacquemontii by its identifier only; Lycalopex a genus, then a subgenus.
    const std::string header = "order,family,genus,scientificName,taxonRank,key,author\n";
    dir.write("a.csv", header +
                           "Carnivora,Felidae,Felis,Felis catus,species,1,Linnaeus\n"
                           "Carnivora,Felidae,Felis,Felis manul,species,2,Pallas\n"
                           "Carnivora,Canidae,Canis,Canis lupus,species,3,Linnaeus\n"
                           "Carnivora,Canidae,Canis,Canis lupus familiaris,subspecies,10,\n"
                           "Carnivora,Canidae,Canis,Canis aureus,species,4,Linnaeus\n"
                           "Carnivora,Canidae,Vulpes,Vulpes vulpes,species,5,Linnaeus\n"
                           "Carnivora,Canidae,,Lycalopex,genus,6,\n"
                           "Carnivora,Hyaenidae,Hyaena,Hyaena hyaena,species,7,Linnaeus\n"
                           "Carnivora,Felidae,Felis,Felis chaus,species,8,Schreber\n");
    dir.write("b.csv", header +
                           "Carnivora,Felidae,Felis,Felis catus,species,1,Linnaeus\n"
                           "Carnivora,Felidae,Otocolobus,Otocolobus manul,species,2,(Pallas)\n"
                           "Carnivora,Felidae,Canis,Canis lupus,species,3,Linnaeus\n"
                           "Carnivora,Felidae,Canis,Canis lupus familiaris,subspecies,10,\n"
                           "Carnivora,Felidae,Canis,Canis aurea,species,4,Linnaeus\n"
                           "Carnivora,Canidae,Vulpes,Vulpes vulpes,species,5,Linnaeus\n"
                           "Carnivora,Canidae,Vulpes,Lycalopex,subgenus,6,\n"
                           "Carnivora,Ursidae,Ursus,Ursus arctos,species,9,Linnaeus\n"
                           "Carnivora,Felidae,Felis,Felis jacquemontii,species,8,Schreber\n");
    CliRun diff = cli(dir, {"diff", "a.csv", "b.csv", "--keep-levels", "--id", "key"});
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(diff.out,
              "mark\tchange\trank\tlatin name\tcommon name\tpath\tother\tdetail\n"
              "1\tmoved\tGenus\tCanis\t\tCarnivora > Canidae > Canis\tCarnivora > Felidae > Canis\t2\n"
              "1\trenamed\tSpecies\tCanis aureus\t\tCarnivora > Canidae > Canis > Canis aureus\tCanis aurea\tid\n"
              "1\trank\tGenus\tLycalopex\t\tCarnivora > Canidae > Lycalopex\tSubgenus\t\n"
              "2\trenamed\tSpecies\tCanis aurea\t\tCarnivora > Felidae > Canis > Canis aurea\tCanis aureus\tid\n"
              "1\trenamed\tSpecies\tFelis chaus\t\tCarnivora > Felidae > Felis > Felis chaus\tFelis jacquemontii\tid\n"
              "2\trenamed\tSpecies\tFelis jacquemontii\t\tCarnivora > Felidae > Felis > Felis jacquemontii\tFelis chaus\tid\n"
              "1\trenamed\tSpecies\tFelis manul\t\tCarnivora > Felidae > Felis > Felis manul\tOtocolobus manul\tid\n"
              "2\tadded\tGenus\tOtocolobus\t\tCarnivora > Felidae > Otocolobus\t\t\n"
              "2\trenamed\tSpecies\tOtocolobus manul\t\tCarnivora > Felidae > Otocolobus > Otocolobus manul\tFelis manul\tid\n"
              "1\tremoved\tFamily\tHyaenidae\t\tCarnivora > Hyaenidae\t\t\n"
              "1\tremoved\tGenus\tHyaena\t\tCarnivora > Hyaenidae > Hyaena\t\t\n"
              "1\tremoved\tSpecies\tHyaena hyaena\t\tCarnivora > Hyaenidae > Hyaena > Hyaena hyaena\t\t\n"
              "2\tadded\tFamily\tUrsidae\t\tCarnivora > Ursidae\t\t\n"
              "2\tadded\tGenus\tUrsus\t\tCarnivora > Ursidae > Ursus\t\t\n"
              "2\tadded\tSpecies\tUrsus arctos\t\tCarnivora > Ursidae > Ursus > Ursus arctos\t\t\n");

    // Without identifiers the names tell two of the three; the authorship column agrees.
    CliRun names = cli(dir, {"diff", "a.csv", "b.csv", "--keep-levels", "--authorship", "author"});
    std::string renamed;
    for (const std::string& line : splitLines(names.out))
        if (line.find("\trenamed\t") != std::string::npos) renamed += line.substr(line.rfind('\t', line.rfind('\t') - 1)) + "\n";
    EXPECT_EQ(renamed, "\tCanis aurea\tending\n\tCanis aureus\tending\n"
                       "\tOtocolobus manul\tepithet\n\tFelis manul\tepithet\n");

    CliRun summary = cli(dir, {"diff", "--summary", "a.csv", "b.csv", "--keep-levels", "--id", "key"});
    EXPECT_EQ(summary.out,
              "taxon rank\tmoved\trank\trenamed\tremoved\tadded\ttotal\n"
              "Family\t0\t0\t0\t1\t1\t2\n"
              "Genus\t1\t1\t0\t1\t2\t5\n"
              "Species\t0\t0\t6\t1\t1\t8\n"
              "total\t1\t1\t6\t3\t4\t15\n");
    CliRun badColumn = cli(dir, {"diff", "a.csv", "b.csv", "--id", "none"});
    EXPECT_EQ(badColumn.status, 1);
    EXPECT_NE(badColumn.err.find("no column named \"none\" for the identifiers"), std::string::npos);
}

TEST(CliPipeline, HelpAndBadArguments) {
    TempDir dir;
    for (const char* command : {"build", "load", "search", "diff"}) {
        CliRun help = cli(dir, {command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: cladorama-cli ") + command, 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
    }
    const std::vector<std::vector<std::string>> bad{
        {"build", "extra"}, {"load", "x"},          {"diff", "x"},          {"search"},
        {"search", "0"},    {"search", "3", "Fel"}, {"search", "a", "Fel"}, {"search", "0", "a", "b"},
        {"search", "00", "Fel"}};
    for (const auto& args : bad) {
        CliRun r = cli(dir, args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("usage: cladorama-cli " + args[0], 0), 0u) << r.err;
    }
    CliRun empty = cli(dir, {"search", "0", ""});
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "Type Search String!\n");
}

TEST(CliPipeline, SampleClassificationsEndToEnd) {
    const std::string a = sourcePath("data/sample/classif_A_03-01-31.xml");
    const std::string b = sourcePath("data/sample/classif_B_03-01-31.xml");
    if (!fs::exists(a) || !fs::exists(b)) GTEST_SKIP() << "no sample classifications";
    TempDir dir;
    fs::copy_file(a, dir.file("classif_A_03-01-31.xml"));
    fs::copy_file(b, dir.file("classif_B_03-01-31.xml"));
    ASSERT_EQ(cli(dir, {"build"}).status, 0);
    CliRun load = cli(dir, {"load"});
    ASSERT_EQ(load.status, 0);
    EXPECT_EQ(load.out.rfind("Load trees from binary files.... \nTree 1 loading.... \n", 0), 0u);

    for (auto [mode, text] : {std::pair{"0", "Panthera"}, {"1", "Bat"}, {"2", "Mus"}}) {
        CliRun r = cli(dir, {"search", mode, text});
        EXPECT_EQ(r.status, 0) << text;
        std::vector<std::string> lines = splitLines(r.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "Node list - " + std::to_string(lines.size() - 1) + " item");
        for (size_t i = 1; i < lines.size(); ++i)
            EXPECT_NE(lines[i].find(text), std::string::npos) << lines[i];
    }

    CliRun diff = cli(dir, {"diff"});
    ASSERT_EQ(diff.status, 0);
    std::vector<std::string> lines = splitLines(diff.out);
    ASSERT_GT(lines.size(), 1u) << "the two samples differ";
    int marks[3] = {0, 0, 0};
    std::map<std::string, int> changes;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> f;
        std::istringstream in(lines[i]);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        // Eight columns, the last ones empty where there is nothing to say.
        ASSERT_EQ(std::count(lines[i].begin(), lines[i].end(), '\t'), 7) << lines[i];
        f.resize(8);
        ASSERT_TRUE(f[0] == "1" || f[0] == "2") << lines[i];
        ++marks[f[0][0] - '0'];
        EXPECT_EQ(f[5].rfind("Mammalia > ", 0), 0u) << lines[i];
        EXPECT_EQ(f[5].substr(f[5].size() - f[3].size()), f[3]) << lines[i];
        // A move names where the other classification holds the taxon: elsewhere. It is
        // told once, as tree 1's taxon, like a change of rank.
        if (f[1] == "moved" || f[1] == "rank") {
            EXPECT_EQ(f[0], "1") << lines[i];
        }
        if (f[1] == "moved") {
            EXPECT_NE(f[6], f[5]) << lines[i];
            EXPECT_EQ(f[6].substr(f[6].size() - f[3].size()), f[3]) << lines[i];
            EXPECT_GE(std::stoi(f[7]), 0) << lines[i];
        } else if (f[1] == "renamed") {
            EXPECT_NE(f[6], f[3]) << lines[i];
            // Tag files give no identifiers, synonyms or authorship: rules 3 to 5 alone.
            EXPECT_TRUE(f[7] == "epithet" || f[7] == "ending" || f[7] == "spelling") << lines[i];
        } else if (f[1] != "rank") {
            EXPECT_EQ(f[1], f[0] == "1" ? "removed" : "added") << lines[i];
            EXPECT_EQ(f[6] + f[7], "") << lines[i];
        }
        ++changes[f[1]];
    }
    EXPECT_GT(marks[1], 0);
    EXPECT_GT(marks[2], 0);
    // Two releases of one checklist: taxa were moved as well as added and removed.
    EXPECT_GT(changes["moved"], 0);
    EXPECT_GT(changes["added"], 0);
    EXPECT_GT(changes["removed"], 0);

    // The summary counts the same lines by rank.
    CliRun summary = cli(dir, {"diff", "--summary"});
    ASSERT_EQ(summary.status, 0);
    std::vector<std::string> rows = splitLines(summary.out);
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], "taxon rank\tmoved\trank\trenamed\tremoved\tadded\ttotal");
    std::map<std::string, int> byKind;
    int total = 0;
    const char* const kKinds[] = {"moved", "rank", "renamed", "removed", "added"};
    for (size_t i = 1; i + 1 < rows.size(); ++i) {
        std::istringstream in(rows[i]);
        std::string rank;
        std::getline(in, rank, '\t');
        int sum = 0, k = 0;
        for (const char* kind : kKinds) {
            in >> k;
            byKind[kind] += k;
            sum += k;
        }
        in >> k;
        EXPECT_EQ(k, sum) << rows[i];
        total += sum;
    }
    EXPECT_EQ(total, static_cast<int>(lines.size()) - 1);
    for (const char* kind : kKinds) EXPECT_EQ(byKind[kind], changes[kind]) << kind;
    EXPECT_EQ(rows.back().rfind("total\t", 0), 0u);
}

// A file that cannot be read is told once: one line on standard error that starts with the
// file and the place in it and goes on to say what is wrong.
void expectOneFailureLine(const CliRun& r, const std::string& fileAndPlace) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind(fileAndPlace, 0), 0u) << r.err;
    const size_t fault = r.err.find(": ", fileAndPlace.size());
    EXPECT_LT(fault + 3, r.err.size()) << r.err;
}

TEST(CliPipeline, AFileThatCannotBeReadIsOneLineOnStandardError) {
    TempDir dir;
    dir.write("empty.csv", "");
    dir.write("norank.csv", "name,colour\nFelis,grey\n");
    dir.write("junk.bin", std::string("\x01\x02\x00\x7f junk", 10));
    dir.write("B.csv", "Order,Family\nCarnivora,Felidae\n");
    dir.write("cut.xml", "<branch>\na b cdefgh\"Carnivora\"\n");
    dir.write("cut.zip", std::string("PK\x03\x04\x14\x00\x00", 7));
    const std::pair<const char*, const char*> broken[] = {
        {"empty.csv", "empty.csv: line 1"}, {"norank.csv", "norank.csv: line 1"},
        {"junk.bin", "junk.bin: byte 0"},   {"cut.xml", "cut.xml: byte"},
        {"cut.zip", "cut.zip"},             {"gone.csv", "gone.csv: byte 0"}};
    for (auto [file, fileAndPlace] : broken) {
        SCOPED_TRACE(file);
        CliRun diff = cli(dir, {"diff", file, "B.csv"});
        expectOneFailureLine(diff, fileAndPlace);
        EXPECT_EQ(diff.out, "");
        CliRun summary = cli(dir, {"diff", "--summary", "B.csv", file});
        expectOneFailureLine(summary, fileAndPlace);
        // Building says which tree it was loading, and the failure only where failures go.
        CliRun build = cli(dir, {"build", file, "B.csv"});
        expectOneFailureLine(build, fileAndPlace);
        EXPECT_EQ(build.out, std::string(strcmp(file, "junk.bin") ? "Tree 1 is loading... \n" : ""));
    }
    EXPECT_EQ(cli(dir, {"diff", "empty.csv", "B.csv"}).err, "empty.csv: line 1: the file is empty\n");

    // The fixed files of build mode and the tree files of the start-up keep their console
    // line on standard output; the line on standard error names the file.
    CliRun build = cli(dir, {"build"});
    EXPECT_EQ(build.out, "Tree 1 is loading... \nReading classification xml file has been failed!\n");
    expectOneFailureLine(build, "classif_A_03-01-31.xml: byte 0");
    CliRun load = cli(dir, {"load"});
    EXPECT_EQ(std::count(load.err.begin(), load.err.end(), '\n'), 1) << load.err;
    EXPECT_NE(load.err.find("T1.jm2"), std::string::npos) << load.err;
}

}  // namespace
