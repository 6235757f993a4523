#include <cstdio>

#include "Commands.h"

// Placeholder until the subcommand is written.
int cmdRead(int, char**) {
    std::fprintf(stderr, "cladorama-cli: read is not available yet\n");
    return 2;
}
