#include <cstdio>

#include "Commands.h"

// Placeholder until the subcommand is written.
int cmdLoad(int, char**) {
    std::fprintf(stderr, "cladorama-cli: load is not available yet\n");
    return 2;
}
