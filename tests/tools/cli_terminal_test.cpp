// What cladorama-cli prints and takes is in the terminal's character set, while names are
// kept as ISO-8859-1; search says which taxon matched; read takes every kind of checklist.
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

// Runs cladorama-cli in `dir` under the locale `locale` (LC_ALL), each argument quoted.
CliRun cli(const TempDir& dir, const char* locale, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.path().string() + "' && LC_ALL=" + locale + " '" +
                          CLADORAMA_BINARY_DIR "/tools/cladorama-cli'";
    for (const std::string& a : args) {
        std::string quoted;
        for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " '" + quoted + "'";
    }
    command += " >cli.out 2>cli.err";
    CliRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFileBytes(dir.file("cli.out"));
    r.err = readFileBytes(dir.file("cli.err"));
    fs::remove(dir.file("cli.out"));
    fs::remove(dir.file("cli.err"));
    return r;
}

// Two small checklists in UTF-8: the vicuña in both, the llama only in the first, the
// guanaco and the northern vicuña only in the second.
const char kTableA[] =
    "Order,Family,Genus,Species,vernacularName\n"
    "Artiodactyla,Camelidae,Lama,Lama glama,Llama\n"
    "Artiodactyla,Camelidae,Vicugna,Vicugna vicugna,Vicu\xC3\xB1" "a\n";
const char kTableB[] =
    "Order,Family,Genus,Species,vernacularName\n"
    "Artiodactyla,Camelidae,Lama,Lama guanicoe,Guanaco\n"
    "Artiodactyla,Camelidae,Vicugna,Vicugna vicugna,Vicu\xC3\xB1" "a\n"
    "Artiodactyla,Camelidae,Vicugna,Vicugna mensalis,Vicu\xC3\xB1" "a del norte\n";

struct Camelids {
    TempDir dir;
    Camelids() {
        dir.write("a.csv", kTableA);
        dir.write("b.csv", kTableB);
    }
    // T1.jm2 and T2.jm2 from the two tables.
    void build() { ASSERT_EQ(cli(dir, "C.UTF-8", {"build", "a.csv", "b.csv"}).status, 0); }
};

}  // namespace

TEST(CliTerminal, SearchTakesAndPrintsTheLocalesTextAndSaysWhichTaxonMatched) {
    Camelids c;
    c.build();
    const std::string vicuna = "Vicu\xC3\xB1" "a";  // as a UTF-8 terminal types it
    // The C locale names no character set of its own and is taken as UTF-8.
    for (const char* locale : {"C.UTF-8", "C"}) {
        CliRun r = cli(c.dir, locale, {"search", "1", vicuna});
        EXPECT_EQ(r.status, 0) << locale << r.err;
        EXPECT_EQ(r.out, "Node list - 2 item\n" + vicuna + "\tVicugna vicugna\tSpecies\tboth\n" +
                             vicuna + " del norte\tVicugna mensalis\tSpecies\t2\n")
            << locale;
    }
    // Latin and common names told apart, and the tree of each: the guanaco was grafted
    // into tree 1 from tree 2.
    CliRun both = cli(c.dir, "C.UTF-8", {"search", "2", "ama"});
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out,
              "Node list - 4 item\n"
              "Lama\tLama\tGenus\tboth\n"
              "Lama glama\tLama glama\tSpecies\t1\n"
              "Lama guanicoe\tLama guanicoe\tSpecies\t2\n"
              "Llama\tLama glama\tSpecies\t1\n");
    // A character no ISO-8859-1 name can hold matches nothing, and bytes that are no
    // UTF-8 are taken as ISO-8859-1 as they stand.
    CliRun euro = cli(c.dir, "C.UTF-8", {"search", "1", "Vicu\xE2\x82\xAC"});
    EXPECT_EQ(euro.status, 1);
    EXPECT_EQ(euro.out, "Node list - 0 item\n");
    CliRun raw = cli(c.dir, "C.UTF-8", {"search", "1", "Vicu\xF1" "a del"});
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.out, "Node list - 1 item\n" + vicuna + " del norte\tVicugna mensalis\tSpecies\t2\n");
}

TEST(CliTerminal, DiffPrintsNamesInTheLocalesText) {
    Camelids c;
    CliRun diff = cli(c.dir, "C.UTF-8", {"diff", "a.csv", "b.csv"});
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_NE(diff.out.find("\tadded\tSpecies\tVicugna mensalis\tVicu\xC3\xB1" "a del norte\t"),
              std::string::npos)
        << diff.out;
    EXPECT_EQ(diff.out.find('\xF1'), std::string::npos);
}

TEST(CliTerminal, ReadTakesEveryKindAndPrintsEachFilesCensusAndSummary) {
    Camelids c;
    c.build();
    CliRun r = cli(c.dir, "C.UTF-8", {"read", "a.csv", "T2.jm2", "b.csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string census = "Order : 1 \nFamily : 1 \nGenus : 2 \nSpecies : 2 \n";
    // T2.jm2 is tree 2's combined tree: the llama grafted in from tree 1 is not counted
    // in its census, nor in the counts the file gives for its own tree.
    EXPECT_EQ(r.out, census + "a.csv: nodeCount 6, leafCount 2, maxLevel 3\n" +
                         "Order : 1 \nFamily : 1 \nGenus : 2 \nSpecies : 3 \n" +
                         "T2.jm2: nodeCount 7, leafCount 3, maxLevel 3\n" +
                         "Order : 1 \nFamily : 1 \nGenus : 2 \nSpecies : 3 \n" +
                         "b.csv: nodeCount 7, leafCount 3, maxLevel 3\n");

    c.dir.write("junk.bin", std::string("\x01\x02junk", 6));
    CliRun junk = cli(c.dir, "C.UTF-8", {"read", "a.csv", "junk.bin", "b.csv"});
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.out, census + "a.csv: nodeCount 6, leafCount 2, maxLevel 3\n");
    EXPECT_NE(junk.err.find("junk.bin"), std::string::npos) << junk.err;
    EXPECT_EQ(junk.err.find('\n'), junk.err.size() - 1) << junk.err;
}
