// Helpers shared by the tests: temporary folders, console capture, small trees.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "TreeNode.h"

// A fresh empty folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Writes `bytes` to the file `name` in this folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

// Captures what the console (consolePrintf) prints while it lives.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    // Everything printed so far.
    std::string text();

private:
    char* m_buffer = nullptr;
    size_t m_size = 0;
    FILE* m_stream = nullptr;
    FILE* m_previous = nullptr;
};

// While it lives, no file this process writes may grow past `bytes`: a write beyond fails as on
// a full disk (EFBIG, the signal that would end the process ignored). Root is held to it too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t m_soft = 0, m_hard = 0;
    void (*m_handler)(int) = nullptr;
};

// The names of the files in a folder, sorted and joined by blanks.
std::string fileNamesIn(const std::filesystem::path& folder);

// Whether the tests that draw must have a display: set (CLADORAMA_REQUIRE_DISPLAY=1) by
// ./test, which always gives them one, so that a display that cannot be had fails them
// there instead of skipping them.
bool displayRequired();

std::string readFileBytes(const std::string& path);
// Path of a file in the source tree.
std::string sourcePath(const std::string& relative);

// The colour of each of the twenty taxonomic ranks, by rank value, typed here on their own
// so that a slip in the program's table (or in a copy of a colour) shows against them.
struct RankColourEntry {
    const char* rank;
    std::array<int, 3> rgb;
};
extern const RankColourEntry kRankColours[20];
// The colour of an exact rank name from that list; black for any other name.
std::array<int, 3> rankColourOf(const char* rank);

// Builds a node with the three names (rank colour applied) and appends it to `parent`.
TreeNode* addNode(TreeNode* parent, const char* latin, const char* rank = "Genus",
                  const char* common = "");
// Sets the root's names of a fresh tree.
void nameRoot(ClassificationTree& tree, const char* latin, const char* rank = "Class",
              const char* common = "");
// Latin names of the children of `node`, joined by ",".
std::string childNames(const TreeNode* node);

// The console text with every reader progress line ("%lf %% loading") replaced by
// "<progress>", so that whole outputs can be compared exactly.
std::string maskProgress(const std::string& console);

// A small pair of classifications for the pipelines: tree 1 is Carnivora > Felidae (Felis,
// Panthera), Canidae; tree 2 is Carnivora > Felidae (Felis), Hyaenidae.
// Two checklists (CSV: Family, Genus, sciName) with one change of each kind between
// them: Felis split (lybica moved to a genus of its own), Cuon sunk into Canis, Herpestes
// renamed Urva, Puma new, Lynx pardinus gone.
std::string changedChecklistA();
std::string changedChecklistB();
std::string carnivoraClassificationA();
std::string carnivoraClassificationB();
// Build mode's console for that pair, progress lines masked, up to the writing of the tree
// files (the common tail follows).
extern const char* const kCarnivoraBuildConsole;
