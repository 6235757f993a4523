#include <cstdio>

#include "Commands.h"

// Placeholder until the subcommand is written.
int cmdDiff(int, char**) {
    std::fprintf(stderr, "cladorama-cli: diff is not available yet\n");
    return 2;
}
