// cladorama-cli on NCBI taxdumps: diff tells a tax_id merged into another as a rename by id,
// read and diff take --root, and a root that names no taxon is one failure line.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun cli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.path().string() + "' && '" CLADORAMA_BINARY_DIR
                          "/tools/cladorama-cli'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >cli.out 2>cli.err";
    CliRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFileBytes(dir.file("cli.out"));
    r.err = readFileBytes(dir.file("cli.err"));
    return r;
}

std::string row(std::initializer_list<const char*> fields) {
    std::string out;
    for (const char* f : fields) out += (out.empty() ? "" : "\t|\t") + std::string(f);
    return out + "\t|\n";
}

// Release 2 merged Felis chaus (tax_id 8) into Felis jacquemontii (9) and deleted tax_id 5.
void writeReleases(const TempDir& dir) {
    const std::string nodes = row({"1", "1", "no rank"}) + row({"2", "1", "order"}) +
                              row({"3", "2", "family"}) + row({"4", "3", "genus"}) +
                              row({"7", "4", "species"});
    const std::string names =
        row({"1", "root", "", "scientific name"}) + row({"2", "Carnivora", "", "scientific name"}) +
        row({"3", "Felidae", "", "scientific name"}) + row({"4", "Felis", "", "scientific name"}) +
        row({"7", "Felis catus", "", "scientific name"}) +
        row({"8", "Felis chaus", "", "scientific name"}) +
        row({"9", "Felis jacquemontii", "", "scientific name"});
    std::filesystem::create_directories(dir.path() / "r1");
    std::filesystem::create_directories(dir.path() / "r2");
    dir.write("r1/nodes.dmp", nodes + row({"8", "4", "species"}));
    dir.write("r1/names.dmp", names);
    dir.write("r2/nodes.dmp", nodes + row({"9", "4", "species"}));
    dir.write("r2/names.dmp", names);
    dir.write("r2/merged.dmp", row({"8", "9"}));
    dir.write("r2/delnodes.dmp", row({"5"}));
}

TEST(CliTaxonomy, DiffTellsAMergedTaxIdAsARenameById) {
    TempDir dir;
    writeReleases(dir);
    const CliRun diff = cli(dir, {"diff", "r1", "r2/nodes.dmp"});
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(diff.out,
              "mark\tchange\trank\tlatin name\tcommon name\tpath\tother\tdetail\n"
              "1\trenamed\tSpecies\tFelis chaus\t\troot > Carnivora > Felidae > Felis > Felis chaus\tFelis jacquemontii\tid\n"
              "2\trenamed\tSpecies\tFelis jacquemontii\t\troot > Carnivora > Felidae > Felis > Felis jacquemontii\tFelis chaus\tid\n");
    EXPECT_NE(diff.err.find("r2/nodes.dmp: delnodes.dmp lists 1 deleted tax_ids"), std::string::npos)
        << diff.err;
    // A subtree of both: the root's path starts at it.
    const CliRun felidae = cli(dir, {"diff", "r1", "r2", "--root", "3"});
    EXPECT_EQ(felidae.status, 0) << felidae.err;
    EXPECT_NE(felidae.out.find("\tFelidae > Felis > Felis chaus\tFelis jacquemontii\tid\n"),
              std::string::npos) << felidae.out;
}

TEST(CliTaxonomy, ReadTakesASubtreeAndRefusesAnUnknownRoot) {
    TempDir dir;
    writeReleases(dir);
    const CliRun read = cli(dir, {"read", "r1", "--root", "Felis"});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(read.out.find("r1: nodeCount 3, leafCount 2, maxLevel 1\n"), std::string::npos)
        << read.out;
    const CliRun unknown = cli(dir, {"read", "r1", "--root", "Panthera"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "r1: no taxon named or numbered Panthera to show the subtree of\n");
    const CliRun missing = cli(dir, {"diff", "r1", "r2", "--root"});
    EXPECT_EQ(missing.status, 2);
}

}  // namespace
