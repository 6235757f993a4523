// Subcommands of cladorama-cli. Each returns the process exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

int cmdRead(int argc, char** argv);    // read FILE...
int cmdBuild(int argc, char** argv);   // build
int cmdLoad(int argc, char** argv);    // load
int cmdSearch(int argc, char** argv);  // search MODE TEXT
int cmdDiff(int argc, char** argv);    // diff
int cmdPicture(int argc, char** argv);  // picture
int cmdRelate(int argc, char** argv);  // relate
int cmdReport(int argc, char** argv);  // report

// True when argv holds --help or -h (the subcommand then prints its usage and exits 0).
bool wantsHelp(int argc, char** argv);

// For a subcommand that takes no arguments: prints the usage for --help (status 0) or for
// any argument (on standard error, status 2) and returns that status; -1 to go on.
int takesNoArguments(int argc, char** argv, const char* usage);

class CCladoramaDoc;
// What the commands that compare any two files share: FILE1 FILE2 and the options that say
// how imported checklists are read (--keep-levels, --common-name COLUMN, --id COLUMN,
// --authorship COLUMN, --root NAME|TAXID). Any other
// argument starting with '-' is taken only when `extra` accepts it (it may consume the
// next argument through `i`). False on a bad argument or a count of files other than 0 or 2.
struct PairArguments {
    std::vector<std::string> files;
    bool keepLevels = false;
    std::string commonNameColumn;
    std::string idColumn;          // --id COLUMN
    std::string authorshipColumn;  // --authorship COLUMN
    std::string root;              // --root NAME|TAXID: a subtree of a taxdump or Open Tree taxonomy
    // Sets the document's options from these.
    void apply(CCladoramaDoc& doc) const;
};
bool parsePairArguments(int argc, char** argv, PairArguments& out,
                        const std::function<bool(int argc, char** argv, int& i)>& extra = {});
