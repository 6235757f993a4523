#include <cstdio>

#include "Commands.h"

// Placeholder until the subcommand is written.
int cmdBuild(int, char**) {
    std::fprintf(stderr, "cladorama-cli: build is not available yet\n");
    return 2;
}
