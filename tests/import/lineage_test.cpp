// Lineage tables: GTDB's taxonomy files (plain, compressed, a folder of both domains) and the
// taxonomy tables of microbiome tools, found by their content and read into one tree.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ImportSupport.h"
#include "Lineages.h"
#include "TestSupport.h"

namespace {

// Two genomes of one species, a suffixed genus and species, an empty species level.
const char kBacteria[] =
    "RS_GCF_000005845.2\td__Bacteria;p__Pseudomonadota;c__Gammaproteobacteria;"
    "o__Enterobacterales;f__Enterobacteriaceae;g__Escherichia;s__Escherichia coli\n"
    "GB_GCA_000008865.2\td__Bacteria;p__Pseudomonadota;c__Gammaproteobacteria;"
    "o__Enterobacterales;f__Enterobacteriaceae;g__Escherichia;s__Escherichia coli\n"
    "RS_GCF_000009045.1\td__Bacteria;p__Bacillota;c__Bacilli;o__Bacillales;"
    "f__Bacillaceae;g__Bacillus_A;s__Bacillus_A cereus\n"
    "GB_GCA_900000001.1\td__Bacteria;p__Bacillota;c__Bacilli;o__Bacillales;"
    "f__Bacillaceae;g__Bacillus_A;s__\n";
const char kArchaea[] =
    "RS_GCF_000011125.1\td__Archaea;p__Thermoproteota;c__Thermoprotei;o__Sulfolobales;"
    "f__Sulfolobaceae;g__Sulfolobus;s__Sulfolobus acidocaldarius\n";

std::string gzipped(const std::string& bytes) {
    archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_raw(a);
    std::string out(bytes.size() + 1024, '\0');
    size_t used = 0;
    EXPECT_EQ(archive_write_open_memory(a, out.data(), out.size(), &used), ARCHIVE_OK);
    archive_entry* e = archive_entry_new();
    archive_entry_set_filetype(e, AE_IFREG);
    archive_write_header(a, e);
    archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

struct Read {
    std::string tree, error, console;
};
Read read(const std::string& path) {
    ClassificationTree t;
    ConsoleCapture console;
    const Imported r = importFile(t, path);
    return {r.ok ? dump(t) : std::string(), r.error, console.text()};
}

TEST(Lineages, GenomesOfOneSpeciesAreOneTaxonAndRanksComeFromThePrefixes) {
    TempDir dir;
    const std::string path = dir.write("bac120_taxonomy.tsv", kBacteria);
    EXPECT_EQ(openInput(path).kind, InputKind::Lineages);
    const Read r = read(path);
    // d__ is one rank with NCBI's superkingdom; suffixes stay as GTDB writes them; the
    // genome whose species level is empty ends at its genus.
    EXPECT_EQ(r.tree,
              "Bacteria|Superkingdom|\n"
              "  Pseudomonadota|Phylum|\n"
              "    Gammaproteobacteria|Class|\n"
              "      Enterobacterales|Order|\n"
              "        Enterobacteriaceae|Family|\n"
              "          Escherichia|Genus|\n"
              "            Escherichia coli|Species|\n"
              "  Bacillota|Phylum|\n"
              "    Bacilli|Class|\n"
              "      Bacillales|Order|\n"
              "        Bacillaceae|Family|\n"
              "          Bacillus_A|Genus|\n"
              "            Bacillus_A cereus|Species|\n");
    EXPECT_EQ(r.error, "");
}

TEST(Lineages, BothDomainsInAFolderOrCompressedAreOneClassification) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "gtdb");
    dir.write("gtdb/bac120_taxonomy_r220.tsv.gz", gzipped(kBacteria));
    dir.write("gtdb/ar53_taxonomy_r220.tsv", kArchaea);
    dir.write("gtdb/README.txt", "not a taxonomy\n");
    const std::string folder = dir.file("gtdb");
    EXPECT_EQ(openInput(folder).kind, InputKind::Lineages);
    const Read both = read(folder);
    ASSERT_EQ(both.error, "");
    EXPECT_EQ(both.tree.substr(0, both.tree.find('\n')), "Root|Root|gtdb");
    EXPECT_NE(both.tree.find("\n  Bacteria|Superkingdom|\n"), std::string::npos) << both.tree;
    EXPECT_NE(both.tree.find("\n  Archaea|Superkingdom|\n"), std::string::npos) << both.tree;
    EXPECT_NE(both.tree.find("Sulfolobus acidocaldarius|Species|"), std::string::npos);
    EXPECT_NE(both.tree.find("Escherichia coli|Species|"), std::string::npos);

    // The compressed file alone, as published.
    const std::string gz = dir.file("gtdb/bac120_taxonomy_r220.tsv.gz");
    EXPECT_EQ(openInput(gz).kind, InputKind::Lineages);
    EXPECT_EQ(read(gz).tree, read(dir.write("plain.tsv", kBacteria)).tree);
    // A damaged stream is refused, naming the file.
    std::string damaged = gzipped(kBacteria);
    damaged.resize(damaged.size() / 2);
    const Read cut = read(dir.write("cut.tsv.gz", damaged));
    EXPECT_NE(cut.error.find("cut.tsv.gz"), std::string::npos) << cut.error;

