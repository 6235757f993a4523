// Subcommands of cladorama-cli. Each returns the process exit status.
#pragma once

int cmdRead(int argc, char** argv);    // read FILE...
int cmdBuild(int argc, char** argv);   // build
int cmdLoad(int argc, char** argv);    // load
int cmdSearch(int argc, char** argv);  // search MODE TEXT
int cmdDiff(int argc, char** argv);    // diff

// True when argv holds --help or -h (the subcommand then prints its usage and exits 0).
bool wantsHelp(int argc, char** argv);

// For a subcommand that takes no arguments: prints the usage for --help (status 0) or for
// any argument (on standard error, status 2) and returns that status; -1 to go on.
int takesNoArguments(int argc, char** argv, const char* usage);
