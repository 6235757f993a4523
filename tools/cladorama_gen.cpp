// cladorama_gen OUT_A OUT_B TAXA [SEED [RATE]] [--misspelt SHARE]: writes a synthetic pair of
// classification files for benchmarks and experiments.
// cladorama_gen --taxdump DIR_A DIR_B [NODES [SEED]]: a pair of synthetic NCBI taxdump
// releases instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Synthetic.h"
#include "SyntheticTaxdump.h"

namespace {

void usage(FILE* out) {
    std::fputs("usage: cladorama_gen OUT_A OUT_B TAXA [SEED [RATE]] [--misspelt SHARE]\n"
               "Writes a classification of about TAXA taxa to OUT_A and a revision of it\n"
               "(RATE, default 0.2, of the taxa renamed, moved, removed, added or re-ranked)\n"
               "to OUT_B. The same SEED (default 1) gives the same files. --misspelt gives\n"
               "SHARE (0 to 1, default 0) of the renamed species their epithet misspelt.\n"
               "       cladorama_gen --taxdump DIR_A DIR_B [NODES [SEED]]\n"
               "Writes an NCBI taxdump of NODES nodes (default 2600000) into DIR_A (nodes.dmp,\n"
               "names.dmp, merged.dmp, delnodes.dmp) and its next release into DIR_B: some\n"
               "species merged into others (its merged.dmp), some deleted, some added.\n",
               out);
}

bool parseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            usage(stdout);
            return 0;
        }
    if (argc > 1 && !std::strcmp(argv[1], "--taxdump")) {
        SyntheticTaxdumpOptions dump;
        double nodes = static_cast<double>(dump.nodes), seed = dump.seed;
        if (argc < 4 || argc > 6 || (argc > 4 && (!parseNumber(argv[4], nodes) || nodes < 1 || nodes > 1e9)) ||
            (argc > 5 && (!parseNumber(argv[5], seed) || seed < 0 || seed > 4294967295.0))) {
            usage(stderr);
            return 2;
        }
        dump.nodes = static_cast<int64_t>(nodes);
        dump.seed = static_cast<uint32_t>(seed);
        if (!writeSyntheticTaxdumps(argv[2], argv[3], dump)) {
            std::fprintf(stderr, "cladorama_gen: cannot write into %s or %s\n", argv[2], argv[3]);
            return 1;
        }
        return 0;
    }
    SyntheticOptions options;
    // --misspelt SHARE, wherever it stands; the rest are positional.
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--misspelt")) {
            if (i + 1 == argc || !parseNumber(argv[i + 1], options.misspeltShare) ||
                options.misspeltShare < 0 || options.misspeltShare > 1) {
                usage(stderr);
                return 2;
            }
            ++i;
            continue;
        }
        args.push_back(argv[i]);
    }
    argc = static_cast<int>(args.size());
    argv = args.data();
    if (argc < 4 || argc > 6) {
        usage(stderr);
        return 2;
    }
    double taxa = 0, seed = 1, rate = options.differenceRate;
    if (!parseNumber(argv[3], taxa) || taxa < 1 || taxa > 1e9 ||
        (argc > 4 && (!parseNumber(argv[4], seed) || seed < 0 || seed > 4294967295.0)) ||
        (argc > 5 && (!parseNumber(argv[5], rate) || rate < 0 || rate > 1))) {
        usage(stderr);
        return 2;
    }
    options.taxa = static_cast<int64_t>(taxa);
    options.seed = static_cast<uint32_t>(seed);
    options.differenceRate = rate;
    if (!writeSyntheticPair(argv[1], argv[2], options)) {
        std::fprintf(stderr, "cladorama_gen: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