    // Either domain's file, chosen alone, names the other of its release: its folder is the
    // whole release.
    EXPECT_EQ(gtdbOtherDomain(gz), dir.file("gtdb/ar53_taxonomy_r220.tsv"));
    EXPECT_EQ(gtdbOtherDomain(dir.file("gtdb/ar53_taxonomy_r220.tsv")), gz);
    EXPECT_EQ(gtdbOtherDomain(dir.file("gtdb/README.txt")), "");
    // Not where the folder would read more or another release, nor two of one domain.
    std::filesystem::create_directories(dir.path() / "two");
    dir.write("two/bac120_taxonomy_r220.tsv", kBacteria);
    dir.write("two/ar53_taxonomy_r214.tsv", kArchaea);
    EXPECT_EQ(gtdbOtherDomain(dir.file("two/bac120_taxonomy_r220.tsv")), "");
    dir.write("two/ar53_taxonomy_r220.tsv", kArchaea);
    EXPECT_EQ(gtdbOtherDomain(dir.file("two/bac120_taxonomy_r220.tsv")), "");
    std::filesystem::create_directories(dir.path() / "same");
    dir.write("same/ar53_taxonomy.tsv", kArchaea);
    dir.write("same/ar122_taxonomy.tsv", kArchaea);
    EXPECT_EQ(gtdbOtherDomain(dir.file("same/ar53_taxonomy.tsv")), "");
}

TEST(Lineages, MicrobiomeToolTablesWithHeaderBlanksEmptyLevelsAndEpithets) {
    TempDir dir;
    // QIIME's header and confidence column, Greengenes' "; " and empty levels, a species
    // given by its epithet, an unassigned feature and notes.
    const std::string path = dir.write("taxonomy.tsv",
                                       "Feature ID\tTaxon\tConfidence\n"
                                       "# exported\n"
                                       "f1\tk__Bacteria; p__Firmicutes; c__Bacilli; o__; f__; "
                                       "g__Lactobacillus; s__casei\t0.99\n"
                                       "f2\tUnassigned\t0.5\n"
                                       "f3\tk__Bacteria; p__Firmicutes; c__Clostridia\t0.9\n"
                                       "f4\tk__Bacteria; p__Firmicutes; c__Bacilli; o__; f__; "
                                       "g__Lactobacillus; s__\t0.7\n");
    EXPECT_EQ(openInput(path).kind, InputKind::Lineages);
    const Read r = read(path);
    EXPECT_EQ(r.tree,
              "Bacteria|Kingdom|\n"
              "  Firmicutes|Phylum|\n"
              "    Bacilli|Class|\n"
              "      Lactobacillus|Genus|\n"
              "        Lactobacillus casei|Species|\n"
              "    Clostridia|Class|\n");
    EXPECT_NE(r.console.find("1 lines without a lineage (unassigned) left out"), std::string::npos)
        << r.console;
    EXPECT_NE(r.console.find("1 lines beginning with # skipped"), std::string::npos) << r.console;
}

TEST(Lineages, MalformedLineagesAreRefusedNamingTheLine) {
    TempDir dir;
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"g1\td__Bacteria;p__X\ng2\td__Bacteria;c__Y;p__X\n",
         ": line 2: ranks out of order: p__ after c__"},
        {"g1\td__Bacteria;p__X;p__Z\n", ": line 1: ranks out of order: p__ after p__"},
        {"g1\td__Bacteria;x__What\n", ": line 1: unknown rank prefix x__"},
        {"g1\td__Bacteria;Firmicutes\n", ": line 1: a level without a rank prefix"},
        {"g1\td__Bacteria\ng2\n", ": line 2: no lineage after the identifier"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write("bad.tsv", c.text);
        EXPECT_EQ(openInput(path).kind, InputKind::Lineages) << c.text;
        const Read r = read(path);
        EXPECT_NE(r.error.find(path + c.error), std::string::npos) << r.error;
    }
    // All unassigned: nothing to read.
    ClassificationTree t;
    const FileResult none = imp::readLineages(t, {{"x", "g1\tUnassigned\n"}}, "x");
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.failure().line(), "x: no lineages found");
}

TEST(Lineages, OnlyLineagesAreTakenForThem) {
    // A rank-column table, or prefixes below the top rank, are not lineage tables.
    const std::string ranks = "Order\tFamily\nCarnivora\tFelidae\n";
    EXPECT_FALSE(imp::looksLikeLineages(ranks.data(), ranks.size()));
    const std::string lower = "id\tp__Firmicutes;c__Bacilli\n";
    EXPECT_FALSE(imp::looksLikeLineages(lower.data(), lower.size()));
    const std::string gtdb = "Unassigned1\tUnassigned\nx\td__Archaea;p__Y\n";
    EXPECT_TRUE(imp::looksLikeLineages(gtdb.data(), gtdb.size()));
    EXPECT_EQ(imp::gtdbTaxonomyFiles({"a/bac120_taxonomy.tsv", "a/bac120_taxonomy.tsv.gz",
                                      "a/ar53_taxonomy_r220.tsv.gz", "a/ar53_metadata.tsv"}),
              (std::vector<std::string>{"a/bac120_taxonomy.tsv", "a/ar53_taxonomy_r220.tsv.gz"}));
}

}  // namespace
