#include <cstdio>

#include "Commands.h"

// Placeholder until the subcommand is written.
int cmdSearch(int, char**) {
    std::fprintf(stderr, "cladorama-cli: search is not available yet\n");
    return 2;
}
